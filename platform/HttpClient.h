// The service's HTTP/1.0 client: one GET at a time over POSIX sockets, with the
// exact request form the update providers and routers see, a time limit on
// every step, and bounds against hostile servers. Failures of the transport are
// thrown as Exception with a message text ("10061: Connection refused", "Null
// Remote Address", "Socket capture aborted", ...); HTTP statuses of 400 and
// above are reported through OnFailure/OnAuthenticationNeeded instead.
#pragma once

#include <cstdint>
#include <functional>
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

// Progress message levels passed to OnStatus when not above ReportLevel.
constexpr int kStatusLevelBasic = 1;
constexpr int kStatusLevelConnection = 2;
constexpr int kStatusLevelTransfer = 4;
constexpr int kStatusLevelDetail = 8;

// Bounds against servers that send too much.
constexpr size_t kMaxHeaderLineBytes = 8 * 1024;
constexpr size_t kMaxHeaderBytes = 64 * 1024;
constexpr size_t kMaxBodyBytes = 16 * 1024 * 1024;

class THttpClient {
 public:
  THttpClient();
  ~THttpClient();
  THttpClient(const THttpClient&) = delete;
  THttpClient& operator=(const THttpClient&) = delete;

  // Settings.
  int64_t TimeOut = 0;  // milliseconds of inactivity allowed per step; 0: no limit
  int Port = 0;         // 0: the URL's port, or 80
  std::string Proxy;    // non-empty: connect here and send the whole URL
  int ProxyPort = 0;
  int ReportLevel = 0;
  std::string Body = "Default.htm";    // body text, or body file name in InputFileMode
  std::string Header = "Head.txt";     // received header text (OutputFileMode off)
  bool InputFileMode = false;          // body goes to the file named by Body
  bool OutputFileMode = false;
  THeaderInfo HeaderInfo;

  // Events, called on the calling thread while Get runs.
  std::function<void(THttpClient& sender, const std::string& status)> OnStatus;
  std::function<void(int cmd)> OnFailure;                       // status >= 400
  std::function<void(THttpClient& sender)> OnAuthenticationNeeded;  // status 401
  std::function<void(THttpClient& sender)> OnAboutToSend;       // before connecting

  // One HTTP GET; returns once the body has been read to the end of the
  // connection. Throws Exception on every transport failure.
  void Get(const std::string& url);
  // Closes the connection if one is open.
  void Disconnect();
  bool Connected() const { return fd_ >= 0; }

  // The header list of the request being assembled; valid inside OnAboutToSend.
  // Replaces the value of the header `name` or appends it at the end.
  void SetHeaderValue(const std::string& name, const std::string& value);
  const std::vector<std::pair<std::string, std::string>>& OutgoingHeaders() const {
    return headers_;
  }

  // The value of the last Set-Cookie line of the latest answer; "" when none.
  const std::string& ReceivedCookie() const { return receivedCookie_; }
  // The HTTP status code of the latest answer; 0 before one was read.
  int StatusCode() const { return statusCode_; }

 private:
  int fd_ = -1;
  std::vector<std::pair<std::string, std::string>> headers_;
  std::string receivedCookie_;
  int statusCode_ = 0;
};
