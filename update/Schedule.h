// The arithmetic of the update decision: a stored stamp plus an interval in
// seconds, compared with now exactly as the stored stamps demand.
#pragma once

// `stamp` (days) plus `seconds` turned into days, added in extended precision
// and rounded to a double. Never fails; negative seconds go back in time.
double DueTime(double stamp, int seconds);

// True while the minimum interval holds a request back: `minInterval` is not 0
// and `lastAttempt` + `minInterval` seconds is strictly later than `now`
// (compared to the millisecond, so a due time equal to now is never later).
bool MinIntervalHolds(double lastAttempt, int minInterval, double now);

// True when the maximum interval forces a request: `maxInterval` is not 0 and
// `lastUpdate` + `maxInterval` seconds is not later than `now` (to the millisecond).
bool MaxIntervalPassed(double lastUpdate, int maxInterval, double now);

// True when the address changed after the last successful update.
bool ChangedSinceUpdate(double changed, double lastUpdate);
