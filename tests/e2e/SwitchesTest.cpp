// The command line end to end: the help box and its absence, --help and
// --version, and INSTALL, UNINSTALL and SILENT against a temporary unit folder
// (ZELVOSVC_UNIT_DIR), with the unit checked by systemd-analyze where it exists.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "support/Harness.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

constexpr auto kLimit = 20s;

const std::string kHelpBox =
    "ZelvoSvc\nCommand options:\n\n  /INSTALL   - installs Zelvo service\n  /UNINSTALL - removes "
    "service from known services list\n\nBefore Zelvo service is started, its INI file must be "
    "set up!\nSee the manual for more infomation.\n";
const std::string kInstalled = "Information\nService installed successfully\n";
const std::string kUninstalled = "Information\nService uninstalled successfully\n";
const std::string kExists =
    "Error\nService \"Dynamic DNS Updater\" failed to install with error: \"The specified "
    "service already exists.\"\n";
const std::string kMissing =
    "Error\nService \"Dynamic DNS Updater\" failed to uninstall with error: \"The specified "
    "service does not exist as an installed service.\"\n";

struct Outcome {
  int code;
  std::string out, err;
};

Outcome RunWith(ServiceRun& run, const std::vector<std::string>& args,
                const std::string& unitDir = "") {
  if (!unitDir.empty()) run.Env = {"ZELVOSVC_UNIT_DIR=" + unitDir};
  ExitStatus st = run.Run(args, kLimit);
  EXPECT_TRUE(st.Exited);
  return {st.Code, run.Stdout(), run.Stderr()};
}

std::string Joined(const std::vector<std::string>& args) {
  std::string s;
  for (const auto& a : args) s += "[" + a + "]";
  return s;
}

// Where systemd-analyze lives, or "" when it is not installed.
std::string SystemdAnalyze() {
  for (const char* p : {"/usr/bin/systemd-analyze", "/bin/systemd-analyze"}) {
    if (access(p, X_OK) == 0) return p;
  }
  return "";
}

}  // namespace

TEST(Switches, HelpBoxOnlyForNoArgumentOrSlashQuestionMark) {
  struct Row {
    std::vector<std::string> args;
    int code;
    std::string out;
  };
  const std::vector<Row> rows = {
      {{}, 1, kHelpBox},
      {{"/?"}, 1, kHelpBox},
      {{""}, 1, kHelpBox},
      {{"-?"}, 1, ""},
      {{"?"}, 1, ""},
      {{"foo"}, 1, ""},
      {{"foo", "/?"}, 1, ""},
      {{"--help"}, 0, kHelpBox},
      {{"/RUN", "--help"}, 0, kHelpBox},
      {{"--version"}, 0, "ZelvoSvc 1.3.3.0\n"},
  };
  for (const auto& row : rows) {
    ServiceRun run;
    // A valid INI file: without /RUN or systemd nothing may start anyway.
    run.WriteIni("[Source]\nInterval=3600\nLog=1\n");
    Outcome o = RunWith(run, row.args);
    EXPECT_EQ(o.code, row.code) << Joined(row.args);
    EXPECT_EQ(o.out, row.out) << Joined(row.args);
    EXPECT_EQ(o.err, "") << Joined(row.args);
    EXPECT_FALSE(fs::exists(run.LogPath())) << Joined(row.args);
  }
}

TEST(Switches, InstallAndUninstallInAnyCaseSilentAndInstallWins) {
  TempDir units;
  const std::string unit = units.File("ZelvoSvc.service");
  const std::string link = units.File("multi-user.target.wants/ZelvoSvc.service");
  struct Step {
    std::vector<std::string> args;
    std::string out, err;
    bool installedAfter;
  };
  const std::vector<Step> steps = {
      {{"/INSTALL"}, kInstalled, "", true},
      {{"-install"}, "", kExists, true},
      {{"/install", "/silent"}, "", kExists, true},  // failures are shown even when silent
      {{"-UnInstall"}, kUninstalled, "", false},
      {{"/UNINSTALL"}, "", kMissing, false},
      {{"x", "-SILENT", "/Install"}, "", "", true},
      {{"/uninstall", "/silent"}, "", "", false},
      {{"/UNINSTALL", "/INSTALL"}, kInstalled, "", true},  // INSTALL wins
      {{"/SILENT", "-uninstall"}, "", "", false},
      {{"/?", "-install"}, kInstalled + kHelpBox, "", true},
  };
  for (const auto& step : steps) {
    ServiceRun run;
    Outcome o = RunWith(run, step.args, units.Path());
    EXPECT_EQ(o.code, 1) << Joined(step.args);
    EXPECT_EQ(o.out, step.out) << Joined(step.args);
    EXPECT_EQ(o.err, step.err) << Joined(step.args);
    EXPECT_EQ(fs::exists(unit), step.installedAfter) << Joined(step.args);
    EXPECT_EQ(fs::is_symlink(link), step.installedAfter) << Joined(step.args);
    if (step.installedAfter && o.err.empty()) {
      std::string text = ReadFileOrEmpty(unit);
      EXPECT_NE(text.find("\nExecStart=" + run.ExePath() + "\n"), std::string::npos) << text;
      EXPECT_NE(text.find("\nReadWritePaths=" + run.Dir() + "\n"), std::string::npos) << text;
      EXPECT_EQ(fs::read_symlink(link).string(), unit);
    }
  }
}

TEST(Switches, UnreachableUnitFolderIsAnApplicationErrorWithExitCodeTwo) {
  TempDir dir;
  WriteFileOrDie(dir.File("file"), "");
  for (const std::string& unitDir : {dir.File("missing"), dir.File("file")}) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"/INSTALL"},
          std::vector<std::string>{"/UNINSTALL", "/SILENT"}}) {
      ServiceRun run;
      Outcome o = RunWith(run, args, unitDir);
      EXPECT_EQ(o.code, 2) << unitDir << Joined(args);
      EXPECT_EQ(o.out, "");
      EXPECT_EQ(o.err.rfind("Application Error\nException: Unit folder " + unitDir, 0), 0u)
          << o.err;
      EXPECT_FALSE(fs::exists(unitDir + "/ZelvoSvc.service"));
    }
  }
}

TEST(Switches, GeneratedUnitPassesSystemdAnalyzeVerify) {
  const std::string analyze = SystemdAnalyze();
  if (analyze.empty()) GTEST_SKIP() << "systemd-analyze is not installed";
  // A plain folder, and one whose name needs quoting and escaping in a unit.
  for (const std::string sub : {"", "my zelvo 100%n $HOME"}) {
    SCOPED_TRACE(sub);
    TempDir units;
    ServiceRun run;
    std::string exe = run.ExePath();
    if (!sub.empty()) {
      fs::create_directory(run.Dir() + "/" + sub);
      exe = run.Dir() + "/" + sub + "/ZelvoSvc";
      fs::copy_file(run.ExePath(), exe);
    }
    // Install through a link to the copy in question: the unit names the real file.
    ServiceRun installer;
    fs::remove(installer.ExePath());
    fs::create_symlink(exe, installer.ExePath());
    Outcome o = RunWith(installer, {"/INSTALL", "/SILENT"}, units.Path());
    ASSERT_EQ(o.err, "");
    std::string text = ReadFileOrEmpty(units.File("ZelvoSvc.service"));
    ASSERT_FALSE(text.empty());
    std::string cmd = analyze + " verify '" + units.File("ZelvoSvc.service") + "' 2>&1";
    FILE* p = popen(cmd.c_str(), "r");
    ASSERT_NE(p, nullptr);
    std::string output;
    char buf[512];
    for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) output.append(buf, n);
    int rc = pclose(p);
    EXPECT_EQ(rc, 0) << output << "\n" << text;
    EXPECT_EQ(output.find("ZelvoSvc.service:"), std::string::npos) << output;
  }
}
