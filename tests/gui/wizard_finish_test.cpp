// The transfer and final pages and the about box, with real widgets offscreen: saving and running
// a job against a real server (and trox running the saved file), a save that fails, the final
// page's texts, the log viewer, the links, the version list.
#include <gnu/libc-version.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <filesystem>

#include "AboutDlg.h"
#include "FtpServers.h"
#include "LogViewer.h"
#include "Processes.h"
#include "ServerAdv.h"
#include "TROXWizardDlg.h"
#include "TempDir.h"
#include "WebAddresses.h"
#include "WizFinal.h"
#include "WizMode.h"
#include "WizPathPage.h"
#include "WizServer.h"
#include "WizSettings.h"
#include "WizTransfer.h"
#include "WizardSheet.h"
#include "WizardTestSupport.h"
#include "trox/TransferFile.h"
#include "trox/TransferJob.h"

namespace fs = std::filesystem;

namespace {

class WizardFinishTest : public WizardTest {
 protected:
  void SetUp() override {
    WizardTest::SetUp();
    m_working.SetProgressMode(1);
    m_main = std::make_unique<CTROXWizardDlg>();
    m_main->BuildSheet(&m_working, &m_saved, &m_settings, "");
    m_main->Sheet().InitOnce();
    m_main->Sheet().show();
  }
  void TearDown() override {
    m_main->Sheet().hide();
    m_main->DeletePages();
    m_main.reset();
    WizardTest::TearDown();
  }

  CWizardSheet& Sheet() { return m_main->Sheet(); }
  int IndexOf(CTROXWizardDlg::PageIndex index) {
    for (int i = 0; i < Sheet().GetPageCount(); ++i)
      if (Sheet().GetPage(i) == m_main->Page(index)) return i;
    return -1;
  }
  CWizTransfer& ToTransfer() {
    Sheet().SetActivePage(IndexOf(CTROXWizardDlg::kTransfer));
    return *static_cast<CWizTransfer*>(m_main->Page(CTROXWizardDlg::kTransfer));
  }
  CWizFinal& ToFinal() {
    Sheet().SetActivePage(IndexOf(CTROXWizardDlg::kFinal));
    return *static_cast<CWizFinal*>(m_main->Page(CTROXWizardDlg::kFinal));
  }
  void SendTo(FtpTestServer& server, const std::string& local, const std::string& remote) {
    m_working.SetServer(server.Host());
    m_working.SetPort(server.Port());
    m_working.SetUser(server.User());
    m_working.SetPassword(server.Password());
    m_working.SetLocalPath(local);
    m_working.SetServerPath(remote);
  }

  CTransferJob m_working;
  CTransferJob m_saved;
  CWizSettings m_settings;
  std::unique_ptr<CTROXWizardDlg> m_main;
};

}  // namespace

TEST_F(WizardFinishTest, SavedFileRunsHereAndUnderTrox) {
  FtpTestServer& server = SharedFtpServer(ServerKind::Pyftpdlib);
  std::string local = MakeTempDir() + "/site";
  fs::create_directories(local + "/img");
  WriteFileBytes(local + "/index.html", "<p>hi</p>\n");
  WriteFileBytes(local + "/img/a.bin", PatternBytes(150000, 5));
  SendTo(server, local, "/finish");
  std::string trx = MakeTempDir() + "/site.trx";

  CWizTransfer& page = ToTransfer();
  EXPECT_TRUE(page.SaveFileCheck()->isChecked());
  EXPECT_FALSE(page.LogEdit()->isEnabled());
  page.FileEdit()->setText(QString::fromStdString(trx));
  page.AutoTransferCheck()->setChecked(true);
  page.UpgradeCheck()->setChecked(false);
  Sheet().Next();  // saves, runs under the progress dialog, moves on

  CWizFinal& final = *static_cast<CWizFinal*>(m_main->Page(CTROXWizardDlg::kFinal));
  ASSERT_EQ(Sheet().GetActivePage(), &final);
  EXPECT_EQ(final.StatusLabel()->text(),
            "Transfer completed sucessfully. Click Finish to exit the Wizard.");
  EXPECT_TRUE(Messages().empty());
  EXPECT_EQ(ReadFileBytes(server.Root() + "/finish/img/a.bin"), PatternBytes(150000, 5));
  EXPECT_EQ(StoredValue("MRU0"), trx);
  EXPECT_EQ(m_working.m_progress.bytesDone, 0);
  CTransferJob reread;
  ASSERT_EQ(ReadTransferFile(trx, reread), 0);
  EXPECT_EQ(reread.m_autoTransfer, 1u);
  Sheet().Back();
  Sheet().reject();  // just saved: nothing to ask
  EXPECT_TRUE(Messages().empty());

  fs::remove_all(server.Root() + "/finish");
  ProcessResult run = RunTrox({"-f", trx});
  ASSERT_EQ(run.exitCode, 0) << run.output;
  EXPECT_EQ(ReadFileBytes(server.Root() + "/finish/index.html"), "<p>hi</p>\n");
  EXPECT_EQ(ReadFileBytes(server.Root() + "/finish/img/a.bin"), PatternBytes(150000, 5));
}

TEST_F(WizardFinishTest, OneFileRunTwiceLeavesTheWorkingJobAsItWas) {
  FtpTestServer& server = SharedFtpServer(ServerKind::Pyftpdlib);
  fs::create_directories(server.Root() + "/one/two");
  WriteFileBytes(server.Root() + "/one/two/f.bin", PatternBytes(5000, 2));
  std::string local = MakeTempDir() + "/f.bin";
  SendTo(server, local, "/one/two/f.bin");
  m_working.SetGet();
  m_working.SetSingle();
  const std::string folder = m_working.m_remoteFolder;
  CWizTransfer& page = ToTransfer();
  page.SaveFileCheck()->click();  // no file: only the run
  for (int run = 0; run < 2; ++run) {
    fs::remove(local);
    if (run > 0) Sheet().Back();
    Sheet().Next();
    EXPECT_EQ(m_main->m_transferStatus, 1) << run;
    EXPECT_EQ(ReadFileBytes(local), PatternBytes(5000, 2)) << run;
    // A one-file run cuts its job's remote folder to the file's folder: not this job's.
    EXPECT_EQ(m_working.m_remoteFolder, folder) << run;
  }
  EXPECT_FALSE(StoredValueExists("MRU0"));
}

TEST_F(WizardFinishTest, FailedSaveShowsTheSystemsReasonAndNothingRuns) {
  std::string dir = MakeTempDir();
  struct Case {
    std::string path;
    std::string message;
  } cases[] = {
      {dir + "/missing/job.trx",
       "Failed to save transfer file : Error 2\n\nNo such file or directory"},
      {dir, "Failed to save transfer file : Error 21\n\nIs a directory"},
  };
  m_working.SetServer("127.0.0.1");
  for (const Case& c : cases) {
    Host().ClearRequests();
    CWizTransfer& page = ToTransfer();
    page.FileEdit()->setText(QString::fromStdString(c.path));
    Sheet().Next();
    EXPECT_EQ(Sheet().GetActivePage(), &page) << c.path;
    ASSERT_EQ(Host().Requests().size(), 1u) << c.path;
    EXPECT_EQ(Host().Requests()[0].text, c.message);
    EXPECT_EQ(Host().Requests()[0].icon, MsgIcon::Error);
    EXPECT_FALSE(StoredValueExists("MRU0"));
  }
}

TEST_F(WizardFinishTest, FinalPageTexts) {
  struct Case {
    int status;
    bool upgrade, available, log;
    const char* text;
    const char* update;  // nullptr: hidden
  } cases[] = {
      {0, false, false, false, "Transfer incomplete - click Back to adjust settings.", nullptr},
      {1, true, true, true, "Transfer completed sucessfully. Click Finish to exit the Wizard.",
       "An updated version of Varnook FTP is available."},
      {2, true, false, false,
       "Transfer failed. Click Finish to exit the wizard or Back to adjust settings.",
       "No updates are available."},
      {3, false, true, true,
       "Transfer cancelled. Click Finish to exit the wizard or Back to adjust settings.", nullptr},
      {7, false, false, false, "Status unknown - click Finish to exit the Wizard.", nullptr},
  };
  for (const Case& c : cases) {
    m_main->m_transferStatus = c.status;
    m_working.m_upgrade = c.upgrade;
    m_working.m_upgradeAvailable = c.available;
    m_working.SetLogFile(c.log ? "/tmp/run.log" : "");
    CWizFinal& page = ToFinal();
    EXPECT_EQ(Sheet().GetWizardButtons(), kWizBack | kWizFinish);
    EXPECT_EQ(page.StatusLabel()->text().toStdString(), c.text);
    EXPECT_EQ(!page.UpdateLabel()->isHidden(), c.update != nullptr) << c.status;
    EXPECT_EQ(page.UpdateLabel()->text().toStdString(),
              c.update ? c.update : page.UpdateLabel()->text().toStdString());
    EXPECT_EQ(!page.DownloadLink()->isHidden(), c.upgrade && c.available) << c.status;
    EXPECT_EQ(!page.ViewLogButton()->isHidden(), c.log) << c.status;
  }
  m_working.SetServer("changed");
  Sheet().reject();  // the final page never asks
  EXPECT_TRUE(Messages().empty());
  EXPECT_FALSE(Sheet().isVisible());
}

TEST_F(WizardFinishTest, ViewLogReadsOnlyRegularFilesAndLinksOpenTheirAddress) {
  std::string dir = MakeTempDir();
  WriteFileBytes(dir + "/run.log", "first\r\nsecond\r\n");
  struct Case {
    std::string path;
    DialogRequest::Kind kind;
    std::string text;
  } cases[] = {
      {dir + "/run.log", DialogRequest::Modal, "Varnook FTP - " + dir + "/run.log"},
      {dir, DialogRequest::Message,
       "Unable to open log file " + dir + "\n\nIt is not a regular file."},
      {dir + "/gone.log", DialogRequest::Message,
       "Unable to open log file " + dir + "/gone.log\n\nNo such file or directory"},
  };
  CWizFinal& page = ToFinal();
  for (const Case& c : cases) {
    Host().ClearRequests();
    m_working.SetLogFile(c.path);
    std::string shown;
    if (c.kind == DialogRequest::Modal)
      Host().Queue(DialogAnswer::Do([&](CModalDialog& dialog) {
        shown = static_cast<CLogViewer&>(dialog).TextBox()->toPlainText().toStdString();
        return DialogResult::Ok;
      }));
    page.OnViewLog();
    ASSERT_FALSE(Host().Requests().empty());
    EXPECT_EQ(Host().Requests()[0].kind, c.kind);
    EXPECT_EQ(Host().Requests()[0].text, c.text);
    EXPECT_EQ(shown, c.kind == DialogRequest::Modal ? "first\nsecond\n" : "");
  }

  Host().ClearRequests();
  for (QLabel* link : {page.WebSiteLink(), page.DownloadLink()}) {
    QMouseEvent click(QEvent::MouseButtonPress, QPointF(2, 2), QPointF(2, 2), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(link, &click);
  }
  ASSERT_EQ(Host().Requests().size(), 2u);
  EXPECT_EQ(Host().Requests()[0].kind, DialogRequest::OpenUrl);
  EXPECT_EQ(Host().Requests()[0].text, kWebSiteAddress);
  EXPECT_EQ(Host().Requests()[1].text, kDownloadPageAddress);
}

TEST_F(WizardFinishTest, AboutBoxListsVersionsAndFolds) {
  CAbout about;
  about.InitOnce();
  EXPECT_EQ(about.windowTitle(), "About Varnook FTP Wizard");
  EXPECT_EQ(about.ProductLabel()->text(), "Varnook FTP Wizard 3.02");
  std::string list = about.VersionList()->toPlainText().toStdString();
  for (std::string line :
       {std::string("trox-wizard (3.02)\n"), "Qt (" + std::string(qVersion()) + ")\n",
        "GNU C Library (" + std::string(gnu_get_libc_version()) + ")\n", std::string("Nettle (")})
    EXPECT_NE(list.find(line), std::string::npos) << line << " in " << list;
  EXPECT_EQ(list.rfind("OS: Linux (", std::string::npos), list.rfind('\n') + 1);
  EXPECT_TRUE(about.VersionList()->isReadOnly());
  EXPECT_FALSE(about.Expanded());
  EXPECT_EQ(about.ToggleButton()->text(), ">>>");
  QSize folded = about.size();
  about.OnToggle();
  EXPECT_EQ(about.ToggleButton()->text(), "<<<");
  EXPECT_GT(about.height(), folded.height());
  about.OnToggle();
  EXPECT_EQ(about.size(), folded);
}

// A new user's whole way through the wizard, typed and clicked page by page, in both directions
// and with both choices; the saved file then runs unchanged under trox.
TEST_F(WizardFinishTest, WholeWayFromWelcomeToFinalInEachModeAndChoice) {
  struct Case {
    bool get;
    bool single;
  };
  FtpTestServer& server = SharedFtpServer(ServerKind::Pyftpdlib);
  for (const Case& c :
       {Case{false, false}, Case{false, true}, Case{true, false}, Case{true, true}}) {
    SCOPED_TRACE(testing::Message() << "get " << c.get << " single " << c.single);
    const std::string dir = MakeTempDir();
    const std::string remote = c.get ? "/src" : "/dst";
    fs::remove_all(server.Root() + remote);
    fs::create_directories(server.Root() + "/dst");
    fs::create_directories(server.Root() + "/src/sub");
    WriteFileBytes(server.Root() + "/src/sub/b.bin", PatternBytes(70000, 3));
    WriteFileBytes(server.Root() + "/src/a.txt", "a\n");
    fs::create_directories(dir + "/site/sub");
    WriteFileBytes(dir + "/site/sub/b.bin", PatternBytes(70000, 3));
    WriteFileBytes(dir + "/site/a.txt", "a\n");
    // What each side's page is given: the folder, or the one file in it.
    const std::string localPath = c.get ? dir + "/got" : dir + "/site";
    if (c.get && !c.single) fs::create_directories(localPath);
    const std::string local = c.single ? localPath + (c.get ? ".bin" : "/sub/b.bin") : localPath;
    const std::string remotePath = c.single ? remote + (c.get ? "/sub/b.bin" : "/b.bin") : remote;
    const std::string trx = dir + "/job.trx";

    Sheet().SetActivePage(0);
    Sheet().Next();  // load page: New Transfer
    Sheet().Next();
    auto& serverPage = *static_cast<CWizServer*>(Sheet().GetActivePage());
    serverPage.ServerCombo()->setEditText({});
    TypeKeys(serverPage.ServerCombo()->lineEdit(), QString::fromStdString(server.Host()));
    serverPage.AccountRadio()->click();
    serverPage.UserEdit()->clear();
    TypeKeys(serverPage.UserEdit(), QString::fromStdString(server.User()));
    serverPage.PasswordEdit()->clear();
    TypeKeys(serverPage.PasswordEdit(), QString::fromStdString(server.Password()));
    Host().Queue(DialogAnswer::Do([&](CModalDialog& dialog) {
      auto& advanced = static_cast<CServerAdv&>(dialog);
      advanced.PortEdit()->clear();
      TypeKeys(advanced.PortEdit(), QString::number(server.Port()));
      return advanced.OnOK() ? DialogResult::Ok : DialogResult::Cancel;
    }));
    for (QPushButton* button : serverPage.findChildren<QPushButton*>())
      if (button->text() == "&Advanced ...") button->click();
    Sheet().Next();

    auto& mode = *static_cast<CWizMode*>(Sheet().GetActivePage());
    (c.get ? mode.GetRadio() : mode.SendRadio())->click();
    Sheet().Next();
    // The source side's page, then the destination's.
    for (const std::string& path : {c.get ? remotePath : local, c.get ? local : remotePath}) {
      auto& page = *static_cast<CWizPathPage*>(Sheet().GetActivePage());
      ASSERT_TRUE((c.single ? page.FileRadio() : page.FolderRadio())->isEnabled());
      (c.single ? page.FileRadio() : page.FolderRadio())->click();
      QLineEdit* edit = c.single ? page.FileEdit() : page.FolderEdit();
      edit->clear();
      TypeKeys(edit, QString::fromStdString(path));
      Sheet().Next();
    }

    auto& transfer = *static_cast<CWizTransfer*>(Sheet().GetActivePage());
    transfer.FileEdit()->clear();
    TypeKeys(transfer.FileEdit(), QString::fromStdString(trx));
    transfer.UpgradeCheck()->setChecked(false);
    Sheet().Next();
    auto& final = *static_cast<CWizFinal*>(Sheet().GetActivePage());
    ASSERT_EQ(&final, m_main->Page(CTROXWizardDlg::kFinal));
    EXPECT_EQ(final.StatusLabel()->text(),
              "Transfer completed sucessfully. Click Finish to exit the Wizard.");
    EXPECT_TRUE(Messages().empty()) << Messages().front();

    // Where the bytes of b.bin ended up, and that trox gets them there again from the file.
    const std::string landed =
        c.get ? (c.single ? local : local + "/sub/b.bin")
              : server.Root() + (c.single ? remotePath : remote + "/sub/b.bin");
    EXPECT_EQ(ReadFileBytes(landed), PatternBytes(70000, 3));
    fs::remove(landed);
    ProcessResult run = RunTrox({"-f", trx});
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_EQ(ReadFileBytes(landed), PatternBytes(70000, 3));
    if (!c.single) {
      EXPECT_EQ(ReadFileBytes(c.get ? local + "/a.txt" : server.Root() + "/dst/a.txt"), "a\n");
    }
  }
}
