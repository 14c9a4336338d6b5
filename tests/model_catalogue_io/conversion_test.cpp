// The by-parameter rule of a module's analog items taking its ranges from
// the module's own parameter value, converted by the value conversions.
#include "app/model/IOItem.h"
#include "app/model/IOUsr.h"
#include "app/model/ValueConversion.h"
#include "common/Utility.h"
#include "tests/model_catalogue_io/io_helpers.h"
#include "tests/model_settings/log_capture.h"

#include <gtest/gtest.h>


using qmx::test::LoadIOTestTexts;
using qmx::test::LogCapture;
using qmx::test::MakeModule;
using qmx::test::ParaText;
using qmx::test::ReadDescription;
using qmx::test::SourcePath;

namespace {

uint16_t Raw(int value) { return static_cast<uint16_t>(static_cast<int16_t>(value)); }

// The conversions under the ranges `module` selects for the item with its
// project parameters.
std::string EngText(const CIOUsr& module, uint16_t raw, const IOItem& item) {
  const ConvRuleState state = module.ActiveRule(item, "PRJ");
  return ConvRawToText(raw, &state);
}

uint16_t EngToRaw(const CIOUsr& module, double value, const IOItem& item) {
  const ConvRuleState state = module.ActiveRule(item, "PRJ");
  uint16_t raw = 0;
  ConvEngToRawChecked(value, &state, raw, "test");
  return raw;
}

}  // namespace

TEST(ByParameterConversionTest, TheModulesOwnParameterPicksTheRanges) {
  ReadDescription b(SourcePath("tests/model_catalogue_io/data/IO/TMB.xml"), LoadIOTestTexts());
  ASSERT_TRUE(b.complete);
  const IOItem& item = *b.def.inputItems[1];
  ASSERT_EQ(item.convKind, kConvByParaVal);
  const ConvRuleState asRead = RuleStateOf(item);
  auto module = MakeModule(b.def);

  // The default value 3 stands for 4 ... 20 mA.
  LogCapture log;
  const ConvRuleState active = module->ActiveRule(item, "PRJ");
  EXPECT_FLOAT_EQ(active.engLow, 4.0f);
  EXPECT_FLOAT_EQ(active.resolution, 0.0005f);
  EXPECT_EQ(EngText(*module, 16000, item), "12.00");
  EXPECT_EQ(EngText(*module, 32001, item), "N/A");
  // Back along the same ranges (value / resolution alone would give 24000).
  EXPECT_EQ(EngToRaw(*module, 12.0, item), 16000);
  EXPECT_EQ(EngToRaw(*module, 4.0, item), 0);
  EXPECT_EQ(EngToRaw(*module, 3.0, item), 0);
  EXPECT_EQ(GetConvUnitRuleByPara(item, ParaText(*module, *item.rangePara), ""), "mA");

  // The user picks 0 ... 10 V.
  module->paraImage()[0] = 0;
  EXPECT_EQ(EngText(*module, 16000, item), "5.00");
  EXPECT_EQ(EngText(*module, 32000, item), "10.00");
  EXPECT_EQ(EngToRaw(*module, 5.0, item), 16000);
  EXPECT_EQ(EngToRaw(*module, 10.5, item), 0);
  EXPECT_EQ(GetConvUnitRuleByPara(item, ParaText(*module, *item.rangePara), ""), "V");
  // Only the two values outside the engineering range were refused.
  EXPECT_EQ(log.records().size(), 2u);

  // A value without ranges is logged and the last ranges stay.
  module->paraImage()[0] = 2;
  EXPECT_EQ(EngText(*module, 16000, item), "5.00");
  EXPECT_TRUE(log.HasText("[Bug] Cannot find changed content in mapConvByPara. Loc: T_In. Func: "
                          "ChangeConvValRuleByPara."));

  // Two modules of one product each convert by their own parameter; the
  // shared definition keeps the ranges it was read with.
  auto other = MakeModule(b.def);
  module->paraImage()[0] = 0;
  EXPECT_EQ(EngText(*module, 32000, item), "10.00");
  EXPECT_EQ(EngText(*other, 32000, item), "20.00");
  EXPECT_FLOAT_EQ(item.engLow, asRead.engLow);
  EXPECT_FLOAT_EQ(item.resolution, asRead.resolution);
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
      const IOItem& item = *def->inputItems[ch];
      EXPECT_EQ(module->GetParaValForUsr("PARA", *def->paraItems[ch], ""), ranges[range]);
      EXPECT_EQ(EngText(*module, 32000, item), fullScale[range]);
      EXPECT_EQ(EngText(*module, range == 1 ? Raw(-32000) : 0, item), lowEnd[range]);
      EXPECT_EQ(EngToRaw(*module, std::stod(fullScale[range]), item), 32000);
      EXPECT_EQ(GetConvUnitRuleByPara(item, ParaText(*module, *item.rangePara), ""), units[range]);
    }
  }
}
