// The worker side of the service framework in-process: signals to control
// codes, the queue with its wake-ups, pause and continue, the states and their
// sd_notify reports, and handlers that throw.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>

#include <chrono>
#include <thread>

#include "platform/Exception.h"
#include "platform/Service.h"
#include "support/NotifyListener.h"

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

// Sets NOTIFY_SOCKET for the lifetime of the object.
class NotifyScope {
 public:
  explicit NotifyScope(const std::string& address) { setenv("NOTIFY_SOCKET", address.c_str(), 1); }
  ~NotifyScope() { unsetenv("NOTIFY_SOCKET"); }
};

}  // namespace

TEST(ServiceFramework, SignalsMapToControlCodes) {
  struct Row {
    int signal;
    bool mapped;
    TControlCode code;
  };
  const std::vector<Row> rows = {
      {SIGTERM, true, TControlCode::Stop},       {SIGINT, true, TControlCode::Stop},
      {SIGTSTP, true, TControlCode::Pause},      {SIGCONT, true, TControlCode::Continue},
      {SIGHUP, true, TControlCode::Interrogate}, {SIGUSR1, false, TControlCode::Stop},
      {SIGQUIT, false, TControlCode::Stop},
  };
  for (const auto& row : rows) {
    TControlCode code = TControlCode::Shutdown;
    EXPECT_EQ(ControlCodeForSignal(row.signal, code), row.mapped) << row.signal;
    if (row.mapped) {
      EXPECT_EQ(code, row.code) << row.signal;
    }
  }
}

TEST(ServiceFramework, WaitEndsOnTimeoutOrAtOnceWhenACodeIsQueued) {
  TService service;
  auto t0 = Clock::now();
  service.WaitForControlRequest(150);
  EXPECT_GE(Clock::now() - t0, 150ms);

  service.Control(TControlCode::Interrogate);
  t0 = Clock::now();
  service.WaitForControlRequest(60000);
  EXPECT_LT(Clock::now() - t0, 10s);
  // Waiting takes nothing from the queue: the code is still there to wake it.
  t0 = Clock::now();
  service.WaitForControlRequest(60000);
  EXPECT_LT(Clock::now() - t0, 10s);
  // Serving drains the queue, so the next wait sleeps its full time again.
  service.ServiceThreadProcessRequests();
  t0 = Clock::now();
  service.WaitForControlRequest(100);
  EXPECT_GE(Clock::now() - t0, 100ms);
}

TEST(ServiceFramework, AWaitLongerThanThePollRangeStillWakesOnACode) {
  TService service;
  std::thread sender([&] {
    std::this_thread::sleep_for(100ms);
    service.Control(TControlCode::Stop);
  });
  auto t0 = Clock::now();
  service.WaitForControlRequest(int64_t{5000000} * 1000);  // 5,000,000 seconds
  sender.join();
  EXPECT_LT(Clock::now() - t0, 30s);
}

TEST(ServiceFramework, StopQueuedWhileStartingIsActedOnAtTheFirstServingPoint) {
  TService service;
  bool terminatedBeforeServing = true;
  bool terminatedAfterServing = false;
  service.OnStart = [&](TService& s, bool&) { s.Control(TControlCode::Stop); };
  service.OnExecute = [&](TService& s) {
    terminatedBeforeServing = s.Terminated();
    s.ServiceThreadProcessRequests();
    terminatedAfterServing = s.Terminated();
  };
  service.RunWorker();
  EXPECT_FALSE(terminatedBeforeServing);
  EXPECT_TRUE(terminatedAfterServing);
  EXPECT_EQ(service.Status(), TServiceState::Stopped);
}

TEST(ServiceFramework, PauseHoldsTheWorkerUntilContinueOrStop) {
  for (TControlCode release : {TControlCode::Continue, TControlCode::Stop}) {
    TService service;
    std::atomic<bool> passed{false};
    std::atomic<bool> paused{false};
    service.OnExecute = [&](TService& s) {
      s.Control(TControlCode::Pause);
      s.ServiceThreadProcessRequests();
      passed = true;
    };
    std::thread worker([&] { service.RunWorker(); });
    auto deadline = Clock::now() + 10s;
    while (service.Status() != TServiceState::Paused && Clock::now() < deadline) {
      std::this_thread::sleep_for(5ms);
    }
    paused = service.Status() == TServiceState::Paused;
    std::this_thread::sleep_for(200ms);
    EXPECT_FALSE(passed);                        // still held
    service.Control(TControlCode::Interrogate);  // answered, but no release
    std::this_thread::sleep_for(100ms);
    EXPECT_FALSE(passed);
    service.Control(release);
    worker.join();
    EXPECT_TRUE(paused);
    EXPECT_TRUE(passed);
    EXPECT_EQ(service.Terminated(), release == TControlCode::Stop);
  }
}

TEST(ServiceFramework, StatesAreReportedThroughNotify) {
  NotifyListener listener(true);
  NotifyScope scope(listener.Address());
  TService service;
  service.OnExecute = [&](TService& s) {
    s.Control(TControlCode::Interrogate);
    s.Control(TControlCode::Pause);
    s.Control(TControlCode::Continue);
    s.Control(TControlCode::Stop);
    s.Control(TControlCode::Stop);  // a second stop changes nothing
    s.ServiceThreadProcessRequests();
  };
  service.RunWorker();
  ASSERT_TRUE(listener.WaitFor("STOPPING=1\nSTATUS=Stopping", 10s));
  const std::vector<std::string> expected = {
      "STATUS=Starting", "READY=1\nSTATUS=Running", "STATUS=Running",
      "STATUS=Paused",   "STATUS=Running",          "STOPPING=1\nSTATUS=Stopping",
  };
  EXPECT_EQ(listener.Messages(), expected);
}

TEST(ServiceFramework, ThrowingHandlersEndTheServiceWithoutEscaping) {
  struct Row {
    bool throwOnStart;
    bool executeCalled;
  };
  for (const Row row : {Row{true, false}, Row{false, true}}) {
    TService service;
    bool executed = false;
    service.OnStart = [&](TService&, bool&) {
      if (row.throwOnStart) throw Exception("start broke");
    };
    service.OnExecute = [&](TService&) {
      executed = true;
      throw Exception("execute broke");
    };
    EXPECT_NO_THROW(service.RunWorker());
    EXPECT_EQ(executed, row.executeCalled);
    EXPECT_EQ(service.Status(), TServiceState::Stopped);
  }
}

TEST(ServiceFramework, StartHandlerReturningFalseSkipsExecute) {
  TService service;
  bool executed = false;
  service.OnStart = [](TService&, bool& started) { started = false; };
  service.OnExecute = [&](TService&) { executed = true; };
  service.RunWorker();
  EXPECT_FALSE(executed);
}

TEST(ServiceFramework, DestroyHandlerRunsOnce) {
  TService service;
  int calls = 0;
  service.OnDestroy = [&](TService&) { ++calls; };
  service.DoDestroy();
  service.DoDestroy();
  EXPECT_EQ(calls, 1);
}
