// Local wall-clock time with milliseconds, and a monotonic clock for bounded
// waits. Tests may replace the wall clock; nothing else is ever faked.
#pragma once

#include <cstdint>
#include <functional>

struct LocalDateTime {
  int Year = 0;
  int Month = 0;
  int Day = 0;
  int Hour = 0;
  int Minute = 0;
  int Second = 0;
  int Millisecond = 0;
};

// The current local date and time (clock_gettime + localtime_r), or the
// override's value while one is set.
LocalDateTime LocalNow();

// Replaces the wall clock for tests; an empty function restores the real one.
void SetLocalNowOverride(std::function<LocalDateTime()> now);

// Milliseconds of CLOCK_MONOTONIC, for time limits that must not jump.
int64_t MonotonicMs();
