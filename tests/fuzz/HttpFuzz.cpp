// libFuzzer target for the HTTP client's text work on outside input: URL
// splitting, request formatting (no header injection, whatever the text) and
// the status-line and Set-Cookie parsers. Build from the source root with:
//   clang++ -std=c++20 -g -O1 -I. -fsanitize=fuzzer,address,undefined
//   tests/fuzz/HttpFuzz.cpp platform/Url.cpp platform/HttpMessage.cpp
//   platform/Base64.cpp -o HttpFuzz
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/Exception.h"
#include "platform/HttpMessage.h"
#include "platform/Url.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

void CheckUrl(const std::string& input) {
  try {
    const TUrl url = ParseUrl(input);
    Check(!url.Host.empty() && url.Port >= 0 && url.Port <= 65535);
    const std::string target = RequestTarget(input, url, false);
    Check(!target.empty() && target[0] == '/' && target.size() <= kMaxRequestTarget);
  } catch (const Exception&) {
  }
}

// Every line of the request ends in CR LF and nothing else breaks a line.
void CheckRequest(const std::string& input) {
  THeaderInfo info{input, input, input, input};
  THeaderList headers = BuildRequestHeaders(input, info, !input.empty() && input[0] == 'p');
  SetHeader(headers, "User-Agent", input);
  const std::string request = FormatRequest(input, headers);
  const auto lineFeeds = std::count(request.begin(), request.end(), '\n');
  Check(static_cast<size_t>(lineFeeds) == headers.size() + 2);
  Check(std::count(request.begin(), request.end(), '\r') == lineFeeds);
  Check(request.find('\0') == std::string::npos);
  Check(request.size() >= 4 && request.compare(request.size() - 4, 4, "\r\n\r\n") == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  CheckUrl(input);
  CheckRequest(input);
  const int code = ParseStatusCode(input);
  Check(code == -1 || (code >= 0 && code <= 999));
  std::string cookie;
  if (ParseSetCookie(input, cookie)) Check(cookie.size() + 11 <= input.size());
  return 0;
}
