// The built trox against real servers: what it prints, what it does on the server, exit codes.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "FtpServers.h"
#include "Processes.h"
#include "ScriptedFtpServer.h"
#include "TempDir.h"
#include "trox/PasswordCrypto.h"

namespace fs = std::filesystem;

namespace {

const std::string kBanner =
    "\nVarnook FTP version 3.00 - unattended file transfer to and from FTP servers\n\n";

const std::string kUsage =
    "trox -f <options file> [options]\n"
    "trox -s <server> [options]\n"
    "\n"
    "\t-l <local path>\n"
    "\t-r <remote path>\n"
    "\t-u <user name>\n"
    "\t-p <password>\n"
    "\t-q <encrypted password>\n"
    "\t-t <port>\n"
    "\t-o <log file>\n"
    "\t-g (get from server)\n"
    "\t-i (ignore transfer errors)\n"
    "\t-v (verbose output)\n"
    "\t-a (only send if archive bit set)\n"
    "\t-y (prompt for password)\n"
    "\t-d (check for upgrade availability)\n"
    "\n"
    "\n";

const std::string kBadArguments = "Error 002 : Bad command line arguments.\n\n";

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

class TroxCliTest : public ::testing::TestWithParam<ServerKind> {
 protected:
  void SetUp() override {
    server = &SharedFtpServer(GetParam());
    server->ClearRoot();
    server->MarkLog();
    // An empty local folder, so that a send moves nothing and the runs are about the rest.
    localDir = MakeTempDir();
  }

  // Server, port and local folder; the account is up to each test.
  std::vector<std::string> Base() const {
    return {"-s", server->Host(), "-t", std::to_string(server->Port()), "-l", localDir};
  }

  std::vector<std::string> Account() const {
    std::vector<std::string> args = Base();
    args.insert(args.end(), {"-u", server->User(), "-p", server->Password()});
    return args;
  }

  FtpTestServer* server = nullptr;
  std::string localDir;
};

std::vector<std::string> operator+(std::vector<std::string> a, const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// trox with what it writes on standard error kept apart from standard output.
struct SplitResult {
  int exitCode = -1;
  std::string out, err;
};

SplitResult RunTroxSplit(const std::vector<std::string>& args) {
  const std::string errFile = MakeTempDir() + "/stderr";
  ProcessResult r = RunProgram(
      "/bin/sh",
      std::vector<std::string>{"-c", "exec \"$0\" \"$@\" 2>\"$TROX_TEST_STDERR\"", TroxPath()} +
          args,
      "", {{"TROX_TEST_STDERR", errFile}});
  return {r.exitCode, r.output, ReadFileBytes(errFile)};
}

// Bad arguments: the usage and the closing message on standard output, one line on standard
// error saying what was wrong.
void ExpectBadArguments(const std::vector<std::string>& args, const std::string& why) {
  SplitResult r = RunTroxSplit(args);
  EXPECT_EQ(r.exitCode, 2) << why;
  EXPECT_EQ(r.out, kBanner + kUsage + kBadArguments) << why;
  EXPECT_EQ(r.err, "trox: " + why + "\n");
}

}  // namespace

TEST(TroxCli, NoArgumentsPrintsBannerAndUsageOnly) {
  SplitResult r = RunTroxSplit({});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_EQ(r.out, kBanner + kUsage);
  EXPECT_EQ(r.err, "");
}

TEST(TroxCli, UnknownLetterIsBadArguments) {
  ExpectBadArguments({"-s", "127.0.0.1", "-z"}, "unknown option -z");
  ExpectBadArguments({"-s", "127.0.0.1", "-gxz"}, "unknown option -z");
  // Too short to have a letter at all.
  ExpectBadArguments({"-"}, "unexpected argument '-'");
}

TEST(TroxCli, OptionWithoutItsValueIsBadArguments) {
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"-s"}, {"-s", "127.0.0.1", "-t"}, {"-d", "-f"}, {"-d", "-o"}, {"-d", "-q"}}) {
    ExpectBadArguments(args, "option " + args.back() + " needs a value");
  }
}

TEST(TroxCli, StrayWordsAndPortsOutOfRangeAreBadArguments) {
  // Each of these once ran: a word acted as the option of its second letter and ate the next
  // argument, and a port wrapped or came from atoi.
  const std::string range = "option -t needs a port number from 1 to 65535, not ";
  for (const auto& [args, why] : std::vector<std::pair<std::vector<std::string>, std::string>>{
           {{"-s", "127.0.0.1", "so", "-g"}, "unexpected argument 'so'"},
           {{"-s", "127.0.0.1", "--", "-g"}, "unexpected argument '-g'"},
           {{"-s", "127.0.0.1", "-t", "70000"}, range + "70000"},
           {{"-s", "127.0.0.1", "-tabc"}, range + "abc"},
           {{"-s", "127.0.0.1", "-t", "0"}, range + "0"},
           {{"-s", "127.0.0.1", "-t", "21x"}, range + "21x"}}) {
    ExpectBadArguments(args, why);
  }
}

TEST(TroxCli, NoServerIsBadArguments) {
  ExpectBadArguments({"-u", "me", "-v"}, "no server given (-s, -f or -d)");
}

TEST(TroxCli, TransferFileThatCannotBeReadIsBadArguments) {
  // The last of s, d and f decides.
  const std::string missing = MakeTempDir() + "/missing.trx";
  ExpectBadArguments({"-s", "127.0.0.1", "-f", missing},
                     "cannot read transfer file " + missing + ": No such file or directory");
}

TEST(TroxCli, UnreachableServerEndsWithTheInternetErrorText) {
  ProcessResult r = RunTrox({"-s", "127.0.0.1", "-t", "1", "-l", MakeTempDir()});
  EXPECT_EQ(r.exitCode, 4);
  EXPECT_EQ(r.output, kBanner +
                          "Connecting to 127.0.0.1 ...\n"
                          "Connection to 127.0.0.1 port 1 failed: Connection refused\n"
                          "Error 004 : WinInet error 12029 - Cannot connect.\n\n");
}

TEST(TroxCli, UnreachableUpgradeServerFailsACheckAloneButNoTransfer) {
  ProcessResult r = RunTrox({"-d"}, "", {{"TROX_UPGRADE_SERVER", "http://127.0.0.1:1"}});
  EXPECT_EQ(r.exitCode, 4);
  EXPECT_FALSE(Contains(r.output, "Upgrade check failed"));
  EXPECT_TRUE(EndsWith(r.output, "Error 004 : WinInet error 12029 - Cannot connect.\n\n"));

  // With an FTP server the run goes on, here to a port where nothing listens.
  r = RunTrox({"-d", "-s", "127.0.0.1", "-t", "1", "-l", MakeTempDir()}, "",
              {{"TROX_UPGRADE_SERVER", "http://127.0.0.1:1"}});
  EXPECT_EQ(r.exitCode, 4);
  EXPECT_TRUE(Contains(r.output, "Upgrade check failed: Cannot connect (")) << r.output;
  EXPECT_TRUE(Contains(r.output, "\nConnecting to 127.0.0.1 ...\n")) << r.output;
}

TEST_P(TroxCliTest, CreatesTheRemoteFolderAndEndsOk) {
  ProcessResult r = RunTrox(Account() + std::vector<std::string>{"-r", "newdir"});
  EXPECT_EQ(r.exitCode, 0) << r.output;
  EXPECT_EQ(r.output.rfind(kBanner + "Connecting to 127.0.0.1 ...\n", 0), 0u) << r.output;
  EXPECT_TRUE(EndsWith(r.output, "\nOK\n\n")) << r.output;
  EXPECT_TRUE(PathExists(server->Root() + "/newdir"));
  EXPECT_FALSE(Contains(r.output, server->Password()));
}

TEST_P(TroxCliTest, VerboseShowsTheLoginReplyButNeverThePassword) {
  ProcessResult r = RunTrox(Account() + std::vector<std::string>{"-v", "-iv"});
  EXPECT_EQ(r.exitCode, 0) << r.output;
  std::string connecting = kBanner + "Connecting to 127.0.0.1 ...\n230";
  EXPECT_EQ(r.output.rfind(connecting, 0), 0u) << r.output;
  EXPECT_FALSE(Contains(r.output, server->Password()));
}

TEST_P(TroxCliTest, WrongPasswordEndsWithError4) {
  ProcessResult r = RunTrox(Base() + std::vector<std::string>{"-u", server->User(), "-p", "nope"});
  EXPECT_EQ(r.exitCode, 4);
  // The server's own words follow the closing message.
  EXPECT_EQ(r.output.rfind(kBanner + "Connecting to 127.0.0.1 ...\n"
                                     "Error 004 : WinInet error 12014 - Incorrect password.\n530 ",
                           0),
            0u)
      << r.output;
  EXPECT_TRUE(EndsWith(r.output, "\n\n")) << r.output;
}

TEST_P(TroxCliTest, PipedPasswordReachesTheServerWithoutEcho) {
  ProcessResult r =
      RunTrox(Base() + std::vector<std::string>{"-u", server->User(), "-y", "-r", "piped"},
              server->Password() + "\n");
  EXPECT_EQ(r.exitCode, 0) << r.output;
  EXPECT_EQ(r.output.rfind(kBanner + "Password: \n\nConnecting to 127.0.0.1 ...\n", 0), 0u)
      << r.output;
  EXPECT_TRUE(PathExists(server->Root() + "/piped"));
  EXPECT_FALSE(Contains(r.output, server->Password()));
  EXPECT_FALSE(Contains(r.output, "*"));
}

TEST_P(TroxCliTest, PipedPasswordWithoutLineEndIsReadToTheEnd) {
  ProcessResult r =
      RunTrox(Base() + std::vector<std::string>{"-u", server->User(), "-y"}, server->Password());
  EXPECT_EQ(r.exitCode, 0) << r.output;
}

TEST_P(TroxCliTest, FailedFolderCreationEndsWithError5) {
  WriteFileBytes(server->Root() + "/no", "a file where a parent folder should be");
  server->ChownRoot();
  ProcessResult r = RunTrox(Account() + std::vector<std::string>{"-r", "/no/such/deep"});
  EXPECT_EQ(r.exitCode, 5) << r.output;
  EXPECT_TRUE(Contains(r.output, "INIT: Failed to create folder /no/such/deep\n"));
  EXPECT_TRUE(EndsWith(r.output, "Error 005 : Transfer errors occurred.\n\n"));
}

TEST_P(TroxCliTest, LogGetsTheEngineMessagesAndTheClosingMessage) {
  std::string log = MakeTempDir() + "/run.log";
  ProcessResult r = RunTrox(Account() + std::vector<std::string>{"-o", log, "-v"});
  EXPECT_EQ(r.exitCode, 0) << r.output;
  std::string text = ReadFileBytes(log);
  EXPECT_TRUE(Contains(text, ": Connecting to 127.0.0.1 ...\r\n")) << text;
  EXPECT_TRUE(Contains(text, ": 230")) << text;
  EXPECT_TRUE(EndsWith(text, ": OK\r\n")) << text;
  EXPECT_FALSE(Contains(text, server->Password()));
}

TEST_P(TroxCliTest, EncryptedPasswordIsDecrypted) {
  std::string stored = server->Password();
  ASSERT_EQ(EncryptPassword(stored), 1);
  ProcessResult r = RunTrox(Base() + std::vector<std::string>{"-u", server->User(), "-q", stored});
  EXPECT_EQ(r.exitCode, 0) << r.output;
}

TEST_P(TroxCliTest, UnlistedOptionsPassiveAndSingleAreAccepted) {
  std::string file = localDir + "/one.txt";
  WriteFileBytes(file, "one\n");
  ProcessResult r =
      RunTrox(Account() + std::vector<std::string>{"-x", "-n", "-l", file, "-r", "/one.txt"});
  EXPECT_EQ(r.exitCode, 0) << r.output;
  EXPECT_TRUE(Contains(r.output, "Connecting to 127.0.0.1 ...\n"));
}

TEST_P(TroxCliTest, TransferFileAndOptionsApplyInOrder) {
  // A file without a server: only a later -s makes the command line good.
  std::string trx = MakeTempDir() + "/job.trx";
  WriteFileBytes(trx, "[TROX]\r\nUSER=" + server->User() + "\r\nPASS=" + server->Password() +
                          "\r\nSERVERPATH=fromfile\r\n");
  ProcessResult r = RunTrox(std::vector<std::string>{"-f", trx} + Base());
  EXPECT_EQ(r.exitCode, 0) << r.output;
  EXPECT_TRUE(PathExists(server->Root() + "/fromfile"));

  SplitResult bad = RunTroxSplit(Base() + std::vector<std::string>{"-f", trx});
  EXPECT_EQ(bad.exitCode, 2) << bad.out;
  EXPECT_TRUE(EndsWith(bad.out, kUsage + kBadArguments));
}

TEST_P(TroxCliTest, ClusteredFlagsAndAttachedValuesAreRead) {
  // "-xg" once meant a passive upload, and "-t<port>" the port from atoi("").
  fs::create_directories(server->Root() + "/pub");
  WriteFileBytes(server->Root() + "/pub/a.txt", "a\n");
  server->ChownRoot();
  ProcessResult r =
      RunTrox({"-s" + server->Host(), "-t" + std::to_string(server->Port()), "-u" + server->User(),
               "-p" + server->Password(), "-xg", "-l" + localDir, "-r/pub"});
  EXPECT_EQ(r.exitCode, 0) << r.output;
  EXPECT_EQ(ReadFileBytes(localDir + "/a.txt"), "a\n");
  const std::string log = server->CommandLog();
  EXPECT_TRUE(Contains(log, "EPSV") || Contains(log, "PASV")) << log;
  EXPECT_FALSE(Contains(log, "STOR")) << log;
}

TEST_P(TroxCliTest, RefusedConnectScriptEndsWithError5) {
  std::string trx = MakeTempDir() + "/job.trx";
  WriteFileBytes(trx,
                 "[TROX]\r\nSERVER=" + server->Host() + "\r\n[SCRIPT]\r\nCONN(1)=SITE NOSUCH\r\n");
  ProcessResult r = RunTrox(std::vector<std::string>{"-f", trx} + Account());
  EXPECT_EQ(r.exitCode, 5) << r.output;
  EXPECT_TRUE(EndsWith(r.output, "Error 005 : Transfer errors occurred.\n\n"));
}

TEST(TroxCli, PasswordIsBlankedInTheProcessList) {
  std::string stored = "pw-from-q";
  ASSERT_EQ(EncryptPassword(stored), 1);
  const struct {
    std::vector<std::string> given, shown;
    std::string password;
  } cases[] = {
      {{"-p", "hunter2"}, {"-p", "*******"}, "hunter2"},
      {{"-vphunter2"}, {"-vp*******"}, "hunter2"},
      {{"-q", stored}, {"-q", std::string(stored.size(), '*')}, "pw-from-q"},
  };
  for (const auto& c : cases) {
    // The server holds trox at its PASS command: by then the command line has long been read.
    std::atomic<bool> atPass{false};
    std::mutex mutex;
    std::string passLine;
    scripted::ScriptedFtpServer server([&](scripted::Peer& p) {
      p.Reply("220 scripted");
      std::string line = p.AnswerUntil("PASS", {{"USER", "331 Password\r\n"}});
      {
        std::lock_guard<std::mutex> lock(mutex);
        passLine = line;
      }
      atPass = true;
      p.WaitForClose(20000);
    });
    const std::vector<std::string> head = {"-s", "127.0.0.1", "-t", std::to_string(server.Port()),
                                           "-u", "me",        "-l", MakeTempDir()};
    std::vector<std::string> args = std::vector<std::string>{TroxPath()} + head + c.given;
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      int null = open("/dev/null", O_WRONLY);
      dup2(null, 1);
      execv(argv[0], argv.data());
      _exit(127);
    }
    for (int waited = 0; !atPass && waited < 20000; waited += 10)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::ifstream in("/proc/" + std::to_string(pid) + "/cmdline", std::ios::binary);
    const std::string cmdline((std::istreambuf_iterator<char>(in)),
                              std::istreambuf_iterator<char>());
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);

    std::string expected = TroxPath() + '\0';
    for (const std::string& a : head + c.shown) expected += a + '\0';
    EXPECT_TRUE(atPass);
    EXPECT_EQ(cmdline, expected);
    std::lock_guard<std::mutex> lock(mutex);
    EXPECT_EQ(passLine, "PASS " + c.password);
  }
}

INSTANTIATE_TEST_SUITE_P(Servers, TroxCliTest,
                         ::testing::Values(ServerKind::Pyftpdlib, ServerKind::Vsftpd),
                         [](const auto& test) { return std::string(ServerKindName(test.param)); });

namespace {

// trox on a pseudo-terminal: everything it writes is collected, and keystrokes are typed once
// the prompt shows.
struct TerminalRun {
  int exitCode = -1;
  int signal = 0;             // the signal that ended the program, if one did
  bool echoRestored = false;  // the terminal echoes again after the program ended
  std::string output;
};

bool ReadUntil(int fd, std::string& output, const std::string& wanted, int timeoutMs) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  char buffer[1024];
  while (!Contains(output, wanted)) {
    int left = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                    deadline - std::chrono::steady_clock::now())
                                    .count());
    if (left <= 0) return false;
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, left) <= 0) continue;
    ssize_t n = read(fd, buffer, sizeof buffer);
    if (n <= 0) return false;  // the terminal closed: the program has ended
    output.append(buffer, static_cast<size_t>(n));
  }
  return true;
}

TerminalRun RunTroxOnTerminal(const std::vector<std::string>& args,
                              const std::vector<std::string>& keystrokes) {
  TerminalRun run;
  int master = -1;
  pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
  if (pid < 0) return run;
  if (pid == 0) {
    std::vector<char*> argv;
    std::string program = TroxPath();
    argv.push_back(program.data());
    std::vector<std::string> copy = args;
    for (std::string& a : copy) argv.push_back(a.data());
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  if (ReadUntil(master, run.output, "Password: ", 20000)) {
    for (const std::string& key : keystrokes) {
      ssize_t ignored = write(master, key.data(), key.size());
      (void)ignored;
      // Each keystroke arrives on its own, as from a person typing; "*" answers each character.
      usleep(20000);
    }
  }
  ReadUntil(master, run.output, "\x01never\x01", 60000);
  int status = 0;
  if (waitpid(pid, &status, WNOHANG) == 0) {
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
  }
  termios settings{};
  run.echoRestored = tcgetattr(master, &settings) == 0 && (settings.c_lflag & ECHO) != 0;
  close(master);
  run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
  return run;
}

}  // namespace

TEST(TroxCliTerminal, KeystrokesAreMaskedAndEditable) {
  FtpTestServer& server = SharedFtpServer(ServerKind::Pyftpdlib);
  std::string password = server.Password();
  ASSERT_GE(password.size(), 2u);
  // The password with a typo rubbed out, a DEL rub-out on an empty field first, an arrow key
  // and a function key in between.
  std::vector<std::string> keys = {"\x7f"};
  for (size_t i = 0; i < password.size(); ++i) {
    if (i == 1) {
      keys.push_back("Q");
      keys.push_back("\b");
      keys.push_back("\x1b[D");
      keys.push_back("\x1b[15~");
      keys.push_back("\x1bOP");
    }
    keys.push_back(std::string(1, password[i]));
  }
  keys.push_back("\r");

  TerminalRun run = RunTroxOnTerminal({"-s", server.Host(), "-t", std::to_string(server.Port()),
                                       "-u", server.User(), "-y", "-l", MakeTempDir()},
                                      keys);
  EXPECT_EQ(run.exitCode, 0) << run.output;
  // The terminal turns each "\n" into "\r\n".
  std::string stars = "*" + std::string("*") + "\b \b" + std::string(password.size() - 1, '*');
  EXPECT_TRUE(Contains(run.output, "Password: " + stars + "\r\n\r\nConnecting to 127.0.0.1"))
      << run.output;
  EXPECT_FALSE(Contains(run.output, password));
  EXPECT_TRUE(Contains(run.output, "OK\r\n"));
  EXPECT_TRUE(run.echoRestored);
}

TEST(TroxCliTerminal, InterruptAtThePromptGivesTheTerminalBack) {
  TerminalRun run =
      RunTroxOnTerminal({"-s", "127.0.0.1", "-t", "1", "-y", "-l", MakeTempDir()}, {"ab", "\x03"});
  EXPECT_EQ(run.signal, SIGINT) << run.output;
  EXPECT_TRUE(run.echoRestored);
  EXPECT_FALSE(Contains(run.output, "Connecting"));
}

TEST(TroxCliTerminal, EnterAloneGivesAnEmptyPassword) {
  FtpTestServer& server = SharedFtpServer(ServerKind::Pyftpdlib);
  TerminalRun run = RunTroxOnTerminal({"-s", server.Host(), "-t", std::to_string(server.Port()),
                                       "-u", server.User(), "-y", "-l", MakeTempDir()},
                                      {"\r"});
  EXPECT_EQ(run.exitCode, 4) << run.output;
  EXPECT_TRUE(Contains(run.output, "Password: \r\n\r\n")) << run.output;
  EXPECT_TRUE(Contains(run.output, "12014 - Incorrect password."));
}
