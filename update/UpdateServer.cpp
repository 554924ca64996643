// The update request for one server section: the address put into the URL,
// one GET through the update client, and the answer judged by the success
// texts; the attempt and a success are stamped in the INI file.
#include <string>

#include "platform/Exception.h"
#include "service/Main.h"
#include "service/Version.h"
#include "update/UrlFormat.h"

namespace {

// How much of an unsuccessful answer the log line quotes.
constexpr size_t kQuotedResponseChars = 150;
// Report level that passes every progress message of the client.
constexpr int kReportAll = 31;

// True when `body` holds a non-empty `candidate` (exact, case-sensitive).
bool Contains(const std::string& body, const std::string& candidate) {
  return !candidate.empty() && body.find(candidate) != std::string::npos;
}

// "StatusOK", then "StatusOK1", "StatusOK2", ... up to the first numbered key
// that is empty; an empty "StatusOK" does not end the list.
bool AnswerHasSuccessText(const TIniFile& ini, const std::string& section,
                          const std::string& body) {
  if (Contains(body, ini.ReadText(section, "StatusOK", ""))) return true;
  for (long number = 1;; ++number) {
    const std::string candidate = ini.ReadText(section, "StatusOK" + std::to_string(number), "");
    if (candidate.empty()) return false;
    if (Contains(body, candidate)) return true;
  }
}

}  // namespace

void TZelvoSvc::UpdateServer(const std::string& section) {
  const std::string ip = IniFile->ReadText("Status", "LastIP", "");
  if (ip.empty() || ip == "0.0.0.0") {
    WriteLog("Invalid IP - no UPDATE");
    return;
  }
  // A URL the expansion rejects is a configuration error that ends the service.
  UpdateURL = ExpandUrl(IniFile->ReadText(section, "URL", ""), ip);

  httpDst.HeaderInfo.UserId = IniFile->ReadText(section, "User", "");
  httpDst.HeaderInfo.Password = IniFile->ReadText(section, "Pass", "");
  httpDst.Proxy = IniFile->ReadText(section, "Proxy", "");
  httpDst.ProxyPort = IniFile->ReadNumber(section, "ProxyPort", 0);
  httpDst.TimeOut = static_cast<int64_t>(IniFile->ReadNumber(section, "Timeout", 60)) * 1000;
  httpDst.ReportLevel = IniFile->ReadNumber("Source", "Log", 0) > 2 ? kReportAll : 0;
  httpDst.Body.clear();

  IniFile->WriteText(section, "LastAttmpt", TimeStampNow());
  WriteLogLevel(2, "[%s] connecting: %s", section, UpdateURL);
  try {
    httpDst.Get(UpdateURL);
  } catch (const std::exception& e) {
    const std::string message = e.what();
    if (message == "Null Remote Address") {
      WriteLog("UPDATE [%s] failed - unable to connect to %s", section, UpdateURL);
      return;
    }
    WriteLog("Exception at UPDATE [%s] %s: %s", section, UpdateURL, message);
    LogReceivedData(httpDst, false);
    return;
  }
  LogReceivedData(httpDst, false);

  if (!AnswerHasSuccessText(*IniFile, section, httpDst.Body)) {
    WriteLog("Unsuccessful UPDATE [%s] %s Response: %s", section, UpdateURL,
             httpDst.Body.substr(0, kQuotedResponseChars));
    return;
  }
  IniFile->WriteText(section, "LastUpdate", TimeStampNow());
  WriteLog("Updated [%s] %s", section, UpdateURL);
}

void TZelvoSvc::httpDstAboutToSend(THttpClient&) {
  httpDst.SetHeaderValue("User-Agent",
                         "ZelvoSvc/" + GetFileVersion() + " " + std::string(kContactAddress));
}
