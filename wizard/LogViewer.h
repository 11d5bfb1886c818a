// The run's log, shown as text in a read-only window of our own. Handing the path to the desktop
// would start whatever the desktop associates with it, which for a file named by a transfer file
// could be a program; a log is only ever read here.
#pragma once

#include <string>

#include "DialogHost.h"

class QPlainTextEdit;

class CLogViewer : public CModalDialog {
  Q_OBJECT
 public:
  CLogViewer(const std::string& path, const QString& text, QWidget* parent = nullptr);

  QPlainTextEdit* TextBox() const { return m_text; }

 private:
  QPlainTextEdit* m_text;
};

// Shows the log when the path names a regular file that can be read; otherwise says why not.
void ShowLogFile(QWidget* parent, const std::string& path);
