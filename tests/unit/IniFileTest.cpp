// The INI file: the integer conversion, the line parser and the writer as pure
// functions over text, then TIniFile on real files in a temporary folder
// (missing file, atomic replacement, read-only files, links, modes, 10 MB).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "config/IniFile.h"
#include "platform/Exception.h"
#include "support/Harness.h"

namespace {

using namespace std::string_literals;

TEST(IniInteger, ConvertsLikeTheProfileReader) {
  struct Row {
    std::string Text;
    int32_t Expected;
  };
  const int32_t def = -77;
  const std::vector<Row> rows = {
      {"0", 0},
      {"600", 600},
      {"+15", 15},
      {"-2", -2},
      {"007", 7},
      {"   42", 42},
      {"2147483647", 2147483647},
      {"-2147483648", INT32_MIN},
      {"2147483648", def},
      {"-2147483649", def},
      {"99999999999999999999", def},
      {"0x1E", 30},
      {"0X1e", 30},
      {"$1E", 30},
      {"x1E", 30},
      {"X1e", 30},
      {"  $10", 16},
      {"$FFFFFFFF", -1},
      {"0xFFFFFFFF", -1},
      {"$80000000", INT32_MIN},
      {"$7FFFFFFF", INT32_MAX},
      {"$00000000F", 15},  // leading zeros do not count against the eight digits
      {"$100000000", def},
      {"0x", def},  // two characters only: no "$" rule, and not a number
      {" 0x1E", def},
      {"$", def},
      {"x", def},
      {"$G", def},
      {"-$10", def},
      {"", def},
      {" ", def},
      {"+", def},
      {"-", def},
      {"15s", def},
      {"15 ", def},
      {"1 5", def},
      {"abc", def},
      {"1.5", def},
      {"\t5", def},
      {"5\0"s, def},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE("text: '" + r.Text + "'");
    EXPECT_EQ(StrToIntDef(r.Text, def), r.Expected);
  }
}

TEST(IniParse, FindsValuesByTheFormatRules) {
  struct Row {
    const char* Name;
    std::string Content;
    std::string Section;
    std::string Key;
    bool Found;
    std::string Value;
  };
  const std::string longValue(3000, 'u');
  const std::vector<Row> rows = {
      {"plain", "[Source]\nInterval=600\n", "Source", "Interval", true, "600"},
      {"names ignore case", "[source]\ninterval=600\n", "Source", "Interval", true, "600"},
      {"value keeps its case", "[SOURCE]\nURL=http://A/b\n", "source", "url", true, "http://A/b"},
      {"blanks around name and value", "  [ Source ]  \n  Prefix  =  a b  \n", "Source", "Prefix",
       true, "a b"},
      {"tabs are blanks", "[Source]\n\tLog\t=\t3\t\n", "Source", "Log", true, "3"},
      {"double quotes removed", "[S]\nK=\"  a b \"\n", "S", "K", true, "  a b "},
      {"single quotes removed", "[S]\nK='x'\n", "S", "K", true, "x"},
      {"only one pair removed", "[S]\nK=\"\"x\"\"\n", "S", "K", true, "\"x\""},
      {"mismatched quotes kept", "[S]\nK=\"x'\n", "S", "K", true, "\"x'"},
      {"lone quote kept", "[S]\nK=\"\n", "S", "K", true, "\""},
      {"empty value found", "[Source]\nInterval=\n", "Source", "Interval", true, ""},
      {"empty quotes give empty", "[S]\nK=''\n", "S", "K", true, ""},
      {"value with = kept", "[S]\nURL=http://h/?a=1&b=2\n", "S", "URL", true, "http://h/?a=1&b=2"},
      {"cut to 2,047", "[S]\nK=" + longValue + "\n", "S", "K", true, std::string(2047, 'u')},
      {"quotes removed before the cut", "[S]\nK=\"" + longValue + "\"\n", "S", "K", true,
       std::string(2047, 'u')},
      {"absent key", "[S]\nA=1\n", "S", "B", false, ""},
      {"absent section", "[S]\nA=1\n", "T", "A", false, ""},
      {"key of another section", "[S]\nA=1\n[T]\nB=2\n", "S", "B", false, ""},
      {"key before any section ignored", "A=1\n[S]\n", "S", "A", false, ""},
      {"empty file", "", "S", "A", false, ""},
      {"numbered keys are distinct", "[S]\nURL1=a\nURL=b\nURL10=c\n", "S", "URL1", true, "a"},
      {"no leading-zero match", "[S]\nURL01=a\n", "S", "URL1", false, ""},
      {"semicolon comment is no key", "[S]\n;K=1\n", "S", ";K", false, ""},
      {"hash comment is no key", "[S]\n # K=1\nK=2\n", "S", "K", true, "2"},
      {"line without = is no key", "[Source]\nInterval\n", "Source", "Interval", false, ""},
      {"line with empty name is no key", "[S]\n=5\n", "S", "", false, ""},
      {"repeated key: first wins", "[S]\nK=1\nK=2\n", "S", "K", true, "1"},
      {"repeated section: first wins", "[S]\nK=1\n[S]\nK=2\n", "S", "K", true, "1"},
      {"repeated section: later one unread", "[S]\nA=1\n[s]\nK=2\n", "S", "K", false, ""},
      {"header text after ] ignored", "[S] ; note\nK=1\n", "S", "K", true, "1"},
      {"header up to the last ]", "[a]b]\nK=1\n", "a]b", "K", true, "1"},
      {"[ without ] is no header", "[S]\n[T\nK=1\n", "S", "K", true, "1"},
      {"CR LF line ends", "[S]\r\nK=1\r\nL=2\r\n", "S", "L", true, "2"},
      {"mixed line ends", "[S]\nK=1\r\nL=2\n", "S", "K", true, "1"},
      {"lone CR stays in the value", "[S]\nK=1\rL=2\n", "S", "K", true, "1\rL=2"},
      {"no final line end", "[S]\nK=last", "S", "K", true, "last"},
      {"CR without LF at the end", "[S]\nK=last\r", "S", "K", true, "last\r"},
      {"NUL bytes in a value", "[S]\nK=a\0b\n"s, "S", "K", true, "a\0b"s},
      {"NUL line before the key", "[S]\n\0\0\0\nK=1\n"s, "S", "K", true, "1"},
      {"high bytes", "[S\xe9]\nK\xff=\xfe\x80\n", "S\xe9", "K\xff", true, "\xfe\x80"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.Name);
    bool found = !r.Found;
    EXPECT_EQ(IniLookup(r.Content, r.Section, r.Key, found), r.Value);
    EXPECT_EQ(found, r.Found);
  }
}

TEST(IniParse, SectionExistsOnlyWithKeys) {
  struct Row {
    const char* Name;
    std::string Content;
    std::string Section;
    bool Expected;
  };
  const std::vector<Row> rows = {
      {"section with a key", "[Srv1]\nURL=x\n", "Srv1", true},
      {"key with empty value", "[Srv1]\nURL=\n", "srv1", true},
      {"header without keys", "[Srv1]\n[Srv2]\nURL=x\n", "Srv1", false},
      {"only comments and blanks", "[Srv1]\n; URL=x\n\n   \n", "Srv1", false},
      {"only a line without =", "[Srv1]\nURL\n", "Srv1", false},
      {"missing section", "[Srv1]\nURL=x\n", "Srv2", false},
      {"header at end of file", "[Srv1]", "Srv1", false},
      {"empty first, keys in repeat", "[Srv1]\n[Srv1]\nURL=x\n", "Srv1", false},
      {"leading zero is another name", "[Srv01]\nURL=x\n", "Srv1", false},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.Name);
    EXPECT_EQ(IniSectionHasKeys(r.Content, r.Section), r.Expected);
  }
}

TEST(IniWrite, ChangesOneLineAndKeepsEveryOtherByte) {
  struct Row {
    const char* Name;
    std::string Content;
    std::string Section;
    std::string Key;
    std::string Value;
    std::string Expected;
  };
  const std::vector<Row> rows = {
      {"new file gets LF", "", "Status", "LastIP", "1.2.3.4", "[Status]\nLastIP=1.2.3.4\n"},
      {"replace value", "[Status]\nLastIP=1.1.1.1\nChanged=x\n", "Status", "LastIP", "2.2.2.2",
       "[Status]\nLastIP=2.2.2.2\nChanged=x\n"},
      {"replace keeps spelling and spacing", "[status]\n  lastip = old  \n", "Status", "LastIP",
       "new", "[status]\n  lastip = new\n"},
      {"replace keeps CR LF", "[S]\r\nK=1\r\nL=2\r\n", "S", "K", "9", "[S]\r\nK=9\r\nL=2\r\n"},
      {"replace last line without line end", "[S]\nK=1", "S", "K", "22", "[S]\nK=22"},
      {"replace the first of repeated keys", "[S]\nK=1\nK=2\n", "S", "K", "3", "[S]\nK=3\nK=2\n"},
      {"replace in the first of repeated sections", "[S]\nK=1\n[S]\nK=2\n", "S", "K", "3",
       "[S]\nK=3\n[S]\nK=2\n"},
      {"add after the last key of the section", "[S]\nA=1\n; note\n\n[T]\nB=2\n", "S", "K", "v",
       "[S]\nA=1\nK=v\n; note\n\n[T]\nB=2\n"},
      {"add right after a bare header", "[Srv1]\n\n[Srv2]\nURL=x\n", "Srv1", "LastAttmpt", "t",
       "[Srv1]\nLastAttmpt=t\n\n[Srv2]\nURL=x\n"},
      {"add to the first of repeated sections", "[S]\nA=1\n[S]\nB=2\n", "S", "K", "v",
       "[S]\nA=1\nK=v\n[S]\nB=2\n"},
      {"add after a last line without line end", "[S]\nA=1", "S", "K", "v", "[S]\nA=1\nK=v\n"},
      {"add in a CR LF file", "[S]\r\nA=1\r\n", "S", "K", "v", "[S]\r\nA=1\r\nK=v\r\n"},
      {"mixed file follows its first line end", "[S]\r\nA=1\n", "S", "K", "v",
       "[S]\r\nA=1\nK=v\r\n"},
      {"new section after a blank line", "[Source]\nInterval=600\n", "Status", "LastIP", "ip",
       "[Source]\nInterval=600\n\n[Status]\nLastIP=ip\n"},
      {"new section, file already ends blank", "[Source]\nInterval=600\n\n", "Status", "LastIP",
       "ip", "[Source]\nInterval=600\n\n[Status]\nLastIP=ip\n"},
      {"new section, no final line end", "[Source]\r\nInterval=600", "Status", "LastIP", "ip",
       "[Source]\r\nInterval=600\r\n\r\n[Status]\r\nLastIP=ip\r\n"},
      {"value cut at its first line break", "[S]\nK=1\nL=2\n", "S", "K", "a\r\nL=evil\n[X]",
       "[S]\nK=a\nL=2\n"},
      {"empty value", "[S]\nK=1\n", "S", "K", "", "[S]\nK=\n"},
      {"binary bytes around stay", "\xff\0x\n[S]\n\0\0\nK=1\x80\n\x01\x02=3\n"s, "S", "K", "2",
       "\xff\0x\n[S]\n\0\0\nK=2\n\x01\x02=3\n"s},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.Name);
    EXPECT_EQ(IniReplace(r.Content, r.Section, r.Key, r.Value), r.Expected);
  }
}

// Random files of INI-ish bytes: the reader never fails, and a written key
// always reads back with the value written.
TEST(IniWrite, RandomContentReadsBackWhatWasWritten) {
  const std::string alphabet = "[]=;# \t\r\n\"'SKsk\0\xff"s;
  std::mt19937 rng(20260101);
  std::uniform_int_distribution<size_t> pick(0, alphabet.size() - 1);
  std::uniform_int_distribution<size_t> length(0, 60);
  for (int round = 0; round < 3000; ++round) {
    std::string content;
    for (size_t n = length(rng); n > 0; --n) content += alphabet[pick(rng)];
    SCOPED_TRACE(::testing::PrintToString(content));
    const std::string written = IniReplace(content, "S", "K", "v" + std::to_string(round));
    bool found = false;
    EXPECT_EQ(IniLookup(written, "s", "k", found), "v" + std::to_string(round));
    EXPECT_TRUE(found);
    EXPECT_TRUE(IniSectionHasKeys(written, "S"));
  }
}

TEST(IniWrite, HandlesTenMegabytesAndVeryLongLines) {
  std::string content = "[Big]\n";
  const std::string longLine = "Long=" + std::string(1 << 20, 'x') + "\n";
  content += longLine;
  for (int i = 0; content.size() < (10u << 20); ++i)
    content += "Key" + std::to_string(i) + "=value " + std::to_string(i) + "\n";
  content += "[Status]\nLastIP=1.1.1.1\n";

  bool found = false;
  EXPECT_EQ(IniLookup(content, "Status", "LastIP", found), "1.1.1.1");
  EXPECT_EQ(IniLookup(content, "Big", "Long", found), std::string(2047, 'x'));
  EXPECT_EQ(IniLookup(content, "Big", "Key100000", found), "value 100000");

  const std::string written = IniReplace(content, "Status", "LastIP", "2.2.2.2");
  ASSERT_EQ(written.size(), content.size());
  EXPECT_EQ(written.compare(0, content.size() - 8, content, 0, content.size() - 8), 0);
  EXPECT_EQ(IniLookup(written, "Status", "LastIP", found), "2.2.2.2");
}

class IniFileOnDisk : public ::testing::Test {
 protected:
  TempDir dir_;
  std::string path_ = dir_.File("ZelvoSvc.ini");

  unsigned ModeOf(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(stat(path.c_str(), &st), 0);
    return st.st_mode & 07777;
  }
};

TEST_F(IniFileOnDisk, MissingFileReadsAsDefaults) {
  TIniFile ini(path_);
  EXPECT_EQ(ini.ReadText("Source", "URL", "dflt"), "dflt");
  EXPECT_EQ(ini.ReadNumber("Source", "Timeout", 15), 15);
  EXPECT_FALSE(ini.HasKey("Source", "Interval"));
  EXPECT_FALSE(ini.HasSection("Source"));
}

TEST_F(IniFileOnDisk, ReadsEveryOperation) {
  WriteFileOrDie(path_,
                 "[source]\r\ninterval=\r\nTimeout=abc\r\nCount=-2\r\nProxyPort=0x1E\r\n"
                 "URL=\"http://h/\"\r\n[Srv2]\r\n[Srv3]\r\nURL=x\r\n");
  TIniFile ini(path_);
  EXPECT_TRUE(ini.HasKey("Source", "Interval"));
  EXPECT_EQ(ini.ReadNumber("Source", "Interval", 0), 0);
  EXPECT_EQ(ini.ReadNumber("Source", "Timeout", 15), 15);
  EXPECT_EQ(ini.ReadNumber("Source", "Count", 1), -2);
  EXPECT_EQ(ini.ReadNumber("Source", "ProxyPort", 0), 30);
  EXPECT_EQ(ini.ReadText("Source", "URL", ""), "http://h/");
  EXPECT_EQ(ini.ReadText("Source", "URL1", "none"), "none");
  EXPECT_FALSE(ini.HasSection("Srv2"));
  EXPECT_TRUE(ini.HasSection("SRV3"));
}

TEST_F(IniFileOnDisk, WriteCreatesTheFileAndKeepsOtherLines) {
  TIniFile ini(path_);
  ini.WriteText("Status", "LastIP", "1.2.3.4");
  EXPECT_EQ(ReadFileOrEmpty(path_), "[Status]\nLastIP=1.2.3.4\n");
  EXPECT_EQ(ModeOf(path_), 0600u);

  const std::string before =
      "; managed by hand\r\n[Source]\r\nInterval=600\r\n\xff\0\r\n"s
      "[Srv1]\r\nURL=http://u/?ip=%s\r\n";
  WriteFileOrDie(path_, before);
  ini.WriteText("Srv1", "LastAttmpt", "2024.05.10 12:00:00");
  ini.WriteText("Srv1", "LastAttmpt", "2024.05.10 12:10:00");
  EXPECT_EQ(ReadFileOrEmpty(path_), before + "LastAttmpt=2024.05.10 12:10:00\r\n");
  EXPECT_EQ(ini.ReadText("srv1", "lastattmpt", ""), "2024.05.10 12:10:00");
}

TEST_F(IniFileOnDisk, WriteKeepsModeAndLeavesNoTemporaryFile) {
  WriteFileOrDie(path_, "[Source]\nInterval=600\n");
  ASSERT_EQ(chmod(path_.c_str(), 0640), 0);
  TIniFile ini(path_);
  ini.WriteText("Status", "LastIP", "1.2.3.4");
  EXPECT_EQ(ModeOf(path_), 0640u);
  EXPECT_EQ(ReadFileOrEmpty(path_), "[Source]\nInterval=600\n\n[Status]\nLastIP=1.2.3.4\n");
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir_.Path()))
    names.push_back(entry.path().filename().string());
  EXPECT_EQ(names, std::vector<std::string>{"ZelvoSvc.ini"});
}

TEST_F(IniFileOnDisk, WriteKeepsTheOwner) {
  if (geteuid() != 0) GTEST_SKIP() << "only root can give a file to another owner";
  WriteFileOrDie(path_, "[Source]\nInterval=600\n");
  ASSERT_EQ(chown(path_.c_str(), 4321, 4322), 0);
  TIniFile ini(path_);
  ini.WriteText("Source", "Interval", "60");
  struct stat st {};
  ASSERT_EQ(stat(path_.c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, 4321u);
  EXPECT_EQ(st.st_gid, 4322u);
  EXPECT_EQ(ini.ReadNumber("Source", "Interval", 0), 60);
}

TEST_F(IniFileOnDisk, WriteFollowsASymbolicLink) {
  const std::string target = dir_.File("real.ini");
  WriteFileOrDie(target, "[Source]\nInterval=600\n");
  ASSERT_EQ(chmod(target.c_str(), 0604), 0);
  ASSERT_EQ(symlink("real.ini", path_.c_str()), 0);
  TIniFile ini(path_);
  ini.WriteText("Source", "Interval", "300");

  struct stat st {};
  ASSERT_EQ(lstat(path_.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  EXPECT_EQ(ReadFileOrEmpty(target), "[Source]\nInterval=300\n");
  EXPECT_EQ(ModeOf(target), 0604u);
}

TEST_F(IniFileOnDisk, ReadOnlyFileFailsWithItsPathEvenForRoot) {
  const std::string before = "[Source]\nInterval=600\n";
  WriteFileOrDie(path_, before);
  ASSERT_EQ(chmod(path_.c_str(), 0444), 0);
  TIniFile ini(path_);
  try {
    ini.WriteText("Status", "LastIP", "1.2.3.4");
    FAIL() << "no exception";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "Unable to write to " + path_);
  }
  EXPECT_EQ(ReadFileOrEmpty(path_), before);
  EXPECT_EQ(ini.ReadNumber("Source", "Interval", 0), 600);
}

TEST_F(IniFileOnDisk, UnwritablePlacesFailWithThePath) {
  struct Row {
    const char* Name;
    std::string Path;
  };
  ASSERT_EQ(mkdir(dir_.File("folder.ini").c_str(), 0700), 0);
  const std::vector<Row> rows = {
      {"missing folder", dir_.File("missing/ZelvoSvc.ini")},
      {"a folder in place of the file", dir_.File("folder.ini")},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.Name);
    TIniFile ini(r.Path);
    try {
      ini.WriteText("Status", "LastIP", "1.2.3.4");
      ADD_FAILURE() << "no exception";
    } catch (const Exception& e) {
      EXPECT_EQ(e.Message(), "Unable to write to " + r.Path);
    }
  }
}

TEST_F(IniFileOnDisk, TenMegabyteFileReadAndWritten) {
  std::string content = "[Source]\nInterval=600\n[Filler]\n";
  for (int i = 0; content.size() < (10u << 20); ++i)
    content += "Key" + std::to_string(i) + "=" + std::string(100, 'f') + "\n";
  WriteFileOrDie(path_, content);
  TIniFile ini(path_);
  ini.WriteText("Status", "LastIP", "1.2.3.4");
  EXPECT_EQ(ini.ReadText("Status", "LastIP", ""), "1.2.3.4");
  EXPECT_EQ(ini.ReadNumber("Source", "Interval", 0), 600);
  EXPECT_EQ(ReadFileOrEmpty(path_), content + "\n[Status]\nLastIP=1.2.3.4\n");
}

}  // namespace
