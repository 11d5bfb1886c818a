#include "ftp/FtpControl.h"

#include <sys/socket.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "trox/AsciiCase.h"

namespace trox::ftp {

namespace {

thread_local LastResponse t_lastResponse;

bool TraceOn() {
  static const bool on = [] {
    const char* v = std::getenv("TROX_FTP_TRACE");
    return v && *v && std::strcmp(v, "0") != 0;
  }();
  return on;
}

}  // namespace

const LastResponse& ThreadLastResponse() {
  return t_lastResponse;
}

void ForgetLastResponse() {
  t_lastResponse = LastResponse();
}

bool ErrorComesWithReply(uint32_t error) {
  switch (error) {
    case ERROR_INTERNET_EXTENDED_ERROR:
    case ERROR_INTERNET_INCORRECT_USER_NAME:
    case ERROR_INTERNET_INCORRECT_PASSWORD:
    case ERROR_INTERNET_LOGIN_FAILURE:
    case ERROR_FTP_NO_PASSIVE_MODE:
      return true;
    default:
      return false;
  }
}

std::string MaskedCommand(const std::string& line) {
  if (StartsWithNoCase(line, "PASS ") || StartsWithNoCase(line, "ACCT "))
    return line.substr(0, 5) + "****";
  return line;
}

void TraceLine(const char* direction, const std::string& line) {
  if (!TraceOn()) return;
  std::fprintf(stderr, "ftp %s %s\n", direction, MaskedCommand(line).c_str());
}

void FtpControl::Connect(const std::string& host, uint16_t port) {
  m_socket = net::Socket::Connect(host, port, m_timeouts.connectMs);
  m_socket.SetNoDelay();
  m_socket.SetKeepAlive(60, 15, 4);
}

void FtpControl::StartTls(const net::TlsPeer& peer) {
  CheckAlive();
  try {
    m_tls = net::TlsSession::Connect(m_socket, peer, m_timeouts.idleMs);
  } catch (const CInternetException& e) {
    Fail(e);
  }
}

void FtpControl::SendBytes(const std::string& bytes) {
  if (m_tls)
    m_tls->SendAll(bytes.data(), bytes.size(), m_timeouts.idleMs);
  else
    m_socket.SendAll(bytes.data(), bytes.size(), m_timeouts.idleMs);
}

bool FtpControl::WaitReadable(int timeoutMs) {
  return m_tls ? m_tls->WaitReadable(timeoutMs) : m_socket.WaitReadable(timeoutMs);
}

size_t FtpControl::ReceiveSome(char* buffer, size_t size, int idleMs) {
  return m_tls ? m_tls->ReceiveSome(buffer, size, idleMs)
               : m_socket.ReceiveSome(buffer, size, idleMs);
}

void FtpControl::CheckAlive() const {
  if (m_deadError) throw CInternetException(m_deadError, m_deadText);
  if (!m_socket.Valid())
    throw CInternetException(ERROR_INTERNET_INCORRECT_HANDLE_STATE, "the connection is closed");
}

void FtpControl::MarkDead(uint32_t error, const std::string& text) {
  if (m_deadError) return;
  m_deadError = error;
  m_deadText = text;
  m_tls.reset();
  m_socket.Close();
}

void FtpControl::Fail(const CInternetException& e) {
  MarkDead(e.m_dwError, e.m_text);
  throw e;
}

void FtpControl::Send(const std::string& command) {
  CheckAlive();
  TraceLine(">", command);
  m_lastVerb = command.substr(0, command.find(' '));
  std::string line = command + "\r\n";
  try {
    SendBytes(line);
  } catch (const CInternetException& e) {
    Fail(CInternetException(e.m_dwError, e.m_text + " (sending " + m_lastVerb + ")"));
  }
}

bool FtpControl::IdleAndAlive() {
  if (m_deadError || !m_socket.Valid()) return false;
  try {
    if (!WaitReadable(0)) return true;
    // Nothing is due between commands: what came is the server's goodbye, a reply out of step,
    // or the end of the connection. Its first reply, if complete, says which.
    char buffer[4096];
    ssize_t n = 0;
    if (m_tls) {
      try {
        n = static_cast<ssize_t>(m_tls->ReceiveSome(buffer, sizeof buffer, 0));
      } catch (const CInternetException& e) {
        // A record without data (a TLS 1.3 session ticket) is no word from the server.
        if (e.m_dwError == ERROR_INTERNET_TIMEOUT) return true;
        throw;
      }
    } else {
      n = ::recv(m_socket.Fd(), buffer, sizeof buffer, MSG_DONTWAIT);
    }
    if (n <= 0) {
      MarkDead(ERROR_INTERNET_CONNECTION_ABORTED, "the server closed the connection");
      return false;
    }
    m_reader.Feed(buffer, static_cast<size_t>(n));
    std::optional<FtpReply> unasked = m_reader.Next();
    MarkDead(ERROR_INTERNET_CONNECTION_ABORTED,
             unasked ? unasked->Text() : "the server sent something unasked");
  } catch (const CInternetException& e) {
    MarkDead(e.m_dwError, e.m_text);
  }
  return false;
}

std::string FtpControl::AwaitedText() const {
  return m_lastVerb.empty() ? "the server's greeting" : "the reply to " + m_lastVerb;
}

FtpReply FtpControl::Read(Record record) {
  return ReadBy(record, std::chrono::steady_clock::now() +
                            std::chrono::milliseconds(m_timeouts.replyTotalMs));
}

FtpReply FtpControl::ReadFinal(Record record) {
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(m_timeouts.replyTotalMs);
  FtpReply reply = ReadBy(record, deadline);
  while (reply.IsPreliminary()) reply = ReadBy(record, deadline);
  return reply;
}

FtpReply FtpControl::ReadBy(Record record, std::chrono::steady_clock::time_point deadline) {
  CheckAlive();
  using Clock = std::chrono::steady_clock;
  for (;;) {
    if (auto reply = m_reader.Next()) {
      if (TraceOn())
        for (const std::string& l : reply->lines) TraceLine("<", l);
      if (record == Record::Always || (record == Record::OnError && reply->IsError()))
        RecordReply(*reply);
      // 421: the server is closing the connection. This call reports the reply; later ones
      // fail at once instead of writing into a closed connection.
      if (reply->code == 421) MarkDead(ERROR_INTERNET_CONNECTION_ABORTED, reply->Text());
      return std::move(*reply);
    }
    if (m_reader.Failed())
      Fail(CInternetException(ERROR_INTERNET_CONNECTION_ABORTED,
                              AwaitedText() + " cannot be read: " + m_reader.Error()));
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0)
      Fail(CInternetException(
          ERROR_INTERNET_TIMEOUT,
          AwaitedText() + " did not end within " + net::DurationText(m_timeouts.replyTotalMs)));
    int wait = static_cast<int>(std::min<long long>(left.count(), m_timeouts.idleMs));
    char buffer[4096];
    size_t n = 0;
    try {
      if (!WaitReadable(wait)) {
        if (wait < m_timeouts.idleMs) continue;  // the whole-reply bound is up: said above
        Fail(CInternetException(
            ERROR_INTERNET_TIMEOUT,
            (m_lastVerb.empty() ? "no greeting from the server" : "no reply to " + m_lastVerb) +
                " within " + net::DurationText(wait)));
      }
      n = ReceiveSome(buffer, sizeof buffer, wait);
    } catch (const CInternetException& e) {
      if (Dead()) throw;
      Fail(CInternetException(e.m_dwError, e.m_text + " (waiting for " + AwaitedText() + ")"));
    }
    if (n == 0)
      Fail(CInternetException(
          ERROR_INTERNET_CONNECTION_ABORTED,
          "the server closed the connection (waiting for " + AwaitedText() + ")"));
    m_reader.Feed(buffer, n);
  }
}

FtpReply FtpControl::Exec(const std::string& command, Record record) {
  Send(command);
  return Read(record);
}

void FtpControl::RecordReply(const FtpReply& reply) {
  t_lastResponse.code = reply.code;
  t_lastResponse.text = reply.Text();
}

void FtpControl::Quit() {
  if (!m_deadError && m_socket.Valid()) {
    try {
      // The answer is not waited for: it tells nothing the caller could use, and a round trip
      // per connection adds up in a walk that logs in once per folder.
      Send("QUIT");
    } catch (const CInternetException&) {
    }
  }
  m_tls.reset();
  m_socket.Close();
}

}  // namespace trox::ftp
