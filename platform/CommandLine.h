// The command line as the service framework and the program entry read it:
// switches ("/" or "-" and a name in any letter case, at any position), the
// help-box rule, and the Linux options --help and --version.
#pragma once

#include <string>
#include <vector>

// True when an argument is "/" or "-" followed by `name`, letters compared
// without regard to case. `args` excludes the program name.
bool FindCmdLineSwitch(const std::vector<std::string>& args, const std::string& name);

// True when the first argument is empty (or missing) or exactly "/?".
bool FirstArgumentAsksForHelp(const std::vector<std::string>& args);

// The Linux information options; the first one given wins.
enum class TInfoOption { None, Help, Version };
// Finds "--help" or "--version" (exact) anywhere on the command line.
TInfoOption FindInfoOption(const std::vector<std::string>& args);
