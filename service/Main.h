// The service class: the one object that owns the two HTTP clients, the INI
// file, the log stream and the texts shared by every step of a cycle. Its
// methods are spread over the folders of the subsystems that own them.
#pragma once

#include <memory>
#include <string>

#include "config/IniFile.h"
#include "platform/HttpClient.h"
#include "platform/LogStream.h"
#include "platform/Service.h"

class TZelvoSvc : public TService {
 public:
  TZelvoSvc();
  ~TZelvoSvc() override;

  // Fields, in declaration order.
  THttpClient httpSrc;
  THttpClient httpDst;
  std::unique_ptr<TIniFile> IniFile;
  std::string LogFileName;
  std::string SourceURL;
  std::string UpdateURL;
  std::string CurrentSection;
  TLogStream LogStream;

  // Service lifecycle (service/).
  void ServiceStart(TService& sender, bool& started);
  void ServiceExecute(TService& sender);
  void ServiceDestroy(TService& sender);
  // Waits `seconds` while serving control requests; ends early on a stop.
  void Suspend(int seconds);
  // "1.3.3.0", the compiled-in file version.
  std::string GetFileVersion();

  // Time stamps (config/).
  double Now();
  std::string TimeStampNow();
  // 0 for ""; logs and throws Exception for an unreadable stamp.
  double ParseTimeStamp(const std::string& text);

  // Log file (log/).
  void WriteLog(const std::string& format, const std::string& a1 = "",
                const std::string& a2 = "", const std::string& a3 = "");
  void WriteLogLevel(int level, const std::string& format, const std::string& a1 = "",
                     const std::string& a2 = "", const std::string& a3 = "");

  // HTTP transfer diagnostics (log/).
  void httpStatus(THttpClient& sender, const std::string& status);
  void httpSrcFailure(int cmd);
  void httpDstFailure(int cmd);
  void httpSrcAuthenticationNeeded(THttpClient& sender);
  void httpDstAuthenticationNeeded(THttpClient& sender);
  void LogReceivedData(THttpClient& client, bool stripLineBreaks);

  // Address discovery (source/).
  void QuerySource();
  void httpSrcSuccess();
  std::string GetReceivedBody(THttpClient& client);

  // Record update (update/).
  void CheckServer(const std::string& section);
  void UpdateServer(const std::string& section);
  void httpDstAboutToSend(THttpClient& sender);
};

// The process-wide pointer to the one service object.
extern TZelvoSvc* ZelvoSvc;

// Removes every CR and LF from `text`.
std::string StripLineBreaks(const std::string& text);
