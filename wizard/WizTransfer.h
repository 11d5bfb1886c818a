// Seventh page: how the run goes (transfer file, automatic start, log file, ignore errors,
// verbose, update check); Next saves the transfer file and runs the job under the progress
// dialog.
#pragma once

#include <string>

#include "WizPage.h"

class QCheckBox;
class QLineEdit;
class QPushButton;

class CWizTransfer : public CWizPage {
  Q_OBJECT
 public:
  explicit CWizTransfer(CWizContext& context);

  void OnInitPage() override;
  void OnSetActive() override;
  bool OnWizardNext() override;
  bool OnWizardBack() override;

  QCheckBox* SaveFileCheck() const { return m_saveFileCheck; }
  QLineEdit* FileEdit() const { return m_fileEdit; }
  QCheckBox* AutoTransferCheck() const { return m_autoCheck; }
  QCheckBox* SaveLogCheck() const { return m_saveLogCheck; }
  QLineEdit* LogEdit() const { return m_logEdit; }
  QCheckBox* IgnoreCheck() const { return m_ignoreCheck; }
  QCheckBox* VerboseCheck() const { return m_verboseCheck; }
  QCheckBox* UpgradeCheck() const { return m_upgradeCheck; }

 public slots:
  void OnSaveFile();
  void OnSaveLog();
  void OnBrowseFile();
  void OnBrowseLog();

 private:
  void ReadControls();
  void ShowFields();
  void EnableFileControls();
  void EnableLogControls();
  void Store();
  // Writes the transfer file; false (after telling the user why) when it could not.
  bool SaveTransferFile();
  // Runs a copy of the working job, so that what a run does to its job (a one-file run cuts its
  // remote folder to the file's folder) never reaches the job the pages edit and save.
  void RunTransfer();

  // The fields the controls show.
  bool m_saveFile = true;
  std::string m_filePath;
  bool m_autoTransfer = false;
  bool m_saveLog = false;
  std::string m_logPath;
  bool m_ignore = false;
  bool m_upgrade = false;
  bool m_verbose = false;

  QCheckBox* m_saveFileCheck;
  QLineEdit* m_fileEdit;
  QPushButton* m_fileBrowse;
  QCheckBox* m_autoCheck;
  QCheckBox* m_saveLogCheck;
  QLineEdit* m_logEdit;
  QPushButton* m_logBrowse;
  QCheckBox* m_ignoreCheck;
  QCheckBox* m_verboseCheck;
  QCheckBox* m_upgradeCheck;
};
