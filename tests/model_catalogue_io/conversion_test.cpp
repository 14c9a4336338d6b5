// Conversion of analog values between raw and engineering values: the linear
// rule in both directions at its range ends and beyond, values without a
// rule, and the by-parameter rule taking its ranges from the module's own
// parameter value.
#include "app/model/IOItem.h"
#include "app/model/IOUsr.h"
#include "common/Utility.h"
#include "tests/model_catalogue_io/io_helpers.h"
#include "tests/model_settings/log_capture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using qmx::test::LoadIOTestTexts;
using qmx::test::LogCapture;
using qmx::test::MakeModule;
using qmx::test::ReadDescription;
using qmx::test::SourcePath;

namespace {

IOItem Linear(const char* text) {
  IOItem item;
  EXPECT_EQ(AssignConvInfo(item, text, nullptr, nullptr), 1) << text;
  return item;
}

uint16_t Raw(int value) { return static_cast<uint16_t>(static_cast<int16_t>(value)); }

}  // namespace

TEST(LinearConversionTest, RawToEngineeringAtTheEndsAndBeyond) {
  const IOItem current = Linear("Linear:0,32000,4,20");
  const IOItem voltage = Linear("Linear:-32000,32000,-10,10");
  struct Case {
    const IOItem* rule;
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
  const IOItem current = Linear("Linear:0,32000,4,20");
  const IOItem voltage = Linear("Linear:-32000,32000,-10,10");
  struct Case {
    const IOItem* rule;
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
    ASSERT_EQ(ConvRawToEngText(static_cast<uint16_t>(raw), &current), StrFormat("%2.2f", value)) << raw;
  }
}

TEST(LinearConversionTest, RulesWithoutASpanOrWithoutAKnownKind) {
  IOItem flat = Linear("Linear:100,100,0,10");
  EXPECT_EQ(ConvRawToEngText(100, &flat), "N/A");
  IOItem noEngSpan = Linear("Linear:0,100,5,5");
  EXPECT_EQ(ConvEngToRaw(5.0, &noEngSpan), 0);
  EXPECT_EQ(ConvRawToEngText(50, &noEngSpan), "5.00");

  // No rule, or kind none: 12.4 fixed point.
  IOItem none;
  for (const IOItem* rule : {static_cast<const IOItem*>(nullptr), static_cast<const IOItem*>(&none)}) {
    EXPECT_EQ(ConvRawToEngText(0x0028, rule), "2.50");
    EXPECT_EQ(ConvEngToRaw(2.5, rule), 0x0028);
    EXPECT_EQ(ConvRawToEngText(0x0010, rule), "1.00");
  }
  // A rule the description could not make usable converts to nothing.
  IOItem invalid;
  invalid.convKind = kConvInvalid;
  EXPECT_EQ(ConvRawToEngText(100, &invalid), "");
  EXPECT_EQ(ConvEngToRaw(1.0, &invalid), 0);
}

TEST(ByParameterConversionTest, TheModulesOwnParameterPicksTheRanges) {
  ReadDescription b(SourcePath("tests/model_catalogue_io/data/IO/TMB.xml"), LoadIOTestTexts());
  ASSERT_TRUE(b.complete);
  IOItem& item = *b.def.inputItems[1];
  ASSERT_EQ(item.convKind, kConvByParaVal);
  auto module = MakeModule(b.def);

  // The default value 3 stands for 4 ... 20 mA.
  LogCapture log;
  EXPECT_EQ(module->SelectConvRanges(item), 1);
  EXPECT_FLOAT_EQ(item.engLow, 4.0f);
  EXPECT_FLOAT_EQ(item.resolution, 0.0005f);
  EXPECT_EQ(ConvRawToEngText(16000, &item), "12.00");
  EXPECT_EQ(ConvRawToEngText(32001, &item), "N/A");
  // Back along the same ranges (value / resolution alone would give 24000).
  EXPECT_EQ(ConvEngToRaw(12.0, &item), 16000);
  EXPECT_EQ(ConvEngToRaw(4.0, &item), 0);
  EXPECT_EQ(ConvEngToRaw(3.0, &item), 0);
  EXPECT_EQ(GetConvUnitRuleByPara(item, module->GetParaValueText(*item.rangePara), ""), "mA");

  // The user picks 0 ... 10 V.
  module->paraImage()[0] = 0;
  EXPECT_EQ(module->SelectConvRanges(item), 1);
  EXPECT_EQ(ConvRawToEngText(16000, &item), "5.00");
  EXPECT_EQ(ConvRawToEngText(32000, &item), "10.00");
  EXPECT_EQ(ConvEngToRaw(5.0, &item), 16000);
  EXPECT_EQ(ConvEngToRaw(10.5, &item), 0);
  EXPECT_EQ(GetConvUnitRuleByPara(item, module->GetParaValueText(*item.rangePara), ""), "V");
  EXPECT_TRUE(log.records().empty());

  // A value without ranges is logged and the last ranges stay.
  module->paraImage()[0] = 2;
  EXPECT_EQ(module->SelectConvRanges(item), 0);
  EXPECT_TRUE(log.HasText("[Bug] Cannot find changed content in mapConvByPara. Loc: T_In. Func: "
                          "ChangeConvValRuleByPara."));
  EXPECT_EQ(ConvRawToEngText(16000, &item), "5.00");

  // Two modules of one product each convert by their own parameter.
  auto other = MakeModule(b.def);
  module->paraImage()[0] = 0;
  module->SelectConvRanges(item);
  const std::string first = ConvRawToEngText(32000, &item);
  other->SelectConvRanges(item);
  const std::string second = ConvRawToEngText(32000, &item);
  EXPECT_EQ(first, "10.00");
  EXPECT_EQ(second, "20.00");
}

TEST(ByParameterConversionTest, OnlyByParameterItemsOfTheModulesOwnDefinitionAreSwitched) {
  ReadDescription b(SourcePath("tests/model_catalogue_io/data/IO/TMB.xml"), LoadIOTestTexts());
  ReadDescription b2(SourcePath("tests/model_catalogue_io/data/IO/TMB.xml"), LoadIOTestTexts());
  auto module = MakeModule(b.def);
  EXPECT_EQ(module->SelectConvRanges(*b.def.inputItems[0]), 0);  // Linear
  EXPECT_EQ(module->SelectConvRanges(*b2.def.inputItems[1]), 0);  // another definition's item
  CIOUsr unbound;
  EXPECT_EQ(unbound.SelectConvRanges(*b.def.inputItems[1]), 0);
}

TEST(ByParameterConversionTest, TheShippedConfigurableInputFollowsEachChannelsRange) {
  qmx::test::ShippedIOCatalogue shipped;
  const IODef* def = shipped.catalogue.FindByID("QMX-3408");
  ASSERT_NE(def, nullptr);
  auto module = MakeModule(*def);
  const char* ranges[] = {"0 ... 10 V", "-10 ... +10 V", "0 ... 20 mA", "4 ... 20 mA"};
  const char* fullScale[] = {"10.00", "10.00", "20.00", "20.00"};
  const char* lowEnd[] = {"0.00", "-10.00", "0.00", "4.00"};
  const char* units[] = {"V", "V", "mA", "mA"};
  for (int setting = 0; setting < 4; ++setting) {
    for (size_t ch = 0; ch < 8; ++ch) module->paraImage()[ch] = static_cast<uint8_t>((setting + ch) % 4);
    for (size_t ch = 0; ch < 8; ++ch) {
      const int range = static_cast<int>((setting + ch) % 4);
      SCOPED_TRACE("channel " + std::to_string(ch + 1) + " range " + ranges[range]);
      IOItem& item = *def->inputItems[ch];
      EXPECT_EQ(module->GetParaValForUsr("PARA", *def->paraItems[ch], ""), ranges[range]);
      ASSERT_EQ(module->SelectConvRanges(item), 1);
      EXPECT_EQ(ConvRawToEngText(32000, &item), fullScale[range]);
      EXPECT_EQ(ConvRawToEngText(range == 1 ? Raw(-32000) : 0, &item), lowEnd[range]);
      EXPECT_EQ(ConvEngToRaw(std::stod(fullScale[range]), &item), 32000);
      EXPECT_EQ(GetConvUnitRuleByPara(item, module->GetParaValueText(*item.rangePara), ""), units[range]);
    }
  }
}
