// The source query chain and the address extraction of every cycle: "URL",
// "URL1", ... fetched with cookies carried and socket errors retried, then the
// address cut out of the last answer and a change stored in section "Status".
#include <cstdint>
#include <exception>
#include <string>

#include "platform/Files.h"
#include "service/Main.h"
#include "source/AddressExtract.h"
#include "source/RetryRule.h"

namespace {

const char* const kSource = "Source";
const char* const kStatus = "Status";
constexpr int32_t kDefaultTimeoutSeconds = 15;
constexpr int kAllReports = 31;

// Sets the source client from section "Source", as it reads now.
void ConfigureSourceClient(TZelvoSvc& svc) {
  const TIniFile& ini = *svc.IniFile;
  THttpClient& http = svc.httpSrc;
  http.HeaderInfo.UserId = ini.ReadText(kSource, "User", "");
  http.HeaderInfo.Password = ini.ReadText(kSource, "Pass", "");
  http.Proxy = ini.ReadText(kSource, "Proxy", "");
  http.ProxyPort = ini.ReadNumber(kSource, "ProxyPort", 0);
  http.TimeOut = int64_t{ini.ReadNumber(kSource, "Timeout", kDefaultTimeoutSeconds)} * 1000;
  http.ReportLevel = ini.ReadNumber(kSource, "Log", 0) > 2 ? kAllReports : 0;
  http.HeaderInfo.Cookie.clear();  // the first request of a chain sends none
  http.Body = ini.ReadText(kSource, "File", "");
  http.InputFileMode = !http.Body.empty();
}

// Removes what the previous attempt left: the body file or the body text.
void ClearBody(THttpClient& http) {
  if (http.InputFileMode)
    DeleteFileIfExists(http.Body);  // a missing or undeletable file is no error
  else
    http.Body.clear();
}

// One GET of `url`; false with the failure's message when it raised one.
bool TryGet(THttpClient& http, const std::string& url, std::string& message) {
  try {
    http.Get(url);
    if (http.Connected()) http.Disconnect();
    return true;
  } catch (const std::exception& e) {
    message = e.what();
    return false;
  }
}

// Fetches SourceURL with up to kMaxSourceAttempts attempts; true when an
// answer counts as received, false (logged) when the chain must end.
bool FetchSourceUrl(TZelvoSvc& svc) {
  THttpClient& http = svc.httpSrc;
  svc.WriteLogLevel(2, "[%s] connecting: %s", kSource, svc.SourceURL);
  for (int failed = 0;;) {
    ClearBody(http);
    std::string message;
    if (TryGet(http, svc.SourceURL, message)) return true;
    ++failed;
    if (ShouldRetrySource(message, failed)) {
      // Wakes early on a control request and leaves it queued for the loop.
      svc.WaitForControlRequest(kSourceRetryWaitMs);
      continue;
    }
    if (ProceedsWithPartialBody(message, svc.GetReceivedBody(http))) {
      svc.WriteLogLevel(2, "Exception %s (Received data might be incomplete. Proceeding anyway...)",
                        message);
      return true;
    }
    svc.WriteLog("Exception at GET source %s: %s", svc.SourceURL, message);
    return false;
  }
}

// Stores a new address and the time of the change, in this order.
void StoreChangedAddress(TZelvoSvc& svc, const std::string& address) {
  const std::string lastIP = svc.IniFile->ReadText(kStatus, "LastIP", "");
  if (lastIP == address) return;
  svc.IniFile->WriteText(kStatus, "LastIP", address);
  svc.IniFile->WriteText(kStatus, "Changed", svc.TimeStampNow());
  svc.WriteLog("IP changed from (%s) to (%s)", lastIP, address);
}

}  // namespace

void TZelvoSvc::QuerySource() {
  CurrentSection = kSource;
  ConfigureSourceClient(*this);
  std::string url = IniFile->ReadText(kSource, "URL", "");
  for (int index = 1; !url.empty(); ++index) {
    SourceURL = url;
    if (!FetchSourceUrl(*this)) return;
    LogReceivedData(httpSrc, true);
    httpSrc.HeaderInfo.Cookie = httpSrc.ReceivedCookie();
    url = IniFile->ReadText(kSource, "URL" + std::to_string(index), "");
  }
  httpSrcSuccess();
}

void TZelvoSvc::httpSrcSuccess() {
  const std::string text = StripLineBreaks(GetReceivedBody(httpSrc));
  const std::string prefix = IniFile->ReadText(kSource, "Prefix", "");
  const int32_t count = IniFile->ReadNumber(kSource, "Count", 1);
  const TExtractResult found = ExtractAddress(text, prefix, count);
  switch (found.Outcome) {
    case TExtractOutcome::PrefixNotFound:
      WriteLog("Not found Prefix: \"%s\" (Count=%s)", prefix, std::to_string(count));
      return;
    case TExtractOutcome::Empty:
      WriteLog("Empty IP string - invalid Prefix or router offline?");
      return;
    case TExtractOutcome::Invalid:
      WriteLog("Invalid IP string \"%s\" - invalid Prefix or router offline?", found.Run);
      return;
    case TExtractOutcome::Address:
      break;
  }
  WriteLogLevel(2, "Found [%s] IP:   %s", kSource, found.Address);
  if (found.Address == "0.0.0.0") return;
  StoreChangedAddress(*this, found.Address);
}
