// Logged-in control connections that the engine closed, kept for the next connection to the
// same account.
//
// The download walk opens a connection for every folder it lists, and a log-in costs far more
// than the listing (tens of milliseconds against a few round trips). A closed connection whose
// state is known (no transfer open, its log-in folder known, no error) waits here; a later
// GetFtpConnection with the same account, proxy, mode and time-outs takes it back, with the
// log-in reply made the last response again and set back to its log-in folder before anything
// depends on it (a CWD to a full path does not), so that the caller cannot tell it from a fresh
// log-in. One that the server dropped meanwhile is replaced by a fresh log-in.
//
// Pooling happens only while a CFtpConnectionPoolScope exists (a transfer run); when the last
// scope ends, every idle connection is closed. Few connections are kept, and none for long, so
// that the pool never holds more than the run had open at once or keeps a server's slot busy.
#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <mutex>
#include <vector>

#include "ftp/FtpConnectionImpl.h"

namespace trox::ftp {

class FtpConnectionPool {
 public:
  static constexpr size_t kMaxIdle = 4;
  static constexpr std::chrono::seconds kMaxIdleAge{30};

  static FtpConnectionPool& Instance();

  void EnterScope();
  // The last scope to leave closes every idle connection.
  void LeaveScope();
  bool Active() const;

  // Keeps the connection when a scope is active and it can be reused; closes it otherwise.
  void Put(std::unique_ptr<CFtpConnectionImpl> connection);
  // A pooled connection for this account, ready as after a fresh log-in; null when none.
  std::unique_ptr<CFtpConnectionImpl> Take(const FtpLoginSettings& settings,
                                           const InternetTimeouts& timeouts);
  size_t IdleCount() const;

 private:
  struct Idle {
    std::unique_ptr<CFtpConnectionImpl> connection;
    std::chrono::steady_clock::time_point since;
  };

  mutable std::mutex m_mutex;
  int m_scopes = 0;
  std::vector<Idle> m_idle;  // oldest first
};

}  // namespace trox::ftp
