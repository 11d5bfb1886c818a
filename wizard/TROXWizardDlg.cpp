#include "TROXWizardDlg.h"

#include <QBuffer>
#include <QProcess>
#include <QStandardPaths>

#include "Artwork.h"
#include "CommandLine.h"
#include "DialogHost.h"
#include "FileTypeRegistration.h"
#include "PassPrompt.h"
#include "TranProg.h"
#include "TranProgText.h"
#include "WizLoad.h"
#include "WizLocal.h"
#include "WizMode.h"
#include "WizRemote.h"
#include "WizServer.h"
#include "WizSettings.h"
#include "WizWelcome.h"
#include "WizardSheet.h"
#include "trox/TransferFile.h"
#include "trox/TransferJob.h"

CTROXWizardDlg::CTROXWizardDlg(std::vector<std::string> arguments, QWidget* parent)
    : QWidget(parent), m_arguments(std::move(arguments)) {
  setWindowTitle(QStringLiteral("Varnook FTP Wizard"));
  setWindowIcon(AppIcon());
  m_sheet = std::make_unique<CWizardSheet>();
  m_startTimer.setSingleShot(true);
  m_startTimer.setInterval(50);
  connect(&m_startTimer, &QTimer::timeout, this, &CTROXWizardDlg::OnStartTimer);
}

CTROXWizardDlg::~CTROXWizardDlg() {
  DeletePages();
}

CWizPage* CTROXWizardDlg::CreatePage(PageIndex index) {
  switch (index) {
    case kWelcome:
      return new CWizWelcome(m_context);
    case kLoad:
      return new CWizLoad(m_context);
    case kServer:
      return new CWizServer(m_context);
    case kMode:
      return new CWizMode(m_context);
    case kLocal:
      return new CWizLocal(m_context);
    case kRemote:
      return new CWizRemote(m_context);
    // The transfer and final pages join here as they are built.
    default:
      return nullptr;
  }
}

void CTROXWizardDlg::DeletePage(PageIndex index) {
  if (CWizPage* page = m_pages[index].data()) {
    m_sheet->RemovePage(page);
    delete page;
  }
  m_pages[index] = nullptr;
}

void CTROXWizardDlg::RebuildPageOrder(bool get) {
  if (CWizPage* mode = m_pages[kMode].data()) {
    for (int i = 0; i < m_sheet->GetPageCount(); ++i)
      if (m_sheet->GetPage(i) == mode) m_sheet->RemovePagesAfter(i);
  }
  const PageIndex later[] = {kLocal, kRemote, kTransfer, kFinal};
  for (PageIndex index : later) {
    DeletePage(index);
    m_pages[index] = CreatePage(index);
  }
  const PageIndex order[] = {get ? kRemote : kLocal, get ? kLocal : kRemote, kTransfer, kFinal};
  for (PageIndex index : order)
    if (m_pages[index]) m_sheet->AddPage(m_pages[index].data());
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
  m_context.working = working;
  m_context.saved = saved;
  m_context.settings = settings;
  m_context.presetPath = presetPath;
  m_context.rebuildPageOrder = [this](bool get) { RebuildPageOrder(get); };
  m_context.mainWindow = this;
  for (int i = 0; i < kPageCount; ++i) m_pages[i] = CreatePage(static_cast<PageIndex>(i));
  *saved = *working;
  for (const QPointer<CWizPage>& page : m_pages)
    if (page) m_sheet->AddPage(page.data());
}

void CTROXWizardDlg::DeletePages() {
  for (int i = 0; i < kPageCount; ++i) DeletePage(static_cast<PageIndex>(i));
}

void CTROXWizardDlg::OnStartTimer() {
  m_startTimer.stop();
  CTransferJob working;
  CTransferJob saved;
  CWizSettings settings;
  working.SetProgressMode(1);

  std::string preset;
  if (!m_arguments.empty()) {
    WizardCommandLine line = ParseWizardCommandLine(m_arguments);
    int read = ReadTransferFile(line.path, working);
    switch (DecideStartup(line, read, working.m_autoTransfer)) {
      case StartupAction::FailedLoad:
        CDialogHost::Get().MessageBox(nullptr, "Failed to load " + line.path, "Varnook FTP",
                                      MsgIcon::Error);
        break;
      case StartupAction::DirectTransfer:
        DirectTransfer(working);
        emit Ended(m_transferStatus == kTransferCompleted ? 0 : 1);
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
  emit Ended(0);
}

void CTROXWizardDlg::DirectTransfer(CTransferJob& job) {
  if (job.m_passPrompt == 1) {
    CPassPrompt prompt(&job);
    if (CDialogHost::Get().RunModal(prompt) != DialogResult::Ok) return;
  }
  // The dialog closes by itself when the run is over; no result page follows.
  CTranProg progress(&job, this);
  progress.DoModal();
}

CWizPage* CTROXWizardDlg::Page(PageIndex index) const {
  return m_pages[index].data();
}
