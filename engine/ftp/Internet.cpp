// The public face of the FTP and HTTP layer: sessions, connections, listings, the thread's last
// error and last response, and the time-out settings. The work is done below (FtpConnectionImpl,
// FtpDataStream, net/); this file turns exceptions into success flags where callers expect them.
#include "trox/Internet.h"

#include <errno.h>
#include <signal.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <utility>

#include "ftp/FtpConnectionImpl.h"
#include "ftp/FtpConnectionPool.h"
#include "ftp/FtpControl.h"
#include "ftp/FtpList.h"
#include "net/HttpGet.h"
#include "net/Tls.h"

namespace {

thread_local uint32_t t_lastError = 0;
thread_local std::string t_lastErrorDetail;

std::mutex g_timeoutsMutex;
InternetTimeouts g_timeouts;
bool g_timeoutsSetByCaller = false;

// Once, at the first session: the environment's bound (for tests of the programs and for users
// who would rather fail fast), and SIGPIPE ignored: a write to a connection or pipe whose other
// end went away must fail with EPIPE and be reported, never end the process (send() refuses the
// signal per call; splice() and write() cannot).
void FirstSessionSetUp() {
  static std::once_flag once;
  std::call_once(once, [] {
    struct sigaction current {};
    if (::sigaction(SIGPIPE, nullptr, &current) == 0 && current.sa_handler == SIG_DFL)
      ::signal(SIGPIPE, SIG_IGN);
    const char* env = std::getenv("TROX_NET_TIMEOUT_MS");
    if (!env || !*env) return;
    char* end = nullptr;
    long ms = std::strtol(env, &end, 10);
    if (*end != '\0' || ms <= 0 || ms > 3600 * 1000) return;
    std::lock_guard<std::mutex> lock(g_timeoutsMutex);
    if (g_timeoutsSetByCaller) return;
    // Every bound shrinks with it: silence is the bound itself; connecting never takes longer;
    // a whole reply gets twice the bound, so that one whose first byte came late can still end.
    const int bound = static_cast<int>(ms);
    g_timeouts.idleMs = bound;
    g_timeouts.connectMs = std::min(g_timeouts.connectMs, bound);
    g_timeouts.replyTotalMs = static_cast<int>(std::min<long>(g_timeouts.replyTotalMs, 2 * ms));
  });
}

// Runs an operation that reports failure by exception; returns the success flag and sets the
// thread's last error on failure.
template <typename Fn>
bool Guarded(Fn&& fn) {
  try {
    fn();
    return true;
  } catch (const CInternetException& e) {
    SetLastErrorFrom(e);
  } catch (const std::bad_alloc&) {
    SetLastError(ENOMEM);
  }
  return false;
}

// Splits "host[:port]" (or "[v6]:port", and WinINet's "ftp=host:port" form) into its parts.
void SplitHostPort(std::string text, std::string& host, uint16_t& port) {
  size_t eq = text.find("ftp=");
  if (eq != std::string::npos) {
    text = text.substr(eq + 4);
    size_t space = text.find_first_of(" ;");
    if (space != std::string::npos) text.resize(space);
  }
  port = 21;
  std::string portText;
  if (!text.empty() && text[0] == '[') {
    size_t close = text.find(']');
    host = text.substr(1, close == std::string::npos ? std::string::npos : close - 1);
    if (close != std::string::npos && close + 1 < text.size() && text[close + 1] == ':')
      portText = text.substr(close + 2);
  } else {
    size_t colon = text.find(':');
    if (colon != std::string::npos && text.find(':', colon + 1) == std::string::npos) {
      host = text.substr(0, colon);
      portText = text.substr(colon + 1);
    } else {
      host = text;
    }
  }
  if (!portText.empty()) {
    long p = std::strtol(portText.c_str(), nullptr, 10);
    if (p > 0 && p <= 65535) port = static_cast<uint16_t>(p);
  }
}

}  // namespace

uint32_t GetLastError() {
  return t_lastError;
}
void SetLastError(uint32_t error) {
  t_lastError = error;
  t_lastErrorDetail.clear();
}
void SetLastErrorDetail(std::string detail) {
  t_lastErrorDetail = std::move(detail);
}
const std::string& GetLastErrorDetail() {
  return t_lastErrorDetail;
}

// A failure as the thread's last error: its number, its text as the detail, and no last
// response unless the server's reply is the reason.
void SetLastErrorFrom(const CInternetException& e) {
  if (!trox::ftp::ErrorComesWithReply(e.m_dwError)) trox::ftp::ForgetLastResponse();
  SetLastError(e.m_dwError);
  SetLastErrorDetail(e.m_text);
}

bool InternetGetLastResponseInfo(uint32_t* error, char* buffer, uint32_t* length) {
  uint32_t number = 0;
  std::string text;
  if (!ReadLastResponse(&number, &text)) {
    if (length) *length = 0;
    return false;
  }
  uint32_t needed = static_cast<uint32_t>(text.size());
  if (!length || !buffer || *length < needed + 1) {
    if (length) *length = needed;
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return false;
  }
  std::memcpy(buffer, text.c_str(), needed + 1);
  *length = needed;
  if (error) *error = number;
  return true;
}

bool ReadLastResponse(uint32_t* number, std::string* text) {
  const trox::ftp::LastResponse& last = trox::ftp::ThreadLastResponse();
  if (last.code == 0) return false;
  if (number) *number = static_cast<uint32_t>(last.code);
  if (text) *text = last.text;
  return true;
}

void SetInternetTimeouts(const InternetTimeouts& timeouts) {
  std::lock_guard<std::mutex> lock(g_timeoutsMutex);
  g_timeouts = timeouts;
  g_timeoutsSetByCaller = true;
}

InternetTimeouts GetInternetTimeouts() {
  std::lock_guard<std::mutex> lock(g_timeoutsMutex);
  return g_timeouts;
}

// ---- CFtpConnection ----

CFtpConnection::CFtpConnection(std::unique_ptr<CFtpConnectionImpl> impl)
    : m_impl(std::move(impl)) {}

CFtpConnection::~CFtpConnection() {
  try {
    Close();
  } catch (...) {
  }
}

bool CFtpConnection::GetCurrentDirectory(std::string& folder) {
  return Guarded([&] { folder = m_impl->GetCurrentDirectory(); });
}

bool CFtpConnection::SetCurrentDirectory(const std::string& folder) {
  return Guarded([&] { m_impl->SetCurrentDirectory(folder); });
}

bool CFtpConnection::CreateDirectory(const std::string& folder) {
  return Guarded([&] { m_impl->CreateDirectory(folder); });
}

bool CFtpConnection::PutFile(const std::string& localPath, const std::string& remotePath,
                             uint32_t flags) {
  return Guarded([&] { m_impl->PutFile(localPath, remotePath, flags); });
}

bool CFtpConnection::GetFile(const std::string& remotePath, const std::string& localPath,
                             bool failIfExists, uint32_t flags) {
  return Guarded([&] { m_impl->GetFile(remotePath, localPath, failIfExists, flags); });
}

void CFtpConnection::SetFileProgress(FileBytesFn callback, void* context) {
  m_impl->SetFileProgress(callback, context);
}

std::unique_ptr<CInternetFile> CFtpConnection::OpenFile(const std::string& remotePath,
                                                        uint32_t access, uint32_t flags) {
  try {
    return m_impl->OpenFile(remotePath, access, flags);
  } catch (const CInternetException& e) {
    SetLastErrorFrom(e);
    throw;
  }
}

bool CFtpConnection::IsAlive() {
  return m_impl->IsAlive();
}

bool CFtpConnection::Command(const std::string& command, bool expectResponse, uint32_t flags,
                             std::unique_ptr<CInternetFile>* data) {
  return Guarded([&] {
    std::unique_ptr<CInternetFile> stream = m_impl->Command(command, expectResponse, flags);
    if (data) {
      *data = std::move(stream);
    } else if (stream) {
      // Nobody wants the data: take it and let the final reply decide.
      char buffer[16 * 1024];
      while (stream->Read(buffer, sizeof buffer) == sizeof buffer) {
      }
      stream->Close();
    }
  });
}

void CFtpConnection::Close() {
  auto& pool = trox::ftp::FtpConnectionPool::Instance();
  if (!m_impl->ReadyForPool() || !pool.Active()) {
    m_impl->Close();
    return;
  }
  // A closed stand-in keeps later calls failing as they would on a closed connection.
  auto closed = std::make_unique<CFtpConnectionImpl>(m_impl->Settings(), m_impl->Timeouts());
  pool.Put(std::exchange(m_impl, std::move(closed)));
}

// ---- CFtpConnectionPoolScope ----

CFtpConnectionPoolScope::CFtpConnectionPoolScope() {
  trox::ftp::FtpConnectionPool::Instance().EnterScope();
}

CFtpConnectionPoolScope::~CFtpConnectionPoolScope() {
  trox::ftp::FtpConnectionPool::Instance().LeaveScope();
}

// ---- CFtpFileFind ----

CFtpFileFind::CFtpFileFind(CFtpConnection* connection) : m_connection(connection) {}

CFtpFileFind::~CFtpFileFind() = default;

bool CFtpFileFind::FindFile(const std::string& mask, uint32_t /*flags: never cached*/) {
  Close();
  m_unparsed.clear();
  trox::ftp::FtpListing listing;
  bool ok = Guarded([&] {
    CFtpConnectionImpl& impl = m_connection->Impl();
    m_root = impl.GetCurrentDirectory();
    listing = impl.List(mask);
  });
  if (!ok) return false;
  m_entries = std::move(listing.entries);
  m_unparsed = std::move(listing.unparsed);
  if (m_entries.empty() && !m_unparsed.empty()) {
    // Something was listed, but in a form none of the parsers knows: taking it for an empty
    // folder would pass its files over in silence.
    SetLastError(ERROR_INTERNET_INCORRECT_FORMAT);
    const size_t lines = m_unparsed.size();
    SetLastErrorDetail("the server's listing could not be read (" + std::to_string(lines) +
                       (lines == 1 ? " line)" : " lines)"));
    return false;
  }
  if (m_entries.empty()) {
    SetLastError(ENOENT);  // "no entry": the system's "No such file or directory"
    return false;
  }
  return true;
}

bool CFtpFileFind::FindNextFile() {
  if (m_next >= m_entries.size()) {
    SetLastError(ENOENT);
    return false;
  }
  ++m_next;
  return true;
}

void CFtpFileFind::Close() {
  m_entries.clear();
  m_next = 0;
}

const FtpListEntry& CFtpFileFind::Entry() const {
  static const FtpListEntry none;
  return m_next == 0 || m_next > m_entries.size() ? none : m_entries[m_next - 1];
}

std::string CFtpFileFind::GetFileName() const {
  return Entry().name;
}
bool CFtpFileFind::IsDirectory() const {
  return Entry().isDirectory;
}
bool CFtpFileFind::IsDots() const {
  return Entry().name == "." || Entry().name == "..";
}
uint64_t CFtpFileFind::GetLength() const {
  return Entry().size;
}
std::string CFtpFileFind::GetRoot() const {
  return m_root;
}

// ---- CInternetSession ----

CInternetSession::CInternetSession(const std::string& agent, uint32_t context, uint32_t accessType,
                                   const std::string& proxy, const std::string& /*proxyBypass*/,
                                   uint32_t /*flags*/)
    : m_agent(agent), m_context(context), m_accessType(accessType), m_proxy(proxy) {
  FirstSessionSetUp();
}

CInternetSession::~CInternetSession() = default;

std::unique_ptr<CFtpConnection> CInternetSession::GetFtpConnection(const std::string& server,
                                                                   const std::string& user,
                                                                   const std::string& password,
                                                                   uint16_t port, bool passive,
                                                                   const FtpSecurity& security) {
  FtpLoginSettings settings;
  settings.server = server;
  settings.port = port == 0 ? 21 : port;
  settings.security = security.mode == 1 || security.mode == 2 ? security.mode : 0;
  if (settings.security == 2 && settings.port == 21) settings.port = 990;
  settings.pin = trox::net::NormalisedFingerprint(security.certSha256);
  if (settings.security != 0 && !security.certSha256.empty() && settings.pin.empty()) {
    const CInternetException e(
        ERROR_INTERNET_SEC_INVALID_CERT,
        "the pinned fingerprint \"" + security.certSha256 + "\" is not 64 hex digits");
    SetLastErrorFrom(e);
    throw e;
  }
  settings.user = user;
  settings.password = password;
  settings.passive = passive;
  if (m_accessType == INTERNET_OPEN_TYPE_PROXY && !m_proxy.empty())
    SplitHostPort(m_proxy, settings.proxyHost, settings.proxyPort);
  try {
    InternetTimeouts timeouts = GetInternetTimeouts();
    auto impl = trox::ftp::FtpConnectionPool::Instance().Take(settings, timeouts);
    if (!impl) {
      impl = std::make_unique<CFtpConnectionImpl>(settings, timeouts);
      impl->LogIn();
    }
    return std::make_unique<CFtpConnection>(std::move(impl));
  } catch (const CInternetException& e) {
    SetLastErrorFrom(e);
    throw;
  }
}

namespace {

// The HTTP body as the layer's stream type, so that callers read it like a remote file.
class HttpFile : public CInternetFile {
 public:
  explicit HttpFile(std::unique_ptr<trox::net::HttpBody> body) : m_body(std::move(body)) {}
  uint32_t Read(void* buffer, uint32_t count) override { return m_body->Read(buffer, count); }
  void Write(const void*, uint32_t) override {
    trox::net::ThrowInternet(ERROR_INTERNET_INVALID_OPERATION, "an HTTP reply cannot be written");
  }
  void Close() override { m_body->Close(); }

 private:
  std::unique_ptr<trox::net::HttpBody> m_body;
};

}  // namespace

std::unique_ptr<CInternetFile> CInternetSession::OpenURL(const std::string& url,
                                                         uint32_t /*context*/, uint32_t /*flags*/) {
  try {
    return std::make_unique<HttpFile>(
        trox::net::HttpGet(trox::net::ParseHttpUrl(url), m_agent, GetInternetTimeouts()));
  } catch (const CInternetException& e) {
    SetLastErrorFrom(e);
    throw;
  }
}

void CInternetSession::Close() {}
