// libFuzzer target for the address extraction on outside input (the page a
// router or echo site sends): the outcome agrees with the run found, a taken
// address is always one that inet_pton accepts. Build from the source root with:
//   clang++ -std=c++20 -g -O1 -I. -fsanitize=fuzzer,address,undefined
//   tests/fuzz/AddressFuzz.cpp source/AddressExtract.cpp -o AddressFuzz
#include <arpa/inet.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "source/AddressExtract.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

bool InetPtonAccepts(const std::string& text) {
  in_addr out{};
  return inet_pton(AF_INET, text.c_str(), &out) == 1;
}

}  // namespace

// Input: one byte of Count (as a signed value), the prefix up to the first
// NUL, then the page.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const int32_t count = static_cast<int8_t>(data[0]);
  const std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
  const size_t nul = rest.find('\0');
  const std::string_view prefix = rest.substr(0, nul);
  const std::string_view page = nul == std::string_view::npos ? "" : rest.substr(nul + 1);

  const TExtractResult r = ExtractAddress(page, prefix, count);
  Check(r.Run.find_first_not_of(kAddressChars) == std::string::npos);
  switch (r.Outcome) {
    case TExtractOutcome::Address:
      Check(InetPtonAccepts(r.Address));
      Check(r.Run == r.Address || r.Run == r.Address + ".");
      break;
    case TExtractOutcome::Invalid:
      Check(!r.Run.empty() && r.Address.empty());
      Check(!InetPtonAccepts(std::string(WithoutFinalDot(r.Run))));
      break;
    case TExtractOutcome::Empty:
    case TExtractOutcome::PrefixNotFound:
      Check(r.Run.empty() && r.Address.empty());
      break;
  }
  const std::string text(page);
  if (text.find('\0') == std::string::npos)  // inet_pton stops at a NUL
    Check(IsDottedDecimalIPv4(text) == InetPtonAccepts(text));
  return 0;
}
