// The arithmetic of the update decision, kept free of the INI file and the
// clock so that the exact comparisons can be checked by a table.
#include "update/Schedule.h"

#include "config/TimeStamp.h"

double DueTime(double stamp, int seconds) {
  const long double sum =
      static_cast<long double>(stamp) + static_cast<long double>(SecondsToDays(seconds));
  return static_cast<double>(sum);
}

bool MinIntervalHolds(double lastAttempt, int minInterval, double now) {
  return minInterval != 0 && DueTime(lastAttempt, minInterval) > now;
}

bool MaxIntervalPassed(double lastUpdate, int maxInterval, double now) {
  return maxInterval != 0 && !(DueTime(lastUpdate, maxInterval) > now);
}

bool ChangedSinceUpdate(double changed, double lastUpdate) { return changed > lastUpdate; }
