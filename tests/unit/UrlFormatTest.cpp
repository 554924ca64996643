// Expansion of the update URL: every specifier form the "URL" setting may hold,
// and the two errors that end the service.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "platform/Exception.h"
#include "update/UrlFormat.h"

namespace {

struct UrlCase {
  const char* Format;
  const char* Expected;  // the expansion, or the error message when Throws
  bool Throws;
};

TEST(UrlFormat, ExpandsOrRejectsEachSpecifierForm) {
  const std::string ip = "203.0.113.7";
  const std::vector<UrlCase> cases = {
      {"http://h/nic/update?myip=%s", "http://h/nic/update?myip=203.0.113.7", false},
      {"%0:s/%0:s", "203.0.113.7/203.0.113.7", false},
      {"%s-%0:s", "203.0.113.7-203.0.113.7", false},
      {"%0:0:s", "203.0.113.7", false},
      {"[%-20s]", "[203.0.113.7         ]", false},
      {"[%20s]", "[         203.0.113.7]", false},
      {"[%5s]", "[203.0.113.7]", false},
      {"[%.3s]", "[203]", false},
      {"[%.s]", "[]", false},
      {"[%-6.3s]", "[203   ]", false},
      {"[%0:-14s]", "[203.0.113.7   ]", false},
      {"[%S]", "[203.0.113.7]", false},
      {"a%%20b", "a%20b", false},
      {"100%%", "100%", false},
      {"ip=%s&x=%", "ip=203.0.113.7&x=", false},
      {"ip=%s&x=%-12", "ip=203.0.113.7&x=", false},
      {"http://h/update", "http://h/update", false},
      {"", "", false},
      {"%s%s", "No argument for format '%s'", true},
      {"%0:s&%-8s", "No argument for format '%-8s'", true},
      {"%1:s", "No argument for format '%1:s'", true},
      {"%s%d", "No argument for format '%d'", true},
      {"id=%d", "Format '%d' invalid or incompatible with argument", true},
      {"host=a%3Ab&ip=%s", "Format '%3A' invalid or incompatible with argument", true},
      {"%x", "Format '%x' invalid or incompatible with argument", true},
      {"%*s", "Format '%*s' invalid or incompatible with argument", true},
      {"%--5s", "Format '%--' invalid or incompatible with argument", true},
      {"%5000s", "Format '%5000s' invalid or incompatible with argument", true},
      {"%0:0:0:0:0:0:0:0:0:0:0:0:0:0:0:0:d",
       "Format '%0:0:0:0:0:0:0:0:0:0:0:0:0:0:0:' invalid or incompatible with argument", true},
  };
  for (const UrlCase& c : cases) {
    SCOPED_TRACE(c.Format);
    if (!c.Throws) {
      EXPECT_EQ(ExpandUrl(c.Format, ip), c.Expected);
      continue;
    }
    try {
      ExpandUrl(c.Format, ip);
      ADD_FAILURE() << "no error";
    } catch (const Exception& e) {
      EXPECT_EQ(e.Message(), c.Expected);
    }
  }
}

TEST(UrlFormat, WidthUpToTheLimitIsAccepted) {
  const std::string url = ExpandUrl("%4096s", "1.2.3.4");
  EXPECT_EQ(url.size(), 4096u);
  EXPECT_EQ(url.substr(4089), "1.2.3.4");
}

TEST(UrlFormat, ArbitraryFormatsExpandOrRaiseTheFormatError) {
  // Deterministic random texts over the characters a specifier is made of.
  const std::string alphabet = "%%%s0123456789:-.*dA/x";
  std::mt19937 rng(20240510);
  std::uniform_int_distribution<size_t> pick(0, alphabet.size() - 1);
  std::uniform_int_distribution<size_t> length(0, 24);
  for (int i = 0; i < 20000; ++i) {
    std::string format;
    for (size_t n = length(rng); n > 0; --n) format += alphabet[pick(rng)];
    try {
      const std::string url = ExpandUrl(format, "1.2.3.4");
      EXPECT_LE(url.size(), format.size() * (kMaxUrlFormatWidth + 7)) << format;
    } catch (const Exception& e) {
      const std::string m = e.Message();
      const bool known = m.starts_with("No argument for format '") ||
                         m.ends_with("' invalid or incompatible with argument");
      EXPECT_TRUE(known) << format << " -> " << m;
    }
  }
}

}  // namespace
