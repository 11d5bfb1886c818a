// A scripted FTP server on loopback for what no real server does on demand. Each connection is
// played in a thread of its own, either by a script that the test writes against a Peer, command
// by command, or by the server's own session over a folder tree that the test fills, where the
// answer to any command can be replaced and any transfer made to end badly. Standard library and
// POSIX sockets only; every wait is bounded, so a test never hangs on it.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "trox/InternetError.h"

// Short client time-outs for one test (so a silent server fails fast), put back afterwards.
class ScopedInternetTimeouts {
 public:
  ScopedInternetTimeouts(int connectMs, int idleMs, int replyTotalMs)
      : m_saved(GetInternetTimeouts()) {
    InternetTimeouts t;
    t.connectMs = connectMs;
    t.idleMs = idleMs;
    t.replyTotalMs = replyTotalMs;
    SetInternetTimeouts(t);
  }
  ~ScopedInternetTimeouts() { SetInternetTimeouts(m_saved); }
  ScopedInternetTimeouts(const ScopedInternetTimeouts&) = delete;
  ScopedInternetTimeouts& operator=(const ScopedInternetTimeouts&) = delete;

 private:
  InternetTimeouts m_saved;
};

namespace scripted {

// A listening socket on 127.0.0.1 (or ::1) with a port the kernel picks; -1 on failure.
int ListenLoopback(uint16_t* port, bool v6 = false);

// One accepted connection as a script sees it.
class Peer {
 public:
  // Lines heard are handed to `heard` too; once *stop is set, waiting for a line ends early.
  explicit Peer(int fd, const std::atomic<bool>* stop = nullptr,
                std::function<void(const std::string&)> heard = {});
  ~Peer();
  Peer(const Peer&) = delete;
  Peer& operator=(const Peer&) = delete;

  void Send(const std::string& text);
  void Reply(const std::string& line) { Send(line + "\r\n"); }
  // The next command line; "" when the client closed or said nothing for a while.
  std::string Line(int timeoutMs = 5000);
  // Answers commands from a table until the client says `until` (which is not answered);
  // unknown commands get "500 Unknown".
  std::string AnswerUntil(const std::string& until,
                          const std::vector<std::pair<std::string, std::string>>& answers);
  // The usual log-in: greeting, USER, PASS, and a FEAT with the given features.
  void LogIn(const std::string& features = "");
  // A passive data listener; the reply to EPSV that names it.
  std::string OpenPassive(bool v6 = false);
  // A passive data listener named by a 227 reply; by default it points at another host, so that
  // only the port is meant to be used.
  std::string OpenPassivePasv(const std::string& host = "10,255,255,1");
  // Active mode over IPv4: connects to the port that a "PORT h1,h2,h3,h4,p1,p2" line names.
  int ConnectPort(const std::string& portLine);
  // Active mode: connects to the port that an "EPRT |2|::1|port|" line names.
  int ConnectActive6(const std::string& eprt);
  int AcceptData();
  void SendData(const std::string& bytes);
  // What the client sends on the data connection until it closes it (or `most` bytes).
  std::string ReadData(size_t most = std::string::npos);
  // Reads some of what the client sends, then breaks the data connection off with a reset.
  void TakeSomeDataThenReset(size_t bytes);
  void CloseData();
  // Waits until the client closes the control connection (or a bound passes).
  void WaitForClose(int timeoutMs = 10000);
  std::vector<std::string> Lines() const;

 private:
  int m_fd;
  int m_dataListen = -1;
  int m_data = -1;
  const std::atomic<bool>* m_stop;
  std::function<void(const std::string&)> m_heard;
  std::string m_buffer;
  std::vector<std::string> m_lines;
};

// How the data connection of a transfer (a file, or a folder's listing) ends.
enum class Ending {
  Complete,    // all of it, then 226
  Short,       // the first half, then 226 all the same
  ErrorReply,  // all of it, then 426
  ShortError,  // the first half, then 426
  ReplyFirst,  // 226 first, then all of it
  No150,       // all of it and 226, but no 150 before
  Stall,       // the first half, then nothing until the client goes
  Drop,        // the first half, then both connections close
  Refused,     // a 550 instead of a data connection
};

struct File {
  std::string bytes;
  Ending ending = Ending::Complete;
};

// A line of a Unix-style listing: type '-' or 'd'.
std::string ListLine(char type, size_t size, const std::string& name);

class ScriptedFtpServer {
 public:
  using Script = std::function<void(Peer&, int index)>;
  // Answers a command in place of the server (true) or lets the server answer it (false).
  using Hook = std::function<bool(Peer&, const std::string& argument)>;

  // Serves the folder tree that the test fills, on any number of connections.
  ScriptedFtpServer();
  // Plays the script on each of up to `connections` connections, numbered as they come.
  ScriptedFtpServer(Script script, int connections, bool v6 = false);
  // Plays the script on one connection.
  explicit ScriptedFtpServer(std::function<void(Peer&)> script, bool v6 = false);
  ~ScriptedFtpServer();
  ScriptedFtpServer(const ScriptedFtpServer&) = delete;
  ScriptedFtpServer& operator=(const ScriptedFtpServer&) = delete;

  uint16_t Port() const { return m_port; }

  // The tree, filled before the client comes. A folder that was never added cannot be entered;
  // one added without a listing is empty. Paths are absolute, "/" first.
  void AddFolder(const std::string& path, const std::string& listing = "",
                 Ending ending = Ending::Complete) {
    Locked([&] { m_folders[path] = {listing, ending}; });
  }
  void AddFile(const std::string& path, File file) {
    Locked([&] { m_files[path] = std::move(file); });
  }
  // Without SIZE, and with 150 replies that name no size, the client knows a file's size only
  // from its listing.
  void OfferSize(bool offer) {
    Locked([&] { m_offerSize = offer; });
  }
  // A greeting other than 220 is all that a session says.
  void Greeting(const std::string& line) {
    Locked([&] { m_greeting = line; });
  }
  void On(const std::string& verb, Hook hook) {
    Locked([&] { m_hooks[verb] = std::move(hook); });
  }
  void Answer(const std::string& verb, const std::string& reply);
  // The next file transfer, whichever way and whatever file, ends so instead of its own way.
  void EndNextTransfer(Ending ending) {
    Locked([&] { m_nextEnding = ending; });
  }
  // What the client stored under path ("" for nothing).
  std::string Stored(const std::string& path) {
    return Locked([&] { return m_stored[path]; });
  }

  // Every line received so far, on all connections, in the order they came.
  std::vector<std::string> Commands();
  // The same, once no more connections are taken and every session has ended.
  std::vector<std::string> Received();
  // The lines of each finished connection, in the order the connections came.
  std::vector<std::vector<std::string>> Sessions();
  // Waits (bounded) until the session of connection index has ended.
  bool WaitDone(int index, int timeoutMs = 5000);
  // Takes no more connections and waits for every session to end.
  void Stop();

 private:
  void Start(Script script, int connections, bool v6);
  void ServeTree(Peer& p);
  // Plays one transfer: sends the file (RETR, LIST), or receives one and keeps it under storeAs
  // (STOR). False when the session ends with it.
  bool Transfer(Peer& p, const std::string& portLine, const File& file,
                const std::string& storeAs = "");
  template <class F>
  auto Locked(F f) -> decltype(f()) {
    std::lock_guard<std::mutex> lock(m_mutex);
    return f();
  }

  int m_listen = -1;
  uint16_t m_port = 0;
  std::atomic<bool> m_stop{false};
  std::thread m_acceptor;
  std::mutex m_mutex;
  std::vector<std::thread> m_sessions;
  std::vector<std::string> m_commands;
  std::vector<std::vector<std::string>> m_sessionLines;
  std::vector<bool> m_done;
  std::map<std::string, File> m_folders;  // a listing is the folder's "file"
  std::map<std::string, File> m_files;
  std::map<std::string, std::string> m_stored;
  std::map<std::string, Hook> m_hooks;
  std::optional<Ending> m_nextEnding;
  std::string m_greeting = "220 scripted server";
  bool m_offerSize = true;
};

inline bool Contains(const std::vector<std::string>& lines, const std::string& prefix) {
  for (const auto& l : lines)
    if (l.rfind(prefix, 0) == 0) return true;
  return false;
}

}  // namespace scripted
