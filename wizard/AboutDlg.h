// The small about box: the icon, the program's name and version, OK.
#pragma once

#include "DialogHost.h"

class CAboutDlg : public CModalDialog {
  Q_OBJECT
 public:
  explicit CAboutDlg(QWidget* parent = nullptr);
};
