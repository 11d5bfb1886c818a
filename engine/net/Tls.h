// TLS over a connected socket of this layer, with the same time-outs and error numbers.
//
// The server's certificate is checked after every full handshake, never skipped: either against
// a pinned SHA-256 fingerprint (then the trust store is not asked at all) or against the trust
// store and the host name. A refusal names the certificate (fingerprint, subject, expiry), so
// that a user can decide to pin it. The trust store is the system's, or the file named by
// TROX_CA_FILE (for tests that bring their own authority).
//
// GnuTLS is loaded at the first secure connection; a machine without it fails that connection
// with 12157.
//
// A session that ends without the peer's close_notify is a truncation and fails like a broken
// connection: on a data connection, that is all that tells a cut-off file from a whole one.
#pragma once

#include <gnutls/gnutls.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "net/Socket.h"

namespace trox::net {

// What a client expects of the server's certificate.
struct TlsPeer {
  std::string host;  // the name (or numeric address) connected to; checked and sent as SNI
  std::string pin;   // SHA-256 fingerprint as 64 hex digits; empty: the trust store decides
};

// "ab:CD:..." or "abcd..." as 64 lower-case hex digits; "" when it is not a SHA-256 fingerprint.
std::string NormalisedFingerprint(const std::string& text);

class TlsSession {
 public:
  // Runs the handshake on the socket (whose descriptor must outlive the session), bounded by
  // timeoutMs, and checks the certificate. resumeFrom: a session whose parameters this one offers
  // to resume, as an FTP data connection resumes its control connection's. Throws 12157 when the
  // handshake fails, 12045, 12038, 12037 or 12169 when the certificate is refused, 12002 on
  // time-out.
  static std::unique_ptr<TlsSession> Connect(Socket& socket, const TlsPeer& peer, int timeoutMs,
                                             const TlsSession* resumeFrom = nullptr);
  ~TlsSession();
  TlsSession(const TlsSession&) = delete;
  TlsSession& operator=(const TlsSession&) = delete;

  // As Socket's: 0 only at the peer's close_notify; an end without it throws 12030.
  size_t ReceiveSome(void* buffer, size_t size, int idleMs);
  void SendAll(const void* data, size_t size, int idleMs);
  // True when decrypted data waits, or the socket is readable within timeoutMs.
  bool WaitReadable(int timeoutMs);
  // Sends close_notify (the peer then knows the data is whole); bounded by timeoutMs.
  void Bye(int timeoutMs);
  bool Resumed() const;

 private:
  explicit TlsSession(int fd) : m_fd(fd) {}
  // Waits for what the last call that would block needs (reading or writing); false on time-out.
  bool WaitForDirection(int timeoutMs);
  // Waits for the socket itself; false when the time ran out.
  bool PollFor(short events, int timeoutMs);
  void Verify(const TlsPeer& peer);

  int m_fd;
  gnutls_session_t m_session = nullptr;
};

}  // namespace trox::net
