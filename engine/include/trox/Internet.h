// The FTP and HTTP client layer that the engine and the browsing dialogs see.
//
// The classes keep the shape of the internet classes that the job code was written against
// (session, FTP connection, remote file, listing, exception), so the walks read like their
// originals; everything below them (sockets, reply and listing parsing) is in ftp/ and net/ and
// is never seen by callers.
//
// Failures carry the numbers and follow the rules of trox/InternetError.h. Connection and log-in
// failures and failures inside an open remote file throw CInternetException; every other operation
// returns false and sets the thread's last error.
#pragma once

#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "trox/FtpListEntry.h"
#include "trox/InternetError.h"
#include "trox/InternetFile.h"

// The calling thread's last server reply (text with its line breaks, and reply number as
// `error`). The text is the reply's lines joined by "\r\n", without a line end after the last
// one ("211-Status\r\n  ok\r\n211 End"). Fails when there is none (*length 0, last error
// unchanged), or when *length (capacity in characters, terminating zero included) is too small;
// then *length is set to the length needed (without the zero) and the last error to
// ERROR_INSUFFICIENT_BUFFER. On success *length is the text's length.
// Only the control connection writes it, on the thread that made the call: the log-in reply
// after GetFtpConnection, a command's reply, a transfer's final reply, or the reply that made a
// call fail. Probes of the layer's own (FEAT, SIZE, EPSV) leave it alone. A call that fails for
// any other reason (a time-out, a drop, data that ended short, a local error) leaves none, so
// that an older reply is never taken for the cause; the last error's detail says what happened.
bool InternetGetLastResponseInfo(uint32_t* error, char* buffer, uint32_t* length);
// The same, whole however long: reply number and text; false when there is none. The thread's
// last error is left as it was.
bool ReadLastResponse(uint32_t* number, std::string* text);
// What a message box says about an error code: for 12003 the calling thread's last server reply
// (with "\n(N)" after it when the reply carries a number N), else ErrorNumberText's text. A code
// the system has no text for leaves `text` as it was.
void GetErrorDescription(uint32_t code, std::string& text);

class CFtpConnectionImpl;

// How an FTP connection is secured. In either TLS mode every data connection is TLS too, and
// resumes the control connection's session; a server that will not speak TLS, or a certificate
// that is refused, ends the connection before the user name is sent.
struct FtpSecurity {
  int mode = 0;  // 0 clear text, 1 AUTH TLS on the control port, 2 TLS from the first byte
  // SHA-256 fingerprint of the server's certificate (hex, colons allowed): that certificate is
  // accepted without the trust store, any other refused. "": the trust store and the host name.
  std::string certSha256;
};

// True for a text that FtpSecurity::certSha256 takes as a pin: 64 hex digits, colons allowed.
bool IsCertificateFingerprint(const std::string& text);

// The certificate that a refusal (12037, 12038, 12045, 12169) names in its error's detail text,
// as shown there: the fingerprint ("AB:CD:..."), the subject and the end of its validity.
struct RefusedCertificate {
  std::string sha256;
  std::string subject;
  std::string validUntil;
};
// False when the detail names no certificate.
bool RefusedCertificateOf(const std::string& detail, RefusedCertificate* certificate);

// While at least one of these exists in the process (a transfer run), FTP connections that are
// closed stay logged in for a while, and GetFtpConnection for the same account takes one back
// instead of logging in again; it behaves exactly as a fresh one (in its log-in folder, the
// log-in reply as the last response). When the last scope ends, every idle connection is closed.
class CFtpConnectionPoolScope {
 public:
  CFtpConnectionPoolScope();
  ~CFtpConnectionPoolScope();
  CFtpConnectionPoolScope(const CFtpConnectionPoolScope&) = delete;
  CFtpConnectionPoolScope& operator=(const CFtpConnectionPoolScope&) = delete;
};

// One logged-in control connection. Not thread-safe: one thread uses it at a time.
class CFtpConnection {
 public:
  explicit CFtpConnection(std::unique_ptr<CFtpConnectionImpl> impl);
  ~CFtpConnection();
  CFtpConnection(const CFtpConnection&) = delete;
  CFtpConnection& operator=(const CFtpConnection&) = delete;

  bool GetCurrentDirectory(std::string& folder);
  bool SetCurrentDirectory(const std::string& folder);
  bool CreateDirectory(const std::string& folder);
  // flags: FTP_TRANSFER_TYPE_ASCII or FTP_TRANSFER_TYPE_BINARY.
  bool PutFile(const std::string& localPath, const std::string& remotePath, uint32_t flags);
  // A failed get removes the local file (also one it overwrote), so a file that is there
  // afterwards is complete. The local file is made only once the server agrees to send.
  bool GetFile(const std::string& remotePath, const std::string& localPath, bool failIfExists,
               uint32_t flags);
  // While set, PutFile and GetFile tell it, after each block, how many bytes of the file have
  // moved so far, so that a host can show progress inside a long file. Null (the default) costs
  // the whole-file calls nothing.
  using FileBytesFn = void (*)(uint64_t bytes, void* context);
  void SetFileProgress(FileBytesFn callback, void* context);
  // access: GENERIC_READ or GENERIC_WRITE. Throws CInternetException on failure.
  std::unique_ptr<CInternetFile> OpenFile(const std::string& remotePath, uint32_t access,
                                          uint32_t flags);
  // A raw command. With expectResponse the command runs over a data connection whose stream is
  // handed back in *data (when data is not null). flags picks the data type.
  bool Command(const std::string& command, bool expectResponse, uint32_t flags,
               std::unique_ptr<CInternetFile>* data);
  // Ends the connection (or hands it to the idle pool while a pool scope is active); later
  // calls fail as on a closed connection.
  void Close();
  // False when the connection can serve no more commands: dropped, timed out, closed by the
  // server (a 421 included, also one sent while it was idle), or its replies out of step.
  bool IsAlive();

 private:
  // The listing drives the protocol directly; nobody else reaches below this class.
  friend class CFtpFileFind;
  CFtpConnectionImpl& Impl() { return *m_impl; }

  std::unique_ptr<CFtpConnectionImpl> m_impl;
};

// A listing of the connection's current folder (or of a path) by mask.
class CFtpFileFind {
 public:
  explicit CFtpFileFind(CFtpConnection* connection);
  ~CFtpFileFind();
  // Runs the listing (MLSD where offered, else LIST). "*" lists the current folder; any other
  // text is listed as a path or mask. False (and the last error set) when it cannot be started,
  // when it yields no entry (then ENOENT), or when it has lines but none of them could be read
  // (then ERROR_INTERNET_INCORRECT_FORMAT, with the number of lines as the error's detail).
  bool FindFile(const std::string& mask = "*", uint32_t flags = INTERNET_FLAG_RELOAD);
  // Steps to the next entry; false when there is none left. The first call after FindFile
  // gives the first entry.
  bool FindNextFile();
  void Close();

  std::string GetFileName() const;
  bool IsDirectory() const;
  bool IsDots() const;  // "." or ".."
  uint64_t GetLength() const;
  // The folder the listing was taken in, as the server reports it.
  std::string GetRoot() const;
  const FtpListEntry& Entry() const;
  // Lines of the last listing that no parser could read (for verbose output); kept after
  // Close, until the next FindFile.
  const std::vector<std::string>& UnparsedLines() const { return m_unparsed; }

 private:
  CFtpConnection* m_connection;
  std::string m_root;
  std::vector<FtpListEntry> m_entries;
  std::vector<std::string> m_unparsed;
  size_t m_next = 0;
};

class CInternetSession {
 public:
  CInternetSession(const std::string& agent, uint32_t context, uint32_t accessType,
                   const std::string& proxy, const std::string& proxyBypass, uint32_t flags);
  ~CInternetSession();
  CInternetSession(const CInternetSession&) = delete;
  CInternetSession& operator=(const CInternetSession&) = delete;

  // Connects and logs in (anonymous when user is empty; through the named FTP proxy when the
  // session has one). Throws CInternetException; the log-in reply is the last response. With
  // TLS from the first byte, port 21 (or 0) means 990.
  std::unique_ptr<CFtpConnection> GetFtpConnection(const std::string& server,
                                                   const std::string& user,
                                                   const std::string& password, uint16_t port,
                                                   bool passive,
                                                   const FtpSecurity& security = FtpSecurity());
  // HTTP GET of an "http://host[:port]/path" address; the stream reads the reply body (of an
  // error page too). Throws CInternetException when the server cannot be reached (12007,
  // 12029, 12002) or the address is bad (12005, 12006 for another scheme).
  std::unique_ptr<CInternetFile> OpenURL(const std::string& url, uint32_t context = 1,
                                         uint32_t flags = FTP_TRANSFER_TYPE_ASCII);
  void Close();

  uint32_t Context() const { return m_context; }

 private:
  std::string m_agent;
  uint32_t m_context;
  uint32_t m_accessType;
  std::string m_proxy;
};
