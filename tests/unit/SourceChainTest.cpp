// QuerySource in-process against the loopback server, for the failures that a
// real socket on Linux does not produce on demand (10004, 10038, 10053, 10058):
// the client's about-to-send event raises them inside Get, before connecting.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "config/IniFile.h"
#include "platform/Exception.h"
#include "service/Main.h"
#include "support/Harness.h"
#include "support/TestServer.h"

namespace {

using Clock = std::chrono::steady_clock;

int Count(const std::string& text, const std::string& what) {
  int n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// A service object on a temporary INI file whose source client fails its
// first `failures` attempts with `message`.
struct FailingSource {
  FailingSource(const std::string& ini, int failures, std::string message)
      : failuresLeft(failures), failure(std::move(message)) {
    svc.IniFile = std::make_unique<TIniFile>(dir.File("ZelvoSvc.ini"));
    svc.LogFileName = dir.File("ZelvoSvc.log");
    WriteFileOrDie(svc.IniFile->FileName(), ini);
    svc.WriteLog("");  // the first line after the log opens is lost by design
    svc.httpSrc.OnAboutToSend = [this](THttpClient&) {
      ++attempts;
      if (failuresLeft > 0) {
        --failuresLeft;
        throw Exception(failure);
      }
    };
  }
  std::string Log() const { return ReadFileOrEmpty(svc.LogFileName); }
  std::string LastIP() const { return svc.IniFile->ReadText("Status", "LastIP", ""); }

  TempDir dir;
  TZelvoSvc svc;
  int failuresLeft;
  std::string failure;
  int attempts = 0;
};

std::string Ini(const std::string& url) {
  return "[Source]\nInterval=60\nLog=4\nURL=" + url + "\n[Status]\nLastIP=10.0.0.1\n";
}

TEST(SourceRetry, FiveRetryableFailuresThenSuccessWaitBetweenAttempts) {
  TestServer server;
  server.SetDefault(ScriptedReply::Ok("203.0.113.9"));
  FailingSource src(Ini(server.Url("/ip")), 5, "10053: Software caused connection abort");
  const Clock::time_point start = Clock::now();
  src.svc.QuerySource();
  const auto elapsed = Clock::now() - start;

  EXPECT_EQ(src.attempts, 6);
  EXPECT_EQ(server.RequestCount(), 1u);
  EXPECT_GE(elapsed, std::chrono::milliseconds(4900)) << "five waits of one second";
  const std::string log = src.Log();
  EXPECT_EQ(Count(log, "[Source] connecting: " + server.Url("/ip")), 1) << log;
  EXPECT_EQ(Count(log, "Exception"), 0) << log;
  EXPECT_EQ(Count(log, "IP changed from (10.0.0.1) to (203.0.113.9)"), 1) << log;
  EXPECT_EQ(src.LastIP(), "203.0.113.9");
}

// A stop queued before the chain wakes every retry wait at once and is still
// there for the polling loop afterwards.
TEST(SourceRetry, AttemptsPerFailureWithAStopPending) {
  struct Row {
    std::string Message;
    int Failures;
    int Attempts;
    bool Ends;  // the chain ends with the failure line
  };
  const std::vector<Row> rows = {
      {"10004: Interrupted function call", 6, 6, true},
      {"10038: Socket operation on nonsocket", 5, 6, false},
      {"10058: Cannot send after socket shutdown", 6, 6, true},
      {"", 2, 3, false},
      {"10054: Connection reset by peer", 1, 1, true},
      {"10061: Connection refused", 1, 1, true},
      {"Null Remote Address", 1, 1, true},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.Message);
    TestServer server;
    server.SetDefault(ScriptedReply::Ok("203.0.113.9"));
    FailingSource src(Ini(server.Url("/ip")), r.Failures, r.Message);
    src.svc.Control(TControlCode::Stop);
    const Clock::time_point start = Clock::now();
    src.svc.QuerySource();
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(4)) << "no full one-second waits";

    EXPECT_EQ(src.attempts, r.Attempts);
    EXPECT_EQ(server.RequestCount(), r.Ends ? 0u : 1u);
    const std::string log = src.Log();
    EXPECT_EQ(Count(log, "Exception at GET source " + server.Url("/ip") + ": " + r.Message + "\n"),
              r.Ends ? 1 : 0)
        << log;
    EXPECT_EQ(src.LastIP(), r.Ends ? "10.0.0.1" : "203.0.113.9");
    EXPECT_FALSE(src.svc.Terminated());
    src.svc.ServiceThreadProcessRequests();
    EXPECT_TRUE(src.svc.Terminated()) << "the stop stayed queued";
  }
}

// With "URL" empty no request is made, so the client keeps the settings that
// the chain gave it from section "Source".
TEST(SourceSettings, ClientTakesSectionSourceAtEveryCall) {
  struct Row {
    const char* Name;
    std::string Keys;
    int64_t TimeOut;
    int ReportLevel;
    bool FileMode;
  };
  const std::vector<Row> rows = {
      {"defaults", "", 15000, 0, false},
      {"no limit", "Timeout=0\n", 0, 0, false},
      {"large limit in 64 bits", "Timeout=2147483647\n", int64_t{2147483647} * 1000, 0, false},
      {"negative limit", "Timeout=-2\n", -2000, 0, false},
      {"malformed limit", "Timeout=20s\n", 15000, 0, false},
      {"log 2", "Log=2\n", 15000, 0, false},
      {"log 3", "Log=3\n", 15000, 31, false},
      {"log 4", "Log=4\n", 15000, 31, false},
      {"file mode", "File=body.htm\n", 15000, 0, true},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.Name);
    TempDir dir;
    TZelvoSvc svc;
    svc.IniFile = std::make_unique<TIniFile>(dir.File("ZelvoSvc.ini"));
    WriteFileOrDie(svc.IniFile->FileName(),
                   "[Source]\nInterval=60\nURL=\nUser=u\nPass=p\n"
                   "Proxy=proxy.lan\nProxyPort=3128\n" +
                       r.Keys);
    svc.httpSrc.HeaderInfo.Cookie = "sid=left-over";
    svc.QuerySource();
    EXPECT_EQ(svc.CurrentSection, "Source");
    EXPECT_EQ(svc.httpSrc.TimeOut, r.TimeOut);
    EXPECT_EQ(svc.httpSrc.ReportLevel, r.ReportLevel);
    EXPECT_EQ(svc.httpSrc.InputFileMode, r.FileMode);
    EXPECT_EQ(svc.httpSrc.Body, r.FileMode ? "body.htm" : "");
    EXPECT_EQ(svc.httpSrc.HeaderInfo.Cookie, "");
    EXPECT_EQ(svc.httpSrc.HeaderInfo.UserId, "u");
    EXPECT_EQ(svc.httpSrc.HeaderInfo.Password, "p");
    EXPECT_EQ(svc.httpSrc.Proxy, "proxy.lan");
    EXPECT_EQ(svc.httpSrc.ProxyPort, 3128);
  }
}

}  // namespace
