// The FTP and HTTP client layer that the engine and the browsing dialogs see.
//
// The classes keep the shape of the internet classes that the job code was written against
// (session, FTP connection, remote file, listing, exception), so the walks read like their
// originals; everything below them (sockets, reply and listing parsing) is in ftp/ and net/ and
// is never seen by callers.
//
// Failures carry the numbers of the original internet library so that one table of texts
// applies: 12007 name not resolved, 12029 cannot connect, 12002 time-out, 12014 log-in refused,
// 12030 connection dropped, 12003 the server refused a command (its reply is the last response).
// Connection and log-in failures and failures inside an open remote file throw
// CInternetException; every other operation returns false and sets the thread's last error.
#pragma once

#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <vector>

// Error numbers of the original internet library (only those the layer produces are named here;
// InternetErrorText knows them all).
enum : uint32_t {
  ERROR_INTERNET_OUT_OF_HANDLES = 12001,
  ERROR_INTERNET_TIMEOUT = 12002,
  ERROR_INTERNET_EXTENDED_ERROR = 12003,
  ERROR_INTERNET_INTERNAL_ERROR = 12004,
  ERROR_INTERNET_INVALID_URL = 12005,
  ERROR_INTERNET_UNRECOGNIZED_SCHEME = 12006,
  ERROR_INTERNET_NAME_NOT_RESOLVED = 12007,
  ERROR_INTERNET_INCORRECT_USER_NAME = 12013,
  ERROR_INTERNET_INCORRECT_PASSWORD = 12014,
  ERROR_INTERNET_LOGIN_FAILURE = 12015,
  ERROR_INTERNET_INVALID_OPERATION = 12016,
  ERROR_INTERNET_OPERATION_CANCELLED = 12017,
  ERROR_INTERNET_INCORRECT_HANDLE_STATE = 12019,
  ERROR_INTERNET_INCORRECT_FORMAT = 12027,
  ERROR_INTERNET_CANNOT_CONNECT = 12029,
  ERROR_INTERNET_CONNECTION_ABORTED = 12030,
  ERROR_INTERNET_CONNECTION_RESET = 12031,
  ERROR_FTP_TRANSFER_IN_PROGRESS = 12110,
  ERROR_FTP_DROPPED = 12111,
  ERROR_FTP_NO_PASSIVE_MODE = 12112,
};

// The system's "buffer too small" error, reported by InternetGetLastResponseInfo.
constexpr uint32_t ERROR_INSUFFICIENT_BUFFER = 122;

constexpr uint32_t FTP_TRANSFER_TYPE_ASCII = 1;
constexpr uint32_t FTP_TRANSFER_TYPE_BINARY = 2;
constexpr uint32_t GENERIC_READ = 0x80000000u;
constexpr uint32_t GENERIC_WRITE = 0x40000000u;
constexpr uint32_t INTERNET_FLAG_RELOAD = 0x80000000u;
constexpr uint32_t INTERNET_OPEN_TYPE_PRECONFIG = 0;
constexpr uint32_t INTERNET_OPEN_TYPE_PROXY = 3;

// A failed connection, log-in or transfer inside an open remote file.
class CInternetException : public std::exception {
 public:
  CInternetException(uint32_t error, std::string text)
      : m_dwError(error), m_text(std::move(text)) {}
  const char* what() const noexcept override { return m_text.c_str(); }

  uint32_t m_dwError;  // WinINet number (>= 12000) or errno value
  std::string m_text;  // where and why, for diagnostics; the user sees InternetErrorText
};

// The calling thread's last error, read like GetLastError: set by every failing call of this
// layer (and by the engine's file helpers) before it returns failure.
uint32_t GetLastError();
void SetLastError(uint32_t error);
// What the number alone does not say about the thread's last error: the local path, the reply of
// the command that failed, "data ended after N of M bytes". SetLastError clears it, so it is set
// after the number.
void SetLastErrorDetail(std::string detail);
// A caught failure as the thread's last error: its number, its text as the detail, and no last
// response unless the server's reply is the reason.
void SetLastErrorFrom(const CInternetException& e);
const std::string& GetLastErrorDetail();

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

// Bounds on every network wait, in milliseconds. The defaults are 30 s to connect, 60 s of
// silence while waiting for a reply or data, and 120 s for a whole reply (all the replies to one
// command together, preliminary ones included). Tests shorten them; TROX_NET_TIMEOUT_MS=N in the
// environment, read at the first session, makes the silence bound N, caps the connect bound at N
// and the whole-reply bound at 2N (unless SetInternetTimeouts was called first). A connection
// keeps the bounds that were in force when it was opened.
struct InternetTimeouts {
  int connectMs = 30000;
  int idleMs = 60000;
  int replyTotalMs = 120000;
};
void SetInternetTimeouts(const InternetTimeouts& timeouts);
InternetTimeouts GetInternetTimeouts();

// A stream of data over one data connection: an open remote file, a raw command's data, or an
// HTTP reply body. Read returns full requested blocks until the end of the data, then a short
// block, then 0. Failures throw CInternetException. Close ends the transfer and checks the
// server's final reply (a refused or short transfer throws); the destructor closes quietly.
class CInternetFile {
 public:
  virtual ~CInternetFile() = default;
  virtual uint32_t Read(void* buffer, uint32_t count) = 0;
  virtual void Write(const void* buffer, uint32_t count) = 0;
  virtual void Close() = 0;
};

class CFtpConnectionImpl;

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

  CFtpConnectionImpl& Impl() { return *m_impl; }

 private:
  std::unique_ptr<CFtpConnectionImpl> m_impl;
};

// One entry of a listing.
struct FtpListEntry {
  std::string name;
  bool isDirectory = false;
  bool isLink = false;     // a symbolic link: its target may be a folder or a file
  bool isSpecial = false;  // a device, socket or FIFO: nothing to transfer
  uint64_t size = 0;
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
  // session has one). Throws CInternetException; the log-in reply is the last response.
  std::unique_ptr<CFtpConnection> GetFtpConnection(const std::string& server,
                                                   const std::string& user,
                                                   const std::string& password, uint16_t port,
                                                   bool passive);
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
