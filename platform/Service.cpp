// The worker side of the service framework: the control-code queue (a mutex-
// guarded queue with an eventfd that wakes every wait), the serving of queued
// codes with the service states, the sd_notify reports, and the handler runs.
#include "platform/Service.h"

#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <deque>
#include <mutex>

#include "platform/System.h"

int ExitCode = 1;

struct TService::Impl {
  std::mutex mutex;
  std::deque<TControlCode> queue;
  int eventFd = -1;

  // Takes every queued code and resets the eventfd, both under the lock, so
  // that a wake-up always means a code is waiting.
  std::deque<TControlCode> TakeAll() {
    std::lock_guard<std::mutex> lock(mutex);
    uint64_t count = 0;
    (void)!read(eventFd, &count, sizeof count);
    std::deque<TControlCode> codes;
    codes.swap(queue);
    return codes;
  }
};

namespace {

int64_t MonotonicNowMs() {
  struct timespec ts {};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

}  // namespace

bool ControlCodeForSignal(int signal, TControlCode& code) {
  switch (signal) {
    case SIGTERM:
    case SIGINT:
      code = TControlCode::Stop;
      return true;
    case SIGTSTP:
      code = TControlCode::Pause;
      return true;
    case SIGCONT:
      code = TControlCode::Continue;
      return true;
    case SIGHUP:
      code = TControlCode::Interrogate;
      return true;
    default:
      return false;
  }
}

std::string StatusText(TServiceState state) {
  switch (state) {
    case TServiceState::StartPending:
      return "Starting";
    case TServiceState::Running:
      return "Running";
    case TServiceState::PausePending:
      return "Pausing";
    case TServiceState::Paused:
      return "Paused";
    case TServiceState::ContinuePending:
      return "Continuing";
    case TServiceState::StopPending:
      return "Stopping";
    case TServiceState::Stopped:
      break;
  }
  return "Stopped";
}

TService::TService() : impl_(std::make_unique<Impl>()) {
  // The queue exists before any state is reported, so no code is ever lost.
  impl_->eventFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
}

TService::~TService() {
  if (impl_->eventFd >= 0) close(impl_->eventFd);
}

void TService::Control(TControlCode code) {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  impl_->queue.push_back(code);
  uint64_t one = 1;
  (void)!write(impl_->eventFd, &one, sizeof one);
}

void TService::WaitForControlRequest(int64_t timeoutMs) {
  if (timeoutMs == 0 || impl_->eventFd < 0) return;
  const int64_t deadline = MonotonicNowMs() + timeoutMs;
  for (;;) {
    int64_t left = timeoutMs < 0 ? -1 : deadline - MonotonicNowMs();
    if (timeoutMs >= 0 && left <= 0) return;
    // poll takes an int: a longer wait is slept in pieces.
    int slice = left < 0 ? -1 : static_cast<int>(left > INT_MAX ? INT_MAX : left);
    struct pollfd pfd = {impl_->eventFd, POLLIN, 0};
    int r = poll(&pfd, 1, slice);
    if (r > 0 || (r < 0 && errno != EINTR)) return;
  }
}

void TService::ServiceThreadProcessRequests() { ProcessRequests(true); }

void TService::ProcessRequests(bool allowPause) {
  for (;;) {
    for (TControlCode code : impl_->TakeAll()) Act(code, allowPause);
    if (status_ != TServiceState::Paused) return;
    WaitForControlRequest(-1);
  }
}

void TService::Act(TControlCode code, bool allowPause) {
  switch (code) {
    case TControlCode::Stop:
    case TControlCode::Shutdown:
      if (!AllowStop || terminated_) return;
      terminated_ = true;
      Report(TServiceState::StopPending, "STOPPING=1\n");
      return;
    case TControlCode::Pause:
      if (allowPause && AllowPause && status_ == TServiceState::Running) {
        Report(TServiceState::Paused);
      }
      return;
    case TControlCode::Continue:
      if (status_ == TServiceState::Paused) Report(TServiceState::Running);
      return;
    case TControlCode::Interrogate:
      Report(status_);
      return;
  }
}

void TService::Report(TServiceState state, const std::string& extra) {
  status_ = state;
  NotifyServiceManager(extra + "STATUS=" + StatusText(state));
}

void TService::LogMessage(const std::string& message, int eventType) {
  WriteSystemLog(message, eventType);
}

bool TService::Guard(const char* step, const std::function<void()>& handler) {
  try {
    if (handler) handler();
    return true;
  } catch (const std::exception& e) {
    LogMessage(std::string("Service failed on ") + step + ": " + e.what(), EVENTLOG_ERROR_TYPE);
  } catch (...) {
    LogMessage(std::string("Service failed on ") + step + ": unknown error", EVENTLOG_ERROR_TYPE);
  }
  return false;
}

void TService::RunWorker() {
  Report(TServiceState::StartPending);
  bool started = true;
  bool ok = Guard("start", [&] {
    if (OnStart) OnStart(*this, started);
  });
  if (ok && started) {
    Report(TServiceState::Running, "READY=1\n");
    ok = Guard("execute", [&] {
      if (OnExecute) OnExecute(*this);
    });
    // A pause arriving now would only hold up the stop: it is ignored.
    if (ok) ProcessRequests(false);
  }
  status_ = TServiceState::Stopped;
}

void TService::DoDestroy() {
  if (destroyed_) return;
  destroyed_ = true;
  if (OnDestroy) OnDestroy(*this);
}
