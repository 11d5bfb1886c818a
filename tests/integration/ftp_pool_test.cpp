// The idle connection pool: a run logs in once per connection it holds at once instead of once
// per folder, a reused connection is indistinguishable from a fresh one (log-in folder, log-in
// reply), and one that the server dropped while idle is replaced by a fresh log-in unnoticed.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "FtpServers.h"
#include "ScriptedFtpServer.h"
#include "TempDir.h"
#include "WalkTestSupport.h"
#include "trox/Internet.h"
#include "trox/TransferJob.h"

using namespace scripted;
namespace fs = std::filesystem;

namespace {

std::string LastResponse(uint32_t* code = nullptr) {
  uint32_t error = 0, length = 4096;
  std::string buffer(length, '\0');
  if (!InternetGetLastResponseInfo(&error, buffer.data(), &length)) return "";
  if (code) *code = error;
  return buffer.substr(0, length);
}

size_t CountPrefix(const std::vector<std::string>& lines, const std::string& prefix) {
  return static_cast<size_t>(std::count_if(
      lines.begin(), lines.end(), [&](const std::string& l) { return l.rfind(prefix, 0) == 0; }));
}

// A scripted account whose log-in folder is /home/u and where every CWD works.
const std::vector<std::pair<std::string, std::string>> kAnswers = {
    {"PWD", "257 \"/home/u\" is the current directory\r\n"},
    {"CWD", "250 Okay\r\n"},
    {"NOOP", "200 Fine\r\n"},
};

class FtpPoolTest : public ::testing::Test {
 protected:
  std::unique_ptr<CFtpConnection> Connect(CInternetSession& session, uint16_t port) {
    return session.GetFtpConnection("127.0.0.1", "u", "pw", port, true);
  }

  ScopedInternetTimeouts timeouts_{3000, 2000, 3000};
};

TEST_F(FtpPoolTest, ReusedConnectionIsBackInItsLogInFolderWithTheLogInReply) {
  ScriptedFtpServer server(
      [](Peer& p, int) {
        p.LogIn();
        p.AnswerUntil("QUIT", kAnswers);
      },
      2);
  {
    CFtpConnectionPoolScope scope;
    {
      CInternetSession first("Varnook FTP", 1, 0, "", "", 0);
      auto c = Connect(first, server.Port());
      ASSERT_TRUE(c->SetCurrentDirectory("/elsewhere"));
      c->Close();
      EXPECT_FALSE(c->SetCurrentDirectory("/x"));  // closed for its owner, even when pooled
      EXPECT_EQ(GetLastError(), ERROR_INTERNET_INCORRECT_HANDLE_STATE);
    }
    CInternetSession second("Varnook FTP", 1, 0, "", "", 0);
    auto again = Connect(second, server.Port());
    uint32_t code = 0;
    EXPECT_EQ(LastResponse(&code), "230 In");
    EXPECT_EQ(code, 230u);
    ASSERT_TRUE(again->Command("NOOP", false, FTP_TRANSFER_TYPE_ASCII, nullptr));
    // A connection that ran a raw command is not handed out again: a fresh log-in follows.
    again->Close();
    auto third = Connect(second, server.Port());
    third->Close();
  }
  auto received = server.Sessions();
  ASSERT_EQ(received.size(), 2u);
  const auto& reused = received[0];
  EXPECT_EQ(CountPrefix(reused, "USER"), 1u);
  // Home learnt before the folder changed, and restored before the reuse.
  std::vector<std::string> expected = {"USER u",         "PASS pw",     "FEAT", "PWD",
                                       "CWD /elsewhere", "CWD /home/u", "NOOP", "QUIT"};
  EXPECT_EQ(reused, expected);
  EXPECT_EQ(CountPrefix(received[1], "USER"), 1u);
  EXPECT_TRUE(Contains(received[1], "QUIT"));  // the end of the scope closes the idle ones
}

TEST_F(FtpPoolTest, ConnectionDroppedWhileIdleOrOnItsWayBackIsReplacedByAFreshLogIn) {
  // 0: dropped by the server while idle; 1: dropped when told to go back to its log-in folder;
  // 2: the fresh log-in that replaces them.
  ScriptedFtpServer server(
      [](Peer& p, int index) {
        p.LogIn();
        if (index == 2) {
          p.AnswerUntil("QUIT", kAnswers);
          return;
        }
        p.AnswerUntil("CWD", kAnswers);  // PWD
        p.Reply("250 Okay");
        if (index == 0) return;  // hangs up while the client keeps it idle
        p.Line();                // CWD /home/u
      },
      3);
  CFtpConnectionPoolScope scope;
  CInternetSession session("Varnook FTP", 1, 0, "", "", 0);
  {
    auto c = Connect(session, server.Port());
    ASSERT_TRUE(c->SetCurrentDirectory("/a"));
    c->Close();
  }
  ASSERT_TRUE(server.WaitDone(0));
  {
    auto c = Connect(session, server.Port());  // the dropped one is skipped: a fresh log-in
    EXPECT_EQ(LastResponse(), "230 In");
    ASSERT_TRUE(c->SetCurrentDirectory("/b"));
    c->Close();
  }
  auto c = Connect(session, server.Port());  // its way back fails: another fresh log-in
  EXPECT_EQ(LastResponse(), "230 In");
  std::string folder;
  ASSERT_TRUE(c->GetCurrentDirectory(folder));
  EXPECT_EQ(folder, "/home/u");
  c->Close();
}

TEST_F(FtpPoolTest, FolderChangeByFullPathNeedsNoWayBackAndSurvivesADrop) {
  // 0: reused for a CWD to a full path, then dropped at the next one; 1: its replacement.
  ScriptedFtpServer server(
      [](Peer& p, int index) {
        p.LogIn();
        if (index == 1) {
          p.AnswerUntil("QUIT", kAnswers);
          return;
        }
        p.AnswerUntil("CWD", kAnswers);  // PWD, then CWD /a
        p.Reply("250 Okay");
        p.AnswerUntil("CWD", kAnswers);  // CWD /b after the reuse
        p.Reply("250 Okay");
        p.Line();  // CWD /c after the second reuse: hang up instead of answering
      },
      2);
  {
    CFtpConnectionPoolScope scope;
    CInternetSession session("Varnook FTP", 1, 0, "", "", 0);
    for (const char* folder : {"/a", "/b", "/c"}) {
      auto c = Connect(session, server.Port());
      EXPECT_EQ(LastResponse(), "230 In");
      EXPECT_TRUE(c->SetCurrentDirectory(folder)) << folder;
      c->Close();
    }
    auto c = Connect(session, server.Port());
    std::string home;
    ASSERT_TRUE(c->GetCurrentDirectory(home));  // goes back to the log-in folder first
    EXPECT_EQ(home, "/home/u");
  }
  auto received = server.Sessions();
  ASSERT_EQ(received.size(), 2u);
  std::vector<std::string> dropped = {"USER u", "PASS pw", "FEAT",  "PWD",
                                      "CWD /a", "CWD /b",  "CWD /c"};
  EXPECT_EQ(received[0], dropped);
  std::vector<std::string> replacement = {"USER u", "PASS pw",     "FEAT", "PWD",
                                          "CWD /c", "CWD /home/u", "PWD",  "QUIT"};
  EXPECT_EQ(received[1], replacement);
}

// A download of a tree of several folders against vsftpd logs in once for the main connection and
// once for the walk, whatever the depth.
TEST(FtpPoolServerTest, DownloadWalkLogsInOncePerConnectionHeldAtOnce) {
  FtpTestServer& server = SharedFtpServer(ServerKind::Vsftpd);
  server.ClearRoot();
  const std::vector<std::string> files = {"/pub/a.bin",     "/pub/x/b.bin",   "/pub/x/c.bin",
                                          "/pub/y/d.bin",   "/pub/y/z/e.bin", "/pub/w/f.bin",
                                          "/pub/w/v/g.bin", "/pub/u/h.bin"};
  for (size_t i = 0; i < files.size(); ++i) {
    fs::create_directories(fs::path(server.Root() + files[i]).parent_path());
    WriteFileBytes(server.Root() + files[i],
                   PatternBytes(1000 + i * 777, static_cast<unsigned>(i)));
  }
  server.ChownRoot();
  server.MarkLog();

  const std::string local = MakeTempDir();
  CTransferJob job;
  walktest::LogInTo(job, server);
  job.SetGet();
  job.SetTransferType(1);  // binary
  job.SetServerPath("/pub");
  job.SetLocalPath(local);
  job.SetHostOutput(walktest::CollectLine, 0);
  ASSERT_EQ(job.Run(), 0);

  for (size_t i = 0; i < files.size(); ++i) {
    EXPECT_TRUE(ReadFileBytes(local + files[i].substr(4)) ==
                PatternBytes(1000 + i * 777, static_cast<unsigned>(i)))
        << files[i];
  }
  const auto commands = walktest::LoggedCommands(server.CommandLog());
  // The main connection and the one the walk lists every folder over.
  EXPECT_EQ(walktest::CommandsStartingWith(commands, "USER").size(), 2u);
  // Every folder is listed afresh, once.
  EXPECT_EQ(walktest::CommandsStartingWith(commands, "LIST").size(), 7u);
  EXPECT_EQ(walktest::CommandsStartingWith(commands, "RETR").size(), files.size());
}

}  // namespace
