// A small HTTP server on loopback for the upgrade check, played by the scripted server: it
// answers every request with one fixed reply and records the request lines it received.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "ScriptedFtpServer.h"

class LocalHttpServer {
 public:
  explicit LocalHttpServer(std::string body, int status = 200) {
    SetReply(std::move(body), status);
  }
  LocalHttpServer(const LocalHttpServer&) = delete;
  LocalHttpServer& operator=(const LocalHttpServer&) = delete;

  uint16_t Port() const { return m_server.Port(); }
  std::string Address() const { return "http://127.0.0.1:" + std::to_string(Port()); }

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
  // Reads the request head up to its blank line (bounded in time), records its first line and
  // replies; the connection closes when the script ends.
  void Answer(scripted::Peer& p) {
    const std::string first = p.Line();
    while (!p.Line().empty()) {
    }
    std::lock_guard lock(m_mutex);
    m_requests.push_back(first);
    p.Send(m_reply);
  }

  mutable std::mutex m_mutex;
  std::string m_reply;
  std::vector<std::string> m_requests;
  // Last, so that it stops before the members its sessions use go.
  scripted::ScriptedFtpServer m_server{[this](scripted::Peer& p, int) { Answer(p); }, -1};
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
