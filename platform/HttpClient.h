// The service's HTTP/1.0 client: one GET at a time over POSIX sockets, with the
// exact request form the update providers and routers see, a time limit on
// every step, and bounds against hostile servers. Failures of the transport are
// thrown as Exception with a message text ("10061: Connection refused", "Null
// Remote Address", "Socket capture aborted", ...); HTTP statuses of 400 and
// above are reported through OnFailure/OnAuthenticationNeeded instead.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/HttpMessage.h"

// Progress message levels passed to OnStatus when not above ReportLevel.
constexpr int kStatusLevelBasic = 1;
constexpr int kStatusLevelConnection = 2;
constexpr int kStatusLevelTransfer = 4;
constexpr int kStatusLevelDetail = 8;

// Bounds against servers that send too much.
constexpr size_t kMaxHeaderLineBytes = 8 * 1024;
constexpr size_t kMaxHeaderBytes = 64 * 1024;
constexpr size_t kMaxBodyBytes = 16 * 1024 * 1024;

// The request kind passed to OnFailure.
constexpr int kCmdGet = 0;

class TSocket;
class TAnswerReader;

class THttpClient {
 public:
  THttpClient();
  ~THttpClient();
  THttpClient(const THttpClient&) = delete;
  THttpClient& operator=(const THttpClient&) = delete;

  // Settings.
  int64_t TimeOut = 0;  // milliseconds of inactivity allowed per step; 0: no limit
  int Port = 0;         // used when the URL names no port; 0: 80
  std::string Proxy;    // non-empty: connect here and send the whole URL
  int ProxyPort = 0;    // 0: 80
  int ReportLevel = 0;
  std::string Body = "Default.htm";  // body text, or body file name in InputFileMode
  std::string Header = "Head.txt";   // header text, or header file name in OutputFileMode
  bool InputFileMode = false;        // body goes to the file named by Body
  bool OutputFileMode = false;       // header goes to the file named by Header
  THeaderInfo HeaderInfo;

  // Events, called on the calling thread while Get runs.
  std::function<void(THttpClient& sender, const std::string& status)> OnStatus;
  std::function<void(int cmd)> OnFailure;                           // status >= 400
  std::function<void(THttpClient& sender)> OnAuthenticationNeeded;  // status 401
  std::function<void(THttpClient& sender)> OnAboutToSend;           // before connecting

  // One HTTP GET; returns once the body has been read to the end of the
  // connection. Throws Exception on every transport failure: "Empty URL",
  // "HTTP Secure Socket is not supported", "Null Remote Address", socket
  // errors as "<number>: <description>", "Socket capture aborted" (text body
  // cut off by the time limit, the part received kept in Body), "Socket send
  // aborted" (the same in file mode), and the bounds on header and body.
  void Get(const std::string& url);
  // Closes the connection if one is open.
  void Disconnect();
  // True while a connection is open (only inside Get: each Get closes its own).
  bool Connected() const;

  // The header list of the request being assembled; valid inside OnAboutToSend.
  // Replaces the value of the header `name` or appends it at the end.
  void SetHeaderValue(const std::string& name, const std::string& value);
  const THeaderList& OutgoingHeaders() const { return headers_; }

  // The value of the last Set-Cookie line of the latest answer; "" when none.
  // Kept when a request fails before an answer arrives.
  const std::string& ReceivedCookie() const { return receivedCookie_; }
  // The HTTP status code of the latest answer; 0 before one was read.
  int StatusCode() const { return statusCode_; }

 private:
  void Report(int level, const std::string& status);
  std::string PrepareRequest(const std::string& url, std::string& host, int& port);
  void OpenConnection(const std::string& host, int port);
  void SendRequest(const std::string& request);
  void ReadAnswerHead(TAnswerReader& reader);
  void TakeHeaderLine(const std::string& line, std::string& headerText);
  void ReadBodyText(TAnswerReader& reader);
  void ReadBodyFile(TAnswerReader& reader);
  void StoreHeader(const std::string& headerText);
  void ReportHttpFailure();

  std::unique_ptr<TSocket> socket_;
  THeaderList headers_;
  std::string receivedCookie_;
  int statusCode_ = 0;
};
