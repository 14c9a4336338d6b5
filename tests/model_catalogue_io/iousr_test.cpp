// The module object: bound to its definition, its default parameter image in
// every byte order, its texts, labels, value texts and the translation of
// parameter values through value lists.
#include "app/model/DataTypes.h"
#include "app/model/IOUsr.h"
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

std::vector<uint8_t> Bytes(std::initializer_list<int> values) {
  std::vector<uint8_t> out;
  for (int v : values) out.push_back(static_cast<uint8_t>(v));
  return out;
}

// Module B of the test catalogue.
struct ModuleB {
  ReadDescription read{SourcePath("tests/model_catalogue_io/data/IO/TMB.xml"), LoadIOTestTexts()};
  const IODef& def = read.def;
  const ParaItem& range = *def.paraItems[0];
  const ParaItem& onOff = *def.paraItems[1];
  const ParaItem& limit = *def.paraItems[2];
};

}  // namespace

TEST(IOUsrTest, BindingMakesTheImagesOfTheDefinition) {
  CIOUsr unbound;
  EXPECT_TRUE(unbound.IsType("io"));
  EXPECT_EQ(unbound.GetModelName(), "");
  EXPECT_EQ(unbound.GetSize(), 0);
  EXPECT_EQ(unbound.CanCommunication(), 0);
  EXPECT_EQ(unbound.GetDefaultParaImage(), nullptr);
  EXPECT_EQ(unbound.GetValueText("VL_OnOff", "0"), "INVALID");
  unbound.SetIODef(nullptr);
  EXPECT_EQ(unbound.ParaLength(), 0);

  ModuleB b;
  ASSERT_TRUE(b.read.complete);
  auto module = MakeModule(b.def);
  EXPECT_EQ(module->GetIODef(), &b.def);
  EXPECT_EQ(module->GetProductCode(), 0x2B02);
  EXPECT_EQ(module->GetSize(), 4);  // input bytes
  EXPECT_EQ(module->IsConvByParaUsed(), 1);
  EXPECT_EQ(module->ParaLength(), 4);
  EXPECT_EQ(module->outputImage(), Bytes({0, 0}));
}

TEST(IOUsrTest, DefaultImageFromTheDefinitionsTextInEachByteOrder) {
  struct Case {
    int paraLength;
    const char* text;  // as the definition holds it
    int mode;
    std::vector<uint8_t> image;
  };
  const Case cases[] = {
      {4, "01020304", 0, Bytes({1, 2, 3, 4})},
      {4, "01020304", 1, Bytes({2, 1, 4, 3})},
      {4, "01020304", 2, Bytes({4, 3, 2, 1})},
      {3, "0A0B0C", 1, Bytes({0x0B, 0x0A, 0x0C})},  // an odd last byte stays
      {4, "0102030405", 0, Bytes({1, 2, 3, 4})},    // at most PARA-length pairs
      {4, "0102", 0, Bytes({1, 2, 0, 0})},          // missing pairs stay 0
      {4, "0102", 2, Bytes({0, 0, 2, 1})},
      {2, "", 0, Bytes({0, 0})},                    // no text: zeros
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.text) + " mode " + std::to_string(c.mode));
    IODef def;
    def.paraLength = c.paraLength;
    def.defaultParaText = c.text;
    def.outputLength = 3;
    auto module = MakeModule(def, c.mode);
    ASSERT_NE(module->GetDefaultParaImage(), nullptr);
    EXPECT_EQ(*module->GetDefaultParaImage(), c.image);
    EXPECT_EQ(module->paraImage(), c.image);
    EXPECT_EQ(module->outputImage(), Bytes({0, 0, 0}));
    EXPECT_EQ(module->GetByteOrderMode(), c.mode);

    // The PARA image is the module's own; a reset brings the defaults back.
    module->paraImage()[0] ^= 0xFF;
    module->outputImage()[0] = 9;
    module->ResetImagesToDefault();
    EXPECT_EQ(module->paraImage(), c.image);
    EXPECT_EQ(module->outputImage()[0], 9);
  }
  // Without parameters there is no default image and no PARA image.
  IODef none;
  none.defaultParaText = "0102";
  auto module = MakeModule(none);
  EXPECT_EQ(module->GetDefaultParaImage(), nullptr);
  EXPECT_EQ(module->ParaLength(), 0);
}

TEST(IOUsrTest, EveryDataTypesDefaultReadsBackInThePlainByteOrder) {
  // A definition with one parameter of every type the parameter view shows.
  struct Para {
    int type;
    int bitOffset;
    int byteOffset;
    int length;
    const char* value;
  };
  const Para paras[] = {
      {kDataTypeBit, 3, 0, 1, "1"},           {kDataTypeBitArea, 4, 0, 3, "5"},
      {kDataTypeInteger8, 0, 1, 1, "-2"},     {kDataTypeUnsigned8, 0, 2, 1, "200"},
      {kDataTypeInteger16, 0, 3, 1, "-1234"}, {kDataTypeUnsigned16, 0, 5, 1, "65535"},
      {kDataTypeInteger32, 0, 7, 1, "-70000"}, {kDataTypeUnsigned32, 0, 11, 1, "4000000000"},
      {kDataTypeFloat16, 0, 15, 1, "2.50"},   {kDataTypeString, 0, 17, 4, "ab"},
      {kDataTypeByteArea, 0, 21, 2, "0102"},  {kDataTypeIPAddr, 0, 23, 4, "10.0.0.7"},
  };
  IODef def;
  def.paraLength = 27;
  std::vector<uint8_t> image(27, 0);
  for (const Para& p : paras) {
    auto item = std::make_unique<ParaItem>();
    item->dataType = p.type;
    item->bitOffset = static_cast<uint16_t>(p.bitOffset);
    item->byteOffset = static_cast<uint16_t>(p.byteOffset);
    item->length = static_cast<uint16_t>(p.length);
    item->defaultValue = p.value;
    if (p.type == kDataTypeBit || p.type == kDataTypeBitArea) {
      image[0] = SetBitFieldVal(image[0], static_cast<uint8_t>(DecimalTextToInt64(p.value)), p.bitOffset, p.length);
    } else {
      ASSERT_EQ(WriteDefaultValue(image.data(), 27, p.byteOffset, p.type, p.length, p.value, 0), kDefaultWritten)
          << GetDataTypeName(p.type);
    }
    def.paraItems.push_back(std::move(item));
  }
  // The definition's text names the bytes first byte first.
  std::string text;
  for (uint8_t byte : image) text += StrFormat("0x%02X,", byte);
  ASSERT_EQ(def.AssignDefaultParaText(text), 1);

  auto module = MakeModule(def, 0);
  EXPECT_EQ(module->paraImage(), image);
  // A ByteArea shows its last byte first.
  const char* expected[] = {"1", "5", "-2", "200", "-1234", "65535", "-70000", "4000000000", "2.50", "ab", "0201",
                            "10.0.0.7"};
  for (size_t i = 0; i < def.paraItems.size(); ++i) {
    EXPECT_EQ(ParaText(*module, *def.paraItems[i]), expected[i]) << GetDataTypeName(def.paraItems[i]->dataType);
  }

  // In the other byte orders the whole image is placed by the mode.
  for (int mode : {1, 2}) {
    auto ordered = MakeModule(def, mode);
    std::vector<uint8_t> placed(27, 0);
    CopyBytesByOrder(placed.data(), image.data(), 27, mode);
    EXPECT_EQ(ordered->paraImage(), placed) << "mode " << mode;
  }
}

TEST(IOUsrTest, LabelsFollowTheNamingMode) {
  ModuleB b;
  auto module = MakeModule(b.def, 0, 3);
  module->SetName("Input A");
  EXPECT_EQ(module->GetLabel(0), "03: Input A");
  EXPECT_EQ(module->GetLabel(1), "03: Module B");
  EXPECT_EQ(module->GetLabel(2), "03: Description B");
  EXPECT_EQ(module->GetLabel(7), "03: Input A");
  module->posNo = 12;
  EXPECT_EQ(module->GetLabel(1), "12: Module B");

  LogCapture log;
  module->posNo = 0;
  EXPECT_EQ(module->GetLabel(0), "00: Input A");
  EXPECT_TRUE(log.HasText("[Bug] Position no is below 0. Type:IO. Name:Input A."));
}

TEST(IOUsrTest, ValueTextsByListAndIndex) {
  ModuleB b;
  auto module = MakeModule(b.def);
  struct Case {
    const char* list;
    const char* index;
    const char* text;
  };
  const Case cases[] = {
      {"VL_Range", "0", "0"},     {"VL_Range", "1", "3"},        {"VL_Range", "2", "INVALID"},
      {"VL_Range", "-1", "INVALID"}, {"VL_Range", " 1", "3"},    {"VL_Range", "", "INVALID"},
      {"VL_Range", "  ", "INVALID"}, {"", "0", "INVALID"},       {"VL_None", "0", "INVALID"},
      {"vl_range", "0", "INVALID"}, {"VL_OnOff", "1", "1"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(module->GetValueText(c.list, c.index), c.text) << c.list << " [" << c.index << "]";
  }
}

TEST(IOUsrTest, ParameterValuesAreTranslatedThroughTheirValueLists) {
  ModuleB b;
  auto module = MakeModule(b.def);
  LogCapture log;
  // From the PARA image: the defaults 03, 01, 0x1234.
  EXPECT_EQ(module->GetParaValForUsr("PARA", b.range, "ignored"), "4 ... 20 mA");
  EXPECT_EQ(module->GetParaValForUsr("PARA", b.onOff, ""), "On");
  EXPECT_EQ(module->GetParaValForUsr("PARA", b.limit, ""), "4660");  // no value list
  EXPECT_TRUE(log.records().empty());

  module->paraImage()[0] = 0;
  module->paraImage()[1] = 0xFE;  // bit 0 clear
  EXPECT_EQ(module->GetParaValForUsr("PARA", b.range, ""), "0 ... 10 V");
  EXPECT_EQ(module->GetParaValForUsr("PARA", b.onOff, ""), "Off");

  // The given text, without reading an image.
  EXPECT_EQ(module->GetParaValForUsr(CIOUsr::kListDataIfCan, b.range, "3"), "4 ... 20 mA");
  EXPECT_EQ(module->GetParaValForUsr(CIOUsr::kListDataIfCan, b.limit, "17"), "17");

  // A value the list does not know is logged and kept.
  module->paraImage()[0] = 7;
  EXPECT_EQ(module->GetParaValForUsr("PARA", b.range, ""), "7");
  EXPECT_TRUE(log.HasText("[Bug] IO Parameter value does not exist in value list. Target: VL_Range, Value: 7. "
                          "Caller: Module B:T_ParaRange. Func: GetParaValForUsr."));
}

TEST(IOUsrTest, AValueThatCannotBeReadGivesTheDefaultAfterTheLine) {
  ModuleB b;
  auto module = MakeModule(b.def);
  for (const char* kind : {"OUTPUT", "MON_INIT", "INPUT"}) {
    SCOPED_TRACE(kind);
    LogCapture log;
    // The limit lies at bytes 2-3, outside the 2-byte OUTPUT image.
    EXPECT_EQ(module->GetParaValForUsr(kind, b.limit, "x"), "4660");
    EXPECT_TRUE(log.HasText("[Error Code: -1017] Cannot get setting value. See below log in detail. Func: "
                            "GetParaValForUsr."));
    // A default value names its list entry like any value.
    EXPECT_EQ(module->GetParaValForUsr(kind, b.range, "x"), std::string(kind) == "OUTPUT" ? "0 ... 10 V" : "4 ... 20 mA");
  }
}
