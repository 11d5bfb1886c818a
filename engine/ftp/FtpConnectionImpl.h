// One logged-in FTP session below CFtpConnection: log-in, folder commands, data connections and
// transfers. Its operations throw CInternetException; CFtpConnection turns that into a success
// flag and the thread's last error where the caller expects one.
//
// A transfer goes: TYPE (only when it changes), the data connection (EPSV, else PASV; or EPRT,
// else PORT when active), the command, its preliminary reply, the data, and the final reply.
// A passive data connection goes to the control connection's peer, whatever address a 227
// reply names, and is connected without bind(). An active one listens on the control
// connection's local address.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "ftp/FtpControl.h"
#include "ftp/FtpList.h"
#include "net/Socket.h"
#include "net/Tls.h"
#include "trox/InternetError.h"
#include "trox/InternetFile.h"

namespace trox::ftp {
class FtpDataStream;
}

struct FtpLoginSettings {
  std::string server;
  uint16_t port = 21;
  std::string user;  // empty: anonymous
  std::string password;
  bool passive = true;
  std::string proxyHost;  // empty: no proxy
  uint16_t proxyPort = 21;
  int security = 0;  // 0 clear text, 1 AUTH TLS, 2 TLS from the first byte
  std::string pin;   // normalised SHA-256 fingerprint of the server's certificate, or ""
};

class CFtpConnectionImpl {
 public:
  CFtpConnectionImpl(const FtpLoginSettings& settings, const InternetTimeouts& timeouts);
  ~CFtpConnectionImpl();
  CFtpConnectionImpl(const CFtpConnectionImpl&) = delete;
  CFtpConnectionImpl& operator=(const CFtpConnectionImpl&) = delete;

  // Connects and logs in; throws.
  void LogIn();

  std::string GetCurrentDirectory();
  void SetCurrentDirectory(const std::string& folder);
  void CreateDirectory(const std::string& folder);
  void PutFile(const std::string& localPath, const std::string& remotePath, uint32_t flags);
  void GetFile(const std::string& remotePath, const std::string& localPath, bool failIfExists,
               uint32_t flags);
  std::unique_ptr<CInternetFile> OpenFile(const std::string& remotePath, uint32_t access,
                                          uint32_t flags);
  void SetFileProgress(void (*callback)(uint64_t bytes, void* context), void* context) {
    m_fileProgress = callback;
    m_fileProgressContext = context;
  }
  // For PutFile, GetFile and their streams: the bytes of the file moved so far.
  void FileBytesMoved(uint64_t bytes) {
    if (m_fileProgress != nullptr) m_fileProgress(bytes, m_fileProgressContext);
  }
  // A raw command; with expectResponse its data stream (null otherwise).
  std::unique_ptr<CInternetFile> Command(const std::string& command, bool expectResponse,
                                         uint32_t flags);
  // A listing of mask ("*" for the current folder): its entries, and the lines no parser read.
  trox::ftp::FtpListing List(const std::string& mask);
  void Close();

  // False when the connection is dead (dropped, timed out, closed by a 421, out of step) or, while
  // idle, the server has closed it or said something unasked meanwhile.
  bool IsAlive();

  bool HasFeature(const std::string& word) const { return m_features.count(word) > 0; }
  const FtpLoginSettings& Settings() const { return m_settings; }
  const InternetTimeouts& Timeouts() const { return m_control.Timeouts(); }

  // For the idle pool: true when the connection can serve another caller as if new (logged
  // in, alive, no transfer open, and its log-in folder known if it left it).
  bool ReadyForPool() const;
  // Makes a pooled connection ready for a new caller: false (and nothing sent) when the server
  // dropped it or left word meanwhile. Otherwise the log-in reply is the last response again,
  // and the first command that depends on the current folder goes back to the log-in folder
  // first (or, should the server drop it right then, logs in afresh).
  bool Revive();

  // For the data streams: an open stream ends (or is abandoned).
  void StreamClosed(trox::ftp::FtpDataStream* stream);
  trox::ftp::FtpControl& Control() { return m_control; }

 private:
  friend class trox::ftp::FtpDataStream;

  // A data connection before the transfer command: connected (passive) or listening (active).
  struct DataChannel {
    trox::net::Socket socket;
    bool listening = false;
  };

  // Throws when the connection is dead, closed or busy with an open stream. A reused connection
  // goes back to its log-in folder here, unless the command is a CWD to a full path. True for
  // the first command after the connection was taken from the idle pool.
  bool CheckReady(bool absoluteCwdFollows = false);
  void RestoreHome();
  // A reply that does not belong to the command: the connection is given up and the command
  // fails with this text.
  [[noreturn]] void OutOfStep(const std::string& what);
  // Replaces a pooled connection that the server dropped by a new log-in.
  void LogInAfresh();
  void SetType(uint32_t flags);
  // AUTH TLS (when explicit) and the handshake; throws 12157 and the certificate errors.
  void Secure();
  trox::net::TlsPeer PeerToCheck() const;
  // The data connection secured like the control connection, before any data goes over it.
  std::unique_ptr<trox::net::TlsSession> SecureData(trox::net::Socket& data);
  DataChannel OpenDataChannel();
  DataChannel OpenPassive();
  DataChannel OpenActive();
  // The first bytes of an upload, offered to a passive data connection before the server's
  // first reply.
  struct EarlyData {
    std::string_view bytes;
    bool wholeFile = false;  // nothing follows: the data connection may end with them
    size_t sent = 0;         // out: how many the connection took; the caller sends the rest
  };
  // TYPE, data connection, the command and its preliminary reply. The stream owns the data
  // socket from then on; it reads or writes, then finishes with the final reply.
  std::unique_ptr<trox::ftp::FtpDataStream> StartTransfer(const std::string& command,
                                                          uint32_t flags, bool upload,
                                                          std::optional<uint64_t> knownSize,
                                                          EarlyData* early = nullptr);
  std::optional<uint64_t> RemoteSize(const std::string& remotePath);
  // Before the first command that may change the current folder, while the idle pool is in
  // use: the log-in folder, to go back to when the connection is reused.
  void LearnHome();

  FtpLoginSettings m_settings;
  trox::ftp::FtpControl m_control;
  std::set<std::string> m_features;
  char m_type = 0;  // 'A' or 'I' once sent
  bool m_noEpsv = false;
  bool m_noEprt = false;
  bool m_noListAll = false;
  bool m_sizeIn150 = false;  // the server's 150 replies to RETR carry "(N bytes)"
  trox::ftp::FtpDataStream* m_openStream = nullptr;
  trox::ftp::FtpReply m_loginReply;   // the last response after the log-in
  std::optional<std::string> m_home;  // the log-in folder, as PWD gave it
  bool m_awayFromHome = false;        // a command may have changed the current folder
  bool m_rawCommandSent = false;
  bool m_restorePending = false;  // reused: back to m_home before the next command needs it
  bool m_justRevived = false;     // reused, and no command sent since
  void (*m_fileProgress)(uint64_t bytes, void* context) = nullptr;
  void* m_fileProgressContext = nullptr;
};
