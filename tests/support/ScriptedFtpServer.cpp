#include "ScriptedFtpServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <utility>

namespace scripted {

namespace {

// How long a session waits for its client's next command, and how long a stalled transfer
// holds on before it gives up on the client going first.
const int kCommandWaitMs = 10000;
const int kStallMs = 30000;

int Connect(int family, const sockaddr* address, socklen_t length) {
  int fd = socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd >= 0 && connect(fd, address, length) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

void SendAll(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (n <= 0) return;
    done += static_cast<size_t>(n);
  }
}

int AcceptWithin(int listenFd, int timeoutMs) {
  pollfd p{listenFd, POLLIN, 0};
  if (poll(&p, 1, timeoutMs) != 1) return -1;
  return accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
}

// A path argument made absolute against the current folder, without doubled or trailing
// slashes. ".." stays as it is: a server that takes it literally is what the tests want.
std::string Resolve(const std::string& cwd, const std::string& arg) {
  const std::string path = !arg.empty() && arg[0] == '/' ? arg : cwd + "/" + arg;
  std::string out;
  for (char c : path) {
    if (c == '/' && !out.empty() && out.back() == '/') continue;
    out += c;
  }
  if (out.size() > 1 && out.back() == '/') out.pop_back();
  return out;
}

}  // namespace

int ListenLoopback(uint16_t* port, bool v6) {
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
  if (bind(fd, reinterpret_cast<sockaddr*>(&s), len) != 0 || listen(fd, 16) != 0) {
    close(fd);
    return -1;
  }
  getsockname(fd, reinterpret_cast<sockaddr*>(&s), &len);
  *port = ntohs(v6 ? reinterpret_cast<sockaddr_in6*>(&s)->sin6_port
                   : reinterpret_cast<sockaddr_in*>(&s)->sin_port);
  return fd;
}

std::string ListLine(char type, size_t size, const std::string& name) {
  return std::string(1, type) + "rw-r--r--   1 owner    group    " + std::to_string(size) +
         " Jan 01  2020 " + name + "\r\n";
}

// ---- Peer ----

Peer::Peer(int fd, const std::atomic<bool>* stop, std::function<void(const std::string&)> heard)
    : m_fd(fd), m_stop(stop), m_heard(std::move(heard)) {}

Peer::~Peer() {
  CloseData();
  close(m_fd);
}

void Peer::Send(const std::string& text) {
  SendAll(m_fd, text);
}

std::string Peer::Line(int timeoutMs) {
  for (int waited = 0;;) {
    size_t nl = m_buffer.find("\r\n");
    if (nl != std::string::npos) {
      std::string line = m_buffer.substr(0, nl);
      m_buffer.erase(0, nl + 2);
      m_lines.push_back(line);
      if (m_heard) m_heard(line);
      return line;
    }
    // Short slices, so that a server being stopped does not wait out the client's silence.
    pollfd p{m_fd, POLLIN, 0};
    const int slice = std::min(100, timeoutMs - waited);
    if (slice <= 0) return "";
    if (poll(&p, 1, slice) != 1) {
      waited += slice;
      if (m_stop && *m_stop) return "";
      continue;
    }
    char buf[4096];
    ssize_t n = recv(m_fd, buf, sizeof buf, 0);
    if (n <= 0) return "";
    m_buffer.append(buf, static_cast<size_t>(n));
  }
}

std::string Peer::AnswerUntil(const std::string& until,
                              const std::vector<std::pair<std::string, std::string>>& answers) {
  for (;;) {
    std::string line = Line();
    if (line.empty() || line.rfind(until, 0) == 0) return line;
    auto answer = std::find_if(answers.begin(), answers.end(),
                               [&](const auto& a) { return line.rfind(a.first, 0) == 0; });
    if (answer != answers.end())
      Send(answer->second);
    else
      Reply("500 Unknown");
  }
}

void Peer::LogIn(const std::string& features) {
  Reply("220 scripted");
  AnswerUntil("FEAT", {{"USER", "331 Password\r\n"}, {"PASS", "230 In\r\n"}});
  if (features.empty())
    Reply("500 no FEAT");
  else
    Send("211-Features:\r\n" + features + "211 End\r\n");
}

std::string Peer::OpenPassive(bool v6) {
  CloseData();
  uint16_t port = 0;
  m_dataListen = ListenLoopback(&port, v6);
  return "229 Entering Extended Passive Mode (|||" + std::to_string(port) + "|)\r\n";
}

std::string Peer::OpenPassivePasv(const std::string& host) {
  CloseData();
  uint16_t port = 0;
  m_dataListen = ListenLoopback(&port);
  return "227 Entering Passive Mode (" + host + "," + std::to_string(port / 256) + "," +
         std::to_string(port % 256) + ").\r\n";
}

int Peer::ConnectPort(const std::string& portLine) {
  std::vector<int> n;
  size_t p = 5;
  while (p < portLine.size()) {
    size_t comma = portLine.find(',', p);
    n.push_back(std::stoi(portLine.substr(p, comma - p)));
    if (comma == std::string::npos) break;
    p = comma + 1;
  }
  if (n.size() != 6) return -1;
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(static_cast<uint16_t>(n[4] * 256 + n[5]));
  m_data = Connect(AF_INET, reinterpret_cast<sockaddr*>(&a), sizeof a);
  return m_data;
}

int Peer::ConnectActive6(const std::string& eprt) {
  size_t end = eprt.rfind('|');
  size_t start = eprt.rfind('|', end - 1);
  sockaddr_in6 a{};
  a.sin6_family = AF_INET6;
  a.sin6_addr = in6addr_loopback;
  a.sin6_port = htons(static_cast<uint16_t>(std::stoi(eprt.substr(start + 1))));
  m_data = Connect(AF_INET6, reinterpret_cast<sockaddr*>(&a), sizeof a);
  return m_data;
}

int Peer::AcceptData() {
  m_data = AcceptWithin(m_dataListen, 5000);
  return m_data;
}

void Peer::SendData(const std::string& bytes) {
  SendAll(m_data, bytes);
}

std::string Peer::ReadData(size_t most) {
  std::string bytes;
  char buffer[65536];
  while (bytes.size() < most) {
    pollfd p{m_data, POLLIN, 0};
    if (poll(&p, 1, 5000) != 1) break;
    ssize_t n = recv(m_data, buffer, std::min(sizeof buffer, most - bytes.size()), 0);
    if (n <= 0) break;
    bytes.append(buffer, static_cast<size_t>(n));
  }
  return bytes;
}

void Peer::TakeSomeDataThenReset(size_t bytes) {
  ReadData(bytes);
  linger l{1, 0};
  setsockopt(m_data, SOL_SOCKET, SO_LINGER, &l, sizeof l);
  CloseData();
}

void Peer::CloseData() {
  if (m_data >= 0) close(m_data);
  if (m_dataListen >= 0) close(m_dataListen);
  m_data = m_dataListen = -1;
}

void Peer::WaitForClose(int timeoutMs) {
  while (!Line(timeoutMs).empty()) {
  }
}

std::vector<std::string> Peer::Lines() const {
  return m_lines;
}

// ---- The server ----

ScriptedFtpServer::ScriptedFtpServer() {
  Start([this](Peer& p, int) { ServeTree(p); }, -1, false);
}

ScriptedFtpServer::ScriptedFtpServer(Script script, int connections, bool v6) {
  Start(std::move(script), connections, v6);
}

ScriptedFtpServer::ScriptedFtpServer(std::function<void(Peer&)> script, bool v6) {
  Start([script = std::move(script)](Peer& p, int) { script(p); }, 1, v6);
}

ScriptedFtpServer::~ScriptedFtpServer() {
  Stop();
}

void ScriptedFtpServer::Start(Script script, int connections, bool v6) {
  m_listen = ListenLoopback(&m_port, v6);
  m_acceptor = std::thread([this, script = std::move(script), connections] {
    for (int i = 0; (connections < 0 || i < connections) && !m_stop; ++i) {
      int fd = -1;
      while (fd < 0 && !m_stop) fd = AcceptWithin(m_listen, 100);
      if (fd < 0) break;
      std::lock_guard<std::mutex> lock(m_mutex);
      m_sessionLines.emplace_back();
      m_done.push_back(false);
      m_sessions.emplace_back([this, script, fd, i] {
        Peer peer(fd, &m_stop, [this](const std::string& line) {
          std::lock_guard<std::mutex> inner(m_mutex);
          m_commands.push_back(line);
        });
        script(peer, i);
        std::lock_guard<std::mutex> inner(m_mutex);
        m_sessionLines[static_cast<size_t>(i)] = peer.Lines();
        m_done[static_cast<size_t>(i)] = true;
      });
    }
  });
}

void ScriptedFtpServer::Stop() {
  m_stop = true;
  if (m_acceptor.joinable()) m_acceptor.join();
  std::vector<std::thread> sessions;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    sessions.swap(m_sessions);
  }
  for (auto& t : sessions) t.join();
  if (m_listen >= 0) close(m_listen);
  m_listen = -1;
}

std::vector<std::string> ScriptedFtpServer::Commands() {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_commands;
}

std::vector<std::string> ScriptedFtpServer::Received() {
  Stop();
  return Commands();
}

std::vector<std::vector<std::string>> ScriptedFtpServer::Sessions() {
  Stop();
  std::lock_guard<std::mutex> lock(m_mutex);
  std::vector<std::vector<std::string>> finished;
  for (size_t i = 0; i < m_sessionLines.size(); ++i)
    if (m_done[i]) finished.push_back(m_sessionLines[i]);
  return finished;
}

bool ScriptedFtpServer::WaitDone(int index, int timeoutMs) {
  for (int waited = 0; waited < timeoutMs; waited += 10) {
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      if (static_cast<size_t>(index) < m_done.size() && m_done[static_cast<size_t>(index)])
        return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

// ---- The tree ----

void ScriptedFtpServer::Answer(const std::string& verb, const std::string& reply) {
  On(verb, [reply](Peer& p, const std::string&) {
    p.Reply(reply);
    return true;
  });
}

void ScriptedFtpServer::ServeTree(Peer& p) {
  const std::string greeting = Locked([&] { return m_greeting; });
  p.Reply(greeting);
  if (greeting.rfind("220", 0) != 0) {
    p.WaitForClose(3000);
    return;
  }
  std::string cwd = "/";
  std::string portLine;  // active mode once the client sent PORT
  for (;;) {
    const std::string line = p.Line(kCommandWaitMs);
    if (line.empty()) return;
    const size_t space = line.find(' ');
    std::string verb = line.substr(0, space);
    for (char& c : verb) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    const std::string arg = space == std::string::npos ? "" : line.substr(space + 1);
    const std::string path = Resolve(cwd, arg);
    Hook hook;
    std::optional<File> folder, file;
    bool offerSize;
    Locked([&] {
      if (m_hooks.count(verb)) hook = m_hooks[verb];
      if (m_folders.count(verb == "CWD" ? path : cwd))
        folder = m_folders[verb == "CWD" ? path : cwd];
      if (m_files.count(path)) file = m_files[path];
      offerSize = m_offerSize;
    });
    if (hook && hook(p, arg)) continue;
    if (verb == "USER") {
      p.Reply("331 Password please");
    } else if (verb == "PASS") {
      p.Reply("230 Logged in");
    } else if (verb == "FEAT") {
      p.Send(offerSize ? "211-Features:\r\n SIZE\r\n EPSV\r\n211 End\r\n" : "211 No features\r\n");
    } else if (verb == "PWD") {
      p.Reply("257 \"" + cwd + "\" is the current folder");
    } else if (verb == "CWD") {
      if (folder) cwd = path;
      p.Reply(folder ? "250 Okay" : "550 No such folder");
    } else if (verb == "TYPE" || verb == "NOOP") {
      p.Reply("200 Okay");
    } else if (verb == "EPSV") {
      p.Send(p.OpenPassive());
    } else if (verb == "PASV") {
      p.Send(p.OpenPassivePasv("127,0,0,1"));
    } else if (verb == "PORT") {
      portLine = line;
      p.Reply("200 PORT command successful");
    } else if (verb == "SIZE" || (verb == "RETR" && !file)) {
      p.Reply(file ? "213 " + std::to_string(file->bytes.size()) : "550 No such file");
    } else if (verb == "LIST") {
      if (!Transfer(p, portLine, folder.value_or(File{}))) return;
    } else if (verb == "RETR" || verb == "STOR") {
      File f = file.value_or(File{});
      f.ending =
          Locked([&] { return std::exchange(m_nextEnding, std::nullopt); }).value_or(f.ending);
      if (!Transfer(p, portLine, f, verb == "STOR" ? path : "")) return;
    } else if (verb == "QUIT") {
      p.Reply("221 Goodbye");
      return;
    } else {
      p.Reply("502 Not implemented");
    }
  }
}

bool ScriptedFtpServer::Transfer(Peer& p, const std::string& portLine, const File& file,
                                 const std::string& storeAs) {
  const Ending ending = file.ending;
  if (ending == Ending::Refused) {
    p.Reply("550 Permission denied");
    return true;
  }
  if ((portLine.empty() ? p.AcceptData() : p.ConnectPort(portLine)) < 0) {
    p.Reply("425 Cannot open data connection");
    return true;
  }
  if (ending != Ending::No150) p.Reply("150 Here it comes");
  if (ending == Ending::ReplyFirst) p.Reply("226 Transfer complete");
  const bool half = ending == Ending::Short || ending == Ending::ShortError ||
                    ending == Ending::Stall || ending == Ending::Drop;
  if (storeAs.empty()) p.SendData(half ? file.bytes.substr(0, file.bytes.size() / 2) : file.bytes);
  if (ending == Ending::Stall) p.WaitForClose(kStallMs);
  if (ending == Ending::Stall || ending == Ending::Drop) return false;
  if (!storeAs.empty()) {
    std::string bytes = p.ReadData();
    Locked([&] { m_stored[storeAs] = std::move(bytes); });
  }
  p.CloseData();
  if (ending == Ending::ErrorReply || ending == Ending::ShortError)
    p.Reply("426 Connection closed; transfer aborted");
  else if (ending != Ending::ReplyFirst)
    p.Reply("226 Transfer complete");
  return true;
}

}  // namespace scripted
