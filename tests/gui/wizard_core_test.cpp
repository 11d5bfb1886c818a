// The wizard's plain logic: command line, recently-used orders and their storage, settings,
// what the pages store, proxy texts, file type registration, the worker helper.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>
#include <filesystem>
#include <functional>
#include <future>
#include <stdexcept>

#include "CommandLine.h"
#include "FileTypeRegistration.h"
#include "FtpServers.h"
#include "MruLists.h"
#include "ScriptedFtpServer.h"
#include "TempDir.h"
#include "TranProgState.h"
#include "WizSettings.h"
#include "WizardRules.h"
#include "WizardTestSupport.h"
#include "WorkerThread.h"
#include "trox/InternetError.h"
#include "trox/TransferFile.h"
#include "trox/TransferJob.h"

namespace fs = std::filesystem;

TEST(WizardCommandLine, PathIsTheFirstArgumentAndOptionsFollowIt) {
  struct Case {
    std::vector<std::string> arguments;
    std::string path;
    bool transferNow, edit;
  };
  const Case cases[] = {
      {{}, "", false, false},
      {{"/home/ann/job.trx"}, "/home/ann/job.trx", false, false},
      {{"/home/ann/my job.trx", "/t"}, "/home/ann/my job.trx", true, false},
      {{"/home/ann/my job.trx", "/e"}, "/home/ann/my job.trx", false, true},
      {{"/home/ann/job.trx", "/e", "/t"}, "/home/ann/job.trx", true, true},
      {{"/home/ann/job.trx", "/t", "/e"}, "/home/ann/job.trx", true, true},
      // The path is taken whole: quotes, blanks and an option's letters inside it stay.
      {{"/home/ann/\"best\" job.trx"}, "/home/ann/\"best\" job.trx", false, false},
      {{"\"/home/ann/a.trx\""}, "\"/home/ann/a.trx\"", false, false},
      {{"/home/ann/a.trx /t"}, "/home/ann/a.trx /t", false, false},
      // First, an option is the path; glued or unknown later ones count for nothing.
      {{"/t"}, "/t", false, false},
      {{"/home/a.trx", "/tx", "-t", "/T"}, "/home/a.trx", false, false},
  };
  for (const Case& c : cases) {
    WizardCommandLine line = ParseWizardCommandLine(c.arguments);
    EXPECT_EQ(line.path, c.path) << c.path;
    EXPECT_EQ(line.transferNow, c.transferNow) << c.path;
    EXPECT_EQ(line.edit, c.edit) << c.path;
  }
}

TEST(WizardCommandLine, StartupDecision) {
  WizardCommandLine plain{"a.trx", false, false};
  WizardCommandLine now{"a.trx", true, false};
  WizardCommandLine edit{"a.trx", false, true};
  WizardCommandLine both{"a.trx", true, true};
  EXPECT_EQ(DecideStartup(plain, 2, 1), StartupAction::FailedLoad);
  EXPECT_EQ(DecideStartup(now, 2, 0), StartupAction::FailedLoad);
  EXPECT_EQ(DecideStartup(plain, 0, 0), StartupAction::WizardWithPath);
  EXPECT_EQ(DecideStartup(plain, 0, 1), StartupAction::DirectTransfer);
  EXPECT_EQ(DecideStartup(now, 0, 0), StartupAction::DirectTransfer);
  EXPECT_EQ(DecideStartup(edit, 0, 1), StartupAction::WizardWithPath);
  EXPECT_EQ(DecideStartup(both, 0, 1), StartupAction::WizardWithPath);
}

TEST(MruOrder, FileListAddAndRemove) {
  FileMruList list;
  for (const char* p : {"a", "b", "c", "d"}) EXPECT_TRUE(MruAddFile(list, p));
  EXPECT_EQ(list, (FileMruList{"d", "c", "b", "a"}));
  EXPECT_FALSE(MruAddFile(list, "d"));  // already first: nothing to write
  EXPECT_TRUE(MruAddFile(list, "b"));   // moves to the front, the others keep their order
  EXPECT_EQ(list, (FileMruList{"b", "d", "c", "a"}));
  EXPECT_TRUE(MruAddFile(list, "e"));  // a fifth: the oldest drops off
  EXPECT_EQ(list, (FileMruList{"e", "b", "d", "c"}));
  EXPECT_TRUE(MruAddFile(list, "E"));  // case matters
  EXPECT_EQ(list, (FileMruList{"E", "e", "b", "d"}));
  EXPECT_TRUE(MruRemoveFile(list, "e"));
  EXPECT_EQ(list, (FileMruList{"E", "b", "d", ""}));
  EXPECT_TRUE(MruRemoveFile(list, "zz"));
  EXPECT_EQ(list, (FileMruList{"E", "b", "d", ""}));
}

TEST(MruOrder, ServerListMatchesServerAndUser) {
  ServerMruList list;
  EXPECT_TRUE(MruAddServer(list, {"s1", "ann", "p1"}));
  EXPECT_TRUE(MruAddServer(list, {"s1", "bob", "p2"}));  // another user: another entry
  EXPECT_TRUE(MruAddServer(list, {"s2", "", ""}));
  EXPECT_FALSE(MruAddServer(list, {"s2", "", "x"}));
  // Found further down: moves to the front with its stored password.
  EXPECT_TRUE(MruAddServer(list, {"s1", "ann", "changed"}));
  EXPECT_EQ(list[0], (ServerMruEntry{"s1", "ann", "p1"}));
  EXPECT_EQ(list[1], (ServerMruEntry{"s2", "", ""}));
  EXPECT_EQ(list[2], (ServerMruEntry{"s1", "bob", "p2"}));
  EXPECT_TRUE(MruAddServer(list, {"s3", "u", "p"}));
  EXPECT_TRUE(MruAddServer(list, {"s4", "u", "p"}));
  EXPECT_EQ(list[3], (ServerMruEntry{"s2", "", ""}));
}

using StoredMru = WizardTest;

TEST_F(StoredMru, FileListKeepsFourAndSkipsWritingWhenFirst) {
  for (const char* p : {"/a", "/b", "/c", "/d", "/e"}) AddFileMru(p);
  EXPECT_EQ(ReadFileMru(0), "/e");
  EXPECT_EQ(ReadFileMru(3), "/b");
  EXPECT_EQ(ReadFileMru(4), "");
  EXPECT_EQ(ReadFileMru(-1), "");
  EXPECT_EQ(StoredValue("MRU0"), "/e");

  QSettings raw(QStringLiteral("Varnook"), QStringLiteral("TROX"));
  raw.remove(QStringLiteral("Wizard/MRU3"));
  raw.sync();
  AddFileMru("/e");  // already first: the store is not written
  EXPECT_FALSE(StoredValueExists("MRU3"));
  AddFileMru("/c");
  EXPECT_TRUE(StoredValueExists("MRU3"));
  EXPECT_EQ(ReadFileMru(0), "/c");
  EXPECT_EQ(ReadFileMru(1), "/e");
  EXPECT_EQ(ReadFileMru(2), "/d");
  RemoveFileMru("/e");
  EXPECT_EQ(ReadFileMru(1), "/d");
  EXPECT_EQ(ReadFileMru(3), "");
}

TEST_F(StoredMru, PurgeDropsVanishedFiles) {
  std::string dir = MakeTempDir();
  WriteFileBytes(dir + "/keep1.trx", "x");
  WriteFileBytes(dir + "/keep2.trx", "x");
  AddFileMru(dir + "/keep1.trx");
  AddFileMru(dir + "/gone1.trx");
  AddFileMru(dir);  // a folder counts as existing
  AddFileMru(dir + "/gone2.trx");
  PurgeFileMru();
  EXPECT_EQ(ReadFileMru(0), dir);
  EXPECT_EQ(ReadFileMru(1), dir + "/keep1.trx");
  EXPECT_EQ(ReadFileMru(2), "");
  EXPECT_EQ(ReadFileMru(3), "");
}

TEST_F(StoredMru, ServerListStoresAccountsEncrypted) {
  AddServerMru("ftp.example.com", "ann", "secret");
  EXPECT_EQ(StoredValue("SMRU0/Default"), "ftp.example.com");
  EXPECT_EQ(StoredValue("SMRU0/Pass"), "E56CF16ECCE9");
  EXPECT_NE(StoredValue("SMRU0/User"), "ann");
  std::string server, user, password;
  ReadServerMru(0, server, user, password);
  EXPECT_EQ(server, "ftp.example.com");
  EXPECT_EQ(user, "ann");
  EXPECT_EQ(password, "secret");

  AddServerMru("192.168.1.20", "", "");  // anonymous: empty strings stay empty
  EXPECT_EQ(StoredValue("SMRU0/User"), "");
  EXPECT_EQ(StoredValue("SMRU0/Pass"), "");
  AddServerMru("ftp.example.com", "ann", "other");  // the stored password stays
  ReadServerMru(0, server, user, password);
  EXPECT_EQ(password, "secret");
  ReadServerMru(1, server, user, password);
  EXPECT_EQ(server, "192.168.1.20");
  ReadServerMru(2, server, user, password);
  EXPECT_EQ(server, "");
  ReadServerMru(4, server, user, password);
  EXPECT_EQ(server + user + password, "");

  // A value that is not in the stored form reads as it is.
  QSettings raw(QStringLiteral("Varnook"), QStringLiteral("TROX"));
  raw.setValue(QStringLiteral("Wizard/SMRU3/Default"), QStringLiteral("plain.example.com"));
  raw.setValue(QStringLiteral("Wizard/SMRU3/User"), QStringLiteral("not hex"));
  raw.sync();
  ReadServerMru(3, server, user, password);
  EXPECT_EQ(user, "not hex");

  ClearServerMru();
  for (int i = 0; i < kMruSize; ++i) {
    ReadServerMru(i, server, user, password);
    EXPECT_EQ(server + user + password, "") << i;
  }
  EXPECT_TRUE(StoredValueExists("SMRU2/Default"));
}

using WizardSettings = WizardTest;

TEST_F(WizardSettings, DefaultsNamesAndInvertedWarning) {
  CWizSettings defaults;
  EXPECT_EQ(defaults.GetServerMruEnabled(), 0);
  EXPECT_EQ(defaults.GetCryptoWarnEnabled(), 1);

  defaults.SetServerMruEnabled(1);
  defaults.SetCryptoWarnEnabled(0);
  defaults.Save();
  EXPECT_EQ(StoredValue("SMru"), "1");
  EXPECT_EQ(StoredValue("orCryptoWarn"), "1");
  CWizSettings loaded;
  EXPECT_EQ(loaded.GetServerMruEnabled(), 1);
  EXPECT_EQ(loaded.GetCryptoWarnEnabled(), 0);

  // Only 1 silences the warning; a value that is not a number changes nothing.
  QSettings raw(QStringLiteral("Varnook"), QStringLiteral("TROX"));
  raw.setValue(QStringLiteral("Wizard/orCryptoWarn"), 5);
  raw.setValue(QStringLiteral("Wizard/SMru"), QStringLiteral("yes"));
  raw.sync();
  CWizSettings odd;
  EXPECT_EQ(odd.GetCryptoWarnEnabled(), 1);
  EXPECT_EQ(odd.GetServerMruEnabled(), 0);

  // The store really is the INI file under the temporary XDG_CONFIG_HOME, group Wizard.
  std::string file = std::string(getenv("XDG_CONFIG_HOME")) + "/Varnook/TROX.conf";
  std::string text = ReadFileBytes(file);
  EXPECT_NE(text.find("[Wizard]"), std::string::npos) << text;
}

TEST(WizardRules, ProxySplitAndJoin) {
  // IPv6: the port follows the closing bracket; a bare address has none and gets brackets.
  const struct {
    const char* text;
    const char* address;
    uint32_t port;
    const char* joined;  // JoinProxy of the parts; null: not checked
  } cases[] = {
      {"proxy.example.com:8080", "proxy.example.com", 8080, "proxy.example.com:8080"},
      {"proxy.example.com", "proxy.example.com", 0, "proxy.example.com:0"},
      {"host:", "host", 0, nullptr},
      {"host:3128x", "host", 3128, nullptr},
      {"", "", 0, nullptr},
      {"[::1]:8080", "[::1]", 8080, "[::1]:8080"},
      {"fe80::1", "fe80::1", 0, "[fe80::1]:0"},
      {"[::1]", "[::1]", 0, nullptr},
      {"[::1", "[::1", 0, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const ProxyParts parts = SplitProxy(c.text);
    EXPECT_EQ(parts.address, c.address);
    EXPECT_EQ(parts.port, c.port);
    if (c.joined) {
      EXPECT_EQ(JoinProxy(parts.address, parts.port), c.joined);
    }
  }
  EXPECT_EQ(JoinProxy("", 8080), "");
}

TEST(WizardRules, UnsignedFields) {
  EXPECT_EQ(ParseUnsignedField("21"), 21u);
  EXPECT_EQ(ParseUnsignedField(" 2121 "), 2121u);
  EXPECT_EQ(ParseUnsignedField("4294967295"), 4294967295u);
  for (const char* bad : {"", "  ", "-1", "+1", "4294967296", "12a", "0x10", "1 2"})
    EXPECT_FALSE(ParseUnsignedField(bad).has_value()) << bad;
}

TEST(WizardRules, ServerPageLoadsAndStores) {
  CTransferJob job;
  job.SetServer("ftp.example.com");
  job.SetUser("ann");
  job.SetPassword("pw");
  job.SetPassPrompt();
  ServerPageState state = ServerPageFromJob(job);
  EXPECT_TRUE(state.accountMode);
  EXPECT_FALSE(state.saveEncryptedPassword);
  EXPECT_EQ(state.password, "pw");

  // Anonymous: user and password are emptied, the recorded entry has no account.
  state.accountMode = false;
  state.saveEncryptedPassword = true;
  std::optional<ServerMruEntry> entry = StoreServerPage(state, job, 1);
  EXPECT_EQ(job.GetUser(), "");
  EXPECT_EQ(job.GetPassword(), "");
  EXPECT_EQ(job.m_passPrompt, 0u);
  ASSERT_TRUE(entry);
  EXPECT_EQ(*entry, (ServerMruEntry{"ftp.example.com", "", ""}));
  EXPECT_FALSE(ServerPageFromJob(job).accountMode);

  state.accountMode = true;
  state.saveEncryptedPassword = false;
  EXPECT_FALSE(StoreServerPage(state, job, 0));  // list switched off: nothing to record
  EXPECT_EQ(job.GetUser(), "ann");
  EXPECT_EQ(job.m_passPrompt, 1u);

  ServerPageState chosen = ServerPageFromMru(state, {"other", "", ""});
  EXPECT_FALSE(chosen.accountMode);
  EXPECT_EQ(chosen.server, "other");
  EXPECT_FALSE(ServerAddressAccepted(""));
  EXPECT_TRUE(ServerAddressAccepted("   "));
}

TEST(WizardRules, CancelAndCryptoQuestions) {
  CTransferJob working, saved;
  EXPECT_FALSE(AskBeforeCancel(false, working, saved));
  working.SetServer("x");
  EXPECT_TRUE(AskBeforeCancel(false, working, saved));
  EXPECT_FALSE(AskBeforeCancel(true, working, saved));
  EXPECT_TRUE(ShowCryptoWarning(1, 0));
  EXPECT_FALSE(ShowCryptoWarning(1, 1));
  EXPECT_FALSE(ShowCryptoWarning(0, 0));
}

TEST(WizardRules, ChangeTestSeesTheListsButNotWhatARunLeaves) {
  CTransferJob saved;
  saved.SetServer("127.0.0.1");
  saved.SetPort(UnusedLoopbackPort());
  saved.SetServerPath("/pub/one.txt");
  saved.SetSingle();
  saved.AddSelect(".txt");
  saved.AddChmod(".cgi", "755");
  saved.AddConnScript("NOOP");
  CTransferJob ran = saved;
  {
    ScopedInternetTimeouts bounded(5000, 5000, 5000);
    TranProgState state;
    state.job = &ran;
    TransferThreadProc(&state);  // fails to connect, but wires the job's output first
  }
  EXPECT_EQ(ran.IsSameAs(saved), 0);
  EXPECT_FALSE(AskBeforeCancel(false, ran, saved));

  const struct {
    const char* name;
    std::function<void(CTransferJob&)> change;
    bool changed;
  } cases[] = {
      {"upgrade found", [](CTransferJob& j) { j.m_upgradeAvailable = 1; }, false},
      {"folder cut by a run", [](CTransferJob& j) { j.m_remoteFolder = "/pub"; }, false},
      {"selection edited", [](CTransferJob& j) { j.m_selectList[0].extension = ".htm"; }, true},
      {"permission edited", [](CTransferJob& j) { j.m_chmodList[0].mode = 644; }, true},
      {"permission removed", [](CTransferJob& j) { j.m_chmodList.clear(); }, true},
      {"script edited", [](CTransferJob& j) { j.m_connScripts[0].expectResponse = 1; }, true},
      {"setting", [](CTransferJob& j) { j.SetPassive(); }, true},
  };
  for (const auto& c : cases) {
    CTransferJob working = ran;
    c.change(working);
    EXPECT_EQ(AskBeforeCancel(false, working, saved), c.changed) << c.name;
  }
}

TEST(WizardRules, LoadPageNext) {
  std::string dir = MakeTempDir();
  CTransferJob source;
  source.SetServer("ftp.example.com");
  source.SetServerPath("/pub");
  ASSERT_EQ(WriteTransferFile(dir + "/good.trx", source), 0);
  WriteFileBytes(dir + "/bad.trx", "[TROX]\nPORT=21\n");

  CTransferJob working, saved;
  working.SetServer("left over");
  std::vector<std::string> added;
  auto add = [&](const std::string& p) { added.push_back(p); };

  EXPECT_EQ(LoadPageNext(false, dir + "/bad.trx", working, saved, add),
            LoadNextResult::InvalidFile);
  EXPECT_EQ(LoadPageNext(false, dir + "/missing.trx", working, saved, add),
            LoadNextResult::InvalidFile);
  EXPECT_TRUE(added.empty());

  EXPECT_EQ(LoadPageNext(false, dir + "/good.trx", working, saved, add), LoadNextResult::Moved);
  EXPECT_EQ(working.GetServer(), "ftp.example.com");
  EXPECT_EQ(working.m_jobFile, dir + "/good.trx");
  EXPECT_EQ(working.m_progressMode, 1u);
  EXPECT_EQ(added, std::vector<std::string>{dir + "/good.trx"});
  EXPECT_EQ(working.IsSameAs(saved), 1);

  EXPECT_EQ(LoadPageNext(true, "", working, saved, add), LoadNextResult::Moved);
  EXPECT_EQ(working.GetServer(), "");
  EXPECT_EQ(working.m_upgrade, 1u);
  EXPECT_EQ(working.IsSameAs(saved), 1);

  // A relative path is stored as the absolute one: the wizard may start elsewhere next time.
  const fs::path before = fs::current_path();
  fs::current_path(dir);
  const std::string absolute = fs::current_path().string() + "/good.trx";
  added.clear();
  EXPECT_EQ(LoadPageNext(false, "./good.trx", working, saved, add), LoadNextResult::Moved);
  AddFileMru("good.trx");
  fs::current_path(before);
  EXPECT_EQ(working.m_jobFile, absolute);
  EXPECT_EQ(added, std::vector<std::string>{absolute});
  EXPECT_EQ(ReadFileMru(0), absolute);
  ClearWizardSettings();
}

TEST(FileType, RegistersMimeTypeAndDesktopEntry) {
  std::string home = MakeTempDir(), system = MakeTempDir();
  FileTypeRegistrationResult result =
      RegisterFileType(home, {system}, "/opt/trox/bin/trox-wizard", "PNG");
  EXPECT_TRUE(result.registered);
  EXPECT_TRUE(result.mimeChanged);
  std::string xml = ReadFileBytes(home + "/mime/packages/trox-wizard.xml");
  EXPECT_NE(xml.find("type=\"application/x-trox-transfer\""), std::string::npos);
  EXPECT_NE(xml.find("<glob pattern=\"*.trx\"/>"), std::string::npos);
  EXPECT_NE(xml.find("Varnook FTP Wizard Transfer File"), std::string::npos);
  std::string desktop = ReadFileBytes(home + "/applications/trox-wizard.desktop");
  EXPECT_NE(desktop.find("Exec=\"/opt/trox/bin/trox-wizard\" %f\n"), std::string::npos);
  EXPECT_NE(desktop.find("Name=Transfer Now\nExec=\"/opt/trox/bin/trox-wizard\" %f /t\n"),
            std::string::npos);
  EXPECT_NE(desktop.find("Name=Edit\nExec=\"/opt/trox/bin/trox-wizard\" %f /e\n"),
            std::string::npos);
  EXPECT_NE(desktop.find("MimeType=application/x-trox-transfer;"), std::string::npos);
  EXPECT_TRUE(fs::exists(home + "/icons/hicolor/48x48/apps/trox-wizard.png"));

  // Again: nothing new, so the database needs no update.
  result = RegisterFileType(home, {system}, "/opt/trox/bin/trox-wizard", "PNG");
  EXPECT_TRUE(result.registered);
  EXPECT_FALSE(result.mimeChanged);

  // Our own type in the compiled database is no foreign claim.
  WriteFileBytes(home + "/mime/globs2", "50:application/x-trox-transfer:*.trx\n");
  EXPECT_TRUE(RegisterFileType(home, {system}, "/p", "").registered);
}

TEST(FileType, LeavesAForeignClaimAlone) {
  std::string home = MakeTempDir(), system = MakeTempDir();
  fs::create_directories(system + "/mime");
  WriteFileBytes(system + "/mime/globs2", "# comment\n50:text/x-other:*.TRX\n");
  EXPECT_EQ(TrxPatternOwner({system}), "text/x-other");
  FileTypeRegistrationResult result = RegisterFileType(home, {system}, "/p/trox-wizard", "");
  EXPECT_TRUE(result.claimedElsewhere);
  EXPECT_FALSE(result.registered);
  EXPECT_FALSE(fs::exists(home + "/mime"));
  EXPECT_FALSE(fs::exists(home + "/applications"));

  // A user package of another program counts too.
  std::string home2 = MakeTempDir();
  WriteFileBytes(home2 + "/mime/packages/other.xml", "<glob pattern=\"*.trx\"/>");
  EXPECT_TRUE(RegisterFileType(home2, {}, "/p", "").claimedElsewhere);
}

TEST(FileType, WithoutProgramPathOnlyTheType) {
  std::string home = MakeTempDir();
  EXPECT_TRUE(RegisterFileType(home, {}, "", "PNG").registered);
  EXPECT_TRUE(fs::exists(home + "/mime/packages/trox-wizard.xml"));
  EXPECT_FALSE(fs::exists(home + "/applications/trox-wizard.desktop"));
}

TEST(FileType, InstalledProgramLeavesTheUserAloneAndShipsTheSameType) {
  std::string prefix = MakeTempDir();
  const std::string program = prefix + "/bin/trox-wizard";
  EXPECT_FALSE(InstalledWithFileType(program));
  WriteFileBytes(prefix + "/share/applications/trox-wizard.desktop", "x");
  EXPECT_FALSE(InstalledWithFileType(program));
  WriteFileBytes(prefix + "/share/mime/packages/trox-wizard.xml", "x");
  EXPECT_TRUE(InstalledWithFileType(program));
  EXPECT_FALSE(InstalledWithFileType(""));

  // The system-wide type that the package installs is the one a build-tree wizard registers.
  std::string home = MakeTempDir();
  ASSERT_TRUE(RegisterFileType(home, {}, "", "").registered);
  EXPECT_EQ(ReadFileBytes(home + "/mime/packages/trox-wizard.xml"),
            ReadFileBytes(TROX_TEST_SUPPORT_DIR "/../../packaging/trox-wizard.xml"));
}

TEST(FileType, DesktopExecQuoting) {
  EXPECT_EQ(DesktopExec("/a b/trox-wizard", "%f"), "\"/a b/trox-wizard\" %f");
  EXPECT_EQ(DesktopExec("/a$b/x", ""), "\"/a\\\\$b/x\"");
  EXPECT_EQ(DesktopExec("/a\\b/x", ""), "\"/a\\\\\\\\b/x\"");
  EXPECT_EQ(DesktopExec("/100%/x", ""), "\"/100%%/x\"");
  EXPECT_NE(ProgramPath().find("unit_wizard_core"), std::string::npos);
}

namespace {

struct WorkerOwner : QObject {
  CWorkerThread<int> worker{this};
};

}  // namespace

TEST(WorkerThread, OnlyTheLatestRequestAnswersAndNothingWaitsForAGivenUpOne) {
  // kRestartAfterPost: the first request's answer is already queued when the second starts.
  enum Then { kWait, kStop, kDeleteOwner, kRestart, kRestartAfterPost };
  // A work that waits is held at the gate until the test opens it (or a bound passes).
  using Gate = std::shared_future<void>;
  using Work = std::function<int(const Gate&)>;
  const Work waits = [](const Gate& gate) {
    gate.wait_for(std::chrono::seconds(10));
    return 1;
  };
  struct Case {
    const char* name;
    Work work;
    Then then;
    std::string arrived;
  };
  const Case cases[] = {
      {"result", [](auto&) { return 7; }, kWait, "done 7"},
      {"internet error", [](auto&) -> int { throw CInternetException(12029, "no route"); }, kWait,
       "failed 12029 no route"},
      {"other exception", [](auto&) -> int { throw std::runtime_error("bad"); }, kWait,
       "failed 0 bad"},
      {"stopped", waits, kStop, ""},
      {"owner deleted", waits, kDeleteOwner, ""},
      {"new request", waits, kRestart, "done 2"},
      {"new request after the answer", [](auto&) { return 1; }, kRestartAfterPost, "done 2"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::promise<void> open;
    const Gate gate = open.get_future().share();
    std::atomic<bool> sawStop{false};
    std::atomic<bool> passed{false};
    std::string arrived;
    auto owner = std::make_unique<WorkerOwner>();
    auto done = [&](int result) {
      EXPECT_EQ(QThread::currentThread(), qApp->thread());
      arrived += "done " + std::to_string(result);
    };
    auto failed = [&](const WorkerFailure& failure) {
      arrived += "failed " + std::to_string(failure.error) + " " + failure.text;
    };
    auto work = [&, fn = c.work](const std::atomic<bool>& stop) {
      int result = fn(gate);
      if (stop) sawStop = true;
      passed = true;
      return result;
    };
    owner->worker.Start(work, done, failed);
    EXPECT_TRUE(owner->worker.Running());
    if (c.then == kStop) owner->worker.Stop();
    if (c.then == kRestartAfterPost) {
      ASSERT_TRUE(CWorkerBase::WaitForAll(std::chrono::seconds(10)));
    }
    if (c.then == kRestart || c.then == kRestartAfterPost)
      owner->worker.Start([](auto&) { return 2; }, done, failed);
    if (c.then == kDeleteOwner) {
      owner.reset();
      EXPECT_FALSE(passed);
    }
    open.set_value();
    ASSERT_TRUE(CWorkerBase::WaitForAll(std::chrono::seconds(10)));
    QCoreApplication::processEvents();
    EXPECT_EQ(arrived, c.arrived);
    EXPECT_EQ(sawStop, c.then != kWait && c.then != kRestartAfterPost);
    if (owner) {
      EXPECT_FALSE(owner->worker.Running());
    }
  }
}
