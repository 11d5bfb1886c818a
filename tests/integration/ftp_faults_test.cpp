// Faults that no real server produces on demand, played by a scripted server on loopback: a
// thread with a listening socket that answers each command from a script. Time-outs are shortened
// so that nothing waits long; every wait of the script itself is bounded too.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <climits>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "Processes.h"
#include "ScriptedFtpServer.h"
#include "TempDir.h"
#include "trox/Internet.h"
#include "trox/TransferJob.h"

using namespace scripted;

namespace {

uint32_t LastResponseCode(std::string* text = nullptr) {
  uint32_t error = 0, length = 4096;
  std::string buffer(length, '\0');
  if (!InternetGetLastResponseInfo(&error, buffer.data(), &length)) return 0;
  if (text) *text = buffer.substr(0, length);
  return error;
}

class FtpFaultsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    session_ = std::make_unique<CInternetSession>("Varnook FTP", 1, 0, "", "", 0);
  }

  std::unique_ptr<CFtpConnection> Connect(uint16_t port) {
    return session_->GetFtpConnection("127.0.0.1", "u", "secret-pw", port, true);
  }
  uint32_t ConnectError(uint16_t port) {
    try {
      Connect(port);
    } catch (const CInternetException& e) {
      EXPECT_EQ(GetLastError(), e.m_dwError);
      return e.m_dwError;
    }
    return 0;
  }

  ScopedInternetTimeouts timeouts_{3000, 400, 3000};
  std::unique_ptr<CInternetSession> session_;
};

TEST_F(FtpFaultsTest, SilentServerTimesOutAndTheConnectionStaysDead) {
  ScriptedFtpServer server([](Peer& p) {
    p.LogIn();
    p.Line();              // PWD, never answered
    p.WaitForClose(3000);  // whatever else comes is recorded
  });
  auto c = Connect(server.Port());
  std::string folder;
  EXPECT_FALSE(c->GetCurrentDirectory(folder));
  EXPECT_EQ(GetLastError(), ERROR_INTERNET_TIMEOUT);
  // Later calls fail with the same error without sending anything.
  EXPECT_FALSE(c->SetCurrentDirectory("/x"));
  EXPECT_EQ(GetLastError(), ERROR_INTERNET_TIMEOUT);
  EXPECT_FALSE(c->Command("NOOP", false, FTP_TRANSFER_TYPE_ASCII, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_INTERNET_TIMEOUT);
  EXPECT_THROW(c->OpenFile("f", GENERIC_READ, FTP_TRANSFER_TYPE_BINARY), CInternetException);
  c.reset();
  auto lines = server.Received();
  EXPECT_TRUE(Contains(lines, "PWD"));
  EXPECT_FALSE(Contains(lines, "CWD"));
  EXPECT_FALSE(Contains(lines, "NOOP"));
  // The password went over the wire (it must), but only there.
  EXPECT_TRUE(Contains(lines, "PASS secret-pw"));
}

TEST_F(FtpFaultsTest, SilentGreetingAndRefusalsOnConnect) {
  {
    ScriptedFtpServer silent([](Peer& p) { p.WaitForClose(3000); });
    EXPECT_EQ(ConnectError(silent.Port()), ERROR_INTERNET_TIMEOUT);
  }
  {
    ScriptedFtpServer busy([](Peer& p) { p.Reply("421 Too many users, try later."); });
    EXPECT_EQ(ConnectError(busy.Port()), ERROR_INTERNET_EXTENDED_ERROR);
    std::string text;
    EXPECT_EQ(LastResponseCode(&text), 421u);
    EXPECT_EQ(text, "421 Too many users, try later.");
  }
  {
    ScriptedFtpServer closes([](Peer&) {});
    EXPECT_EQ(ConnectError(closes.Port()), ERROR_INTERNET_CONNECTION_ABORTED);
  }
  // A port nobody listens on.
  uint16_t port = 0;
  int fd = ListenLoopback(&port);
  close(fd);
  EXPECT_EQ(ConnectError(port), ERROR_INTERNET_CANNOT_CONNECT);
  try {
    session_->GetFtpConnection("no-such-host.invalid", "u", "p", 21, true);
    ADD_FAILURE() << "an unknown host connected";
  } catch (const CInternetException& e) {
    EXPECT_EQ(e.m_dwError, ERROR_INTERNET_NAME_NOT_RESOLVED);
  }
}

TEST_F(FtpFaultsTest, ServerClosingWith421EndsTheConnection) {
  ScriptedFtpServer server([](Peer& p) {
    p.LogIn();
    p.AnswerUntil("NOOP", {});
    p.Reply("421 Timeout.");
    p.WaitForClose(3000);
  });
  auto c = Connect(server.Port());
  EXPECT_FALSE(c->Command("NOOP", false, FTP_TRANSFER_TYPE_ASCII, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_INTERNET_EXTENDED_ERROR);
  EXPECT_EQ(LastResponseCode(), 421u);
  EXPECT_FALSE(c->SetCurrentDirectory("/"));
  EXPECT_EQ(GetLastError(), ERROR_INTERNET_CONNECTION_ABORTED);
  c.reset();
  EXPECT_FALSE(Contains(server.Received(), "CWD"));
}

TEST_F(FtpFaultsTest, TrickledMultiLineRepliesAndEndlessOnes) {
  ScriptedFtpServer trickle([](Peer& p) {
    for (char ch : std::string("120 Wait a moment\r\n220-Welcome\r\n220-to the\r\n220 server\r\n"))
      p.Send(std::string(1, ch));
    p.AnswerUntil("FEAT",
                  {{"USER", "331 Password\r\n"}, {"PASS", "230-Fine\r\n 230 x\r\n230 In\r\n"}});
    p.Reply("500 no FEAT");
    p.WaitForClose();
  });
  auto c = Connect(trickle.Port());
  std::string text;
  EXPECT_EQ(LastResponseCode(&text), 230u);
  EXPECT_EQ(text, "230-Fine\r\n 230 x\r\n230 In");
  c.reset();

  // A reply that never ends is cut at its size cap: the log-in fails instead of hanging.
  ScriptedFtpServer endless([](Peer& p) {
    p.Send("220-Welcome\r\n");
    std::string chunk;
    for (int i = 0; i < 100; ++i) chunk += " and more welcome text\r\n";
    for (int i = 0; i < 200; ++i) p.Send(chunk);
    p.WaitForClose(2000);
  });
  EXPECT_EQ(ConnectError(endless.Port()), ERROR_INTERNET_CONNECTION_ABORTED);
}

TEST_F(FtpFaultsTest, UnparsablePassiveReplyFailsTheTransfer) {
  ScriptedFtpServer server([](Peer& p) {
    p.LogIn();
    p.AnswerUntil("NOOP", {{"TYPE", "200 ok\r\n"},
                           {"EPSV", "502 not here\r\n"},
                           {"PASV", "227 Entering Passive Mode (a,b,c,d,e,f)\r\n"}});
    p.Reply("200 still here");
    p.WaitForClose();
  });
  auto c = Connect(server.Port());
  std::string local = MakeTempDir() + "/f";
  EXPECT_FALSE(c->GetFile("f", local, false, FTP_TRANSFER_TYPE_BINARY));
  EXPECT_EQ(GetLastError(), ERROR_FTP_NO_PASSIVE_MODE);
  std::string text;
  EXPECT_EQ(LastResponseCode(&text), 227u);
  EXPECT_FALSE(PathExists(local));
  // The control connection is fine.
  EXPECT_TRUE(c->Command("NOOP", false, FTP_TRANSFER_TYPE_ASCII, nullptr));
  c.reset();
  auto lines = server.Received();
  EXPECT_FALSE(Contains(lines, "RETR"));
}

TEST_F(FtpFaultsTest, DataThatEndsEarlyIsAFailedTransfer) {
  // SIZE announces 1000 bytes, 100 come, and the server still says 226.
  ScriptedFtpServer server([](Peer& p) {
    p.LogIn(" SIZE\r\n");
    std::string epsv = p.OpenPassive();
    p.AnswerUntil("RETR", {{"TYPE", "200 ok\r\n"}, {"SIZE", "213 1000\r\n"}, {"EPSV", epsv}});
    p.Reply("150 Opening data connection");
    p.AcceptData();
    p.SendData(std::string(100, 'x'));
    p.CloseData();
    p.Reply("226 Transfer complete");
    p.WaitForClose();
  });
  auto c = Connect(server.Port());
  std::string local = MakeTempDir() + "/f";
  EXPECT_FALSE(c->GetFile("f", local, false, FTP_TRANSFER_TYPE_BINARY));
  EXPECT_EQ(GetLastError(), ERROR_INTERNET_CONNECTION_ABORTED);
  EXPECT_FALSE(PathExists(local));
}

TEST_F(FtpFaultsTest, AnnouncedSizeInThe150ReplyThenShortData) {
  // ASCII (no SIZE asked): the count comes from the 150 reply; read block-wise.
  ScriptedFtpServer server([](Peer& p) {
    p.LogIn();
    std::string epsv = p.OpenPassive();
    p.AnswerUntil("RETR", {{"TYPE", "200 ok\r\n"}, {"EPSV", epsv}});
    p.Reply("150 Opening ASCII mode data connection for f (1000 bytes).");
    p.AcceptData();
    p.SendData(std::string(300, 'y'));
    p.CloseData();
    p.Reply("226 Transfer complete");
    p.WaitForClose();
  });
  auto c = Connect(server.Port());
  auto file = c->OpenFile("f", GENERIC_READ, FTP_TRANSFER_TYPE_ASCII);
  char buffer[8192];
  try {
    file->Read(buffer, sizeof buffer);
    ADD_FAILURE() << "a short download read as complete";
  } catch (const CInternetException& e) {
    EXPECT_EQ(e.m_dwError, ERROR_INTERNET_CONNECTION_ABORTED);
  }
}

TEST_F(FtpFaultsTest, DataConnectionClosedWithAnErrorReply) {
  ScriptedFtpServer server([](Peer& p) {
    p.LogIn();
    std::string epsv = p.OpenPassive();
    p.AnswerUntil("RETR", {{"TYPE", "200 ok\r\n"}, {"EPSV", epsv}});
    p.Reply("150 Opening data connection");
    p.AcceptData();
    p.SendData(std::string(5000, 'z'));
    p.CloseData();
    p.Reply("426 Connection closed; transfer aborted.");
    p.AnswerUntil("QUIT", {{"NOOP", "200 ok\r\n"}});
  });
  auto c = Connect(server.Port());
  std::string local = MakeTempDir() + "/f";
  EXPECT_FALSE(c->GetFile("f", local, false, FTP_TRANSFER_TYPE_BINARY));
  EXPECT_EQ(GetLastError(), ERROR_INTERNET_EXTENDED_ERROR);
  std::string text;
  EXPECT_EQ(LastResponseCode(&text), 426u);
  EXPECT_FALSE(PathExists(local));
  EXPECT_TRUE(c->Command("NOOP", false, FTP_TRANSFER_TYPE_ASCII, nullptr));
}

TEST_F(FtpFaultsTest, UploadBrokenOffByTheServerReportsItsReply) {
  ScriptedFtpServer server([](Peer& p) {
    p.LogIn();
    std::string epsv = p.OpenPassive();
    p.AnswerUntil("STOR", {{"TYPE", "200 ok\r\n"}, {"EPSV", epsv}});
    p.Reply("150 Ok to send data.");
    p.AcceptData();
    p.TakeSomeDataThenReset(10000);
    p.Reply("552 Disk quota exceeded.");
    p.AnswerUntil("QUIT", {{"NOOP", "200 ok\r\n"}});
  });
  auto c = Connect(server.Port());
  std::string local = MakeTempDir() + "/big";
  WriteFileBytes(local, PatternBytes(20 * 1024 * 1024, 2));
  EXPECT_FALSE(c->PutFile(local, "big", FTP_TRANSFER_TYPE_BINARY));
  EXPECT_EQ(GetLastError(), ERROR_INTERNET_EXTENDED_ERROR);
  std::string text;
  EXPECT_EQ(LastResponseCode(&text), 552u);
  EXPECT_EQ(text, "552 Disk quota exceeded.");
  EXPECT_TRUE(c->Command("NOOP", false, FTP_TRANSFER_TYPE_ASCII, nullptr));
}

// Data offered before the reply to STOR: a server that refuses the upload but keeps the data
// connection open and never reads it must not hold the client until its time-out.
TEST_F(FtpFaultsTest, RefusedUploadWithAnUnreadDataConnectionFailsAtOnce) {
  ScriptedFtpServer server([](Peer& p) {
    p.LogIn();
    std::string epsv = p.OpenPassive();
    p.AnswerUntil("STOR", {{"TYPE", "200 ok\r\n"}, {"EPSV", epsv}});
    p.AcceptData();
    p.Reply("550 Permission denied.");
    p.AnswerUntil("QUIT", {{"NOOP", "200 ok\r\n"}});
  });
  ScopedInternetTimeouts longIdle{3000, 20000, 20000};
  auto c = Connect(server.Port());
  std::string local = MakeTempDir() + "/big";
  WriteFileBytes(local, PatternBytes(8 * 1024 * 1024, 4));
  EXPECT_FALSE(c->PutFile(local, "big", FTP_TRANSFER_TYPE_BINARY));
  // A client held until its idle bound would fail with the time-out (12002), not the refusal.
  EXPECT_EQ(GetLastError(), ERROR_INTERNET_EXTENDED_ERROR);
  EXPECT_EQ(LastResponseCode(), 550u);
  EXPECT_TRUE(c->Command("NOOP", false, FTP_TRANSFER_TYPE_ASCII, nullptr));
}

TEST_F(FtpFaultsTest, SilentDataConnectionTimesOutAndKillsTheConnection) {
  ScriptedFtpServer server([](Peer& p) {
    p.LogIn();
    std::string epsv = p.OpenPassive();
    p.AnswerUntil("RETR", {{"TYPE", "200 ok\r\n"}, {"EPSV", epsv}});
    p.Reply("150 Opening data connection");
    p.AcceptData();  // and never send
    p.WaitForClose(3000);
  });
  auto c = Connect(server.Port());
  std::string local = MakeTempDir() + "/f";
  EXPECT_FALSE(c->GetFile("f", local, false, FTP_TRANSFER_TYPE_BINARY));
  EXPECT_EQ(GetLastError(), ERROR_INTERNET_TIMEOUT);
  EXPECT_FALSE(PathExists(local));
  EXPECT_FALSE(c->Command("NOOP", false, FTP_TRANSFER_TYPE_ASCII, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_INTERNET_TIMEOUT);
  c.reset();
  EXPECT_FALSE(Contains(server.Received(), "NOOP"));
}

TEST_F(FtpFaultsTest, Ipv6PassiveAndActive) {
  std::string payload = PatternBytes(200000, 5);
  for (bool passive : {true, false}) {
    ScriptedFtpServer server(
        [&](Peer& p) {
          p.LogIn(" EPSV\r\n");
          if (passive) {
            std::string epsv = p.OpenPassive(true);
            p.AnswerUntil("RETR", {{"TYPE", "200 ok\r\n"}, {"EPSV", epsv}});
            p.Reply("150 Here it comes");
            p.AcceptData();
          } else {
            std::string eprt = p.AnswerUntil("EPRT", {{"TYPE", "200 ok\r\n"}});
            p.Reply("200 EPRT ok");
            p.AnswerUntil("RETR", {});
            p.Reply("150 Here it comes");
            p.ConnectActive6(eprt);
          }
          p.SendData(payload);
          p.CloseData();
          p.Reply("226 Done");
          p.WaitForClose();
        },
        true);
    // The bracketed form, as addresses with a port are written, names the same host.
    auto c =
        session_->GetFtpConnection(passive ? "::1" : "[::1]", "u", "p", server.Port(), passive);
    std::string local = MakeTempDir() + "/f";
    ASSERT_TRUE(c->GetFile("f", local, false, FTP_TRANSFER_TYPE_BINARY)) << passive;
    EXPECT_EQ(ReadFileBytes(local), payload);
    c.reset();
    auto lines = server.Received();
    EXPECT_TRUE(Contains(lines, passive ? "EPSV" : "EPRT |2|::1|"));
    EXPECT_FALSE(Contains(lines, passive ? "PASV" : "PORT"));
  }
}

TEST_F(FtpFaultsTest, FallbacksToPasvAndPort) {
  std::string payload = PatternBytes(100000, 9);
  for (bool passive : {true, false}) {
    ScriptedFtpServer server([&](Peer& p) {
      p.LogIn();
      if (passive) {
        // The 227 names an unreachable host: the data must still go to the control's peer.
        std::string pasv = p.OpenPassivePasv();
        p.AnswerUntil("RETR", {{"TYPE", "200 ok\r\n"}, {"PASV", pasv}});
        p.Reply("150 Here it comes");
        p.AcceptData();
      } else {
        std::string port = p.AnswerUntil("PORT", {{"TYPE", "200 ok\r\n"}});
        p.Reply("200 PORT ok");
        p.AnswerUntil("RETR", {});
        p.Reply("150 Here it comes");
        p.ConnectPort(port);
      }
      p.SendData(payload);
      p.CloseData();
      p.Reply("226 Done");
      p.WaitForClose();
    });
    auto c = session_->GetFtpConnection("127.0.0.1", "u", "p", server.Port(), passive);
    std::string local = MakeTempDir() + "/f";
    ASSERT_TRUE(c->GetFile("f", local, false, FTP_TRANSFER_TYPE_BINARY)) << GetLastError();
    EXPECT_EQ(ReadFileBytes(local), payload);
    c.reset();
    auto lines = server.Received();
    // The extended command was tried first and refused (no FEAT here), then the old one.
    EXPECT_TRUE(Contains(lines, passive ? "EPSV" : "EPRT |1|127.0.0.1|"));
    EXPECT_TRUE(Contains(lines, passive ? "PASV" : "PORT 127,0,0,1,"));
  }
}

TEST_F(FtpFaultsTest, ProxyLogInNamesTheServerInTheUserName) {
  ScriptedFtpServer proxy([](Peer& p) {
    p.LogIn();
    p.WaitForClose();
  });
  CInternetSession viaProxy("Varnook FTP", 1, INTERNET_OPEN_TYPE_PROXY,
                            "127.0.0.1:" + std::to_string(proxy.Port()), "", 0);
  auto c = viaProxy.GetFtpConnection("ftp.example.com", "joe", "pw", 2121, true);
  c.reset();
  auto lines = proxy.Received();
  EXPECT_TRUE(Contains(lines, "USER joe@ftp.example.com:2121")) << lines[0];

  ScriptedFtpServer proxy2([](Peer& p) {
    p.LogIn();
    p.WaitForClose();
  });
  CInternetSession viaProxy2("Varnook FTP", 1, INTERNET_OPEN_TYPE_PROXY,
                             "127.0.0.1:" + std::to_string(proxy2.Port()), "", 0);
  viaProxy2.GetFtpConnection("ftp.example.com", "", "", 0, true).reset();
  EXPECT_TRUE(Contains(proxy2.Received(), "USER anonymous@ftp.example.com"));
}

TEST_F(FtpFaultsTest, HttpGetReadsTheBody) {
  ScriptedFtpServer web([](Peer& p) {
    std::string request;
    for (std::string line = p.Line(); !line.empty(); line = p.Line()) request += line + "\n";
    p.Send("HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\n\r\nVersion 3.10 available");
  });
  auto body = session_->OpenURL("http://127.0.0.1:" + std::to_string(web.Port()) +
                                "/upgrade.asp?product=trox&version=3.00");
  char buffer[1024];
  uint32_t n = body->Read(buffer, sizeof buffer);
  EXPECT_EQ(std::string(buffer, n), "Version 3.10 available");
  EXPECT_EQ(body->Read(buffer, sizeof buffer), 0u);
  body->Close();
  auto lines = web.Received();
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines[0], "GET /upgrade.asp?product=trox&version=3.00 HTTP/1.0");
  EXPECT_TRUE(Contains(lines, "User-Agent: Varnook FTP"));
  EXPECT_TRUE(Contains(lines, "Connection: close"));

  uint16_t port = 0;
  int fd = ListenLoopback(&port);
  close(fd);
  try {
    session_->OpenURL("http://127.0.0.1:" + std::to_string(port) + "/");
    ADD_FAILURE() << "a closed port answered";
  } catch (const CInternetException& e) {
    EXPECT_EQ(e.m_dwError, ERROR_INTERNET_CANNOT_CONNECT);
  }
  EXPECT_THROW(session_->OpenURL("http://no-such-host.invalid/"), CInternetException);
  EXPECT_EQ(GetLastError(), ERROR_INTERNET_NAME_NOT_RESOLVED);
  EXPECT_THROW(session_->OpenURL("not a url"), CInternetException);
  EXPECT_EQ(GetLastError(), ERROR_INTERNET_INVALID_URL);
}

// A binary download must bring exactly the bytes announced by SIZE or in the 150 reply: fewer or
// more fails and leaves no file, and the final "226" is not left standing as the reason. Text may
// grow on the way as its line ends become CR LF, so there only a short one fails.
TEST_F(FtpFaultsTest, DownloadsThatDoNotBringTheAnnouncedSize) {
  struct Case {
    const char* name;
    bool bySize;  // "213 1000" to SIZE; otherwise "(1000 bytes)" in the 150 reply
    uint32_t type;
    size_t sent;
    const char* detail;  // nullptr: the transfer succeeds
  };
  const char* more = "the server sent more data than the 1000 bytes announced";
  const char* fewer = "the data ended after 100 of 1000 bytes";
  const Case cases[] = {
      {"exact, by SIZE", true, FTP_TRANSFER_TYPE_BINARY, 1000, nullptr},
      {"padded, by SIZE", true, FTP_TRANSFER_TYPE_BINARY, 1001, more},
      {"padded, by 150", false, FTP_TRANSFER_TYPE_BINARY, 1100, more},
      {"endless padding", true, FTP_TRANSFER_TYPE_BINARY, 8 << 20, more},
      {"short, by 150", false, FTP_TRANSFER_TYPE_BINARY, 100, fewer},
      {"text grown by its line ends", false, FTP_TRANSFER_TYPE_ASCII, 1100, nullptr},
      {"text short", false, FTP_TRANSFER_TYPE_ASCII, 100, fewer},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    ScriptedFtpServer server([&k](Peer& p) {
      p.LogIn(k.bySize ? " SIZE\r\n" : "");
      std::string epsv = p.OpenPassive();
      p.AnswerUntil("RETR", {{"TYPE", "200 ok\r\n"}, {"SIZE", "213 1000\r\n"}, {"EPSV", epsv}});
      p.Reply(k.bySize ? "150 Opening data connection"
                       : "150 Opening data connection (1000 bytes)");
      p.AcceptData();
      p.SendData(std::string(k.sent, 'x'));
      p.CloseData();
      p.Reply("226 Transfer complete");
      p.AnswerUntil("QUIT", {{"NOOP", "200 ok\r\n"}});
    });
    auto c = Connect(server.Port());
    std::string local = MakeTempDir() + "/f";
    const bool ok = c->GetFile("f", local, false, k.type);
    EXPECT_EQ(ok, k.detail == nullptr) << GetLastErrorDetail();
    if (!ok) {
      EXPECT_EQ(GetLastError(), ERROR_INTERNET_CONNECTION_ABORTED);
      EXPECT_EQ(GetLastErrorDetail(), k.detail);
      EXPECT_EQ(LastResponseCode(), 0u);
      EXPECT_FALSE(PathExists(local));
    }
    // The final reply was read: the connection is in step for the next command.
    EXPECT_TRUE(c->Command("NOOP", false, FTP_TRANSFER_TYPE_ASCII, nullptr));
  }
}

// Replies that do not belong to the listing's command (data and "226" without the "150"; a late
// second reply to PORT taken for the listing's answer) are a protocol error that gives up the
// connection, never an empty folder. A "226" at once without any data stays an empty folder.
TEST_F(FtpFaultsTest, RepliesOutOfStepWithTheListing) {
  enum class Play { DataThen226, LatePortReply, At226Once, At226DataClosedEmpty };
  struct Case {
    const char* name;
    Play play;
    const char* detail;  // nullptr: an empty folder
  };
  const Case cases[] = {
      {"data, then 226 without 150", Play::DataThen226,
       "the server answered 226 before 150 to LIST, and data came"},
      {"a late reply to PORT", Play::LatePortReply,
       "unexpected reply to LIST: \"200 PORT command successful\""},
      {"226 at once", Play::At226Once, nullptr},
      {"226 at once, data connection closed empty", Play::At226DataClosedEmpty, nullptr},
  };
  const std::string listing = "-rw-r--r-- 1 u g 5 Jan 01 2020 f.bin\r\n";
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    const bool passive = k.play != Play::LatePortReply;
    ScriptedFtpServer server([&](Peer& p) {
      p.LogIn();
      const std::vector<std::pair<std::string, std::string>> answers = {
          {"PWD", "257 \"/\" is here\r\n"}, {"TYPE", "200 ok\r\n"}};
      std::string port;
      if (passive) {
        std::string epsv = p.OpenPassive();
        auto withEpsv = answers;
        withEpsv.push_back({"EPSV", epsv});
        p.AnswerUntil("LIST", withEpsv);
      } else {
        port = p.AnswerUntil("PORT", answers);
        p.Reply("200 PORT command successful");
        p.AnswerUntil("LIST", {});
      }
      switch (k.play) {
        case Play::DataThen226:
          p.AcceptData();
          p.SendData(listing);
          p.CloseData();
          p.Reply("226 Transfer complete");
          break;
        case Play::LatePortReply:
          p.Reply("200 PORT command successful");
          p.ConnectPort(port);
          p.Reply("150 Here comes the listing");
          p.SendData(listing);
          p.CloseData();
          p.Reply("226 Transfer complete");
          break;
        case Play::At226Once:
          p.Reply("226 No files");
          break;
        case Play::At226DataClosedEmpty:
          p.AcceptData();
          p.CloseData();
          p.Reply("226 No files");
          break;
      }
      p.AnswerUntil("QUIT", {{"NOOP", "200 ok\r\n"}});
    });
    auto c = session_->GetFtpConnection("127.0.0.1", "u", "p", server.Port(), passive);
    CFtpFileFind find(c.get());
    EXPECT_FALSE(find.FindFile("*"));
    if (k.detail) {
      EXPECT_EQ(GetLastError(), ERROR_FTP_DROPPED);
      EXPECT_EQ(GetLastErrorDetail(), k.detail);
      // Nothing said on this connection can be trusted any more.
      EXPECT_FALSE(c->Command("NOOP", false, FTP_TRANSFER_TYPE_ASCII, nullptr));
      EXPECT_FALSE(c->IsAlive());
    } else {
      EXPECT_EQ(GetLastError(), static_cast<uint32_t>(ENOENT));
      EXPECT_TRUE(c->Command("NOOP", false, FTP_TRANSFER_TYPE_ASCII, nullptr));
      EXPECT_TRUE(c->IsAlive());
    }
    c.reset();
    EXPECT_EQ(Contains(server.Received(), "NOOP"), k.detail == nullptr);
  }
}

std::vector<std::string> ReportedLines(uint32_t error) {
  std::vector<std::string> lines;
  CTransferJob job;
  job.SetHostOutput(
      [](const char* text, int, TransferProgress*, uintptr_t to) {
        reinterpret_cast<std::vector<std::string>*>(to)->push_back(text);
        return 0;
      },
      reinterpret_cast<uintptr_t>(&lines));
  job.ReportError(error);
  return lines;
}

// A report names the real cause of each failure: the reply of the command that failed (whole,
// however long), or what happened instead and never an older reply, or the local path.
TEST_F(FtpFaultsTest, ReportsNameTheCauseOfTheFailure) {
  const std::string longReply = "550-" + std::string(1500, 'r') + "\r\n550 No such folder";
  const std::string local = MakeTempDir() + "/missing/f";
  struct Case {
    const char* name;
    std::function<void(Peer&)> serve;  // after the log-in
    std::function<bool(CFtpConnection&)> act;
    std::vector<std::string> lines;
  };
  auto retr = [](Peer& p, const std::string& announced, size_t sent) {
    std::string epsv = p.OpenPassive();
    p.AnswerUntil("RETR", {{"TYPE", "200 ok\r\n"}, {"EPSV", epsv}});
    p.Reply("150 Opening data connection" + announced);
    p.AcceptData();
    p.SendData(std::string(sent, 'x'));
    p.CloseData();
    p.Reply("226 Transfer complete");
  };
  const Case cases[] = {
      {"over-long reply to PWD",
       [](Peer& p) {
         p.AnswerUntil("PWD", {});
         p.Send("257 \"" + std::string(10000, 'x') + "\"\r\n");
       },
       [](CFtpConnection& c) {
         std::string folder;
         return c.GetCurrentDirectory(folder);
       },
       {"ERROR 12030 : Connection aborted",
        "DETAIL : the reply to PWD cannot be read: a reply line is longer than 8192 bytes"}},
      {"short transfer that the server calls complete",
       [&](Peer& p) { retr(p, " (1000 bytes)", 100); },
       [](CFtpConnection& c) {
         return c.GetFile("f", MakeTempDir() + "/f", false, FTP_TRANSFER_TYPE_BINARY);
       },
       {"ERROR 12030 : Connection aborted", "DETAIL : the data ended after 100 of 1000 bytes"}},
      {"refusal with a long reply",
       [&](Peer& p) {
         p.AnswerUntil("CWD", {});
         p.Reply(longReply);
       },
       [](CFtpConnection& c) { return c.SetCurrentDirectory("/nope"); },
       {"ERROR 12003 : Extended error", "EXTENDED ERROR 550 : " + longReply}},
      {"local file that cannot be made",
       [&](Peer& p) { retr(p, "", 10); },
       [&](CFtpConnection& c) { return c.GetFile("f", local, false, FTP_TRANSFER_TYPE_BINARY); },
       {"cannot create " + local + ": No such file or directory"}},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    ScriptedFtpServer server([&k](Peer& p) {
      p.LogIn();
      k.serve(p);
      p.WaitForClose(3000);
    });
    auto c = Connect(server.Port());
    ASSERT_FALSE(k.act(*c));
    EXPECT_EQ(ReportedLines(GetLastError()), k.lines);
  }
}

// What the layer reads once per process (the environment's bound on silence, tracing) is tested
// in a fresh run of this binary with only this test selected.
TEST(FtpEnvironment, TimeoutAndTraceComeFromTheEnvironment) {
  if (!std::getenv("TROX_FTP_FAULTS_CHILD")) {
    char self[PATH_MAX] = "";
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    ASSERT_GT(n, 0);
    ProcessResult r = RunProgram(
        std::string(self, static_cast<size_t>(n)), {"--gtest_filter=FtpEnvironment.*"}, "",
        {{"TROX_FTP_FAULTS_CHILD", "1"}, {"TROX_NET_TIMEOUT_MS", "300"}, {"TROX_FTP_TRACE", "1"}},
        60);
    EXPECT_EQ(r.exitCode, 0) << r.output;
    EXPECT_NE(r.output.find("ftp > PASS ****"), std::string::npos) << r.output;
    EXPECT_EQ(r.output.find("secret-pw"), std::string::npos) << r.output;
    return;
  }
  CInternetSession session("Varnook FTP", 1, 0, "", "", 0);
  InternetTimeouts t = GetInternetTimeouts();
  EXPECT_EQ(t.idleMs, 300);
  EXPECT_EQ(t.connectMs, 300);
  EXPECT_EQ(t.replyTotalMs, 600);
  ScriptedFtpServer server([](Peer& p) {
    p.LogIn();
    p.Line();  // PWD, never answered
    p.WaitForClose(3000);
  });
  auto c = session.GetFtpConnection("127.0.0.1", "u", "secret-pw", server.Port(), true);
  std::string folder;
  EXPECT_FALSE(c->GetCurrentDirectory(folder));
  EXPECT_EQ(GetLastError(), ERROR_INTERNET_TIMEOUT);
  c.reset();

  // A reply that trickles in line by line, and greetings that say "wait" again and again: each
  // line comes well within the silence bound, so only the bound on the whole answer ends them
  // (before the server would give in and finish).
  for (bool greeting : {false, true}) {
    SCOPED_TRACE(greeting ? "greeting" : "reply to PWD");
    std::atomic<bool> gaveUp{false};
    ScriptedFtpServer drip([&](Peer& p) {
      if (!greeting) {
        p.LogIn();
        p.AnswerUntil("PWD", {});
        p.Reply("257-here it comes");
      }
      for (int i = 0; i < 100 && !gaveUp; ++i) {
        p.Reply(greeting ? "120 Wait a moment" : " more of it");
        p.Line(100);
      }
      p.Reply(greeting ? "220 Ready" : "257 \"/\"");
      p.WaitForClose(3000);
    });
    if (greeting) {
      EXPECT_THROW(session.GetFtpConnection("127.0.0.1", "u", "p", drip.Port(), true),
                   CInternetException);
    } else {
      auto d = session.GetFtpConnection("127.0.0.1", "u", "p", drip.Port(), true);
      EXPECT_FALSE(d->GetCurrentDirectory(folder));
    }
    gaveUp = true;
    EXPECT_EQ(GetLastError(), ERROR_INTERNET_TIMEOUT);
    EXPECT_NE(GetLastErrorDetail().find("did not end within 0.6 s"), std::string::npos)
        << GetLastErrorDetail();
  }
}

}  // namespace
