#include "ftp/FtpDataStream.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "ftp/FtpConnectionImpl.h"
#include "trox/LocalFile.h"

namespace trox::ftp {

namespace {
constexpr size_t kAsciiChunk = 64 * 1024;
constexpr size_t kSpliceChunk = 1024 * 1024;

// The callers of an open remote file see its failures as exceptions; one that is not the
// server's reply must not leave an older reply standing as the last response.
template <typename Fn>
auto ForgettingStaleReplies(Fn&& fn) -> decltype(fn()) {
  try {
    return fn();
  } catch (const CInternetException& e) {
    if (!ErrorComesWithReply(e.m_dwError)) ForgetLastResponse();
    throw;
  }
}

std::string Bytes(uint64_t n) {
  return std::to_string(n) + (n == 1 ? " byte" : " bytes");
}
}  // namespace

FtpDataStream::FtpDataStream(CFtpConnectionImpl* owner, net::Socket socket, bool upload, bool ascii,
                             std::optional<uint64_t> announcedSize,
                             std::unique_ptr<net::TlsSession> tls)
    : m_owner(owner),
      m_socket(std::move(socket)),
      m_tls(std::move(tls)),
      m_upload(upload),
      m_ascii(ascii),
      m_announcedSize(announcedSize) {}

FtpDataStream::~FtpDataStream() {
  try {
    if (!m_finished && m_owner) Finish(!m_upload && !m_eof);
  } catch (...) {
  }
  if (m_owner) m_owner->StreamClosed(this);
}

void FtpDataStream::Detach() {
  m_tls.reset();
  m_socket.Close();
  m_owner = nullptr;
  m_finished = true;
  m_failed = true;
}

void FtpDataStream::CheckUsable() const {
  if (!m_owner)
    throw CInternetException(ERROR_INTERNET_INCORRECT_HANDLE_STATE, "the connection is closed");
  if (m_failed)
    throw CInternetException(ERROR_INTERNET_CONNECTION_ABORTED, "the transfer has failed");
}

void FtpDataStream::Release() {
  m_finished = true;
  m_tls.reset();
  m_socket.Close();
  if (m_owner) m_owner->StreamClosed(this);
}

void FtpDataStream::DataFailed(const CInternetException& cause) {
  m_failed = true;
  Release();
  FtpControl& control = m_owner->Control();
  const CInternetException e(cause.m_dwError,
                             "the data connection of " + control.LastVerb() + ": " + cause.m_text);
  if (e.m_dwError == ERROR_INTERNET_TIMEOUT) {
    control.MarkDead(e.m_dwError, e.m_text);
    throw e;
  }
  // The server usually explains a broken data connection on the control connection (a full
  // disk, a refused upload); its reply is the better report.
  try {
    FtpReply reply = control.ReadFinal(Record::Always);
    if (reply.IsError()) throw CInternetException(ERROR_INTERNET_EXTENDED_ERROR, reply.Text());
  } catch (const CInternetException& later) {
    if (later.m_dwError == ERROR_INTERNET_EXTENDED_ERROR) throw;
  }
  throw e;
}

void FtpDataStream::CountReceived(size_t n) {
  m_wireBytes += n;
  // Binary data is counted exactly; text may grow on the way by line-end conversion.
  if (m_ascii || !m_announcedSize || m_wireBytes <= *m_announcedSize) return;
  const uint64_t announced = *m_announcedSize;
  // The rest is not waited for: the data connection is closed and the final reply read, so that
  // the control connection stays in step.
  try {
    Finish(true);
  } catch (const CInternetException&) {
    // A control connection that fails here is dead already and says so at its next use.
  }
  m_failed = true;
  throw CInternetException(ERROR_INTERNET_CONNECTION_ABORTED,
                           "the server sent more data than the " + Bytes(announced) + " announced");
}

size_t FtpDataStream::ReceiveRaw(char* buffer, size_t size) {
  size_t n = 0;
  try {
    const int idleMs = m_owner->Control().Timeouts().idleMs;
    n = m_tls ? m_tls->ReceiveSome(buffer, size, idleMs)
              : m_socket.ReceiveSome(buffer, size, idleMs);
  } catch (const CInternetException& e) {
    DataFailed(e);
  }
  if (n == 0) m_eof = true;
  CountReceived(n);
  return n;
}

void FtpDataStream::SendRaw(const char* data, size_t size) {
  try {
    const int idleMs = m_owner->Control().Timeouts().idleMs;
    if (m_tls)
      m_tls->SendAll(data, size, idleMs);
    else
      m_socket.SendAll(data, size, idleMs);
  } catch (const CInternetException& e) {
    DataFailed(e);
  }
  m_wireBytes += size;
}

size_t FtpDataStream::ReadBlock(char* buffer, size_t size) {
  CheckUsable();
  if (m_finished && m_pendingPos >= m_pending.size()) return 0;
  size_t filled = 0;
  while (filled < size) {
    if (m_pendingPos < m_pending.size()) {
      size_t take = std::min(size - filled, m_pending.size() - m_pendingPos);
      std::memcpy(buffer + filled, m_pending.data() + m_pendingPos, take);
      m_pendingPos += take;
      filled += take;
      continue;
    }
    if (m_eof) break;
    if (!m_ascii) {
      filled += ReceiveRaw(buffer + filled, size - filled);
      continue;
    }
    m_raw.resize(kAsciiChunk);
    size_t n = ReceiveRaw(m_raw.data(), m_raw.size());
    m_pending.clear();
    m_pendingPos = 0;
    if (n == 0)
      m_fromNetwork.Finish(m_pending);
    else
      m_fromNetwork.Convert(std::string_view(m_raw.data(), n), m_pending);
  }
  if (m_eof && !m_finished && m_pendingPos >= m_pending.size()) Finish(false);
  return filled;
}

bool FtpDataStream::ReceiveIntoFile(int fd) {
  CheckUsable();
  if (m_ascii || m_tls || m_finished || m_pendingPos < m_pending.size()) return false;
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) return false;
  const CLocalFile readEnd(fds[0]), writeEnd(fds[1]);
  // A larger pipe moves more per call; refused quietly where the limit is lower.
  ::fcntl(fds[1], F_SETPIPE_SZ, static_cast<int>(kSpliceChunk));
  const int idleMs = m_owner->Control().Timeouts().idleMs;
  bool spliceOut = true;  // false once the file has refused spliced data: copy through a buffer
  while (!m_eof) {
    ssize_t n = ::splice(m_socket.Fd(), nullptr, fds[1], nullptr, kSpliceChunk,
                         SPLICE_F_MOVE | SPLICE_F_NONBLOCK);
    if (n < 0) {
      if (errno == EINTR) continue;
      // The pipe is always empty here, so "would block" is the socket's.
      if (errno == EAGAIN || errno == EWOULDBLOCK) {
        bool ready = false;
        try {
          ready = m_socket.WaitReadable(idleMs);
        } catch (const CInternetException& e) {
          DataFailed(e);
        }
        if (!ready)
          DataFailed(CInternetException(ERROR_INTERNET_TIMEOUT,
                                        "nothing came within " + net::DurationText(idleMs)));
        continue;
      }
      int err = errno;
      DataFailed(
          CInternetException(net::MapSocketErrno(err, false),
                             ErrorNumberText(static_cast<uint32_t>(err), "the connection broke")));
    }
    if (n == 0) {
      m_eof = true;
      break;
    }
    CountReceived(static_cast<size_t>(n));
    size_t left = static_cast<size_t>(n);
    while (left > 0) {
      ssize_t w = -1;
      if (spliceOut) {
        w = ::splice(fds[0], nullptr, fd, nullptr, left, SPLICE_F_MOVE);
        if (w < 0 && errno == EINVAL) {
          spliceOut = false;
          continue;
        }
      } else {
        char buffer[16 * 1024];
        const ssize_t r = ReadSome(fds[0], buffer, std::min(left, sizeof buffer));
        if (r <= 0) throw CInternetException(EIO, "cannot write the received data");
        if (!WriteAll(fd, buffer, static_cast<size_t>(r)))
          throw CInternetException(static_cast<uint32_t>(errno), "cannot write the received data");
        w = r;
      }
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) {
        int err = w == 0 ? EIO : errno;
        throw CInternetException(static_cast<uint32_t>(err), "cannot write the received data");
      }
      left -= static_cast<size_t>(w);
    }
    m_owner->FileBytesMoved(m_wireBytes);
  }
  Finish(false);
  return true;
}

uint32_t FtpDataStream::Read(void* buffer, uint32_t count) {
  return ForgettingStaleReplies([&] {
    if (m_upload)
      throw CInternetException(ERROR_INTERNET_INVALID_OPERATION, "the file is open for writing");
    return static_cast<uint32_t>(ReadBlock(static_cast<char*>(buffer), count));
  });
}

void FtpDataStream::Write(const void* buffer, uint32_t count) {
  ForgettingStaleReplies([&] {
    const char* data = static_cast<const char*>(buffer);
    if (!m_ascii) {
      WriteWire(data, count);
      return;
    }
    m_raw.clear();
    m_toNetwork.Convert(std::string_view(data, count), m_raw);
    WriteWire(m_raw.data(), m_raw.size());
  });
}

void FtpDataStream::WriteWire(const char* data, size_t size) {
  if (!m_upload)
    throw CInternetException(ERROR_INTERNET_INVALID_OPERATION, "the file is open for reading");
  CheckUsable();
  if (m_finished)
    throw CInternetException(ERROR_INTERNET_INCORRECT_HANDLE_STATE, "the file is closed");
  SendRaw(data, size);
}

void FtpDataStream::Abandon() {
  if (m_finished || !m_owner) return;
  Finish(true);
}

void FtpDataStream::Close() {
  if (m_finished) return;
  if (!m_owner) return;
  ForgettingStaleReplies([&] { Finish(!m_upload && !m_eof); });
}

void FtpDataStream::Finish(bool abandoned) {
  if (m_tls && m_upload && !abandoned && !m_failed) {
    // Without the close the server cannot tell the whole file from a cut-off one.
    const int idleMs = m_owner->Control().Timeouts().idleMs;
    try {
      m_tls->Bye(idleMs);
    } catch (const CInternetException& e) {
      DataFailed(e);
    }
    // The server's own records (a TLS 1.3 session ticket, its close) must be read before the
    // socket is closed: closing with unread data resets the connection, and the server may then
    // lose the end of the file. It closes once it has read ours.
    m_socket.ShutdownWrite();
    char scratch[4096];
    while (m_socket.WaitReadable(idleMs) &&
           ::recv(m_socket.Fd(), scratch, sizeof scratch, MSG_DONTWAIT) > 0) {
    }
  }
  Release();  // an upload's end of data; for an abandoned download the server sees a reset
  FtpControl& control = m_owner->Control();
  Record record = abandoned ? Record::Never : Record::Always;
  FtpReply reply = control.ReadFinal(record);
  if (abandoned) return;
  if (reply.IsError()) {
    m_failed = true;
    throw CInternetException(ERROR_INTERNET_EXTENDED_ERROR, reply.Text());
  }
  if (reply.code >= 300) {
    // "More is needed" cannot end a transfer: the replies are out of step with the commands.
    m_failed = true;
    control.MarkDead(ERROR_FTP_DROPPED, "the server's replies are out of step");
    throw CInternetException(ERROR_FTP_DROPPED, "the server answered \"" + reply.Text() +
                                                    "\" at the end of " + control.LastVerb());
  }
  if (!m_upload && m_announcedSize && m_wireBytes < *m_announcedSize) {
    m_failed = true;
    throw CInternetException(
        ERROR_INTERNET_CONNECTION_ABORTED,
        "the data ended after " + std::to_string(m_wireBytes) + " of " + Bytes(*m_announcedSize));
  }
}

}  // namespace trox::ftp
