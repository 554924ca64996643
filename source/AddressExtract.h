// Cutting the public address out of the last source answer: the prefix search
// with its occurrence count, the run of address characters that follows, and
// the check that the run is a dotted-decimal IPv4 address.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Longest text kept after each prefix occurrence found.
constexpr size_t kMaxTextAfterPrefix = 99999;

// The characters an address run is made of.
constexpr std::string_view kAddressChars = "1234567890.";

// Finds the `count`-th occurrence of `prefix` in `text`, each search starting
// behind the previous one; after each, the rest is cut to kMaxTextAfterPrefix
// characters and stripped of leading characters below code 33. An empty
// prefix or a count below 1 leaves `text` as it is. False when an occurrence
// is missing (`rest` is then undefined).
bool TextAfterPrefix(std::string_view text, std::string_view prefix, int32_t count,
                     std::string_view& rest);

// The longest run of characters from kAddressChars at the start of `text`.
std::string_view LeadingAddressRun(std::string_view text);

// `run` without one final dot (the full stop of a sentence), if it has one.
std::string_view WithoutFinalDot(std::string_view run);

// True when `text` is an IPv4 address as inet_pton(AF_INET) accepts it: four
// decimal numbers from 0 to 255 joined by dots, no leading zeros, nothing else.
bool IsDottedDecimalIPv4(std::string_view text);

// What the extraction found.
enum class TExtractOutcome {
  Address,         // a valid address in Address
  PrefixNotFound,  // an occurrence of the prefix is missing
  Empty,           // no address characters where the address should stand
  Invalid,         // a run (in Run) that is no IPv4 address
};

struct TExtractResult {
  TExtractOutcome Outcome = TExtractOutcome::Empty;
  std::string Run;      // the run of address characters as found on the page
  std::string Address;  // the run without a final dot, when it is valid
};

// The whole extraction on a text whose line breaks are already removed.
TExtractResult ExtractAddress(std::string_view text, std::string_view prefix, int32_t count);
