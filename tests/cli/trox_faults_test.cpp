// trox against a faulty server of our own: whatever the server does (goes silent, stalls or cuts
// a transfer, sends endless or unparsable replies, hostile listings, a 227 that names another
// host), trox ends with a closing message and an exit code, never with a crash or a hang, and
// never reports a broken transfer as a success. Silence is bounded by TROX_NET_TIMEOUT_MS.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "Processes.h"
#include "ScriptedFtpServer.h"
#include "TempDir.h"

using namespace scripted;

namespace {

const std::map<std::string, std::string> kShortTimeouts = {{"TROX_NET_TIMEOUT_MS", "400"}};

enum class Fault {
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

// A server that offers /pub/f.bin (and, with TraversalNames and ControlCharacters, hostile
// entries beside it), with the fault played where it belongs.
void Play(ScriptedFtpServer& s, Fault fault) {
  const auto silence = [](Peer& p, const std::string&) {
    p.WaitForClose(5000);
    return true;
  };
  std::string listing = ListLine('-', kFileSize, "f.bin");
  Ending ending = Ending::Complete;
  switch (fault) {
    case Fault::SilentAfterLogIn:
      s.On("PWD", silence);
      break;
    case Fault::DataStallsMidFile:
      ending = Ending::Stall;
      break;
    case Fault::DataEndsEarlyWith226:
      ending = Ending::Short;
      break;
    case Fault::DataEndsEarlyWith426:
      ending = Ending::ShortError;
      break;
    case Fault::GreetingIs421:
      s.Greeting("421 Too many users, try later");
      break;
    case Fault::UnparsablePasv:
      s.Answer("EPSV", "500 EPSV not understood");
      s.Answer("PASV", "227 Entering Passive Mode (somewhere, over the rainbow)");
      break;
    case Fault::EpsvRefused:
      s.Answer("EPSV", "500 EPSV not understood");
      break;
    case Fault::PasvNamesAnotherHost:
      s.Answer("EPSV", "500 EPSV not understood");
      s.On("PASV", [](Peer& p, const std::string&) {
        p.Send(p.OpenPassivePasv());  // names 10.255.255.1: only its port may be used
        return true;
      });
      break;
    case Fault::MegabyteReplyLine:
      s.On("PWD", [silence](Peer& p, const std::string& arg) {
        p.Send("257 \"" + std::string(1 << 20, 'x') + "\"\r\n");
        return silence(p, arg);
      });
      break;
    case Fault::EndlessMultiLineReply:
      s.On("PWD", [silence](Peer& p, const std::string& arg) {
        p.Reply("257-here it comes");
        for (int i = 0; i < 200000; ++i) p.Reply(" and more of it, line " + std::to_string(i));
        return silence(p, arg);
      });
      break;
    case Fault::TraversalNames:
      for (const char* name : {"../escaped.bin", "/etc/escaped.bin", "a/../../escaped2.bin"})
        listing += ListLine('-', 5, name);
      listing += ListLine('d', 0, "..");
      break;
    case Fault::FinalReplyBeforeData:
      ending = Ending::ReplyFirst;
      break;
    case Fault::ListingWithout150:
      s.AddFolder("/pub", listing, Ending::No150);
      break;
    case Fault::LatePortReply:
      s.On("LIST", [](Peer& p, const std::string&) {
        p.Reply("200 PORT command successful");
        return false;
      });
      break;
    case Fault::ControlCharacters:
      s.Answer("PASS", "230-\x1b]0;window title\x07\r\n230 \xe2\x80\xaeIn");
      listing += ListLine('-', 5, kHostileName) + ListLine('-', 5, kCrName);
      s.AddFile("/pub/" + kHostileName, {"five\n"});
      break;
  }
  s.AddFolder("/");
  if (fault != Fault::ListingWithout150) s.AddFolder("/pub", listing);
  s.AddFile("/pub/f.bin", {PatternBytes(kFileSize, 7), ending});
}

struct Outcome {
  ProcessResult result;
  std::string local;
};

Outcome GetFrom(Fault fault, const std::vector<std::string>& extra = {}, bool passive = true) {
  ScriptedFtpServer server;
  Play(server, fault);
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

const std::vector<std::string> kNames = {"a.bin", "b.bin", "c.bin"};

std::string Content(const std::string& name) {
  return PatternBytes(kFileSize, static_cast<unsigned>(name[0]));
}

TEST(TroxFaults, ALostConnectionIsReplacedForTheNextFile) {
  for (bool get : {true, false}) {
    SCOPED_TRACE(get ? "get" : "send");
    // Files a.bin, b.bin and c.bin in /pub, to get or to send; the first transfer of any of
    // them is cut off in the middle together with its control connection.
    ScriptedFtpServer server;
    server.OfferSize(false);
    std::string listing;
    for (const std::string& name : kNames) {
      listing += ListLine('-', kFileSize, name);
      if (get) server.AddFile("/pub/" + name, {Content(name)});
    }
    server.AddFolder("/");
    server.AddFolder("/pub", listing);
    server.EndNextTransfer(Ending::Drop);
    const std::string local = MakeTempDir();
    if (!get)
      for (const std::string& name : kNames) WriteFileBytes(local + "/" + name, Content(name));
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
    for (const std::string& name : kNames) {
      if (get) {
        if (!PathExists(local + "/" + name)) continue;
        EXPECT_TRUE(ReadFileBytes(local + "/" + name) == Content(name)) << name;
      } else {
        if (server.Stored("/pub/" + name).empty()) continue;
        EXPECT_TRUE(server.Stored("/pub/" + name) == Content(name)) << name;
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
