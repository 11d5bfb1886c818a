// trox against a faulty server of our own: whatever the server does (goes silent, stalls or cuts
// a transfer, sends endless or unparsable replies, hostile listings, a 227 that names another
// host), trox ends with a closing message and an exit code, never with a crash or a hang, and
// never reports a broken transfer as a success. Silence is bounded by TROX_NET_TIMEOUT_MS.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "FtpServers.h"
#include "ScriptedFtpServer.h"

using namespace scripted;

namespace {

const std::map<std::string, std::string> kShortTimeouts = {{"TROX_NET_TIMEOUT_MS", "400"}};

enum class Fault {
  None,
  SilentAfterLogIn,
  DataStallsMidFile,
  DataEndsEarlyWith226,
  DataEndsEarlyWith426,
  GreetingIs421,
  UnparsablePasv,
  EpsvRefused,
  PasvNamesAnotherHost,
  MegabyteReplyLine,
  EndlessMultiLineReply,
  TraversalNames,
  FinalReplyBeforeData,
  ListingWithout150,  // the listing's data, then 226 without a 150 before it
  LatePortReply,      // active mode: a second "200 PORT command successful" in reply to LIST
  ControlCharacters,
};

const size_t kFileSize = 300000;
// Names that would colour the terminal and ring its bell, and (through a lone CR, which no FTP
// command can carry, so that file fails) start the line again over what was printed before.
const std::string kHostileName = "red\x1b[31m\x07\x7fname.bin";
const std::string kCrName = "over\rwritten.bin";

// One connection of a small server that offers /pub/f.bin (and, with TraversalNames, hostile
// entries beside it), with the fault played where it belongs.
void Serve(Peer& p, Fault fault) {
  if (fault == Fault::GreetingIs421) {
    p.Reply("421 Too many users, try later");
    p.WaitForClose(3000);
    return;
  }
  if (fault == Fault::ControlCharacters) {
    p.Reply("220 scripted");
    p.AnswerUntil("FEAT", {{"USER", "331 Password\r\n"},
                           {"PASS", "230-\x1b]0;window title\x07\r\n230 \xe2\x80\xaeIn\r\n"}});
    p.Send("211-Features:\r\n SIZE\r\n EPSV\r\n211 End\r\n");
  } else {
    p.LogIn(" SIZE\r\n EPSV\r\n");
  }
  std::string cwd = "/";
  std::string portLine;
  const std::string content = PatternBytes(kFileSize, 7);
  for (;;) {
    std::string line = p.Line(5000);
    if (line.empty() || line == "QUIT") return;
    std::string verb = line.substr(0, line.find(' '));
    std::string arg = line.size() > verb.size() + 1 ? line.substr(verb.size() + 1) : "";
    if (fault == Fault::SilentAfterLogIn) {
      p.WaitForClose(5000);
      return;
    }
    if (verb == "PWD") {
      if (fault == Fault::MegabyteReplyLine) {
        p.Send("257 \"" + std::string(1 << 20, 'x') + "\"\r\n");
        p.WaitForClose(5000);
        return;
      }
      if (fault == Fault::EndlessMultiLineReply) {
        p.Reply("257-here it comes");
        for (int i = 0; i < 200000; ++i) p.Reply(" and more of it, line " + std::to_string(i));
        p.WaitForClose(5000);
        return;
      }
      p.Reply("257 \"" + cwd + "\" is the current directory");
    } else if (verb == "CWD") {
      if (arg == "/" || arg == "/pub") {
        cwd = arg;
        p.Reply("250 Okay");
      } else {
        p.Reply("550 No such folder");
      }
    } else if (verb == "TYPE") {
      p.Reply("200 Type set");
    } else if (verb == "EPSV") {
      if (fault == Fault::EpsvRefused || fault == Fault::UnparsablePasv ||
          fault == Fault::PasvNamesAnotherHost)
        p.Reply("500 EPSV not understood");
      else
        p.Send(p.OpenPassive());
    } else if (verb == "PASV") {
      if (fault == Fault::UnparsablePasv)
        p.Reply("227 Entering Passive Mode (somewhere, over the rainbow)");
      else if (fault == Fault::PasvNamesAnotherHost)
        p.Send(p.OpenPassivePasv());  // names 10.255.255.1: only its port may be used
      else
        p.Send(p.OpenPassivePasv());
    } else if (verb == "PORT") {
      portLine = line;
      p.Reply("200 PORT command successful");
    } else if (verb == "SIZE") {
      if (arg == "/pub/f.bin")
        p.Reply("213 " + std::to_string(kFileSize));
      else
        p.Reply("550 No such file");
    } else if (verb == "LIST") {
      if (fault == Fault::LatePortReply) p.Reply("200 PORT command successful");
      if ((portLine.empty() ? p.AcceptData() : p.ConnectPort(portLine)) < 0) return;
      if (fault != Fault::ListingWithout150) p.Reply("150 Here comes the listing");
      std::string listing;
      if (cwd == "/pub") {
        listing = "-rw-r--r-- 1 u g " + std::to_string(kFileSize) + " Jan 01 2020 f.bin\r\n";
        if (fault == Fault::TraversalNames) {
          listing += "-rw-r--r-- 1 u g 5 Jan 01 2020 ../escaped.bin\r\n";
          listing += "-rw-r--r-- 1 u g 5 Jan 01 2020 /etc/escaped.bin\r\n";
          listing += "-rw-r--r-- 1 u g 5 Jan 01 2020 a/../../escaped2.bin\r\n";
          listing += "drwxr-xr-x 2 u g 0 Jan 01 2020 ..\r\n";
        }
        if (fault == Fault::ControlCharacters)
          listing += "-rw-r--r-- 1 u g 5 Jan 01 2020 " + kHostileName + "\r\n" +
                     "-rw-r--r-- 1 u g 5 Jan 01 2020 " + kCrName + "\r\n";
      }
      p.SendData(listing);
      p.CloseData();
      p.Reply("226 Done");
    } else if (verb == "RETR" && fault == Fault::ControlCharacters &&
               arg.size() > kHostileName.size() &&
               arg.compare(arg.size() - kHostileName.size(), kHostileName.size(), kHostileName) ==
                   0) {
      if (p.AcceptData() < 0) return;
      p.Reply("150 Opening BINARY mode data connection");
      p.SendData("five\n");
      p.CloseData();
      p.Reply("226 Transfer complete");
    } else if (verb == "RETR") {
      if (arg != "/pub/f.bin") {
        p.Reply("550 No such file");
        continue;
      }
      if (p.AcceptData() < 0) return;
      p.Reply("150 Opening BINARY mode data connection for f.bin (" + std::to_string(kFileSize) +
              " bytes).");
      switch (fault) {
        case Fault::DataStallsMidFile:
          p.SendData(content.substr(0, kFileSize / 2));
          p.WaitForClose(5000);  // neither more data nor an end
          return;
        case Fault::DataEndsEarlyWith226:
          p.SendData(content.substr(0, kFileSize / 3));
          p.CloseData();
          p.Reply("226 Transfer complete");
          break;
        case Fault::DataEndsEarlyWith426:
          p.SendData(content.substr(0, kFileSize / 3));
          p.CloseData();
          p.Reply("426 Connection closed; transfer aborted");
          break;
        case Fault::FinalReplyBeforeData:
          p.Reply("226 Transfer complete");
          p.SendData(content);
          p.CloseData();
          break;
        default:
          p.SendData(content);
          p.CloseData();
          p.Reply("226 Transfer complete");
      }
    } else {
      p.Reply("502 Not implemented");
    }
  }
}

struct Outcome {
  ProcessResult result;
  std::string local;
};

Outcome GetFrom(Fault fault, const std::vector<std::string>& extra = {}, bool passive = true) {
  MultiScriptedServer server([fault](Peer& p, int) { Serve(p, fault); }, 12);
  Outcome o;
  o.local = MakeTempDir() + "/in";
  std::vector<std::string> args = {
      "-s",    "127.0.0.1", "-t",  std::to_string(server.Port()), "-u", "u", "-p", "pw", "-g", "-l",
      o.local, "-r",        "/pub"};
  if (passive) args.push_back("-x");
  args.insert(args.end(), extra.begin(), extra.end());
  o.result = RunTrox(args, "", kShortTimeouts);
  return o;
}

void ExpectFailedRun(const Outcome& o, const std::string& closing, int code) {
  EXPECT_EQ(o.result.exitCode, code) << o.result.output;
  // The closing message comes last (an internet error adds its number and text after it).
  EXPECT_NE(o.result.output.rfind(closing), std::string::npos) << o.result.output;
  EXPECT_TRUE(o.result.output.size() >= 2 &&
              o.result.output.compare(o.result.output.size() - 2, 2, "\n\n") == 0)
      << o.result.output;
}

void ExpectCompleteFile(const Outcome& o) {
  EXPECT_EQ(o.result.exitCode, 0) << o.result.output;
  EXPECT_TRUE(ReadFileBytes(o.local + "/f.bin") == PatternBytes(kFileSize, 7)) << o.result.output;
}

const char kTransferErrors[] = "Error 005 : Transfer errors occurred.";

TEST(TroxFaults, SilenceAfterLogInEndsInATimeOut) {
  Outcome o = GetFrom(Fault::SilentAfterLogIn);
  ExpectFailedRun(o, kTransferErrors, 5);
  EXPECT_FALSE(PathExists(o.local + "/f.bin"));
}

TEST(TroxFaults, BrokenDataConnectionsFailTheFileAndLeaveNoPartOfIt) {
  for (Fault fault :
       {Fault::DataStallsMidFile, Fault::DataEndsEarlyWith226, Fault::DataEndsEarlyWith426}) {
    SCOPED_TRACE(static_cast<int>(fault));
    Outcome o = GetFrom(fault);
    ExpectFailedRun(o, kTransferErrors, 5);
    EXPECT_NE(o.result.output.find("Failed to receive /pub/f.bin!"), std::string::npos)
        << o.result.output;
    EXPECT_FALSE(PathExists(o.local + "/f.bin"));
  }
}

TEST(TroxFaults, RefusalOnConnectIsAnInternetError) {
  Outcome o = GetFrom(Fault::GreetingIs421);
  ExpectFailedRun(o, "Error 004 : WinInet error ", 4);
  // The number says only "Extended error": the server's own words come first.
  EXPECT_NE(o.result.output.find("421 Too many users, try later\nError 004 : WinInet error 12003"),
            std::string::npos)
      << o.result.output;
}

TEST(TroxFaults, RepliesOutOfStepFailTheRunInsteadOfListingNothing) {
  for (bool passive : {true, false}) {
    SCOPED_TRACE(passive ? "data, then 226 without 150" : "a late reply to PORT");
    Outcome o = GetFrom(passive ? Fault::ListingWithout150 : Fault::LatePortReply, {}, passive);
    ExpectFailedRun(o, kTransferErrors, 5);
    EXPECT_NE(o.result.output.find("ERROR 12111 : FTP dropped"), std::string::npos)
        << o.result.output;
  }
}

TEST(TroxFaults, PassiveRepliesUnparsableRefusedOrPointingElsewhere) {
  ExpectFailedRun(GetFrom(Fault::UnparsablePasv), kTransferErrors, 5);
  // EPSV refused: PASV does the job. A 227 naming another host: its port on the control
  // connection's host is used (our listener is on 127.0.0.1 only, so success proves it).
  ExpectCompleteFile(GetFrom(Fault::EpsvRefused));
  ExpectCompleteFile(GetFrom(Fault::PasvNamesAnotherHost));
}

TEST(TroxFaults, OversizedAndEndlessRepliesEndInAnError) {
  for (Fault fault : {Fault::MegabyteReplyLine, Fault::EndlessMultiLineReply}) {
    SCOPED_TRACE(static_cast<int>(fault));
    Outcome o = GetFrom(fault);
    ExpectFailedRun(o, kTransferErrors, 5);
    EXPECT_FALSE(PathExists(o.local + "/f.bin"));
  }
}

TEST(TroxFaults, TraversalNamesInAListingWriteNothingOutside) {
  Outcome o = GetFrom(Fault::TraversalNames);
  // Without -i the first hostile name stops the walk; it is reported, never followed.
  EXPECT_EQ(o.result.exitCode, 5) << o.result.output;
  const std::string parent = o.local.substr(0, o.local.rfind('/'));
  EXPECT_FALSE(PathExists(parent + "/escaped.bin"));
  EXPECT_FALSE(PathExists(parent + "/escaped2.bin"));
  EXPECT_FALSE(PathExists(o.local + "/etc/escaped.bin"));
}

// Files a.bin, b.bin and c.bin in /pub, to get or to send; the first transfer of any of them is
// cut off in the middle together with its control connection.
struct DroppingServer {
  const std::vector<std::string> names = {"a.bin", "b.bin", "c.bin"};
  std::atomic<bool> dropped{false};
  std::mutex mutex;
  std::map<std::string, std::string> stored;

  static std::string Content(const std::string& name) {
    return PatternBytes(kFileSize, static_cast<unsigned>(name[0]));
  }
  static std::string ReadToEnd(int fd) {
    std::string bytes;
    char buffer[65536];
    for (;;) {
      pollfd pfd{fd, POLLIN, 0};
      if (poll(&pfd, 1, 5000) != 1) break;
      ssize_t n = recv(fd, buffer, sizeof buffer, 0);
      if (n <= 0) break;
      bytes.append(buffer, static_cast<size_t>(n));
    }
    return bytes;
  }

  void Serve(Peer& p) {
    p.LogIn(" EPSV\r\n");
    std::string cwd = "/";
    for (;;) {
      std::string line = p.Line(5000);
      if (line.empty() || line == "QUIT") return;
      std::string verb = line.substr(0, line.find(' '));
      std::string arg = line.size() > verb.size() + 1 ? line.substr(verb.size() + 1) : "";
      std::string name = arg.substr(arg.rfind('/') + 1);
      if (verb == "PWD") {
        p.Reply("257 \"" + cwd + "\" is the current directory");
      } else if (verb == "CWD" && (arg == "/" || arg == "/pub")) {
        cwd = arg;
        p.Reply("250 Okay");
      } else if (verb == "TYPE") {
        p.Reply("200 Type set");
      } else if (verb == "EPSV") {
        p.Send(p.OpenPassive());
      } else if (verb == "LIST") {
        if (p.AcceptData() < 0) return;
        p.Reply("150 Here comes the listing");
        std::string listing;
        for (const std::string& n : names)
          listing += "-rw-r--r-- 1 u g " + std::to_string(kFileSize) + " Jan 01 2020 " + n + "\r\n";
        p.SendData(cwd == "/pub" ? listing : "");
        p.CloseData();
        p.Reply("226 Done");
      } else if (verb == "RETR" || verb == "STOR") {
        int data = p.AcceptData();
        if (data < 0) return;
        p.Reply("150 Opening BINARY mode data connection");
        const bool drop = !dropped.exchange(true);
        if (verb == "RETR") {
          p.SendData(Content(name).substr(0, drop ? kFileSize / 2 : kFileSize));
          if (drop) return;  // the control connection goes with the data connection
        } else {
          if (drop) return;
          std::string bytes = ReadToEnd(data);
          std::lock_guard<std::mutex> lock(mutex);
          stored[name] = bytes;
        }
        p.CloseData();
        p.Reply("226 Transfer complete");
      } else {
        p.Reply("502 Not implemented");
      }
    }
  }
};

TEST(TroxFaults, ALostConnectionIsReplacedForTheNextFile) {
  for (bool get : {true, false}) {
    SCOPED_TRACE(get ? "get" : "send");
    DroppingServer files;
    MultiScriptedServer server([&files](Peer& p, int) { files.Serve(p); }, 12);
    const std::string local = MakeTempDir();
    if (!get)
      for (const std::string& name : files.names)
        WriteFileBytes(local + "/" + name, DroppingServer::Content(name));
    std::vector<std::string> args = {"-s", "127.0.0.1", "-t", std::to_string(server.Port()),
                                     "-u", "u",         "-p", "pw",
                                     "-x", "-i",        "-l", local,
                                     "-r", "/pub"};
    if (get) args.push_back("-g");
    ProcessResult r = RunTrox(args, "", kShortTimeouts);
    server.Stop();
    // The file that was cut off stays failed, and so does the run; the others arrive whole.
    EXPECT_EQ(r.exitCode, 5) << r.output;
    EXPECT_NE(r.output.find("Connection lost; logging in again (1 of 3) ..."), std::string::npos)
        << r.output;
    int arrived = 0;
    for (const std::string& name : files.names) {
      if (get) {
        if (!PathExists(local + "/" + name)) continue;
        EXPECT_TRUE(ReadFileBytes(local + "/" + name) == DroppingServer::Content(name)) << name;
      } else {
        if (!files.stored.count(name)) continue;
        EXPECT_TRUE(files.stored[name] == DroppingServer::Content(name)) << name;
      }
      ++arrived;
    }
    EXPECT_EQ(arrived, 2) << r.output;
  }
}

TEST(TroxFaults, FinalReplyBeforeTheDataStillWaitsForAllOfIt) {
  ExpectCompleteFile(GetFrom(Fault::FinalReplyBeforeData));
}

// Where text holds a raw control byte (line ends "\n" and "\r\n" excepted) or a bidi override;
// "" when it holds none.
std::string RawControl(const std::string& text) {
  for (size_t i = 0; i < text.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == '\n' || (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) continue;
    if (c < 0x20 || c == 0x7f) return text.substr(i > 20 ? i - 20 : 0, 40);
  }
  size_t bidi = text.find("\xe2\x80\xae");
  return bidi == std::string::npos ? "" : text.substr(bidi > 20 ? bidi - 20 : 0, 40);
}

TEST(TroxFaults, ControlCharactersFromTheServerAreShownEscapedAndUsedExactly) {
  const std::string log = MakeTempDir() + "/run.log";
  Outcome o = GetFrom(Fault::ControlCharacters, {"-v", "-o", log});
  EXPECT_EQ(o.result.exitCode, 5) << o.result.output;
  EXPECT_TRUE(ReadFileBytes(o.local + "/f.bin") == PatternBytes(kFileSize, 7));
  EXPECT_EQ(ReadFileBytes(o.local + "/" + kHostileName), "five\n");
  const std::string logged = ReadFileBytes(log);
  for (const std::string& text : {o.result.output, logged}) {
    EXPECT_NE(text.find("Receiving /pub/red\\x1b[31m\\x07\\x7fname.bin in BINARY mode ..."),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("Failed to receive /pub/over\\x0dwritten.bin!"), std::string::npos);
    EXPECT_NE(text.find("230-\\x1b]0;window title\\x07"), std::string::npos) << text;
    EXPECT_NE(text.find("230 \\u202eIn"), std::string::npos) << text;
  }
  EXPECT_EQ(RawControl(o.result.output), "");
  EXPECT_EQ(RawControl(logged), "");
}

}  // namespace
