#include "trox/TransferJob.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <string>
#include <vector>

#include "TempDir.h"
#include "trox/Internet.h"

namespace {

std::string Cwd() {
  char buffer[PATH_MAX];
  return getcwd(buffer, sizeof buffer) ? buffer : "";
}

// Runs the body with the given current directory and puts the old one back.
class ScopedChdir {
 public:
  explicit ScopedChdir(const std::string& dir) : m_old(Cwd()) { EXPECT_EQ(chdir(dir.c_str()), 0); }
  ~ScopedChdir() { EXPECT_EQ(chdir(m_old.c_str()), 0); }

 private:
  std::string m_old;
};

struct Captured {
  std::vector<std::string> texts;
  std::vector<int> flags;
  std::vector<std::string> logs;
  std::vector<TransferProgress*> records;
  std::vector<uintptr_t> userData;
};
Captured g_captured;

void ConsoleSink(const char* text, int endOfLine, std::string logFile) {
  g_captured.texts.push_back(text);
  g_captured.flags.push_back(endOfLine);
  g_captured.logs.push_back(logFile);
}

int HostSink(const char* text, int endOfLine, TransferProgress* progress, uintptr_t userData) {
  g_captured.texts.push_back(text);
  g_captured.flags.push_back(endOfLine);
  g_captured.records.push_back(progress);
  g_captured.userData.push_back(userData);
  return 42;
}

int ProgressSink(TransferProgress* progress, uintptr_t userData) {
  g_captured.records.push_back(progress);
  g_captured.userData.push_back(userData);
  return 0;
}

}  // namespace

TEST(CTransferJob, FreshJobHasTheDefaults) {
  CTransferJob job;
  EXPECT_EQ(job.m_port, 21);
  EXPECT_EQ(job.m_fileMask, "*.*");
  EXPECT_EQ(job.m_localFolder, Cwd());
  EXPECT_EQ(job.m_outputMode, 0);
  EXPECT_EQ(job.m_selectMode, 0);
  EXPECT_EQ(job.m_transferType, 0u);
  EXPECT_EQ(job.m_nextConn, 1);
  EXPECT_EQ(job.m_nextTran, 1);
  EXPECT_EQ(job.m_nextDisc, 1);
  EXPECT_EQ(job.m_sessionContext, 1u);
  EXPECT_EQ(job.m_accessType, 0u);
  EXPECT_EQ(job.GetLocalPath(), "");
  EXPECT_EQ(job.m_session, nullptr);
  EXPECT_EQ(job.m_connection, nullptr);
}

TEST(CTransferJob, ResetInTheRootGivesAnEmptyLocalFolder) {
  ScopedChdir root("/");
  CTransferJob job;
  EXPECT_EQ(job.m_localFolder, "");
}

TEST(CTransferJob, ResetClearsEverything) {
  CTransferJob job;
  job.SetServer("host");
  job.SetServerPath("/x");
  job.SetPort(2121);
  job.SetVerbose();
  job.SetProxy("proxy:8021");
  job.AddSelect(".txt");
  job.AddChmod(".cgi", "755");
  job.AddConnScript("NOOP");
  job.AddTranScript("NOOP");
  job.AddDiscScript("NOOP");
  job.SetConsoleOutput(ConsoleSink);
  job.m_progress.lastError = 12003;
  job.m_progress.lastResponse = "550 no";
  job.m_upgradeAvailable = 1;
  job.m_transferFailed = 1;
  job.Reset();
  CTransferJob fresh;
  EXPECT_EQ(job.IsSameAs(fresh), 1);
  EXPECT_TRUE(job.m_selectList.empty());
  EXPECT_TRUE(job.m_chmodList.empty());
  EXPECT_TRUE(job.m_connScripts.empty());
  EXPECT_EQ(job.m_nextConn, 1);
  EXPECT_EQ(job.m_consoleOutput, nullptr);
  EXPECT_EQ(job.m_progress.lastError, 0u);
  EXPECT_EQ(job.m_progress.lastResponse, "");
  EXPECT_EQ(job.m_transferFailed, 0u);
}

TEST(CTransferJob, ServerPathBecomesForwardSlashesWithoutOneTrailingSlash) {
  CTransferJob job;
  struct Case {
    const char* given;
    const char* folder;
  } cases[] = {
      {"\\dir\\sub\\", "/dir/sub"},
      {"/", "/"},
      {"//", "/"},
      {"/a//", "/a/"},
      {"pub/", "pub"},
      {"", ""},
      {"\\", "/"},
      {"a\\b", "a/b"},
      {"/pub/file.txt", "/pub/file.txt"},
  };
  for (const Case& c : cases) {
    job.SetServerPath(c.given);
    EXPECT_EQ(job.m_remoteFolder, c.folder) << c.given;
    EXPECT_EQ(job.GetServerPath(), c.given);
  }
}

TEST(CTransferJob, LocalPathIsMadeAbsoluteAndFoldedLexically) {
  std::string base = MakeTempDir();
  ScopedChdir in(base);
  CTransferJob job;
  struct Case {
    std::string given;
    std::string path;
    std::string folder;
  } cases[] = {
      {"/", "/", ""},
      {"/..", "/", ""},
      {"/a//b/../c", "/a/c", "/a/c"},
      {"/a/./b/", "/a/b/", "/a/b"},
      {"/a/b/..", "/a", "/a"},
      {"sub", base + "/sub", base + "/sub"},
      {"sub/../x/./y/", base + "/x/y/", base + "/x/y"},
      {".", base, base},
      {"", base, base},
      // Folding is lexical: the file system is not asked.
      {"nonexistent/..", base, base},
  };
  for (const Case& c : cases) {
    job.SetLocalPath(c.given);
    EXPECT_EQ(job.GetLocalPath(), c.path) << c.given;
    EXPECT_EQ(job.m_localFolder, c.folder) << c.given;
  }
}

TEST(CTransferJob, LocalPathTooLongGivesEmpty) {
  CTransferJob job;
  job.SetLocalPath("/" + std::string(PATH_MAX + 10, 'a'));
  EXPECT_EQ(job.GetLocalPath(), "");
  EXPECT_EQ(job.m_localFolder, "");
}

TEST(CTransferJob, ScriptTextsAndSequenceNumbers) {
  CTransferJob job;
  job.AddConnScript("NLST,Y");
  job.AddConnScript("SITE IDLE 60");
  job.AddConnScript("A,B,C");
  job.AddTranScript("SITE chmod 644 %s");
  job.AddDiscScript(",");
  ASSERT_EQ(job.m_connScripts.size(), 3u);
  EXPECT_EQ(job.m_connScripts[0].type, "Conn");
  EXPECT_EQ(job.m_connScripts[0].command, "NLST");
  EXPECT_EQ(job.m_connScripts[0].expectResponse, 1u);
  EXPECT_EQ(job.m_connScripts[0].sequence, 1);
  EXPECT_EQ(job.m_connScripts[1].command, "SITE IDLE 60");
  EXPECT_EQ(job.m_connScripts[1].expectResponse, 0u);
  EXPECT_EQ(job.m_connScripts[1].sequence, 2);
  EXPECT_EQ(job.m_connScripts[2].command, "A");
  EXPECT_EQ(job.m_connScripts[2].expectResponse, 1u);
  EXPECT_EQ(job.m_nextConn, 4);
  ASSERT_EQ(job.m_tranScripts.size(), 1u);
  EXPECT_EQ(job.m_tranScripts[0].type, "Tran");
  EXPECT_EQ(job.m_tranScripts[0].sequence, 1);
  ASSERT_EQ(job.m_discScripts.size(), 1u);
  EXPECT_EQ(job.m_discScripts[0].type, "Disc");
  EXPECT_EQ(job.m_discScripts[0].command, "");
  EXPECT_EQ(job.m_discScripts[0].expectResponse, 1u);
  EXPECT_EQ(job.m_nextTran, 2);
  EXPECT_EQ(job.m_nextDisc, 2);
}

TEST(CTransferJob, ChmodModeIsReadAsDecimal) {
  CTransferJob job;
  job.AddChmod(".cgi", "755");
  job.AddChmod(".pl", "rwx");
  job.AddChmod(".sh", "0755");
  job.AddChmod(".x", " 644abc");
  ASSERT_EQ(job.m_chmodList.size(), 4u);
  EXPECT_EQ(job.m_chmodList[0].extension, ".cgi");
  EXPECT_EQ(job.m_chmodList[0].mode, 755);
  EXPECT_EQ(job.m_chmodList[1].mode, 0);
  EXPECT_EQ(job.m_chmodList[2].mode, 755);
  EXPECT_EQ(job.m_chmodList[3].mode, 644);
}

TEST(CTransferJob, ProxyAndAccessType) {
  CTransferJob job;
  job.SetProxy("proxy.example:8021");
  EXPECT_EQ(job.GetProxy(), "proxy.example:8021");
  EXPECT_EQ(job.m_accessType, 3u);
  job.SetProxy("");
  EXPECT_EQ(job.GetProxy(), "");
  EXPECT_EQ(job.m_accessType, 0u);
}

TEST(CTransferJob, OutputGoesWhereTheModeSays) {
  g_captured = {};
  CTransferJob job;
  job.Output("nowhere", 1);
  EXPECT_TRUE(g_captured.texts.empty());

  job.SetLogFile("/tmp/log.txt");
  job.SetConsoleOutput(ConsoleSink);
  EXPECT_EQ(job.m_outputMode, 1);
  job.Output("to console", 1);
  job.Output("no line end", 0);
  job.OutputVerbose("hidden", 1);
  job.SetVerbose();
  job.OutputVerbose("shown", 1);
  ASSERT_EQ(g_captured.texts, (std::vector<std::string>{"to console", "no line end", "shown"}));
  EXPECT_EQ(g_captured.flags, (std::vector<int>{1, 0, 1}));
  EXPECT_EQ(g_captured.logs[0], "/tmp/log.txt");

  g_captured = {};
  job.SetHostOutput(HostSink, 77);
  EXPECT_EQ(job.m_outputMode, 2);
  EXPECT_EQ(job.Output("to host", 1), 42);
  ASSERT_EQ(g_captured.records.size(), 1u);
  EXPECT_EQ(g_captured.records[0], &job.m_progress);
  EXPECT_EQ(g_captured.userData[0], 77u);

  // The progress callback does not change where text goes.
  g_captured = {};
  job.SetProgressCallback(ProgressSink, 88);
  EXPECT_EQ(job.m_outputMode, 2);
  job.ReportProgress();
  ASSERT_EQ(g_captured.records.size(), 1u);
  EXPECT_EQ(g_captured.records[0], &job.m_progress);
  EXPECT_EQ(g_captured.userData[0], 88u);

  // Mode 1 without a console callback is silent.
  g_captured = {};
  job.SetConsoleOutput(nullptr);
  job.Output("lost", 1);
  EXPECT_TRUE(g_captured.texts.empty());
}

TEST(CTransferJob, CopyTakesSettingsListsAndWiringButNoSession) {
  CTransferJob job;
  job.SetServer("host");
  job.SetUser("me");
  job.SetPassword("pw");
  job.SetServerPath("/pub/");
  job.SetLocalPath("/tmp/x/");
  job.SetHostOutput(HostSink, 5);
  job.AddSelect(".gif");
  job.AddChmod(".cgi", "755");
  job.AddConnScript("NOOP,Y");
  job.SetProgressMode(1);
  job.m_session = std::make_unique<CInternetSession>("Varnook FTP", 1, 0, "", "", 0);

  CTransferJob copy(job);
  EXPECT_EQ(copy.m_session, nullptr);
  EXPECT_EQ(copy.m_connection, nullptr);
  EXPECT_NE(job.m_session, nullptr);
  EXPECT_EQ(copy.GetServer(), "host");
  EXPECT_EQ(copy.m_remoteFolder, "/pub");
  EXPECT_EQ(copy.m_localFolder, "/tmp/x");
  EXPECT_EQ(copy.GetLocalPath(), "/tmp/x/");
  EXPECT_EQ(copy.m_hostOutput, &HostSink);
  EXPECT_EQ(copy.m_userData, 5u);
  ASSERT_EQ(copy.m_selectList.size(), 1u);
  EXPECT_EQ(copy.m_selectList[0].extension, ".gif");
  ASSERT_EQ(copy.m_connScripts.size(), 1u);
  EXPECT_EQ(copy.m_connScripts[0].command, "NOOP");
  EXPECT_EQ(copy.IsSameAs(job), 1);

  CTransferJob assigned;
  assigned.m_session = std::make_unique<CInternetSession>("Varnook FTP", 1, 0, "", "", 0);
  assigned = job;
  EXPECT_EQ(assigned.m_session, nullptr);
  EXPECT_EQ(assigned.IsSameAs(job), 1);
  // The lists are copies, not shared.
  assigned.AddSelect(".jpg");
  EXPECT_EQ(job.m_selectList.size(), 1u);
}

TEST(CTransferJob, IsSameAsComparesSettingsNotListsOrRunState) {
  CTransferJob job;
  job.SetServer("host");
  CTransferJob copy = job;
  EXPECT_EQ(job.IsSameAs(copy), 1);

  copy.SetVerbose();
  EXPECT_EQ(job.IsSameAs(copy), 0);
  copy.ClearVerbose();
  EXPECT_EQ(job.IsSameAs(copy), 1);

  // The selection list is not compared; the script lists show through their numbers.
  copy.AddSelect(".txt");
  copy.AddChmod(".cgi", "755");
  EXPECT_EQ(job.IsSameAs(copy), 1);
  copy.AddDiscScript("QUIT");
  EXPECT_EQ(job.IsSameAs(copy), 0);

  // Not compared: local folder, callbacks, user data, progress record, byte counts.
  CTransferJob other = job;
  other.m_localFolder = "/elsewhere";
  other.SetProgressCallback(ProgressSink, 9);
  other.m_progress.lastError = 12;
  other.m_bytesToSend = 100;
  EXPECT_EQ(job.IsSameAs(other), 1);

  // Compared, each on its own.
  auto differs = [&](auto change) {
    CTransferJob changed = job;
    change(changed);
    return job.IsSameAs(changed) == 0;
  };
  EXPECT_TRUE(differs([](CTransferJob& j) { j.SetServer("HOST"); }));
  EXPECT_TRUE(differs([](CTransferJob& j) { j.SetJobFile("a.trx"); }));
  EXPECT_TRUE(differs([](CTransferJob& j) { j.SetLocalPath("/tmp"); }));
  EXPECT_TRUE(differs([](CTransferJob& j) { j.SetServerPath("/"); }));
  EXPECT_TRUE(differs([](CTransferJob& j) { j.SetPort(2121); }));
  EXPECT_TRUE(differs([](CTransferJob& j) { j.SetSelectMode(1); }));
  EXPECT_TRUE(differs([](CTransferJob& j) { j.SetAutoTransfer(); }));
  EXPECT_TRUE(differs([](CTransferJob& j) { j.m_upgradeAvailable = 1; }));
  EXPECT_TRUE(differs([](CTransferJob& j) { j.SetProgressMode(1); }));
  EXPECT_TRUE(differs([](CTransferJob& j) { j.SetConsoleOutput(ConsoleSink); }));
  EXPECT_TRUE(differs([](CTransferJob& j) { j.m_proxyBypass = "local"; }));
}
