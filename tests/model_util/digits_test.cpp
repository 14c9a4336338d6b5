// Hexadecimal and binary digit texts, bit fields, byte order, 12.4 fixed point.
#include "common/Utility.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>
#include <string>
#include <utility>
#include <vector>

namespace {

// ---- HexStrToByte / HexStrToInt --------------------------------------------------

TEST(HexStrToByte, ReadsDigitsKeepsLowByteRefusesOthers) {
  struct Case {
    const char* text;
    uint8_t expected;
  };
  const std::vector<Case> cases = {
      {"", 0},     {"0", 0},     {"F", 15},   {"f", 15},   {"1f", 0x1F}, {"1F", 0x1F}, {"ff", 0xFF},
      {"100", 0},  {"1FF", 0xFF}, {"abc", 0xBC}, {"G", 255}, {"0x1F", 255}, {"1 F", 255}, {"-1", 255},
      {"1g", 255}, {"00", 0},
  };
  for (const auto& c : cases) EXPECT_EQ(HexStrToByte(c.text), c.expected) << "\"" << c.text << "\"";
}

TEST(HexStrToInt, ReadsDigitsWrapsAt32BitsRefusesOthers) {
  struct Case {
    const char* text;
    int32_t expected;
  };
  const std::vector<Case> cases = {
      {"", 0},
      {"7FFFFFFF", 0x7FFFFFFF},
      {"80000000", std::numeric_limits<int32_t>::min()},
      {"FFFFFFFF", -1},
      {"100000000", 0},
      {"123456789", 0x23456789},
      {"beef", 0xBEEF},
      {"BeEf", 0xBEEF},
      {"z", -1},
      {"12 34", -1},
      {"0x10", -1},
  };
  for (const auto& c : cases) EXPECT_EQ(HexStrToInt(c.text), c.expected) << "\"" << c.text << "\"";
}

// ---- BytesToHexStr -----------------------------------------------------------------------

// Last byte first, in groups of `group` bytes; nothing to write gives "".
TEST(BytesToHexStr, LastByteFirstWithGroups) {
  const uint8_t bytes[] = {0x01, 0x02, 0x03, 0x04, 0xAB};
  struct Case {
    const uint8_t* bytes;
    int count, group;
    const char* expected;
  };
  const Case cases[] = {
      {bytes, 3, 0, "030201"},     {bytes, 3, 1, "03 02 01"}, {bytes, 3, 2, "0302 01"}, {bytes, 4, 2, "0403 0201"},
      {bytes, 3, 3, "030201"},     {bytes, 3, 10, "030201"},  {bytes, 3, -2, "030201"}, {bytes, 5, 0, "AB04030201"},
      {bytes, 1, 1, "01"},         {nullptr, 3, 0, ""},       {bytes, 0, 0, ""},        {bytes, -1, 1, ""},
  };
  for (const Case& c : cases)
    EXPECT_EQ(BytesToHexStr(c.bytes, c.count, c.group), c.expected)
        << (c.bytes ? "" : "no bytes, ") << c.count << " bytes, groups of " << c.group;
}

TEST(BytesToHexStr, AllByteValuesUpperCase) {
  std::array<uint8_t, 256> bytes{};
  for (int i = 0; i < 256; ++i) bytes[i] = static_cast<uint8_t>(i);
  const std::string text = BytesToHexStr(bytes.data(), 256, 0);
  ASSERT_EQ(text.size(), 512u);
  for (int i = 0; i < 256; ++i) {
    // byte i sits at position (255 - i) * 2
    EXPECT_EQ(text.substr(static_cast<size_t>(255 - i) * 2, 2), StrFormat("%02X", i));
  }
}

// ---- IntToHexStr ---------------------------------------------------------------------------

TEST(IntToHexStr, PadsButNeverCuts) {
  struct Case {
    long long value;
    int width;
    const char* expected;
  };
  const std::vector<Case> cases = {
      {255, 4, "00FF"},
      {0x12345, 2, "12345"},
      {0, 0, "0"},
      {0, 4, "0000"},
      {0xABC, 0, "ABC"},
      {0xABC, -3, "ABC"},
      {15, 1, "F"},
      {-1, 3, "000"},
      {-1, 0, ""},
      {std::numeric_limits<long long>::max(), 0, "7FFFFFFFFFFFFFFF"},
  };
  for (const auto& c : cases) EXPECT_EQ(IntToHexStr(c.value, c.width), c.expected) << c.value << "/" << c.width;
}

// ---- ByteToBinStr / BinStrToInt ---------------------------------------------------------------

TEST(ByteToBinStr, BitSevenFirstOrBitZeroFirst) {
  struct Case {
    uint8_t byte;
    int reversed;
    const char* expected;
  };
  const Case cases[] = {
      {0x01, 0, "00000001"}, {0x01, 1, "10000000"}, {0x0F, 0, "00001111"}, {0x0F, 1, "11110000"},
      {0xA6, 0, "10100110"}, {0xA6, 1, "01100101"},
      {0xA6, -1, "01100101"},  // any flag other than 0 reverses
      {0x00, 0, "00000000"}, {0xFF, 1, "11111111"},
  };
  for (const Case& c : cases) EXPECT_EQ(ByteToBinStr(c.byte, c.reversed), c.expected) << int(c.byte) << "/" << c.reversed;
}

TEST(BinStrToInt, ReadsFromTheLeftWithoutChecking) {
  const std::pair<std::string, int> cases[] = {
      {"", 0},
      {"1011", 11},
      {"00000001", 1},
      {ByteToBinStr(0xA6, 0), 0xA6},
      {"2", 2},   // 0 * 2 + 2
      {"12", 4},  // 1 * 2 + 2
  };
  for (const auto& [text, value] : cases) EXPECT_EQ(BinStrToInt(text), value) << "\"" << text << "\"";
}

// ---- bit fields ------------------------------------------------------------------------------

TEST(BitFields, GetAndSet) {
  struct SetCase {
    uint8_t byte, value;
    int offset, width;
    uint8_t expected;
  };
  const SetCase sets[] = {
      {0xFF, 0, 2, 3, 0xE3},
      {0x00, 0xFF, 2, 3, 0x1C},  // only the field's width of the value
      {0x00, 5, 0, 3, 0x05},     {0x2A, 1, 7, 1, 0xAA}, {0x5A, 0xC3, 0, 8, 0xC3}, {0xFF, 0, 7, 1, 0x7F},
  };
  for (const SetCase& c : sets)
    EXPECT_EQ(SetBitFieldVal(c.byte, c.value, c.offset, c.width), c.expected)
        << int(c.byte) << " <- " << int(c.value) << " at " << c.offset << "/" << c.width;
  struct GetCase {
    uint8_t byte;
    int offset, width;
    int expected;
  };
  const GetCase gets[] = {{0xB4, 2, 3, 5}, {0xFF, 0, 8, 0xFF}, {0x80, 7, 1, 1}, {0x7F, 7, 1, 0}, {0xE3, 2, 3, 0}};
  for (const GetCase& c : gets)
    EXPECT_EQ(GetBitFieldVal(c.byte, c.offset, c.width), c.expected) << int(c.byte) << " at " << c.offset << "/" << c.width;
}

TEST(BitFields, SetThenGetRoundTripsEveryField) {
  for (int offset = 0; offset < 8; ++offset) {
    for (int width = 1; offset + width <= 8; ++width) {
      for (int byte : {0x00, 0xFF, 0xA5}) {
        for (int value = 0; value < (1 << width); ++value) {
          const uint8_t set = SetBitFieldVal(static_cast<uint8_t>(byte), static_cast<uint8_t>(value), offset, width);
          ASSERT_EQ(GetBitFieldVal(set, offset, width), value) << offset << "/" << width;
          const unsigned mask = ((1u << width) - 1u) << offset;
          ASSERT_EQ(set & ~mask & 0xFF, byte & ~mask & 0xFF) << "bits outside the field changed";
        }
      }
    }
  }
}

// ---- CopyBytesByOrder --------------------------------------------------------------------------

std::vector<uint8_t> Copy(std::vector<uint8_t> source, int mode) {
  std::vector<uint8_t> out(source.size() + 2, 0xEE);  // guard bytes after the run
  CopyBytesByOrder(out.data(), source.data(), static_cast<uint16_t>(source.size()), mode);
  return out;
}

TEST(CopyBytesByOrder, ModesTable) {
  using V = std::vector<uint8_t>;
  struct Case {
    V source;
    int mode;
    V expected;  // with the two guard bytes after the run
  };
  const Case cases[] = {
      {{1, 2, 3}, 0, {1, 2, 3, 0xEE, 0xEE}},
      {{1, 2, 3}, 1, {2, 1, 3, 0xEE, 0xEE}},
      {{1, 2, 3}, 2, {3, 2, 1, 0xEE, 0xEE}},
      {{1, 2, 3, 4}, 1, {2, 1, 4, 3, 0xEE, 0xEE}},
      {{1, 2, 3, 4, 5}, 1, {2, 1, 4, 3, 5, 0xEE, 0xEE}},
      {{1, 2, 3, 4}, 2, {4, 3, 2, 1, 0xEE, 0xEE}},
      {{7}, 0, {7, 0xEE, 0xEE}},
      {{7}, 1, {7, 0xEE, 0xEE}},
      {{7}, 2, {7, 0xEE, 0xEE}},
      {{}, 1, {0xEE, 0xEE}},
      // any other mode copies nothing
      {{1, 2, 3}, 3, {0xEE, 0xEE, 0xEE, 0xEE, 0xEE}},
      {{1, 2, 3}, -1, {0xEE, 0xEE, 0xEE, 0xEE, 0xEE}},
  };
  for (const Case& c : cases) EXPECT_EQ(Copy(c.source, c.mode), c.expected) << c.source.size() << " bytes, mode " << c.mode;
}

// Within one buffer of 1, 2, 3, 4, 5.
TEST(CopyBytesByOrder, InPlaceAndOverlappingRuns) {
  using V = std::vector<uint8_t>;
  struct Case {
    size_t to, from;
    uint16_t count;
    int mode;
    V expected;
  };
  const Case cases[] = {
      {0, 0, 5, 1, {2, 1, 4, 3, 5}}, {0, 0, 5, 2, {5, 4, 3, 2, 1}},
      {1, 0, 4, 0, {1, 1, 2, 3, 4}},  // forward overlap
      {0, 1, 4, 0, {2, 3, 4, 5, 5}},  // backward overlap
      {1, 0, 4, 2, {1, 4, 3, 2, 1}}, {1, 0, 4, 1, {1, 2, 1, 4, 3}}, {0, 1, 3, 1, {3, 2, 4, 4, 5}},
  };
  for (const Case& c : cases) {
    V buf = {1, 2, 3, 4, 5};
    CopyBytesByOrder(buf.data() + c.to, buf.data() + c.from, c.count, c.mode);
    EXPECT_EQ(buf, c.expected) << c.count << " bytes from " << c.from << " to " << c.to << ", mode " << c.mode;
  }
}

TEST(CopyBytesByOrder, LongestRun) {
  std::vector<uint8_t> source(65535);
  for (size_t i = 0; i < source.size(); ++i) source[i] = static_cast<uint8_t>(i * 7);
  std::vector<uint8_t> out(source.size());
  CopyBytesByOrder(out.data(), source.data(), 65535, 2);
  for (size_t i = 0; i < source.size(); ++i) ASSERT_EQ(out[source.size() - 1 - i], source[i]);
  CopyBytesByOrder(out.data(), source.data(), 65535, 1);
  for (size_t k = 0; k + 1 < source.size(); k += 2) {
    ASSERT_EQ(out[k], source[k + 1]);
    ASSERT_EQ(out[k + 1], source[k]);
  }
  EXPECT_EQ(out.back(), source.back());
}

// ---- 12.4 fixed point -----------------------------------------------------------------------------

TEST(Float16ToFloat, Examples) {
  struct Case {
    uint16_t value;
    float expected;
    int integer;
  };
  const std::vector<Case> cases = {
      {0x0000, 0.0f, 0},         {0x0018, 1.5f, 1},      {0xFFE8, -1.5f, -2},       {0x0001, 0.062f, 0},
      {0x000F, 0.937f, 0},       {0x7FFF, 2047.937f, 2047}, {0x8000, -2048.0f, -2048}, {0xFFFF, -0.063f, -1},
      {0x0010, 1.0f, 1},         {0xFFF0, -1.0f, -1},    {0x0148, 20.5f, 20},
  };
  for (const auto& c : cases) {
    float out = 12345.0f;
    EXPECT_EQ(Float16ToFloat(c.value, out), c.integer) << std::hex << c.value;
    EXPECT_NEAR(out, c.expected, 0.0002f) << std::hex << c.value;
  }
}

TEST(FloatToFloat16, TruncatesTowardZeroToSixteenths) {
  struct Case {
    float value;
    uint16_t expected;
  };
  const std::vector<Case> cases = {
      {0.0f, 0x0000},    {1.5f, 0x0018},     {1.99f, 0x001F},    {-1.5f, 0xFFE8},  {-1.99f, 0xFFE1},
      {-1.0f, 0xFFF0},   {-0.5f, 0xFFF8},    {-0.0625f, 0xFFFF}, {0.06f, 0x0000},  {2047.9375f, 0x7FFF},
      {-2048.0f, 0x8000}, {2048.0f, 0x8000}, {4096.0f, 0x0000},  {70000.0f, 0x1700}, {-0.01f, 0x0000},
  };
  for (const auto& c : cases) {
    uint16_t out = 0xABCD;
    FloatToFloat16(c.value, out);
    EXPECT_EQ(out, c.expected) << c.value;
  }
}

TEST(FloatToFloat16, ExactSixteenthsRoundTripForEveryCode) {
  for (int v = 0; v <= 0xFFFF; ++v) {
    const float exact = static_cast<float>(static_cast<int16_t>(v)) / 16.0f;
    uint16_t out = 0;
    FloatToFloat16(exact, out);
    ASSERT_EQ(out, v) << exact;
    float back = 0;
    Float16ToFloat(static_cast<uint16_t>(v), back);
    // the text form keeps three truncated decimals: never more than 1/1000 away
    ASSERT_NEAR(back, exact, 0.001f) << v;
  }
}

TEST(FloatToFloat16, NotANumberGivesZero) {
  uint16_t out = 0xABCD;
  FloatToFloat16(std::numeric_limits<float>::quiet_NaN(), out);
  EXPECT_EQ(out, 0);
}

}  // namespace
