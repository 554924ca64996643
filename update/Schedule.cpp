// The arithmetic of the update decision, kept free of the INI file and the
// clock so that the exact comparisons can be checked by a table.
#include "update/Schedule.h"

#include <cmath>

#include "config/TimeStamp.h"

double DueTime(double stamp, int seconds) {
  const long double sum =
      static_cast<long double>(stamp) + static_cast<long double>(SecondsToDays(seconds));
  return static_cast<double>(sum);
}

namespace {

// Milliseconds from `now` to `due`, rounded to whole ones. Stamps and now lie on
// a millisecond grid, but their day fractions do not add up exactly in floating
// point: a due time one interval after a stamp can miss the now it equals by a
// fraction of a microsecond either way. Rounding makes "equal" exact.
long long MillisecondsUntil(double due, double now) {
  const long double difference = static_cast<long double>(due) - static_cast<long double>(now);
  return std::llround(difference * 86400000.0L);
}

}  // namespace

bool MinIntervalHolds(double lastAttempt, int minInterval, double now) {
  return minInterval != 0 && MillisecondsUntil(DueTime(lastAttempt, minInterval), now) > 0;
}

bool MaxIntervalPassed(double lastUpdate, int maxInterval, double now) {
  return maxInterval != 0 && MillisecondsUntil(DueTime(lastUpdate, maxInterval), now) <= 0;
}

bool ChangedSinceUpdate(double changed, double lastUpdate) { return changed > lastUpdate; }
