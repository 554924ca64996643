// Installing as an administrator would: `cmake --install` into a staging
// folder (DESTDIR), the man page read by groff, and the logrotate snippet
// applied by logrotate to the log of a running service.
#include <signal.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "real/RealServers.h"
#include "support/Harness.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

std::string BuildDir() { return fs::path(ZELVOSVC_EXE).parent_path().string(); }

}  // namespace

TEST(Install, PutsProgramManPageAndExamplesUnderThePrefix) {
  if (FindProgram("cmake").empty()) GTEST_SKIP() << "cmake is not installed";
  struct Row {
    std::vector<std::string> Extra;  // arguments after `cmake --install <build>`
    std::string Prefix;              // where the files must land
  };
  const std::vector<Row> rows = {
      {{}, "/opt/zelvo"},
      {{"--prefix", "/usr/local/zelvo"}, "/usr/local/zelvo"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Prefix);
    TempDir stage;
    std::vector<std::string> argv = {"cmake", "--install", BuildDir()};
    argv.insert(argv.end(), row.Extra.begin(), row.Extra.end());
    ProgramResult r =
        RunProgram(argv, stage.Path(), {"DESTDIR=" + stage.Path()}, stage.File("out"), 120s);
    ASSERT_EQ(r.Code, 0) << r.Output;

    std::string root = stage.Path() + row.Prefix;
    struct stat st {};
    ASSERT_EQ(stat((root + "/ZelvoSvc").c_str(), &st), 0) << r.Output;
    EXPECT_EQ(st.st_mode & 0111, 0111u);
    for (const char* file : {"/share/man/man8/ZelvoSvc.8", "/share/zelvo/zelvo.logrotate",
                             "/ZelvoSvc.ini.example", "/share/zelvo/examples/dyndns2.ini",
                             "/share/zelvo/examples/duckdns.ini", "/share/zelvo/examples/dynv6.ini",
                             "/share/zelvo/examples/freedns.ini", "/share/zelvo/examples/he.ini"})
      EXPECT_TRUE(fs::exists(root + file)) << file << "\n" << r.Output;
    // The administrator's INI file is never part of an install.
    EXPECT_FALSE(fs::exists(root + "/ZelvoSvc.ini"));

    // The installed program runs from its new home.
    ProgramResult help =
        RunProgram({root + "/ZelvoSvc"}, stage.Path(), {}, stage.File("help"), 30s);
    EXPECT_EQ(help.Code, 1) << help.Output;
    EXPECT_NE(help.Output.find("Command options:"), std::string::npos) << help.Output;
  }
}

TEST(Install, ManPageFormatsWithoutWarnings) {
  if (FindProgram("groff").empty()) GTEST_SKIP() << "groff is not installed (groff-base)";
  TempDir dir;
  ProgramResult r = RunProgram({"groff", "-man", "-ww", "-z", ZELVO_SOURCE_DIR "/docs/ZelvoSvc.8"},
                               dir.Path(), {}, dir.File("out"), 60s);
  EXPECT_EQ(r.Code, 0) << r.Output;
  EXPECT_EQ(r.Output, "");
}

// copytruncate keeps the file the service holds open: after a rotation the
// service's next lines start the emptied file, with no hole before them.
TEST(Install, LogrotateSnippetRotatesTheLogOfARunningService) {
  std::string logrotate = FindProgram("logrotate");
  if (logrotate.empty()) GTEST_SKIP() << "logrotate is not installed";
  ServiceRun run;
  // Nothing listens on that port: every cycle logs a failed source request.
  run.WriteIni("[Source]\nInterval=1\nLog=1\nURL=http://127.0.0.1:" +
               std::to_string(FreeLoopbackPort()) + "/\n");
  std::string snippet = ReadFileOrEmpty(ZELVO_SOURCE_DIR "/docs/zelvo.logrotate");
  ASSERT_NE(snippet.find("/opt/zelvo/ZelvoSvc.log"), std::string::npos);
  std::string conf = run.Dir() + "/rotate.conf";
  WriteFileOrDie(conf, ReplaceAll(snippet, "/opt/zelvo/ZelvoSvc.log", run.LogPath()));
  chmod(conf.c_str(), 0644);

  run.Start();
  ASSERT_TRUE(run.WaitForLog("Exception at GET source", 30s)) << run.Log();
  struct stat before {};
  ASSERT_EQ(stat(run.LogPath().c_str(), &before), 0);
  ProgramResult r = RunProgram({logrotate, "-f", "-s", run.Dir() + "/rotate.state", conf},
                               run.Dir(), {}, run.Dir() + "/rotate.out", 60s);
  ASSERT_EQ(r.Code, 0) << r.Output;
  EXPECT_GT(ReadFileOrEmpty(run.LogPath() + ".1.gz").size(), 0u) << r.Output;

  // The emptied file fills again from its start.
  ASSERT_TRUE(run.WaitForLog("Exception at GET source", 30s)) << run.Log();
  run.Signal(SIGTERM);
  EXPECT_TRUE(run.Wait(15s).Exited);
  struct stat after {};
  ASSERT_EQ(stat(run.LogPath().c_str(), &after), 0);
  EXPECT_EQ(after.st_ino, before.st_ino);
  std::string log = run.Log();
  EXPECT_EQ(log.find('\0'), std::string::npos) << "NUL bytes before the new lines";
  EXPECT_EQ(log.find("started"), std::string::npos) << "old lines kept: " << log;
  EXPECT_EQ(log.rfind("20", 0), 0u) << log;  // a time stamp first
}
