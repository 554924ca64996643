// The running service against a hostile environment: a log file that cannot
// grow must cost log lines, never the process.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <thread>

#include "support/Harness.h"

using namespace std::chrono_literals;

TEST(Resilience, FileSizeLimitCostsLogLinesNotTheProcess) {
  ServiceRun run;
  // No URL: every one-second cycle logs "Empty IP string ..." at level 1, so
  // the log reaches the 400-byte limit within a few cycles.
  run.WriteIni("[Source]\nInterval=1\nLog=1\n");
  run.FileSizeLimit = 400;
  run.Start();
  ASSERT_TRUE(ServiceRun::WaitUntil([&] { return run.Log().size() >= 300; }, 20s));
  std::this_thread::sleep_for(3s);  // several writes past the limit
  ASSERT_TRUE(run.Running()) << "the service died at the file-size limit";
  run.Signal(SIGTERM);
  ExitStatus st = run.Wait(10s);
  EXPECT_TRUE(st.Exited);
  EXPECT_EQ(st.Code, 0);
  EXPECT_LE(run.Log().size(), 400u);
  EXPECT_EQ(run.Log().find("Zelvo Service 1.3.3.0 started"), 20u) << run.Log();
}
