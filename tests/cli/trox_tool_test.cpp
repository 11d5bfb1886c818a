// trox as a Linux tool: help, quiet runs for cron, what the log tells of each run, and where the
// password comes from.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <map>
#include <string>
#include <vector>

#include "FtpServers.h"
#include "Processes.h"
#include "TempDir.h"

namespace {

struct ToolRun {
  int exitCode = -1;
  std::string out, err;
};

// trox with standard error kept apart, HOME in a fresh folder (no ~/.netrc unless a test puts
// one there) and no TROX_PASSWORD unless given.
ToolRun RunTool(const std::vector<std::string>& args, std::map<std::string, std::string> env = {}) {
  const std::string errFile = MakeTempDir() + "/stderr";
  env["TROX_TEST_STDERR"] = errFile;
  env.try_emplace("HOME", MakeTempDir());
  env.try_emplace("TROX_PASSWORD", "");
  std::vector<std::string> shell = {"-c", "exec \"$0\" \"$@\" 2>\"$TROX_TEST_STDERR\"", TroxPath()};
  shell.insert(shell.end(), args.begin(), args.end());
  ProcessResult r = RunProgram("/bin/sh", shell, "", env);
  return {r.exitCode, r.output, ReadFileBytes(errFile)};
}

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// The server's account, and a local folder with one file to send.
std::vector<std::string> Job(FtpTestServer& server, std::vector<std::string> more = {}) {
  const std::string local = MakeTempDir();
  WriteFileBytes(local + "/a.txt", "a\n");
  std::vector<std::string> args = {"-s", server.Host(), "-t", std::to_string(server.Port()),
                                   "-u", server.User(), "-l", local};
  args.insert(args.end(), more.begin(), more.end());
  return args;
}

}  // namespace

TEST(TroxTool, HelpAndVersionGoToStandardOutput) {
  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{"--help"}, {"-h"}, {"-s", "h", "--help", "-z"}}) {
    ToolRun r = RunTool(args);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out.rfind("trox -f <options file> [options]\n", 0), 0u) << r.out;
    EXPECT_TRUE(Has(r.out, "\t-x (passive data connections)\n"));
    EXPECT_TRUE(Has(r.out, "--password-file <file>"));
    EXPECT_EQ(r.err, "");
  }
  ToolRun r = RunTool({"--version"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, "Varnook FTP version 3.00\n");
}

TEST(TroxTool, BadLongOptionsSayWhy) {
  const std::string dir = MakeTempDir();
  for (const auto& [args, why] : std::vector<std::pair<std::vector<std::string>, std::string>>{
           {{"-s", "h", "--nosuch"}, "unknown option --nosuch"},
           {{"-s", "h", "--password-file", dir + "/none"},
            "cannot read password file " + dir + "/none: No such file or directory"}}) {
    ToolRun r = RunTool(args);
    EXPECT_EQ(r.exitCode, 2) << why;
    EXPECT_TRUE(Has(r.out,
                    "\t-d (check for upgrade availability)\n\n\n"
                    "Error 002 : Bad command line arguments.\n\n"))
        << r.out;
    EXPECT_EQ(r.err, "trox: " + why + "\n");
  }
}

// Each run in the log: a first line naming the job and a closing line; quiet, standard output
// stays empty and standard error holds the failures and the closing error.
TEST(TroxTool, QuietRunsAndTheLogsFirstAndClosingLines) {
  FtpTestServer& server = SharedFtpServer(ServerKind::Pyftpdlib);
  server.ClearRoot();
  WriteFileBytes(server.Root() + "/no", "a file where a folder should be");
  server.ChownRoot();
  const struct {
    std::vector<std::string> more;
    int exitCode;
    std::string stderrHas, logEnd;
  } cases[] = {
      {{"-p", server.Password(), "-r", "/up"}, 0, "", ": OK\r\n"},
      {{"-p", server.Password(), "-r", "/no/deep"},
       5,
       "INIT: Failed to create folder /no/deep\n",
       ": Error 005 : Transfer errors occurred.\r\n"},
      {{"-p", "wrong"},
       4,
       "Error 004 : WinInet error 12014 - Incorrect password.\n530 ",
       ": 530 Authentication failed.\r\n"},
  };
  for (const auto& c : cases) {
    const std::string log = MakeTempDir() + "/run.log";
    std::vector<std::string> more = c.more;
    more.insert(more.end(), {"--quiet", "-o", log});
    ToolRun r = RunTool(Job(server, more));
    EXPECT_EQ(r.exitCode, c.exitCode) << r.err;
    EXPECT_EQ(r.out, "");
    if (c.stderrHas.empty())
      EXPECT_EQ(r.err, "");
    else
      EXPECT_TRUE(Has(r.err, c.stderrHas)) << r.err;
    const std::string text = ReadFileBytes(log);
    EXPECT_TRUE(Has(text.substr(0, text.find('\n')), ": Start: send local /")) << text;
    EXPECT_TRUE(Has(text, " on " + server.User() + "@127.0.0.1 port ")) << text;
    EXPECT_TRUE(text.size() >= c.logEnd.size() &&
                text.compare(text.size() - c.logEnd.size(), c.logEnd.size(), c.logEnd) == 0)
        << text;
  }
}

TEST(TroxTool, LogThatCannotBeWrittenIsReportedAndTheRunGoesOn) {
  FtpTestServer& server = SharedFtpServer(ServerKind::Pyftpdlib);
  const std::string log = MakeTempDir() + "/no/such/run.log";
  ToolRun r = RunTool(Job(server, {"-p", server.Password(), "-o", log}));
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.err, "trox: cannot write log file " + log +
                       ": No such file or directory; the transfer goes on without a log\n");
  EXPECT_TRUE(Has(r.out, "\nOK\n\n"));
}

TEST(TroxTool, PasswordSourcesInTheirOrder) {
  FtpTestServer& server = SharedFtpServer(ServerKind::Pyftpdlib);
  const std::string good = server.Password(), dir = MakeTempDir();
  WriteFileBytes(dir + "/good.pw", good + "\r\nsecond line\n");
  const std::string head =
      "[TROX]\r\nSERVER=127.0.0.1\r\nPORT=" + std::to_string(server.Port()) + "\r\nPASS=";
  const std::string trx = dir + "/job.trx", goodTrx = dir + "/good.trx";
  WriteFileBytes(trx, head + "wrong\r\n");
  WriteFileBytes(goodTrx, head + good + "\r\n");
  const std::string netrc = "machine 127.0.0.1 login " + server.User() + " password ";
  const struct {
    std::vector<std::string> more;
    std::string envPassword, netrcText;
    mode_t netrcMode;
    int exitCode;
    std::string err;
  } cases[] = {
      {{"-p", good}, "wrong", "", 0600, 0, ""},
      {{"-p", good, "-f", trx}, "", "", 0600, 0, ""},  // wherever -p stands
      {{"-p", "wrong", "--password-file", dir + "/good.pw"}, "", "", 0600, 4, ""},
      {{"--password-file=" + dir + "/good.pw"}, "wrong", "", 0600, 0, ""},
      {{"-f", trx}, good, "", 0600, 0, ""},
      {{"-f", goodTrx}, "", netrc + "wrong", 0600, 0, ""},
      {{}, "", netrc + good, 0600, 0, ""},
      {{}, "", "default password " + good, 0600, 0, ""},
      {{}, "", netrc + good, 0640, 4, "is readable by others; not using it"},
  };
  for (const auto& c : cases) {
    const std::string home = MakeTempDir();
    if (!c.netrcText.empty()) {
      WriteFileBytes(home + "/.netrc", c.netrcText + "\n");
      chmod((home + "/.netrc").c_str(), c.netrcMode);
    }
    std::vector<std::string> args = Job(server, c.more);
    ToolRun r = RunTool(args, {{"HOME", home}, {"TROX_PASSWORD", c.envPassword}});
    EXPECT_EQ(r.exitCode, c.exitCode) << r.out << r.err;
    EXPECT_TRUE(c.err.empty() ? r.err.empty() : Has(r.err, c.err)) << r.err;
  }
}
