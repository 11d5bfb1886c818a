// The wizard sheet with its welcome, load and server pages, driven offscreen through the real
// widgets; every question is answered by the scripted dialog host.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "TROXWizardDlg.h"
#include "TempDir.h"
#include "WizLoad.h"
#include "WizServer.h"
#include "WizSettings.h"
#include "WizWelcome.h"
#include "WizardSheet.h"
#include "WizardTestSupport.h"
#include "trox/TransferFile.h"
#include "trox/TransferJob.h"

namespace {

const char* kExitQuestion = "Some settings have been changed. Are you sure that you want to exit?";
const char* kBackQuestion =
    "Some settings have been changed. Are you sure that you want to go back?";

class WizardSheetTest : public WizardTest {
 protected:
  void SetUp() override {
    WizardTest::SetUp();
    m_working.SetProgressMode(1);
  }
  void TearDown() override {
    if (m_main) {
      m_main->Sheet().hide();
      m_main->DeletePages();
    }
    m_main.reset();
    WizardTest::TearDown();
  }

  // The sheet as start-up builds it, shown at the welcome page.
  CWizardSheet& Open(const std::string& preset = "") {
    m_main = std::make_unique<CTROXWizardDlg>();
    m_main->BuildSheet(&m_working, &m_saved, &m_settings, preset);
    CWizardSheet& sheet = m_main->Sheet();
    sheet.InitOnce();
    sheet.show();
    return sheet;
  }
  CWizardSheet& Sheet() { return m_main->Sheet(); }
  CWizLoad& Load() { return *static_cast<CWizLoad*>(m_main->Page(CTROXWizardDlg::kLoad)); }
  CWizServer& Server() { return *static_cast<CWizServer*>(m_main->Page(CTROXWizardDlg::kServer)); }
  // Welcome, then New Transfer on the load page: at the server page with an unchanged job.
  void ToServerPage() {
    Open();
    Sheet().Next();
    Load().SelectNew();
    Sheet().Next();
    ASSERT_EQ(Sheet().GetActiveIndex(), 2);
  }
  std::string WriteJobFile(const std::string& name, const std::string& server) {
    if (m_dir.empty()) m_dir = MakeTempDir();
    CTransferJob job;
    job.SetServer(server);
    job.SetUser("ann");
    job.SetPassword("pw");
    EXPECT_EQ(WriteTransferFile(m_dir + "/" + name, job), 0);
    return m_dir + "/" + name;
  }

  CTransferJob m_working;
  CTransferJob m_saved;
  CWizSettings m_settings;
  std::unique_ptr<CTROXWizardDlg> m_main;
  std::string m_dir;
};

}  // namespace

TEST_F(WizardSheetTest, PagesInOrderWithTheirButtons) {
  CWizardSheet& sheet = Open();
  EXPECT_EQ(sheet.windowTitle(), "Varnook FTP Wizard");
  EXPECT_EQ(sheet.GetPageCount(), 6);
  EXPECT_EQ(sheet.GetActiveIndex(), 0);
  EXPECT_EQ(sheet.GetWizardButtons(), kWizNext);
  EXPECT_FALSE(sheet.BackButton()->isEnabled());
  sheet.Back();  // no Back on the welcome page
  EXPECT_EQ(sheet.GetActiveIndex(), 0);
  sheet.Next();
  EXPECT_EQ(sheet.GetActiveIndex(), 1);
  EXPECT_EQ(sheet.GetWizardButtons(), kWizBack | kWizNext);
  EXPECT_TRUE(sheet.BackButton()->isEnabled());
  EXPECT_TRUE(Load().NewRadio()->isChecked());
  EXPECT_FALSE(Load().PathCombo()->isEnabled());
  sheet.Back();
  EXPECT_EQ(sheet.GetActiveIndex(), 0);
  EXPECT_TRUE(Messages().empty());

  // Pages taken out and put back, as the mode page rebuilds the order behind it.
  CWizPage* server = sheet.GetPage(2);
  CWizPage* mode = sheet.GetPage(3);
  sheet.RemovePagesAfter(1);
  EXPECT_EQ(sheet.GetPageCount(), 2);
  sheet.AddPage(server);
  sheet.AddPage(mode);
  EXPECT_EQ(sheet.GetPage(2), server);
  // Pages this version lacks are simply not there.
  m_main->Context().rebuildPageOrder(true);
  EXPECT_EQ(sheet.GetPageCount(), 6);
  EXPECT_EQ(sheet.GetPage(4), m_main->Page(CTROXWizardDlg::kRemote));
  EXPECT_EQ(m_main->Page(CTROXWizardDlg::kTransfer), nullptr);
}

TEST_F(WizardSheetTest, FileFromCommandLineAppearsOnLoadPage) {
  std::string path = WriteJobFile("job.trx", "ftp.example.com");
  ASSERT_EQ(ReadTransferFile(path, m_working), 0);
  CWizardSheet& sheet = Open(path);
  sheet.Next();
  EXPECT_TRUE(Load().LoadRadio()->isChecked());
  EXPECT_TRUE(Load().PathCombo()->isEnabled());
  EXPECT_EQ(Load().PathCombo()->currentText().toStdString(), path);
  // The loaded file counts as unchanged: Cancel closes without a question.
  sheet.reject();
  EXPECT_TRUE(Messages().empty());
  EXPECT_FALSE(sheet.isVisible());
}

TEST_F(WizardSheetTest, InvalidTransferFileKeepsThePage) {
  CWizardSheet& sheet = Open();
  sheet.Next();
  Load().SelectLoad();
  Load().PathCombo()->setEditText(QString::fromStdString(MakeTempDir() + "/missing.trx"));
  sheet.Next();
  ASSERT_EQ(Host().Requests().size(), 1u);
  const DialogRequest& asked = Host().Requests()[0];
  EXPECT_EQ(asked.text, "Invalid Transfer File");
  EXPECT_EQ(asked.caption, "Varnook FTP");
  EXPECT_EQ(asked.icon, MsgIcon::Error);
  EXPECT_EQ(sheet.GetActiveIndex(), 1);
  EXPECT_EQ(ReadFileMru(0), "");
}

TEST_F(WizardSheetTest, LoadedFileGoesToServerPageAndList) {
  std::string path = WriteJobFile("site.trx", "ftp.example.com");
  CWizardSheet& sheet = Open();
  sheet.Next();
  Load().SelectLoad();
  Load().PathCombo()->setEditText(QString::fromStdString(path));
  sheet.Next();
  EXPECT_EQ(sheet.GetActiveIndex(), 2);
  EXPECT_EQ(ReadFileMru(0), path);
  EXPECT_EQ(m_working.m_jobFile, path);
  EXPECT_EQ(Server().ServerCombo()->currentText(), "ftp.example.com");
  EXPECT_TRUE(Server().AccountRadio()->isChecked());
  EXPECT_EQ(Server().PasswordEdit()->text(), "pw");
  EXPECT_EQ(m_working.IsSameAs(m_saved), 1);
}

TEST_F(WizardSheetTest, LoadPageListsOnlyExistingRecentFiles) {
  std::string a = WriteJobFile("a.trx", "a"), b = WriteJobFile("b.trx", "b");
  AddFileMru(a);
  AddFileMru(m_dir + "/deleted.trx");
  AddFileMru(b);
  CWizardSheet& sheet = Open();
  sheet.Next();
  QComboBox* combo = Load().PathCombo();
  ASSERT_EQ(combo->count(), 2);
  EXPECT_EQ(combo->itemText(0).toStdString(), b);
  EXPECT_EQ(combo->itemText(1).toStdString(), a);
  EXPECT_EQ(ReadFileMru(1), a);
  EXPECT_EQ(ReadFileMru(2), "");
  // A typed path survives going back and forth.
  Load().SelectLoad();
  combo->setEditText(QStringLiteral("/typed/path.trx"));
  sheet.Back();
  sheet.Next();
  EXPECT_EQ(combo->currentText(), "/typed/path.trx");
  EXPECT_TRUE(Load().LoadRadio()->isChecked());
}

TEST_F(WizardSheetTest, RecentListsKeepWhatWasTyped) {
  // The typed texts are the start of listed entries; what was typed is what counts.
  std::string typed = WriteJobFile("job", "192.168.1.2");
  AddFileMru(WriteJobFile("job.trx", "listed.example.com"));
  m_settings.SetServerMruEnabled(1);
  AddServerMru("192.168.1.20", "", "");
  CWizardSheet& sheet = Open();
  sheet.Next();
  Load().SelectLoad();
  Load().PathCombo()->clearEditText();
  TypeKeys(Load().PathCombo()->lineEdit(), QString::fromStdString(typed));
  sheet.Next();
  EXPECT_EQ(m_working.m_jobFile, typed);
  EXPECT_EQ(m_working.GetServer(), "192.168.1.2");

  QComboBox* server = Server().ServerCombo();
  ASSERT_EQ(server->count(), 1);
  server->clearEditText();
  TypeKeys(server->lineEdit(), QStringLiteral("192.168.1.2"));
  sheet.Next();
  EXPECT_EQ(m_working.GetServer(), "192.168.1.2");
  std::string first, user, password;
  ReadServerMru(0, first, user, password);
  EXPECT_EQ(first, "192.168.1.2");
}

TEST_F(WizardSheetTest, NewTransferResetsWithUpgradeAndCancelDoesNotAsk) {
  std::string path = WriteJobFile("job.trx", "ftp.example.com");
  ASSERT_EQ(ReadTransferFile(path, m_working), 0);
  CWizardSheet& sheet = Open(path);
  sheet.Next();
  Load().SelectNew();
  sheet.Next();
  EXPECT_EQ(m_working.GetServer(), "");
  EXPECT_EQ(m_working.m_upgrade, 1u);
  sheet.reject();
  EXPECT_TRUE(Messages().empty());
  EXPECT_FALSE(sheet.isVisible());
}

TEST_F(WizardSheetTest, CancelAsksOnlyWhenTheJobChanged) {
  ToServerPage();
  Server().ServerCombo()->setEditText(QStringLiteral("ftp.example.com"));
  // Stored by Back, so the job now differs from the saved one.
  Sheet().Back();
  EXPECT_EQ(Sheet().GetActiveIndex(), 1);
  Sheet().Back();
  EXPECT_EQ(Sheet().GetActiveIndex(), 0);

  Host().Queue(DialogAnswer::No());
  Sheet().reject();
  ASSERT_EQ(Messages(), std::vector<std::string>{kExitQuestion});
  EXPECT_EQ(Host().Requests()[0].buttons, MsgButtons::YesNo);
  EXPECT_EQ(Host().Requests()[0].icon, MsgIcon::Question);
  EXPECT_TRUE(Sheet().isVisible());

  Host().Queue(DialogAnswer::Yes());
  Sheet().reject();
  EXPECT_FALSE(Sheet().isVisible());
  EXPECT_EQ(Sheet().result(), QDialog::Rejected);
}

TEST_F(WizardSheetTest, ServerPageRefusesEmptyServer) {
  ToServerPage();
  Server().ServerCombo()->setEditText(QString());
  Sheet().Next();
  ASSERT_EQ(Messages(), std::vector<std::string>{"Invalid Server Address"});
  EXPECT_EQ(Host().Requests()[0].icon, MsgIcon::Error);
  EXPECT_EQ(Sheet().GetActiveIndex(), 2);
  EXPECT_EQ(m_working.GetServer(), "");

  // Blanks are an address.
  Server().ServerCombo()->setEditText(QStringLiteral("  "));
  Sheet().Next();
  EXPECT_EQ(Messages().size(), 1u);
  EXPECT_EQ(m_working.GetServer(), "  ");
}

TEST_F(WizardSheetTest, ServerBackAsksOnlyForEarlierChanges) {
  ToServerPage();
  // Edits made only on this page do not raise the question, and are stored.
  Server().ServerCombo()->setEditText(QStringLiteral("ftp.example.com"));
  Sheet().Back();
  EXPECT_TRUE(Messages().empty());
  EXPECT_EQ(Sheet().GetActiveIndex(), 1);
  EXPECT_EQ(m_working.GetServer(), "ftp.example.com");

  // Now the job differs from the saved one before the page is left.
  Sheet().Next();  // load page: New Transfer resets both jobs
  m_working.SetPort(2121);
  Host().Queue(DialogAnswer::No());
  Sheet().Back();
  EXPECT_EQ(Messages(), std::vector<std::string>{kBackQuestion});
  EXPECT_EQ(Sheet().GetActiveIndex(), 2);
  Host().Queue(DialogAnswer::Yes());
  Sheet().Back();
  EXPECT_EQ(Sheet().GetActiveIndex(), 1);
}

TEST_F(WizardSheetTest, ServerAccountAndPasswordPrompt) {
  ToServerPage();
  EXPECT_TRUE(Server().AnonymousRadio()->isChecked());
  EXPECT_FALSE(Server().UserEdit()->isEnabled());
  EXPECT_FALSE(Server().SavePasswordCheck()->isEnabled());
  Server().ServerCombo()->setEditText(QStringLiteral("ftp.example.com"));
  Server().AccountRadio()->click();
  EXPECT_TRUE(Server().UserEdit()->isEnabled());
  Server().UserEdit()->setText(QStringLiteral("ann"));
  Server().PasswordEdit()->setText(QStringLiteral("pw"));
  Server().SavePasswordCheck()->setChecked(false);
  Sheet().Next();
  EXPECT_EQ(m_working.GetUser(), "ann");
  EXPECT_EQ(m_working.GetPassword(), "pw");
  EXPECT_EQ(m_working.m_passPrompt, 1u);

  // Shown again from the job: account mode with the box unchecked. Anonymous clears the account
  // but keeps the texts in the edits.
  Sheet().SetActivePage(2);
  EXPECT_TRUE(Server().AccountRadio()->isChecked());
  EXPECT_FALSE(Server().SavePasswordCheck()->isChecked());
  Server().AnonymousRadio()->click();
  EXPECT_EQ(Server().UserEdit()->text(), "ann");
  Sheet().Next();
  EXPECT_EQ(m_working.GetUser(), "");
  EXPECT_EQ(m_working.GetPassword(), "");
}

TEST_F(WizardSheetTest, ServerListSwitchedOffWritesNothing) {
  AddServerMru("old.example.com", "u", "p");
  ClearWizardSettings();
  ToServerPage();
  EXPECT_EQ(Server().ServerCombo()->count(), 0);
  Server().ServerCombo()->setEditText(QStringLiteral("ftp.example.com"));
  Sheet().Next();
  Sheet().Back();
  EXPECT_FALSE(StoredValueExists("SMRU0/Default"));
}

TEST_F(WizardSheetTest, ServerListRecordsAndOffersServers) {
  m_settings.SetServerMruEnabled(1);
  AddServerMru("anon.example.com", "", "");
  ToServerPage();
  ASSERT_EQ(Server().ServerCombo()->count(), 1);
  Server().ServerCombo()->setEditText(QStringLiteral("ftp.example.com"));
  Server().AccountRadio()->click();
  Server().UserEdit()->setText(QStringLiteral("ann"));
  Server().PasswordEdit()->setText(QStringLiteral("secret"));
  Sheet().Next();
  std::string server, user, password;
  ReadServerMru(0, server, user, password);
  EXPECT_EQ(server, "ftp.example.com");
  EXPECT_EQ(StoredValue("SMRU0/Pass"), "E56CF16ECCE9");

  // The next visit lists it first; choosing an entry fills the account.
  Sheet().SetActivePage(2);
  QComboBox* combo = Server().ServerCombo();
  ASSERT_EQ(combo->count(), 2);
  EXPECT_EQ(combo->itemText(0), "ftp.example.com");
  EXPECT_EQ(combo->itemText(1), "anon.example.com");
  Server().OnServerChosen(1);
  EXPECT_TRUE(Server().AnonymousRadio()->isChecked());
  EXPECT_EQ(combo->currentText(), "anon.example.com");
  Server().OnServerChosen(0);
  EXPECT_TRUE(Server().AccountRadio()->isChecked());
  EXPECT_EQ(Server().UserEdit()->text(), "ann");
  EXPECT_EQ(Server().PasswordEdit()->text(), "secret");

  // Back records the server too; anonymous access records an entry without account.
  combo->setEditText(QStringLiteral("back.example.com"));
  Server().AnonymousRadio()->click();
  Host().Queue(DialogAnswer::Yes());  // the job changed at the earlier Next
  Sheet().Back();
  ReadServerMru(0, server, user, password);
  EXPECT_EQ(server, "back.example.com");
  EXPECT_EQ(user + password, "");
}

TEST_F(WizardSheetTest, CryptoWarningNoIsSaved) {
  auto available = CWizWelcome::s_cryptoAvailable;
  CWizWelcome::s_cryptoAvailable = [] { return 0; };
  Host().Queue(DialogAnswer::Yes());
  Open();
  ASSERT_EQ(Host().Requests().size(), 1u);
  EXPECT_EQ(Host().Requests()[0].caption, "Varnook FTP Wizard");
  EXPECT_EQ(Host().Requests()[0].icon, MsgIcon::Warning);
  EXPECT_EQ(m_settings.GetCryptoWarnEnabled(), 1);
  EXPECT_FALSE(StoredValueExists("orCryptoWarn"));
  m_main->DeletePages();

  Host().ClearRequests();
  Host().Queue(DialogAnswer::No());
  Open();
  EXPECT_EQ(Host().Requests().size(), 1u);
  EXPECT_EQ(m_settings.GetCryptoWarnEnabled(), 0);
  EXPECT_EQ(StoredValue("orCryptoWarn"), "1");
  m_main->DeletePages();

  // Next start: no warning.
  Host().ClearRequests();
  m_settings = CWizSettings();
  Open();
  EXPECT_TRUE(Host().Requests().empty());
  CWizWelcome::s_cryptoAvailable = available;
}

TEST_F(WizardSheetTest, WelcomeSettingsAndAbout) {
  Open();
  auto& welcome = *static_cast<CWizWelcome*>(m_main->Page(CTROXWizardDlg::kWelcome));
  EXPECT_TRUE(welcome.VersionLabel()->text().startsWith("TROX Wizard 3.02 "));
  auto check = [](CModalDialog& dialog) {
    dialog.findChild<QCheckBox*>()->setChecked(true);
    return dialog.OnOK() ? DialogResult::Ok : DialogResult::Cancel;
  };
  Host().Queue(DialogAnswer::Do(check));
  welcome.OnSettings();
  EXPECT_EQ(m_settings.GetServerMruEnabled(), 1);
  EXPECT_EQ(StoredValue("SMru"), "1");

  Host().Queue(DialogAnswer::Do([](CModalDialog& dialog) {
    dialog.findChild<QCheckBox*>()->setChecked(false);
    return DialogResult::Cancel;
  }));
  welcome.OnSettings();
  EXPECT_EQ(m_settings.GetServerMruEnabled(), 1);

  Host().Queue(DialogAnswer::Ok());
  welcome.OnAbout();
  EXPECT_EQ(Host().Requests().back().kind, DialogRequest::Modal);
  EXPECT_EQ(Host().Requests().back().text, "About TROX Wizard");
}

TEST_F(WizardSheetTest, BrowseAndHelp) {
  CWizardSheet& sheet = Open();
  sheet.Help();  // the active page's topic, shipped beside the program
  ASSERT_EQ(Host().Requests().size(), 1u);
  EXPECT_EQ(Host().Requests()[0].kind, DialogRequest::OpenUrl);
  EXPECT_EQ(Host().Requests()[0].text, std::string(TROX_BIN_DIR) + "/help/welcome.htm");

  sheet.Next();
  Load().SelectLoad();
  Load().PathCombo()->setEditText(QStringLiteral("/start.trx"));
  Host().Queue(DialogAnswer::Cancel());
  Load().OnBrowse();
  EXPECT_EQ(Load().PathCombo()->currentText(), "/start.trx");
  Host().Queue(DialogAnswer::Text("/chosen/job.trx"));
  Load().OnBrowse();
  EXPECT_EQ(Load().PathCombo()->currentText(), "/chosen/job.trx");
  const DialogRequest& asked = Host().Requests().back();
  EXPECT_EQ(asked.kind, DialogRequest::OpenFile);
  EXPECT_EQ(asked.text, "/start.trx");
  EXPECT_EQ(asked.filter,
            "Varnook FTP Transfer Files (*.trx)|*.trx|Varnook FTP INI Files (*.ini)|*.ini|All "
            "Files (*.*)|*.*||");
}

namespace {

class CLastPage : public CWizPage {
 public:
  using CWizPage::CWizPage;
  void OnSetActive() override { SetWizardButtons(kWizBack | kWizFinish); }
  bool IsFinalPage() const override { return true; }
};

}  // namespace

TEST_F(WizardSheetTest, FinalPageNeverAsksAndFinishCloses) {
  CWizardSheet& sheet = Open();
  CWizContext context;
  context.working = &m_working;
  context.saved = &m_saved;
  CLastPage last("complete.htm", context);
  sheet.AddPage(&last);
  m_working.SetServer("changed");
  const int lastIndex = sheet.GetPageCount() - 1;
  sheet.SetActivePage(lastIndex);
  EXPECT_FALSE(sheet.NextButton()->isVisible());
  EXPECT_TRUE(sheet.FinishButton()->isVisible());
  sheet.Next();  // no Next on a Finish page
  EXPECT_EQ(sheet.GetActiveIndex(), lastIndex);
  sheet.reject();
  EXPECT_TRUE(Messages().empty());
  EXPECT_FALSE(sheet.isVisible());

  sheet.show();
  sheet.Finish();
  EXPECT_EQ(sheet.result(), QDialog::Accepted);
  EXPECT_FALSE(sheet.isVisible());
  sheet.RemovePage(&last);
}
