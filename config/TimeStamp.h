// Date-time values (days since 1899-12-30 as a double, local time) and the
// "yyyy.mm.dd hh:nn:ss" time stamp text, with the exact extended-precision
// arithmetic the stored stamps and the waits are compared with.
#pragma once

#include <string>

#include "platform/Clock.h"

// Day number of a date; false when year, month or day is out of range.
bool TryEncodeDate(unsigned year, unsigned month, unsigned day, double& result);
// Fraction of a day; false when a field is out of range.
bool TryEncodeTime(unsigned hour, unsigned minute, unsigned second, unsigned ms, double& result);
// Day number plus fraction, added in extended precision.
double CombineDateTime(double date, double time);
// The value of a local date and time, milliseconds included (0 when invalid).
double DateTimeOf(const LocalDateTime& t);

// Seconds times 1/60, 1/60 and 1/24 in extended precision, unrounded.
long double SecondsToDaysExtended(int seconds);
// The same rounded to a double (the form the update decision adds).
double SecondsToDays(int seconds);
// Days back to whole seconds: times 60, 60 and 24 in extended precision,
// truncated toward zero (saturated far beyond any 32-bit wait).
long long DaysToWholeSeconds(double days);

// "yyyy.mm.dd hh:nn:ss" with `separator` between the time fields.
std::string FormatTimeStamp(const LocalDateTime& t, char separator = ':');

// Result of parsing a stored stamp.
enum class TStampParse { Ok, InvalidDate, InvalidTime };
// Cuts the six fields by position (INI integers, unsigned 16-bit) and encodes
// them, the date judged first; "" gives Ok with 0.
TStampParse DecodeTimeStamp(const std::string& text, double& result);
