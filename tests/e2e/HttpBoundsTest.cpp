// The built service against hostile loopback servers: an endless body, a
// 1 GB body and a header flood end the request with a clear message, the
// service's memory stays bounded, and it goes on serving and stops cleanly.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <string>
#include <vector>

#include "support/Harness.h"
#include "support/TestServer.h"

namespace {

using namespace std::chrono_literals;

constexpr auto kLimit = 60s;
constexpr long kRssLimitKiB = 32 * 1024;

// The peak resident memory of process `pid` in KiB ("VmHWM" of its status).
long PeakRssKiB(int pid) {
  const std::string status = ReadFileOrEmpty("/proc/" + std::to_string(pid) + "/status");
  const size_t pos = status.find("VmHWM:");
  return pos == std::string::npos ? -1 : std::stol(status.substr(pos + 6));
}

ScriptedReply Filler(bool endless, uint64_t bytes, const std::string& head) {
  ScriptedReply r;
  r.Raw = head;
  r.Endless = endless;
  r.FillerBytes = bytes;
  return r;
}

TEST(HttpBounds, HostileSourceEndsTheChainAndTheServiceStaysSmall) {
  const std::string ok = "HTTP/1.0 200 OK\r\n\r\n";
  struct Row {
    const char* name;
    ScriptedReply reply;
    std::string file;
    std::string message;
  };
  const std::vector<Row> rows = {
      {"endless body, text", Filler(true, 0, ok), "", "HTTP body exceeds 16777216 bytes"},
      {"1 GB body, text", Filler(false, uint64_t{1} << 30, ok), "",
       "HTTP body exceeds 16777216 bytes"},
      {"endless body, file", Filler(true, 0, ok), "body.htm", "HTTP body exceeds 16777216 bytes"},
      {"endless header line", Filler(true, 0, "HTTP/1.0 200 OK\r\nX: "), "",
       "HTTP header line exceeds 8192 bytes"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    TestServer server;
    server.SetDefault(row.reply);
    ServiceRun run;
    const std::string url = server.Url("/ip");
    run.WriteIni("[Source]\nInterval=3600\nLog=4\nTimeout=30\nURL=" + url + "\nFile=" + row.file +
                 "\n");
    run.Start();
    EXPECT_TRUE(run.WaitForLog("Exception at GET source " + url + ": " + row.message, kLimit))
        << run.Log();
#if !defined(__SANITIZE_ADDRESS__)
    const long peak = PeakRssKiB(run.Pid());
    EXPECT_GT(peak, 0);
    EXPECT_LT(peak, kRssLimitKiB) << "peak resident memory of the service in KiB";
#endif
    EXPECT_EQ(server.RequestCount(), 1u) << "a bound is not retried";
    run.Signal(SIGTERM);
    const ExitStatus st = run.Wait(kLimit);
    EXPECT_TRUE(st.Exited && st.Code == 0) << run.Stderr();
    if (!row.file.empty()) {
      EXPECT_EQ(ReadFileOrEmpty(run.Dir() + "/" + row.file), "") << "an over-long body is refused";
    }
  }
}

}  // namespace
