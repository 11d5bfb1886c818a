// TROX Tools against real servers: the browsing connection, the folder browser and the file
// dialog driven through the library's entry points, their boxes answered by the dialog host.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QToolButton>
#include <QTreeWidget>
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <set>
#include <sstream>

#include "BrowseConnection.h"
#include "BrowseDlg.h"
#include "FtpFileDlg.h"
#include "FtpServers.h"
#include "Processes.h"
#include "TempDir.h"
#include "WizardTestSupport.h"
#include "trox-tools/TroxTools.h"

namespace fs = std::filesystem;

namespace {

// "a|b|c" of the item's children.
std::string Children(QTreeWidgetItem* item) {
  std::string texts;
  for (int i = 0; i < item->childCount(); ++i)
    texts += (i ? "|" : "") + item->child(i)->text(0).toStdString();
  return texts;
}

QTreeWidgetItem* Child(QTreeWidgetItem* item, const char* name) {
  for (int i = 0; i < item->childCount(); ++i)
    if (item->child(i)->text(0) == QLatin1String(name)) return item->child(i);
  return nullptr;
}

std::string Selected(CBrowseDlg& d) {
  auto items = d.Tree()->selectedItems();
  return items.isEmpty() ? "(none)" : items.first()->text(0).toStdString();
}

// "folders;files", each sorted since the list keeps the server's order, once it is checked that
// every folder comes before every file (the files here end in ".txt").
std::string Listed(CFtpFileDlg& d) {
  std::vector<std::string> kinds[2];
  for (int i = 0; i < d.List()->count(); ++i) {
    std::string name = d.List()->item(i)->text().toStdString();
    bool file = name.ends_with(".txt");
    EXPECT_TRUE(file || kinds[1].empty()) << name << " after a file";
    kinds[file].push_back(name);
  }
  std::string texts;
  for (auto& names : kinds) {
    std::sort(names.begin(), names.end());
    for (size_t i = 0; i < names.size(); ++i) texts += (i ? "|" : "") + names[i];
    if (&names == &kinds[0]) texts += ";";
  }
  return texts;
}

class ToolsTest : public WizardTest, public testing::WithParamInterface<ServerKind> {
 protected:
  void SetUp() override {
    WizardTest::SetUp();
    server_ = &SharedFtpServer(GetParam());
    server_->ClearRoot();
    const std::string root = server_->Root();
    for (const char* folder : {"pub/incoming", "docs", "empty", "home/pub"})
      fs::create_directories(root + "/" + folder);
    WriteFileBytes(root + "/pub/readme.txt", "read me\n");
    WriteFileBytes(root + "/notes.txt", "notes\n");
    server_->ChownRoot();
  }

  BrowseAccount Account() const {
    return {server_->Host(), server_->User(), server_->Password(), "", server_->Port(), 1, 0, ""};
  }
  int Browse(std::string& path, std::function<DialogResult(CBrowseDlg&)> act) {
    Host().Queue(
        DialogAnswer::Do([act](CModalDialog& d) { return act(static_cast<CBrowseDlg&>(d)); }));
    BrowseAccount a = Account();
    return bTROX_TOOLS_FOLDER_BrowseForFolder(a.server, a.user, a.password, a.proxy, a.port,
                                              a.passive, &path);
  }
  int PickFile(int mode, std::string& path, std::function<DialogResult(CFtpFileDlg&)> act) {
    Host().Queue(
        DialogAnswer::Do([act](CModalDialog& d) { return act(static_cast<CFtpFileDlg&>(d)); }));
    BrowseAccount a = Account();
    return bTROX_TOOLS_FOLDER_FtpFileDialog(mode, a.server, a.user, a.password, a.proxy, a.port,
                                            a.passive, &path);
  }
  static DialogResult PressOk(CModalDialog& d) {
    return d.OnOK() ? DialogResult::Ok : DialogResult::Cancel;
  }

  FtpTestServer* server_ = nullptr;
};

}  // namespace

TEST_P(ToolsTest, ConnectionListsFullPathsOnceAndKnowsWhenItIsClosed) {
  CBrowseConnection c;
  struct Case {
    const char* folder;
    int wantFolders;
    const char* paths;
  } cases[] = {
      {"/", 1, "/docs|/empty|/home|/pub|"},
      {"/", 0, "/notes.txt|"},
      {"home/", 1, "home/pub|"},
      {"home", 1, "home/pub|"},
      {"/pub", 0, "/pub/readme.txt|"},
  };
  for (const Case& k : cases) {
    ASSERT_EQ(c.Connect(Account()), 1);
    ASSERT_EQ(c.FindFirst(k.folder), 1) << k.folder;
    std::set<std::string> paths;
    std::string path;
    int found = 0;
    while (c.FindNext(path, k.wantFolders, found) && found) EXPECT_TRUE(paths.insert(path).second);
    std::string joined;
    for (const std::string& p : paths) joined += p + "|";
    EXPECT_EQ(joined, k.paths) << k.folder;
    EXPECT_EQ(c.Disconnect(), 1);
  }
  uint32_t error = 1;
  std::string text;
  EXPECT_EQ(c.FindFirst("/"), 0);
  c.GetLastErrorInfo(error, text);
  EXPECT_EQ(error, 0u);
  EXPECT_EQ(text, "Not connected (INT)");
}

TEST_P(ToolsTest, FolderTreeListsOnlyFoldersOnDemand) {
  std::string path = "[login folder]";
  ASSERT_EQ(Browse(path,
                   [](CBrowseDlg& d) {
                     EXPECT_EQ(d.RootMode(), 0);
                     EXPECT_FALSE(d.RootCheck()->isChecked());
                     EXPECT_EQ(Selected(d), d.RootItem()->text(0).toStdString());
                     EXPECT_EQ(Children(d.RootItem()), "docs|empty|home|pub");
                     QTreeWidgetItem* empty = Child(d.RootItem(), "empty");
                     EXPECT_EQ(Children(empty), "////");
                     empty->setExpanded(true);
                     EXPECT_EQ(Children(empty), "");
                     Child(d.RootItem(), "pub")->setExpanded(true);
                     EXPECT_EQ(Children(Child(d.RootItem(), "pub")), "incoming");
                     return PressOk(d);
                   }),
            kTroxToolsOk);
  EXPECT_EQ(path, "");
  EXPECT_TRUE(Messages().empty());
}

TEST_P(ToolsTest, RootModeGivesAbsolutePathsAndPreselects) {
  struct Case {
    const char* path;
    bool toggle;  // click the check box, then choose pub below the new root
    const char* preselected;
    const char* result;
  } cases[] = {
      {"/pub/incoming", false, "incoming", "/pub/incoming"},
      {"pub", false, "pub", "pub"},
      {"pub", true, "pub", "/pub"},
      {"/", true, "/", "pub"},
      {"/missing/incoming", false, "(none)", nullptr},
  };
  for (const Case& k : cases) {
    Host().ClearRequests();
    std::string path = k.path;
    int result = Browse(path, [&](CBrowseDlg& d) {
      EXPECT_EQ(d.RootCheck()->isChecked(), k.path[0] == '/') << k.path;
      EXPECT_EQ(Selected(d), k.preselected) << k.path;
      if (k.toggle) {
        d.RootCheck()->click();
        EXPECT_EQ(Selected(d), "(none)");
        d.Tree()->setCurrentItem(Child(d.RootItem(), "pub"));
      }
      return PressOk(d);
    });
    if (!k.result) {
      EXPECT_EQ(result, kTroxToolsCancel);
      EXPECT_EQ(Messages(), std::vector<std::string>{"No folder is selected!"});
      continue;
    }
    EXPECT_EQ(result, kTroxToolsOk) << k.path;
    EXPECT_EQ(path, k.result);
  }
}

TEST_P(ToolsTest, NewFolderIsMadeOnTheServerAndShownOnceSelected) {
  std::string path = "pub";
  int result = Browse(path, [&](CBrowseDlg& d) {
    Host().Queue(DialogAnswer::Ok());  // an empty name first, refused with a box
    Host().Queue(DialogAnswer::Ok());
    Host().Queue(DialogAnswer::Text("alpha"));
    d.OnMakeNewFolder();
    EXPECT_EQ(Children(Child(d.RootItem(), "pub")), "alpha|incoming");
    EXPECT_EQ(Selected(d), "alpha");
    return PressOk(d);
  });
  EXPECT_EQ(result, kTroxToolsOk);
  EXPECT_EQ(path, "pub/alpha");
  EXPECT_TRUE(fs::is_directory(server_->Root() + "/pub/alpha"));
  EXPECT_EQ(Messages(), std::vector<std::string>{"No folder name entered!"});
}

TEST_P(ToolsTest, FileDialogOpensAndSaves) {
  std::string path = "/pub/readme.txt";
  int result = PickFile(CFtpFileDlg::kOpen, path, [&](CFtpFileDlg& d) {
    EXPECT_EQ(d.windowTitle(), "Open");
    EXPECT_EQ(d.OkButton()->text(), "&Open");
    EXPECT_EQ(Listed(d), "incoming;readme.txt");
    EXPECT_EQ(d.List()->currentItem()->text(), "readme.txt");
    EXPECT_EQ(d.FileNameEdit()->text(), "readme.txt");
    d.List()->clearSelection();
    d.FileNameEdit()->setText("typed.txt");
    EXPECT_FALSE(d.OnOK());
    d.List()->setCurrentRow(1);
    return PressOk(d);
  });
  EXPECT_EQ(result, kTroxToolsOk);
  EXPECT_EQ(path, "/pub/readme.txt");
  EXPECT_EQ(Messages(), std::vector<std::string>{"No file is selected."});

  path = "/pub/old.txt";
  result = PickFile(CFtpFileDlg::kSave, path, [&](CFtpFileDlg& d) {
    EXPECT_EQ(d.windowTitle(), "Save As");
    EXPECT_EQ(d.OkButton()->text(), "&Save");
    EXPECT_EQ(d.FileNameEdit()->text(), "old.txt");
    d.FileNameEdit()->setText("new name.txt");
    return PressOk(d);
  });
  EXPECT_EQ(result, kTroxToolsOk);
  EXPECT_EQ(path, "/pub/new name.txt");
}

TEST_P(ToolsTest, FileDialogWalksUpAndIntoFolders) {
  std::string path = "/pub/incoming/x";
  int result = PickFile(CFtpFileDlg::kOpen, path, [&](CFtpFileDlg& d) {
    struct Step {
      std::function<void()> act;
      const char* folder;
      bool upEnabled;
      const char* listed;
    } steps[] = {
        {[] {}, "/pub/incoming", true, ";"},
        {[&] { d.UpButton()->click(); }, "/pub", true, "incoming;readme.txt"},
        {[&] { d.UpButton()->click(); }, "/", false, "docs|empty|home|pub;notes.txt"},
        {[&] { d.OnItemDoubleClicked(d.FindItem("home")); }, "/home", true, "pub;"},
        {[&] { d.OnItemDoubleClicked(d.FindItem("pub")); }, "/home/pub", true, ";"},
    };
    for (const Step& s : steps) {
      s.act();
      EXPECT_EQ(d.CurrentFolder(), s.folder);
      EXPECT_EQ(d.UpButton()->isEnabled(), s.upEnabled) << s.folder;
      EXPECT_EQ(Listed(d), s.listed) << s.folder;
    }
    return DialogResult::Cancel;
  });
  EXPECT_EQ(result, kTroxToolsCancel);
  EXPECT_EQ(path, "/pub/incoming/x");
  EXPECT_TRUE(Messages().empty());
}

TEST_P(ToolsTest, LargeFolderListsEveryEntryOnce) {
  const std::string many = server_->Root() + "/many";
  for (int i = 0; i < 1000; ++i) {
    fs::create_directories(many + "/folder" + std::to_string(i));
    WriteFileBytes(many + "/file" + std::to_string(i) + ".txt", "");
  }
  server_->ChownRoot();
  std::string path = "/many/none";
  auto start = std::chrono::steady_clock::now();
  std::chrono::steady_clock::duration opened{};
  PickFile(CFtpFileDlg::kOpen, path, [&](CFtpFileDlg& d) {
    opened = std::chrono::steady_clock::now() - start;
    std::set<std::string> names;
    for (int i = 0; i < d.List()->count(); ++i)
      EXPECT_TRUE(names.insert(d.List()->item(i)->text().toStdString()).second);
    EXPECT_EQ(names.size(), 2000u);
    EXPECT_TRUE(d.List()->item(999)->text().startsWith("folder"));
    return DialogResult::Cancel;
  });
  RecordProperty(
      "opened_ms",
      static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(opened).count()));
}

INSTANTIATE_TEST_SUITE_P(Servers, ToolsTest,
                         testing::Values(ServerKind::Pyftpdlib, ServerKind::Vsftpd),
                         [](const auto& test) { return std::string(ServerKindName(test.param)); });

using ToolsLibrary = WizardTest;

TEST_F(ToolsLibrary, UnresolvableServerClosesBothDialogsWithTheForcedBox) {
  std::function<int(std::string*)> dialogs[] = {
      [](std::string* p) {
        return bTROX_TOOLS_FOLDER_BrowseForFolder("no-such-host.invalid", "u", "p", "", 21, 1, p);
      },
      [](std::string* p) {
        return bTROX_TOOLS_FOLDER_FtpFileDialog(1, "no-such-host.invalid", "u", "p", "", 21, 1, p);
      },
  };
  for (auto& run : dialogs) {
    Host().ClearRequests();
    std::string path = "/kept";
    EXPECT_EQ(run(&path), kTroxToolsClosed);
    EXPECT_EQ(path, "/kept");
    ASSERT_EQ(Host().Requests().size(), 1u);
    EXPECT_EQ(Host().Requests()[0].text, "Error 12007\n\nName not resolved");
    EXPECT_EQ(Host().Requests()[0].caption, "Varnook FTP");
    EXPECT_EQ(Host().Requests()[0].icon, MsgIcon::Error);
  }
}

TEST_F(ToolsLibrary, SecuritySetBeforeBrowsingReachesATlsOnlyServer) {
  unsetenv("TROX_CA_FILE");
  FtpTestServerOptions options;
  options.tls = ServerTls::Explicit;
  FtpTestServer server(ServerKind::Vsftpd, options);
  fs::create_directories(server.Root() + "/sealed");
  server.ChownRoot();
  const std::string pin = TestCertificatePin("good");
  // Clear text (refused by the server), an untrusted certificate, then the pinned one.
  struct Case {
    int mode;
    const char* pin;
    bool pinned;
  } cases[] = {{0, nullptr, false}, {1, "", false}, {1, pin.c_str(), true}};
  for (const auto& [mode, given, pinned] : cases) {
    vTROX_TOOLS_SetSecurity(mode, given);
    Host().ClearRequests();
    std::string children, path;
    Host().Queue(pinned ? DialogAnswer::Do([&](CModalDialog& d) {
      children = Children(static_cast<CBrowseDlg&>(d).RootItem());
      return DialogResult::Cancel;
    })
                        : DialogAnswer::Ok());
    EXPECT_EQ(bTROX_TOOLS_FOLDER_BrowseForFolder(server.Host(), server.User(), server.Password(),
                                                 "", server.Port(), 1, &path),
              pinned ? kTroxToolsCancel : kTroxToolsClosed);
    EXPECT_EQ(Messages().size(), pinned ? 0u : 1u);
    EXPECT_EQ(children, pinned ? "sealed" : "");
  }
  vTROX_TOOLS_SetSecurity(0, nullptr);
}

TEST(ToolsLibraryFile, ExportsOnlyItsEntryPoints) {
  ProcessResult nm = RunProgram("/usr/bin/nm", {"-D", "--defined-only", TROX_TOOLS_LIBRARY});
  ASSERT_EQ(nm.exitCode, 0) << nm.output;
  const std::set<std::string> allowed = {"bTROX_TOOLS_FOLDER_BrowseForFolder",
                                         "bTROX_TOOLS_FOLDER_FtpFileDialog",
                                         "pszTROX_TOOLS_GetVersion", "vTROX_TOOLS_SetSecurity",
                                         // added by the linker
                                         "__bss_start", "_edata", "_end", "_init", "_fini"};
  std::set<std::string> exported;
  std::istringstream lines(nm.output);
  for (std::string line; std::getline(lines, line);)
    if (!line.empty()) exported.insert(line.substr(line.rfind(' ') + 1));
  for (const std::string& name : exported) EXPECT_TRUE(allowed.count(name)) << name;
  EXPECT_TRUE(exported.count("bTROX_TOOLS_FOLDER_FtpFileDialog"));
  EXPECT_TRUE(exported.count("vTROX_TOOLS_SetSecurity"));
}
