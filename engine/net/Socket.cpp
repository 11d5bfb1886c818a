#include "net/Socket.h"

#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <unistd.h>

#include <cstring>

#include "trox/InternetError.h"

namespace trox::net {

uint16_t Address::Port() const {
  if (Family() == AF_INET6)
    return ntohs(reinterpret_cast<const sockaddr_in6*>(&storage)->sin6_port);
  return ntohs(reinterpret_cast<const sockaddr_in*>(&storage)->sin_port);
}

void Address::SetPort(uint16_t port) {
  if (Family() == AF_INET6)
    reinterpret_cast<sockaddr_in6*>(&storage)->sin6_port = htons(port);
  else
    reinterpret_cast<sockaddr_in*>(&storage)->sin_port = htons(port);
}

std::string Address::HostText() const {
  char text[INET6_ADDRSTRLEN] = "";
  if (Family() == AF_INET6)
    inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(&storage)->sin6_addr, text,
              sizeof text);
  else
    inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(&storage)->sin_addr, text,
              sizeof text);
  return text;
}

uint32_t MapSocketErrno(int err, bool connecting) {
  switch (err) {
    case ETIMEDOUT:
      return connecting ? ERROR_INTERNET_TIMEOUT : ERROR_INTERNET_CONNECTION_ABORTED;
    case ECONNREFUSED:
    case ENETUNREACH:
    case EHOSTUNREACH:
    case EADDRNOTAVAIL:
    case ENETDOWN:
    case EHOSTDOWN:
    case EAFNOSUPPORT:
      return connecting ? ERROR_INTERNET_CANNOT_CONNECT : ERROR_INTERNET_CONNECTION_ABORTED;
    case ECONNRESET:
    case EPIPE:
    case ECONNABORTED:
    case ENOTCONN:
      return connecting ? ERROR_INTERNET_CANNOT_CONNECT : ERROR_INTERNET_CONNECTION_ABORTED;
    case EMFILE:
    case ENFILE:
    case ENOBUFS:
    case ENOMEM:
      return ERROR_INTERNET_OUT_OF_HANDLES;
    default:
      return connecting ? ERROR_INTERNET_CANNOT_CONNECT : ERROR_INTERNET_CONNECTION_ABORTED;
  }
}

void ThrowInternet(uint32_t error, const std::string& text) {
  throw CInternetException(error, text);
}

std::string DurationText(int ms) {
  if (ms % 1000 == 0) return std::to_string(ms / 1000) + " s";
  if (ms % 100 == 0)
    return std::to_string(ms / 1000) + "." + std::to_string(ms % 1000 / 100) + " s";
  return std::to_string(ms) + " ms";
}

namespace {

// what: says what failed ("the connection broke", "cannot connect to ..."); the system's text
// follows.
[[noreturn]] void ThrowErrno(int err, bool connecting, const std::string& what) {
  ThrowInternet(MapSocketErrno(err, connecting), ErrorNumberText(static_cast<uint32_t>(err), what));
}

std::string PlaceText(const Address& address) {
  return address.HostText() + " port " + std::to_string(address.Port());
}

int NewSocket(int family) {
  int fd = ::socket(family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP);
  if (fd < 0) ThrowErrno(errno, true, "cannot make a socket");
  return fd;
}

}  // namespace

Socket& Socket::operator=(Socket&& other) noexcept {
  if (this != &other) {
    Close();
    m_fd = other.m_fd;
    other.m_fd = -1;
  }
  return *this;
}

void Socket::Close() {
  if (m_fd >= 0) ::close(m_fd);
  m_fd = -1;
}

bool Socket::Wait(short events, int timeoutMs) {
  pollfd p{m_fd, events, 0};
  for (;;) {
    int r = ::poll(&p, 1, timeoutMs < 0 ? -1 : timeoutMs);
    if (r > 0) return true;
    if (r == 0) return false;
    if (errno != EINTR) ThrowErrno(errno, false, "cannot wait for the network");
  }
}

bool Socket::WaitReadable(int timeoutMs) {
  return Wait(POLLIN, timeoutMs);
}

std::vector<Address> Resolve(const std::string& hostText, uint16_t port) {
  // "[::1]", as addresses are written with a port, names the same host as "::1".
  std::string host = hostText;
  if (host.size() > 2 && host.front() == '[' && host.back() == ']')
    host = host.substr(1, host.size() - 2);
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_ADDRCONFIG;
  addrinfo* list = nullptr;
  std::string service = std::to_string(port);
  int r = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &list);
  if (r == EAI_NONAME || r == EAI_ADDRFAMILY || r == EAI_NODATA) {
    // AI_ADDRCONFIG hides loopback names on hosts with no configured address of a family.
    hints.ai_flags = 0;
    r = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &list);
  }
  if (r != 0 || host.empty()) {
    if (list) ::freeaddrinfo(list);
    ThrowInternet(ERROR_INTERNET_NAME_NOT_RESOLVED,
                  "cannot resolve \"" + host + "\": " + ::gai_strerror(r));
  }
  std::vector<Address> result;
  for (addrinfo* a = list; a; a = a->ai_next) {
    if (a->ai_addrlen > sizeof(sockaddr_storage)) continue;
    Address address;
    std::memcpy(&address.storage, a->ai_addr, a->ai_addrlen);
    address.length = a->ai_addrlen;
    result.push_back(address);
  }
  ::freeaddrinfo(list);
  if (result.empty()) ThrowInternet(ERROR_INTERNET_NAME_NOT_RESOLVED, "no address for " + host);
  return result;
}

Socket Socket::ConnectTo(const Address& address, int timeoutMs) {
  Socket s(NewSocket(address.Family()));
  int r = ::connect(s.m_fd, reinterpret_cast<const sockaddr*>(&address.storage), address.length);
  if (r == 0) return s;
  if (errno != EINPROGRESS && errno != EINTR)
    ThrowErrno(errno, true, "cannot connect to " + PlaceText(address));
  if (!s.Wait(POLLOUT, timeoutMs))
    ThrowInternet(ERROR_INTERNET_TIMEOUT,
                  "no answer from " + PlaceText(address) + " within " + DurationText(timeoutMs));
  int err = 0;
  socklen_t len = sizeof err;
  ::getsockopt(s.m_fd, SOL_SOCKET, SO_ERROR, &err, &len);
  if (err != 0) ThrowErrno(err, true, "cannot connect to " + PlaceText(address));
  return s;
}

Socket Socket::Connect(const std::string& host, uint16_t port, int timeoutMs) {
  std::vector<Address> addresses = Resolve(host, port);
  // The first address's failure is the one reported when none answers: it is what the
  // resolver preferred, and a refusal there says more than a later address's time-out.
  CInternetException first(0, "");
  for (size_t i = 0; i < addresses.size(); ++i) {
    try {
      return ConnectTo(addresses[i], timeoutMs);
    } catch (const CInternetException& e) {
      if (i == 0) first = e;
    }
  }
  throw first;
}

Socket Socket::Listen(const Address& address) {
  Address local = address;
  local.SetPort(0);
  Socket s(NewSocket(local.Family()));
  if (::bind(s.m_fd, reinterpret_cast<const sockaddr*>(&local.storage), local.length) != 0)
    ThrowErrno(errno, true, "cannot listen for a data connection");
  if (::listen(s.m_fd, 1) != 0) ThrowErrno(errno, true, "cannot listen for a data connection");
  return s;
}

Socket Socket::Accept(int timeoutMs) {
  for (;;) {
    int fd = ::accept4(m_fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd >= 0) return Socket(fd);
    if (errno == EINTR || errno == ECONNABORTED) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK)
      ThrowErrno(errno, true, "cannot take the data connection");
    if (!Wait(POLLIN, timeoutMs))
      ThrowInternet(ERROR_INTERNET_TIMEOUT, "the server did not open the data connection within " +
                                                DurationText(timeoutMs));
  }
}

size_t Socket::ReceiveSome(void* buffer, size_t size, int idleMs) {
  for (;;) {
    ssize_t n = ::recv(m_fd, buffer, size, 0);
    if (n >= 0) return static_cast<size_t>(n);
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) ThrowErrno(errno, false, "the connection broke");
    if (!Wait(POLLIN, idleMs))
      ThrowInternet(ERROR_INTERNET_TIMEOUT, "nothing came within " + DurationText(idleMs));
  }
}

size_t Socket::SendNow(const void* data, size_t size) {
  for (;;) {
    ssize_t n = ::send(m_fd, data, size, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n >= 0) return static_cast<size_t>(n);
    if (errno != EINTR) return 0;
  }
}

void Socket::SendAll(const void* data, size_t size, int idleMs) {
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    ssize_t n = ::send(m_fd, p, size, MSG_NOSIGNAL);
    if (n > 0) {
      p += n;
      size -= static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
      ThrowErrno(errno, false, "the connection broke");
    if (!Wait(POLLOUT, idleMs))
      ThrowInternet(ERROR_INTERNET_TIMEOUT,
                    "the server took nothing within " + DurationText(idleMs));
  }
}

void Socket::ShutdownWrite() {
  if (m_fd >= 0) ::shutdown(m_fd, SHUT_WR);
}

Address Socket::LocalAddress() const {
  Address a;
  a.length = sizeof a.storage;
  if (::getsockname(m_fd, reinterpret_cast<sockaddr*>(&a.storage), &a.length) != 0)
    ThrowErrno(errno, false, "cannot read the local address");
  return a;
}

Address Socket::PeerAddress() const {
  Address a;
  a.length = sizeof a.storage;
  if (::getpeername(m_fd, reinterpret_cast<sockaddr*>(&a.storage), &a.length) != 0)
    ThrowErrno(errno, false, "cannot read the server's address");
  return a;
}

void Socket::SetNoDelay() {
  int on = 1;
  ::setsockopt(m_fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

void Socket::SetKeepAlive(int idleSeconds, int intervalSeconds, int count) {
  int on = 1;
  ::setsockopt(m_fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
  ::setsockopt(m_fd, IPPROTO_TCP, TCP_KEEPIDLE, &idleSeconds, sizeof idleSeconds);
  ::setsockopt(m_fd, IPPROTO_TCP, TCP_KEEPINTVL, &intervalSeconds, sizeof intervalSeconds);
  ::setsockopt(m_fd, IPPROTO_TCP, TCP_KEEPCNT, &count, sizeof count);
}

}  // namespace trox::net
