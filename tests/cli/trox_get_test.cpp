// trox getting files: a deep tree from a server that allows two sessions per address, and a
// download cut short by a signal.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "FtpServers.h"
#include "Processes.h"
#include "ScriptedFtpServer.h"
#include "TempDir.h"

namespace fs = std::filesystem;

namespace {

size_t Occurrences(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

}  // namespace

TEST(TroxGet, DeepTreeFromAServerThatAllowsTwoSessionsPerAddress) {
  FtpTestServer server(ServerKind::Vsftpd, FtpTestServerOptions{2});
  // A file in /t and in each of five levels of folders below it.
  std::vector<std::string> files;
  std::string folder;
  for (unsigned level = 0; level <= 5; ++level) {
    files.push_back(folder + "f" + std::to_string(level) + ".bin");
    WriteFileBytes(server.Root() + "/t/" + files.back(), PatternBytes(1000 + level, level));
    folder += "d" + std::to_string(level) + "/";
  }
  server.ChownRoot();
  const std::string local = MakeTempDir() + "/in";

  ProcessResult r =
      RunTrox({"-s", server.Host(), "-t", std::to_string(server.Port()), "-u", server.User(), "-p",
               server.Password(), "-x", "-g", "-l", local, "-r", "/t"});
  EXPECT_EQ(r.exitCode, 0) << r.output;
  for (unsigned level = 0; level <= 5; ++level) {
    EXPECT_EQ(ReadFileBytes(local + "/" + files[level]), PatternBytes(1000 + level, level));
  }
  // Each folder is listed once for counting and receiving together.
  EXPECT_EQ(Occurrences(server.CommandLog(), "\"LIST"), 6u);
}

namespace {

constexpr size_t kBigSize = 4 << 20;

// Starts trox with the signals at their defaults (the test may run where they are ignored).
pid_t StartTrox(const std::vector<std::string>& args) {
  std::vector<std::string> argv{TroxPath()};
  argv.insert(argv.end(), args.begin(), args.end());
  std::vector<char*> pointers;
  for (std::string& a : argv) pointers.push_back(a.data());
  pointers.push_back(nullptr);
  const pid_t parent = getpid();
  const pid_t pid = fork();
  if (pid == 0) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(127);
    for (int s : {SIGINT, SIGTERM, SIGHUP}) signal(s, SIG_DFL);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    const int devnull = open("/dev/null", O_RDWR);
    for (int fd : {0, 1, 2}) dup2(devnull, fd);
    execv(pointers[0], pointers.data());
    _exit(127);
  }
  return pid;
}

// Waits (bounded) until a partial file with data shows in folder.
bool PartialFileArrives(const std::string& folder) {
  for (int waited = 0; waited < 20000; waited += 20) {
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(folder, ec)) {
      if (e.path().filename().string().rfind(".big.bin.trox-", 0) == 0 && e.file_size(ec) > 0)
        return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

// The way the process ended: its status, or -1 when it did not end within the bound.
int WaitForEnd(pid_t pid) {
  int status = 0;
  for (int waited = 0; waited < 10000; waited += 20) {
    if (waitpid(pid, &status, WNOHANG) == pid) return status;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  kill(pid, SIGKILL);
  waitpid(pid, &status, 0);
  return -1;
}

}  // namespace

TEST(TroxGet, SignalDuringADownloadLeavesNoFileBehind) {
  for (int signalNumber : {SIGTERM, SIGINT, SIGHUP}) {
    SCOPED_TRACE(signalNumber);
    // It lists /pub/big.bin and, asked for it, sends a part and then nothing more until the
    // client goes.
    scripted::ScriptedFtpServer server;
    server.AddFolder("/pub", scripted::ListLine('-', kBigSize, "big.bin"));
    server.AddFile("/pub/big.bin", {PatternBytes(kBigSize, 3), scripted::Ending::Stall});
    const std::string local = MakeTempDir();
    const pid_t pid = StartTrox({"-s", "127.0.0.1", "-t", std::to_string(server.Port()), "-u", "u",
                                 "-p", "pw", "-x", "-g", "-l", local, "-r", "/pub"});
    ASSERT_GT(pid, 0);
    const bool arrived = PartialFileArrives(local);
    kill(pid, signalNumber);
    const int status = WaitForEnd(pid);
    EXPECT_TRUE(arrived);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signalNumber) << status;
    EXPECT_TRUE(fs::is_empty(local));
  }
}
