// The wizard's settings ("&Settings ..." on the welcome page): the server list switch, and
// "&Clear List", which empties the server list at once, whatever the dialog ends with.
#pragma once

#include "DialogHost.h"
#include "WizSettings.h"

class QCheckBox;

class CSettingsDialog : public CModalDialog {
  Q_OBJECT
 public:
  // Loads its own record; the caller then puts the wizard's current record in its place.
  explicit CSettingsDialog(QWidget* parent = nullptr);

  void OnInitDialog() override;
  bool OnOK() override;

  CWizSettings m_settings;

  QCheckBox* MruCheck() const { return m_mruCheck; }

 public slots:
  void OnClearList();
  void OnHelp();

 private:
  int m_serverMruEnabled = 0;
  QCheckBox* m_mruCheck;
};
