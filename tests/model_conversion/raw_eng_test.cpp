// The raw <-> engineering road of analog values: the linear rule in both
// directions at its range ends and beyond, values without a rule, rules
// without a span or a known kind, and a by-parameter range that does not
// start at 0 going back along the ranges it reads on.
#include "app/model/ValueConversion.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <limits>
#include <string>

namespace {

ConvRuleState Linear(const char* text) {
  IOItem item;
  EXPECT_EQ(AssignConvInfo(item, text, nullptr, nullptr), 1) << text;
  return RuleStateOf(item);
}

std::string Fixed2(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%2.2f", value);
  return text;
}

uint16_t Raw(int value) { return static_cast<uint16_t>(static_cast<int16_t>(value)); }

std::string ConvRawToEngText(uint16_t raw, const ConvRuleState* rule) { return ConvRawToText(raw, rule); }

uint16_t ConvEngToRaw(double value, const ConvRuleState* rule) {
  uint16_t raw = 0;
  ConvEngToRawChecked(value, rule, raw, "test");
  return raw;
}

}  // namespace

TEST(LinearConversionTest, RawToEngineeringAtTheEndsAndBeyond) {
  const ConvRuleState current = Linear("Linear:0,32000,4,20");
  const ConvRuleState voltage = Linear("Linear:-32000,32000,-10,10");
  struct Case {
    const ConvRuleState* rule;
    int raw;
    const char* text;
  };
  const Case cases[] = {
      {&current, 0, "4.00"},        {&current, 32000, "20.00"},  {&current, 16000, "12.00"},
      {&current, 1, "4.00"},        {&current, 31999, "20.00"},  {&current, 32001, "N/A"},
      {&current, -1, "N/A"},        {&current, 32767, "N/A"},    {&current, -32768, "N/A"},
      {&voltage, -32000, "-10.00"}, {&voltage, 32000, "10.00"},  {&voltage, 0, "0.00"},
      {&voltage, -32001, "N/A"},    {&voltage, 3200, "1.00"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ConvRawToEngText(Raw(c.raw), c.rule), c.text) << c.raw;
  }
}

TEST(LinearConversionTest, EngineeringToRawAtTheEndsAndBeyond) {
  const ConvRuleState current = Linear("Linear:0,32000,4,20");
  const ConvRuleState voltage = Linear("Linear:-32000,32000,-10,10");
  struct Case {
    const ConvRuleState* rule;
    double value;
    int raw;
  };
  const Case cases[] = {
      {&current, 4.0, 0},        {&current, 20.0, 32000},   {&current, 12.0, 16000}, {&current, 4.1, 200},
      {&current, 4.00049, 0},    {&current, 19.99999, 31999}, {&current, 20.001, 0},  {&current, 3.999, 0},
      {&current, -100.0, 0},     {&voltage, -10.0, -32000}, {&voltage, 10.0, 32000}, {&voltage, -2.5, -8000},
      {&voltage, 10.5, 0},       {&voltage, -10.5, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ConvEngToRaw(c.value, c.rule), Raw(c.raw)) << c.value;
  }
  // Values read from 32-bit floats still land on their step.
  EXPECT_EQ(ConvEngToRaw(static_cast<float>(12.0), &current), 16000);
  EXPECT_EQ(ConvEngToRaw(static_cast<float>(4.1), &current), 200);
  EXPECT_EQ(ConvEngToRaw(std::numeric_limits<double>::quiet_NaN(), &current), 0);
  EXPECT_EQ(ConvEngToRaw(std::numeric_limits<double>::infinity(), &current), 0);

  // Every whole step of the range comes back as itself.
  for (int raw = 0; raw <= 32000; raw += 250) {
    const double value = 4.0 + raw / 2000.0;
    ASSERT_EQ(ConvEngToRaw(value, &current), raw) << value;
    ASSERT_EQ(ConvRawToEngText(static_cast<uint16_t>(raw), &current), Fixed2(value)) << raw;
  }
}

TEST(LinearConversionTest, RulesWithoutASpanOrWithoutAKnownKind) {
  const ConvRuleState flat = Linear("Linear:100,100,0,10");
  EXPECT_EQ(ConvRawToEngText(100, &flat), "N/A");
  const ConvRuleState noEngSpan = Linear("Linear:0,100,5,5");
  EXPECT_EQ(ConvEngToRaw(5.0, &noEngSpan), 0);
  EXPECT_EQ(ConvRawToEngText(50, &noEngSpan), "5.00");

  // No rule, or kind none: 12.4 fixed point.
  const ConvRuleState none;
  for (const ConvRuleState* rule : {static_cast<const ConvRuleState*>(nullptr), &none}) {
    EXPECT_EQ(ConvRawToEngText(0x0028, rule), "2.50");
    EXPECT_EQ(ConvEngToRaw(2.5, rule), 0x0028);
    EXPECT_EQ(ConvRawToEngText(0x0010, rule), "1.00");
  }
  // A rule the description could not make usable converts to nothing.
  ConvRuleState invalid;
  invalid.kind = kConvInvalid;
  EXPECT_EQ(ConvRawToEngText(100, &invalid), "");
  EXPECT_EQ(ConvEngToRaw(1.0, &invalid), 0);
}

TEST(ByParameterConversionTest, ARangeThatDoesNotStartAtZeroGoesBackAlongItself) {
  // 4 ... 20 mA over raw 0 ... 32000, resolution 0.0005 mA per step.
  ConvRuleState current;
  current.kind = kConvByParaVal;
  current.rawLow = 0;
  current.rawHigh = 32000;
  current.engLow = 4;
  current.engHigh = 20;
  current.resolution = 0.0005f;
  for (double value : {4.0, 12.0, 20.0, 7.5}) {
    const uint16_t raw = ConvEngToRaw(value, &current);
    EXPECT_EQ(ConvRawToEngText(raw, &current), Fixed2(value)) << value;
  }
  EXPECT_EQ(ConvEngToRaw(12.0, &current), 16000);  // not 12 / 0.0005
}
