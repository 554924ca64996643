// The unit file's text and quoting, and its installation and removal in a
// temporary unit folder.
#include "platform/SystemdUnit.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "platform/Exception.h"
#include "support/Harness.h"

namespace fs = std::filesystem;

namespace {
constexpr const char* kName = "ZelvoSvc";
constexpr const char* kDesc = "Dynamic DNS Updater";

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t nl; (nl = text.find('\n', start)) != std::string::npos; start = nl + 1) {
    lines.push_back(text.substr(start, nl - start));
  }
  return lines;
}

bool HasLine(const std::string& text, const std::string& line) {
  for (const auto& l : Lines(text)) {
    if (l == line) return true;
  }
  return false;
}
}  // namespace

TEST(SystemdUnit, SafePathsAreAbsoluteWithoutControlCharactersQuotesOrBackslashes) {
  struct Row {
    std::string path;
    bool safe;
  };
  const std::vector<Row> rows = {
      {"/opt/zelvo/ZelvoSvc", true},
      {"/opt/my zelvo/ZelvoSvc", true},
      {"/opt/100%/ZelvoSvc", true},
      {"/opt/$HOME/ZelvoSvc", true},
      {"relative/ZelvoSvc", false},
      {"", false},
      {"/opt/a\nExecStartPre=/bin/sh", false},
      {"/opt/a\rb", false},
      {"/opt/a\tb", false},
      {"/opt/a\"b", false},
      {"/opt/a\\b", false},
      {std::string("/opt/a\x7f", 7), false},
  };
  for (const auto& row : rows) EXPECT_EQ(IsSafeUnitPath(row.path), row.safe) << row.path;
}

TEST(SystemdUnit, QuotingDoublesPercentAndQuotesBlanks) {
  struct Row {
    std::string path, word;
  };
  const std::vector<Row> rows = {
      {"/opt/zelvo/ZelvoSvc", "/opt/zelvo/ZelvoSvc"},
      {"/opt/my zelvo/ZelvoSvc", "\"/opt/my zelvo/ZelvoSvc\""},
      {"/opt/100%/ZelvoSvc", "/opt/100%%/ZelvoSvc"},
      {"/opt/a %n/Z", "\"/opt/a %%n/Z\""},
      {"/opt/$x/Z", "/opt/$x/Z"},
  };
  for (const auto& row : rows) EXPECT_EQ(QuoteUnitPath(row.path), row.word) << row.path;
}

TEST(SystemdUnit, TextHasIdentityNotifyTypeInstallTargetAndHardening) {
  std::string text = UnitFileText(kDesc, "/opt/zelvo/ZelvoSvc");
  const std::vector<std::string> expected = {
      "[Unit]",
      "Description=Dynamic DNS Updater",
      "[Service]",
      "Type=notify",
      "ExecStart=/opt/zelvo/ZelvoSvc",
      "ReadWritePaths=/opt/zelvo",
      "NoNewPrivileges=yes",
      "ProtectSystem=strict",
      "PrivateTmp=yes",
      "ProtectHome=yes",
      "RestrictAddressFamilies=AF_UNIX AF_INET AF_INET6",
      "CapabilityBoundingSet=",
      "[Install]",
      "WantedBy=multi-user.target",
  };
  for (const auto& line : expected) EXPECT_TRUE(HasLine(text, line)) << line << "\n" << text;
  // Runs as root, and systemd never restarts it on its own.
  for (const char* key : {"User=", "Restart=", "Requires=", "After="}) {
    EXPECT_EQ(text.find(key), std::string::npos) << key;
  }
  EXPECT_TRUE(HasLine(UnitFileText(kDesc, "/srv/a b/ZelvoSvc"), "ReadWritePaths=\"/srv/a b\""));
}

TEST(SystemdUnit, InstallWritesUnitAndEnableLinkAndRefusesASecondTime) {
  TempDir dir;
  const std::string unit = dir.File("ZelvoSvc.service");
  const std::string link = dir.File("multi-user.target.wants/ZelvoSvc.service");
  ASSERT_EQ(InstallUnit(dir.Path(), kName, kDesc, "/opt/zelvo/ZelvoSvc"), TUnitResult::Ok);
  EXPECT_EQ(ReadFileOrEmpty(unit), UnitFileText(kDesc, "/opt/zelvo/ZelvoSvc"));
  EXPECT_EQ(fs::read_symlink(link).string(), unit);
  struct stat st {};
  ASSERT_EQ(stat(unit.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0644u);

  WriteFileOrDie(unit, "edited by the administrator\n");
  EXPECT_EQ(InstallUnit(dir.Path(), kName, kDesc, "/opt/zelvo/ZelvoSvc"),
            TUnitResult::AlreadyExists);
  EXPECT_EQ(ReadFileOrEmpty(unit), "edited by the administrator\n");
  // No temporary file is left behind.
  size_t entries = 0;
  for (auto it = fs::directory_iterator(dir.Path()); it != fs::directory_iterator(); ++it)
    ++entries;
  EXPECT_EQ(entries, 2u);
}

TEST(SystemdUnit, InstallReplacesAStaleEnableLinkAndRefusesUnsafePaths) {
  TempDir dir;
  fs::create_directory(dir.File("multi-user.target.wants"));
  fs::create_symlink("/nowhere", dir.File("multi-user.target.wants/ZelvoSvc.service"));
  ASSERT_EQ(InstallUnit(dir.Path(), kName, kDesc, "/opt/zelvo/ZelvoSvc"), TUnitResult::Ok);
  EXPECT_EQ(fs::read_symlink(dir.File("multi-user.target.wants/ZelvoSvc.service")).string(),
            dir.File("ZelvoSvc.service"));

  TempDir other;
  EXPECT_EQ(InstallUnit(other.Path(), kName, kDesc, "/opt/a\n[Service]\nExecStartPre=/bin/x/Z"),
            TUnitResult::UnsafePath);
  EXPECT_FALSE(fs::exists(other.File("ZelvoSvc.service")));
}

TEST(SystemdUnit, UninstallRemovesUnitAndLinkOrReportsNoUnit) {
  TempDir dir;
  EXPECT_EQ(UninstallUnit(dir.Path(), kName), TUnitResult::NotInstalled);
  ASSERT_EQ(InstallUnit(dir.Path(), kName, kDesc, "/opt/zelvo/ZelvoSvc"), TUnitResult::Ok);
  EXPECT_EQ(UninstallUnit(dir.Path(), kName), TUnitResult::Ok);
  EXPECT_FALSE(fs::exists(dir.File("ZelvoSvc.service")));
  EXPECT_FALSE(fs::is_symlink(dir.File("multi-user.target.wants/ZelvoSvc.service")));
  EXPECT_EQ(UninstallUnit(dir.Path(), kName), TUnitResult::NotInstalled);
  // A unit without its link (disabled by hand) is still removed.
  WriteFileOrDie(dir.File("ZelvoSvc.service"), "x");
  EXPECT_EQ(UninstallUnit(dir.Path(), kName), TUnitResult::Ok);
}

TEST(SystemdUnit, MissingOrNonFolderUnitDirectoryThrows) {
  TempDir dir;
  WriteFileOrDie(dir.File("plain-file"), "");
  for (const std::string& unitDir : {dir.File("missing"), dir.File("plain-file")}) {
    EXPECT_THROW(InstallUnit(unitDir, kName, kDesc, "/opt/zelvo/ZelvoSvc"), Exception) << unitDir;
    EXPECT_THROW(UninstallUnit(unitDir, kName), Exception) << unitDir;
  }
}

TEST(SystemdUnit, UnitDirectoryComesFromTheEnvironmentOrDefaults) {
  struct Row {
    const char* value;  // nullptr: unset
    std::string dir;
  };
  const std::vector<Row> rows = {
      {nullptr, "/etc/systemd/system"}, {"", "/etc/systemd/system"}, {"/tmp/u", "/tmp/u"}};
  for (const auto& row : rows) {
    if (row.value == nullptr) {
      unsetenv("ZELVOSVC_UNIT_DIR");
    } else {
      setenv("ZELVOSVC_UNIT_DIR", row.value, 1);
    }
    EXPECT_EQ(UnitDirectory(), row.dir);
  }
  unsetenv("ZELVOSVC_UNIT_DIR");
}
