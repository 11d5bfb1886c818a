// A small HTTP server on loopback for the upgrade check: it answers every request with one fixed
// reply and records the request lines it received. Header-only so that the command-line tests
// can start one too.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

class LocalHttpServer {
 public:
  explicit LocalHttpServer(std::string body, int status = 200) {
    SetReply(std::move(body), status);
    m_listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (m_listener < 0 || bind(m_listener, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        listen(m_listener, 16) != 0 ||
        getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      throw std::runtime_error("cannot start the local HTTP server");
    }
    m_port = ntohs(address.sin_port);
    m_thread = std::thread([this] { Serve(); });
  }
  ~LocalHttpServer() {
    m_stop = true;
    m_thread.join();
    close(m_listener);
  }
  LocalHttpServer(const LocalHttpServer&) = delete;
  LocalHttpServer& operator=(const LocalHttpServer&) = delete;

  uint16_t Port() const { return m_port; }
  std::string Address() const { return "http://127.0.0.1:" + std::to_string(m_port); }

  void SetReply(std::string body, int status = 200) {
    std::lock_guard lock(m_mutex);
    m_reply = "HTTP/1.0 " + std::to_string(status) + (status == 200 ? " OK" : " Not Found") +
              "\r\nContent-Type: text/html\r\nContent-Length: " + std::to_string(body.size()) +
              "\r\nConnection: close\r\n\r\n" + body;
  }
  std::vector<std::string> RequestLines() const {
    std::lock_guard lock(m_mutex);
    return m_requests;
  }

 private:
  void Serve() {
    while (!m_stop) {
      pollfd p{m_listener, POLLIN, 0};
      if (poll(&p, 1, 50) <= 0) continue;
      int client = accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
      if (client < 0) continue;
      Answer(client);
      close(client);
    }
  }

  // Reads the request head (bounded in size and time), records its first line, replies.
  void Answer(int client) {
    std::string request;
    char buffer[4096];
    for (int waits = 0; request.find("\r\n\r\n") == std::string::npos && waits < 100;) {
      pollfd p{client, POLLIN, 0};
      if (poll(&p, 1, 100) <= 0) {
        ++waits;
        if (m_stop) return;
        continue;
      }
      ssize_t n = recv(client, buffer, sizeof buffer, 0);
      if (n <= 0 || request.size() > 65536) break;
      request.append(buffer, static_cast<size_t>(n));
    }
    std::string reply;
    {
      std::lock_guard lock(m_mutex);
      m_requests.push_back(request.substr(0, request.find("\r\n")));
      reply = m_reply;
    }
    size_t done = 0;
    while (done < reply.size()) {
      ssize_t n = send(client, reply.data() + done, reply.size() - done, MSG_NOSIGNAL);
      if (n <= 0) break;
      done += static_cast<size_t>(n);
    }
    shutdown(client, SHUT_WR);
  }

  int m_listener = -1;
  uint16_t m_port = 0;
  std::atomic<bool> m_stop{false};
  mutable std::mutex m_mutex;
  std::string m_reply;
  std::vector<std::string> m_requests;
  std::thread m_thread;
};

// A loopback port that refuses connections for as long as the object lives: bound, never
// listening, so no other process can take it meanwhile.
class RefusingPort {
 public:
  RefusingPort() {
    m_socket = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (m_socket < 0 || bind(m_socket, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        getsockname(m_socket, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      throw std::runtime_error("cannot reserve a port");
    }
    m_port = ntohs(address.sin_port);
  }
  ~RefusingPort() { close(m_socket); }
  RefusingPort(const RefusingPort&) = delete;
  RefusingPort& operator=(const RefusingPort&) = delete;

  std::string Address() const { return "http://127.0.0.1:" + std::to_string(m_port); }

 private:
  int m_socket = -1;
  uint16_t m_port = 0;
};
