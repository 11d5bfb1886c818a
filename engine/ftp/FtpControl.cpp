#include "ftp/FtpControl.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

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

bool StartsWithNoCase(const std::string& s, const char* prefix) {
  size_t n = std::strlen(prefix);
  if (s.size() < n) return false;
  for (size_t i = 0; i < n; ++i)
    if (std::toupper(static_cast<unsigned char>(s[i])) != prefix[i]) return false;
  return true;
}

}  // namespace

const LastResponse& ThreadLastResponse() {
  return t_lastResponse;
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

void FtpControl::CheckAlive() const {
  if (m_deadError) throw CInternetException(m_deadError, m_deadText);
  if (!m_socket.Valid())
    throw CInternetException(ERROR_INTERNET_INCORRECT_HANDLE_STATE, "the connection is closed");
}

void FtpControl::MarkDead(uint32_t error, const std::string& text) {
  if (m_deadError) return;
  m_deadError = error;
  m_deadText = text;
  m_socket.Close();
}

void FtpControl::Fail(const CInternetException& e) {
  MarkDead(e.m_dwError, e.m_text);
  throw e;
}

void FtpControl::Send(const std::string& command) {
  CheckAlive();
  TraceLine(">", command);
  std::string line = command + "\r\n";
  try {
    m_socket.SendAll(line.data(), line.size(), m_timeouts.idleMs);
  } catch (const CInternetException& e) {
    Fail(e);
  }
}

FtpReply FtpControl::Read(Record record) {
  CheckAlive();
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(m_timeouts.replyTotalMs);
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
      Fail(CInternetException(ERROR_INTERNET_CONNECTION_ABORTED, m_reader.Error()));
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0)
      Fail(CInternetException(ERROR_INTERNET_TIMEOUT, "the server's reply did not end in time"));
    int wait = static_cast<int>(std::min<long long>(left.count(), m_timeouts.idleMs));
    char buffer[4096];
    size_t n = 0;
    try {
      if (!m_socket.WaitReadable(wait))
        Fail(CInternetException(ERROR_INTERNET_TIMEOUT, "the server did not answer"));
      n = m_socket.ReceiveSome(buffer, sizeof buffer, wait);
    } catch (const CInternetException& e) {
      Fail(e);
    }
    if (n == 0)
      Fail(CInternetException(ERROR_INTERNET_CONNECTION_ABORTED,
                              "the server closed the control connection"));
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
  m_socket.Close();
}

}  // namespace trox::ftp
