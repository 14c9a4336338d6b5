// What adapter and module definitions share answers alike for both kinds:
// the default parameter text, the product code, the parameter and value list
// look-ups behind the conversion rules.
#include "app/model/IODef.h"
#include "app/model/NADef.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

namespace {

std::vector<uint8_t> Bytes(const std::string& hex) {
  std::vector<uint8_t> bytes;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) {
    bytes.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  }
  return bytes;
}

}  // namespace

TEST(DeviceDefTest, BothKindsTakeTheSameDefaultParameterTexts) {
  struct Case {
    int length;
    const char* text;
    const char* digits;  // empty: refused
  };
  const Case cases[] = {
      {2, "0x12, 0x34", "1234"}, {2, "12\t34", "1234"}, {2, "0xab,0xCD", "ABCD"}, {2, "123", ""},
      {2, "0x12,0x34,0x56", ""}, {2, "", ""},           {0, "", ""},            {0, "12", ""},
      {3, "0x01 0x02 0x03", "010203"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    NADef adapter;
    IODef module;
    adapter.paraLength = module.paraLength = c.length;
    EXPECT_EQ(adapter.DefaultParaDigits(c.text), c.digits);
    EXPECT_EQ(module.DefaultParaDigits(c.text), c.digits);

    adapter.AssignDefaultParaImage(c.text);
    EXPECT_EQ(module.AssignDefaultParaText(c.text), *c.digits ? 1 : 0);
    EXPECT_EQ(module.defaultParaText, c.digits);
    const std::vector<uint8_t>* image = adapter.DefaultParaImage();
    ASSERT_EQ(image != nullptr, *c.digits != '\0');
    if (image) {
      EXPECT_EQ(*image, Bytes(c.digits));
    }
  }
}

TEST(DeviceDefTest, ConversionLookUpsReachTheOwnParametersAndValueLists) {
  NADef adapter;
  IODef module;
  for (DeviceDef* def : std::initializer_list<DeviceDef*>{&adapter, &module}) {
    def->ID = "D-1";
    def->productCodeText = " 0x4101 ";
    def->paraItems.push_back(std::make_unique<ParaItem>());
    def->valueLists["VL"] = ValueList{ValueRecord{}};
    const ConvParaSource source = def->ConvSource();
    EXPECT_EQ(source.id, "D-1");
    EXPECT_EQ(source.findParaByIdx(1), def->paraItems[0].get());
    EXPECT_EQ(source.findParaByIdx(2), nullptr);
    EXPECT_EQ(source.valueLists, &def->valueLists);
    EXPECT_EQ(source.convByPara, &def->convByPara);
    EXPECT_EQ(def->FindValueList("VL"), &def->valueLists["VL"]);
    EXPECT_EQ(def->FindValueList("vl"), nullptr);
    EXPECT_EQ(def->GetProductCode(), 0x4101);
  }
}
