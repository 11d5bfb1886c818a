#include "TROXWizardDlg.h"

#include <QBuffer>
#include <QProcess>
#include <QStandardPaths>

#include "Artwork.h"
#include "CommandLine.h"
#include "DialogHost.h"
#include "FileTypeRegistration.h"
#include "PassPrompt.h"
#include "TransferFile.h"
#include "TransferJob.h"
#include "WizLoad.h"
#include "WizServer.h"
#include "WizSettings.h"
#include "WizWelcome.h"
#include "WizardSheet.h"

CTROXWizardDlg::CTROXWizardDlg(std::string commandTail, QWidget* parent)
    : QWidget(parent), m_commandTail(std::move(commandTail)) {
  setWindowTitle(QStringLiteral("Varnook FTP Wizard"));
  setWindowIcon(AppIcon());
  m_sheet = new CWizardSheet(this);
  m_startTimer.setSingleShot(true);
  m_startTimer.setInterval(50);
  connect(&m_startTimer, &QTimer::timeout, this, &CTROXWizardDlg::OnStartTimer);
}

CTROXWizardDlg::~CTROXWizardDlg() {
  DeletePages();
}

void RegisterWizardFileType() {
  QByteArray png;
  QBuffer buffer(&png);
  buffer.open(QIODevice::WriteOnly);
  AppIconPixmap(48).save(&buffer, "PNG");
  std::string dataHome = XdgDataHome();
  FileTypeRegistrationResult result =
      RegisterFileType(dataHome, XdgDataDirs(), ProgramPath(), png.toStdString());
  if (!result.mimeChanged) return;
  // The desktop reads the compiled database, not the package: rebuild it when a tool is there.
  QString tool = QStandardPaths::findExecutable(QStringLiteral("update-mime-database"));
  if (!tool.isEmpty()) QProcess::startDetached(tool, {QString::fromStdString(dataHome + "/mime")});
  QString desktopTool = QStandardPaths::findExecutable(QStringLiteral("update-desktop-database"));
  if (!desktopTool.isEmpty())
    QProcess::startDetached(desktopTool, {QString::fromStdString(dataHome + "/applications")});
}

void CTROXWizardDlg::OnInitDialog() {
  RegisterWizardFileType();
  hide();
  m_startTimer.start();
}

void CTROXWizardDlg::BuildSheet(CTransferJob* working, CTransferJob* saved, CWizSettings* settings,
                                const std::string& presetPath) {
  DeletePages();
  m_pages[kWelcome] = new CWizWelcome(settings, working, saved);
  m_pages[kLoad] = new CWizLoad(working, saved, presetPath);
  m_pages[kServer] = new CWizServer(working, saved, settings);
  // The mode, local, remote, transfer and final pages join here as they are built.
  *saved = *working;
  for (const QPointer<CWizPage>& page : m_pages)
    if (page) m_sheet->AddPage(page.data());
}

void CTROXWizardDlg::DeletePages() {
  for (QPointer<CWizPage>& page : m_pages) {
    if (page) {
      m_sheet->RemovePage(page.data());
      delete page.data();
    }
    page = nullptr;
  }
}

void CTROXWizardDlg::OnStartTimer() {
  m_startTimer.stop();
  CTransferJob working;
  CTransferJob saved;
  CWizSettings settings;
  working.SetProgressMode(1);

  std::string preset;
  if (!m_commandTail.empty()) {
    WizardCommandLine line = ParseWizardCommandLine(m_commandTail);
    int read = ReadTransferFile(line.path, working);
    switch (DecideStartup(line, read, working.m_autoTransfer)) {
      case StartupAction::FailedLoad:
        CDialogHost::Get().MessageBox(this, "Failed to load " + line.path, "Varnook FTP",
                                      MsgIcon::Error);
        break;
      case StartupAction::DirectTransfer:
        DirectTransfer(working);
        emit Ended();
        return;
      case StartupAction::WizardWithPath:
        preset = line.path;
        break;
      case StartupAction::EmptyWizard:
        break;
    }
  }

  m_transferStatus = 0;
  BuildSheet(&working, &saved, &settings, preset);
  CDialogHost::Get().RunModal(*m_sheet);
  DeletePages();
  emit Ended();
}

void CTROXWizardDlg::DirectTransfer(CTransferJob& job) {
  if (job.m_passPrompt == 1) {
    CPassPrompt prompt(&job, this);
    if (CDialogHost::Get().RunModal(prompt) != DialogResult::Ok) return;
  }
  // The run itself needs the progress dialog, which this version does not have yet.
  CDialogHost::Get().MessageBox(
      this,
      "This version of TROX Wizard cannot run a transfer directly yet.\n\nOpen the file with "
      "Edit to change it, or run it with trox.",
      "Varnook FTP", MsgIcon::Information);
}

CWizPage* CTROXWizardDlg::Page(PageIndex index) const {
  return m_pages[index].data();
}
