// The service class's lifecycle: construction with its settings and the two
// HTTP clients, the start handler, the polling loop, the wait that serves
// control requests, the version text and the destroy handler.
#include "service/Main.h"

#include <cmath>

#include "config/TimeStamp.h"
#include "platform/Files.h"
#include "platform/System.h"
#include "service/Version.h"

TZelvoSvc* ZelvoSvc = nullptr;

namespace {

constexpr const char* kSuspendLine =
    "Suspend for Interval=%s interrupted by system's message. Suspending for %s more seconds...";
constexpr long double kMsPerDay = 86400000.0L;

}  // namespace

TZelvoSvc::TZelvoSvc() {
  Name = "ZelvoSvc";
  DisplayName = "Dynamic DNS Updater";
  WaitHint = 1000;
  AllowStop = true;
  AllowPause = true;
  OnStart = [this](TService& sender, bool& started) { ServiceStart(sender, started); };
  OnExecute = [this](TService& sender) { ServiceExecute(sender); };
  OnDestroy = [this](TService& sender) { ServiceDestroy(sender); };

  httpSrc.TimeOut = 15000;
  httpSrc.InputFileMode = true;
  httpSrc.OnStatus = [this](THttpClient& c, const std::string& s) { httpStatus(c, s); };
  httpSrc.OnFailure = [this](int cmd) { httpSrcFailure(cmd); };
  httpSrc.OnAuthenticationNeeded = [this](THttpClient& c) { httpSrcAuthenticationNeeded(c); };

  httpDst.TimeOut = 60000;
  httpDst.InputFileMode = false;
  httpDst.HeaderInfo.LocalProgram = std::string("Zelvo/1.0 ") + kContactAddress;
  httpDst.OnStatus = [this](THttpClient& c, const std::string& s) { httpStatus(c, s); };
  httpDst.OnFailure = [this](int cmd) { httpDstFailure(cmd); };
  httpDst.OnAuthenticationNeeded = [this](THttpClient& c) { httpDstAuthenticationNeeded(c); };
  httpDst.OnAboutToSend = [this](THttpClient& c) { httpDstAboutToSend(c); };
  for (THttpClient* client : {&httpSrc, &httpDst}) {
    client->Port = 0;
    client->ProxyPort = 0;
    client->ReportLevel = 0;
    client->Body = "Default.htm";
    client->Header = "Head.txt";
    client->OutputFileMode = false;
  }
}

TZelvoSvc::~TZelvoSvc() = default;

void TZelvoSvc::ServiceStart(TService&, bool& started) {
  ExitCode = 0;
  std::string iniPath = ChangeFileExt(ExecutablePath(), ".ini");
  IniFile = std::make_unique<TIniFile>(iniPath);
  if (!IniFile->HasKey("Source", "Interval")) {
    std::string message = "\rINI file invalid or not found: " + iniPath;
    LogMessage(message, EVENTLOG_ERROR_TYPE);
    MessageBoxA(message, "ZelvoSvc", MB_SERVICE_NOTIFICATION | MB_TO_STDERR);
    DoTerminate();
    ExitCode = 2;
    return;
  }
  LogFileName = ChangeFileExt(iniPath, ".log");
  (void)SetCurrentDir(ExtractFilePath(iniPath));
  started = true;
  WriteLog("");
  WriteLog("Zelvo Service %s started. INI file %s", GetFileVersion(), iniPath, "");
  if (IsReadableByOthers(iniPath)) {
    LogMessage("INI file " + iniPath +
                   " can be read by other users, but it holds passwords and tokens: make it "
                   "readable by its owner only (chmod 600)",
               EVENTLOG_WARNING_TYPE);
  }
}

void TZelvoSvc::ServiceExecute(TService&) {
  ServiceThreadProcessRequests();
  Suspend(IniFile->ReadNumber("Source", "StartDelay", 0));
  while (!Terminated()) {
    int interval = IniFile->ReadNumber("Source", "Interval", 0);
    if (interval < 1) {
      WriteLog("Zero Interval set - Execution terminated");
      return;
    }
    QuerySource();
    int n = 1;
    CurrentSection = "Srv1";
    while (IniFile->HasSection(CurrentSection)) {
      CheckServer(CurrentSection);
      ++n;
      CurrentSection = "Srv" + std::to_string(n);
    }
    if (LogStream.Good()) LogStream.Flush();
    Suspend(interval);
  }
  if (LogStream.Good()) {
    LogStream.Write("\n");
    LogStream.Close();
  }
}

// The deadline is fixed in local time; a wake-up with a second or more left
// writes the level-3 line and sleeps the whole seconds left. The last
// fraction of a second is slept too (instead of re-testing the clock in a
// busy loop), so the thread never spins.
void TZelvoSvc::Suspend(int seconds) {
  // Nothing to wait for, even if the clock steps back between two readings.
  if (seconds <= 0) return;
  const double deadline = static_cast<double>(Now() + SecondsToDaysExtended(seconds));
  int64_t waitMs = static_cast<int64_t>(seconds) * 1000;
  while (Now() < deadline && !Terminated()) {
    WaitForControlRequest(waitMs);
    ServiceThreadProcessRequests();
    const double left = deadline - Now();
    const long long remaining = DaysToWholeSeconds(left);
    if (remaining >= 1) {
      WriteLogLevel(3, kSuspendLine, std::to_string(seconds), std::to_string(remaining), "");
      waitMs = remaining * 1000;
    } else {
      waitMs = left > 0 ? static_cast<int64_t>(std::ceil(left * kMsPerDay)) : 0;
    }
  }
}

std::string TZelvoSvc::GetFileVersion() { return kFileVersion; }

void TZelvoSvc::ServiceDestroy(TService&) { IniFile.reset(); }
