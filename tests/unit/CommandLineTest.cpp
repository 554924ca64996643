// Switches, the help-box rule and the Linux information options.
#include "platform/CommandLine.h"

#include <gtest/gtest.h>

using Args = std::vector<std::string>;

TEST(CommandLine, FindsSwitchesAfterSlashOrDashInAnyCaseAndPosition) {
  struct Row {
    Args args;
    std::string name;
    bool found;
  };
  const std::vector<Row> rows = {
      {{"/INSTALL"}, "INSTALL", true},
      {{"-install"}, "INSTALL", true},
      {{"x", "y", "/InStAlL"}, "INSTALL", true},
      {{"--install"}, "INSTALL", false},  // the rest must equal the name
      {{"INSTALL"}, "INSTALL", false},
      {{"/INSTALLX"}, "INSTALL", false},
      {{"/INSTAL"}, "INSTALL", false},
      {{"/"}, "INSTALL", false},
      {{""}, "INSTALL", false},
      {{}, "INSTALL", false},
      {{"/run"}, "RUN", true},
      {{"-Silent", "/uninstall"}, "SILENT", true},
      {{"-Silent", "/uninstall"}, "UNINSTALL", true},
      {{"\\INSTALL"}, "INSTALL", false},
  };
  for (const auto& row : rows) {
    std::string joined;
    for (const auto& a : row.args) joined += "[" + a + "]";
    EXPECT_EQ(FindCmdLineSwitch(row.args, row.name), row.found) << joined << " " << row.name;
  }
}

TEST(CommandLine, HelpBoxOnlyForNoEmptyOrSlashQuestionMarkFirstArgument) {
  struct Row {
    Args args;
    bool help;
  };
  const std::vector<Row> rows = {
      {{}, true},        {{""}, true},     {{"/?"}, true}, {{"/?", "/install"}, true},
      {{"-?"}, false},   {{"/? "}, false}, {{"?"}, false}, {{"x", "/?"}, false},
      {{"/RUN"}, false}, {{"/h"}, false},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(FirstArgumentAsksForHelp(row.args), row.help)
        << (row.args.empty() ? "(none)" : row.args[0]);
  }
}

TEST(CommandLine, InformationOptionsAreExactAndTheFirstWins) {
  struct Row {
    Args args;
    TInfoOption option;
  };
  const std::vector<Row> rows = {
      {{"--help"}, TInfoOption::Help},
      {{"--version"}, TInfoOption::Version},
      {{"/RUN", "--version"}, TInfoOption::Version},
      {{"--version", "--help"}, TInfoOption::Version},
      {{"--HELP"}, TInfoOption::None},
      {{"-help"}, TInfoOption::None},
      {{"--help=x"}, TInfoOption::None},
      {{}, TInfoOption::None},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(FindInfoOption(row.args), row.option) << (row.args.empty() ? "" : row.args[0]);
  }
}
