// TCP sockets with a time-out on every wait, for the FTP and HTTP layer above.
//
// Every socket is non-blocking; an operation is tried first and poll() is used only when the
// kernel says it would block, so a busy transfer costs one system call per buffer. errno is read
// in one place (MapSocketErrno) and turned into the internet error numbers; every failure is
// thrown as CInternetException with that number and a text that says where it happened.
#pragma once

#include <sys/socket.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace trox::net {

// A resolved or connected address of either family.
struct Address {
  sockaddr_storage storage{};
  socklen_t length = 0;

  int Family() const { return storage.ss_family; }
  uint16_t Port() const;
  void SetPort(uint16_t port);
  // Numeric host text without brackets ("127.0.0.1", "::1").
  std::string HostText() const;
};

// Internet error number for an errno value. While connecting, refusals and unreachable hosts are
// "cannot connect"; once connected, resets and broken pipes are "connection aborted".
uint32_t MapSocketErrno(int err, bool connecting);

[[noreturn]] void ThrowInternet(uint32_t error, const std::string& text);

// A bound as a person reads it in an error text: "60 s", "0.4 s".
std::string DurationText(int ms);

// Owns one socket descriptor; move-only.
class Socket {
 public:
  Socket() = default;
  explicit Socket(int fd) : m_fd(fd) {}
  ~Socket() { Close(); }
  Socket(Socket&& other) noexcept : m_fd(other.m_fd) { other.m_fd = -1; }
  Socket& operator=(Socket&& other) noexcept;
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;

  bool Valid() const { return m_fd >= 0; }
  int Fd() const { return m_fd; }
  void Close();

  // Resolves host (name or numeric, IPv4 or IPv6) and connects to the first address that
  // answers; each address gets timeoutMs. Throws 12007, 12029 or 12002.
  static Socket Connect(const std::string& host, uint16_t port, int timeoutMs);
  // Connects to one address without binding first (a bind to port 0 is slow where thousands of
  // sockets sit in TIME_WAIT, and a plain connect picks its port the cheap way).
  static Socket ConnectTo(const Address& address, int timeoutMs);
  // A listening socket on the given address (its port replaced by one the kernel picks).
  static Socket Listen(const Address& address);
  // Waits up to timeoutMs for one incoming connection. Throws 12002 on time-out.
  Socket Accept(int timeoutMs);

  // Reads what is there, waiting up to idleMs for the first byte; 0 at the end of the stream.
  size_t ReceiveSome(void* buffer, size_t size, int idleMs);
  // Sends what the connection takes at once, without waiting; 0 also when it failed (the
  // failure shows at the next use of the connection).
  size_t SendNow(const void* data, size_t size);
  // Sends everything; each wait for room in the send buffer is bounded by idleMs.
  void SendAll(const void* data, size_t size, int idleMs);
  // True when data (or the end of the stream) can be read within timeoutMs.
  bool WaitReadable(int timeoutMs);
  void ShutdownWrite();

  Address LocalAddress() const;
  Address PeerAddress() const;
  void SetNoDelay();
  // Keeps a control connection alive through idle NAT tables while a long transfer runs.
  void SetKeepAlive(int idleSeconds, int intervalSeconds, int count);

 private:
  // Waits for events; false on time-out.
  bool Wait(short events, int timeoutMs);

  int m_fd = -1;
};

// Resolves a host for a stream connection; throws 12007 when the name is unknown.
std::vector<Address> Resolve(const std::string& host, uint16_t port);

}  // namespace trox::net
