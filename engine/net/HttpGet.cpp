#include "net/HttpGet.h"

#include <chrono>
#include <cstring>

#include "net/Socket.h"
#include "net/Tls.h"
#include "trox/AsciiCase.h"

namespace trox::net {

namespace {

constexpr size_t kHeadCap = 64 * 1024;

// The connection in clear or through TLS, read and written alike.
struct HttpConnection {
  Socket socket;
  std::unique_ptr<TlsSession> tls;  // after the socket: ends before it closes

  size_t ReceiveSome(void* buffer, size_t size, int idleMs) {
    return tls ? tls->ReceiveSome(buffer, size, idleMs) : socket.ReceiveSome(buffer, size, idleMs);
  }
  void SendAll(const void* data, size_t size, int idleMs) {
    if (tls)
      tls->SendAll(data, size, idleMs);
    else
      socket.SendAll(data, size, idleMs);
  }
  void Close() {
    tls.reset();
    socket.Close();
  }
};

class HttpBodyStream : public HttpBody {
 public:
  HttpBodyStream(HttpConnection connection, std::string early, std::optional<uint64_t> length,
                 int idleMs)
      : m_connection(std::move(connection)),
        m_early(std::move(early)),
        m_left(length),
        m_idleMs(idleMs) {
    if (m_left && m_early.size() > *m_left) m_early.resize(*m_left);
    if (m_left) *m_left -= m_early.size();
  }

  uint32_t Read(void* buffer, uint32_t count) override {
    char* out = static_cast<char*>(buffer);
    uint32_t filled = 0;
    while (filled < count) {
      if (m_earlyPos < m_early.size()) {
        size_t take = std::min<size_t>(count - filled, m_early.size() - m_earlyPos);
        std::memcpy(out + filled, m_early.data() + m_earlyPos, take);
        m_earlyPos += take;
        filled += static_cast<uint32_t>(take);
        continue;
      }
      if (m_end || !m_connection.socket.Valid()) break;
      size_t want = count - filled;
      if (m_left) want = static_cast<size_t>(std::min<uint64_t>(want, *m_left));
      if (want == 0) {
        m_end = true;
        break;
      }
      size_t n = m_connection.ReceiveSome(out + filled, want, m_idleMs);
      if (n == 0) {
        m_end = true;
        if (m_left && *m_left > 0)
          ThrowInternet(ERROR_INTERNET_CONNECTION_ABORTED, "the HTTP reply ended early");
        break;
      }
      if (m_left) *m_left -= n;
      filled += static_cast<uint32_t>(n);
    }
    return filled;
  }

  void Close() override { m_connection.Close(); }

 private:
  HttpConnection m_connection;
  std::string m_early;  // body bytes that came with the head
  size_t m_earlyPos = 0;
  std::optional<uint64_t> m_left;
  int m_idleMs;
  bool m_end = false;
};

}  // namespace

HttpUrl ParseHttpUrl(const std::string& url) {
  size_t colon = url.find("://");
  if (colon == std::string::npos || colon == 0)
    ThrowInternet(ERROR_INTERNET_INVALID_URL, "not an address: " + url);
  const std::string scheme = AsciiLowerCase(url.substr(0, colon));
  if (scheme != "http" && scheme != "https")
    ThrowInternet(ERROR_INTERNET_UNRECOGNIZED_SCHEME, "not an http address: " + url);
  std::string rest = url.substr(colon + 3);
  size_t slash = rest.find_first_of("/?#");
  std::string authority = rest.substr(0, slash);
  HttpUrl result;
  result.secure = scheme == "https";
  if (result.secure) result.port = 443;
  result.target = slash == std::string::npos ? "/" : rest.substr(slash);
  if (!result.target.empty() && result.target[0] == '?') result.target.insert(0, 1, '/');
  size_t hash = result.target.find('#');
  if (hash != std::string::npos) result.target.resize(hash);
  if (result.target.empty()) result.target.push_back('/');
  if (authority.find('@') != std::string::npos)
    ThrowInternet(ERROR_INTERNET_INVALID_URL, "user names in addresses are not supported");
  std::string portText;
  if (!authority.empty() && authority[0] == '[') {
    size_t close = authority.find(']');
    if (close == std::string::npos) ThrowInternet(ERROR_INTERNET_INVALID_URL, "bad host: " + url);
    result.host = authority.substr(1, close - 1);
    std::string after = authority.substr(close + 1);
    if (!after.empty()) {
      if (after[0] != ':') ThrowInternet(ERROR_INTERNET_INVALID_URL, "bad host: " + url);
      portText = after.substr(1);
    }
  } else {
    size_t c = authority.rfind(':');
    result.host = authority.substr(0, c);
    if (c != std::string::npos) portText = authority.substr(c + 1);
  }
  if (result.host.empty()) ThrowInternet(ERROR_INTERNET_INVALID_URL, "no host in " + url);
  for (char ch : result.host + result.target)
    if (static_cast<unsigned char>(ch) <= ' ' || ch == 0x7f)
      ThrowInternet(ERROR_INTERNET_INVALID_URL, "a space or control character in " + url);
  if (!portText.empty()) {
    if (portText.size() > 5 || portText.find_first_not_of("0123456789") != std::string::npos)
      ThrowInternet(ERROR_INTERNET_INVALID_URL, "bad port in " + url);
    unsigned long port = std::stoul(portText);
    if (port == 0 || port > 65535) ThrowInternet(ERROR_INTERNET_INVALID_URL, "bad port in " + url);
    result.port = static_cast<uint16_t>(port);
  }
  return result;
}

std::unique_ptr<HttpBody> HttpGet(const HttpUrl& url, const std::string& agent,
                                  const InternetTimeouts& timeouts) {
  HttpConnection socket;
  socket.socket = Socket::Connect(url.host, url.port, timeouts.connectMs);
  if (url.secure) socket.tls = TlsSession::Connect(socket.socket, {url.host, ""}, timeouts.idleMs);
  std::string host = url.host.find(':') != std::string::npos ? "[" + url.host + "]" : url.host;
  if (url.port != (url.secure ? 443 : 80)) host.append(":").append(std::to_string(url.port));
  std::string request = "GET " + url.target + " HTTP/1.0\r\nHost: " + host +
                        "\r\nUser-Agent: " + agent + "\r\nConnection: close\r\n\r\n";
  socket.SendAll(request.data(), request.size(), timeouts.idleMs);

  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeouts.replyTotalMs);
  std::string head;
  size_t headEnd = std::string::npos, bodyStart = 0;
  while (headEnd == std::string::npos) {
    if (head.size() > kHeadCap)
      ThrowInternet(ERROR_INTERNET_CONNECTION_ABORTED, "the HTTP reply head is too long");
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) ThrowInternet(ERROR_INTERNET_TIMEOUT, "the HTTP reply took too long");
    char buffer[4096];
    int wait = static_cast<int>(std::min<long long>(left.count(), timeouts.idleMs));
    size_t n = socket.ReceiveSome(buffer, sizeof buffer, wait);
    if (n == 0) ThrowInternet(ERROR_INTERNET_CONNECTION_ABORTED, "the HTTP server closed early");
    size_t from = head.size() >= 3 ? head.size() - 3 : 0;
    head.append(buffer, n);
    size_t crlf = head.find("\r\n\r\n", from);
    size_t lf = head.find("\n\n", from);
    if (crlf != std::string::npos && (lf == std::string::npos || crlf < lf)) {
      headEnd = crlf;
      bodyStart = crlf + 4;
    } else if (lf != std::string::npos) {
      headEnd = lf;
      bodyStart = lf + 2;
    }
  }
  if (head.compare(0, 5, "HTTP/") != 0)
    ThrowInternet(ERROR_INTERNET_CONNECTION_ABORTED, "the server did not answer in HTTP");
  std::optional<uint64_t> length;
  std::string lowerHead = AsciiLowerCase(head.substr(0, headEnd));
  size_t cl = lowerHead.find("\ncontent-length:");
  if (cl != std::string::npos) {
    size_t p = cl + 16;
    while (p < lowerHead.size() && lowerHead[p] == ' ') ++p;
    size_t e = p;
    while (e < lowerHead.size() && lowerHead[e] >= '0' && lowerHead[e] <= '9') ++e;
    if (e > p && e - p < 19) length = std::stoull(lowerHead.substr(p, e - p));
  }
  return std::make_unique<HttpBodyStream>(std::move(socket), head.substr(bodyStart), length,
                                          timeouts.idleMs);
}

}  // namespace trox::net
