// A scripted FTP server on loopback for faults that no real server produces on demand: a thread
// with a listening socket that answers each command of a connection from a script. Standard
// library and POSIX sockets only; every wait of the script is bounded, so a test never hangs.
#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace scripted {

// A listening socket on 127.0.0.1 (or ::1) with a port the kernel picks.
inline int ListenLoopback(uint16_t* port, bool v6 = false) {
  int fd = socket(v6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_storage s{};
  socklen_t len;
  if (v6) {
    auto* a = reinterpret_cast<sockaddr_in6*>(&s);
    a->sin6_family = AF_INET6;
    a->sin6_addr = in6addr_loopback;
    len = sizeof *a;
  } else {
    auto* a = reinterpret_cast<sockaddr_in*>(&s);
    a->sin_family = AF_INET;
    a->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    len = sizeof *a;
  }
  if (bind(fd, reinterpret_cast<sockaddr*>(&s), len) != 0 || listen(fd, 4) != 0) {
    close(fd);
    return -1;
  }
  getsockname(fd, reinterpret_cast<sockaddr*>(&s), &len);
  *port = ntohs(v6 ? reinterpret_cast<sockaddr_in6*>(&s)->sin6_port
                   : reinterpret_cast<sockaddr_in*>(&s)->sin_port);
  return fd;
}

// Connects to [::1]:port (the client's active-mode listener).
inline int ConnectLoopback6(uint16_t port) {
  int fd = socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in6 a{};
  a.sin6_family = AF_INET6;
  a.sin6_addr = in6addr_loopback;
  a.sin6_port = htons(port);
  if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

inline int AcceptWithin(int listenFd, int timeoutMs) {
  pollfd p{listenFd, POLLIN, 0};
  if (poll(&p, 1, timeoutMs) != 1) return -1;
  return accept(listenFd, nullptr, nullptr);
}

// One accepted connection as the script sees it.
class Peer {
 public:
  explicit Peer(int fd) : m_fd(fd) {}
  ~Peer() {
    CloseData();
    close(m_fd);
  }

  void Send(const std::string& text) {
    ssize_t ignored = send(m_fd, text.data(), text.size(), MSG_NOSIGNAL);
    (void)ignored;
  }
  void Reply(const std::string& line) { Send(line + "\r\n"); }
  // The next command line; "" when the client closed or said nothing for a while.
  std::string Line(int timeoutMs = 5000) {
    for (;;) {
      size_t nl = m_buffer.find("\r\n");
      if (nl != std::string::npos) {
        std::string line = m_buffer.substr(0, nl);
        m_buffer.erase(0, nl + 2);
        std::lock_guard<std::mutex> lock(m_mutex);
        m_lines.push_back(line);
        return line;
      }
      pollfd p{m_fd, POLLIN, 0};
      if (poll(&p, 1, timeoutMs) != 1) return "";
      char buf[1024];
      ssize_t n = recv(m_fd, buf, sizeof buf, 0);
      if (n <= 0) return "";
      m_buffer.append(buf, static_cast<size_t>(n));
    }
  }
  // Answers commands from a table until the client says `until` (which is not answered);
  // unknown commands get "500 Unknown".
  std::string AnswerUntil(const std::string& until,
                          const std::vector<std::pair<std::string, std::string>>& answers) {
    for (;;) {
      std::string line = Line();
      if (line.empty() || line.rfind(until, 0) == 0) return line;
      bool found = false;
      for (const auto& [prefix, reply] : answers) {
        if (line.rfind(prefix, 0) == 0) {
          Send(reply);
          found = true;
          break;
        }
      }
      if (!found) Reply("500 Unknown");
    }
  }
  // The usual log-in: greeting, USER, PASS, and a FEAT with the given features.
  void LogIn(const std::string& features = "") {
    Reply("220 scripted");
    AnswerUntil("FEAT", {{"USER", "331 Password\r\n"}, {"PASS", "230 In\r\n"}});
    if (features.empty())
      Reply("500 no FEAT");
    else
      Send("211-Features:\r\n" + features + "211 End\r\n");
  }
  // A passive data listener; the reply to EPSV that names it.
  std::string OpenPassive(bool v6 = false) {
    uint16_t port = 0;
    m_dataListen = ListenLoopback(&port, v6);
    return "229 Entering Extended Passive Mode (|||" + std::to_string(port) + "|)\r\n";
  }
  // A passive listener named by a 227 reply that points at another host (only the port is
  // meant to be used).
  std::string OpenPassivePasv() {
    uint16_t port = 0;
    m_dataListen = ListenLoopback(&port);
    return "227 Entering Passive Mode (10,255,255,1," + std::to_string(port / 256) + "," +
           std::to_string(port % 256) + ").\r\n";
  }
  // Active mode over IPv4: connects to the port that a "PORT h1,h2,h3,h4,p1,p2" line names.
  int ConnectPort(const std::string& portLine) {
    std::vector<int> n;
    size_t p = 5;
    while (p < portLine.size()) {
      size_t comma = portLine.find(',', p);
      n.push_back(std::stoi(portLine.substr(p, comma - p)));
      if (comma == std::string::npos) break;
      p = comma + 1;
    }
    if (n.size() != 6) return -1;
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<uint16_t>(n[4] * 256 + n[5]));
    if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
      close(fd);
      return -1;
    }
    m_data = fd;
    return fd;
  }
  // Active mode: connects to the port that an "EPRT |2|::1|port|" line names.
  int ConnectActive6(const std::string& eprt) {
    size_t end = eprt.rfind('|');
    size_t start = eprt.rfind('|', end - 1);
    m_data = ConnectLoopback6(static_cast<uint16_t>(std::stoi(eprt.substr(start + 1))));
    return m_data;
  }
  int AcceptData() {
    m_data = AcceptWithin(m_dataListen, 5000);
    return m_data;
  }
  void SendData(const std::string& bytes) {
    ssize_t ignored = send(m_data, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    (void)ignored;
  }
  // Reads some of what the client sends, then breaks the data connection off with a reset.
  void TakeSomeDataThenReset(size_t bytes) {
    std::string buf(bytes, '\0');
    size_t got = 0;
    while (got < bytes) {
      pollfd p{m_data, POLLIN, 0};
      if (poll(&p, 1, 5000) != 1) break;
      ssize_t n = recv(m_data, buf.data() + got, bytes - got, 0);
      if (n <= 0) break;
      got += static_cast<size_t>(n);
    }
    linger l{1, 0};
    setsockopt(m_data, SOL_SOCKET, SO_LINGER, &l, sizeof l);
    CloseData();
  }
  void CloseData() {
    if (m_data >= 0) close(m_data);
    if (m_dataListen >= 0) close(m_dataListen);
    m_data = m_dataListen = -1;
  }
  // Waits until the client closes the control connection (or a bound passes).
  void WaitForClose(int timeoutMs = 10000) {
    while (!Line(timeoutMs).empty()) {
    }
  }
  std::vector<std::string> Lines() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_lines;
  }

 private:
  int m_fd;
  int m_dataListen = -1;
  int m_data = -1;
  std::string m_buffer;
  std::mutex m_mutex;
  std::vector<std::string> m_lines;
};

// Accepts one connection and plays the script on it in a thread of its own.
class ScriptedServer {
 public:
  explicit ScriptedServer(std::function<void(Peer&)> script, bool v6 = false) {
    m_listen = ListenLoopback(&m_port, v6);
    m_thread = std::thread([this, script] {
      int fd = AcceptWithin(m_listen, 10000);
      if (fd < 0) return;
      Peer peer(fd);
      script(peer);
      std::lock_guard<std::mutex> lock(m_mutex);
      m_lines = peer.Lines();
    });
  }
  ~ScriptedServer() {
    if (m_thread.joinable()) m_thread.join();
    close(m_listen);
  }
  uint16_t Port() const { return m_port; }
  // Every line the client sent; waits for the script to end first.
  std::vector<std::string> Received() {
    if (m_thread.joinable()) m_thread.join();
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_lines;
  }

 private:
  int m_listen = -1;
  uint16_t m_port = 0;
  std::thread m_thread;
  std::mutex m_mutex;
  std::vector<std::string> m_lines;
};

// Accepts up to `connections` connections, one after the other as they come, and plays
// script(peer, index) on each in a thread of its own, so that a client holding several
// connections at once (a walk) is served.
class MultiScriptedServer {
 public:
  MultiScriptedServer(std::function<void(Peer&, int)> script, int connections)
      : m_lines(static_cast<size_t>(connections)), m_done(static_cast<size_t>(connections)) {
    m_listen = ListenLoopback(&m_port);
    m_acceptor = std::thread([this, script, connections] {
      for (int i = 0; i < connections && !m_stop; ++i) {
        int fd = -1;
        while (fd < 0 && !m_stop) fd = AcceptWithin(m_listen, 200);
        if (fd < 0) break;
        std::lock_guard<std::mutex> lock(m_mutex);
        m_threads.emplace_back([this, script, fd, i] {
          Peer peer(fd);
          script(peer, i);
          std::lock_guard<std::mutex> inner(m_mutex);
          m_lines[static_cast<size_t>(i)] = peer.Lines();
          m_done[static_cast<size_t>(i)] = true;
        });
      }
    });
  }
  ~MultiScriptedServer() { Stop(); }
  uint16_t Port() const { return m_port; }
  // Stops accepting and waits for every script to end.
  void Stop() {
    m_stop = true;
    if (m_acceptor.joinable()) m_acceptor.join();
    std::vector<std::thread> threads;
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      threads.swap(m_threads);
    }
    for (auto& t : threads) t.join();
    if (m_listen >= 0) close(m_listen);
    m_listen = -1;
  }
  // Waits (bounded) until the script of connection index has ended.
  bool WaitDone(int index, int timeoutMs = 5000) {
    for (int waited = 0; waited < timeoutMs; waited += 10) {
      {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_done[static_cast<size_t>(index)]) return true;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  }
  // The lines each finished connection received, in the order the connections came (the order
  // in which their scripts end depends on scheduling).
  std::vector<std::vector<std::string>> Received() {
    Stop();
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<std::vector<std::string>> finished;
    for (size_t i = 0; i < m_lines.size(); ++i)
      if (m_done[i]) finished.push_back(m_lines[i]);
    return finished;
  }

 private:
  int m_listen = -1;
  uint16_t m_port = 0;
  std::atomic<bool> m_stop{false};
  std::thread m_acceptor;
  std::mutex m_mutex;
  std::vector<std::thread> m_threads;
  std::vector<std::vector<std::string>> m_lines;
  std::vector<bool> m_done;
};

inline bool Contains(const std::vector<std::string>& lines, const std::string& prefix) {
  for (const auto& l : lines)
    if (l.rfind(prefix, 0) == 0) return true;
  return false;
}

}  // namespace scripted
