#include "Processes.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <stdexcept>
#include <thread>

namespace {
// Reads the child's output until it ends (or the limit passes: then the child is killed), then
// reaps it.
ProcessResult CollectOutput(int pid, int outFd, int timeoutSeconds);
}  // namespace

int SpawnChild(const std::vector<std::string>& argv, int stdoutFd, int stdinFd, int stderrFd,
               const std::map<std::string, std::string>& extraEnv) {
  pid_t parent = getpid();
  pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(127);
    setpgid(0, 0);
    if (stdinFd >= 0) dup2(stdinFd, 0);
    if (stdoutFd >= 0) dup2(stdoutFd, 1);
    if (stderrFd >= 0) dup2(stderrFd, 2);
    for (int fd = 3; fd < 1024; ++fd) close(fd);
    for (const auto& [k, v] : extraEnv) setenv(k.c_str(), v.c_str(), 1);
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
  }
  return pid;
}

void StopChild(int pid) {
  if (pid <= 0) return;
  kill(pid, SIGTERM);
  for (int i = 0; i < 50; ++i) {
    if (waitpid(pid, nullptr, WNOHANG) == pid) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
}

ProcessResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                         const std::string& stdinText,
                         const std::map<std::string, std::string>& extraEnv, int timeoutSeconds) {
  int in[2], out[2];
  if (pipe(in) != 0 || pipe(out) != 0) throw std::runtime_error("pipe failed");
  std::vector<std::string> argv{program};
  argv.insert(argv.end(), args.begin(), args.end());
  int pid = SpawnChild(argv, out[1], in[0], out[1], extraEnv);
  close(in[0]);
  close(out[1]);
  signal(SIGPIPE, SIG_IGN);
  if (!stdinText.empty()) {
    ssize_t ignored = write(in[1], stdinText.data(), stdinText.size());
    (void)ignored;
  }
  close(in[1]);
  return CollectOutput(pid, out[0], timeoutSeconds);
}

ProcessResult RunProgramOnTerminal(const std::string& program, const std::vector<std::string>& args,
                                   int columns, int timeoutSeconds) {
  const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0)
    throw std::runtime_error("no pseudo-terminal");
  const int terminal = open(ptsname(master), O_RDWR | O_NOCTTY | O_CLOEXEC);
  const int nothing = open("/dev/null", O_RDONLY | O_CLOEXEC);
  if (terminal < 0 || nothing < 0) throw std::runtime_error("cannot open the pseudo-terminal");
  termios mode{};
  tcgetattr(terminal, &mode);
  cfmakeraw(&mode);
  tcsetattr(terminal, TCSANOW, &mode);
  winsize size{};
  size.ws_row = 24;
  size.ws_col = static_cast<unsigned short>(columns);
  ioctl(master, TIOCSWINSZ, &size);
  std::vector<std::string> argv{program};
  argv.insert(argv.end(), args.begin(), args.end());
  const int pid = SpawnChild(argv, terminal, nothing, terminal);
  close(terminal);
  close(nothing);
  // Once the program has ended, reading the master fails (EIO) instead of reporting an end.
  return CollectOutput(pid, master, timeoutSeconds);
}

namespace {

ProcessResult CollectOutput(int pid, int outFd, int timeoutSeconds) {
  ProcessResult r;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
  char buf[4096];
  for (;;) {
    int left = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                    deadline - std::chrono::steady_clock::now())
                                    .count());
    if (left <= 0) {
      kill(pid, SIGKILL);
      break;
    }
    pollfd p{outFd, POLLIN, 0};
    if (poll(&p, 1, left) <= 0) continue;
    ssize_t n = read(outFd, buf, sizeof buf);
    if (n <= 0) break;
    r.output.append(buf, static_cast<size_t>(n));
  }
  close(outFd);
  int status = 0;
  waitpid(pid, &status, 0);
  r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

}  // namespace

std::string TroxPath() {
  return std::string(TROX_BIN_DIR) + "/trox";
}

ProcessResult RunTrox(const std::vector<std::string>& args, const std::string& stdinText,
                      const std::map<std::string, std::string>& extraEnv) {
  return RunProgram(TroxPath(), args, stdinText, extraEnv);
}
