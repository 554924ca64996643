// The pure side of the address extraction: prefix search, address run and
// IPv4 check work on text only, so that tables of pages test them directly.
#include "source/AddressExtract.h"

namespace {

// Blanks, tabs and the other control characters (codes 0 to 32).
bool IsBlankOrControl(char c) { return static_cast<unsigned char>(c) < 33; }

std::string_view TrimLeadingBlanks(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && IsBlankOrControl(text[i])) ++i;
  return text.substr(i);
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// One number of a dotted-decimal address: 1 to 3 digits, no leading zero, at
// most 255.
bool IsOctet(std::string_view part) {
  if (part.empty() || part.size() > 3) return false;
  if (part.size() > 1 && part[0] == '0') return false;
  int value = 0;
  for (char c : part) {
    if (!IsDigit(c)) return false;
    value = value * 10 + (c - '0');
  }
  return value <= 255;
}

}  // namespace

bool TextAfterPrefix(std::string_view text, std::string_view prefix, int32_t count,
                     std::string_view& rest) {
  rest = text;
  if (prefix.empty()) return true;
  for (int32_t i = 1; i <= count; ++i) {
    const size_t at = rest.find(prefix);
    if (at == std::string_view::npos) return false;
    rest = TrimLeadingBlanks(rest.substr(at + prefix.size(), kMaxTextAfterPrefix));
  }
  return true;
}

std::string_view LeadingAddressRun(std::string_view text) {
  const size_t end = text.find_first_not_of(kAddressChars);
  return text.substr(0, end);
}

std::string_view WithoutFinalDot(std::string_view run) {
  if (!run.empty() && run.back() == '.') run.remove_suffix(1);
  return run;
}

bool IsDottedDecimalIPv4(std::string_view text) {
  int parts = 0;
  for (;;) {
    const size_t dot = text.find('.');
    if (!IsOctet(text.substr(0, dot))) return false;
    ++parts;
    if (dot == std::string_view::npos) return parts == 4;
    if (parts == 4) return false;
    text.remove_prefix(dot + 1);
  }
}

TExtractResult ExtractAddress(std::string_view text, std::string_view prefix, int32_t count) {
  TExtractResult result;
  std::string_view rest;
  if (!TextAfterPrefix(text, prefix, count, rest)) {
    result.Outcome = TExtractOutcome::PrefixNotFound;
    return result;
  }
  const std::string_view run = LeadingAddressRun(rest);
  result.Run = std::string(run);
  const std::string_view address = WithoutFinalDot(run);
  if (run.empty()) {
    result.Outcome = TExtractOutcome::Empty;
  } else if (IsDottedDecimalIPv4(address)) {
    result.Outcome = TExtractOutcome::Address;
    result.Address = std::string(address);
  } else {
    result.Outcome = TExtractOutcome::Invalid;
  }
  return result;
}
