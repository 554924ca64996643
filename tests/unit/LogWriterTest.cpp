// The log writer in-process: a TZelvoSvc with its INI file and log file in a
// temporary folder and the wall clock pinned. Levels read for every line,
// placeholders, the stream rules (level 0 closes, the lost first line after a
// reopen), LF line ends, mode 0600, and resuming after a full disk.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "config/TimeStamp.h"
#include "log/LogWriter.h"
#include "platform/Clock.h"
#include "platform/Exception.h"
#include "service/Main.h"
#include "support/Harness.h"

namespace {

const LocalDateTime kNow{2004, 3, 14, 9, 5, 7, 999};
const std::string kStamp = "2004.03.14 09:05:07 ";

TEST(LogMessage, FillsPlaceholdersInOrder) {
  struct Row {
    std::string Format, A1, A2, A3, Expected;
  };
  const std::vector<Row> rows = {
      {"", "", "", "", ""},
      {"Zero Interval set - Execution terminated", "x", "y", "z",
       "Zero Interval set - Execution terminated"},
      {"Zelvo Service %s started. INI file %s", "1.3.3.0", "/opt/zelvo/ZelvoSvc.ini", "",
       "Zelvo Service 1.3.3.0 started. INI file /opt/zelvo/ZelvoSvc.ini"},
      {"Exception at UPDATE [%s] %s: %s", "Srv1", "http://h/", "10061:refused",
       "Exception at UPDATE [Srv1] http://h/: 10061:refused"},
      {"Found [%s] IP:   %s", "Source", "1.2.3.4", "", "Found [Source] IP:   1.2.3.4"},
      {"Not found Prefix: \"%s\" (Count=%s)", "IP:", "2", "",
       "Not found Prefix: \"IP:\" (Count=2)"},
      {"[%s] data rcvd.: %s", "Srv1", "%s %d 100% %%", "", "[Srv1] data rcvd.: %s %d 100% %%"},
      {"[%s] data rcvd.: %s", "Srv1", "line1\nline2\r\n", "",
       "[Srv1] data rcvd.: line1\nline2\r\n"},
      {"%s%s%s%s", "a", "b", "c", "abc"},
      {"100% sure %d %", "a", "", "", "100% sure %d %"},
      {"trailing %", "a", "", "", "trailing %"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.Format);
    EXPECT_EQ(FormatLogMessage(r.Format, r.A1, r.A2, r.A3), r.Expected);
  }
}

class LogWriter : public ::testing::Test {
 protected:
  void SetUp() override {
    SetLocalNowOverride([] { return kNow; });
    svc_.IniFile = std::make_unique<TIniFile>(dir_.File("ZelvoSvc.ini"));
    svc_.LogFileName = dir_.File("ZelvoSvc.log");
  }
  void TearDown() override { SetLocalNowOverride({}); }

  void SetLevel(const std::string& value) {
    WriteFileOrDie(dir_.File("ZelvoSvc.ini"), "[Source]\nInterval=600\nLog=" + value + "\n");
  }
  std::string Log() const { return ReadFileOrEmpty(svc_.LogFileName); }

  TempDir dir_;
  TZelvoSvc svc_;
};

TEST_F(LogWriter, AdmitsLinesUpToTheConfiguredLevel) {
  struct Row {
    std::string Log;
    std::string Expected;  // messages written, after the lost first line
  };
  const std::vector<Row> rows = {
      {"1", "L1\n"},
      {"2", "L1\nL2\n"},
      {"3", "L1\nL2\nL3\n"},
      {"4", "L1\nL2\nL3\nL4\n"},
      {"9", "L1\nL2\nL3\nL4\n"},
      {"$2", "L1\nL2\n"},
      {"0", ""},
      {"-1", ""},
      {"", ""},
      {"verbose", ""},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE("Log=" + r.Log);
    TempDir dir;
    TZelvoSvc svc;
    svc.IniFile = std::make_unique<TIniFile>(dir.File("ZelvoSvc.ini"));
    svc.LogFileName = dir.File("ZelvoSvc.log");
    WriteFileOrDie(dir.File("ZelvoSvc.ini"), "[Source]\nLog=" + r.Log + "\n");
    svc.WriteLog("lost");
    for (int level = 1; level <= 4; ++level) svc.WriteLogLevel(level, "L%s", std::to_string(level));
    std::string expected;
    for (size_t start = 0; start < r.Expected.size();) {
      size_t end = r.Expected.find('\n', start) + 1;
      expected += kStamp + r.Expected.substr(start, end - start);
      start = end;
    }
    EXPECT_EQ(ReadFileOrEmpty(svc.LogFileName), expected);
  }
}

TEST_F(LogWriter, WritesStampBlankMessageAndLf) {
  SetLevel("1");
  svc_.WriteLog("");  // the start handler's first line: lost by design
  svc_.WriteLog("Zelvo Service %s started. INI file %s", "1.3.3.0", "/x/ZelvoSvc.ini");
  svc_.WriteLogLevel(4, "[%s] data rcvd.: %s", "Srv1", "a\nb");  // not admitted at 1
  svc_.WriteLog("[%s] data rcvd.: %s", "Srv1", "a\nb%s");
  EXPECT_EQ(Log(), kStamp + "Zelvo Service 1.3.3.0 started. INI file /x/ZelvoSvc.ini\n" + kStamp +
                       "[Srv1] data rcvd.: a\nb%s\n");
}

TEST_F(LogWriter, LevelZeroClosesAndTheNextFirstLineIsLost) {
  SetLevel("1");
  svc_.WriteLog("A");
  svc_.WriteLog("B");
  EXPECT_TRUE(svc_.LogStream.IsOpen());
  SetLevel("0");
  svc_.WriteLog("C");
  EXPECT_FALSE(svc_.LogStream.IsOpen());
  EXPECT_TRUE(svc_.LogStream.Good());
  SetLevel("1");
  svc_.WriteLog("D");
  svc_.WriteLog("E");
  EXPECT_EQ(Log(), kStamp + "B\n" + kStamp + "E\n");
}

TEST_F(LogWriter, NegativeLevelWritesNothingAndLeavesTheStream) {
  SetLevel("1");
  svc_.WriteLog("A");
  svc_.WriteLog("B");
  SetLevel("-1");
  svc_.WriteLog("C");
  EXPECT_TRUE(svc_.LogStream.IsOpen());
  SetLevel("1");
  svc_.WriteLog("D");  // still open: written at once
  EXPECT_EQ(Log(), kStamp + "B\n" + kStamp + "D\n");
}

TEST_F(LogWriter, LevelZeroFromTheStartCreatesNoFile) {
  SetLevel("0");
  for (int i = 0; i < 3; ++i) svc_.WriteLog("x");
  EXPECT_FALSE(svc_.LogStream.IsOpen());
  struct stat st {};
  EXPECT_NE(stat(svc_.LogFileName.c_str(), &st), 0);
}

TEST_F(LogWriter, NewFileHasMode0600AndAnOldOneIsAppended) {
  SetLevel("1");
  svc_.WriteLog("A");
  svc_.WriteLog("B");
  struct stat st {};
  ASSERT_EQ(stat(svc_.LogFileName.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);

  TZelvoSvc second;  // a second run into the same file
  second.IniFile = std::make_unique<TIniFile>(dir_.File("ZelvoSvc.ini"));
  second.LogFileName = svc_.LogFileName;
  ASSERT_EQ(chmod(svc_.LogFileName.c_str(), 0640), 0);
  second.WriteLog("");
  second.WriteLog("C");
  EXPECT_EQ(Log(), kStamp + "B\n" + kStamp + "C\n");
  ASSERT_EQ(stat(svc_.LogFileName.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
}

TEST_F(LogWriter, UnopenableFileIsRetriedAtEveryLine) {
  SetLevel("1");
  const std::string folder = dir_.File("logs");
  svc_.LogFileName = folder + "/ZelvoSvc.log";
  svc_.WriteLog("A");
  svc_.WriteLog("B");  // the open fails: lost, nothing raised
  EXPECT_FALSE(svc_.LogStream.Good());
  ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
  svc_.WriteLog("C");
  EXPECT_EQ(Log(), kStamp + "C\n");
}

TEST_F(LogWriter, NoIniFileMeansNoLog) {
  svc_.IniFile.reset();
  svc_.WriteLog("A");
  svc_.WriteLog("B");
  EXPECT_FALSE(svc_.LogStream.IsOpen());
  EXPECT_EQ(Log(), "");
}

TEST_F(LogWriter, UnreadableStampIsLoggedAndRaised) {
  struct Row {
    std::string Text;
    std::string Message;
  };
  const std::vector<Row> rows = {
      {"2003.02.29 00:00:00", "Invalid argument to date encode"},
      {"2004.03.14 24:00:00", "Invalid argument to time encode"},
      {"garbage", "Invalid argument to date encode"},
      {" 2004.03.14 09:05:00", "Invalid argument to date encode"},
  };
  SetLevel("1");
  svc_.WriteLog("lost");
  std::string expected;
  for (const Row& r : rows) {
    SCOPED_TRACE(r.Text);
    try {
      svc_.ParseTimeStamp(r.Text);
      ADD_FAILURE() << "no exception";
    } catch (const Exception& e) {
      EXPECT_EQ(e.Message(), r.Message);
    }
    expected +=
        kStamp + "Invalid timestamp format: '" + r.Text + "' (must be 'YYYY.MM.DD HH:MM:SS'\n";
  }
  EXPECT_EQ(Log(), expected);
  EXPECT_EQ(svc_.ParseTimeStamp(""), 0);
  EXPECT_EQ(Log(), expected);
}

TEST_F(LogWriter, NowAndTheStampFollowTheClock) {
  EXPECT_EQ(svc_.TimeStampNow(), "2004.03.14 09:05:07");
  EXPECT_EQ(svc_.Now(), DateTimeOf(kNow));
  EXPECT_LT(svc_.ParseTimeStamp(svc_.TimeStampNow()), svc_.Now());
}

// In a child process: the log file may grow to `limit` bytes (a full disk);
// lines are written until one fails, then the limit is lifted (room again)
// and two more lines are written. Exit code 0 when the stream behaved.
int FillDiskThenResume(const std::string& iniPath, const std::string& logPath, rlim_t limit) {
  signal(SIGXFSZ, SIG_IGN);  // the write fails with EFBIG instead of killing
  rlimit small{limit, RLIM_INFINITY};
  if (setrlimit(RLIMIT_FSIZE, &small) != 0) return 10;
  TZelvoSvc svc;
  svc.IniFile = std::make_unique<TIniFile>(iniPath);
  svc.LogFileName = logPath;
  svc.WriteLog("lost");
  svc.WriteLog("opened");
  if (!svc.LogStream.IsOpen()) return 15;
  const std::string filler(100, 'f');
  int lines = 0;
  while (svc.LogStream.Good() && lines < 10000) {
    svc.WriteLog("fill %s", filler);
    ++lines;
  }
  if (svc.LogStream.Good()) return 11;
  if (svc.LogStream.IsOpen()) return 12;  // a failed write must close the file
  svc.WriteLog("during full disk");       // reopens, fails again
  rlimit room{RLIM_INFINITY, RLIM_INFINITY};
  if (setrlimit(RLIMIT_FSIZE, &room) != 0) return 13;
  svc.WriteLog("resumed one");
  svc.WriteLog("resumed two");
  return svc.LogStream.Good() && svc.LogStream.IsOpen() ? 0 : 14;
}

TEST_F(LogWriter, ResumesAfterADiskFullForAMoment) {
  SetLevel("1");
  const rlim_t limit = 4096;
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) _exit(FillDiskThenResume(dir_.File("ZelvoSvc.ini"), svc_.LogFileName, limit));
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status)) << "signal " << WTERMSIG(status);
  EXPECT_EQ(WEXITSTATUS(status), 0);

  const std::string log = Log();
  const size_t resumed = log.find(kStamp + "resumed one\n" + kStamp + "resumed two\n");
  ASSERT_NE(resumed, std::string::npos);
  EXPECT_GE(resumed, limit);  // the file was full before the lines got in
  EXPECT_EQ(log.find("during full disk"), std::string::npos);
  EXPECT_EQ(log.find("lost"), std::string::npos);
}

}  // namespace
