// The address extraction on realistic pages and the retry rule of the source
// chain, as pure functions; the IPv4 check is cross-checked with inet_pton.
#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "source/AddressExtract.h"
#include "source/RetryRule.h"

namespace {

using O = TExtractOutcome;

TEST(AddressExtract, CutsTheAddressOutOfRealisticPages) {
  struct Row {
    const char* Name;
    std::string Text;  // line breaks already removed, as httpSrcSuccess passes it
    std::string Prefix;
    int32_t Count;
    O Outcome;
    std::string Run;
    std::string Address;
  };
  const std::string longGap(kMaxTextAfterPrefix, 'x');
  const std::vector<Row> rows = {
      {"plain address", "203.0.113.7", "", 1, O::Address, "203.0.113.7", "203.0.113.7"},
      {"plain address, markup after", "203.0.113.7</p>", "", 1, O::Address, "203.0.113.7",
       "203.0.113.7"},
      {"echo page", "<html><body>Current IP Address: 198.51.100.23</body></html>",
       "Current IP Address: ", 1, O::Address, "198.51.100.23", "198.51.100.23"},
      {"router page, address on the next line after blanks",
       "<tr><td>WAN IP:</td><td>"
       "        192.0.2.200</td></tr>",
       "WAN IP:</td><td>", 1, O::Address, "192.0.2.200", "192.0.2.200"},
      {"router page, prefix ends the line", "<b>WAN IP:</b>        \t192.0.2.200 (DHCP)",
       "WAN IP:</b>", 1, O::Address, "192.0.2.200", "192.0.2.200"},
      {"count 2 takes the second occurrence", "LAN IP: 10.0.0.1 WAN IP: 100.64.1.2", "IP:", 2,
       O::Address, "100.64.1.2", "100.64.1.2"},
      {"count 2 with one occurrence", "LAN IP: 10.0.0.1", "IP:", 2, O::PrefixNotFound, "", ""},
      {"count 2, second occurrence beyond the cut", "IP: 1.1.1.1 " + longGap + "IP: 2.2.2.2",
       "IP:", 2, O::PrefixNotFound, "", ""},
      {"count 2, second occurrence inside the cut",
       "IP:" + std::string(kMaxTextAfterPrefix - 20, 'x') + "IP:2.2.2.2", "IP:", 2, O::Address,
       "2.2.2.2", "2.2.2.2"},
      {"prefix missing", "<html>offline</html>", "Current IP Address: ", 1, O::PrefixNotFound, "",
       ""},
      {"prefix in other letter case", "CURRENT IP ADDRESS: 1.2.3.4", "Current IP Address: ", 1,
       O::PrefixNotFound, "", ""},
      {"empty prefix, body starts with a blank", " 1.2.3.4", "", 1, O::Empty, "", ""},
      {"count 0 acts like an empty prefix", "IP: 1.2.3.4", "IP:", 0, O::Empty, "", ""},
      {"negative count acts like an empty prefix", "5.6.7.8 IP: 1.2.3.4", "IP:", -3, O::Address,
       "5.6.7.8", "5.6.7.8"},
      {"prefix followed by no address", "IP: unknown", "IP:", 1, O::Empty, "", ""},
      {"empty body", "", "", 1, O::Empty, "", ""},
      {"all-zero address", "IP: 0.0.0.0", "IP:", 1, O::Address, "0.0.0.0", "0.0.0.0"},
      {"end of a sentence", "Your address is 1.2.3.4.", "is", 1, O::Address, "1.2.3.4.", "1.2.3.4"},
      {"two dots at the end", "IP: 1.2.3.4..", "IP:", 1, O::Invalid, "1.2.3.4..", ""},
      {"too few numbers", "IP: 1.2 now", "IP:", 1, O::Invalid, "1.2", ""},
      {"number above 255", "IP: 999.1.1.1", "IP:", 1, O::Invalid, "999.1.1.1", ""},
      {"number above 255, trailing dot", "IP: 999.1.1.1.", "IP:", 1, O::Invalid, "999.1.1.1.", ""},
      {"leading zero", "IP: 01.2.3.4", "IP:", 1, O::Invalid, "01.2.3.4", ""},
      {"lone dot", "IP: .", "IP:", 1, O::Invalid, ".", ""},
      {"five numbers", "IP: 1.2.3.4.5", "IP:", 1, O::Invalid, "1.2.3.4.5", ""},
      {"control characters before the address", "IP:\x01\x1f \t10.1.2.3", "IP:", 1, O::Address,
       "10.1.2.3", "10.1.2.3"},
      {"byte above 127 is not skipped", "IP:\xa0 10.1.2.3", "IP:", 1, O::Empty, "", ""},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.Name);
    const TExtractResult got = ExtractAddress(r.Text, r.Prefix, r.Count);
    EXPECT_EQ(got.Outcome, r.Outcome);
    EXPECT_EQ(got.Run, r.Run);
    EXPECT_EQ(got.Address, r.Address);
  }
}

TEST(AddressExtract, PrefixSearchCutsAndTrimsAfterEachOccurrence) {
  struct Row {
    const char* Name;
    std::string Text;
    std::string Prefix;
    int32_t Count;
    bool Found;
    std::string Rest;
  };
  const std::string big = "P" + std::string(kMaxTextAfterPrefix + 10, '7');
  const std::vector<Row> rows = {
      {"blanks after the prefix removed", "P:  \t x", "P:", 1, true, "x"},
      {"next search starts behind the previous one", "aPaPbPc", "P", 2, true,
       "b"
       "Pc"},
      {"occurrences may not overlap", "PPP", "PP", 2, false, ""},
      {"rest cut to 99999 characters", big, "P", 1, true, std::string(kMaxTextAfterPrefix, '7')},
      {"prefix at the very end", "abcP", "P", 1, true, ""},
      {"empty prefix leaves leading blanks", "  x", "", 5, true, "  x"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.Name);
    std::string_view rest;
    EXPECT_EQ(TextAfterPrefix(r.Text, r.Prefix, r.Count, rest), r.Found);
    if (r.Found) {
      EXPECT_EQ(rest, r.Rest);
    }
  }
}

TEST(AddressExtract, IPv4CheckMatchesInetPton) {
  const std::vector<std::string> cases = {"1.2.3.4",
                                          "0.0.0.0",
                                          "255.255.255.255",
                                          "256.1.1.1",
                                          "1.2.3",
                                          "1.2.3.4.",
                                          "1.2.3.4.5",
                                          "01.2.3.4",
                                          "1.02.3.4",
                                          "1.2.3.00",
                                          "1..3.4",
                                          ".1.2.3",
                                          "",
                                          ".",
                                          "1234.1.1.1",
                                          "1.2.3.0004",
                                          "10.0.0.255",
                                          "100.200.250.199",
                                          "300.300.300",
                                          "1.2.3.4 ",
                                          "1.2.3.-4",
                                          "a.b.c.d",
                                          "0.0.0.00",
                                          "9.99.199.249"};
  for (const std::string& text : cases) {
    SCOPED_TRACE(text);
    in_addr out{};
    const bool expected = inet_pton(AF_INET, text.c_str(), &out) == 1;
    EXPECT_EQ(IsDottedDecimalIPv4(text), expected);
  }
}

TEST(RetryRule, RetriesTheFourSocketErrorsUpToSixAttempts) {
  struct Row {
    std::string Message;
    int FailedAttempts;
    bool Retry;
  };
  const std::vector<Row> rows = {
      {"10053: Software caused connection abort", 1, true},
      {"10053: Software caused connection abort", 5, true},
      {"10053: Software caused connection abort", 6, false},
      {"10004: Interrupted function call", 1, true},
      {"10038: Socket operation on nonsocket", 3, true},
      {"10058: Cannot send after socket shutdown", 2, true},
      {"10054: Connection reset by peer", 1, false},
      {"10060: Connection timed out", 1, false},
      {"10061: Connection refused", 1, false},
      {"Null Remote Address", 1, false},
      {"Socket capture aborted", 1, false},
      {"", 1, true},         // needle "/" alone occurs in the list
      {"1005", 1, false},    // "1005/" is not in the list
      {"0058", 1, true},     // "0058/" occurs inside "10058/"
      {"10004", 1, true},    // the whole message is the number
      {"10004/x", 1, true},  // first five characters only
      {"4/100", 1, false},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.Message + " after " + std::to_string(r.FailedAttempts));
    EXPECT_EQ(ShouldRetrySource(r.Message, r.FailedAttempts), r.Retry);
  }
}

TEST(RetryRule, ProceedsOnlyWithACutOffTextBodyThatHoldsData) {
  struct Row {
    std::string Message;
    std::string Body;
    bool Proceed;
  };
  const std::vector<Row> rows = {
      {"Socket capture aborted", "IP: 1.2", true},
      {"Socket capture aborted", "", false},
      {"Socket send aborted", "IP: 1.2", false},
      {"socket capture aborted", "IP: 1.2", false},
      {"Socket capture aborted ", "IP: 1.2", false},
      {"10054: Connection reset by peer", "IP: 1.2", false},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.Message + " / " + r.Body);
    EXPECT_EQ(ProceedsWithPartialBody(r.Message, r.Body), r.Proceed);
  }
}

}  // namespace
