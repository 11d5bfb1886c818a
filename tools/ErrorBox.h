// The error box and the wait cursor that both browsing dialogs share.
#pragma once

#include <QApplication>

class CBrowseConnection;
class QWidget;

// "Error %i\n\n%s" with the connection's last error, captioned "Varnook FTP". A forced box always
// shows, with the stop icon; an unforced one (exclamation icon) is left out when the folder was
// merely empty, which is no failure.
void ShowConnectionError(QWidget* parent, const CBrowseConnection& connection, bool forced);

// The wait cursor for as long as the server is being asked.
class CWaitCursor {
 public:
  CWaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
  ~CWaitCursor() { QApplication::restoreOverrideCursor(); }
  CWaitCursor(const CWaitCursor&) = delete;
  CWaitCursor& operator=(const CWaitCursor&) = delete;
};
