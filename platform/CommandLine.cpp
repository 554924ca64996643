// Reading the command line: switches, the help-box rule and the information
// options. Pure functions over the argument list.
#include "platform/CommandLine.h"

namespace {

char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool SameTextIgnoringCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (Upper(a[i]) != Upper(b[i])) return false;
  }
  return true;
}

}  // namespace

bool FindCmdLineSwitch(const std::vector<std::string>& args, const std::string& name) {
  for (const auto& arg : args) {
    if (arg.empty() || (arg[0] != '/' && arg[0] != '-')) continue;
    if (SameTextIgnoringCase(arg.substr(1), name)) return true;
  }
  return false;
}

bool FirstArgumentAsksForHelp(const std::vector<std::string>& args) {
  return args.empty() || args[0].empty() || args[0] == "/?";
}

TInfoOption FindInfoOption(const std::vector<std::string>& args) {
  for (const auto& arg : args) {
    if (arg == "--help") return TInfoOption::Help;
    if (arg == "--version") return TInfoOption::Version;
  }
  return TInfoOption::None;
}
