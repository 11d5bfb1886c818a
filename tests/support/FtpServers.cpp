#include "FtpServers.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <random>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace fs = std::filesystem;

namespace {

// Never destroyed: the exit handler that removes the folders runs after static destructors.
std::vector<std::string>& TempDirs() {
  static auto* dirs = new std::vector<std::string>;
  return *dirs;
}

void RemoveTempDirs() {
  std::error_code ec;
  for (const auto& d : TempDirs()) fs::remove_all(d, ec);
}

// Starts a child with PR_SET_PDEATHSIG so that a crashed test leaves no server behind.
int Spawn(const std::vector<std::string>& argv, int stdoutFd, int stdinFd, int stderrFd,
          const std::map<std::string, std::string>& extraEnv = {}) {
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

}  // namespace

uint16_t UnusedLoopbackPort() {
  int s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
  socklen_t len = sizeof a;
  getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
  close(s);
  return ntohs(a.sin_port);
}

namespace {

// True once something accepts connections on the port and greets with a 220 line.
bool WaitForGreeting(uint16_t port, int timeoutMs) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (std::chrono::steady_clock::now() < deadline) {
    int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) {
      pollfd p{s, POLLIN, 0};
      char buf[64] = {};
      bool ok = poll(&p, 1, 2000) == 1 && read(s, buf, sizeof buf - 1) > 0 &&
                std::strncmp(buf, "220", 3) == 0;
      if (ok) write(s, "QUIT\r\n", 6);
      close(s);
      if (ok) return true;
    } else {
      close(s);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
  }
  return false;
}

void RunShell(const std::string& command) {
  if (std::system(command.c_str()) != 0) throw std::runtime_error("failed: " + command);
}

const char* kVsftpdUser = "troxftp";
const char* kVsftpdPassword = "trox-Test-pw1";

// Creates the system account that vsftpd logs in through PAM (once per machine; test processes
// may run in parallel, hence the lock).
void EnsureVsftpdUser() {
  int lock = open("/tmp/trox-test-useradd.lock", O_CREAT | O_RDWR, 0666);
  flock(lock, LOCK_EX);
  std::string user = kVsftpdUser;
  if (std::system(("id -u " + user + " >/dev/null 2>&1").c_str()) != 0) {
    RunShell("useradd -M -d / -s /bin/bash " + user);
  }
  // vsftpd enters the home folder before local_root, so it must exist.
  RunShell("usermod -d / " + user);
  RunShell("echo '" + user + ":" + kVsftpdPassword + "' | chpasswd");
  flock(lock, LOCK_UN);
  close(lock);
}

}  // namespace

const char* ServerKindName(ServerKind kind) {
  return kind == ServerKind::Pyftpdlib ? "pyftpdlib" : "vsftpd";
}

FtpTestServer::FtpTestServer(ServerKind kind) : FtpTestServer(kind, FtpTestServerOptions()) {}

FtpTestServer::FtpTestServer(ServerKind kind, const FtpTestServerOptions& options)
    : m_kind(kind), m_options(options) {
  signal(SIGPIPE, SIG_IGN);  // a server that hangs up must fail a test, not kill it
  m_base = MakeTempDir();
  m_root = m_base + "/root";
  m_log = m_base + "/commands.log";
  fs::create_directories(m_root);
  if (kind == ServerKind::Pyftpdlib)
    StartPyftpdlib();
  else
    StartVsftpd();
}

FtpTestServer::~FtpTestServer() {
  StopChild(m_pid);
}

void FtpTestServer::StartPyftpdlib() {
  m_user = "trox";
  m_password = "trox-secret";
  int out[2];
  if (pipe(out) != 0) throw std::runtime_error("pipe failed");
  std::string script = std::string(TROX_TEST_SUPPORT_DIR) + "/pyftpd_server.py";
  m_pid = Spawn({"/usr/bin/python3", script, "--root", m_root, "--user", m_user, "--password",
                 m_password, "--log", m_log},
                out[1], -1, -1);
  close(out[1]);
  std::string line;
  pollfd p{out[0], POLLIN, 0};
  char c;
  while (poll(&p, 1, 20000) == 1 && read(out[0], &c, 1) == 1 && c != '\n') line += c;
  close(out[0]);
  m_port = static_cast<uint16_t>(std::atoi(line.c_str()));
  if (m_port == 0 || !WaitForGreeting(m_port, 20000))
    throw std::runtime_error("pyftpdlib did not start (is python3-pyftpdlib installed?)");
}

void FtpTestServer::StartVsftpd() {
  EnsureVsftpdUser();
  m_user = kVsftpdUser;
  m_password = kVsftpdPassword;
  fs::permissions(m_base, fs::perms::all);
  std::string empty = m_base + "/empty";
  fs::create_directories(empty);
  fs::permissions(empty, fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
  ChownRoot();
  for (int attempt = 0; attempt < 5; ++attempt) {
    m_port = UnusedLoopbackPort();
    std::string conf = m_base + "/vsftpd.conf";
    std::ofstream c(conf);
    c << "listen=YES\nlisten_ipv6=NO\nbackground=NO\nlisten_address=127.0.0.1\n"
      << "listen_port=" << m_port << "\n"
      << "anonymous_enable=NO\nlocal_enable=YES\nwrite_enable=YES\nlocal_umask=022\n"
      << "local_root=" << m_root << "\n"
      << "chroot_local_user=YES\nallow_writeable_chroot=YES\n"
      << "secure_chroot_dir=" << empty << "\n"
      << "seccomp_sandbox=NO\nisolate=NO\nisolate_network=NO\n"
      << "pam_service_name=vsftpd\nuserlist_enable=NO\n"
      << "pasv_enable=YES\npasv_address=127.0.0.1\nport_enable=YES\n"
      << "connect_from_port_20=NO\n"
      << "ascii_upload_enable=YES\nascii_download_enable=YES\n"
      << "utf8_filesystem=YES\n"
      << "log_ftp_protocol=YES\nxferlog_enable=YES\nxferlog_std_format=NO\n"
      << "dual_log_enable=NO\nsyslog_enable=NO\n"
      << "vsftpd_log_file=" << m_log << "\n"
      << "max_clients=0\nmax_per_ip=" << m_options.maxPerIp << "\ndelay_failed_login=0\n"
      << "ftpd_banner=vsftpd ready.\n";
    c.close();
    int devnull = open("/dev/null", O_RDWR);
    m_pid = Spawn({"/usr/sbin/vsftpd", conf}, devnull, devnull, devnull);
    close(devnull);
    if (WaitForGreeting(m_port, 10000)) return;
    StopChild(m_pid);
    m_pid = -1;
  }
  throw std::runtime_error("vsftpd did not start (is vsftpd installed, and are we root?)");
}

std::string FtpTestServer::CommandLog() const {
  std::string all = PathExists(m_log) ? ReadFileBytes(m_log) : "";
  return m_logMark <= all.size() ? all.substr(m_logMark) : all;
}

void FtpTestServer::MarkLog() {
  m_logMark = PathExists(m_log) ? fs::file_size(m_log) : 0;
}

void FtpTestServer::ClearRoot() {
  for (const auto& e : fs::directory_iterator(m_root)) fs::remove_all(e.path());
}

void FtpTestServer::ChownRoot() {
  if (m_kind != ServerKind::Vsftpd) return;
  RunShell("chown -R " + std::string(kVsftpdUser) + " '" + m_root + "'");
}

FtpTestServer& SharedFtpServer(ServerKind kind) {
  static std::mutex mutex;
  static std::unique_ptr<FtpTestServer> servers[2];
  std::lock_guard<std::mutex> lock(mutex);
  auto& slot = servers[kind == ServerKind::Pyftpdlib ? 0 : 1];
  if (!slot) slot = std::make_unique<FtpTestServer>(kind);
  return *slot;
}

std::string MakeTempDir() {
  static std::once_flag once;
  std::call_once(once, [] { std::atexit(RemoveTempDirs); });
  std::string pattern = (fs::temp_directory_path() / "trox-test-XXXXXX").string();
  std::vector<char> buf(pattern.begin(), pattern.end());
  buf.push_back('\0');
  if (!mkdtemp(buf.data())) throw std::runtime_error("mkdtemp failed");
  TempDirs().push_back(buf.data());
  return buf.data();
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
  fs::path p(path);
  if (p.has_parent_path()) fs::create_directories(p.parent_path());
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!f) throw std::runtime_error("cannot write " + path);
}

std::string ReadFileBytes(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  if (!f) throw std::runtime_error("cannot read " + path);
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

bool PathExists(const std::string& path) {
  std::error_code ec;
  return fs::exists(fs::symlink_status(path, ec));
}

std::string PatternBytes(size_t size, unsigned seed) {
  std::mt19937 gen(seed);
  std::string s(size, '\0');
  for (size_t i = 0; i < size; ++i) s[i] = static_cast<char>(gen() & 0xff);
  return s;
}

ProcessResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                         const std::string& stdinText,
                         const std::map<std::string, std::string>& extraEnv, int timeoutSeconds) {
  int in[2], out[2];
  if (pipe(in) != 0 || pipe(out) != 0) throw std::runtime_error("pipe failed");
  std::vector<std::string> argv{program};
  argv.insert(argv.end(), args.begin(), args.end());
  int pid = Spawn(argv, out[1], in[0], out[1], extraEnv);
  close(in[0]);
  close(out[1]);
  signal(SIGPIPE, SIG_IGN);
  if (!stdinText.empty()) {
    ssize_t ignored = write(in[1], stdinText.data(), stdinText.size());
    (void)ignored;
  }
  close(in[1]);
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
    pollfd p{out[0], POLLIN, 0};
    if (poll(&p, 1, left) <= 0) continue;
    ssize_t n = read(out[0], buf, sizeof buf);
    if (n <= 0) break;
    r.output.append(buf, static_cast<size_t>(n));
  }
  close(out[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

std::string TroxPath() {
  return std::string(TROX_BIN_DIR) + "/trox";
}

ProcessResult RunTrox(const std::vector<std::string>& args, const std::string& stdinText,
                      const std::map<std::string, std::string>& extraEnv) {
  return RunProgram(TroxPath(), args, stdinText, extraEnv);
}
