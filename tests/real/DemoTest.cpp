// The README's first command, `bash scripts/demo.sh`, run from a fresh clone
// of the repository as a newcomer would run it, ended by DEMO_SECONDS.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>

#include "config/IniFile.h"
#include "real/RealServers.h"
#include "support/Harness.h"

using namespace std::chrono_literals;

namespace {

// Clones the repository (its committed state) into `dir`/zelvo; empty with
// `why` set when that cannot be done here.
std::string FreshClone(const TempDir& dir, std::string& why) {
  if (FindProgram("git").empty() || FindProgram("nginx").empty()) {
    why = "git or nginx is not installed (scripts/test.sh installs both)";
    return {};
  }
  if (!std::filesystem::exists(ZELVO_SOURCE_DIR "/.git")) {
    why = "the source folder is not a git repository";
    return {};
  }
  std::string clone = dir.File("zelvo");
  ProgramResult r = RunProgram({"git", "clone", "-q", ZELVO_SOURCE_DIR, clone}, dir.Path(), {},
                               dir.File("clone.out"), 120s);
  if (r.Code != 0) {
    why = "git clone failed: " + r.Output;
    return {};
  }
  return clone;
}

// The end of a long output, for failure messages.
std::string Tail(const std::string& text) {
  return text.size() > 6000 ? text.substr(text.size() - 6000) : text;
}

}  // namespace

TEST(Demo, FirstCommandFromFreshCloneReachesFirstUpdate) {
  TempDir dir;
  std::string why;
  std::string clone = FreshClone(dir, why);
  if (clone.empty()) GTEST_SKIP() << why;

  ProgramResult demo = RunProgram({"bash", "scripts/demo.sh"}, clone, {"DEMO_SECONDS=20"},
                                  dir.File("demo.out"), 540s);
  ASSERT_FALSE(demo.TimedOut) << Tail(demo.Output);
  EXPECT_EQ(demo.Code, 0) << Tail(demo.Output);

  std::string log = ReadFileOrEmpty(clone + "/build/ZelvoSvc.log");
  EXPECT_NE(log.find("IP changed from () to (203.0.113.7)"), std::string::npos) << log;
  EXPECT_NE(log.find("myip=203.0.113.7"), std::string::npos) << log;
  std::smatch first, second;
  EXPECT_TRUE(
      std::regex_search(log, first, std::regex(R"(Updated \[Srv1\] \S+myip=203\.0\.113\.7)")))
      << log;
  // The address changes once; the next cycle pushes the change.
  EXPECT_NE(demo.Output.find("the address page now shows 203.0.113.8"), std::string::npos);
  EXPECT_NE(log.find("IP changed from (203.0.113.7) to (203.0.113.8)"), std::string::npos) << log;
  EXPECT_TRUE(
      std::regex_search(log, second, std::regex(R"(Updated \[Srv1\] \S+myip=203\.0\.113\.8)")))
      << log;
  EXPECT_NE(demo.Output.find("endpoint got: GET /nic/update?hostname=demo.example.org&myip="
                             "203.0.113.7 HTTP/1.0  (user demo, answer 200)"),
            std::string::npos)
      << Tail(demo.Output);

  std::string ini = clone + "/build/ZelvoSvc.ini";
  EXPECT_EQ(TIniFile(ini).ReadText("Status", "LastIP", ""), "203.0.113.8");
  struct stat st {};
  ASSERT_EQ(stat(ini.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);

  // The demo stopped its nginx: the port it used accepts nothing any more.
  std::smatch port;
  ASSERT_TRUE(std::regex_search(demo.Output, port, std::regex(R"(http://127\.0\.0\.1:(\d+)/ip)")));
  EXPECT_FALSE(WaitForPort(std::stoi(port[1]), 0ms));
}

// A ZelvoSvc.ini that the demo did not write is never overwritten.
TEST(Demo, RefusesToOverwriteForeignIni) {
  TempDir dir;
  std::string why;
  std::string clone = FreshClone(dir, why);
  if (clone.empty()) GTEST_SKIP() << why;
  std::filesystem::create_directories(clone + "/build");
  const std::string mine = "[Source]\nInterval=600\n";
  WriteFileOrDie(clone + "/build/ZelvoSvc.ini", mine);

  ProgramResult demo =
      RunProgram({"bash", "scripts/demo.sh"}, clone, {}, dir.File("demo.out"), 120s);
  EXPECT_EQ(demo.Code, 1) << Tail(demo.Output);
  EXPECT_NE(demo.Output.find("was not written by the demo"), std::string::npos) << demo.Output;
  EXPECT_EQ(ReadFileOrEmpty(clone + "/build/ZelvoSvc.ini"), mine);
}
