// The lowest layer of the engine: the error numbers that every failure carries and the texts they
// are shown with, the exception that connection-level failures throw, the calling thread's last
// error, and the bounds on network waits. The socket layer, the FTP layer and the engine's public
// classes all build on it; it builds on nothing of theirs.
//
// Failures carry the numbers of the original internet library so that one table of texts
// applies: 12007 name not resolved, 12029 cannot connect, 12002 time-out, 12014 log-in refused,
// 12030 connection dropped, 12003 the server refused a command (its reply is the last response);
// over TLS 12157 no secure channel, 12045 untrusted, 12038 wrong host, 12037 expired and 12169
// not the pinned certificate.
#pragma once

#include <cstdint>
#include <exception>
#include <string>

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
  ERROR_INTERNET_SEC_CERT_DATE_INVALID = 12037,
  ERROR_INTERNET_SEC_CERT_CN_INVALID = 12038,
  ERROR_INTERNET_INVALID_CA = 12045,
  ERROR_FTP_TRANSFER_IN_PROGRESS = 12110,
  ERROR_FTP_DROPPED = 12111,
  ERROR_FTP_NO_PASSIVE_MODE = 12112,
  ERROR_INTERNET_SECURITY_CHANNEL_ERROR = 12157,
  ERROR_INTERNET_SEC_INVALID_CERT = 12169,
};

// Text of an internet error number ("Unknown Error" for one the table lacks). *length: capacity on
// entry; on return the text's length, or the capacity needed (60) when it was too small, in which
// case nothing is written and 0 returned.
uint32_t InternetErrorText(uint32_t errorNumber, char* buffer, uint32_t* length);
std::string InternetErrorText(uint32_t errorNumber);
// The text a user is shown for any error number: from 12000 the internet error's text, below it
// the system's description of the errno value, or "" when the system has none (rather than one
// made up from the number).
std::string ErrorNumberText(uint32_t errorNumber);
// The same after what failed or where ("cannot open /a: Permission denied"); "" when the number
// has no text, the text alone without a detail.
std::string ErrorNumberText(uint32_t errorNumber, const std::string& detail);

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
