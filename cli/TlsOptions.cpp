#include "TlsOptions.h"

#include <cctype>

#include "trox/TransferJob.h"

const char kTlsUsage[] =
    "\t--tls (log in over TLS after AUTH TLS; every data connection is TLS too)\n"
    "\t--tls-implicit (TLS from the first byte; port 990 unless -t gives one)\n"
    "\t--tls-pin <SHA-256> (accept only the server certificate with this fingerprint)\n";

namespace {

std::string_view WithoutDashes(std::string_view name) {
  while (!name.empty() && name.front() == '-') name.remove_prefix(1);
  return name;
}

// Counts the hex digits, or -1 when anything but hex digits and colons is there.
int HexDigits(const char* text) {
  int digits = 0;
  for (const char* p = text; *p; ++p) {
    if (*p == ':') continue;
    if (!std::isxdigit(static_cast<unsigned char>(*p))) return -1;
    ++digits;
  }
  return digits;
}

}  // namespace

bool IsTlsOption(std::string_view name) {
  const std::string_view bare = WithoutDashes(name);
  return bare == "tls" || bare == "tls-implicit" || bare == "tls-pin";
}

bool ApplyTlsOption(std::string_view name, const char* value, CTransferJob& job,
                    std::string& problem) {
  const std::string_view bare = WithoutDashes(name);
  if (bare == "tls") {
    job.SetSecurity(1);
    return true;
  }
  if (bare == "tls-implicit") {
    job.SetSecurity(2);
    return true;
  }
  if (bare == "tls-pin") {
    if (!value || HexDigits(value) != 64) {
      problem = "option --tls-pin needs a SHA-256 fingerprint: 64 hex digits, colons allowed";
      return false;
    }
    job.SetCertSha256(value);
    // A pinned certificate means TLS: the job must not run in clear with a pin it never checks.
    if (job.m_security == 0) job.SetSecurity(1);
    return true;
  }
  problem = "unknown option " + std::string(name);
  return false;
}
