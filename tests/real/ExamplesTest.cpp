// The shipped provider examples, run by the service: each file's server
// section is pointed at a loopback server that answers what the provider
// answers, and its success texts must judge those answers right.
#include <signal.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/IniFile.h"
#include "real/RealServers.h"
#include "support/Harness.h"
#include "support/TestServer.h"
#include "update/UrlFormat.h"

using namespace std::chrono_literals;

namespace {

const std::string kAddress = "203.0.113.7";

std::string Example(const std::string& name) {
  return ReadFileOrEmpty(std::string(ZELVO_SOURCE_DIR "/examples/") + name);
}

// `url` with its scheme and host replaced by the loopback server's.
std::string ToLoopback(const std::string& url, const TestServer& server) {
  size_t path = url.find('/', url.find("://") + 3);
  return server.Url(url.substr(path));
}

}  // namespace

// Rules every example keeps: plain http:// URLs (this client has no TLS),
// no comment behind a value, an address in the update URL, success texts,
// and intervals within the providers' rules against abuse.
TEST(Examples, KeepTheRulesOfTheFileAndOfTheProviders) {
  for (const char* name : {"dyndns2.ini", "duckdns.ini", "dynv6.ini", "freedns.ini", "he.ini",
                           "ZelvoSvc.ini.example"}) {
    SCOPED_TRACE(name);
    TempDir dir;
    WriteFileOrDie(dir.File("ZelvoSvc.ini"), Example(name));
    TIniFile ini(dir.File("ZelvoSvc.ini"));
    ASSERT_TRUE(ini.HasKey("Source", "Interval"));
    EXPECT_GE(ini.ReadNumber("Source", "Interval", 0), 300);
    EXPECT_EQ(ini.ReadText("Source", "URL", "").rfind("http://", 0), 0u);
    std::string url = ini.ReadText("Srv1", "URL", "");
    EXPECT_EQ(url.rfind("http://", 0), 0u);
    std::string expanded = ExpandUrl(url, kAddress);
    EXPECT_NE(expanded.find(kAddress), std::string::npos) << expanded;
    EXPECT_FALSE(ini.ReadText("Srv1", "StatusOK", "").empty());
    EXPECT_GE(ini.ReadNumber("Srv1", "MinInterval", 0), 300);
    int32_t maxInterval = ini.ReadNumber("Srv1", "MaxInterval", 0);
    EXPECT_TRUE(maxInterval == 0 || (maxInterval >= 7 * 86400 && maxInterval <= 30 * 86400))
        << maxInterval;
    for (const char* key : {"URL", "User", "Pass", "StatusOK", "StatusOK1"})
      EXPECT_EQ(ini.ReadText("Srv1", key, "").find(';'), std::string::npos) << key;
  }
  // The dyndns2 example's advice for several hosts: "%%2C" sends "%2C".
  EXPECT_EQ(ExpandUrl("hostname=a.example.org%%2Cb.example.org&myip=%s", kAddress),
            "hostname=a.example.org%2Cb.example.org&myip=" + kAddress);
}

TEST(Examples, SuccessTextsJudgeTheProvidersAnswers) {
  struct Row {
    std::string File;
    std::string Answer;  // the provider's answer body
    bool Success;
  };
  const std::vector<Row> rows = {
      {"dyndns2.ini", "good " + kAddress, true},
      {"dyndns2.ini", "nochg " + kAddress, true},
      {"dyndns2.ini", "badauth", false},
      {"dyndns2.ini", "abuse", false},
      {"duckdns.ini", "OK", true},
      {"duckdns.ini", "KO", false},
      {"dynv6.ini", "addresses updated", true},
      {"dynv6.ini", "addresses unchanged", true},
      {"dynv6.ini", "invalid authentication token", false},
      {"freedns.ini", "Updated myhost.mooo.com to " + kAddress + " in 0.031 seconds", true},
      {"freedns.ini", "ERROR: Address " + kAddress + " has not changed.", true},
      {"freedns.ini", "ERROR: Unable to locate this record", false},
      {"he.ini", "good " + kAddress, true},
      {"he.ini", "badauth", false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.File + ": " + row.Answer);
    TestServer provider;
    provider.SetDefault(ScriptedReply::Ok(row.Answer));
    ServiceRun run;
    run.WriteIni(Example(row.File));
    TIniFile ini(run.IniPath());
    // No source requests: the address is taken as already found.
    ini.WriteText("Source", "URL", "");
    ini.WriteText("Status", "LastIP", kAddress);
    ini.WriteText("Status", "Changed", StampFromNow(-60));
    std::string url = ToLoopback(ini.ReadText("Srv1", "URL", ""), provider);
    ini.WriteText("Srv1", "URL", url);
    run.Start();
    ASSERT_TRUE(run.WaitForLog(row.Success ? "Updated [Srv1]" : "Unsuccessful UPDATE [Srv1]", 30s))
        << run.Log();
    run.Signal(SIGTERM);
    run.Wait(15s);
    ASSERT_EQ(provider.RequestCount(), 1u);
    std::string request = provider.Requests()[0];
    EXPECT_NE(request.find(ExpandUrl(url.substr(url.find('/', 7)), kAddress)), std::string::npos)
        << request;
    // Credentials go as basic authentication where the example has them.
    bool hasUser = !ini.ReadText("Srv1", "User", "").empty();
    EXPECT_EQ(request.find("Authorization: Basic ") != std::string::npos, hasUser) << request;
    EXPECT_EQ(ini.ReadText("Srv1", "LastUpdate", "").empty(), !row.Success);
  }
}
