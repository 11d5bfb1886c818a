// The control connection of one FTP session: sends command lines, reads replies through the
// reply reader with the time-outs of the layer, and is the only writer of the thread's last
// response. A control connection that timed out or dropped is dead: the server's state is
// unknown, so every later call fails at once with the same error instead of waiting again.
//
// The texts of its failures name the command whose reply was awaited ("no reply to PWD within
// 60 s"): they are shown to the user beside the error number.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "ftp/FtpReply.h"
#include "net/Socket.h"
#include "net/Tls.h"
#include "trox/InternetError.h"

namespace trox::ftp {

// Which replies of a command become the thread's last response.
enum class Record {
  Always,   // the reply the caller may ask for (log-in, CWD, transfers, raw commands)
  OnError,  // housekeeping whose success says nothing (TYPE, EPSV, PASV, PWD before a listing)
  Never,    // probes whose refusal is expected and handled (FEAT, OPTS, SIZE, EPSV)
};

// The calling thread's last response; code 0 when there is none.
struct LastResponse {
  int code = 0;
  std::string text;
};
const LastResponse& ThreadLastResponse();
// Forgets the thread's last response: a call that failed for a reason other than a server reply
// (a time-out, a drop, data that ended short, a local error) must not leave an older reply to be
// taken for its cause.
void ForgetLastResponse();
// True when the failure numbered `error` is explained by the server's reply (a refusal, a
// refused log-in, an unusable passive reply), which the failing call made the last response.
bool ErrorComesWithReply(uint32_t error);

// A command line as it may be shown: the argument of PASS (and ACCT) replaced by "****".
std::string MaskedCommand(const std::string& line);
// Writes a line to standard error when TROX_FTP_TRACE is set, commands masked as above; the
// only place that shows what goes over the control connection.
void TraceLine(const char* direction, const std::string& line);

class FtpControl {
 public:
  explicit FtpControl(const InternetTimeouts& timeouts) : m_timeouts(timeouts) {}

  // Connects; throws 12007, 12029 or 12002.
  void Connect(const std::string& host, uint16_t port);
  // Secures the connection from here on (after AUTH TLS, or before the greeting when the port
  // speaks TLS from the first byte). A failure kills the connection: nothing more goes in clear.
  void StartTls(const net::TlsPeer& peer);
  // The control connection's TLS session, which data connections resume; null in clear text.
  const net::TlsSession* Tls() const { return m_tls.get(); }
  // Sends one command (CRLF added). Throws when the connection is dead or drops.
  void Send(const std::string& command);
  // Reads the next complete reply within the idle and whole-reply bounds.
  FtpReply Read(Record record);
  // Reads replies up to the first one that is not preliminary ("120 ready in a minute", "150
  // here it comes"); all of them together within one whole-reply bound, so that a server cannot
  // stretch the wait by sending many.
  FtpReply ReadFinal(Record record);
  // Send and Read.
  FtpReply Exec(const std::string& command, Record record = Record::Always);
  // The verb of the last command sent ("RETR"), for texts; "" before the first.
  const std::string& LastVerb() const { return m_lastVerb; }
  // Makes a reply read earlier the thread's last response (for a positive reply that turned
  // out to be unusable, such as an unparsable 227).
  void RecordReply(const FtpReply& reply);

  // Throws the error that killed the connection, if any.
  void CheckAlive() const;
  bool Dead() const { return m_deadError != 0; }
  // For an idle connection between commands: false when it is dead, closed, or the server has
  // said something unasked (its goodbye, "421 Timeout") or closed it meanwhile. Such a
  // connection is marked dead.
  bool IdleAndAlive();
  // Marks the connection dead (a data connection timed out: the server's state is unknown).
  void MarkDead(uint32_t error, const std::string& text);
  // Sends QUIT without waiting for the answer, then closes.
  void Quit();

  net::Socket& Socket() { return m_socket; }
  const net::Socket& Socket() const { return m_socket; }
  const InternetTimeouts& Timeouts() const { return m_timeouts; }

 private:
  [[noreturn]] void Fail(const CInternetException& e);
  FtpReply ReadBy(Record record, std::chrono::steady_clock::time_point deadline);
  // "the reply to PWD", or "the server's greeting" before any command.
  std::string AwaitedText() const;
  void SendBytes(const std::string& bytes);
  bool WaitReadable(int timeoutMs);
  size_t ReceiveSome(char* buffer, size_t size, int idleMs);

  InternetTimeouts m_timeouts;
  net::Socket m_socket;
  std::unique_ptr<net::TlsSession> m_tls;  // declared after the socket: ends before it closes
  FtpReplyReader m_reader;
  uint32_t m_deadError = 0;
  std::string m_deadText;
  std::string m_lastVerb;
};

}  // namespace trox::ftp
