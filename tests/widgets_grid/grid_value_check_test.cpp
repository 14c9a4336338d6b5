// Allowed-value checks of edited cells: one table for the main program's
// rules and one for the driver's, and the hints that explain a definition.
#include "widgets/grid/GridValueCheck.h"

#include <gtest/gtest.h>

#include <string>

namespace qmx::grid {
namespace {

struct Case {
  const char* definition;
  const char* input;
  bool accepted;
  const char* stored;  // the text kept when accepted
};

void PrintTo(const Case& c, std::ostream* os) { *os << "\"" << c.definition << "\" <- \"" << c.input << "\""; }

class MainProgramCheck : public ::testing::TestWithParam<Case> {};

TEST_P(MainProgramCheck, AcceptsAndNormalisesAsDefined) {
  const Case& c = GetParam();
  GridValueResult r = CheckGridValueMain(c.definition, c.input);
  EXPECT_EQ(r.accepted, c.accepted);
  if (c.accepted) {
    EXPECT_EQ(r.text, c.stored);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, MainProgramCheck,
    ::testing::Values(
        // integers
        Case{"1,0,1", "1", true, "1"}, Case{"1,0,1", "0", true, "0"}, Case{"1,0,1", "2", false, ""},
        Case{"1,0,1", "-1", false, ""}, Case{"1,0,1", "1.0", false, ""}, Case{"1,0,10", "007", true, "7"},
        Case{"1,0,10", "", false, ""}, Case{"1,0,10", "-", false, ""}, Case{"1,0,10", " 5", false, ""},
        Case{"1,5,", "5", true, "5"}, Case{"1,5,", "500", true, "500"}, Case{"1,5,", "4", false, ""},
        Case{"1,,100", "-7", true, "-7"}, Case{"1,,100", "101", false, ""}, Case{"1,,", "3", false, ""},
        Case{"1", "3", false, ""}, Case{"1,-10,-5", "-7", true, "-7"},
        Case{"1,50,10000", "10000", true, "10000"},
        // integers past the range of int are refused instead of wrapping
        Case{"1,0,", "4294967297", false, ""}, Case{"1,,", "99999999999999999999", false, ""},
        Case{"1,-2147483648,2147483647", "2147483647", true, "2147483647"},
        Case{"1,-2147483648,2147483647", "-2147483648", true, "-2147483648"},
        Case{"1,-2147483648,2147483647", "2147483648", false, ""},
        // decimals
        Case{"2,0.00,10.00", "3.14159", true, "3.14"}, Case{"2,0.00,10.00", "10.001", false, ""},
        Case{"2,0.00,10.00", "10", true, "10.00"}, Case{"2,0.00,10.00", "1.2.3", false, ""},
        Case{"2,0.00,10.00", "", false, ""}, Case{"2,0.00,10.00", "-0.5", false, ""},
        Case{"2,,", "-123.456", true, "-123.46"}, Case{"2,,", ".", false, ""}, Case{"2,,", "1e3", false, ""},
        Case{"2,1.5,", "1.5", true, "1.50"}, Case{"2,,1.5", "1.6", false, ""},
        // addresses
        Case{"3,,", "192.168.0.1", true, "192.168.0.1"}, Case{"3,,", "192.168.0", false, ""},
        Case{"3,,", "0.0.0.0", false, ""}, Case{"3,,", "224.0.0.1", false, ""},
        Case{"3,,", "10.0.0.256", false, ""}, Case{"3", "", false, ""},
        Case{"3,,", " 127.0.0.1 ", true, "127.0.0.1"}, Case{"3,,", "127.0.0.010", true, "127.0.0.10"},
        // hex
        Case{"4,4,", "ab12", true, "0xAB12"}, Case{"4,4,", "0xab12", true, "0xAB12"},
        Case{"4,4,", "ab 12", true, "0xAB12"}, Case{"4,4,", "ab", false, ""}, Case{"4,4,", "ab  12", false, ""},
        Case{"4,4,", "12", false, ""}, Case{"4,4,", "abc", false, ""}, Case{"4,4,", "ab1g", false, ""},
        Case{"4,0,", "1", true, "0x1"}, Case{"4,0,", "", false, ""}, Case{"4,,", "0x", false, ""},
        // other types
        Case{"0,0,10", "5", false, ""}, Case{"x,0,10", "5", false, ""}, Case{"5,,", "anything", true, "anything"},
        Case{"9,1,2", "", true, ""},
        // no definition
        Case{"", "whatever", true, "whatever"}, Case{"", "", true, ""}));

class DriverCheck : public ::testing::TestWithParam<Case> {};

TEST_P(DriverCheck, AcceptsAsTheDriverDefines) {
  const Case& c = GetParam();
  GridValueResult r = CheckGridValueDriver(c.definition, c.input);
  EXPECT_EQ(r.accepted, c.accepted);
  if (c.accepted) {
    EXPECT_EQ(r.text, c.stored);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, DriverCheck,
    ::testing::Values(
        Case{"1,0,100", "50", true, "50"}, Case{"1,0,100", "150", false, ""}, Case{"1,0,100", "1.5", false, ""},
        Case{"1,0,100", "abc", false, ""}, Case{"1,0,100", "007", true, "007"}, Case{"1,0,100", "-", false, ""},
        Case{"1,,100", "-5", true, "-5"}, Case{"1,5,", "4", false, ""}, Case{"1,,", "5", false, ""},
        Case{"1,,", "", true, ""}, Case{"1,0,", "99999999999", false, ""},
        Case{"2,,", "12.75", true, "12.75"}, Case{"2,,", "-0.5", true, "-0.5"}, Case{"2,,", "1.2.3", false, ""},
        Case{"2,0,1", "1.5", false, ""}, Case{"2,0,1", "0.25", true, "0.25"}, Case{"2,,", ".", false, ""},
        Case{"3,,", "192.168.0.1", true, "192.168.0.1"}, Case{"3,,", "192.168.0", false, ""},
        Case{"4,4,", "ab12", true, "0xAB12"}, Case{"4,4,", "AB1", false, ""}, Case{"4,4,", "AB123", false, ""},
        Case{"4,0,", "1f", true, "0x1F"}, Case{"4,4,", "", true, ""},
        Case{"0,,", "1", false, ""}, Case{"5,,", "1", false, ""}, Case{"q,,", "1", false, ""},
        Case{"", "anything", true, "anything"}, Case{"1,0,100", "", true, ""}));

TEST(AllowedValueHint, ExplainsEachDefinition) {
  struct Hint {
    const char* definition;
    const char* hint;
  } hints[] = {
      {"1,0,1", " Integer. Must be 0 ~ 1."},
      {"1,1,", " Integer. Must be >= 1."},
      {"1,,10", " Integer. Must be <= 10."},
      {"1,,", " Must be Integer."},
      {"2,0.00,10.00", " Float. Must be 0.00 ~ 10.00."},
      {"2,,", " Must be Float."},
      {"3,,", " Must be IP Address format."},
      {"4,4,", " Must be HEX format and length 4."},
      {"0,,", " Invalid definition"},
      {"7,1,2", " Invalid definition"},
      {"", ""},
  };
  for (const Hint& h : hints) EXPECT_EQ(AllowedValueHint(h.definition), h.hint) << h.definition;
}

TEST(AllowedValueDef, SplitsTypeAndBounds) {
  AllowedValueDef d = ParseAllowedValueDef("1, 5 ,");
  EXPECT_EQ(d.type, 1);
  EXPECT_EQ(d.min, "5");
  EXPECT_EQ(d.max, "");
  d = ParseAllowedValueDef("2");
  EXPECT_EQ(d.type, 2);
  EXPECT_EQ(d.min, "");
  EXPECT_EQ(d.max, "");
  EXPECT_EQ(ParseAllowedValueDef("abc,1,2").type, 0);
}

}  // namespace
}  // namespace qmx::grid
