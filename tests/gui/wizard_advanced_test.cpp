// The advanced settings sheet: its tabs and rule dialogs on real widgets, and a job edited
// through it, saved and run by trox against a real server.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>
#include <functional>

#include "AdvancedSettings.h"
#include "FtpServers.h"
#include "Processes.h"
#include "PropBinAscii.h"
#include "PropChmod.h"
#include "PropScript.h"
#include "PropSelect.h"
#include "TempDir.h"
#include "WizardRules.h"
#include "WizardTestSupport.h"
#include "trox/TransferFile.h"
#include "trox/TransferJob.h"

namespace {

using AdvancedSheet = WizardTest;
using Act = std::function<void(CTabbedSheet&)>;

// Opens the sheet over the job, lets `act` drive it and leaves with OK or Cancel.
bool RunSheet(CTransferJob& job, bool sendMode, bool ok, const Act& act) {
  CDialogHost::Get().Queue(DialogAnswer::Do([&](CModalDialog& dialog) {
    auto& sheet = static_cast<CTabbedSheet&>(dialog);
    act(sheet);
    return ok && sheet.OnOK() ? DialogResult::Ok : DialogResult::Cancel;
  }));
  return RunAdvancedSettings(nullptr, job, sendMode);
}

template <class Page>
Page* Show(CTabbedSheet& sheet, int index) {
  EXPECT_TRUE(sheet.SetActivePage(index));
  return dynamic_cast<Page*>(sheet.GetPage(index));
}

// Answers the next rule dialog by filling it through `fill` and pressing OK.
template <class Dialog>
void Answer(std::function<void(Dialog&)> fill) {
  CDialogHost::Get().Queue(DialogAnswer::Do([fill](CModalDialog& d) {
    auto& dialog = static_cast<Dialog&>(d);
    fill(dialog);
    return dialog.OnOK() ? DialogResult::Ok : DialogResult::Cancel;
  }));
}

void AddChmodRule(CPropChmod* page, const QString& extension, const QString& mode) {
  Answer<CAddChmod>([=](CAddChmod& d) {
    d.ExtensionEdit()->setText(extension);
    d.ModeEdit()->setText(mode);
  });
  page->AddButton()->click();
}

void AddScript(CPropScript* page, int kind, const QString& command) {
  Answer<CAddScript>([=](CAddScript& d) {
    d.TypeCombo()->setCurrentIndex(kind);
    d.CommandEdit()->setText(command);
  });
  page->AddButton()->click();
}

// "Conn 1 NOOP N|Disc 1 QUIT N": the rows as the script tab shows them, and the selected ones.
std::string Rows(QTreeWidget* list, std::string* selected = nullptr) {
  std::string rows;
  for (int i = 0; i < list->topLevelItemCount(); ++i) {
    QTreeWidgetItem* item = list->topLevelItem(i);
    std::string row;
    for (int c = 0; c < list->columnCount(); ++c)
      row += (c ? " " : "") + item->text(c).toStdString();
    rows += (i ? "|" : "") + row;
    if (selected && item->isSelected()) *selected += row;
  }
  return rows;
}

// The commands in the server's log that the rules and scripts decide (uploads, site commands,
// no-ops), one a line.
std::string SentCommands(const std::string& log) {
  const std::string marker = "FTP command: Client \"127.0.0.1\", \"";
  std::string commands;
  size_t at = 0;
  while ((at = log.find(marker, at)) != std::string::npos) {
    at += marker.size();
    const std::string command = log.substr(at, log.find("\"\n", at) - at);
    for (const char* kind : {"STOR ", "SITE ", "NOOP"})
      if (command.rfind(kind, 0) == 0) commands += command + "\n";
  }
  return commands;
}

void SelectRow(QTreeWidget* list, int row) {
  list->clearSelection();
  list->topLevelItem(row)->setSelected(true);
}

}  // namespace

TEST_F(AdvancedSheet, EachTabEditsTheJobOnOkOnly) {
  const struct {
    const char* name;
    Act act;
    std::function<bool(const CTransferJob&)> changed;
  } cases[] = {
      {"binary", [](CTabbedSheet& s) { Show<CPropBinAscii>(s, 0)->TypeRadio(1)->click(); },
       [](const CTransferJob& j) { return j.m_transferType == 1; }},
      {"include *.txt",
       [](CTabbedSheet& s) {
         auto* page = Show<CPropSelect>(s, 1);
         page->IncludeRadio()->click();
         CDialogHost::Get().Queue(DialogAnswer::Text("*.txt"));
         page->AddButton()->click();
       },
       [](const CTransferJob& j) {
         return j.m_selectMode == 1 && j.m_selectList.back().extension == "*.txt";
       }},
      {"all files keeps the list",
       [](CTabbedSheet& s) { Show<CPropSelect>(s, 1)->AllRadio()->click(); },
       [](const CTransferJob& j) { return j.m_selectMode == 0 && j.m_selectList.size() == 1; }},
      {"chmod", [](CTabbedSheet& s) { AddChmodRule(Show<CPropChmod>(s, 2), "*.cgi", "755"); },
       [](const CTransferJob& j) {
         return j.m_chmodList.back() == tagTROX_CHMOD{"*.cgi", 755};
       }},
      {"script", [](CTabbedSheet& s) { AddScript(Show<CPropScript>(s, 3), 1, "NOOP"); },
       [](const CTransferJob& j) {
         return j.m_tranScripts.size() == 1 && j.m_tranScripts[0].sequence == 1;
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    CTransferJob job;
    job.AddSelect("*.htm");
    job.SetSelectMode(1);
    const CTransferJob saved = job;
    EXPECT_FALSE(RunSheet(job, true, false, c.act));
    EXPECT_FALSE(JobChanged(job, saved));
    EXPECT_TRUE(RunSheet(job, true, true, c.act));
    EXPECT_TRUE(c.changed(job));
    EXPECT_TRUE(JobChanged(job, saved));
  }
  // Get mode has no permissions tab, whatever the job says.
  CTransferJob job;
  RunSheet(job, false, false, [](CTabbedSheet& s) {
    EXPECT_EQ(s.GetPageCount(), 3);
    EXPECT_NE(dynamic_cast<CPropScript*>(s.GetPage(2)), nullptr);
  });
}

TEST_F(AdvancedSheet, PermissionBoxesAndNumberInStep) {
  const struct {
    const char* mode;
    const char* boxes;  // user rwx, group rwx, world rwx
    const char* letters;
    bool accepted;
  } cases[] = {
      {"644", "110100100", "rw-r--r--", true},
      {"755", "111101101", "rwxr-xr-x", true},
      {"300", "011000000", "-wx------", true},
      {"999", "111111111", "rwxrwxrwx", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.mode);
    CAddChmod dialog;
    dialog.InitOnce();
    dialog.ExtensionEdit()->setText("*.cgi");
    dialog.ModeEdit()->setText(c.mode);
    std::string boxes;
    for (int i = 0; i < 9; ++i) boxes += dialog.Box(i)->isChecked() ? '1' : '0';
    EXPECT_EQ(boxes, c.boxes);
    EXPECT_EQ(dialog.ModeEdit()->text(), c.mode);
    EXPECT_EQ(dialog.OnOK(), c.accepted);
    // Boxes to number: clicked from nothing, the boxes give the number back (999 the sum).
    for (int i = 0; i < 9; ++i) dialog.Box(i)->setChecked(false);
    for (int i = 0; i < 9; ++i)
      if (c.boxes[i] == '1') dialog.Box(i)->click();
    EXPECT_EQ(dialog.ModeEdit()->text(), c.accepted ? c.mode : "777");
    // A stored mode shows in the list as it is, with its letters.
    CTransferJob job;
    job.AddChmod("*.cgi", c.mode);
    RunSheet(job, true, false, [&](CTabbedSheet& s) {
      EXPECT_EQ(Rows(Show<CPropChmod>(s, 2)->List()),
                std::string("*.cgi ") + c.mode + " " + c.letters);
    });
  }
}

TEST_F(AdvancedSheet, ScriptNumbersAfterRemoveUpAndDown) {
  const struct {
    const char* name;
    int row;
    std::function<QPushButton*(CPropScript*)> button;
    const char* rows;
    const char* selected;
  } cases[] = {
      {"remove Conn 1", 0, &CPropScript::RemoveButton, "Conn 1 B N|Conn 2 C Y|Disc 1 X N", ""},
      {"up Conn 2", 1, &CPropScript::UpButton, "Conn 1 B N|Conn 2 A N|Conn 3 C Y|Disc 1 X N",
       "Conn 1 B N"},
      {"down Conn 2", 1, &CPropScript::DownButton, "Conn 1 A N|Conn 2 C Y|Conn 3 B N|Disc 1 X N",
       "Conn 3 B N"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    CTransferJob job;
    for (const char* command : {"A", "B", "C,Y"}) job.AddConnScript(command);
    job.AddDiscScript("X");
    RunSheet(job, false, true, [&](CTabbedSheet& s) {
      CPropScript* page = Show<CPropScript>(s, 2);
      SelectRow(page->List(), c.row);
      c.button(page)->click();
      std::string selected;
      EXPECT_EQ(Rows(page->List(), &selected), c.rows);
      EXPECT_EQ(selected, c.selected);
      // The last of a kind cannot go down, the first not up.
      int lastConn = -1;
      for (int i = 0; i < page->List()->topLevelItemCount(); ++i)
        if (page->List()->topLevelItem(i)->text(0) == "Conn") lastConn = i;
      SelectRow(page->List(), lastConn);
      EXPECT_FALSE(page->DownButton()->isEnabled());
      EXPECT_TRUE(page->UpButton()->isEnabled());
    });
    // The job keeps the numbers the tab shows, in list order.
    for (size_t i = 0; i < job.m_connScripts.size(); ++i)
      EXPECT_EQ(job.m_connScripts[i].sequence, static_cast<int32_t>(i + 1));
  }
}

TEST_F(AdvancedSheet, EntriesAFileCannotHoldAreRefused) {
  const std::string noExtension = "Please enter an extension, for example *.html.";
  const std::string badExtension = "An extension cannot contain a semicolon or a tab.";
  const std::string badMode =
      "Please enter the permissions as three digits from 0 to 7, for example 644.";
  const std::string badCommand = "A command cannot contain a comma or a line break.";
  enum Dialog { Sel, Chmod, Script };
  const struct {
    Dialog dialog;
    const char* text;  // the extension, or the script's command
    const char* mode;  // the permissions, or the script's kind in the list
    std::string message;
  } cases[] = {
      {Sel, "", "", noExtension},
      {Sel, "  ", "", noExtension},
      {Sel, "*.txt;x", "", badExtension},
      {Chmod, "*.t\txt", "644", badExtension},
      {Chmod, "*.txt", "64", badMode},
      {Chmod, "*.txt", "999", badMode},
      {Chmod, "*.txt", "0644", badMode},
      {Script, "", "0", "Please enter a command."},
      {Script, "SITE a,b", "1", badCommand},
      {Script, "NOOP\r\nDELE x", "2", badCommand},
      {Script, "NOOP", "-1", "Please choose when the command runs."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.text) + "|" + c.mode);
    Host().ClearRequests();
    CAddSel sel;
    CAddChmod chmod;
    CAddScript script;
    CModalDialog* dialog = c.dialog == Sel     ? static_cast<CModalDialog*>(&sel)
                           : c.dialog == Chmod ? static_cast<CModalDialog*>(&chmod)
                                               : &script;
    dialog->InitOnce();
    dialog->TypeText(c.text);
    if (c.dialog == Chmod) chmod.ModeEdit()->setText(c.mode);
    if (c.dialog == Script) script.TypeCombo()->setCurrentIndex(std::stoi(c.mode));
    EXPECT_FALSE(dialog->OnOK());
    EXPECT_EQ(Messages(), std::vector<std::string>{c.message});
  }
}

// A job edited through the sheet, saved by the engine's writer and run by trox: the server sees
// only the selected files, their permissions and the scripts, in order.
TEST(AdvancedSheetRun, SavedRulesDriveTrox) {
  FtpTestServer server(ServerKind::Vsftpd);
  const std::string local = MakeTempDir();
  for (const char* name : {"a.txt", "run.cgi", "skip.bin"})
    WriteFileBytes(local + "/" + name, "x\n");
  CTransferJob job = JobFor(server, local, "/up");
  CDialogHost::Get().BeginScript();
  ASSERT_TRUE(RunSheet(job, true, true, [](CTabbedSheet& s) {
    Show<CPropBinAscii>(s, 0)->TypeRadio(1)->click();
    auto* select = Show<CPropSelect>(s, 1);
    select->IncludeRadio()->click();
    for (const char* extension : {"*.txt", "*.cgi"}) {
      CDialogHost::Get().Queue(DialogAnswer::Text(extension));
      select->AddButton()->click();
    }
    auto* chmod = Show<CPropChmod>(s, 2);
    AddChmodRule(chmod, "*.cgi", "755");
    AddChmodRule(chmod, "*.txt", "600");
    auto* script = Show<CPropScript>(s, 3);
    AddScript(script, 2, "SITE HELP");
    AddScript(script, 0, "SITE UMASK 027");
    AddScript(script, 0, "NOOP");
    AddScript(script, 1, "SITE CHMOD 640 %s");
  }));
  CDialogHost::Get().EndScript();
  const std::string trx = MakeTempDir() + "/job.trx";
  ASSERT_EQ(WriteTransferFile(trx, job), 0);

  ProcessResult run = RunTrox({"-f", trx});
  EXPECT_EQ(run.exitCode, 0) << run.output;
  // The files go in the order the folder lists them; each brings its own commands.
  const std::string log = server.CommandLog();
  auto file = [](const std::string& name, const char* mode) {
    return "STOR " + name + "\nSITE chmod " + mode + " " + name + "\nSITE CHMOD 640 " + name + "\n";
  };
  const std::string a = file("a.txt", "600"), cgi = file("run.cgi", "755");
  const std::string conn = "SITE UMASK 027\nNOOP\n", disc = "SITE HELP\n";
  const std::string sent = SentCommands(log);
  EXPECT_TRUE(sent == conn + a + cgi + disc || sent == conn + cgi + a + disc) << sent;
  // Forced binary: the plain text file goes as type I too.
  EXPECT_EQ(log.find("\"TYPE A\""), std::string::npos);
  EXPECT_NE(log.find("\"TYPE I\""), std::string::npos);
}
