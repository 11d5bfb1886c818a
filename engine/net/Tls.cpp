#include "net/Tls.h"

#include <arpa/inet.h>
#include <dlfcn.h>
#include <gnutls/x509.h>
#include <poll.h>

#include <errno.h>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

#include "trox/Internet.h"
#include "trox/InternetError.h"

namespace trox::net {

namespace {

// The library is loaded at the first secure connection, not at start: linked in, it and what it
// pulls in (PKCS #11, ASN.1, IDN, GMP) doubled the resident memory of every run, TLS or not.
#define TROX_GNUTLS_FUNCTIONS(X)             \
  X(gnutls_bye)                              \
  X(gnutls_certificate_allocate_credentials) \
  X(gnutls_certificate_get_peers)            \
  X(gnutls_credentials_set)                  \
  X(gnutls_deinit)                           \
  X(gnutls_error_is_fatal)                   \
  X(gnutls_fingerprint)                      \
  X(gnutls_handshake)                        \
  X(gnutls_init)                             \
  X(gnutls_record_check_pending)             \
  X(gnutls_record_get_direction)             \
  X(gnutls_record_recv)                      \
  X(gnutls_record_send)                      \
  X(gnutls_server_name_set)                  \
  X(gnutls_session_get_data2)                \
  X(gnutls_session_is_resumed)               \
  X(gnutls_session_set_data)                 \
  X(gnutls_set_default_priority)             \
  X(gnutls_strerror)                         \
  X(gnutls_transport_set_int2)               \
  X(gnutls_x509_crt_deinit)                  \
  X(gnutls_x509_crt_get_dn3)                 \
  X(gnutls_x509_crt_get_expiration_time)     \
  X(gnutls_x509_crt_import)                  \
  X(gnutls_x509_crt_init)                    \
  X(gnutls_x509_trust_list_add_system_trust) \
  X(gnutls_x509_trust_list_add_trust_file)   \
  X(gnutls_x509_trust_list_init)             \
  X(gnutls_x509_trust_list_verify_crt2)

struct GnuTlsApi {
#define TROX_GNUTLS_POINTER(name) decltype(&::name) name = nullptr;
  TROX_GNUTLS_FUNCTIONS(TROX_GNUTLS_POINTER)
#undef TROX_GNUTLS_POINTER
  gnutls_free_function* free = nullptr;
  bool loaded = false;
};

const GnuTlsApi& Api() {
  static const GnuTlsApi api = [] {
    GnuTlsApi a;
    void* library = ::dlopen("libgnutls.so.30", RTLD_NOW | RTLD_LOCAL);
    if (!library) return a;
    bool all = true;
#define TROX_GNUTLS_RESOLVE(name)                                        \
  a.name = reinterpret_cast<decltype(&::name)>(::dlsym(library, #name)); \
  all = all && a.name;
    TROX_GNUTLS_FUNCTIONS(TROX_GNUTLS_RESOLVE)
#undef TROX_GNUTLS_RESOLVE
    a.free = reinterpret_cast<gnutls_free_function*>(::dlsym(library, "gnutls_free"));
    a.loaded = all && a.free;
    return a;
  }();
  if (!api.loaded)
    ThrowInternet(ERROR_INTERNET_SECURITY_CHANNEL_ERROR,
                  "TLS is not available: libgnutls.so.30 cannot be loaded");
  return api;
}

void Free(void* p) {
  (*Api().free)(p);
}

// The handshake needs no authority: the certificate is checked by hand afterwards, so that a
// refusal can say which certificate it was and a pinned one never loads the trust store.
gnutls_certificate_credentials_t Credentials() {
  static gnutls_certificate_credentials_t credentials = [] {
    gnutls_certificate_credentials_t c = nullptr;
    Api().gnutls_certificate_allocate_credentials(&c);
    return c;
  }();
  return credentials;
}

// Loaded on first use and kept: the system store is parsed once per process.
gnutls_x509_trust_list_t TrustList() {
  static gnutls_x509_trust_list_t list = [] {
    gnutls_x509_trust_list_t l = nullptr;
    Api().gnutls_x509_trust_list_init(&l, 0);
    const char* file = std::getenv("TROX_CA_FILE");
    if (file && *file)
      Api().gnutls_x509_trust_list_add_trust_file(l, file, nullptr, GNUTLS_X509_FMT_PEM, 0, 0);
    else
      Api().gnutls_x509_trust_list_add_system_trust(l, 0, 0);
    return l;
  }();
  return list;
}

bool IsNumericHost(const std::string& host) {
  unsigned char address[16];
  return inet_pton(AF_INET, host.c_str(), address) == 1 ||
         inet_pton(AF_INET6, host.c_str(), address) == 1;
}

std::string Unbracketed(const std::string& host) {
  if (host.size() > 2 && host.front() == '[' && host.back() == ']')
    return host.substr(1, host.size() - 2);
  return host;
}

bool WouldBlock(int r) {
  return r == GNUTLS_E_AGAIN || r == GNUTLS_E_INTERRUPTED;
}

[[noreturn]] void ThrowBroken(int r) {
  if (r == GNUTLS_E_PREMATURE_TERMINATION)
    ThrowInternet(ERROR_INTERNET_CONNECTION_ABORTED,
                  "the connection ended without the secure channel's close (the data may be cut "
                  "short)");
  ThrowInternet(ERROR_INTERNET_CONNECTION_ABORTED,
                std::string("the secure channel broke: ") + Api().gnutls_strerror(r));
}

class Certificate {
 public:
  Certificate() { Api().gnutls_x509_crt_init(&m_crt); }
  ~Certificate() { Api().gnutls_x509_crt_deinit(m_crt); }
  Certificate(const Certificate&) = delete;
  Certificate& operator=(const Certificate&) = delete;
  bool Import(const gnutls_datum_t& der) {
    return Api().gnutls_x509_crt_import(m_crt, &der, GNUTLS_X509_FMT_DER) == 0;
  }
  gnutls_x509_crt_t Get() const { return m_crt; }

 private:
  gnutls_x509_crt_t m_crt = nullptr;
};

std::string Sha256Hex(const gnutls_datum_t& der) {
  unsigned char digest[32];
  size_t size = sizeof digest;
  if (Api().gnutls_fingerprint(GNUTLS_DIG_SHA256, &der, digest, &size) != 0) return {};
  static const char kHex[] = "0123456789abcdef";
  std::string hex;
  for (size_t i = 0; i < size; ++i) {
    hex += kHex[digest[i] >> 4];
    hex += kHex[digest[i] & 15];
  }
  return hex;
}

constexpr const char* kShownFingerprint = "SHA-256 ";
constexpr const char* kShownSubject = ", subject ";
constexpr const char* kShownUntil = ", valid until ";

// "SHA-256 AB:CD:..., subject CN=..., valid until 2027-01-01 00:00 UTC": what a user needs to
// recognise the certificate and to pin it. RefusedCertificateOf reads it back.
std::string Describe(const Certificate& certificate, const std::string& hex) {
  std::string shown;
  for (size_t i = 0; i < hex.size(); i += 2) {
    if (i) shown += ':';
    shown += static_cast<char>(std::toupper(static_cast<unsigned char>(hex[i])));
    shown += static_cast<char>(std::toupper(static_cast<unsigned char>(hex[i + 1])));
  }
  std::string subject = "?";
  gnutls_datum_t dn{};
  if (Api().gnutls_x509_crt_get_dn3(certificate.Get(), &dn, 0) == 0) {
    subject.assign(reinterpret_cast<const char*>(dn.data), dn.size);
    Free(dn.data);
  }
  std::string until = "?";
  time_t expiry = Api().gnutls_x509_crt_get_expiration_time(certificate.Get());
  struct tm utc {};
  char text[32];
  if (expiry != static_cast<time_t>(-1) && gmtime_r(&expiry, &utc) &&
      std::strftime(text, sizeof text, "%Y-%m-%d %H:%M UTC", &utc))
    until = text;
  return kShownFingerprint + shown + kShownSubject + subject + kShownUntil + until;
}

}  // namespace

std::string NormalisedFingerprint(const std::string& text) {
  std::string hex;
  for (char c : text) {
    if (c == ':' || c == ' ') continue;
    if (!std::isxdigit(static_cast<unsigned char>(c))) return {};
    hex += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return hex.size() == 64 ? hex : std::string();
}

std::unique_ptr<TlsSession> TlsSession::Connect(Socket& socket, const TlsPeer& peer, int timeoutMs,
                                                const TlsSession* resumeFrom) {
  // The handshake writes its records one by one; with Nagle's rule the second would wait for
  // the server's delayed acknowledgement of the first: 40 ms per data connection, most of the
  // time of a small file.
  socket.SetNoDelay();
  std::unique_ptr<TlsSession> tls(new TlsSession(socket.Fd()));
  gnutls_session_t& s = tls->m_session;
  if (Api().gnutls_init(&s, GNUTLS_CLIENT | GNUTLS_NONBLOCK) != 0) {
    s = nullptr;
    ThrowInternet(ERROR_INTERNET_SECURITY_CHANNEL_ERROR, "cannot start a secure channel");
  }
  Api().gnutls_set_default_priority(s);
  Api().gnutls_credentials_set(s, GNUTLS_CRD_CERTIFICATE, Credentials());
  const std::string host = Unbracketed(peer.host);
  if (!host.empty() && !IsNumericHost(host))
    Api().gnutls_server_name_set(s, GNUTLS_NAME_DNS, host.data(), host.size());
  Api().gnutls_transport_set_int2(s, socket.Fd(), socket.Fd());
  if (resumeFrom) {
    gnutls_datum_t data{};
    if (Api().gnutls_session_get_data2(resumeFrom->m_session, &data) == 0) {
      Api().gnutls_session_set_data(s, data.data, data.size);
      Free(data.data);
    }
  }

  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    int r = Api().gnutls_handshake(s);
    if (r == 0) break;
    if (WouldBlock(r)) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
      if (left.count() <= 0 || !tls->WaitForDirection(static_cast<int>(left.count())))
        ThrowInternet(ERROR_INTERNET_TIMEOUT,
                      "the secure channel was not set up within " + DurationText(timeoutMs));
      continue;
    }
    if (!Api().gnutls_error_is_fatal(r)) continue;
    ThrowInternet(
        ERROR_INTERNET_SECURITY_CHANNEL_ERROR,
        std::string("the secure channel could not be set up: ") + Api().gnutls_strerror(r));
  }
  // A resumed session is the one whose certificate was checked when it began.
  if (!tls->Resumed()) tls->Verify(peer);
  return tls;
}

TlsSession::~TlsSession() {
  if (m_session) Api().gnutls_deinit(m_session);
}

bool TlsSession::Resumed() const {
  return Api().gnutls_session_is_resumed(m_session) != 0;
}

bool TlsSession::WaitForDirection(int timeoutMs) {
  return PollFor(Api().gnutls_record_get_direction(m_session) ? POLLOUT : POLLIN, timeoutMs);
}

bool TlsSession::WaitReadable(int timeoutMs) {
  if (Api().gnutls_record_check_pending(m_session) > 0) return true;
  return PollFor(POLLIN, timeoutMs);
}

bool TlsSession::PollFor(short events, int timeoutMs) {
  pollfd p{m_fd, events, 0};
  for (;;) {
    int r = ::poll(&p, 1, timeoutMs < 0 ? -1 : timeoutMs);
    if (r > 0) return true;
    if (r == 0) return false;
    if (errno != EINTR)
      ThrowInternet(ERROR_INTERNET_CONNECTION_ABORTED, "cannot wait for the network");
  }
}

size_t TlsSession::ReceiveSome(void* buffer, size_t size, int idleMs) {
  for (;;) {
    ssize_t n = Api().gnutls_record_recv(m_session, buffer, size);
    if (n >= 0) return static_cast<size_t>(n);
    int r = static_cast<int>(n);
    // Records that carry no data (a TLS 1.3 session ticket, a warning) are not the data waited
    // for: the wait goes on.
    if (WouldBlock(r) || !Api().gnutls_error_is_fatal(r)) {
      if (WouldBlock(r) && !WaitForDirection(idleMs))
        ThrowInternet(ERROR_INTERNET_TIMEOUT, "nothing came within " + DurationText(idleMs));
      continue;
    }
    ThrowBroken(r);
  }
}

void TlsSession::SendAll(const void* data, size_t size, int idleMs) {
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    ssize_t n = Api().gnutls_record_send(m_session, p, size);
    if (n > 0) {
      p += n;
      size -= static_cast<size_t>(n);
      continue;
    }
    int r = static_cast<int>(n);
    if (!WouldBlock(r)) ThrowBroken(r);
    if (!WaitForDirection(idleMs))
      ThrowInternet(ERROR_INTERNET_TIMEOUT,
                    "the server took nothing within " + DurationText(idleMs));
  }
}

void TlsSession::Bye(int timeoutMs) {
  for (;;) {
    int r = Api().gnutls_bye(m_session, GNUTLS_SHUT_WR);
    if (r == 0) return;
    if (!WouldBlock(r)) ThrowBroken(r);
    if (!WaitForDirection(timeoutMs))
      ThrowInternet(ERROR_INTERNET_TIMEOUT,
                    "the server took nothing within " + DurationText(timeoutMs));
  }
}

void TlsSession::Verify(const TlsPeer& peer) {
  unsigned int count = 0;
  const gnutls_datum_t* chain = Api().gnutls_certificate_get_peers(m_session, &count);
  if (!chain || count == 0)
    ThrowInternet(ERROR_INTERNET_SECURITY_CHANNEL_ERROR, "the server showed no certificate");
  std::vector<Certificate> certificates(count);
  for (unsigned int i = 0; i < count; ++i)
    if (!certificates[i].Import(chain[i]))
      ThrowInternet(ERROR_INTERNET_SEC_INVALID_CERT, "the server's certificate cannot be read");
  const std::string hex = Sha256Hex(chain[0]);
  const std::string described = Describe(certificates[0], hex);

  if (!peer.pin.empty()) {
    if (hex == peer.pin) return;
    ThrowInternet(ERROR_INTERNET_SEC_INVALID_CERT,
                  "the server's certificate is not the pinned one: " + described);
  }
  std::vector<gnutls_x509_crt_t> list;
  for (const Certificate& c : certificates) list.push_back(c.Get());
  const std::string host = Unbracketed(peer.host);
  gnutls_typed_vdata_st name{};
  unsigned char address[16];
  if (inet_pton(AF_INET, host.c_str(), address) == 1 ||
      inet_pton(AF_INET6, host.c_str(), address) == 1) {
    // A numeric address is checked against the certificate's addresses, not its names.
    name.type = GNUTLS_DT_IP_ADDRESS;
    name.data = address;
    name.size = host.find(':') == std::string::npos ? 4 : 16;
  } else {
    name.type = GNUTLS_DT_DNS_HOSTNAME;
    name.data = reinterpret_cast<unsigned char*>(const_cast<char*>(host.c_str()));
  }
  unsigned int status = 0;
  if (Api().gnutls_x509_trust_list_verify_crt2(TrustList(), list.data(), count, &name, 1, 0,
                                               &status, nullptr) != 0)
    status |= GNUTLS_CERT_INVALID;
  if (status == 0) return;
  if (status & (GNUTLS_CERT_EXPIRED | GNUTLS_CERT_NOT_ACTIVATED))
    ThrowInternet(ERROR_INTERNET_SEC_CERT_DATE_INVALID,
                  "the server's certificate has expired or is not valid yet: " + described);
  if (status & GNUTLS_CERT_UNEXPECTED_OWNER)
    ThrowInternet(ERROR_INTERNET_SEC_CERT_CN_INVALID,
                  "the server's certificate is not for " + host + ": " + described);
  ThrowInternet(ERROR_INTERNET_INVALID_CA,
                "the server's certificate is not signed by a trusted authority: " + described);
}

}  // namespace trox::net

bool IsCertificateFingerprint(const std::string& text) {
  return !trox::net::NormalisedFingerprint(text).empty();
}

bool RefusedCertificateOf(const std::string& detail, RefusedCertificate* certificate) {
  using namespace trox::net;
  // The subject may hold commas of its own: it ends at the last "valid until".
  const size_t start = detail.rfind(kShownFingerprint);
  if (start == std::string::npos) return false;
  const size_t hexStart = start + std::strlen(kShownFingerprint);
  const size_t subject = detail.find(kShownSubject, hexStart);
  const size_t until = detail.rfind(kShownUntil);
  if (subject == std::string::npos || until == std::string::npos || until < subject) return false;
  std::string sha256 = detail.substr(hexStart, subject - hexStart);
  if (NormalisedFingerprint(sha256).empty()) return false;
  certificate->sha256 = std::move(sha256);
  const size_t subjectStart = subject + std::strlen(kShownSubject);
  certificate->subject = detail.substr(subjectStart, until - subjectStart);
  certificate->validUntil = detail.substr(until + std::strlen(kShownUntil));
  return true;
}
