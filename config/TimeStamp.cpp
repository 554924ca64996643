// Date-time values and time stamp texts: the day number of a date, the
// fraction of a time, both combined in extended precision, the one
// seconds-to-days conversion, and the stamp text cut apart by position.
#include "config/TimeStamp.h"

#include <cstdint>
#include <cstdio>

#include "config/IniFile.h"

namespace {

// Days before 1 January of year 1 counted from 30 December 1899, negated.
constexpr long kDaysTo1899 = 693594;

bool IsLeapYear(unsigned year) { return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0); }

unsigned DaysInMonth(unsigned year, unsigned month) {
  static const unsigned kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// The extended-precision constants nearest to 1/60 and 1/24.
constexpr long double kOneSixtieth = 1.0L / 60.0L;
constexpr long double kOneTwentyFourth = 1.0L / 24.0L;

// One field of a stamp: `length` characters from 1-based `position`, cut short
// at the end of the text, read as an INI integer (0 when not a number).
uint16_t StampField(const std::string& text, size_t position, size_t length) {
  std::string field = position - 1 < text.size() ? text.substr(position - 1, length) : "";
  return static_cast<uint16_t>(StrToIntDef(field, 0));
}

}  // namespace

bool TryEncodeDate(unsigned year, unsigned month, unsigned day, double& result) {
  if (year < 1 || year > 9999 || month < 1 || month > 12) return false;
  if (day < 1 || day > DaysInMonth(year, month)) return false;
  long dayOfYear = day;
  for (unsigned m = 1; m < month; ++m) dayOfYear += DaysInMonth(year, m);
  long y = static_cast<long>(year) - 1;
  long number = y * 365 + y / 4 - y / 100 + y / 400 + dayOfYear - kDaysTo1899;
  result = static_cast<double>(number);
  return true;
}

bool TryEncodeTime(unsigned hour, unsigned minute, unsigned second, unsigned ms, double& result) {
  if (hour > 23 || minute > 59 || second > 59 || ms > 999) return false;
  unsigned long total = hour * 3600000UL + minute * 60000UL + second * 1000UL + ms;
  result = static_cast<double>(static_cast<long double>(total) / 86400000.0L);
  return true;
}

double CombineDateTime(double date, double time) {
  return static_cast<double>(static_cast<long double>(date) + static_cast<long double>(time));
}

double DateTimeOf(const LocalDateTime& t) {
  double date = 0;
  double time = 0;
  if (t.Year < 0 || t.Month < 0 || t.Day < 0 || t.Hour < 0 || t.Minute < 0 || t.Second < 0 ||
      t.Millisecond < 0)
    return 0;
  if (!TryEncodeDate(static_cast<unsigned>(t.Year), static_cast<unsigned>(t.Month),
                     static_cast<unsigned>(t.Day), date))
    return 0;
  if (!TryEncodeTime(static_cast<unsigned>(t.Hour), static_cast<unsigned>(t.Minute),
                     static_cast<unsigned>(t.Second), static_cast<unsigned>(t.Millisecond), time))
    return 0;
  return CombineDateTime(date, time);
}

long double SecondsToDaysExtended(int seconds) {
  long double days = static_cast<long double>(seconds);
  days *= kOneSixtieth;
  days *= kOneSixtieth;
  days *= kOneTwentyFourth;
  return days;
}

double SecondsToDays(int seconds) { return static_cast<double>(SecondsToDaysExtended(seconds)); }

long long DaysToWholeSeconds(double days) {
  long double seconds = static_cast<long double>(days) * 60.0L * 60.0L * 24.0L;
  // Far beyond any wait: saturate instead of overflowing the conversion.
  if (seconds >= 9.0e18L) return 9000000000000000000LL;
  if (seconds <= -9.0e18L) return -9000000000000000000LL;
  return static_cast<long long>(seconds);
}

std::string FormatTimeStamp(const LocalDateTime& t, char separator) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%04d.%02d.%02d %02d%c%02d%c%02d", t.Year, t.Month, t.Day,
                t.Hour, separator, t.Minute, separator, t.Second);
  return buffer;
}

TStampParse DecodeTimeStamp(const std::string& text, double& result) {
  result = 0;
  if (text.empty()) return TStampParse::Ok;
  double date = 0;
  double time = 0;
  if (!TryEncodeDate(StampField(text, 1, 4), StampField(text, 6, 2), StampField(text, 9, 2), date))
    return TStampParse::InvalidDate;
  if (!TryEncodeTime(StampField(text, 12, 2), StampField(text, 15, 2), StampField(text, 18, 2), 0,
                     time))
    return TStampParse::InvalidTime;
  result = CombineDateTime(date, time);
  return TStampParse::Ok;
}
