// The mode, local and remote pages in the real sheet, offscreen: typed paths, background size
// counts against real folders and real servers, and what Next stores.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>
#include <QCheckBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <chrono>
#include <future>

#include "FtpServers.h"
#include "ScriptedFtpServer.h"
#include "TROXWizardDlg.h"
#include "TempDir.h"
#include "WizLocal.h"
#include "WizMode.h"
#include "WizRemote.h"
#include "WizSettings.h"
#include "WizardSheet.h"
#include "WizardTestSupport.h"
#include "trox/TransferJob.h"

namespace {

// Lets every count end (bounded) and hands their replies to the pages.
void SettleCounts() {
  ASSERT_TRUE(CWorkerBase::WaitForAll(std::chrono::seconds(20)));
  QCoreApplication::processEvents();
}

std::string Text(const QLabel* label) {
  return label->text().toStdString();
}

class WizardPathsTest : public WizardTest {
 protected:
  void SetUp() override {
    WizardTest::SetUp();
    m_dir = MakeTempDir();
  }
  void TearDown() override {
    Close();
    WizardTest::TearDown();
  }
  void Close() {
    if (m_main) m_main->DeletePages();
    m_main.reset();
    SettleCounts();
  }

  // The sheet at the mode page for the working job as the test set it up.
  CWizMode& AtModePage() {
    m_main = std::make_unique<CTROXWizardDlg>();
    m_main->BuildSheet(&m_working, &m_saved, &m_settings, "");
    Sheet().InitOnce();
    Sheet().SetActivePage(3);
    return *static_cast<CWizMode*>(Sheet().GetActivePage());
  }
  // Past the mode page: at the page of the side files come from.
  CWizPathPage& AtSourcePage() {
    AtModePage();
    Sheet().Next();
    return *static_cast<CWizPathPage*>(Sheet().GetActivePage());
  }
  CWizardSheet& Sheet() { return m_main->Sheet(); }
  // Empties the edit and types text into it, in file or folder mode.
  void Type(CWizPathPage& page, bool file, const std::string& text) {
    (file ? page.FileRadio() : page.FolderRadio())->click();
    QLineEdit* edit = file ? page.FileEdit() : page.FolderEdit();
    edit->clear();
    TypeKeys(edit, QString::fromStdString(text));
  }
  CWizPathPage* Page(CTROXWizardDlg::PageIndex index) {
    return static_cast<CWizPathPage*>(m_main->Page(index));
  }
  void UseServer(const std::string& host, uint16_t port, const std::string& user = "anonymous",
                 const std::string& password = "") {
    m_working.SetServer(host);
    m_working.m_port = port;
    m_working.SetUser(user);
    m_working.SetPassword(password);
    m_working.SetPassive();
  }

  std::string m_dir;
  CTransferJob m_working;
  CTransferJob m_saved;
  CWizSettings m_settings;
  std::unique_ptr<CTROXWizardDlg> m_main;
};

}  // namespace

TEST_F(WizardPathsTest, LocalSizeTexts) {
  WriteFileBytes(m_dir + "/tree/a.txt", std::string(1024, 'a'));
  WriteFileBytes(m_dir + "/tree/sub/b.bin", std::string(512, 'b'));
  // A sparse file of 4.5 GiB: a total past 32 bits must not wrap.
  std::string big = m_dir + "/big.iso";
  int fd = ::open(big.c_str(), O_CREAT | O_WRONLY, 0600);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::ftruncate(fd, static_cast<off_t>(4608) << 20), 0);
  ::close(fd);
  struct Case {
    bool file;
    std::string typed;
    std::string shown;
  } cases[] = {
      {false, m_dir + "/tree", "1.50 KB to transfer"},
      {false, m_dir + "/missing", "0 Bytes to transfer"},
      {true, big, "4.50 GB to transfer"},
      {true, m_dir + "/tree/sub/b.bin", "512.00 Bytes to transfer"},
  };
  CWizPathPage& page = AtSourcePage();
  ASSERT_EQ(&page, Page(CTROXWizardDlg::kLocal));
  EXPECT_EQ(Text(page.SizeText()), "0 Bytes to transfer");
  EXPECT_EQ(Text(page.FolderCaption()), "Pick a folder to send (including all sub-folders).");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed);
    Type(page, c.file, c.typed);
    // A folder is counted in the background; a single file's length is known at once.
    bool counting = !c.file && c.shown != "0 Bytes to transfer";
    EXPECT_EQ(page.Counting(), counting);
    if (counting) {
      EXPECT_EQ(Text(page.SizeText()), "Calculating transfer size ...");
    }
    SettleCounts();
    EXPECT_EQ(Text(page.SizeText()), c.shown);
  }
}

TEST_F(WizardPathsTest, TypingWhileCountingShowsOnlyTheLastTotal) {
  WriteFileBytes(m_dir + "/a/one", std::string(100, '1'));
  WriteFileBytes(m_dir + "/ab/two", std::string(2048, '2'));
  CWizPathPage& page = AtSourcePage();
  // Each prefix ("/", the temporary folder, ".../a") starts a count of its own on the way.
  Type(page, false, m_dir + "/ab");
  SettleCounts();
  EXPECT_EQ(Text(page.SizeText()), "2.00 KB to transfer");
  // Picking a folder with the chooser counts it the same way.
  Host().Queue(DialogAnswer::Text(m_dir + "/a"));
  page.FolderButton()->click();
  SettleCounts();
  EXPECT_EQ(Text(page.SizeText()), "100.00 Bytes to transfer");
  ASSERT_EQ(Host().Requests().size(), 1u);
  EXPECT_EQ(Host().Requests()[0].kind, DialogRequest::ChooseFolder);
  EXPECT_EQ(Host().Requests()[0].caption, "Select the local folder");
  EXPECT_EQ(Host().Requests()[0].text, m_dir + "/ab");
}

TEST_F(WizardPathsTest, RemoteCountsTheLoginFolderAndOneFile) {
  FtpTestServer& server = SharedFtpServer(ServerKind::Pyftpdlib);
  server.ClearRoot();
  WriteFileBytes(server.Root() + "/one.txt", std::string(1024, 'x'));
  WriteFileBytes(server.Root() + "/sub/two.bin", std::string(512, 'y'));
  UseServer(server.Host(), server.Port(), server.User(), server.Password());
  m_working.SetGet();
  CWizPathPage& page = AtSourcePage();
  ASSERT_EQ(&page, Page(CTROXWizardDlg::kRemote));
  EXPECT_EQ(page.FolderEdit()->text().toStdString(), "[login folder]");
  SettleCounts();
  EXPECT_EQ(Text(page.SizeText()), "1.50 KB to transfer");
  Type(page, true, "/sub/two.bin");
  SettleCounts();
  EXPECT_EQ(Text(page.SizeText()), "512.00 Bytes to transfer");
  // Folder again: the placeholder is stored as the empty path and shown again on return.
  page.FolderRadio()->click();
  Sheet().Next();
  EXPECT_EQ(m_working.GetServerPath(), "");
  EXPECT_EQ(m_working.m_single, 0u);
  Sheet().Back();
  EXPECT_EQ(page.FolderEdit()->text().toStdString(), "[login folder]");
}

TEST_F(WizardPathsTest, NextDuringACountAgainstASilentServerDoesNotWait) {
  std::promise<void> connected;
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  scripted::ScriptedFtpServer silent([&connected, released](scripted::Peer&) {
    connected.set_value();
    released.wait_for(std::chrono::seconds(30));
  });
  ScopedInternetTimeouts timeouts(5000, 30000, 30000);
  UseServer("127.0.0.1", silent.Port());
  m_working.SetGet();
  m_working.SetServerPath("/pub");
  CWizPathPage& page = AtSourcePage();
  EXPECT_TRUE(page.Counting());
  // Next only once the count is inside the connection, not before its thread began.
  ASSERT_EQ(connected.get_future().wait_for(std::chrono::seconds(20)), std::future_status::ready);
  Sheet().Next();
  // The count still waits for the greeting, yet the sheet moved on and the path is stored.
  EXPECT_GT(CWorkerBase::LiveThreads(), 0);
  EXPECT_EQ(Sheet().GetActivePage(), Page(CTROXWizardDlg::kLocal));
  EXPECT_FALSE(page.Counting());
  EXPECT_EQ(m_working.GetServerPath(), "/pub");
  release.set_value();
}

TEST_F(WizardPathsTest, DestinationFollowsTheSourceChoice) {
  struct Case {
    bool get;
    bool single;
    CTROXWizardDlg::PageIndex destination;
    std::string folderCaption;
    std::string fileCaption;
  } cases[] = {
      {false, false, CTROXWizardDlg::kRemote, "Pick the destination folder.",
       "Pick the destination file."},
      {true, true, CTROXWizardDlg::kLocal, "Pick the local folder.", "Pick the local file."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.get ? "get" : "send");
    m_working.m_get = c.get ? 1 : 0;
    m_working.m_single = c.single ? 1 : 0;
    m_working.SetLocalPath(c.single ? m_dir + "/f.txt" : m_dir);
    m_working.SetServerPath(c.single ? "/pub/f.txt" : "/pub");
    AtModePage();
    Sheet().Next();
    Sheet().Next();
    CWizPathPage* page = Page(c.destination);
    ASSERT_EQ(Sheet().GetActivePage(), page);
    EXPECT_EQ(Text(page->FolderCaption()), c.folderCaption);
    EXPECT_EQ(Text(page->FileCaption()), c.fileCaption);
    EXPECT_EQ(page->FolderRadio()->isEnabled(), !c.single);
    EXPECT_EQ(page->FileRadio()->isEnabled(), c.single);
    EXPECT_EQ(page->FileRadio()->isChecked(), c.single);
    EXPECT_FALSE(page->SizeText()->isVisibleTo(page));
    Close();
  }
}

TEST_F(WizardPathsTest, NextRefusesWhatDoesNotExist) {
  struct Case {
    bool get;
    bool file;
    std::string typed;
    std::string message;
  } cases[] = {
      {false, false, "/missing/folder", "Folder does not exist."},
      {false, false, "", "Folder does not exist."},
      {false, true, "/missing/file.txt", "File does not exist."},
      {true, true, "", "File does not exist."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message + " " + c.typed);
    Host().ClearRequests();
    m_working.m_get = c.get ? 1 : 0;
    UseServer("127.0.0.1", UnusedLoopbackPort());
    CWizPathPage& page = AtSourcePage();
    Type(page, c.file, c.typed);
    Sheet().Next();
    EXPECT_EQ(Sheet().GetActivePage(), &page);
    ASSERT_EQ(Messages(), std::vector<std::string>{c.message});
    EXPECT_EQ(Host().Requests().back().caption, "Varnook FTP");
    EXPECT_EQ(Host().Requests().back().icon, MsgIcon::Error);
    Close();
  }
}

TEST_F(WizardPathsTest, ModeStoresArchiveAndRebuildsTheOrder) {
  CWizMode& mode = AtModePage();
  mode.ArchiveCheck()->click();
  mode.GetRadio()->click();
  EXPECT_FALSE(mode.ArchiveCheck()->isEnabled());
  EXPECT_TRUE(mode.ArchiveCheck()->isChecked());
  Sheet().Next();
  EXPECT_EQ(m_working.m_archive, 1u);
  EXPECT_EQ(m_working.m_get, 1u);
  EXPECT_EQ(Sheet().GetPage(4), Page(CTROXWizardDlg::kRemote));
  EXPECT_EQ(Sheet().GetPage(5), Page(CTROXWizardDlg::kLocal));
  Sheet().Back();
  ASSERT_EQ(Sheet().GetActivePage(), &mode);
  EXPECT_TRUE(mode.GetRadio()->isChecked());
  mode.SendRadio()->click();
  EXPECT_TRUE(mode.ArchiveCheck()->isEnabled());
  Sheet().Next();
  EXPECT_EQ(m_working.m_get, 0u);
  EXPECT_EQ(Sheet().GetPage(4), Page(CTROXWizardDlg::kLocal));
  EXPECT_EQ(Sheet().GetActivePage(), Page(CTROXWizardDlg::kLocal));
}
