// The service's handlers of the HTTP clients' events and the received-data
// lines: progress messages, failed requests, refused authentication, the body
// and the cookie of every answer, all turned into log lines.
#include "service/Main.h"

namespace {

// Progress messages of the timer and of the per-line reading and writing.
const std::string kDroppedStatusPrefixes = "Timer/ReadL/Write/";

}  // namespace

void TZelvoSvc::httpStatus(THttpClient& sender, const std::string& status) {
  const std::string needle = status.substr(0, 5) + "/";
  if (kDroppedStatusPrefixes.find(needle) != std::string::npos) return;
  if (sender.ReportLevel != 0) WriteLog("[%s] debug info: %s", CurrentSection, status);
}

void TZelvoSvc::httpSrcFailure(int) { WriteLog("GET from source URL %s failed", SourceURL); }

void TZelvoSvc::httpDstFailure(int) { WriteLog("UPDATE of %s failed", UpdateURL); }

void TZelvoSvc::httpSrcAuthenticationNeeded(THttpClient&) {
  WriteLog("Authentication with source %s failed", SourceURL);
}

void TZelvoSvc::httpDstAuthenticationNeeded(THttpClient&) {
  WriteLog("Authentication with server %s failed", UpdateURL);
}

void TZelvoSvc::LogReceivedData(THttpClient& client, bool stripLineBreaks) {
  std::string body = GetReceivedBody(client);
  if (!body.empty()) {
    if (stripLineBreaks) body = StripLineBreaks(body);
    WriteLogLevel(4, "[%s] data rcvd.: %s", CurrentSection, body);
  }
  const std::string& cookie = client.ReceivedCookie();
  if (!cookie.empty())
    WriteLogLevel(4, "[%s] set cookie: %s", CurrentSection, StripLineBreaks(cookie));
}

std::string StripLineBreaks(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text)
    if (c != '\r' && c != '\n') out.push_back(c);
  return out;
}
