// Time stamps: day numbers and day fractions, their extended-precision sum,
// the one seconds-to-days conversion, and stamp texts written and cut apart
// by position. Pure functions, checked by tables.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "config/TimeStamp.h"

namespace {

TEST(TimeStampDate, CountsDaysFrom1899December30) {
  struct Row {
    unsigned Year, Month, Day;
    bool Valid;
    double Expected;
  };
  const std::vector<Row> rows = {
      {1899, 12, 30, true, 0},       {1899, 12, 31, true, 1},    {1900, 1, 1, true, 2},
      {1900, 3, 1, true, 61},  // 1900 is no leap year
      {2000, 1, 1, true, 36526},     {2004, 3, 14, true, 38060}, {1, 1, 1, true, -693593},
      {9999, 12, 31, true, 2958465}, {2004, 2, 29, true, 38046}, {2000, 2, 29, true, 36585},
      {2003, 2, 29, false, 0},       {1900, 2, 29, false, 0},    {2100, 2, 29, false, 0},
      {2004, 4, 31, false, 0},       {2004, 12, 32, false, 0},   {2004, 1, 0, false, 0},
      {2004, 0, 1, false, 0},        {2004, 13, 1, false, 0},    {0, 1, 1, false, 0},
      {10000, 1, 1, false, 0},       {65535, 1, 1, false, 0},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(std::to_string(r.Year) + "-" + std::to_string(r.Month) + "-" +
                 std::to_string(r.Day));
    double value = -1;
    EXPECT_EQ(TryEncodeDate(r.Year, r.Month, r.Day, value), r.Valid);
    if (r.Valid) {
      EXPECT_EQ(value, r.Expected);
    }
  }
}

TEST(TimeStampTime, GivesTheFractionOfTheDay) {
  struct Row {
    unsigned Hour, Minute, Second, Ms;
    bool Valid;
    double Expected;
  };
  const std::vector<Row> rows = {
      {0, 0, 0, 0, true, 0},
      {12, 0, 0, 0, true, 0.5},
      {6, 0, 0, 0, true, 0.25},
      {9, 5, 0, 0, true, static_cast<double>(32700000.0L / 86400000.0L)},
      {23, 59, 59, 999, true, static_cast<double>(86399999.0L / 86400000.0L)},
      {24, 0, 0, 0, false, 0},
      {0, 60, 0, 0, false, 0},
      {0, 0, 60, 0, false, 0},
      {0, 0, 0, 1000, false, 0},
      {65535, 0, 0, 0, false, 0},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(std::to_string(r.Hour) + ":" + std::to_string(r.Minute) + ":" +
                 std::to_string(r.Second) + "." + std::to_string(r.Ms));
    double value = -1;
    EXPECT_EQ(TryEncodeTime(r.Hour, r.Minute, r.Second, r.Ms, value), r.Valid);
    if (r.Valid) {
      EXPECT_EQ(value, r.Expected);
    }
  }
}

TEST(TimeStampValue, CombinesDateTimeAndMilliseconds) {
  struct Row {
    LocalDateTime Time;
    double Expected;
  };
  const std::vector<Row> rows = {
      {{1899, 12, 30, 12, 0, 0, 0}, 0.5},
      {{2004, 3, 14, 0, 0, 0, 0}, 38060},
      {{2004, 3, 14, 18, 0, 0, 0}, 38060.75},
      {{2004, 3, 14, 0, 0, 0, 1}, static_cast<double>(38060.0L + 1.0L / 86400000.0L)},
      {{2004, 2, 30, 0, 0, 0, 0}, 0},
      {{2004, 3, 14, 24, 0, 0, 0}, 0},
      {{2004, 3, 14, 0, 0, 0, -1}, 0},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(FormatTimeStamp(r.Time) + "." + std::to_string(r.Time.Millisecond));
    EXPECT_EQ(DateTimeOf(r.Time), r.Expected);
  }
}

TEST(TimeStampInterval, ConvertsSecondsInItsFixedForm) {
  struct Row {
    int Seconds;
    double Expected;
  };
  const double twoThousand = 2669.0 / 86400.0;
  const std::vector<Row> rows = {
      {0, 0},
      {600, 600.0 / 86400.0},
      {2669, std::nextafter(twoThousand, 1.0)},  // one unit of the last place above
      {86400, 1.0},
      {-600, -600.0 / 86400.0},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.Seconds);
    EXPECT_EQ(SecondsToDays(r.Seconds), r.Expected);
    EXPECT_EQ(static_cast<double>(SecondsToDaysExtended(r.Seconds)), r.Expected);
  }
  EXPECT_NE(SecondsToDays(2669), twoThousand);
}

TEST(TimeStampInterval, TurnsDaysBackIntoWholeSeconds) {
  struct Row {
    const char* Name;
    double Days;
    long long Expected;
  };
  const std::vector<Row> rows = {
      {"a day", 1.0, 86400},
      {"200.4 seconds", 200.4 / 86400.0, 200},
      {"just under one second", 0.999 / 86400.0, 0},
      {"passed deadline", -0.5 / 86400.0, 0},
      {"toward zero below", -1.5 / 86400.0, -1},
      {"zero", 0, 0},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.Name);
    EXPECT_EQ(DaysToWholeSeconds(r.Days), r.Expected);
  }
}

TEST(TimeStampText, FormatsNineteenCharacters) {
  struct Row {
    LocalDateTime Time;
    char Separator;
    std::string Expected;
  };
  const std::vector<Row> rows = {
      {{2004, 3, 14, 9, 5, 0, 0}, ':', "2004.03.14 09:05:00"},
      {{2004, 3, 14, 23, 59, 59, 999}, ':', "2004.03.14 23:59:59"},  // ms dropped, not rounded
      {{1, 1, 1, 0, 0, 0, 0}, ':', "0001.01.01 00:00:00"},
      {{2024, 12, 31, 13, 7, 9, 500}, '.', "2024.12.31 13.07.09"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.Expected);
    EXPECT_EQ(FormatTimeStamp(r.Time, r.Separator), r.Expected);
  }
}

double ValueOf(unsigned y, unsigned mo, unsigned d, unsigned h, unsigned mi, unsigned s) {
  double date = 0;
  double time = 0;
  EXPECT_TRUE(TryEncodeDate(y, mo, d, date));
  EXPECT_TRUE(TryEncodeTime(h, mi, s, 0, time));
  return CombineDateTime(date, time);
}

TEST(TimeStampText, ReadsFieldsByPosition) {
  struct Row {
    std::string Text;
    TStampParse Result;
    double Expected;
  };
  const double stamp = ValueOf(2004, 3, 14, 9, 5, 0);
  const std::vector<Row> rows = {
      {"", TStampParse::Ok, 0},
      {"2004.03.14 09:05:00", TStampParse::Ok, stamp},
      {"2004-03-14T09.05.00", TStampParse::Ok, stamp},
      {"2004.03.14 09:05:00 and more words", TStampParse::Ok, stamp},
      {"2004.03.14", TStampParse::Ok, ValueOf(2004, 3, 14, 0, 0, 0)},
      {"2004.03.14 09:05", TStampParse::Ok, ValueOf(2004, 3, 14, 9, 5, 0)},
      {"2004.02.29 00:00:00", TStampParse::Ok, ValueOf(2004, 2, 29, 0, 0, 0)},
      {"$7D4.03.14 09:05:00", TStampParse::Ok, stamp},  // a field is an INI integer
      {"2004.+3.14 09:05:00", TStampParse::Ok, stamp},
      {"1899.12.30 12:00:00", TStampParse::Ok, 0.5},
      {"2003.02.29 00:00:00", TStampParse::InvalidDate, 0},
      {"2004.13.01 00:00:00", TStampParse::InvalidDate, 0},
      {"0000.01.01 00:00:00", TStampParse::InvalidDate, 0},
      {"-001.01.01 00:00:00", TStampParse::InvalidDate, 0},  // -1 as unsigned 16-bit
      {"2004.03.14 24:00:00", TStampParse::InvalidTime, 0},
      {"2004.03.14 09:60:00", TStampParse::InvalidTime, 0},
      {"2004.03.14 09:05:60", TStampParse::InvalidTime, 0},
      {"2004.03.14 -1:05:00", TStampParse::InvalidTime, 0},
      {"2003.02.29 24:00:00", TStampParse::InvalidDate, 0},  // the date is judged first
      {"never", TStampParse::InvalidDate, 0},
      {" 2004.03.14 09:05:00", TStampParse::InvalidDate, 0},  // every field shifted
      {"2004", TStampParse::InvalidDate, 0},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE("'" + r.Text + "'");
    double value = -1;
    EXPECT_EQ(DecodeTimeStamp(r.Text, value), r.Result);
    if (r.Result == TStampParse::Ok) {
      EXPECT_EQ(value, r.Expected);
    }
  }
}

TEST(TimeStampText, ReadsBackNoLaterThanTheMomentItWasMadeFrom) {
  const std::vector<LocalDateTime> moments = {
      {2004, 3, 14, 9, 5, 0, 0},     {2004, 3, 14, 9, 5, 0, 999},  {2024, 2, 29, 23, 59, 59, 999},
      {1999, 12, 31, 23, 59, 59, 1}, {2038, 1, 19, 3, 14, 8, 500}, {1, 1, 1, 0, 0, 0, 123},
  };
  for (const LocalDateTime& t : moments) {
    const std::string text = FormatTimeStamp(t);
    SCOPED_TRACE(text + "." + std::to_string(t.Millisecond));
    double parsed = 0;
    ASSERT_EQ(DecodeTimeStamp(text, parsed), TStampParse::Ok);
    const double now = DateTimeOf(t);
    EXPECT_LE(parsed, now);
    EXPECT_LT(now - parsed, 1.0 / 86400.0);
    LocalDateTime whole = t;
    whole.Millisecond = 0;
    EXPECT_EQ(parsed, DateTimeOf(whole));
  }
}

}  // namespace
