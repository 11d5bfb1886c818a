#include "ftp/FtpConnectionImpl.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "ftp/FtpConnectionPool.h"
#include "ftp/FtpDataStream.h"
#include "ftp/FtpList.h"
#include "ftp/LineEnds.h"
#include "trox/AsciiCase.h"
#include "trox/Internet.h"
#include "trox/LocalFile.h"

using trox::ftp::FtpDataStream;
using trox::ftp::FtpReply;
using trox::ftp::Record;
using trox::net::Address;
using trox::net::Socket;

namespace {

// Whole-file transfers that do not stay in the kernel (uploads, text, devices) move data through
// one buffer of this size. Measured on 1 GiB: 256 KiB took four times the system time of 64 KiB, as
// a buffer that no longer fits the CPU cache makes both copies go to memory.
constexpr size_t kFileBuffer = 64 * 1024;
// A listing is held whole while it is parsed; a server that sends one without end must not
// take all memory. A million entries fit many times over.
constexpr size_t kListingCap = 256u * 1024 * 1024;
// How long data that a "done" reply overtook is waited for before the reply is believed.
constexpr int kOvertakenDataWaitMs = 100;
constexpr uint32_t kFirstInternetError = 12000;

[[noreturn]] void Refused(const FtpReply& reply) {
  throw CInternetException(ERROR_INTERNET_EXTENDED_ERROR, reply.Text());
}

// A name with a line break would end the command early and smuggle in another.
void CheckArgument(const std::string& text) {
  if (text.find_first_of(std::string("\r\n\0", 3)) != std::string::npos)
    throw CInternetException(EINVAL, "a line break in an FTP command argument");
}

// A relative name as the server must read it: vsftpd expands a leading "~" to the home folder,
// LIST takes a leading "-" for options, and servers may drop leading blanks.
std::string PathArgument(const std::string& path) {
  if (!path.empty() && (path[0] == '~' || path[0] == '-' || path[0] == ' ')) return "./" + path;
  return path;
}

// A local failure: the number is the system's, whose text the report adds after `what`.
[[noreturn]] void ThrowErrno(int err, const std::string& what) {
  throw CInternetException(static_cast<uint32_t>(err), what);
}

// Transfers whose replies follow the rule: first 1xx, then, after the data, the final reply.
bool IsTransferVerb(const std::string& verb) {
  for (const char* v : {"RETR", "STOR", "LIST", "NLST", "MLSD"})
    if (EqualsNoCase(verb, v)) return true;
  return false;
}

// Whether data came on a data connection that the server's reply says it never used. Waits a
// little: the data travels on another connection than the reply that overtook it.
bool DataCame(trox::net::Socket& socket, bool listening, int waitMs) {
  try {
    Socket accepted;
    Socket* data = &socket;
    if (listening) {
      if (!socket.WaitReadable(waitMs)) return false;
      accepted = socket.Accept(0);
      data = &accepted;
    }
    if (!data->WaitReadable(waitMs)) return false;
    char byte;
    return ::recv(data->Fd(), &byte, 1, MSG_PEEK | MSG_DONTWAIT) > 0;
  } catch (const CInternetException&) {
    return false;
  }
}

bool IsAscii(uint32_t flags) {
  return (flags & 3) == FTP_TRANSFER_TYPE_ASCII;
}

}  // namespace

CFtpConnectionImpl::CFtpConnectionImpl(const FtpLoginSettings& settings,
                                       const InternetTimeouts& timeouts)
    : m_settings(settings), m_control(timeouts) {}

CFtpConnectionImpl::~CFtpConnectionImpl() {
  Close();
}

void CFtpConnectionImpl::Close() {
  if (m_openStream) {
    m_openStream->Detach();
    m_openStream = nullptr;
  }
  m_control.Quit();
}

bool CFtpConnectionImpl::IsAlive() {
  if (m_openStream) return !m_control.Dead();
  return m_control.IdleAndAlive();
}

void CFtpConnectionImpl::OutOfStep(const std::string& what) {
  m_control.MarkDead(ERROR_FTP_DROPPED, "the server's replies are out of step: " + what);
  throw CInternetException(ERROR_FTP_DROPPED, what);
}

void CFtpConnectionImpl::StreamClosed(FtpDataStream* stream) {
  if (m_openStream == stream) m_openStream = nullptr;
}

void CFtpConnectionImpl::LogIn() {
  bool proxy = !m_settings.proxyHost.empty();
  if (proxy)
    m_control.Connect(m_settings.proxyHost, m_settings.proxyPort);
  else
    m_control.Connect(m_settings.server, m_settings.port);

  if (m_settings.security == 2) Secure();
  FtpReply reply = m_control.ReadFinal(Record::Always);  // after any "120 ready in n min"
  if (reply.IsError()) Refused(reply);
  if (m_settings.security == 1) Secure();

  bool anonymous = m_settings.user.empty();
  std::string user = anonymous ? "anonymous" : m_settings.user;
  std::string password = m_settings.password;
  if (anonymous && password.empty()) password = "anonymous@";
  if (proxy) {
    // The proxy learns where to go from the user name.
    user += "@" + m_settings.server;
    if (m_settings.port != 21) user.append(":").append(std::to_string(m_settings.port));
  }
  CheckArgument(user);
  CheckArgument(password);

  auto refusedLogIn = [](const FtpReply& r) -> void {
    uint32_t error = r.code == 530 ? ERROR_INTERNET_INCORRECT_PASSWORD
                                   : (r.code >= 500 ? ERROR_INTERNET_LOGIN_FAILURE
                                                    : ERROR_INTERNET_EXTENDED_ERROR);
    throw CInternetException(error, r.Text());
  };
  reply = m_control.Exec("USER " + user, Record::Always);
  if (reply.code == 331) reply = m_control.Exec("PASS " + password, Record::Always);
  if (reply.code == 332)
    throw CInternetException(ERROR_INTERNET_LOGIN_FAILURE, "the server asks for an account");
  if (reply.IsError()) refusedLogIn(reply);
  if (reply.code != 230 && reply.code != 202)
    throw CInternetException(ERROR_INTERNET_LOGIN_FAILURE, reply.Text());
  m_loginReply = reply;
  if (m_settings.security != 0) {
    // Data connections in clear would undo the secure log-in: a server that will not protect
    // them is not used.
    FtpReply protect = m_control.Exec("PBSZ 0", Record::Never);
    if (protect.IsPositive()) protect = m_control.Exec("PROT P", Record::Never);
    if (!protect.IsPositive()) {
      m_control.MarkDead(ERROR_INTERNET_SECURITY_CHANNEL_ERROR, "no protected data connections");
      throw CInternetException(ERROR_INTERNET_SECURITY_CHANNEL_ERROR,
                               "the server refused protected data connections: " + protect.Text());
    }
  }

  // The log-in reply stays the last response: the probes below record nothing.
  FtpReply feat = m_control.Exec("FEAT", Record::Never);
  m_features = trox::ftp::ParseFeatures(feat);
  if (HasFeature("UTF8")) m_control.Exec("OPTS UTF8 ON", Record::Never);
}

bool CFtpConnectionImpl::ReadyForPool() const {
  return m_loginReply.code != 0 && !m_control.Dead() && m_control.Socket().Valid() &&
         !m_openStream && !m_rawCommandSent && (!m_awayFromHome || m_home);
}

bool CFtpConnectionImpl::Revive() {
  // Anything said on an idle connection is the server's goodbye ("421 Timeout") or the end of
  // the stream: either way it is of no more use.
  if (!m_control.IdleAndAlive()) return false;
  // The way back to the log-in folder is taken by the first command that needs it; a walk's
  // first command goes to a folder by its full path and needs none.
  m_restorePending = m_awayFromHome;
  m_justRevived = true;
  m_control.RecordReply(m_loginReply);
  return true;
}

void CFtpConnectionImpl::LogInAfresh() {
  m_control = trox::ftp::FtpControl(m_control.Timeouts());
  m_features.clear();
  m_type = 0;
  m_noEpsv = m_noEprt = m_noListAll = m_sizeIn150 = false;
  m_home.reset();
  m_awayFromHome = m_restorePending = m_justRevived = false;
  m_loginReply = FtpReply();
  LogIn();
}

void CFtpConnectionImpl::RestoreHome() {
  m_restorePending = false;
  try {
    CheckArgument(*m_home);
    FtpReply reply = m_control.Exec("CWD " + *m_home, Record::Never);
    if (reply.IsPositive()) {
      m_awayFromHome = false;
      return;
    }
  } catch (const CInternetException&) {
  }
  // Dropped while idle, or its folder is gone: what a new connection would be.
  LogInAfresh();
}

void CFtpConnectionImpl::LearnHome() {
  if (m_awayFromHome || m_home || !trox::ftp::FtpConnectionPool::Instance().Active()) return;
  FtpReply reply = m_control.Exec("PWD", Record::Never);
  if (reply.IsPositive() && !reply.lines.empty())
    m_home = trox::ftp::ParsePwdReply(reply.lines.front());
}

bool CFtpConnectionImpl::CheckReady(bool absoluteCwdFollows) {
  m_control.CheckAlive();
  if (m_openStream)
    throw CInternetException(ERROR_FTP_TRANSFER_IN_PROGRESS, "a transfer is still open");
  bool first = m_justRevived;
  m_justRevived = false;
  if (m_restorePending && !absoluteCwdFollows) RestoreHome();
  return first;
}

std::string CFtpConnectionImpl::GetCurrentDirectory() {
  CheckReady();
  FtpReply reply = m_control.Exec("PWD");
  if (reply.IsError()) Refused(reply);
  auto path = trox::ftp::ParsePwdReply(reply.lines.empty() ? "" : reply.lines.front());
  if (!path) Refused(reply);
  if (!m_awayFromHome && !m_home) m_home = path;
  return *path;
}

void CFtpConnectionImpl::SetCurrentDirectory(const std::string& folder) {
  const bool absolute = !folder.empty() && folder[0] == '/';
  const bool firstAfterReuse = CheckReady(absolute);
  CheckArgument(folder);
  LearnHome();
  m_awayFromHome = true;
  FtpReply reply;
  try {
    reply = m_control.Exec("CWD " + PathArgument(folder));
  } catch (const CInternetException& e) {
    if (!firstAfterReuse || e.m_dwError != ERROR_INTERNET_CONNECTION_ABORTED) throw;
  }
  if (firstAfterReuse && (reply.code == 0 || reply.code == 421)) {
    // The server dropped the pooled connection just now: a fresh one, as the caller expects.
    LogInAfresh();
    LearnHome();
    m_awayFromHome = true;
    reply = m_control.Exec("CWD " + PathArgument(folder));
  }
  if (reply.IsPositive()) m_restorePending = false;
  if (!reply.IsPositive()) Refused(reply);
}

void CFtpConnectionImpl::CreateDirectory(const std::string& folder) {
  CheckReady();
  CheckArgument(folder);
  FtpReply reply = m_control.Exec("MKD " + PathArgument(folder));
  if (!reply.IsPositive()) Refused(reply);
}

void CFtpConnectionImpl::Secure() {
  if (m_settings.security == 1) {
    FtpReply reply = m_control.Exec("AUTH TLS", Record::Never);
    if (reply.code != 234) {
      // Nothing more is said on this connection, not even QUIT: it would go in clear.
      m_control.MarkDead(ERROR_INTERNET_SECURITY_CHANNEL_ERROR, "no secure channel");
      throw CInternetException(ERROR_INTERNET_SECURITY_CHANNEL_ERROR,
                               "the server refused AUTH TLS: " + reply.Text());
    }
  }
  m_control.StartTls(PeerToCheck());
}

trox::net::TlsPeer CFtpConnectionImpl::PeerToCheck() const {
  return {m_settings.proxyHost.empty() ? m_settings.server : m_settings.proxyHost, m_settings.pin};
}

std::unique_ptr<trox::net::TlsSession> CFtpConnectionImpl::SecureData(Socket& data) {
  if (m_settings.security == 0) return nullptr;
  try {
    return trox::net::TlsSession::Connect(data, PeerToCheck(), m_control.Timeouts().idleMs,
                                          m_control.Tls());
  } catch (const CInternetException& e) {
    // The server waits inside a transfer that will not happen: start afresh.
    const std::string text = "the data connection of " + m_control.LastVerb() + ": " + e.m_text;
    m_control.MarkDead(e.m_dwError, text);
    throw CInternetException(e.m_dwError, text);
  }
}

void CFtpConnectionImpl::SetType(uint32_t flags) {
  char type = IsAscii(flags) ? 'A' : 'I';
  if (type == m_type) return;
  FtpReply reply = m_control.Exec(std::string("TYPE ") + type, Record::OnError);
  if (!reply.IsPositive()) Refused(reply);
  m_type = type;
}

CFtpConnectionImpl::DataChannel CFtpConnectionImpl::OpenDataChannel() {
  return m_settings.passive ? OpenPassive() : OpenActive();
}

CFtpConnectionImpl::DataChannel CFtpConnectionImpl::OpenPassive() {
  Address peer = m_control.Socket().PeerAddress();
  std::optional<uint16_t> port;
  if (!m_noEpsv) {
    FtpReply reply = m_control.Exec("EPSV", Record::Never);
    if (reply.code == 229) {
      port = trox::ftp::ParseEpsvReply(reply.lines.front());
      if (!port) {
        m_control.RecordReply(reply);
        throw CInternetException(ERROR_FTP_NO_PASSIVE_MODE, "cannot read " + reply.Text());
      }
    } else {
      m_noEpsv = true;  // not offered here; PASV from now on
    }
  }
  if (!port) {
    FtpReply reply = m_control.Exec("PASV", Record::OnError);
    if (!reply.IsPositive()) Refused(reply);
    port = trox::ftp::ParsePasvReply(reply.lines.front());
    if (!port) {
      m_control.RecordReply(reply);
      throw CInternetException(ERROR_FTP_NO_PASSIVE_MODE, "cannot read " + reply.Text());
    }
  }
  // Only the port counts: the data goes to the host we are already talking to, so a server
  // cannot send us to a third one (and a server behind NAT that names its inner address works).
  peer.SetPort(*port);
  DataChannel channel;
  channel.socket = Socket::ConnectTo(peer, m_control.Timeouts().connectMs);
  return channel;
}

CFtpConnectionImpl::DataChannel CFtpConnectionImpl::OpenActive() {
  Address local = m_control.Socket().LocalAddress();
  DataChannel channel;
  channel.socket = Socket::Listen(local);
  channel.listening = true;
  Address listening = channel.socket.LocalAddress();
  std::string host = listening.HostText();
  uint16_t port = listening.Port();
  bool v6 = listening.Family() == AF_INET6;
  if (!m_noEprt) {
    FtpReply reply = m_control.Exec(
        "EPRT |" + std::string(v6 ? "2" : "1") + "|" + host + "|" + std::to_string(port) + "|",
        v6 ? Record::OnError : Record::Never);
    if (reply.IsPositive()) return channel;
    if (v6) Refused(reply);
    m_noEprt = true;
  }
  if (v6) throw CInternetException(ERROR_FTP_NO_PASSIVE_MODE, "PORT cannot name an IPv6 address");
  std::string numbers = host;
  for (char& c : numbers)
    if (c == '.') c = ',';
  FtpReply reply = m_control.Exec(
      "PORT " + numbers + "," + std::to_string(port / 256) + "," + std::to_string(port % 256),
      Record::OnError);
  if (!reply.IsPositive()) Refused(reply);
  return channel;
}

std::optional<uint64_t> CFtpConnectionImpl::RemoteSize(const std::string& remotePath) {
  // A server that tells the size in its 150 reply needs no SIZE round trip per file.
  if (!HasFeature("SIZE") || m_sizeIn150) return std::nullopt;
  FtpReply reply = m_control.Exec("SIZE " + PathArgument(remotePath), Record::Never);
  return trox::ftp::ParseSizeReply(reply.lines.empty() ? "" : reply.lines.front());
}

std::unique_ptr<FtpDataStream> CFtpConnectionImpl::StartTransfer(const std::string& command,
                                                                 uint32_t flags, bool upload,
                                                                 std::optional<uint64_t> knownSize,
                                                                 EarlyData* early) {
  DataChannel channel = OpenDataChannel();
  m_control.Send(command);
  if (early && !channel.listening && !early->bytes.empty() && m_settings.security == 0) {
    // The data waits in the connection while the server opens its file, instead of the whole
    // round trip to its 150 reply waiting for it: a small file is then sent complete at once.
    // Only what the socket takes without waiting: a server that refuses the command and leaves
    // the connection unread must not hold us up. A refusal is read from the reply below.
    early->sent = channel.socket.SendNow(early->bytes.data(), early->bytes.size());
    if (early->wholeFile && early->sent == early->bytes.size()) channel.socket.ShutdownWrite();
  }
  FtpReply reply = m_control.Read(Record::Always);
  if (reply.IsError()) Refused(reply);
  bool ascii = IsAscii(flags);
  const std::string verb = m_control.LastVerb();
  if (!reply.IsPreliminary() && IsTransferVerb(verb)) {
    // Only "done" may come in place of the preliminary reply, and only when no data came (some
    // servers answer an empty listing so). Any other reply belongs to another command: the
    // replies are out of step, and nothing the connection says can be trusted any more.
    if (reply.code != 226 && reply.code != 250)
      OutOfStep("unexpected reply to " + verb + ": \"" + reply.lines.front() + "\"");
    if (!upload && DataCame(channel.socket, channel.listening,
                            std::min(kOvertakenDataWaitMs, m_control.Timeouts().idleMs)))
      OutOfStep("the server answered " + std::to_string(reply.code) + " before 150 to " + verb +
                ", and data came");
  }
  if (!reply.IsPreliminary()) {
    // Final at once: no data follows, which for a file whose size we know is not empty means a
    // failed transfer.
    if (!upload && knownSize && *knownSize > 0)
      throw CInternetException(ERROR_INTERNET_CONNECTION_ABORTED,
                               "the server sent none of " + std::to_string(*knownSize) + " bytes");
    auto stream = std::make_unique<FtpDataStream>(this, Socket(), upload, ascii, std::nullopt);
    stream->MarkFinished();
    return stream;
  }
  std::optional<uint64_t> size = knownSize;
  if (!upload) {
    std::optional<uint64_t> announced = trox::ftp::ParseAnnouncedSize(reply.lines.front());
    if (announced && command.compare(0, 5, "RETR ") == 0) m_sizeIn150 = true;
    if (!size) size = announced;
  }
  Socket data;
  if (channel.listening) {
    try {
      // Only the server may connect: another host that finds the port first is turned away.
      std::string server = m_control.Socket().PeerAddress().HostText();
      for (;;) {
        data = channel.socket.Accept(m_control.Timeouts().idleMs);
        if (data.PeerAddress().HostText() == server) break;
        data.Close();
      }
    } catch (const CInternetException& e) {
      // The server is somewhere inside a transfer that will not happen: start afresh.
      m_control.MarkDead(e.m_dwError, e.m_text);
      throw;
    }
  } else {
    data = std::move(channel.socket);
  }
  std::unique_ptr<trox::net::TlsSession> tls = SecureData(data);
  auto stream =
      std::make_unique<FtpDataStream>(this, std::move(data), upload, ascii, size, std::move(tls));
  m_openStream = stream.get();
  return stream;
}

std::unique_ptr<CInternetFile> CFtpConnectionImpl::OpenFile(const std::string& remotePath,
                                                            uint32_t access, uint32_t flags) {
  CheckReady();
  CheckArgument(remotePath);
  if (access != GENERIC_READ && access != GENERIC_WRITE)
    throw CInternetException(ERROR_INTERNET_INVALID_OPERATION, "open for read or for write");
  SetType(flags);
  if (access == GENERIC_WRITE)
    return StartTransfer("STOR " + PathArgument(remotePath), flags, true, {});
  std::optional<uint64_t> size;
  if (!IsAscii(flags)) size = RemoteSize(remotePath);
  return StartTransfer("RETR " + PathArgument(remotePath), flags, false, size);
}

void CFtpConnectionImpl::GetFile(const std::string& remotePath, const std::string& localPath,
                                 bool failIfExists, uint32_t flags) {
  CheckReady();
  CheckArgument(remotePath);
  if (failIfExists && ::access(localPath.c_str(), F_OK) == 0)
    ThrowErrno(EEXIST, "cannot create " + localPath);
  SetType(flags);
  std::optional<uint64_t> size;
  if (!IsAscii(flags)) size = RemoteSize(remotePath);
  std::unique_ptr<FtpDataStream> stream =
      StartTransfer("RETR " + PathArgument(remotePath), flags, false, size);

  // The local file is made only once the server has agreed to send, and removed again when
  // the transfer fails (an unclosed stream abandons the transfer). O_NONBLOCK: a FIFO without a
  // reader must not hang the open (it has no effect on files).
  CReceivedFile local(localPath);
  if (!local.Open(O_NONBLOCK | (failIfExists ? O_EXCL : 0))) {
    const int err = errno;
    ThrowErrno(err, (local.File().IsOpen() ? "cannot write " : "cannot create ") + localPath);
  }
  try {
    // Binary data into a regular file goes through the kernel only (a third of the CPU time of
    // copying it through a buffer); text must be converted, so it comes through a buffer.
    if (!local.IsRegular() || !stream->ReceiveIntoFile(local.File().Fd())) {
      std::vector<char> buffer(kFileBuffer);
      uint64_t written = 0;
      for (;;) {
        size_t n = stream->ReadBlock(buffer.data(), buffer.size());
        if (!local.File().WriteAll(buffer.data(), n))
          ThrowErrno(errno, "cannot write " + localPath);
        written += n;
        FileBytesMoved(written);
        if (n < buffer.size()) break;
      }
    }
    stream->Close();
    if (!local.Keep()) ThrowErrno(errno, "cannot write " + localPath);
  } catch (const CInternetException& e) {
    if (e.m_dwError < kFirstInternetError)
      ThrowErrno(static_cast<int>(e.m_dwError), "cannot write " + localPath);
    throw;
  }
}

void CFtpConnectionImpl::PutFile(const std::string& localPath, const std::string& remotePath,
                                 uint32_t flags) {
  CheckReady();
  CheckArgument(remotePath);
  CLocalFile local = CLocalFile::Open(localPath, O_RDONLY | O_NONBLOCK);  // a FIFO must not hang
  if (!local.IsOpen()) ThrowErrno(errno, "cannot open " + localPath);
  struct stat st {};
  if (!local.Status(&st)) ThrowErrno(errno, "cannot open " + localPath);
  if (S_ISDIR(st.st_mode)) ThrowErrno(EISDIR, "cannot send " + localPath);

  SetType(flags);
  std::vector<char> buffer(kFileBuffer);
  // Text is converted here, block by block, so that its first block can be offered early too.
  const bool ascii = IsAscii(flags);
  trox::ftp::ToNetworkLineEnds toNetwork;
  std::string converted;
  auto onWire = [&](size_t n) {
    if (!ascii) return std::string_view(buffer.data(), n);
    converted.clear();
    toNetwork.Convert(std::string_view(buffer.data(), n), converted);
    return std::string_view(converted);
  };
  EarlyData early;
  const ssize_t firstRead = local.Read(buffer.data(), buffer.size());
  if (firstRead < 0) ThrowErrno(errno, "cannot read " + localPath);
  const auto first = static_cast<size_t>(firstRead);
  early.bytes = onWire(first);
  // A regular file that ended within the first block needs no second read to know it.
  early.wholeFile =
      S_ISREG(st.st_mode) && static_cast<uint64_t>(st.st_size) == first && first < buffer.size();
  std::unique_ptr<FtpDataStream> stream =
      StartTransfer("STOR " + PathArgument(remotePath), flags, true, {}, &early);
  if (early.sent < early.bytes.size())
    stream->WriteWire(early.bytes.data() + early.sent, early.bytes.size() - early.sent);
  uint64_t sent = first;
  FileBytesMoved(sent);
  // Copied through a buffer rather than handed to the kernel with sendfile(): a zero-copy send
  // queues the file at once and leaves the sending to whoever takes the acknowledgements, which
  // on a local server is the server's own process; copying keeps that work here, and uploads
  // to a local server ran a quarter faster for a little more CPU time.
  bool ended = early.wholeFile && early.sent == early.bytes.size();
  while (!ended) {
    const ssize_t n = local.Read(buffer.data(), buffer.size());
    if (n < 0) {
      int err = errno;
      stream->Abandon();
      ThrowErrno(err, "cannot read " + localPath);
    }
    if (n == 0) break;
    std::string_view wire = onWire(static_cast<size_t>(n));
    stream->WriteWire(wire.data(), wire.size());
    sent += static_cast<uint64_t>(n);
    FileBytesMoved(sent);
  }
  stream->Close();
}

std::unique_ptr<CInternetFile> CFtpConnectionImpl::Command(const std::string& command,
                                                           bool expectResponse, uint32_t flags) {
  CheckReady();
  CheckArgument(command);
  // A raw TYPE changes what the server sends; the next transfer says again what it needs.
  if (StartsWithNoCase(command, "TYPE")) m_type = 0;
  // A raw command may change anything (the folder, the log-in itself): such a connection is
  // never handed to another caller.
  m_rawCommandSent = true;
  if (expectResponse) {
    SetType(flags);
    return StartTransfer(command, flags, false, std::nullopt);
  }
  m_control.Send(command);
  FtpReply reply = m_control.ReadFinal(Record::Always);
  if (reply.IsError()) Refused(reply);
  return nullptr;
}

trox::ftp::FtpListing CFtpConnectionImpl::List(const std::string& mask) {
  CheckReady();
  CheckArgument(mask);
  bool whole = mask.empty() || mask == "*";
  bool mlsd = whole && (HasFeature("MLST") || HasFeature("MLSD"));
  // Listings are text in either type, and the parsers take both line ends, so the type the
  // last transfer left is kept (one TYPE less per folder).
  uint32_t flags = m_type == 'I' ? FTP_TRANSFER_TYPE_BINARY : FTP_TRANSFER_TYPE_ASCII;
  SetType(flags);
  std::string data;
  auto run = [&](const std::string& command) {
    std::unique_ptr<FtpDataStream> stream = StartTransfer(command, flags, false, std::nullopt);
    // Read as bytes: the listing parsers drop the "\r" themselves.
    std::vector<char> buffer(64 * 1024);
    for (;;) {
      size_t n = stream->ReadBlock(buffer.data(), buffer.size());
      data.append(buffer.data(), n);
      if (n < buffer.size()) break;
      if (data.size() > kListingCap)
        throw CInternetException(ERROR_INTERNET_CONNECTION_ABORTED, "the listing never ends");
    }
    stream->Close();
    // vsftpd answers a folder it may enter but not read with an empty listing and a success
    // reply that says so; taken as empty, the folder's files would be lost without a word.
    std::string final;
    if (data.empty() && ReadLastResponse(nullptr, &final) &&
        final.find("failed to open directory") != std::string::npos)
      throw CInternetException(ERROR_INTERNET_EXTENDED_ERROR, final);
  };
  if (mlsd) {
    run("MLSD");
  } else if (!whole) {
    run("LIST " + PathArgument(mask));
  } else if (m_noListAll) {
    run("LIST");
  } else {
    // "-a" shows the hidden files that a plain LIST leaves out on ls-based servers.
    try {
      run("LIST -a");
    } catch (const CInternetException& e) {
      if (e.m_dwError != ERROR_INTERNET_EXTENDED_ERROR) throw;
      m_noListAll = true;
      run("LIST");
    }
  }
  return trox::ftp::ParseListing(data, mlsd);
}
