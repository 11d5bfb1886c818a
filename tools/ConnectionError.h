// The connection's error in the screen layer's error box, and the wait cursor, for both browsing
// dialogs.
#pragma once

#include <QApplication>

class CBrowseConnection;
class QWidget;

// ShowErrorBox with the connection's last error and its text.
void ShowConnectionError(QWidget* parent, const CBrowseConnection& connection, bool forced);

// The wait cursor for as long as the server is being asked.
class CWaitCursor {
 public:
  CWaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
  ~CWaitCursor() { QApplication::restoreOverrideCursor(); }
  CWaitCursor(const CWaitCursor&) = delete;
  CWaitCursor& operator=(const CWaitCursor&) = delete;
};
