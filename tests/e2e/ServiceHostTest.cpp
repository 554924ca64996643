// The service host end to end: the built executable run with /RUN (or as
// systemd would start it) in a temporary folder, its start, refusal, waits,
// stop, pause, continue and interrogate seen in its log, output and exit code.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "platform/Files.h"
#include "support/Harness.h"
#include "support/NotifyListener.h"
#include "support/TestServer.h"

using namespace std::chrono_literals;

namespace {

constexpr auto kLimit = 20s;  // generous: every run here ends long before

std::string StartLine(const ServiceRun& run) {
  return "Zelvo Service 1.3.3.0 started. INI file " + run.IniPath();
}

// Starts with `ini` and waits for the start line.
void StartService(ServiceRun& run, const std::string& ini,
                  const std::vector<std::string>& args = {"/RUN"}) {
  run.WriteIni(ini);
  chmod(run.IniPath().c_str(), 0600);
  run.Start(args);
  ASSERT_TRUE(run.WaitForLog("started. INI file", kLimit)) << run.Log();
}

int CountEqual(const std::vector<std::string>& lines, const std::string& text) {
  return static_cast<int>(std::count(lines.begin(), lines.end(), text));
}

bool StartsWith(const std::string& text, const std::string& prefix) {
  return text.rfind(prefix, 0) == 0;
}

}  // namespace

TEST(ServiceHost, StartLineThenStopDuringTheWaitEndsAtOnceWithOneEmptyLine) {
  ServiceRun run;
  StartService(run, "[Source]\nInterval=3600\nLog=1\n");
  auto t0 = std::chrono::steady_clock::now();
  run.Signal(SIGTERM);
  ExitStatus st = run.Wait(kLimit);
  EXPECT_LT(std::chrono::steady_clock::now() - t0, 5s);
  ASSERT_TRUE(st.Exited) << st.Signal;
  EXPECT_EQ(st.Code, 0);
  std::vector<std::string> lines = run.LogMessages();
  ASSERT_GE(lines.size(), 2u) << run.Log();
  EXPECT_EQ(lines.front(), StartLine(run));
  EXPECT_EQ(lines.back(), "");
  EXPECT_EQ(CountEqual(lines, ""), 1) << run.Log();
  EXPECT_EQ(run.Log().back(), '\n');
  EXPECT_EQ(run.Log().find('\r'), std::string::npos);
}

TEST(ServiceHost, RefusedStartShowsThePathEndsWithTwoAndWritesNoLog) {
  const std::vector<std::string> inis = {
      "",                                 // no INI file at all
      "[Source]\nLog=4\nStartDelay=1\n",  // no Interval
      "[Other]\nInterval=5\nLog=4\n",     // Interval in the wrong section
      "[Source]\n;Interval=5\nLog=4\n",   // commented out
  };
  for (const auto& ini : inis) {
    SCOPED_TRACE(ini);
    ServiceRun run;
    if (!ini.empty()) run.WriteIni(ini);
    ExitStatus st = run.Run({"/RUN"}, kLimit);
    ASSERT_TRUE(st.Exited);
    EXPECT_EQ(st.Code, 2);
    std::string box = "ZelvoSvc\n\nINI file invalid or not found: " + run.IniPath() + "\n";
    EXPECT_NE(run.Stderr().find(box), std::string::npos) << run.Stderr();
    EXPECT_FALSE(FileExists(run.LogPath()));
    EXPECT_EQ(run.Stdout(), "");
  }
}

TEST(ServiceHost, ZeroOrUnreadableIntervalEndsTheServiceWithoutEmptyLine) {
  for (const std::string value : {"", "0", "-5", "abc", "0x0"}) {
    SCOPED_TRACE("Interval=" + value);
    ServiceRun run;
    run.WriteIni("[Source]\nInterval=" + value + "\nLog=1\n");
    ExitStatus st = run.Run({"/RUN"}, kLimit);
    ASSERT_TRUE(st.Exited);
    EXPECT_EQ(st.Code, 0);
    std::vector<std::string> lines = run.LogMessages();
    const std::vector<std::string> expected = {StartLine(run),
                                               "Zero Interval set - Execution terminated"};
    EXPECT_EQ(lines, expected) << run.Log();
  }
}

TEST(ServiceHost, StopDuringAStartDelayOrIntervalWaitWritesTheInterruptLine) {
  struct Row {
    std::string ini;
    std::string waitArgument;  // the seconds of the interrupted wait
    bool cycleRan;
  };
  const std::vector<Row> rows = {
      {"[Source]\nInterval=3600\nStartDelay=7200\nLog=3\n", "7200", false},
      {"[Source]\nInterval=3600\nStartDelay=0\nLog=3\n", "3600", true},
      {"[Source]\nInterval=3600\nStartDelay=-4\nLog=3\n", "3600", true},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.ini);
    ServiceRun run;
    StartService(run, row.ini);
    if (row.cycleRan) std::this_thread::sleep_for(300ms);  // let the cycle finish
    run.Signal(SIGTERM);
    ExitStatus st = run.Wait(kLimit);
    ASSERT_TRUE(st.Exited);
    EXPECT_EQ(st.Code, 0);
    std::vector<std::string> lines = run.LogMessages();
    ASSERT_GE(lines.size(), 3u) << run.Log();
    const std::string prefix = "Suspend for Interval=" + row.waitArgument +
                               " interrupted by system's message. Suspending for ";
    EXPECT_TRUE(StartsWith(lines[lines.size() - 2], prefix)) << run.Log();
    EXPECT_EQ(lines.back(), "");
    // Only the start line and the interrupt line when no cycle ran.
    EXPECT_EQ(lines.size() == 3, !row.cycleRan) << run.Log();
  }
}

TEST(ServiceHost, InterrogateWritesTheLevelThreeLineAndTheWaitGoesOn) {
  ServiceRun run;
  StartService(run, "[Source]\nInterval=300\nLog=3\n");
  std::this_thread::sleep_for(300ms);
  run.Signal(SIGHUP);
  ASSERT_TRUE(run.WaitForLog("Suspend for Interval=300 interrupted", kLimit)) << run.Log();
  std::this_thread::sleep_for(300ms);
  EXPECT_TRUE(run.Running());
  std::string line;
  for (const auto& l : run.LogMessages()) {
    if (StartsWith(l, "Suspend for")) line = l;
  }
  // 300 seconds asked, 298 or 299 whole seconds left.
  EXPECT_TRUE(line ==
                  "Suspend for Interval=300 interrupted by system's message. Suspending for "
                  "299 more seconds..." ||
              line ==
                  "Suspend for Interval=300 interrupted by system's message. Suspending for "
                  "298 more seconds...")
      << line;
  run.Signal(SIGTERM);
  EXPECT_EQ(run.Wait(kLimit).Code, 0);
}

TEST(ServiceHost, PauseHoldsTheCyclesAndContinueResumesThem) {
  TestServer server;
  server.SetDefault(ScriptedReply::Ok("Current IP Address: 203.0.113.7"));
  NotifyListener notify(false);
  ServiceRun run;
  run.Env = {"NOTIFY_SOCKET=" + notify.Address()};
  StartService(
      run, "[Source]\nInterval=4\nLog=1\nPrefix=Current IP Address: \nURL=" + server.Url() + "\n",
      {"/RUN"});
  ASSERT_TRUE(server.WaitForRequests(1, kLimit));
  run.Signal(SIGTSTP);
  ASSERT_TRUE(notify.WaitFor("STATUS=Paused", kLimit));
  const size_t atPause = server.RequestCount();
  std::this_thread::sleep_for(5500ms);  // the wait's deadline passes during the pause
  EXPECT_EQ(server.RequestCount(), atPause);
  run.Signal(SIGCONT);
  ASSERT_TRUE(notify.WaitFor("STATUS=Running", kLimit));
  // The deadline passed while paused: the next cycle starts at once, not after
  // another four seconds.
  EXPECT_TRUE(server.WaitForRequests(atPause + 1, 3s));
  run.Signal(SIGTERM);
  ExitStatus st = run.Wait(kLimit);
  EXPECT_EQ(st.Code, 0);
  EXPECT_TRUE(notify.WaitFor("STOPPING=1\nSTATUS=Stopping", kLimit));
}

TEST(ServiceHost, StartedBySystemdItReportsReadyAndStoppingOnBothSocketKinds) {
  for (bool abstract : {false, true}) {
    SCOPED_TRACE(abstract ? "abstract" : "path");
    NotifyListener notify(abstract);
    ServiceRun run;
    run.Env = {"NOTIFY_SOCKET=" + notify.Address()};
    StartService(run, "[Source]\nInterval=3600\nLog=1\n", {});  // no /RUN
    EXPECT_TRUE(notify.WaitFor("READY=1\nSTATUS=Running", kLimit));
    run.Signal(SIGHUP);
    run.Signal(SIGTERM);
    EXPECT_EQ(run.Wait(kLimit).Code, 0);
    EXPECT_TRUE(notify.WaitFor("STOPPING=1\nSTATUS=Stopping", kLimit));
    // Under systemd the system-log entries are not echoed on standard error.
    EXPECT_EQ(run.Stderr(), "");
  }
}

TEST(ServiceHost, InvocationIdAloneCountsAsStartedBySystemd) {
  ServiceRun run;
  run.Env = {"INVOCATION_ID=0123456789abcdef0123456789abcdef"};
  StartService(run, "[Source]\nInterval=3600\nLog=1\n", {"some-argument"});
  run.Signal(SIGINT);
  EXPECT_EQ(run.Wait(kLimit).Code, 0);
}

TEST(ServiceHost, LogLevelsDecideWhichLinesReachTheFile) {
  struct Row {
    std::string log;
    bool file;
    bool interruptLine;
  };
  const std::vector<Row> rows = {
      {"0", false, false}, {"-1", false, false}, {"1", true, false},
      {"2", true, false},  {"3", true, true},    {"9", true, true},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE("Log=" + row.log);
    ServiceRun run;
    run.WriteIni("[Source]\nInterval=3600\nLog=" + row.log + "\n");
    run.Start({"/RUN"});
    // Wait for the start handler (or give it time when nothing is logged).
    if (row.file) {
      ASSERT_TRUE(run.WaitForLog("started.", kLimit));
    } else {
      std::this_thread::sleep_for(500ms);
    }
    run.Signal(SIGHUP);
    std::this_thread::sleep_for(300ms);
    run.Signal(SIGTERM);
    EXPECT_EQ(run.Wait(kLimit).Code, 0);
    EXPECT_EQ(FileExists(run.LogPath()), row.file);
    EXPECT_EQ(run.CountLog("interrupted by system's message") > 0, row.interruptLine) << run.Log();
  }
}

TEST(ServiceHost, TwoRunsShareOneLogFileSeparatedByOneEmptyLine) {
  ServiceRun run;
  run.WriteIni("[Source]\nInterval=3600\nLog=1\n");
  for (int i = 0; i < 2; ++i) {
    run.Start({"/RUN"});
    ASSERT_TRUE(
        ServiceRun::WaitUntil([&] { return run.CountLog("started. INI file") == i + 1; }, kLimit))
        << run.Log();
    run.Signal(SIGTERM);
    ASSERT_EQ(run.Wait(kLimit).Code, 0);
  }
  std::vector<std::string> lines = run.LogMessages();
  EXPECT_EQ(CountEqual(lines, ""), 2) << run.Log();
  EXPECT_EQ(CountEqual(lines, StartLine(run)), 2) << run.Log();
  auto firstEmpty = std::find(lines.begin(), lines.end(), "");
  ASSERT_NE(firstEmpty + 1, lines.end());
  EXPECT_EQ(*(firstEmpty + 1), StartLine(run));
  EXPECT_EQ(lines.back(), "");
}

TEST(ServiceHost, WarnsOnceWhenOtherUsersCanReadTheIni) {
  struct Row {
    mode_t mode;
    int warnings;
  };
  for (const Row row : {Row{0644, 1}, Row{0640, 1}, Row{0604, 1}, Row{0600, 0}, Row{0400, 0}}) {
    SCOPED_TRACE(row.mode);
    ServiceRun run;
    run.WriteIni("[Source]\nInterval=3600\nLog=1\n");
    chmod(run.IniPath().c_str(), row.mode);
    run.Start({"/RUN"});
    ASSERT_TRUE(run.WaitForLog("started.", kLimit));
    run.Signal(SIGTERM);
    ASSERT_EQ(run.Wait(kLimit).Code, 0);
    const std::string warning = "ZelvoSvc: INI file " + run.IniPath() +
                                " can be read by other users, but it holds passwords and tokens";
    size_t count = 0;
    for (size_t at = run.Stderr().find(warning); at != std::string::npos;
         at = run.Stderr().find(warning, at + 1)) {
      ++count;
    }
    EXPECT_EQ(count, static_cast<size_t>(row.warnings)) << run.Stderr();
  }
}

TEST(ServiceHost, ReadOnlyIniEndsTheServiceThroughTheExecuteFailure) {
  TestServer server;
  server.SetDefault(ScriptedReply::Ok("Current IP Address: 203.0.113.7"));
  ServiceRun run;
  run.WriteIni("[Source]\nInterval=3600\nLog=1\nPrefix=Current IP Address: \nURL=" + server.Url() +
               "\n");
  chmod(run.IniPath().c_str(), 0400);  // no write bit: read-only even for root
  ExitStatus st = run.Run({"/RUN"}, kLimit);
  ASSERT_TRUE(st.Exited);
  EXPECT_EQ(st.Code, 0);
  EXPECT_NE(
      run.Stderr().find("ZelvoSvc: Service failed on execute: Unable to write to " + run.IniPath()),
      std::string::npos)
      << run.Stderr();
  std::vector<std::string> lines = run.LogMessages();
  ASSERT_FALSE(lines.empty());
  EXPECT_NE(lines.back(), "");  // no closing empty line on this path
}

TEST(ServiceHost, IntervalChangedDuringAWaitTakesEffectAtTheNextCycle) {
  TestServer server;
  server.SetDefault(ScriptedReply::Ok("Current IP Address: 203.0.113.7"));
  ServiceRun run;
  StartService(
      run, "[Source]\nInterval=2\nLog=3\nPrefix=Current IP Address: \nURL=" + server.Url() + "\n");
  // The first cycle has written the address: the service is in its 2-second wait.
  ASSERT_TRUE(run.WaitForLog("IP changed from () to (203.0.113.7)", kLimit)) << run.Log();
  std::string ini = run.Ini();
  const size_t at = ini.find("Interval=2\n");
  ASSERT_NE(at, std::string::npos) << ini;
  run.WriteIni(ini.replace(at, 11, "Interval=3600\n"));
  // The running wait keeps its old length: the second cycle comes 2 s later.
  ASSERT_TRUE(server.WaitForRequests(2, kLimit));
  // The cycle after the change waits with the new value.
  std::this_thread::sleep_for(300ms);
  run.Signal(SIGHUP);
  EXPECT_TRUE(run.WaitForLog("Suspend for Interval=3600 interrupted", kLimit)) << run.Log();
  EXPECT_EQ(run.CountLog("Suspend for Interval=2 "), 0) << run.Log();
  run.Signal(SIGTERM);
  EXPECT_EQ(run.Wait(kLimit).Code, 0);
  EXPECT_EQ(server.RequestCount(), 2u);
}
