// One HTTP GET whose reply body is read as a stream: what the upgrade check needs, no more.
// The request is HTTP/1.0 with "Connection: close", so the body is never chunked and ends
// where the server closes the connection (or after Content-Length bytes).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "trox/InternetError.h"

namespace trox::net {

struct HttpUrl {
  std::string host;  // without brackets for an IPv6 address
  uint16_t port = 80;
  bool secure = false;  // https: TLS, the certificate checked against the trust store and host
  std::string target;   // path and query, "/" at least
};

// "http://host[:port][/path][?query]" or "https://..." (scheme case-insensitive, "[v6]" hosts).
// Throws 12006 for another scheme, 12005 for anything malformed.
HttpUrl ParseHttpUrl(const std::string& url);

// An HTTP reply body. Read returns full requested blocks until the end of the body, then a short
// block, then 0; a body shorter than its Content-Length throws 12030.
class HttpBody {
 public:
  virtual ~HttpBody() = default;
  virtual uint32_t Read(void* buffer, uint32_t count) = 0;
  virtual void Close() = 0;
};

// Sends the request and reads the reply head; the stream yields the body. Throws
// CInternetException (12007, 12029, 12002, 12030) when the server cannot be reached or answers
// with something that is not HTTP, and the TLS layer's errors over https.
std::unique_ptr<HttpBody> HttpGet(const HttpUrl& url, const std::string& agent,
                                  const InternetTimeouts& timeouts);

}  // namespace trox::net
