// Real FTP servers on loopback for the integration tests, and small helpers for files and for
// running the built programs.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "trox/Internet.h"

enum class ServerKind { Pyftpdlib, Vsftpd };

// Short client time-outs for one test (so a silent server fails fast), put back afterwards.
class ScopedInternetTimeouts {
 public:
  ScopedInternetTimeouts(int connectMs, int idleMs, int replyTotalMs)
      : m_saved(GetInternetTimeouts()) {
    InternetTimeouts t;
    t.connectMs = connectMs;
    t.idleMs = idleMs;
    t.replyTotalMs = replyTotalMs;
    SetInternetTimeouts(t);
  }
  ~ScopedInternetTimeouts() { SetInternetTimeouts(m_saved); }
  ScopedInternetTimeouts(const ScopedInternetTimeouts&) = delete;
  ScopedInternetTimeouts& operator=(const ScopedInternetTimeouts&) = delete;

 private:
  InternetTimeouts m_saved;
};

const char* ServerKindName(ServerKind kind);

// What a test server may do differently from the default one.
struct FtpTestServerOptions {
  int maxPerIp = 0;  // vsftpd: sessions it allows from one address at once (0: any number)
};

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

// A fresh folder under the system's temporary folder, removed at process exit.
std::string MakeTempDir();
void WriteFileBytes(const std::string& path, const std::string& bytes);
std::string ReadFileBytes(const std::string& path);
bool PathExists(const std::string& path);
// Deterministic bytes of every value.
std::string PatternBytes(size_t size, unsigned seed = 1);

struct ProcessResult {
  int exitCode = -1;   // -1 when the program did not end by itself (killed after the limit)
  std::string output;  // standard output and standard error, interleaved as written
};

// Runs a program with arguments, feeding stdinText on standard input (then closing it), with
// extra environment variables. Killed after timeoutSeconds.
ProcessResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                         const std::string& stdinText = "",
                         const std::map<std::string, std::string>& extraEnv = {},
                         int timeoutSeconds = 120);

// The built trox.
ProcessResult RunTrox(const std::vector<std::string>& args, const std::string& stdinText = "",
                      const std::map<std::string, std::string>& extraEnv = {});
std::string TroxPath();
