// URL splitting for the HTTP client: scheme, host, port and the request
// target in the forms a direct request and a proxied request need.
#include "platform/Url.h"

#include <cctype>

#include "platform/Exception.h"

namespace {

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// Splits off "scheme://"; "http" when the URL names no scheme.
std::string TakeScheme(const std::string& url, size_t& rest) {
  size_t sep = url.find("://");
  size_t firstSlash = url.find('/');
  bool valid = sep != std::string::npos && sep > 0 && sep < firstSlash;
  for (size_t i = 0; valid && i < sep; ++i) {
    unsigned char c = static_cast<unsigned char>(url[i]);
    valid = std::isalnum(c) || c == '+' || c == '-' || c == '.';
  }
  if (!valid) {
    rest = 0;
    return "http";
  }
  rest = sep + 3;
  return Lower(url.substr(0, sep));
}

int ParsePort(const std::string& text, const std::string& url) {
  if (text.empty()) return 0;
  if (text.size() > 5) throw Exception("Invalid port in URL " + url);
  int port = 0;
  for (char c : text) {
    if (c < '0' || c > '9') throw Exception("Invalid port in URL " + url);
    port = port * 10 + (c - '0');
  }
  if (port < 1 || port > 65535) throw Exception("Invalid port in URL " + url);
  return port;
}

// Splits "host[:port]" or "[v6]:port" into host and port.
void SplitAuthority(const std::string& authority, const std::string& url, TUrl& out) {
  std::string hostPort =
      authority.substr(authority.rfind('@') == std::string::npos ? 0 : authority.rfind('@') + 1);
  size_t colon = hostPort.rfind(':');
  size_t bracket = hostPort.rfind(']');
  if (colon != std::string::npos && (bracket == std::string::npos || colon > bracket)) {
    out.Port = ParsePort(hostPort.substr(colon + 1), url);
    hostPort.resize(colon);
  }
  out.Host = hostPort;
}

}  // namespace

TUrl ParseUrl(const std::string& url) {
  if (url.empty()) throw Exception("Empty URL");
  TUrl out;
  size_t pos = 0;
  out.Scheme = TakeScheme(url, pos);
  if (out.Scheme == "https") throw Exception("HTTP Secure Socket is not supported");
  if (out.Scheme != "http") throw Exception("Unsupported URL scheme: " + out.Scheme);
  size_t end = url.find_first_of("/?", pos);
  if (end == std::string::npos) end = url.size();
  SplitAuthority(url.substr(pos, end - pos), url, out);
  if (out.Host.empty()) throw Exception("No host in URL " + url);
  out.Target = url.substr(end);
  return out;
}

std::string RequestTarget(const std::string& url, const TUrl& parts, bool viaProxy) {
  if (viaProxy) return url.find("://") == std::string::npos ? "http://" + url : url;
  if (parts.Target.empty()) return "/";
  std::string target = parts.Target[0] == '/' ? parts.Target : "/" + parts.Target;
  if (target.size() > kMaxRequestTarget) target.resize(kMaxRequestTarget);
  return target;
}

std::string HostForLookup(const std::string& host) {
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
    return host.substr(1, host.size() - 2);
  return host;
}
