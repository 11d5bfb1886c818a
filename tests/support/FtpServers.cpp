#include "FtpServers.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

#include "Processes.h"
#include "TempDir.h"

namespace fs = std::filesystem;

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

// True once something accepts connections on the port and greets with a 220 line (or, for a
// port that speaks TLS from the first byte, accepts them at all).
bool WaitForGreeting(uint16_t port, int timeoutMs, bool tlsFirst = false) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (std::chrono::steady_clock::now() < deadline) {
    int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) {
      if (tlsFirst) {
        close(s);
        return true;
      }
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

std::string TestCertificateDir() {
  static const std::string dir = [] {
    std::string d = MakeTempDir();
    RunShell("/usr/bin/python3 '" + std::string(TROX_TEST_SUPPORT_DIR) + "/make_certs.py' --dir '" +
             d + "'");
    // vsftpd reads its certificate after giving up root.
    fs::permissions(d, fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
    for (const auto& e : fs::directory_iterator(d))
      fs::permissions(e.path(),
                      fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    return d;
  }();
  return dir;
}

std::string TestCertificatePin(const std::string& name) {
  return ReadFileBytes(TestCertificateDir() + "/" + name + ".sha256");
}

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
  std::vector<std::string> argv{"/usr/bin/python3", script,     "--root", m_root, "--user", m_user,
                                "--password",       m_password, "--log",  m_log};
  if (m_options.tls != ServerTls::None) {
    const std::string certificate = TestCertificateDir() + "/" + m_options.certificate;
    argv.insert(argv.end(),
                {"--certfile", certificate + ".pem", "--keyfile", certificate + ".key"});
  }
  m_pid = SpawnChild(argv, out[1], -1, -1);
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
    if (m_options.tls != ServerTls::None) {
      const std::string certificate = TestCertificateDir() + "/" + m_options.certificate;
      c << "ssl_enable=YES\nrsa_cert_file=" << certificate << ".pem\n"
        << "rsa_private_key_file=" << certificate << ".key\n"
        << "force_local_logins_ssl=YES\nforce_local_data_ssl=YES\nrequire_ssl_reuse=YES\n"
        << "ssl_ciphers=HIGH\n"
        << "implicit_ssl=" << (m_options.tls == ServerTls::Implicit ? "YES" : "NO") << "\n";
    }
    c.close();
    int devnull = open("/dev/null", O_RDWR);
    m_pid = SpawnChild({"/usr/sbin/vsftpd", conf}, devnull, devnull, devnull);
    close(devnull);
    if (WaitForGreeting(m_port, 10000, m_options.tls == ServerTls::Implicit)) return;
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
