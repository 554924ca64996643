// The update decision: the interval arithmetic on its own, then CheckServer
// in-process against a temporary INI file with the wall clock pinned, so that
// stamps can lie exactly one interval before now.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "config/IniFile.h"
#include "config/TimeStamp.h"
#include "platform/Clock.h"
#include "platform/Exception.h"
#include "service/Main.h"
#include "support/Harness.h"
#include "update/Schedule.h"

namespace {

// The pinned now: 2024.05.10 12:00:00.000 (whole second, so that a stamp can
// equal it exactly).
const LocalDateTime kNow{2024, 5, 10, 12, 0, 0, 0};

// kNow moved by `seconds` (local fields, no daylight saving involved).
LocalDateTime FromNow(long seconds, int millisecond = 0) {
  using namespace std::chrono;
  const sys_days day{year{kNow.Year} / kNow.Month / kNow.Day};
  const sys_seconds moment = day + hours{kNow.Hour} + minutes{kNow.Minute} +
                             std::chrono::seconds{kNow.Second} + std::chrono::seconds{seconds};
  const sys_days newDay = floor<days>(moment);
  const year_month_day ymd{newDay};
  const hh_mm_ss<std::chrono::seconds> tod{moment - newDay};
  return {int(ymd.year()),
          int(unsigned(ymd.month())),
          int(unsigned(ymd.day())),
          int(tod.hours().count()),
          int(tod.minutes().count()),
          int(tod.seconds().count()),
          millisecond};
}

std::string At(long seconds) { return FormatTimeStamp(FromNow(seconds)); }

TEST(ScheduleArithmetic, ComparesDueTimesWithNowExactly) {
  struct Row {
    const char* Name;
    long StampOffset;  // seconds before (negative) or after now
    int NowMs;         // milliseconds of now
    int Interval;
    bool MinHolds;
    bool MaxPassed;
  };
  const std::vector<Row> rows = {
      {"interval 0 switches both rules off", -10, 0, 0, false, false},
      {"due exactly now", -300, 0, 300, false, true},
      {"due one second after now", -299, 0, 300, true, false},
      {"due one millisecond before now", -300, 1, 300, false, true},
      {"one day exactly", -86400, 0, 86400, false, true},
      {"odd interval exactly", -2669, 0, 2669, false, true},
      {"negative interval, stamp now", 0, 0, -1, false, true},
      {"negative interval, stamp in the future", 3600, 0, -60, true, false},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.Name);
    const double stamp = DateTimeOf(FromNow(r.StampOffset));
    const double now = DateTimeOf(FromNow(0, r.NowMs));
    EXPECT_EQ(MinIntervalHolds(stamp, r.Interval, now), r.MinHolds);
    EXPECT_EQ(MaxIntervalPassed(stamp, r.Interval, now), r.MaxPassed);
  }
}

TEST(ScheduleArithmetic, AddsTheIntervalInItsFixedForm) {
  const double stamp = DateTimeOf(kNow);
  for (int seconds : {600, 2669, 86400, -300}) {
    SCOPED_TRACE(seconds);
    const long double sum = static_cast<long double>(stamp) + SecondsToDays(seconds);
    EXPECT_EQ(DueTime(stamp, seconds), static_cast<double>(sum));
  }
  EXPECT_TRUE(ChangedSinceUpdate(DateTimeOf(FromNow(1)), DateTimeOf(kNow)));
  EXPECT_FALSE(ChangedSinceUpdate(DateTimeOf(kNow), DateTimeOf(kNow)));
  EXPECT_FALSE(ChangedSinceUpdate(0, 0));
}

TEST(ScheduleArithmetic, DueTimeEqualToNowCountsAsPassedForEveryInterval) {
  // The day fractions of stamp, interval and now do not add up exactly in
  // floating point; every interval must still meet the now it equals.
  for (long nowOffset = 0; nowOffset < 86400L * 400; nowOffset += 86400L * 7 + 3607) {
    for (int seconds : {1, 7, 59, 299, 300, 601, 2669, 3600, 86399, 86400, 2160000}) {
      const double stamp = DateTimeOf(FromNow(nowOffset - seconds));
      const double now = DateTimeOf(FromNow(nowOffset));
      const double justBefore = DateTimeOf(FromNow(nowOffset - 1, 999));
      ASSERT_FALSE(MinIntervalHolds(stamp, seconds, now)) << nowOffset << " " << seconds;
      ASSERT_TRUE(MaxIntervalPassed(stamp, seconds, now)) << nowOffset << " " << seconds;
      ASSERT_TRUE(MinIntervalHolds(stamp, seconds, justBefore)) << nowOffset << " " << seconds;
      ASSERT_FALSE(MaxIntervalPassed(stamp, seconds, justBefore)) << nowOffset << " " << seconds;
    }
  }
}

// One server section's keys and "Status"/"Changed"; "" leaves a key out.
struct CheckCase {
  std::string Name;
  std::string LastAttmpt;
  int MinInterval;
  std::string LastUpdate;
  int MaxInterval;
  std::string Changed;
  bool Updates;            // UpdateServer ran
  bool Forced;             // the MaxInterval line was written
  std::string Error = "";  // message of the error that leaves CheckServer
};

std::string IniFor(const CheckCase& c) {
  // "Status"/"LastIP" stays empty, so a call of UpdateServer shows as its
  // "Invalid IP - no UPDATE" line and nothing is sent.
  std::string ini = "[Source]\nInterval=60\nLog=4\n[Srv1]\nURL=http://127.0.0.1:9/%s\n";
  if (!c.LastAttmpt.empty()) ini += "LastAttmpt=" + c.LastAttmpt + "\n";
  if (c.MinInterval != 0) ini += "MinInterval=" + std::to_string(c.MinInterval) + "\n";
  if (!c.LastUpdate.empty()) ini += "LastUpdate=" + c.LastUpdate + "\n";
  if (c.MaxInterval != 0) ini += "MaxInterval=" + std::to_string(c.MaxInterval) + "\n";
  if (!c.Changed.empty()) ini += "[Status]\nChanged=" + c.Changed + "\n";
  return ini;
}

int Count(const std::string& text, const std::string& needle) {
  int n = 0;
  for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) ++n;
  return n;
}

class CheckServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetLocalNowOverride([] { return kNow; });
  }
  void TearDown() override { SetLocalNowOverride({}); }
};

TEST_F(CheckServerTest, DecidesByMinimumIntervalMaximumIntervalAndChange) {
  const std::vector<CheckCase> cases = {
      {"new section, Changed empty", "", 0, "", 0, "", false, false},
      {"new section, Changed set", "", 0, "", 0, At(-10), true, false},
      {"Changed equal to LastUpdate", "", 0, At(-100), 0, At(-100), false, false},
      {"Changed one second after LastUpdate", "", 0, At(-100), 0, At(-99), true, false},
      {"Changed empty, MaxInterval 0", At(-5000), 0, "", 0, "", false, false},
      {"MinInterval not passed, MaxInterval long passed", At(-299), 300, At(-86400), 60, At(-10),
       false, false},
      {"MinInterval exactly passed", At(-300), 300, At(-1000), 0, At(-10), true, false},
      {"MinInterval exactly passed, nothing changed", At(-300), 300, At(-10), 0, At(-1000), false,
       false},
      {"MaxInterval, LastUpdate empty, Changed empty", "", 0, "", 3600, "", true, true},
      {"MaxInterval, LastUpdate empty, Changed set", "", 0, "", 3600, At(-10), true, true},
      {"MaxInterval one day, LastUpdate one day ago", At(-86400), 0, At(-86400), 86400, At(-90000),
       true, true},
      {"MaxInterval one day, one second short", "", 0, At(-86399), 86400, At(-90000), false, false},
      {"negative MinInterval, attempt just now", At(0), -300, At(-100), 0, At(-10), true, false},
      {"negative MinInterval, attempt less ahead than the interval", At(200), -300, At(-100), 0,
       At(-10), true, false},
      {"negative MaxInterval forces", "", 0, At(-5), -1, "", true, true},
      {"negative MaxInterval, LastUpdate in the future", "", 0, At(3600), -60, At(-5), false,
       false},
      {"word in LastAttmpt, MinInterval 0", "never", 0, "", 0, At(-10), false, false,
       "Invalid argument to date encode"},
      {"bad time in LastUpdate", "", 0, "2024.05.10 24:00:00", 0, At(-10), false, false,
       "Invalid argument to time encode"},
      {"bad LastUpdate not reached while MinInterval holds", At(-10), 300, "never", 0, At(-5),
       false, false},
      {"bad Changed not reached when forced", "", 0, "", 60, "never", true, true},
      {"bad Changed reached", "", 0, At(-100), 0, "never", false, false,
       "Invalid argument to date encode"},
  };
  for (const CheckCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TempDir dir;
    TZelvoSvc svc;
    svc.IniFile = std::make_unique<TIniFile>(dir.File("ZelvoSvc.ini"));
    svc.LogFileName = dir.File("ZelvoSvc.log");
    WriteFileOrDie(svc.IniFile->FileName(), IniFor(c));
    svc.WriteLog("");  // the first line after the log opens is lost by design
    svc.CurrentSection = "Srv1";
    std::string error;
    try {
      svc.CheckServer("Srv1");
    } catch (const Exception& e) {
      error = e.Message();
    }
    const std::string log = ReadFileOrEmpty(svc.LogFileName);
    EXPECT_EQ(error, c.Error);
    EXPECT_EQ(Count(log, "Invalid IP - no UPDATE"), c.Updates ? 1 : 0) << log;
    EXPECT_EQ(Count(log, "[Srv1] MaxInterval passed - force update"), c.Forced ? 1 : 0) << log;
    EXPECT_EQ(Count(log, "Invalid timestamp format"), c.Error.empty() ? 0 : 1) << log;
  }
}

}  // namespace
