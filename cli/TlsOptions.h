// The options that secure a job's connections with TLS, kept apart from the rest of the command
// line so that the parser only has to hand them over.
#pragma once

#include <string>
#include <string_view>

class CTransferJob;

// Usage lines of the options below, each ending in a line end.
extern const char kTlsUsage[];

// True when name ("--tls", "--tls-implicit", "--tls-pin") is one of these options.
bool IsTlsOption(std::string_view name);

// Applies one option to the job: --tls (AUTH TLS on the control port), --tls-implicit (TLS from
// the first byte, port 990 unless one is given) and --tls-pin SHA256 (accept that certificate,
// and only that one, without the trust store; implies --tls unless --tls-implicit is given).
// False, with problem set to one line, for another option or a fingerprint that is not 64 hex
// digits (colons allowed).
bool ApplyTlsOption(std::string_view name, const char* value, CTransferJob& job,
                    std::string& problem);
