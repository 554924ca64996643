// The pure text side of an HTTP/1.0 exchange: the request header lines in the
// fixed order the providers and routers see, the request bytes, and the parsing
// of the status line and the Set-Cookie lines of the answer.
#pragma once

#include <string>
#include <utility>
#include <vector>

// Credentials, cookie and program identification sent with every request.
struct THeaderInfo {
  std::string UserId;
  std::string Password;
  std::string Cookie;        // sent as "Cookie" when not empty (CR and LF removed)
  std::string LocalProgram;  // sent as "From" when not empty
};

// Header lines as name and value, in the order they are sent.
using THeaderList = std::vector<std::pair<std::string, std::string>>;

// The header lines of a request before OnAboutToSend: Proxy-Connection (proxy
// only), Host, the two Accept lines, From, Cookie, Authorization (only with
// both user and password), Content-type.
THeaderList BuildRequestHeaders(const std::string& host, const THeaderInfo& info, bool viaProxy);

// Replaces the value of the header `name` (letter case ignored) or appends it.
void SetHeader(THeaderList& headers, const std::string& name, const std::string& value);

// "GET <target> HTTP/1.0", each header as "Name: value", CR LF line ends and
// the empty line; CR, LF and NUL are removed from the target and every value.
std::string FormatRequest(const std::string& target, const THeaderList& headers);

// The status code of "HTTP/x.y NNN reason"; -1 when `line` is no status line.
int ParseStatusCode(const std::string& line);

// True when `line` is a Set-Cookie header line; `value` gets the text after
// the colon and one blank.
bool ParseSetCookie(const std::string& line, std::string& value);

// `text` without CR, LF and NUL characters.
std::string RemoveLineBreaks(const std::string& text);
