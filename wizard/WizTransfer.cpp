#include "WizTransfer.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "DialogHost.h"
#include "TranProg.h"
#include "WizSettings.h"
#include "trox/Internet.h"
#include "trox/InternetError.h"
#include "trox/PathRules.h"
#include "trox/TransferFile.h"
#include "trox/TransferJob.h"

namespace {

const char* const kTransferFilter =
    "Varnook FTP Transfer Files (*.trx)|*.trx|Varnook FTP INI Files (*.ini)|*.ini|All Files "
    "(*.*)|*.*||";
const char* const kLogFilter = "Varnook FTP Log Files (*.log)|*.log|All Files (*.*)|*.*||";

// A double-clicked transfer file runs from wherever the desktop starts it: both paths are kept
// absolute.
std::string AbsoluteOrEmpty(const QString& text) {
  std::string path = text.toStdString();
  return path.empty() ? path : NormalizeLocalPath(path);
}

}  // namespace

CWizTransfer::CWizTransfer(CWizContext& context) : CWizPage("save.htm", context) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(20, 14, 20, 10);
  layout->addWidget(MakeTitle(QStringLiteral("Transfer"), false));
  layout->addSpacing(6);
  layout->addWidget(
      MakeText(QStringLiteral("Set options below and then click Next to start the transfer.")));
  layout->addSpacing(6);

  auto* grid = new QGridLayout;
  grid->setColumnMinimumWidth(0, 22);
  grid->setColumnStretch(1, 1);
  m_saveFileCheck = new QCheckBox(QStringLiteral("&Save Varnook FTP Transfer file (*.TRX):"), this);
  m_fileEdit = new QLineEdit(this);
  m_fileBrowse = new QPushButton(QStringLiteral("..."), this);
  m_autoCheck = new QCheckBox(
      QStringLiteral("&Automatically start transfer when I double-click this TRX file"), this);
  m_saveLogCheck = new QCheckBox(QStringLiteral("Save &log file for this transfer:"), this);
  m_logEdit = new QLineEdit(this);
  m_logBrowse = new QPushButton(QStringLiteral("..."), this);
  for (QPushButton* browse : {m_fileBrowse, m_logBrowse}) browse->setFixedWidth(32);
  grid->addWidget(m_saveFileCheck, 0, 0, 1, 3);
  grid->addWidget(m_fileEdit, 1, 1);
  grid->addWidget(m_fileBrowse, 1, 2);
  grid->addWidget(m_autoCheck, 2, 1, 1, 2);
  grid->setRowMinimumHeight(3, 8);
  grid->addWidget(m_saveLogCheck, 4, 0, 1, 3);
  grid->addWidget(m_logEdit, 5, 1);
  grid->addWidget(m_logBrowse, 5, 2);
  layout->addLayout(grid);
  layout->addSpacing(8);

  m_ignoreCheck = new QCheckBox(QStringLiteral("&Ignore errors during transfer"), this);
  m_verboseCheck = new QCheckBox(QStringLiteral("&Enable detailed logging (verbose mode)"), this);
  m_upgradeCheck =
      new QCheckBox(QStringLiteral("&Check for Varnook FTP updates during transfer"), this);
  layout->addWidget(m_ignoreCheck);
  layout->addWidget(m_verboseCheck);
  layout->addWidget(m_upgradeCheck);
  layout->addStretch(1);

  connect(m_saveFileCheck, &QCheckBox::clicked, this, &CWizTransfer::OnSaveFile);
  connect(m_saveLogCheck, &QCheckBox::clicked, this, &CWizTransfer::OnSaveLog);
  connect(m_fileBrowse, &QPushButton::clicked, this, &CWizTransfer::OnBrowseFile);
  connect(m_logBrowse, &QPushButton::clicked, this, &CWizTransfer::OnBrowseLog);
}

void CWizTransfer::ReadControls() {
  m_saveFile = m_saveFileCheck->isChecked();
  m_filePath = m_fileEdit->text().toStdString();
  m_autoTransfer = m_autoCheck->isChecked();
  m_saveLog = m_saveLogCheck->isChecked();
  m_logPath = m_logEdit->text().toStdString();
  m_ignore = m_ignoreCheck->isChecked();
  m_verbose = m_verboseCheck->isChecked();
  m_upgrade = m_upgradeCheck->isChecked();
}

void CWizTransfer::ShowFields() {
  m_saveFileCheck->setChecked(m_saveFile);
  m_fileEdit->setText(QString::fromStdString(m_filePath));
  m_autoCheck->setChecked(m_autoTransfer);
  m_saveLogCheck->setChecked(m_saveLog);
  m_logEdit->setText(QString::fromStdString(m_logPath));
  m_ignoreCheck->setChecked(m_ignore);
  m_verboseCheck->setChecked(m_verbose);
  m_upgradeCheck->setChecked(m_upgrade);
  EnableFileControls();
  EnableLogControls();
}

void CWizTransfer::EnableFileControls() {
  for (QWidget* w : std::initializer_list<QWidget*>{m_fileEdit, m_fileBrowse, m_autoCheck})
    w->setEnabled(m_saveFile);
}

void CWizTransfer::EnableLogControls() {
  for (QWidget* w : std::initializer_list<QWidget*>{m_logEdit, m_logBrowse})
    w->setEnabled(m_saveLog);
}

void CWizTransfer::OnInitPage() {
  m_saveFile = true;
  m_saveLog = false;
  ShowFields();
}

void CWizTransfer::OnSaveFile() {
  ReadControls();
  EnableFileControls();
}

void CWizTransfer::OnSaveLog() {
  ReadControls();
  EnableLogControls();
}

void CWizTransfer::OnSetActive() {
  SetWizardButtons(kWizBack | kWizNext);
  ReadControls();  // the save file box keeps what the user left
  m_filePath = m_working->m_jobFile;
  m_autoTransfer = m_working->m_autoTransfer != 0;
  m_ignore = m_working->m_ignore != 0;
  m_verbose = m_working->m_verbose != 0;
  m_upgrade = m_working->m_upgrade != 0;
  m_logPath = m_working->GetLogFile();
  m_saveLog = !m_logPath.empty();
  ShowFields();
}

void CWizTransfer::OnBrowseFile() {
  ReadControls();
  if (auto chosen = CDialogHost::Get().SaveFileName(this, m_filePath, kTransferFilter, "TRX",
                                                    /*askOverwrite=*/true)) {
    m_fileEdit->setText(QString::fromStdString(*chosen));
  }
}

void CWizTransfer::OnBrowseLog() {
  ReadControls();
  if (auto chosen = CDialogHost::Get().SaveFileName(this, m_logPath, kLogFilter, "LOG",
                                                    /*askOverwrite=*/false)) {
    m_logEdit->setText(QString::fromStdString(*chosen));
  }
}

void CWizTransfer::Store() {
  m_working->SetJobFile(m_saveFile ? AbsoluteOrEmpty(m_fileEdit->text()) : std::string());
  m_working->SetLogFile(m_saveLog ? AbsoluteOrEmpty(m_logEdit->text()) : std::string());
  m_ignore ? m_working->SetIgnore() : m_working->ClearIgnore();
  m_verbose ? m_working->SetVerbose() : m_working->ClearVerbose();
  m_upgrade ? m_working->SetUpgrade() : m_working->ClearUpgrade();
}

bool CWizTransfer::OnWizardBack() {
  ReadControls();
  Store();
  return true;
}

bool CWizTransfer::SaveTransferFile() {
  m_autoTransfer ? m_working->SetAutoTransfer() : m_working->ClearAutoTransfer();
  const std::string path = m_working->m_jobFile;
  if (WriteTransferFile(path, *m_working) != 0) {
    const uint32_t code = GetLastError();
    std::string description;
    GetErrorDescription(code, description);
    CDialogHost::Get().MessageBox(this,
                                  "Failed to save transfer file : Error " +
                                      std::to_string(static_cast<int>(code)) + "\n\n" + description,
                                  "Varnook FTP", MsgIcon::Error);
    return false;
  }
  AddFileMru(path);
  *m_saved = *m_working;
  return true;
}

void CWizTransfer::RunTransfer() {
  CTransferJob run = *m_working;
  {
    CTranProg progress(&run, m_context.mainWindow, this);
    progress.DoModal();
    // A certificate the user chose to trust is a setting of the job, kept for its next run.
    if (!progress.PinnedFingerprint().empty())
      m_working->SetCertSha256(progress.PinnedFingerprint());
  }
  // What the run found out about the world comes back; what it did to its own job does not.
  m_working->m_upgradeAvailable = run.m_upgradeAvailable;
  m_working->ResetProgress();
}

bool CWizTransfer::OnWizardNext() {
  ReadControls();
  Store();
  if (m_saveFile && !SaveTransferFile()) return false;
  RunTransfer();
  return true;
}
