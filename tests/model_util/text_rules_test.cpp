// The text rules that every layer takes from common/: upper case, removal,
// the UTF-8 cut and count, and the one reading of byte texts in hexadecimal
// digit pairs.
#include "common/Utility.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(TextRules, UpperTouchesOnlyAsciiLetters) {
  struct Case {
    std::string text, expected;
  };
  const std::vector<Case> cases = {
      {"", ""},
      {"noParity 1-z", "NOPARITY 1-Z"},
      {"\xC3\xA4x", "\xC3\xA4X"},  // a UTF-8 sequence stays as it is
      {"\xE4\xFF", "\xE4\xFF"},    // so does any byte above 0x7F
      {"@[`{", "@[`{"},            // the neighbours of the letters
  };
  for (const Case& c : cases) EXPECT_EQ(Upper(c.text), c.expected) << c.text;
}

TEST(TextRules, RemoveAllTakesOutFromTheLeft) {
  struct Case {
    std::string text, what, expected;
  };
  const std::vector<Case> cases = {
      {"0X12,0X34", "0X", "12,34"},
      {"aab", "ab", "a"},
      {"aaaa", "aa", ""},
      {"aabb", "ab", "ab"},  // what the removal joins is not taken out again
      {"abc", "", "abc"},
      {"", "x", ""},
      {"x", "xx", "x"},
      {"Help.htm.htm", ".htm", "Help"},
  };
  for (const Case& c : cases) EXPECT_EQ(RemoveAll(c.text, c.what), c.expected) << c.text << " - " << c.what;
}

TEST(TextRules, CutUtf8EndsAtACharacterAndCountsCharacters) {
  const std::string ae = "\xC3\xA4";          // 2 bytes
  const std::string won = "\xE2\x82\xA9";     // 3 bytes
  const std::string clef = "\xF0\x9D\x84\x9E";  // 4 bytes
  struct Case {
    std::string text;
    size_t limit;
    std::string cut;
    size_t characters;
  };
  const std::vector<Case> cases = {
      {"abc", 5, "abc", 3},
      {"abc", 3, "abc", 3},
      {"abc", 2, "ab", 3},
      {"abc", 0, "", 3},
      {"a" + ae, 2, "a", 2},
      {"a" + ae, 3, "a" + ae, 2},
      {won + "x", 1, "", 2},
      {won + "x", 2, "", 2},
      {won + "x", 3, won, 2},
      {clef + ae, 5, clef, 2},
      {clef + ae, 6, clef + ae, 2},
      {"\x80\x80", 1, "", 0},  // continuation bytes alone begin no character
      {"", 0, "", 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CutUtf8(c.text, c.limit), c.cut) << c.text << " at " << c.limit;
    EXPECT_EQ(Utf8Length(c.text), c.characters) << c.text;
  }
}

TEST(HexByteText, DigitsOfATextTakeOutPrefixesThenSeparators) {
  struct Case {
    std::string text, separators, digits;
    bool hex;
  };
  const std::vector<Case> cases = {
      {"0x12, 0x34", ", ", "1234", true},
      {" 0X0a0B0c ", " ", "0A0B0C", true},
      {"12\t34", " ", "12\t34", false},  // a tab that is no separator stays
      {"12\t34", " \t", "1234", true},
      {"\r\n0x12\n", "", "12", true},   // the ends are trimmed
      {"00X1", "", "01", true},           // "0X" out once, from the left
      {"0 X12", " ", "0X12", false},      // "0X" goes before the separators
      {"0x1G", " ", "1G", false},
      {"0X", " ", "", true},
      {"", ", \t", "", true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(HexDigitsOf(c.text, c.separators), c.digits) << c.text;
    EXPECT_EQ(IsHexDigits(HexDigitsOf(c.text, c.separators)), c.hex) << c.text;
  }
  EXPECT_FALSE(IsHexDigits("\xC3\xA4"));
  EXPECT_TRUE(IsHexDigits("0123456789abcdefABCDEF"));
}

TEST(HexByteText, PairsFromTheLeftWithTheLoneDigitWhereTheCallerPutsIt) {
  using B = std::vector<uint8_t>;
  struct Case {
    std::string digits;
    size_t maxBytes;
    HexOddDigit odd;
    B bytes;
  };
  const std::vector<Case> cases = {
      {"12ab", SIZE_MAX, HexOddDigit::kLowHalf, B{0x12, 0xAB}},
      {"ABC", SIZE_MAX, HexOddDigit::kLowHalf, B{0xAB, 0x0C}},
      {"ABC", SIZE_MAX, HexOddDigit::kHighHalf, B{0xAB, 0xC0}},
      {"1G34", SIZE_MAX, HexOddDigit::kLowHalf, B{0xFF, 0x34}},  // a pair with another character
      {"G", SIZE_MAX, HexOddDigit::kHighHalf, B{0xFF}},
      {"123456", 2, HexOddDigit::kLowHalf, B{0x12, 0x34}},
      {"123", 1, HexOddDigit::kLowHalf, B{0x12}},
      {"", SIZE_MAX, HexOddDigit::kLowHalf, B{}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(HexPairsToBytes(c.digits, c.maxBytes, c.odd), c.bytes) << c.digits << " at most " << c.maxBytes;
  }
  EXPECT_EQ(HexPairAt("12", 1), 0);
  EXPECT_EQ(HexPairAt("12", SIZE_MAX / 2), 0);
}

}  // namespace
