// The browsing dialogs' view of one FTP server: log in with the caller's account, list one folder
// at a time (folders or files), create folders, and keep the last failure as a number and a text
// for the error box. Nothing throws out of this class: every failure is a 0 result.
//
// The dialogs renew the connection after every listing (Disconnect, Connect), so each listing
// starts from a fresh log-in whose current folder is the log-in folder again, and paths relative
// to the log-in folder keep their meaning.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

class CFtpConnectionPoolScope;
class CInternetSession;
class CFtpConnection;
class CFtpFileFind;

// The text the error box shows after a failed call that reported "not connected".
inline constexpr const char* kNotConnectedText = "Not connected (INT)";

// The account that the caller of a dialog passed in.
struct BrowseAccount {
  std::string server;
  std::string user;
  std::string password;
  std::string proxy;
  int port = 21;
  int passive = 0;
  int security = 0;        // as FtpSecurity::mode: 0 clear text, 1 AUTH TLS, 2 TLS from the start
  std::string certSha256;  // pinned fingerprint of the server's certificate, or ""
};

class CBrowseConnection {
 public:
  CBrowseConnection();
  ~CBrowseConnection();
  CBrowseConnection(const CBrowseConnection&) = delete;
  CBrowseConnection& operator=(const CBrowseConnection&) = delete;

  // Opens a session (through the named FTP proxy when proxy is not empty) and logs in, secured
  // as security and certSha256 say. A connection that was open is closed first.
  int Connect(const std::string& server, const std::string& user, const std::string& password,
              const std::string& proxy, int port, int passive, int security = 0,
              const std::string& certSha256 = "");
  int Connect(const BrowseAccount& a) {
    return Connect(a.server, a.user, a.password, a.proxy, a.port, a.passive, a.security,
                   a.certSha256);
  }
  // The server's current folder with a trailing "/" (unless it is empty).
  int GetCurrentFolder(std::string& folder);
  // One level; the parent must exist.
  int CreateFolder(const std::string& path);
  // Enters folder and lists it afresh; 0 with ENOENT as the last error when it is empty.
  int FindFirst(const std::string& folder);
  // The next folder (wantFolders 1) or file (0) of the listing as a full path, "." and ".."
  // left out; found 0 at the end.
  int FindNext(std::string& path, int wantFolders, int& found);
  int CloseFind();
  int Disconnect();
  void GetLastErrorInfo(uint32_t& error, std::string& text) const;

  bool IsConnected() const { return m_connected; }

 private:
  // Every operation but Connect: "Not connected (INT)" unless connected, and a thrown internet
  // failure as a 0 result with the last error set.
  template <typename Operation>
  int Guarded(Operation operation);
  bool CheckConnected();
  void Release();
  // The thread's last error as this connection's, with its text, read before anything else can
  // replace the server's reply.
  void TakeLastError();
  void SetError(uint32_t error);

  // Keeps the log-ins of closed connections for the next Connect with the same account, which
  // then behaves as a fresh log-in (log-in folder, log-in reply) without the server's log-in
  // delay; the dialogs reconnect after every listing.
  std::unique_ptr<CFtpConnectionPoolScope> m_reuseLogins;
  std::unique_ptr<CInternetSession> m_session;
  std::unique_ptr<CFtpConnection> m_connection;
  std::unique_ptr<CFtpFileFind> m_finder;
  bool m_connected = false;
  std::string m_lastErrorText;
  uint32_t m_lastError = 0;
  std::string m_listedFolder;
};
