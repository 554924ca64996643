// The pure text side of the HTTP client: URL splitting, request targets,
// Base64, the request bytes, status-line and Set-Cookie parsing, and the
// table of socket error messages.
#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include "platform/Base64.h"
#include "platform/Exception.h"
#include "platform/HttpMessage.h"
#include "platform/Socket.h"
#include "platform/Url.h"

namespace {

TEST(HttpUrl, SplitsSchemeHostPortAndTarget) {
  struct Row {
    std::string url;
    std::string host;
    int port;
    std::string target;
  };
  const std::vector<Row> rows = {
      {"http://example.org", "example.org", 0, ""},
      {"http://example.org/", "example.org", 0, "/"},
      {"http://example.org:8080/a/b?c=d&e=f", "example.org", 8080, "/a/b?c=d&e=f"},
      {"HTTP://Example.ORG/x", "Example.ORG", 0, "/x"},
      {"example.org/ip", "example.org", 0, "/ip"},
      {"example.org:81", "example.org", 81, ""},
      {"http://example.org?q=1", "example.org", 0, "?q=1"},
      {"http://user:pw@example.org:82/p", "example.org", 82, "/p"},
      {"http://[::1]:8080/v6", "[::1]", 8080, "/v6"},
      {"http://[::1]/v6", "[::1]", 0, "/v6"},
      {"http://example.org:/p", "example.org", 0, "/p"},
      {"example.org/redirect?to=http://other/", "example.org", 0, "/redirect?to=http://other/"},
  };
  for (const Row& row : rows) {
    TUrl u = ParseUrl(row.url);
    EXPECT_EQ(u.Scheme, "http") << row.url;
    EXPECT_EQ(u.Host, row.host) << row.url;
    EXPECT_EQ(u.Port, row.port) << row.url;
    EXPECT_EQ(u.Target, row.target) << row.url;
  }
}

TEST(HttpUrl, RefusesWhatCannotBeFetched) {
  struct Row {
    std::string url;
    std::string message;
  };
  const std::vector<Row> rows = {
      {"", "Empty URL"},
      {"https://example.org/", "HTTP Secure Socket is not supported"},
      {"HttpS://example.org/", "HTTP Secure Socket is not supported"},
      {"ftp://example.org/", "Unsupported URL scheme: ftp"},
      {"http://", "No host in URL http://"},
      {"http://:80/", "No host in URL http://:80/"},
      {"http://h:0/", "Invalid port in URL http://h:0/"},
      {"http://h:65536/", "Invalid port in URL http://h:65536/"},
      {"http://h:8o/", "Invalid port in URL http://h:8o/"},
      {"http://h:0000080/", "Invalid port in URL http://h:0000080/"},
  };
  for (const Row& row : rows) {
    try {
      ParseUrl(row.url);
      ADD_FAILURE() << "no error for " << row.url;
    } catch (const Exception& e) {
      EXPECT_EQ(e.Message(), row.message) << row.url;
    }
  }
}

TEST(HttpUrl, RequestTargetIsCutOnlyOnDirectConnections) {
  const std::string path256 = "/" + std::string(255, 'a');
  const std::string path300 = "/" + std::string(299, 'b');
  struct Row {
    std::string url;
    bool viaProxy;
    std::string target;
  };
  const std::vector<Row> rows = {
      {"http://h", false, "/"},
      {"http://h/", false, "/"},
      {"http://h?q", false, "/?q"},
      {"http://h/a?b", false, "/a?b"},
      {"http://h" + path256, false, path256},
      {"http://h" + path300, false, path300.substr(0, 256)},
      {"http://h" + path300, true, "http://h" + path300},
      {"h:81/a", true, "http://h:81/a"},
      {"http://h", true, "http://h"},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(RequestTarget(row.url, ParseUrl(row.url), row.viaProxy), row.target) << row.url;
  }
}

TEST(HttpUrl, LookupHostDropsIpv6Brackets) {
  EXPECT_EQ(HostForLookup("[::1]"), "::1");
  EXPECT_EQ(HostForLookup("example.org"), "example.org");
  EXPECT_EQ(HostForLookup("["), "[");
}

TEST(HttpBase64, EncodesWithPadding) {
  struct Row {
    std::string in;
    std::string out;
  };
  const std::vector<Row> rows = {
      {"", ""},
      {"f", "Zg=="},
      {"fo", "Zm8="},
      {"foo", "Zm9v"},
      {"foob", "Zm9vYg=="},
      {"fooba", "Zm9vYmE="},
      {"foobar", "Zm9vYmFy"},
      {"Aladdin:open sesame", "QWxhZGRpbjpvcGVuIHNlc2FtZQ=="},
      {std::string("\xff\xfe\x00", 3), "//4A"},
  };
  for (const Row& row : rows) EXPECT_EQ(Base64Encode(row.in), row.out) << row.in;
  const std::string longText = Base64Encode(std::string(100, 'x'));
  EXPECT_EQ(longText.find('\n'), std::string::npos) << "one line, however long";
  EXPECT_EQ(longText.size(), 136u);
}

TEST(HttpRequest, HeaderLinesInTheirOrder) {
  const std::string accept1 = "www/source, text/html, video/mpeg, image/jpeg, image/x-tiff";
  const std::string accept2 = "image/x-rgb, image/x-xbm, image/gif, */*, application/postscript";
  const std::string form = "application/x-www-form-urlencoded";
  struct Row {
    std::string name;
    THeaderInfo info;
    bool viaProxy;
    THeaderList expected;
  };
  const std::vector<Row> rows = {
      {"plain",
       {},
       false,
       {{"Host", "h"}, {"Accept", accept1}, {"Accept", accept2}, {"Content-type", form}}},
      {"proxy",
       {},
       true,
       {{"Proxy-Connection", "Keep-Alive"},
        {"Host", "h"},
        {"Accept", accept1},
        {"Accept", accept2},
        {"Content-type", form}}},
      {"all",
       {"u", "p", "c=1\r\n", "Zelvo/1.0 a@b"},
       false,
       {{"Host", "h"},
        {"Accept", accept1},
        {"Accept", accept2},
        {"From", "Zelvo/1.0 a@b"},
        {"Cookie", "c=1"},
        {"Authorization", "Basic dTpw"},
        {"Content-type", form}}},
      {"password only",
       {"", "p", "", ""},
       false,
       {{"Host", "h"}, {"Accept", accept1}, {"Accept", accept2}, {"Content-type", form}}},
  };
  for (const Row& row : rows)
    EXPECT_EQ(BuildRequestHeaders("h", row.info, row.viaProxy), row.expected) << row.name;
}

TEST(HttpRequest, SetHeaderReplacesOrAppends) {
  THeaderList h = {{"Host", "h"}, {"Content-type", "x"}};
  SetHeader(h, "User-Agent", "one");
  SetHeader(h, "user-agent", "two");
  SetHeader(h, "CONTENT-TYPE", "y");
  const THeaderList expected = {{"Host", "h"}, {"Content-type", "y"}, {"User-Agent", "two"}};
  EXPECT_EQ(h, expected);
}

TEST(HttpRequest, FormatRemovesLineBreaksFromEveryField) {
  struct Row {
    std::string target;
    THeaderList headers;
    std::string bytes;
  };
  const std::vector<Row> rows = {
      {"/", {}, "GET / HTTP/1.0\r\n\r\n"},
      {"/a?b", {{"Host", "h"}}, "GET /a?b HTTP/1.0\r\nHost: h\r\n\r\n"},
      {"/x\r\nInjected: 1", {{"Host", "h"}}, "GET /xInjected: 1 HTTP/1.0\r\nHost: h\r\n\r\n"},
      {"/",
       {{"User-Agent", "a\r\nX-Evil: 1"}, {"From", std::string("n\0ul", 4)}},
       "GET / HTTP/1.0\r\nUser-Agent: aX-Evil: 1\r\nFrom: nul\r\n\r\n"},
  };
  for (const Row& row : rows) EXPECT_EQ(FormatRequest(row.target, row.headers), row.bytes);
}

TEST(HttpAnswer, StatusLineGivesTheCode) {
  struct Row {
    std::string line;
    int code;
  };
  const std::vector<Row> rows = {
      {"HTTP/1.0 200 OK", 200},  {"HTTP/1.1 404 Not Found", 404},
      {"HTTP/1.1 401", 401},     {"HTTP/1.0  503  Busy", 503},
      {"HTTP/2 301 Moved", 301}, {"HTTP/1.0 2000 OK", -1},
      {"HTTP/1.0 20 OK", -1},    {"HTTP/1.0 abc", -1},
      {"HTTP/1.0", -1},          {"http/1.0 200 OK", -1},
      {"ICY 200 OK", -1},        {"", -1},
  };
  for (const Row& row : rows) EXPECT_EQ(ParseStatusCode(row.line), row.code) << row.line;
}

TEST(HttpAnswer, SetCookieValueIsTheTextAfterColonAndBlank) {
  struct Row {
    std::string line;
    bool isCookie;
    std::string value;
  };
  const std::vector<Row> rows = {
      {"Set-Cookie: SID=1; path=/", true, "SID=1; path=/"},
      {"set-cookie: a=b", true, "a=b"},
      {"Set-Cookie:a=b", true, "a=b"},
      {"Set-Cookie:  a=b", true, " a=b"},
      {"Set-Cookie:", true, ""},
      {"Set-Cookie2: a=b", false, ""},
      {"X-Set-Cookie: a=b", false, ""},
      {"Cookie: a=b", false, ""},
  };
  for (const Row& row : rows) {
    std::string value;
    EXPECT_EQ(ParseSetCookie(row.line, value), row.isCookie) << row.line;
    if (row.isCookie) {
      EXPECT_EQ(value, row.value) << row.line;
    }
  }
}

TEST(HttpSocketErrors, MessagesCarryWindowsSocketsNumbers) {
  struct Row {
    int err;
    std::string message;
  };
  const std::vector<Row> rows = {
      {EINTR, "10004: Interrupted function call"},
      {EBADF, "10038: Socket operation on nonsocket"},
      {ENOTSOCK, "10038: Socket operation on nonsocket"},
      {ECONNABORTED, "10053: Software caused connection abort"},
      {ECONNRESET, "10054: Connection reset by peer"},
      {EPIPE, "10058: Cannot send after socket shutdown"},
      {ESHUTDOWN, "10058: Cannot send after socket shutdown"},
      {ETIMEDOUT, "10060: Connection timed out"},
      {ECONNREFUSED, "10061: Connection refused"},
      {ENETUNREACH, "10051: Network is unreachable"},
      {EHOSTUNREACH, "10065: No route to host"},
  };
  for (const Row& row : rows) EXPECT_EQ(SocketErrorMessage(row.err), row.message) << row.err;
  const std::string unknown = SocketErrorMessage(ENOSYS);
  EXPECT_EQ(unknown.substr(0, 6), "10107:") << "never a number the retry rule knows";
  EXPECT_EQ(WindowsSocketsNumber(ENOSYS), 10107);
}

}  // namespace
