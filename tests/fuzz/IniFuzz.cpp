// libFuzzer target for the parsers of outside input in config/: the INI line
// parser and writer, the INI integer and the stored time stamp. Build from
// the source root with: clang++ -std=c++20 -g -O1 -I.
//   -fsanitize=fuzzer,address,undefined tests/fuzz/IniFuzz.cpp
//   config/IniFile.cpp config/TimeStamp.cpp platform/Files.cpp -o IniFuzz
#include <cstdint>
#include <cstdlib>
#include <string>

#include "config/IniFile.h"
#include "config/TimeStamp.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  bool found = false;
  const std::string value = IniLookup(input, "Source", "Interval", found);
  Check(value.size() <= 2047);
  IniSectionHasKeys(input, "Srv1");
  StrToIntDef(input, 0);
  double stamp = 0;
  DecodeTimeStamp(input, stamp);

  // Whatever the file holds, a written key reads back with its value.
  const std::string written = IniReplace(input, "Status", "LastIP", "10.0.0.1");
  Check(IniLookup(written, "status", "lastip", found) == "10.0.0.1" && found);
  Check(IniSectionHasKeys(written, "Status"));
  return 0;
}
