// Run and ReportError against real servers: log-in, the remote folder, failures that must not end
// as success, and the server's refusal text in error reports.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "FtpServers.h"
#include "TempDir.h"
#include "trox/Internet.h"
#include "trox/Messages.h"
#include "trox/TransferJob.h"

namespace {

std::vector<std::string> g_lines;

int CollectLines(const char* text, int, TransferProgress*, uintptr_t) {
  g_lines.push_back(text);
  return 0;
}

class TransferRunTest : public ::testing::TestWithParam<ServerKind> {
 protected:
  void SetUp() override {
    server = &SharedFtpServer(GetParam());
    server->ClearRoot();
    server->MarkLog();
    g_lines.clear();
    job.SetServer(server->Host());
    job.SetPort(server->Port());
    job.SetUser(server->User());
    job.SetPassword(server->Password());
    job.SetHostOutput(CollectLines, 0);
    // Nothing local to send: the runs here are about everything around the walk.
    job.SetLocalPath(MakeTempDir());
  }

  std::string Root(const std::string& path) const { return server->Root() + path; }

  FtpTestServer* server = nullptr;
  CTransferJob job;
};

std::string Connecting() {
  return "Connecting to 127.0.0.1 ...";
}

// The lines that Run itself reports (the walk may add its own after them).
bool HasInitMessage() {
  for (const std::string& line : g_lines) {
    if (line.rfind("INIT:", 0) == 0) return true;
  }
  return false;
}

size_t CountStarting(const std::string& prefix) {
  size_t n = 0;
  for (const std::string& line : g_lines) n += line.rfind(prefix, 0) == 0 ? 1 : 0;
  return n;
}

}  // namespace

TEST(TransferRun, EmptyServerOpensOnlyTheSession) {
  CTransferJob job;
  job.SetHostOutput(CollectLines, 0);
  g_lines.clear();
  job.m_progress.bytesDone = 9;
  job.m_progress.cancel = 1;
  EXPECT_EQ(job.Run(), 0);
  EXPECT_TRUE(g_lines.empty());
  EXPECT_EQ(job.m_session, nullptr);
  EXPECT_EQ(job.m_progress.bytesDone, 0);
  EXPECT_EQ(job.m_progress.cancel, 0u);
}

TEST_P(TransferRunTest, MissingFolderIsCreatedAndEnteredSilently) {
  job.SetServerPath("/newdir/");
  EXPECT_EQ(job.Run(), 0);
  EXPECT_TRUE(PathExists(Root("/newdir")));
  ASSERT_FALSE(g_lines.empty());
  EXPECT_EQ(g_lines[0], Connecting());
  EXPECT_FALSE(HasInitMessage());
  EXPECT_EQ(job.m_session, nullptr);
  EXPECT_EQ(job.m_connection, nullptr);
  EXPECT_NE(server->CommandLog().find("MKD /newdir"), std::string::npos);

  // A second run finds it and creates nothing.
  server->MarkLog();
  g_lines.clear();
  EXPECT_EQ(job.Run(), 0);
  EXPECT_EQ(server->CommandLog().find("MKD"), std::string::npos);
  EXPECT_FALSE(HasInitMessage());
}

TEST_P(TransferRunTest, VerboseShowsTheLoginReplyAfterConnecting) {
  job.SetVerbose();
  EXPECT_EQ(job.Run(), 0);
  ASSERT_GE(g_lines.size(), 2u);
  EXPECT_EQ(g_lines[0], Connecting());
  EXPECT_EQ(g_lines[1].substr(0, 3), "230");
  EXPECT_EQ(g_lines[1].find(server->Password()), std::string::npos);
}

TEST_P(TransferRunTest, RemoteFolderIsMadeAsMkdirPOrTheRunStopsBeforeAnyFile) {
  struct Case {
    bool get;
    std::string serverPath;
    std::string initLine;   // "" when the folder is entered
    std::string arrivesAs;  // where the local file lands on the server, "" when nowhere
  };
  const Case cases[] = {
      {false, "/no/such/deep", "", "/no/such/deep/f.txt"},
      {false, "rel/a/b/", "", "/rel/a/b/f.txt"},
      {false, "/blocker/deep", "INIT: Failed to create folder /blocker/deep", ""},
      // A download never writes to the server: a missing source is an error, not a new folder.
      {true, "/missing", "INIT: Failed to set /missing as the current folder", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.serverPath);
    server->ClearRoot();
    WriteFileBytes(Root("/blocker"), "a file where a folder should be");
    WriteFileBytes(Root("/top.txt"), "top\n");
    server->ChownRoot();
    server->MarkLog();
    g_lines.clear();
    const std::string local = MakeTempDir();
    WriteFileBytes(local + "/f.txt", "f\n");
    job.SetLocalPath(local);
    job.SetServerPath(c.serverPath);
    c.get ? job.SetGet() : job.ClearGet();
    job.AddDiscScript("NOOP");

    EXPECT_EQ(job.Run(), c.initLine.empty() ? 0 : 5);
    if (!c.initLine.empty()) {
      ASSERT_GE(g_lines.size(), 2u);
      EXPECT_EQ(g_lines[1], c.initLine);
      EXPECT_EQ(CountStarting("EXTENDED ERROR 550 :"), 1u);
      // Nothing moved, and no script ran in the wrong folder.
      const std::string log = server->CommandLog();
      for (const char* command : {"STOR", "RETR", "LIST", "NOOP"}) {
        EXPECT_EQ(log.find(command), std::string::npos) << command;
      }
      EXPECT_FALSE(PathExists(local + "/top.txt"));
      EXPECT_FALSE(PathExists(Root("/f.txt")));
      if (c.get) {
        EXPECT_EQ(log.find("MKD"), std::string::npos);
      }
    } else {
      EXPECT_FALSE(HasInitMessage());
      EXPECT_EQ(ReadFileBytes(Root(c.arrivesAs)), "f\n");
    }
    EXPECT_FALSE(PathExists(Root("/missing")));
    job.m_discScripts.clear();
  }

  // The failure belongs to that run only.
  job.ClearGet();
  job.SetServerPath("/");
  g_lines.clear();
  EXPECT_EQ(job.Run(), 0);
}

TEST_P(TransferRunTest, RefusedConnectScriptFailsTheRun) {
  job.AddConnScript("SITE NOSUCHCOMMAND");
  job.SetServerPath("/");
  EXPECT_EQ(job.Run(), 5);
  EXPECT_EQ(job.m_connection, nullptr);
}

TEST_P(TransferRunTest, ScriptReplyLongerThanOneKibibyteIsShownWhole) {
  for (int i = 0; i < 40; ++i)
    WriteFileBytes(Root("/many/listed-in-the-status-reply-" + std::to_string(i) + ".txt"), "x");
  job.AddConnScript("STAT /many");
  EXPECT_EQ(job.Run(), 0);
  auto reply = std::find_if(g_lines.begin(), g_lines.end(),
                            [](const std::string& line) { return line.rfind("213", 0) == 0; });
  ASSERT_NE(reply, g_lines.end());
  EXPECT_GT(reply->size(), 1024u);
  EXPECT_NE(reply->find("listed-in-the-status-reply-39.txt"), std::string::npos) << *reply;
}

TEST_P(TransferRunTest, SingleModeCutsThePathToItsFolderWithoutEnteringIt) {
  job.SetSingle();
  std::string local = MakeTempDir() + "/file.txt";
  WriteFileBytes(local, "one file\n");
  job.SetLocalPath(local);
  WriteFileBytes(Root("/pub/keep.txt"), "x");
  server->ChownRoot();
  job.SetServerPath("/pub/file.txt");
  job.Run();
  EXPECT_EQ(job.m_remoteFolder, "/pub");
  EXPECT_EQ(job.GetServerPath(), "/pub/file.txt");
  std::string log = server->CommandLog();
  EXPECT_EQ(log.find("CWD /pub/file.txt"), std::string::npos);
  EXPECT_EQ(log.find("MKD"), std::string::npos);

  job.SetServerPath("/file.txt");
  job.Run();
  EXPECT_EQ(job.m_remoteFolder, "");

  job.SetServerPath("file.txt");
  job.Run();
  EXPECT_EQ(job.m_remoteFolder, "file.txt");
}

TEST_P(TransferRunTest, WrongPasswordThrowsAndReleasesEverything) {
  job.SetPassword("not-the-password");
  try {
    job.Run();
    FAIL() << "no exception";
  } catch (const CInternetException& e) {
    EXPECT_EQ(e.m_dwError, 12014u);
  }
  EXPECT_EQ(g_lines, (std::vector<std::string>{Connecting()}));
  EXPECT_EQ(job.m_session, nullptr);
  EXPECT_EQ(job.m_connection, nullptr);
}

TEST_P(TransferRunTest, RefusedCommandIsReportedWithTheServersReply) {
  CInternetSession session("Varnook FTP", 1, 0, "", "", 0);
  auto connection = session.GetFtpConnection(server->Host(), server->User(), server->Password(),
                                             server->Port(), false);
  ASSERT_TRUE(connection->CreateDirectory("/twice"));
  ASSERT_FALSE(connection->CreateDirectory("/twice"));
  job.ReportError(GetLastError());
  ASSERT_EQ(g_lines.size(), 2u);
  EXPECT_EQ(g_lines[0], "ERROR 12003 : Extended error");
  EXPECT_EQ(g_lines[1].substr(0, 20), "EXTENDED ERROR 550 :");
  EXPECT_EQ(job.m_progress.lastError, 12003u);
  EXPECT_EQ(job.m_progress.lastResponse.substr(0, 3), "550");
  EXPECT_EQ(g_lines[1], "EXTENDED ERROR 550 : " + job.m_progress.lastResponse);
  connection->Close();
  session.Close();
}

INSTANTIATE_TEST_SUITE_P(Servers, TransferRunTest,
                         ::testing::Values(ServerKind::Pyftpdlib, ServerKind::Vsftpd),
                         [](const auto& test) { return std::string(ServerKindName(test.param)); });

TEST(TransferRun, ClosedPortThrowsCannotConnect) {
  CTransferJob job;
  job.SetServer("127.0.0.1");
  job.SetPort(1);  // nothing listens on port 1 here
  try {
    job.Run();
    FAIL() << "no exception";
  } catch (const CInternetException& e) {
    EXPECT_EQ(e.m_dwError, 12029u);
  }
  EXPECT_EQ(job.m_session, nullptr);
}
