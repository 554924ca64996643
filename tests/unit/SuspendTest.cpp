// The wait between cycles in-process: its deadline in local time, the level-3
// line on a wake-up, the end on a stop, no sleeping for zero or less, no busy
// spinning over the last fraction of a second, and clock jumps.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <ctime>
#include <thread>

#include "platform/Clock.h"
#include "service/Main.h"
#include "support/Harness.h"

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

// A service object whose INI file (Log=3) and log live in a temporary folder.
struct Fixture {
  TempDir dir;
  TZelvoSvc svc;
  Fixture() {
    WriteFileOrDie(dir.File("ZelvoSvc.ini"), "[Source]\nInterval=5\nLog=3\n");
    svc.IniFile = std::make_unique<TIniFile>(dir.File("ZelvoSvc.ini"));
    svc.LogFileName = dir.File("ZelvoSvc.log");
    svc.WriteLog("");  // as the start handler does: this first line opens nothing
  }
  std::string Log() const { return ReadFileOrEmpty(dir.File("ZelvoSvc.log")); }
};

// Sends `code` to the service after `delay`, from another thread.
std::thread SendLater(TService& svc, std::chrono::milliseconds delay, TControlCode code) {
  return std::thread([&svc, delay, code] {
    std::this_thread::sleep_for(delay);
    svc.Control(code);
  });
}

double ProcessCpuSeconds() { return static_cast<double>(std::clock()) / CLOCKS_PER_SEC; }

}  // namespace

TEST(Suspend, ZeroOrNegativeReturnsAtOnceWithoutServingRequests) {
  for (int seconds : {0, -1, -2147483647}) {
    Fixture f;
    f.svc.Control(TControlCode::Stop);
    auto t0 = Clock::now();
    f.svc.Suspend(seconds);
    EXPECT_LT(Clock::now() - t0, 1s);
    EXPECT_FALSE(f.svc.Terminated()) << seconds;  // the stop is still queued
  }
}

TEST(Suspend, ZeroOrNegativeReturnsAtOnceEvenWhenTheClockStepsBack) {
  for (int seconds : {0, -1}) {
    SCOPED_TRACE(seconds);
    Fixture f;
    // The first reading fixes the deadline; every later one is 10 s earlier.
    std::atomic<int> reads{0};
    SetLocalNowOverride([&reads] {
      LocalDateTime t{2026, 10, 25, 2, 0, 10, 0};
      if (reads++ > 0) t.Second = 0;
      return t;
    });
    std::thread safety = SendLater(f.svc, 2s, TControlCode::Stop);  // ends a wrong wait
    auto t0 = Clock::now();
    f.svc.Suspend(seconds);
    auto elapsed = Clock::now() - t0;
    safety.join();
    SetLocalNowOverride({});
    EXPECT_LT(elapsed, 1s);
    EXPECT_EQ(f.Log().find("interrupted"), std::string::npos) << f.Log();
  }
}

TEST(Suspend, AWakeUpWritesTheLineAndTheWaitLastsToItsDeadlineWithoutSpinning) {
  Fixture f;
  std::thread sender = SendLater(f.svc, 300ms, TControlCode::Interrogate);
  const double cpu0 = ProcessCpuSeconds();
  auto t0 = Clock::now();
  f.svc.Suspend(2);
  auto elapsed = Clock::now() - t0;
  sender.join();
  EXPECT_GE(elapsed, 1900ms);
  EXPECT_LT(elapsed, 10s);
  EXPECT_NE(f.Log().find(" Suspend for Interval=2 interrupted by system's message. Suspending "
                         "for 1 more seconds...\n"),
            std::string::npos)
      << f.Log();
  // The last 0.7 s are slept, not spun: a spin burns several tenths of a second.
  EXPECT_LT(ProcessCpuSeconds() - cpu0, 0.1);
}

TEST(Suspend, AStopEndsTheWaitAtOnce) {
  Fixture f;
  std::thread sender = SendLater(f.svc, 200ms, TControlCode::Stop);
  auto t0 = Clock::now();
  f.svc.Suspend(3600);
  sender.join();
  EXPECT_LT(Clock::now() - t0, 10s);
  EXPECT_TRUE(f.svc.Terminated());
  EXPECT_NE(f.Log().find("Suspend for Interval=3600 interrupted"), std::string::npos);
}

TEST(Suspend, TheLongestWaitIsNotCutShortByTheMillisecondRange) {
  Fixture f;
  std::thread sender = SendLater(f.svc, 300ms, TControlCode::Stop);
  f.svc.Suspend(2147483647);  // 68 years: more ms than 32 bits hold
  sender.join();
  const std::string log = f.Log();
  // Woken by the stop only, with almost all of the wait still to come.
  EXPECT_NE(log.find("Suspend for Interval=2147483647 interrupted by system's message. Suspending "
                     "for 214748364"),
            std::string::npos)
      << log;
}

TEST(Suspend, ClockSetForwardPastTheDeadlineEndsTheWaitAtTheNextWakeUp) {
  std::atomic<int> offset{0};
  SetLocalNowOverride([&offset] {
    LocalDateTime t{2026, 6, 15, 12, 0, 0, 0};
    t.Second = offset.load() % 60;
    t.Minute = offset.load() / 60;
    return t;
  });
  Fixture f;
  std::thread jumper([&] {
    std::this_thread::sleep_for(200ms);
    offset = 3599;  // an hour later
    f.svc.Control(TControlCode::Interrogate);
  });
  auto t0 = Clock::now();
  f.svc.Suspend(600);
  jumper.join();
  SetLocalNowOverride({});
  EXPECT_LT(Clock::now() - t0, 10s);
  EXPECT_FALSE(f.svc.Terminated());
  EXPECT_EQ(f.Log().find("interrupted"), std::string::npos) << f.Log();
}

TEST(Suspend, ClockSetBackDuringTheWaitLengthensItToTheSameDeadline) {
  // A wall clock that follows real time, minus `back` milliseconds.
  std::atomic<long> back{0};
  const auto start = Clock::now();
  SetLocalNowOverride([&back, start] {
    long ms =
        static_cast<long>(
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count()) -
        back.load() + 3600000L;  // from 12:00:00, so never before midnight
    LocalDateTime t{2026, 10, 25, 11, 0, 0, 0};
    t.Hour += static_cast<int>(ms / 3600000);
    t.Minute = static_cast<int>(ms / 60000 % 60);
    t.Second = static_cast<int>(ms / 1000 % 60);
    t.Millisecond = static_cast<int>(ms % 1000);
    return t;
  });
  Fixture f;
  std::thread setter([&] {
    std::this_thread::sleep_for(300ms);
    back = 2000;  // the clock goes back two seconds, then wakes the wait
    f.svc.Control(TControlCode::Interrogate);
  });
  auto t0 = Clock::now();
  f.svc.Suspend(3);
  auto elapsed = Clock::now() - t0;
  setter.join();
  SetLocalNowOverride({});
  // The wait ends when the local clock reaches the deadline again: 2 s late.
  EXPECT_GE(elapsed, 4800ms);
  EXPECT_LT(elapsed, 10s);
  EXPECT_NE(f.Log().find(" Suspend for Interval=3 interrupted by system's message. Suspending "
                         "for "),
            std::string::npos)
      << f.Log();
}
