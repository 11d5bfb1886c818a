// Start-up of the main window from its command line: the empty wizard, a file preset on the load
// page, a file that fails to load, the direct transfer and its password prompt, and the file type
// registered in the (temporary) user data folder.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QEventLoop>
#include <QRadioButton>
#include <QTimer>
#include <filesystem>

#include "FileTypeRegistration.h"
#include "FtpServers.h"
#include "TROXWizardDlg.h"
#include "TempDir.h"
#include "TranProgText.h"
#include "WizLoad.h"
#include "WizardSheet.h"
#include "WizardTestSupport.h"
#include "trox/TransferFile.h"
#include "trox/TransferJob.h"

namespace {

struct SheetSeen {
  bool shown = false;
  int pages = 0;
  bool loadSelected = false;
  std::string loadPath;
  size_t questionsOnCancel = 0;
};

class WizardStartup : public WizardTest {
 protected:
  // The sheet's modal run: look at it the way a user would, then cancel.
  void ExpectSheet() {
    Host().Queue(DialogAnswer::Do([this](CModalDialog& dialog) {
      auto& sheet = static_cast<CWizardSheet&>(dialog);
      m_seen.shown = true;
      m_seen.pages = sheet.GetPageCount();
      size_t before = Host().Requests().size();
      sheet.reject();
      m_seen.questionsOnCancel = Host().Requests().size() - before;
      sheet.Next();
      auto* load = static_cast<CWizLoad*>(sheet.GetActivePage());
      m_seen.loadSelected = load->LoadRadio()->isChecked();
      m_seen.loadPath = load->PathCombo()->currentText().toStdString();
      return DialogResult::Cancel;
    }));
  }

  // Runs the start-up for the arguments until the main window says it is over; a direct
  // transfer leaves its status, the wizard 0. The program's exit code goes to m_exitCode.
  void Start(const std::vector<std::string>& arguments, int expectedStatus = 0) {
    CTROXWizardDlg main(arguments);
    QEventLoop loop;
    bool ended = false;
    QObject::connect(&main, &CTROXWizardDlg::Ended, &loop, [&](int exitCode) {
      ended = true;
      m_exitCode = exitCode;
      loop.quit();
    });
    // Only a guard against a hang, not a measurement.
    QTimer::singleShot(30000, &loop, &QEventLoop::quit);
    main.OnInitDialog();
    loop.exec();
    ASSERT_TRUE(ended);
    EXPECT_EQ(main.m_transferStatus, expectedStatus);
    EXPECT_EQ(Host().PendingAnswers(), 0u);
  }

  // A job that sends a small folder to the shared test server, into `remote`.
  std::string JobFile(bool autoTransfer, bool passPrompt, const std::string& remote = "/startup",
                      const std::string& name = "my job.trx") {
    FtpTestServer& server = SharedFtpServer(ServerKind::Pyftpdlib);
    std::string local = MakeTempDir();
    WriteFileBytes(local + "/sent.txt", "sent by the direct transfer\n");
    std::string path = MakeTempDir() + "/" + name;
    CTransferJob job;
    job.SetServer(server.Host());
    job.SetPort(server.Port());
    job.SetUser(server.User());
    if (!passPrompt) job.SetPassword(server.Password());
    job.SetLocalPath(local);
    job.SetServerPath(remote);
    if (autoTransfer) job.SetAutoTransfer();
    if (passPrompt) job.SetPassPrompt();
    EXPECT_EQ(WriteTransferFile(path, job), 0);
    return path;
  }

  SheetSeen m_seen;
  int m_exitCode = -1;
};

}  // namespace

TEST_F(WizardStartup, EmptyCommandLineOpensTheWizard) {
  ExpectSheet();
  Start({});
  EXPECT_EQ(m_exitCode, 0);
  EXPECT_TRUE(m_seen.shown);
  EXPECT_EQ(m_seen.pages, 6);
  EXPECT_FALSE(m_seen.loadSelected);
  EXPECT_EQ(m_seen.questionsOnCancel, 0u);
}

TEST_F(WizardStartup, DoubleClickedFileIsPresetOnTheLoadPage) {
  std::string path = JobFile(false, false);
  ExpectSheet();
  Start({path});
  EXPECT_TRUE(m_seen.shown);
  EXPECT_TRUE(m_seen.loadSelected);
  EXPECT_EQ(m_seen.loadPath, path);
  EXPECT_EQ(m_seen.questionsOnCancel, 0u);
  EXPECT_TRUE(Messages().empty());
}

TEST_F(WizardStartup, FileThatFailsToLoadIsReportedAndTheWizardStarts) {
  std::string path = MakeTempDir() + "/missing.trx";
  Host().Queue(DialogAnswer::Ok());
  ExpectSheet();
  Start({path, "/t"});
  ASSERT_EQ(Messages(), std::vector<std::string>{"Failed to load " + path});
  EXPECT_EQ(Host().Requests()[0].caption, "Varnook FTP");
  EXPECT_EQ(Host().Requests()[0].icon, MsgIcon::Error);
  EXPECT_TRUE(m_seen.shown);
  EXPECT_FALSE(m_seen.loadSelected);
}

TEST_F(WizardStartup, AutoTransferRunsDirectlyUnlessEdited) {
  FtpTestServer& server = SharedFtpServer(ServerKind::Pyftpdlib);
  std::string path = JobFile(true, false, "/auto");
  Start({path}, 1);
  EXPECT_EQ(m_exitCode, 0);
  EXPECT_FALSE(m_seen.shown);
  EXPECT_TRUE(Host().Requests().empty());
  EXPECT_EQ(ReadFileBytes(server.Root() + "/auto/sent.txt"), "sent by the direct transfer\n");

  ExpectSheet();
  Start({path, "/e"});
  EXPECT_TRUE(m_seen.shown);
  EXPECT_EQ(m_seen.loadPath, path);
}

TEST_F(WizardStartup, CancelledPasswordPromptEndsWithoutTransfer) {
  FtpTestServer& server = SharedFtpServer(ServerKind::Pyftpdlib);
  std::string path = JobFile(false, true, "/prompted");
  server.MarkLog();
  Host().Queue(DialogAnswer::Cancel());
  Start({path, "/t"});
  EXPECT_EQ(m_exitCode, 1);
  ASSERT_EQ(Host().Requests().size(), 1u);
  EXPECT_EQ(Host().Requests()[0].kind, DialogRequest::Modal);
  EXPECT_EQ(Host().Requests()[0].text, "Varnook FTP - Enter Password");
  EXPECT_FALSE(m_seen.shown);
  EXPECT_EQ(server.CommandLog().find("USER"), std::string::npos);
  EXPECT_FALSE(PathExists(server.Root() + "/prompted"));
}

TEST_F(WizardStartup, TypedPasswordIsUsedForTheDirectTransfer) {
  FtpTestServer& server = SharedFtpServer(ServerKind::Pyftpdlib);
  std::string path = JobFile(false, true, "/typed");
  Host().Queue(DialogAnswer::Text(server.Password()));
  Start({path, "/t"}, 1);
  ASSERT_EQ(Host().Requests().size(), 1u);
  EXPECT_EQ(ReadFileBytes(server.Root() + "/typed/sent.txt"), "sent by the direct transfer\n");
}

TEST_F(WizardStartup, AnyFileNameOpensAndOnlyALaterArgumentIsAnOption) {
  FtpTestServer& server = SharedFtpServer(ServerKind::Pyftpdlib);
  std::string path = JobFile(true, false, "/quoted", "the \"best\" job.trx");
  Start({path}, 1);
  EXPECT_TRUE(Host().Requests().empty());
  EXPECT_EQ(ReadFileBytes(server.Root() + "/quoted/sent.txt"), "sent by the direct transfer\n");
}

TEST_F(WizardStartup, DirectTransferThatCannotConnectIsReportedDespiteIgnore) {
  std::string path = JobFile(true, false, "/never");
  CTransferJob job;
  ASSERT_EQ(ReadTransferFile(path, job), 0);
  job.SetPort(UnusedLoopbackPort());
  job.SetIgnore();
  ASSERT_EQ(WriteTransferFile(path, job), 0);
  Host().Queue(DialogAnswer::Ok());
  Start({path}, kTransferIncomplete);
  ASSERT_EQ(Messages().size(), 1u);
  EXPECT_EQ(Messages()[0].rfind("An error has occurred during transfer : Error 12029", 0), 0u);
  EXPECT_EQ(m_exitCode, 1);
}

TEST_F(WizardStartup, RegistersTheFileTypeForThisProgram) {
  ExpectSheet();
  Start({});
  std::string home = getenv("XDG_DATA_HOME");
  std::string desktop = ReadFileBytes(home + "/applications/trox-wizard.desktop");
  EXPECT_NE(desktop.find(DesktopExec(ProgramPath(), "%f /t")), std::string::npos) << desktop;
  EXPECT_TRUE(std::filesystem::exists(home + "/mime/packages/trox-wizard.xml"));
}
