// trox with transfer files, stored passwords, logs and the upgrade check, against real servers.
#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "FtpServers.h"
#include "LocalHttpServer.h"
#include "Processes.h"
#include "TempDir.h"
#include "trox/PasswordCrypto.h"

namespace {

const std::string kOk = "OK\n\n";
const std::string kBadArguments = "Error 002 : Bad command line arguments.\n\n";
const char kQuery[] = "GET /upgrade.asp?product=trox&version=" TROX_VERSION " HTTP/1.";

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

std::string Encrypted(std::string password) {
  EncryptPassword(password);
  return password;
}

class TroxFiles : public ::testing::TestWithParam<ServerKind> {
 protected:
  void SetUp() override {
    server = &SharedFtpServer(GetParam());
    server->ClearRoot();
    server->MarkLog();
    dir = MakeTempDir();
    localDir = dir + "/local";
    std::filesystem::create_directories(localDir);
  }

  // A job file with the account, the password in its stored form, and extra lines.
  std::string JobFile(const std::string& extra = "") const {
    std::string path = dir + "/job.trx";
    WriteFileBytes(
        path, "[TROX]\r\nSERVER=" + server->Host() + "\r\nPORT=" + std::to_string(server->Port()) +
                  "\r\nUSER=" + server->User() + "\r\nENCPASS=" + Encrypted(server->Password()) +
                  "\r\nSERVERPATH=/incoming/\r\nLOCALPATH=" + localDir + "\r\n" + extra);
    return path;
  }

  bool LoggedIn() const { return Contains(server->CommandLog(), "USER " + server->User()); }

  FtpTestServer* server = nullptr;
  std::string dir;
  std::string localDir;
};

TEST_P(TroxFiles, TransferFileLogsInWithTheStoredPassword) {
  ProcessResult r = RunTrox({"-f", JobFile()});
  EXPECT_EQ(r.exitCode, 0) << r.output;
  EXPECT_TRUE(Contains(r.output, "Connecting to 127.0.0.1 ...\n")) << r.output;
  EXPECT_TRUE(EndsWith(r.output, kOk)) << r.output;
  EXPECT_TRUE(LoggedIn());
  EXPECT_TRUE(PathExists(server->Root() + "/incoming"));
}

TEST_P(TroxFiles, StoredPasswordOnTheCommandLine) {
  std::string lower = Encrypted(server->Password());
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  // Upper- and lower-case digits are the same stored form.
  for (const std::string& stored : {Encrypted(server->Password()), lower}) {
    server->MarkLog();
    ProcessResult r = RunTrox({"-s", server->Host(), "-t", std::to_string(server->Port()), "-u",
                               server->User(), "-q", stored, "-l", localDir, "-r", "/"});
    EXPECT_EQ(r.exitCode, 0) << r.output;
    EXPECT_TRUE(EndsWith(r.output, kOk)) << r.output;
    EXPECT_TRUE(LoggedIn());
  }

  // A stored form of another password, given after the file, wins and is refused.
  ProcessResult r = RunTrox({"-f", JobFile(), "-q", Encrypted("wrong" + server->Password())});
  EXPECT_EQ(r.exitCode, 4) << r.output;
}

TEST_P(TroxFiles, IncludeAndExcludeTogetherAreBadArguments) {
  ProcessResult r = RunTrox({"-f", JobFile("[SELECT]\r\nINCLUDE(1)=.txt\r\nEXCLUDE(1)=.bak\r\n")});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_TRUE(EndsWith(r.output, kBadArguments)) << r.output;
  EXPECT_FALSE(Contains(r.output, "Connecting"));
  EXPECT_FALSE(LoggedIn());
}

TEST_P(TroxFiles, LogGetsTimeStampedLinesAppendedAcrossRuns) {
  std::string log = dir + "/run.log";
  ProcessResult first = RunTrox({"-f", JobFile(), "-o", log, "-v"});
  ASSERT_EQ(first.exitCode, 0) << first.output;
  std::string afterFirst = ReadFileBytes(log);
  ProcessResult second = RunTrox({"-o", log, "-f", JobFile("LOG=" + log + "\r\n")});
  ASSERT_EQ(second.exitCode, 0) << second.output;
  std::string afterSecond = ReadFileBytes(log);

  EXPECT_EQ(afterSecond.rfind(afterFirst, 0), 0u);
  std::regex line(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d: [^\r\n]*\r\n)");
  auto lines = std::distance(std::sregex_iterator(afterSecond.begin(), afterSecond.end(), line),
                             std::sregex_iterator());
  EXPECT_GT(lines, 2);
  std::regex connecting(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d: Connecting to 127\.0\.0\.1 \.\.\.\r\n)");
  EXPECT_EQ(std::distance(std::sregex_iterator(afterSecond.begin(), afterSecond.end(), connecting),
                          std::sregex_iterator()),
            2);
  // Verbose output shows the server's reply but never the password.
  for (const std::string& text : {first.output, second.output, afterSecond}) {
    EXPECT_FALSE(Contains(text, server->Password()));
  }
}

TEST_P(TroxFiles, LogInAMissingFolderIsSkipped) {
  ProcessResult r = RunTrox({"-f", JobFile(), "-o", dir + "/missing/run.log"});
  EXPECT_EQ(r.exitCode, 0) << r.output;
  EXPECT_TRUE(EndsWith(r.output, kOk));
  EXPECT_FALSE(PathExists(dir + "/missing"));
}

INSTANTIATE_TEST_SUITE_P(Servers, TroxFiles,
                         ::testing::Values(ServerKind::Pyftpdlib, ServerKind::Vsftpd),
                         [](const auto& test) { return std::string(ServerKindName(test.param)); });

TEST(TroxUpgrade, PositiveAnswer) {
  LocalHttpServer web("Version 3.10 available");
  ProcessResult r = RunTrox({"-d"}, "", {{"TROX_UPGRADE_SERVER", web.Address()}});
  EXPECT_EQ(r.exitCode, 0) << r.output;
  EXPECT_TRUE(
      EndsWith(r.output, "UPGRADE AVAILABLE - Visit " + web.Address() + " to download!\n\n" + kOk))
      << r.output;
  ASSERT_EQ(web.RequestLines().size(), 1u);
  EXPECT_EQ(web.RequestLines()[0].rfind(kQuery, 0), 0u) << web.RequestLines()[0];
}

TEST(TroxUpgrade, NegativeAnswerFromAFileWithOnlyTheUpgradeFlag) {
  LocalHttpServer web("none");
  std::string job = MakeTempDir() + "/upgrade.trx";
  WriteFileBytes(job, "[TROX]\nUPGRADE=1\n");
  ProcessResult r = RunTrox({"-f", job}, "", {{"TROX_UPGRADE_SERVER", web.Address()}});
  EXPECT_EQ(r.exitCode, 0) << r.output;
  EXPECT_TRUE(EndsWith(r.output, "No upgrade available.\n\n" + kOk)) << r.output;
  EXPECT_FALSE(Contains(r.output, "Connecting"));
  ASSERT_EQ(web.RequestLines().size(), 1u);
  EXPECT_EQ(web.RequestLines()[0].rfind(kQuery, 0), 0u);
}

// A web site that is down, or none at all, must not cost the transfer: one line says so, in the
// output and the log, and the transfer's result is the run's.
TEST(TroxUpgrade, CheckThatCannotBeMadeDoesNotStopTheTransfer) {
  FtpTestServer& ftp = SharedFtpServer(ServerKind::Pyftpdlib);
  RefusingPort closed;
  for (const std::string& web : {closed.Address(), std::string()}) {
    ftp.MarkLog();
    std::string dir = MakeTempDir();
    WriteFileBytes(dir + "/local/a.txt", "a\n");
    ProcessResult r =
        RunTrox({"-d", "-s", ftp.Host(), "-t", std::to_string(ftp.Port()), "-u", ftp.User(), "-p",
                 ftp.Password(), "-l", dir + "/local", "-r", "/nightly", "-o", dir + "/run.log"},
                "", {{"TROX_UPGRADE_SERVER", web}});
    EXPECT_EQ(r.exitCode, 0) << r.output;
    std::string said = web.empty() ? "No upgrade server is configured.\nConnecting to "
                                   : "Upgrade check failed: Cannot connect (";
    EXPECT_TRUE(Contains(r.output, said)) << r.output;
    EXPECT_TRUE(Contains(ReadFileBytes(dir + "/run.log"), said.substr(0, 25)));
    EXPECT_TRUE(EndsWith(r.output, kOk)) << r.output;
    EXPECT_EQ(ReadFileBytes(ftp.Root() + "/nightly/a.txt"), "a\n");
  }
}

TEST(TroxUpgrade, CheckAloneWithoutAServerToAskFails) {
  ProcessResult r = RunTrox({"-d"}, "", {{"TROX_UPGRADE_SERVER", ""}});
  EXPECT_EQ(r.exitCode, 4) << r.output;
  EXPECT_TRUE(EndsWith(r.output,
                       "No upgrade server is configured.\n"
                       "Error 004 : WinInet error 12005 - Invalid URL.\n\n"))
      << r.output;
}

}  // namespace
