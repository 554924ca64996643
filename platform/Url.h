// Splitting of the URLs the service fetches into scheme, host, port and
// request target; pure text work, so that a table of cases can test it.
#pragma once

#include <string>

// The parts of an http URL. Host keeps IPv6 brackets ("[::1]") as written.
struct TUrl {
  std::string Scheme;  // lower case; "http" when the URL names none
  std::string Host;
  int Port = 0;        // 0 when the URL names no port
  std::string Target;  // from the first "/" (or "?") after the host; "" when none
};

// Longest request target sent on a direct connection.
constexpr size_t kMaxRequestTarget = 256;

// Splits `url`; throws Exception for an empty URL ("Empty URL"), an https URL
// ("HTTP Secure Socket is not supported"), another scheme, no host or a bad port.
TUrl ParseUrl(const std::string& url);

// The target of the request line: path and query cut to 256 characters, "/"
// when the URL has none; through a proxy the whole URL (scheme added if missing).
std::string RequestTarget(const std::string& url, const TUrl& parts, bool viaProxy);

// The host as the resolver wants it: without the brackets of an IPv6 literal.
std::string HostForLookup(const std::string& host);
