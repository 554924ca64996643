// Request building and answer-line parsing of the HTTP client, kept free of
// sockets so that tables of cases test them byte for byte.
#include "platform/HttpMessage.h"

#include <strings.h>

#include "platform/Base64.h"

namespace {

bool SameName(const std::string& a, const std::string& b) {
  return a.size() == b.size() && strncasecmp(a.c_str(), b.c_str(), a.size()) == 0;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

THeaderList BuildRequestHeaders(const std::string& host, const THeaderInfo& info, bool viaProxy) {
  THeaderList h;
  if (viaProxy) h.emplace_back("Proxy-Connection", "Keep-Alive");
  h.emplace_back("Host", host);
  h.emplace_back("Accept", "www/source, text/html, video/mpeg, image/jpeg, image/x-tiff");
  h.emplace_back("Accept", "image/x-rgb, image/x-xbm, image/gif, */*, application/postscript");
  if (!info.LocalProgram.empty()) h.emplace_back("From", info.LocalProgram);
  if (!info.Cookie.empty()) h.emplace_back("Cookie", RemoveLineBreaks(info.Cookie));
  if (!info.UserId.empty() && !info.Password.empty())
    h.emplace_back("Authorization", "Basic " + Base64Encode(info.UserId + ":" + info.Password));
  h.emplace_back("Content-type", "application/x-www-form-urlencoded");
  return h;
}

void SetHeader(THeaderList& headers, const std::string& name, const std::string& value) {
  for (auto& [n, v] : headers) {
    if (SameName(n, name)) {
      v = value;
      return;
    }
  }
  headers.emplace_back(name, value);
}

std::string FormatRequest(const std::string& target, const THeaderList& headers) {
  std::string out = "GET " + RemoveLineBreaks(target) + " HTTP/1.0\r\n";
  for (const auto& [name, value] : headers)
    out += RemoveLineBreaks(name) + ": " + RemoveLineBreaks(value) + "\r\n";
  out += "\r\n";
  return out;
}

int ParseStatusCode(const std::string& line) {
  if (line.compare(0, 5, "HTTP/") != 0) return -1;
  size_t sp = line.find(' ');
  if (sp == std::string::npos) return -1;
  size_t p = line.find_first_not_of(' ', sp);
  if (p == std::string::npos || p + 3 > line.size()) return -1;
  if (!IsDigit(line[p]) || !IsDigit(line[p + 1]) || !IsDigit(line[p + 2])) return -1;
  if (p + 3 < line.size() && line[p + 3] != ' ' && line[p + 3] != '\r') return -1;
  return (line[p] - '0') * 100 + (line[p + 1] - '0') * 10 + (line[p + 2] - '0');
}

bool ParseSetCookie(const std::string& line, std::string& value) {
  static const std::string kName = "Set-Cookie:";
  if (line.size() < kName.size() || !SameName(line.substr(0, kName.size()), kName)) return false;
  size_t start = kName.size();
  if (start < line.size() && line[start] == ' ') ++start;
  value = line.substr(start);
  return true;
}

std::string RemoveLineBreaks(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text)
    if (c != '\r' && c != '\n' && c != '\0') out.push_back(c);
  return out;
}
