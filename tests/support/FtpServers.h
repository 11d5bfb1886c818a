// Real FTP servers on loopback for the tests: pyftpdlib and vsftpd, each a child process with one
// account whose root is a temporary folder.
//
// A test process starts a server of a kind on first use and keeps it for its other tests
// (SharedFtpServer). CTest runs every test case as a process of its own, so in practice each case
// that needs a real server starts one: about half a second for pyftpdlib, less for vsftpd. One
// server per test group, started by a CTest fixture and found through a port file, was weighed
// and not taken: the tests empty the root and read the command log as their own, so cases that
// CTest runs side by side would see each other's files and commands, and keeping them apart
// (a root and a log filter per case) costs more code than the start-ups cost time, and a failure
// then shows some other case's traffic.
#pragma once

#include <cstdint>
#include <string>

enum class ServerKind { Pyftpdlib, Vsftpd };

const char* ServerKindName(ServerKind kind);

enum class ServerTls { None, Explicit, Implicit };  // Implicit: vsftpd only

// What a test server may do differently from the default one.
struct FtpTestServerOptions {
  int maxPerIp = 0;  // vsftpd: sessions it allows from one address at once (0: any number)
  // TLS required for log-in and data. certificate: one of TestCertificateDir's ("good",
  // "otherhost", "expired").
  ServerTls tls = ServerTls::None;
  std::string certificate = "good";
};

// A folder with a test authority (ca.pem) and certificates it signed, made once per process:
// NAME.pem, NAME.key and NAME.sha256 (the fingerprint as hex).
std::string TestCertificateDir();
std::string TestCertificatePin(const std::string& name);

// One server process with one account whose root is a fresh temporary folder. The process is a
// child of the test and dies with it.
class FtpTestServer {
 public:
  explicit FtpTestServer(ServerKind kind);
  FtpTestServer(ServerKind kind, const FtpTestServerOptions& options);
  ~FtpTestServer();
  FtpTestServer(const FtpTestServer&) = delete;
  FtpTestServer& operator=(const FtpTestServer&) = delete;

  ServerKind Kind() const { return m_kind; }
  std::string Host() const { return "127.0.0.1"; }
  uint16_t Port() const { return m_port; }
  std::string User() const { return m_user; }
  std::string Password() const { return m_password; }
  // Local path of the folder that the account sees as "/".
  std::string Root() const { return m_root; }
  // Every command the server received so far, one per line as the server logs it.
  std::string CommandLog() const;
  // Forget the commands logged so far (CommandLog then shows only later ones).
  void MarkLog();
  // Empty the root folder.
  void ClearRoot();
  // Give files that the test wrote into the root to the account, so the server may change them.
  void ChownRoot();

 private:
  void StartPyftpdlib();
  void StartVsftpd();

  ServerKind m_kind;
  FtpTestServerOptions m_options;
  int m_pid = -1;
  uint16_t m_port = 0;
  std::string m_user;
  std::string m_password;
  std::string m_base;  // temporary folder holding root, log and configuration
  std::string m_root;
  std::string m_log;
  size_t m_logMark = 0;
};

// A server of the given kind shared by all tests of this process, started on first use.
FtpTestServer& SharedFtpServer(ServerKind kind);

// A loopback port where nothing listens (bound once, then closed again).
uint16_t UnusedLoopbackPort();
