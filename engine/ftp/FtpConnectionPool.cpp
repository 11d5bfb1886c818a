#include "ftp/FtpConnectionPool.h"

#include <algorithm>

namespace trox::ftp {

namespace {

bool SameAccount(const CFtpConnectionImpl& c, const FtpLoginSettings& s,
                 const InternetTimeouts& t) {
  const FtpLoginSettings& o = c.Settings();
  const InternetTimeouts& ot = c.Timeouts();
  return o.server == s.server && o.port == s.port && o.user == s.user && o.password == s.password &&
         o.passive == s.passive && o.proxyHost == s.proxyHost && o.proxyPort == s.proxyPort &&
         o.security == s.security && o.pin == s.pin && ot.connectMs == t.connectMs &&
         ot.idleMs == t.idleMs && ot.replyTotalMs == t.replyTotalMs;
}

}  // namespace

FtpConnectionPool& FtpConnectionPool::Instance() {
  // Never destroyed: connections are closed by the last scope, not at exit, when a socket
  // could already be gone from under a static destructor's feet.
  static FtpConnectionPool* pool = new FtpConnectionPool;
  return *pool;
}

void FtpConnectionPool::EnterScope() {
  std::lock_guard<std::mutex> lock(m_mutex);
  ++m_scopes;
}

void FtpConnectionPool::LeaveScope() {
  std::vector<Idle> closing;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_scopes > 0) --m_scopes;
    if (m_scopes == 0) closing.swap(m_idle);
  }
  // Closing sends QUIT; done outside the lock.
  closing.clear();
}

bool FtpConnectionPool::Active() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_scopes > 0;
}

size_t FtpConnectionPool::IdleCount() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_idle.size();
}

void FtpConnectionPool::Put(std::unique_ptr<CFtpConnectionImpl> connection) {
  std::unique_ptr<CFtpConnectionImpl> evicted;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_scopes > 0 && connection->ReadyForPool()) {
      m_idle.push_back({std::move(connection), std::chrono::steady_clock::now()});
      if (m_idle.size() > kMaxIdle) {
        evicted = std::move(m_idle.front().connection);
        m_idle.erase(m_idle.begin());
      }
    }
  }
  // Whatever is not kept is closed here (QUIT), outside the lock.
}

std::unique_ptr<CFtpConnectionImpl> FtpConnectionPool::Take(const FtpLoginSettings& settings,
                                                            const InternetTimeouts& timeouts) {
  for (;;) {
    std::unique_ptr<CFtpConnectionImpl> candidate;
    std::vector<Idle> expired;
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      if (m_scopes == 0) return nullptr;
      const auto now = std::chrono::steady_clock::now();
      auto old = std::stable_partition(m_idle.begin(), m_idle.end(),
                                       [&](const Idle& i) { return now - i.since <= kMaxIdleAge; });
      for (auto it = old; it != m_idle.end(); ++it) expired.push_back(std::move(*it));
      m_idle.erase(old, m_idle.end());
      // The newest first: the one least likely to have been dropped by the server.
      for (auto it = m_idle.rbegin(); it != m_idle.rend(); ++it) {
        if (SameAccount(*it->connection, settings, timeouts)) {
          candidate = std::move(it->connection);
          m_idle.erase(std::next(it).base());
          break;
        }
      }
    }
    expired.clear();
    if (!candidate) return nullptr;
    if (candidate->Revive()) return candidate;
    // Dropped or unusable: closed as it goes; try the next one.
  }
}

}  // namespace trox::ftp
