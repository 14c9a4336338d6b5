// Text tests, tokens, address and file-name checks, number texts.
#include "common/Utility.h"

#include <gtest/gtest.h>
#include <strings.h>

#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace {

// ---- StrFormat / TrimStr / IsStrEmpty ---------------------------------------------

TEST(StrFormat, KeepsPrintfPatternsAndNeverCuts) {
  const char* empty = "";
  const std::string long_text(10000, 'x');
  const std::pair<std::string, std::string> cases[] = {
      {StrFormat("%02X", 10), "0A"},
      {StrFormat("[Error Code: %d] %s.", -1027, "x"), "[Error Code: -1027] x."},
      {StrFormat("%s", empty), ""},
      {StrFormat("<%s>", long_text.c_str()), "<" + long_text + ">"},
  };
  for (const auto& [formatted, expected] : cases) EXPECT_EQ(formatted, expected);
}

TEST(TrimStr, RemovesBlanksTabsAndLineEndsAtBothEnds) {
  const std::pair<const char*, const char*> cases[] = {
      {" \t\r\n a b \n\r\t ", "a b"},
      {" \t\r\n", ""},
      {"", ""},
      {"\va\v", "\va\v"},  // only blank, tab, CR, LF are trimmed
  };
  for (const auto& [text, expected] : cases) EXPECT_EQ(TrimStr(text), expected) << "\"" << text << "\"";
}

TEST(SplitTrimmed, GivesEveryFieldTrimmedEmptyOnesIncluded) {
  const std::pair<const char*, std::vector<std::string>> cases[] = {
      {" 9600, 8 ,NOPARITY,1 ", {"9600", "8", "NOPARITY", "1"}},
      {"a,,b,", {"a", "", "b", ""}},
      {"", {""}},
      {"single", {"single"}},
  };
  for (const auto& [text, expected] : cases) EXPECT_EQ(SplitTrimmed(text, ','), expected) << "\"" << text << "\"";
}

TEST(IsStrEmpty, TrimsOnlyWithFlagOne) {
  struct Case {
    const char* text;
    int trim;
    int expected;
  };
  const Case cases[] = {{"", 0, 1},  {"", 1, 1},  {"  ", 0, 0}, {" \t\r\n", 1, 1},
                        {"  ", 2, 0}, {" x ", 1, 0}};
  for (const Case& c : cases)
    EXPECT_EQ(IsStrEmpty(c.text, c.trim), c.expected) << "\"" << c.text << "\" flag " << c.trim;
}

// ---- GetCharCount / GetToken ------------------------------------------------------

TEST(GetCharCount, CountsFieldsNotSeparators) {
  const std::pair<const char*, int> cases[] = {{"", 0}, {"abc", 1}, {"a.b.c", 3}, {"...", 4}, {".", 2}};
  for (const auto& [text, fields] : cases) EXPECT_EQ(GetCharCount(text, '.'), fields) << "\"" << text << "\"";
}

struct TokenCase {
  const char* text;
  int16_t index;
  char separator;
  int trim;
  const char* expected;
};

class GetTokenTable : public ::testing::TestWithParam<TokenCase> {};

TEST_P(GetTokenTable, GivesTheField) {
  const TokenCase& c = GetParam();
  EXPECT_EQ(GetToken(c.text, c.index, c.separator, c.trim), c.expected)
      << "text \"" << c.text << "\" index " << c.index;
}

INSTANTIATE_TEST_SUITE_P(
    Fields, GetTokenTable,
    ::testing::Values(
        // index 0, the fields, one past the last field, beyond
        TokenCase{"a.b", 0, '.', 0, ""}, TokenCase{"a.b", 1, '.', 0, "a"}, TokenCase{"a.b", 2, '.', 0, "b"},
        TokenCase{"a.b", 3, '.', 0, ""}, TokenCase{"a.b", 4, '.', 0, "."}, TokenCase{"a.b", 100, '.', 0, "."},
        TokenCase{"abc", 1, '.', 0, "abc"}, TokenCase{"abc", 2, '.', 0, ""}, TokenCase{"abc", 3, '.', 0, "."},
        // empty fields between adjacent separators and at the ends
        TokenCase{"a..b", 2, '.', 0, ""}, TokenCase{"a..b", 3, '.', 0, "b"}, TokenCase{".a", 1, '.', 0, ""},
        TokenCase{".a", 2, '.', 0, "a"}, TokenCase{"a.", 2, '.', 0, ""}, TokenCase{"a.", 3, '.', 0, ""},
        TokenCase{"a.", 4, '.', 0, "."},
        // the empty text has one empty field
        TokenCase{"", 1, '.', 0, ""}, TokenCase{"", 2, '.', 0, ""}, TokenCase{"", 3, '.', 0, "."},
        // trimming only with the flag
        TokenCase{" a . b ", 1, '.', 1, "a"}, TokenCase{" a . b ", 1, '.', 0, " a "},
        TokenCase{" a . b ", 2, '.', 1, "b"}, TokenCase{"x,\t y \r\n,z", 2, ',', 1, "y"},
        // other separators
        TokenCase{"9600, 8, NOPARITY, 1", 3, ',', 1, "NOPARITY"}, TokenCase{"C:/a/b", 1, '/', 0, "C:"},
        TokenCase{"C:/a/b", 3, '/', 0, "b"}));

// ---- IsValidIpAddr ---------------------------------------------------------------------

struct IpCase {
  const char* text;
  int expected;
};

class IpTable : public ::testing::TestWithParam<IpCase> {};

TEST_P(IpTable, Checks) { EXPECT_EQ(IsValidIpAddr(GetParam().text), GetParam().expected) << GetParam().text; }

INSTANTIATE_TEST_SUITE_P(
    Addresses, IpTable,
    ::testing::Values(IpCase{"192.168.0.1", 1}, IpCase{"001.002.003.004", 1}, IpCase{"1.0.0.0", 1},
                      IpCase{"223.255.255.255", 1}, IpCase{" 10.0.0.1 \t", 1}, IpCase{"224.0.0.1", 0},
                      IpCase{"255.255.255.255", 0}, IpCase{"0.1.2.3", 0}, IpCase{"0.0.0.0", 0},
                      IpCase{"1.2.3", 0}, IpCase{"1.2.3.4.5", 0}, IpCase{"1..2.3", 0}, IpCase{".1.2.3", 0},
                      IpCase{"1.2.3.", 0}, IpCase{".1.2.3.4", 0}, IpCase{"1.2.3.4.", 0}, IpCase{"1.2.3.0256", 0},
                      IpCase{"0256.1.2.3", 0}, IpCase{"1.2.3.256", 0}, IpCase{"1.256.3.4", 0},
                      IpCase{"1.2.3.-4", 0}, IpCase{"1.2.3.4a", 0}, IpCase{"1.2. 3.4", 0}, IpCase{"", 0},
                      IpCase{"   ", 0}, IpCase{"....", 0}, IpCase{"a.b.c.d", 0}));

TEST(NormalizeIpAddr, BlanksAndLeadingZerosGo) {
  const std::pair<const char*, const char*> cases[] = {
      {"127.0.0.1", "127.0.0.1"},         {" 127.0.0.1 ", "127.0.0.1"}, {"127.0.0.010", "127.0.0.10"},
      {"\t001.002.003.000\r\n", "1.2.3.0"}, {"10.000.0.1", "10.0.0.1"},  {"1.2.3.0256", ""},
      {"1.2. 3.4", ""},                   {"", ""},                     {"0.0.0.0", ""}};
  for (const auto& [text, expected] : cases) EXPECT_EQ(NormalizeIpAddr(text), expected) << text;
}

// ---- IsValidFileName -------------------------------------------------------------------

// Reserved characters are refused always, the separator only with flag 1.
TEST(IsValidFileName, Table) {
  struct Case {
    std::string name;
    int separatorFlag;
    int expected;
  };
  std::vector<Case> cases = {
      {"a/b", 0, 1},           {"a/b", 1, 0}, {"a/b", 2, 1}, {"", 1, 1}, {"Project 1.ptp", 1, 1},
      {std::string("a\0b", 3), 1, 1},  // an embedded NUL is not a reserved character
  };
  for (const char* bad : {"a\\b", "a:b", "a*b", "a?b", "a\"b", "a<b", "a>b", "a|b"})
    for (int flag : {0, 1}) cases.push_back({bad, flag, 0});
  for (const Case& c : cases)
    EXPECT_EQ(IsValidFileName(c.name, c.separatorFlag), c.expected) << c.name << " flag " << c.separatorFlag;
}

// ---- BoolToStr / StrToBool / CompareNoCase ------------------------------------------------

TEST(BoolText, OnlyOneIsTrueAndOnlyTrueTextIsOne) {
  const std::pair<int, const char*> toText[] = {{1, "True"}, {0, "False"}, {2, "False"}, {-1, "False"}};
  for (const auto& [value, text] : toText) EXPECT_EQ(BoolToStr(value), text) << value;
  const std::pair<const char*, int> fromText[] = {{"true", 1},  {" TRUE \r\n", 1}, {"True", 1}, {"true1", 0},
                                                  {"1", 0},     {"yes", 0},         {"", 0}};
  for (const auto& [text, value] : fromText) EXPECT_EQ(StrToBool(text), value) << "\"" << text << "\"";
}

TEST(CompareNoCase, IgnoresLetterCaseOnly) {
  const std::tuple<const char*, const char*, bool> cases[] = {
      {"listNA.xml", "LISTna.XML", true}, {"a", "b", false}, {"a", "a ", false}};
  for (const auto& [a, b, equal] : cases) EXPECT_EQ(CompareNoCase(a, b) == 0, equal) << a << " / " << b;
}

// Callers sort and search with it: the order is the C library's.
TEST(CompareNoCase, OrdersAsTheCLibraryDoes) {
  const char* const texts[] = {"", "a", "A", "ab", "aB", "b", "Node", "node", "NODE ", "Comment", "Communication",
                               "[x]", "_y", "\xED\x95\x9C", "z\xC3\xA9", "Z\xC3\xA9"};
  auto sign = [](int v) { return (v > 0) - (v < 0); };
  for (const char* a : texts) {
    for (const char* b : texts) {
      const int expected = sign(::strcasecmp(a, b));
      EXPECT_EQ(sign(CompareNoCase(std::string(a), std::string(b))), expected) << a << " / " << b;
      EXPECT_EQ(sign(CompareNoCase(std::string(a), b)), expected) << a << " / " << b;
    }
  }
  // Like the C library, a text ends at its first NUL.
  EXPECT_EQ(CompareNoCase(std::string("ab\0c", 4), "AB"), 0);
}

// ---- IsNumberStr / IsFloatStr / IsIntStrInRange --------------------------------------------

struct NumberCase {
  const char* text;
  int dotFlag;
  unsigned maxDots;
  int expected;
};

class NumberTable : public ::testing::TestWithParam<NumberCase> {};

TEST_P(NumberTable, Checks) {
  const NumberCase& c = GetParam();
  EXPECT_EQ(IsNumberStr(c.text, c.dotFlag, c.maxDots), c.expected)
      << "\"" << c.text << "\" dots " << c.dotFlag << "/" << c.maxDots;
}

INSTANTIATE_TEST_SUITE_P(
    Texts, NumberTable,
    ::testing::Values(NumberCase{"0", 0, 0, 1}, NumberCase{"123", 0, 0, 1}, NumberCase{"-123", 0, 0, 1},
                      NumberCase{"007", 0, 0, 1}, NumberCase{"", 0, 0, 0}, NumberCase{"   ", 0, 0, 0},
                      // a sign alone, or dots alone, carry no digit
                      NumberCase{"-", 0, 0, 0}, NumberCase{"-", 1, 3, 0}, NumberCase{".", 1, 1, 0},
                      NumberCase{"-.", 1, 1, 0}, NumberCase{"1-", 0, 0, 0}, NumberCase{"--1", 0, 0, 0},
                      NumberCase{"+1", 0, 0, 0}, NumberCase{" 1", 0, 0, 0}, NumberCase{"1 ", 0, 0, 0},
                      NumberCase{"1a", 0, 0, 0}, NumberCase{"0x10", 0, 0, 0},
                      // dots only with the flag, at most the maximum
                      NumberCase{"1.5", 0, 5, 0}, NumberCase{"1.5", 1, 1, 1}, NumberCase{"1.5", 1, 0, 0},
                      NumberCase{"1.2.3", 1, 2, 1}, NumberCase{"1.2.3", 1, 1, 0}, NumberCase{"-.5", 1, 1, 1},
                      NumberCase{"1.", 1, 1, 1},
                      // long digit runs are still digit texts
                      NumberCase{"123456789012345678901234567890", 0, 0, 1}));

TEST(IsFloatStr, AcceptsDecimalTextsOnly) {
  struct Case {
    const char* text;
    int expected;
  };
  const std::vector<Case> cases = {
      {"1.5", 1},  {"-1.5", 1}, {"0", 1},   {"-.5", 1},  {"1.", 1},    {".5", 1},    {"", 0},
      {" ", 0},    {"-", 0},    {".", 0},   {"-.", 0},   {"1.2.3", 0}, {"1e5", 1},   {"nan", 0},
      // an exponent as the conversion of a typed value reads it
      {"1e2", 1},  {"-2.5E-3", 1}, {"1e+5", 1}, {".5e1", 1}, {"1e", 0}, {"e5", 0}, {"1e5.0", 0},
      {"1e-", 0},  {"1e 5", 0},
      {"inf", 0},  {" 1.5", 0}, {"1.5 ", 0}, {"1-", 0},  {"--1", 0},   {"0x1A", 0},  {"1,5", 0},
  };
  for (const auto& c : cases) EXPECT_EQ(IsFloatStr(c.text), c.expected) << "\"" << c.text << "\"";
  // beyond the double range it converts to infinity, which is a number
  EXPECT_EQ(IsFloatStr(std::string(400, '9')), 1);
}

TEST(IsIntStrInRange, ChecksTextThenRange) {
  struct Case {
    const char* text;
    long long minimum, maximum;
    int expected;
  };
  const std::vector<Case> cases = {
      {"5", 0, 10, 1},
      {"0", 0, 10, 1},
      {"10", 0, 10, 1},
      {"11", 0, 10, 0},
      {"-1", 0, 10, 0},
      {"-1", -1, 0, 1},
      {"-0", 0, 0, 1},
      {"007", 0, 10, 1},
      {"5", 10, 0, 0},
      {"-", -10, 10, 0},
      {"", -10, 10, 0},
      {"1.0", 0, 10, 0},
      {" 5", 0, 10, 0},
      {"65535", 0, 65535, 1},
      {"65536", 0, 65535, 0},
      {"9223372036854775807", 0, LLONG_MAX, 1},
      {"-9223372036854775808", LLONG_MIN, 0, 1},
      // beyond 64 bits: never in any range, never wrapped into one
      {"9223372036854775808", LLONG_MIN, LLONG_MAX, 0},
      {"-9223372036854775809", LLONG_MIN, LLONG_MAX, 0},
      {"18446744073709551621", 0, 10, 0},  // 2^64 + 5 must not wrap to 5
      {"99999999999999999999999999999", LLONG_MIN, LLONG_MAX, 0},
  };
  for (const auto& c : cases)
    EXPECT_EQ(IsIntStrInRange(c.text, c.minimum, c.maximum), c.expected)
        << "\"" << c.text << "\" in " << c.minimum << ".." << c.maximum;
}

// ---- NormalizeHexStr ----------------------------------------------------------------------

TEST(NormalizeHexStr, Table) {
  struct Case {
    const char* text;
    int length;
    const char* expected;
  };
  const std::vector<Case> cases = {
      {"0x12 ab", 4, "0x12AB"},
      {"0X12AB", 4, "0x12AB"},
      {"12ab", 0, "0x12AB"},
      {"12ab", -1, "0x12AB"},
      {"12 ab", 6, "INVALID"},
      {"12ab", 3, "INVALID"},
      {"12  ab", 0, "INVALID"},
      {"0x12  ab", 4, "INVALID"},
      {"  12", 0, "INVALID"},
      {" 12 ", 2, "0x12"},
      {"0x1G", 0, "INVALID"},
      {"0x-1", 0, "INVALID"},
      {"0x0x12", 0, "INVALID"},  // only one leading 0x is removed
      {"x12", 0, "INVALID"},
      {"00ff", 4, "0x00FF"},
      {"0x", 0, "0x"},
      {"0x", 2, "INVALID"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(NormalizeHexStr(c.text, c.length), c.expected) << "\"" << c.text << "\" length " << c.length;
}

}  // namespace
