// The server advanced, password and settings dialogs, and the dialog host itself.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

#include "HelpTopics.h"
#include "PassPrompt.h"
#include "ServerAdv.h"
#include "SettingsDialog.h"
#include "TabbedSheet.h"
#include "WizSettings.h"
#include "WizardTestSupport.h"
#include "trox/TransferJob.h"

namespace {

using ServerAdvDialog = WizardTest;

// Opens the dialog for the job, lets `edit` change the fields, presses OK; returns what the
// fields showed on opening as "passive|port|address|proxy port".
std::string RunServerAdv(CTransferJob& job, const std::function<void(CServerAdv&)>& edit) {
  std::string shown;
  CDialogHost::Get().Queue(DialogAnswer::Do([&](CModalDialog& dialog) {
    auto& adv = static_cast<CServerAdv&>(dialog);
    shown = std::string(adv.PassiveCheck()->isChecked() ? "1" : "0") + "|" +
            adv.PortEdit()->text().toStdString() + "|" +
            adv.ProxyAddressEdit()->text().toStdString() + "|" +
            adv.ProxyPortEdit()->text().toStdString();
    if (edit) edit(adv);
    return adv.OnOK() ? DialogResult::Ok : DialogResult::Cancel;
  }));
  CServerAdv dialog(&job);
  CDialogHost::Get().RunModal(dialog);
  return shown;
}

}  // namespace

TEST_F(ServerAdvDialog, ProxySplitAndJoin) {
  CTransferJob job;
  EXPECT_EQ(RunServerAdv(job, nullptr), "0|21||0");
  EXPECT_EQ(job.GetProxy(), "");

  job.SetProxy("proxy.example.com:8080");
  EXPECT_EQ(RunServerAdv(job, nullptr), "0|21|proxy.example.com|8080");
  EXPECT_EQ(job.GetProxy(), "proxy.example.com:8080");

  job.SetProxy("proxy.example.com");
  EXPECT_EQ(RunServerAdv(job, nullptr), "0|21|proxy.example.com|0");
  EXPECT_EQ(job.GetProxy(), "proxy.example.com:0");

  // A cleared address stores no proxy, whatever the port says.
  RunServerAdv(job, [](CServerAdv& d) {
    d.ProxyAddressEdit()->clear();
    d.ProxyPortEdit()->setText("3128");
  });
  EXPECT_EQ(job.GetProxy(), "");
  EXPECT_EQ(job.m_accessType, CTransferJob().m_accessType);

  // An IPv6 proxy comes back as it went in.
  job.SetProxy("[::1]:8080");
  EXPECT_EQ(RunServerAdv(job, nullptr), "0|21|[::1]|8080");
  EXPECT_EQ(job.GetProxy(), "[::1]:8080");
}

TEST_F(ServerAdvDialog, PortAndPassive) {
  CTransferJob job;
  RunServerAdv(job, [](CServerAdv& d) {
    d.PortEdit()->setText("2121");
    d.PassiveCheck()->setChecked(true);
  });
  EXPECT_EQ(job.m_port, 2121);
  EXPECT_EQ(job.m_passive, 1u);
  EXPECT_EQ(RunServerAdv(job, [](CServerAdv& d) { d.PassiveCheck()->setChecked(false); }),
            "1|2121||0");
  EXPECT_EQ(job.m_passive, 0u);
  RunServerAdv(job, [](CServerAdv& d) { d.PortEdit()->setText("65535"); });
  EXPECT_EQ(job.m_port, 65535);
}

TEST_F(ServerAdvDialog, BadNumberIsReportedAndTheDialogStays) {
  CTransferJob job;
  job.SetProxy("proxy.example.com:8080");
  CServerAdv dialog(&job);
  Host().Queue(DialogAnswer::Do([](CModalDialog& d) {
    auto& adv = static_cast<CServerAdv&>(d);
    adv.PassiveCheck()->setChecked(true);
    adv.PortEdit()->setText("");
    EXPECT_FALSE(adv.OnOK());
    adv.PortEdit()->setText("21");
    adv.ProxyPortEdit()->setText("80a");
    EXPECT_FALSE(adv.OnOK());
    // A port above 65535 would wrap to another one (70000 to 4464).
    adv.ProxyPortEdit()->setText("8080");
    adv.PortEdit()->setText("70000");
    EXPECT_FALSE(adv.OnOK());
    adv.PortEdit()->setText("21");
    adv.ProxyPortEdit()->setText("65536");
    EXPECT_FALSE(adv.OnOK());
    return DialogResult::Cancel;
  }));
  for (int i = 0; i < 4; ++i) Host().Queue(DialogAnswer::Ok());  // one message each
  EXPECT_EQ(Host().RunModal(dialog), DialogResult::Cancel);
  EXPECT_EQ(Messages(),
            std::vector<std::string>(4, "Please enter a whole number from 0 to 65535."));
  // Nothing reached the job.
  EXPECT_EQ(job.m_passive, 0u);
  EXPECT_EQ(job.GetProxy(), "proxy.example.com:8080");
}

TEST_F(ServerAdvDialog, SecurityAndPinLoadAndStore) {
  const std::string hex(64, 'a');
  std::string colons = "AB";  // as the engine shows fingerprints
  for (int i = 1; i < 32; ++i) colons += ":AB";
  struct Case {
    uint32_t security;
    std::string pin, typed;
    int chosen;  // combo index set before OK
    bool accepted;
  } cases[] = {{0, "", hex, 1, true},
               {1, hex, colons, 2, true},
               {2, hex, "", 0, true},
               {1, hex, hex + "0", 0, false},
               {0, "", "xyz", 1, false}};
  for (const Case& k : cases) {
    CTransferJob job;
    job.SetSecurity(k.security);
    job.SetCertSha256(k.pin);
    Host().ClearRequests();
    Host().Queue(DialogAnswer::Do([&](CModalDialog& d) {
      auto& adv = static_cast<CServerAdv&>(d);
      EXPECT_EQ(adv.SecurityCombo()->currentIndex(), int(k.security));
      EXPECT_EQ(adv.PinEdit()->text().toStdString(), k.pin);
      adv.SecurityCombo()->setCurrentIndex(k.chosen);
      adv.PinEdit()->setText(QString::fromStdString(k.typed));
      return adv.OnOK() ? DialogResult::Ok : DialogResult::Cancel;
    }));
    if (!k.accepted) Host().Queue(DialogAnswer::Ok());  // the refusal's box
    CServerAdv dialog(&job);
    EXPECT_EQ(Host().RunModal(dialog) == DialogResult::Ok, k.accepted) << k.typed;
    EXPECT_EQ(job.m_security, k.accepted ? uint32_t(k.chosen) : k.security);
    EXPECT_EQ(job.m_certSha256, k.accepted ? k.typed : k.pin);
    EXPECT_EQ(Messages().size(), k.accepted ? 0u : 1u) << k.typed;
  }
}

using PasswordPrompt = WizardTest;

TEST_F(PasswordPrompt, TypedPasswordGoesIntoTheJob) {
  CTransferJob job;
  job.SetServer("ftp.example.com");
  job.SetUser("ann");
  job.SetPassword("old");
  {
    CPassPrompt prompt(&job);
    Host().Queue(DialogAnswer::Cancel());
    EXPECT_EQ(Host().RunModal(prompt), DialogResult::Cancel);
    EXPECT_EQ(job.GetPassword(), "old");
  }
  {
    CPassPrompt prompt(&job);
    Host().Queue(DialogAnswer::Text("typed"));
    EXPECT_EQ(Host().RunModal(prompt), DialogResult::Ok);
    EXPECT_EQ(job.GetPassword(), "typed");
    EXPECT_EQ(prompt.windowTitle(), "Varnook FTP - Enter Password");
    EXPECT_EQ(prompt.PasswordEdit()->echoMode(), QLineEdit::Password);
    auto edits = prompt.findChildren<QLineEdit*>();
    int readOnly = 0;
    for (QLineEdit* e : edits)
      if (e->isReadOnly()) {
        ++readOnly;
        EXPECT_TRUE(e->text() == "ftp.example.com" || e->text() == "ann");
      }
    EXPECT_EQ(readOnly, 2);
  }
  {
    CPassPrompt prompt(&job);  // an empty password is accepted
    Host().Queue(DialogAnswer::Ok());
    EXPECT_EQ(Host().RunModal(prompt), DialogResult::Ok);
    EXPECT_EQ(job.GetPassword(), "");
  }
}

using SettingsDialogTest = WizardTest;

TEST_F(SettingsDialogTest, ClearListActsAtOnce) {
  AddServerMru("ftp.example.com", "ann", "secret");
  CWizSettings settings;
  settings.SetServerMruEnabled(1);
  CSettingsDialog dialog;
  dialog.m_settings = settings;
  Host().Queue(DialogAnswer::Do([](CModalDialog& d) {
    auto& settingsDialog = static_cast<CSettingsDialog&>(d);
    EXPECT_TRUE(settingsDialog.MruCheck()->isChecked());
    settingsDialog.MruCheck()->setChecked(false);
    for (QPushButton* b : d.findChildren<QPushButton*>())
      if (b->text() == "&Clear List") b->click();
    return DialogResult::Cancel;
  }));
  Host().Queue(DialogAnswer::Ok());
  EXPECT_EQ(Host().RunModal(dialog), DialogResult::Cancel);
  ASSERT_EQ(Messages(), std::vector<std::string>{"Server MRUs deleted."});
  EXPECT_EQ(Host().Requests()[1].icon, MsgIcon::Information);
  std::string server, user, password;
  ReadServerMru(0, server, user, password);
  EXPECT_EQ(server, "");
  EXPECT_EQ(dialog.m_settings.GetServerMruEnabled(), 1);  // Cancel: the switch is unchanged
}

using DialogHostTest = WizardTest;

TEST_F(DialogHostTest, UnansweredQuestionsTakeTheSafeDefault) {
  EXPECT_EQ(Host().MessageBox(nullptr, "q", "c", MsgIcon::Question, MsgButtons::YesNo),
            DialogResult::No);
  EXPECT_TRUE(Host().Requests().back().unanswered);
  CTransferJob job;
  CPassPrompt prompt(&job);
  EXPECT_EQ(Host().RunModal(prompt), DialogResult::Cancel);
  EXPECT_TRUE(Host().Requests().back().unanswered);
  EXPECT_FALSE(Host().OpenFileName(nullptr, "/x", "All Files (*.*)|*.*||", "TRX"));
  Host().Queue(DialogAnswer::Text("/chosen.trx"));
  EXPECT_EQ(Host().SaveFileName(nullptr, "", "All Files (*.*)|*.*||", "TRX", true), "/chosen.trx");
}

TEST_F(DialogHostTest, FiltersInQtForm) {
  EXPECT_EQ(CDialogHost::QtFilter("Varnook FTP Transfer Files (*.trx)|*.trx|Varnook FTP INI "
                                  "Files (*.ini)|*.ini|All Files (*.*)|*.*||")
                .toStdString(),
            "Varnook FTP Transfer Files (*.trx);;Varnook FTP INI Files (*.ini);;All Files (*)");
}

TEST_F(DialogHostTest, MissingHelpPageDoesNothing) {
  EXPECT_EQ(HelpTopicPath("no-such-topic.htm"), "");
  OpenHelpTopic("no-such-topic.htm");
  EXPECT_TRUE(Host().Requests().empty());
}

namespace {

// A tab that counts its calls and refuses to be left while `valid` is false.
class CCountingPage : public CPropPage {
 public:
  bool valid = true;
  int inits = 0, activations = 0, stores = 0;
  void OnInitPage() override { ++inits; }
  void OnSetActive() override { ++activations; }
  bool OnKillActive() override { return valid; }
  void OnOK() override { ++stores; }
};

}  // namespace

TEST_F(DialogHostTest, TabbedSheetRefusesAndStores) {
  CTabbedSheet sheet(QStringLiteral("Varnook FTP - Transfer Advanced Settings"));
  auto* first = new CCountingPage;
  auto* second = new CCountingPage;
  auto* third = new CCountingPage;
  sheet.AddPage(first, QStringLiteral("One"));
  sheet.AddPage(second, QStringLiteral("Two"));
  sheet.AddPage(third, QStringLiteral("Three"));
  Host().Queue(DialogAnswer::Do([&](CModalDialog&) {
    EXPECT_EQ(sheet.GetActiveIndex(), 0);
    first->valid = false;
    EXPECT_FALSE(sheet.SetActivePage(1));
    EXPECT_EQ(sheet.GetActiveIndex(), 0);
    EXPECT_FALSE(sheet.OnOK());
    first->valid = true;
    EXPECT_TRUE(sheet.SetActivePage(1));
    EXPECT_TRUE(sheet.SetActivePage(0));
    return sheet.OnOK() ? DialogResult::Ok : DialogResult::Cancel;
  }));
  EXPECT_EQ(Host().RunModal(sheet), DialogResult::Ok);
  EXPECT_EQ(first->inits, 1);
  EXPECT_EQ(first->activations, 2);
  EXPECT_EQ(first->stores, 1);
  EXPECT_EQ(second->stores, 1);
  EXPECT_EQ(third->inits, 0);  // never shown: nothing to store
  EXPECT_EQ(third->stores, 0);
  sheet.RemovePage(second);
  EXPECT_EQ(sheet.GetPageCount(), 2);
  delete second;
}
