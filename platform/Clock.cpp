// The wall clock in local time with milliseconds, replaceable by tests, and the
// monotonic clock that time limits are measured on.
#include "platform/Clock.h"

#include <time.h>

#include <mutex>
#include <utility>

namespace {

std::mutex overrideMutex;
std::function<LocalDateTime()> nowOverride;

LocalDateTime SystemLocalNow() {
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  tm local{};
  localtime_r(&ts.tv_sec, &local);
  LocalDateTime t;
  t.Year = local.tm_year + 1900;
  t.Month = local.tm_mon + 1;
  t.Day = local.tm_mday;
  t.Hour = local.tm_hour;
  t.Minute = local.tm_min;
  // A leap second (tm_sec 60) is held at 59 so the value stays encodable.
  t.Second = local.tm_sec > 59 ? 59 : local.tm_sec;
  t.Millisecond = static_cast<int>(ts.tv_nsec / 1000000);
  return t;
}

}  // namespace

LocalDateTime LocalNow() {
  {
    std::lock_guard<std::mutex> lock(overrideMutex);
    if (nowOverride) return nowOverride();
  }
  return SystemLocalNow();
}

void SetLocalNowOverride(std::function<LocalDateTime()> now) {
  std::lock_guard<std::mutex> lock(overrideMutex);
  nowOverride = std::move(now);
}

int64_t MonotonicMs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}
