// Analog values under conversion rules, the frame's raw analog modes, units
// and the grids' edit entry point.
#include "tests/support/model_log_capture.h"
#include "tests/support/program_services.h"
#include "test_object.h"

#include "app/model/ValueConversion.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

IOItem LinearItem() {
  IOItem item("OUTPUT");
  item.textId = "AO_1";
  item.dataType = kDataTypeFloat16;
  item.length = 1;
  item.convKind = kConvLinear;
  item.rawLow = 0;
  item.rawHigh = 32000;
  item.engLow = 4;
  item.engHigh = 20;
  return item;
}

// A by-parameter item whose ranges are chosen by the byte at PARA offset 0:
// value 0 selects 0..1000 raw for 0..10 (resolution 0.01), value 1 selects
// 0..1000 raw for 0..100 (resolution 0.1), value 2 has resolution 0.
struct ByParaFixture {
  ParaItem selector;
  IOItem item{"OUTPUT"};
  ByParaFixture() {
    selector.textId = "Range";
    selector.dataType = kDataTypeUnsigned8;
    selector.length = 1;
    item.textId = "AO_2";
    item.dataType = kDataTypeFloat16;
    item.length = 1;
    item.convKind = kConvByParaVal;
    item.rangePara = &selector;
    item.rangesByValue[0] = ConvRange{0.01f, 0, 1000, 0, 10, "mA"};
    item.rangesByValue[1] = ConvRange{0.1f, 0, 1000, 0, 100, "V"};
    item.rangesByValue[2] = ConvRange{0.0f, 0, 1000, 0, 10, "?"};
  }
};

void StoreRaw(TestObject& object, uint16_t raw) {
  object.outputImage()[0] = static_cast<uint8_t>(raw & 0xFF);
  object.outputImage()[1] = static_cast<uint8_t>(raw >> 8);
}

std::string ReadOut(const TestObject& object, const IOItem* rule, const char* mode = "") {
  std::string text;
  object.GetUsrValFromPrjMemory(text, "OUTPUT", "t", mode, kDataTypeFloat16, 1, 0, 0, rule);
  return text;
}

TEST(LinearRule, ReadsEngineeringValuesAndNAOutsideTheRawRange) {
  const IOItem item = LinearItem();
  TestObject object;
  StoreRaw(object, 16000);
  EXPECT_EQ(ReadOut(object, &item), "12.00");
  StoreRaw(object, 32001);
  EXPECT_EQ(ReadOut(object, &item), "N/A");
  StoreRaw(object, 0xFFFF);  // -1 as a signed raw value
  EXPECT_EQ(ReadOut(object, &item), "N/A");
}

TEST(LinearRule, WritesAndReadsBack) {
  const IOItem item = LinearItem();
  for (const char* value : {"4", "12", "20", "7.5"}) {
    TestObject object;
    ASSERT_EQ(object.SetUsrValToPrjMemory(value, "OUTPUT", kDataTypeFloat16, 1, 0, 0, &item), 1);
    EXPECT_DOUBLE_EQ(std::stod(ReadOut(object, &item)), std::stod(value));
  }
}

TEST(LinearRule, ValueOutsideTheEngineeringRangeIsRefused) {
  ModelLogCapture log;
  const IOItem item = LinearItem();
  TestObject object;
  StoreRaw(object, 1234);
  EXPECT_EQ(object.SetUsrValToPrjMemory("25", "OUTPUT", kDataTypeFloat16, 1, 0, 0, &item), 0);
  EXPECT_EQ(object.outputImage()[0], 1234 & 0xFF);
  EXPECT_EQ(object.outputImage()[1], 1234 >> 8);
  EXPECT_TRUE(log.Has("out of range", qmx::kLogError));
  uint16_t raw = 7;
  EXPECT_EQ(object.ConvFloatToRawChecked(3.9, &item, raw), 0);
}

TEST(LinearRule, EmptyEngineeringSpanIsRefused) {
  IOItem item = LinearItem();
  item.engLow = item.engHigh = 5;
  TestObject object;
  uint16_t raw = 1;
  EXPECT_EQ(object.ConvFloatToRawChecked(5, &item, raw), 0);
  EXPECT_EQ(raw, 0);
}

TEST(ByParaRule, EachObjectUsesTheRangeItsOwnParameterSelects) {
  ByParaFixture f;
  TestObject first;
  TestObject second;
  first.paraImage()[0] = 0;
  second.paraImage()[0] = 1;
  ASSERT_EQ(first.SetUsrValToPrjMemory("5", "OUTPUT", kDataTypeFloat16, 1, 0, 0, &f.item), 1);
  ASSERT_EQ(second.SetUsrValToPrjMemory("5", "OUTPUT", kDataTypeFloat16, 1, 0, 0, &f.item), 1);
  // 5 / 0.01 and 5 / 0.1
  EXPECT_EQ(first.outputImage()[0] | (first.outputImage()[1] << 8), 500);
  EXPECT_EQ(second.outputImage()[0] | (second.outputImage()[1] << 8), 50);
  // Reading in turn never lets one object's selection leak into the other's.
  EXPECT_EQ(ReadOut(first, &f.item), "5.00");
  EXPECT_EQ(ReadOut(second, &f.item), "5.00");
  EXPECT_EQ(ReadOut(first, &f.item), "5.00");
  // The shared definition's item is left as it was.
  EXPECT_EQ(f.item.engHigh, 1.0f);
  EXPECT_EQ(f.item.resolution, 0.0f);
}

TEST(ByParaRule, ZeroResolutionIsRefusedWithALoggedError) {
  ModelLogCapture log;
  ByParaFixture f;
  TestObject object;
  object.paraImage()[0] = 2;
  StoreRaw(object, 99);
  EXPECT_EQ(object.SetUsrValToPrjMemory("5", "OUTPUT", kDataTypeFloat16, 1, 0, 0, &f.item), 0);
  EXPECT_TRUE(log.Has("Resolution of conversion rule is 0", qmx::kLogError));
  EXPECT_EQ(object.outputImage()[0], 99);
}

TEST(ByParaRule, UnknownSelectorValueKeepsTheObjectsLastRanges) {
  ModelLogCapture log;
  ByParaFixture f;
  TestObject object;
  object.paraImage()[0] = 1;
  StoreRaw(object, 500);
  EXPECT_EQ(ReadOut(object, &f.item), "50.00");
  object.paraImage()[0] = 9;  // no ranges for 9
  EXPECT_EQ(ReadOut(object, &f.item), "50.00");
  EXPECT_TRUE(log.Has("Cannot find changed content in mapConvByPara"));
}

TEST(ByParaRule, UnitFollowsTheSelectingParameter) {
  ByParaFixture f;
  TestObject object;
  std::string unit;
  object.paraImage()[0] = 1;
  EXPECT_EQ(object.GetUnit(unit, f.item, nullptr), "(V)");
  object.paraImage()[0] = 0;
  EXPECT_EQ(object.GetUnit(unit, f.item, nullptr), "(mA)");
  IOItem fixed = LinearItem();
  fixed.unit = "bar";
  EXPECT_EQ(object.GetUnit(unit, fixed, nullptr), "bar");
}

// Online parameters as an adapter hands them to the objects under it: the
// selector reads 0 (mA).
struct OnlinePara : AdapterLink {
  bool HasOnlinePara() const override { return image != nullptr; }
  OnlineBytes OnlineParaOf(const Wrapper& object, const char* /*caller*/) override {
    asked = &object;
    return OnlineBytes(image, 0);
  }
  std::shared_ptr<std::vector<uint8_t>> image = std::make_shared<std::vector<uint8_t>>(16, 0);
  const Wrapper* asked = nullptr;
};

// An adapter object, which reads its own online parameters.
struct Station : TestObject, OnlinePara {
  Station() : TestObject(0, 16, 16, kTypeNA) {}
};

// "ONLINE" ranges and units come from the online parameters of the adapter
// that holds the object (the tree's answer), or of the object itself when it
// is the adapter; the project's stay the object's.
TEST(ByParaRule, OnlineRangesComeFromTheAdapterThatHoldsTheObject) {
  qmx::test::ResetProgramServices();
  ByParaFixture f;
  OnlinePara adapter;
  TestObject module;
  Station station;
  qmx::Services().adapterOf = [&adapter](const Wrapper&) -> AdapterLink* { return &adapter; };
  for (TestObject* object : {&module, static_cast<TestObject*>(&station)}) {
    object->paraImage()[0] = 1;  // V in the project
    std::string out;
    EXPECT_EQ(object->ConvRawToFloatStr(out, 500, "PRJ", &f.item), "50.00");
    EXPECT_EQ(object->ConvRawToFloatStr(out, 500, "ONLINE", &f.item), "5.00");
    EXPECT_EQ(object->GetUnit(out, f.item, &adapter), "(V) mA");
  }
  EXPECT_EQ(adapter.asked, &module);
  EXPECT_EQ(station.asked, &station);
  qmx::test::ResetProgramServices();
}

TEST(AnalogModes, OutputTakesRawHexAndRawDecimalText) {
  const IOItem item = LinearItem();
  TestObject object;
  SetAnalogValueMode(kAnalogRawHex);
  EXPECT_EQ(object.SetUsrValToPrjMemory("0x12 34", "OUTPUT", kDataTypeFloat16, 1, 0, 0, &item), 1);
  EXPECT_EQ(ReadOut(object, &item, "HEX"), "0x1234");
  EXPECT_EQ(object.SetUsrValToPrjMemory("7F", "OUTPUT", kDataTypeFloat16, 1, 0, 0, &item), 1);
  EXPECT_EQ(ReadOut(object, &item, "HEX"), "0x7F00");
  EXPECT_EQ(object.SetUsrValToPrjMemory("0xZZ", "OUTPUT", kDataTypeFloat16, 1, 0, 0, &item), 0);
  SetAnalogValueMode(kAnalogRawDec);
  EXPECT_EQ(object.SetUsrValToPrjMemory("-2", "OUTPUT", kDataTypeFloat16, 1, 0, 0, &item), 1);
  EXPECT_EQ(ReadOut(object, &item, "DEC"), "-2");
  // PARA values always go through the rule.
  EXPECT_EQ(object.SetUsrValToPrjMemory("25", "PARA", kDataTypeFloat16, 1, 0, 0, &item), 0);
  SetAnalogValueMode(kAnalogNormal);
}

TEST(GridEdit, DigitalChannelWritesOneBitOfTheItem) {
  int modified = 0;
  qmx::test::ProgramServicesScope scope;
  qmx::Services().projectModified = [&](int value) { modified = value; };
  TestObject object;
  IOItem item("OUTPUT");
  item.channelType = "DO";
  item.dataType = kDataTypeBitArea;
  item.length = 16;
  item.byteOffset = 2;
  object.ChagnedValueByUsr("ProcessImg", "11", nullptr, &item, "1");
  EXPECT_EQ(object.outputImage()[3], 0x08);
  EXPECT_EQ(modified, 1);
  object.ChagnedValueByUsr("ProcessImg", "ALL", nullptr, nullptr, "0102");
  // The first pair is the last byte of the image.
  EXPECT_EQ(object.outputImage()[15], 0x01);
  EXPECT_EQ(object.outputImage()[14], 0x02);
  EXPECT_EQ(object.outputImage()[3], 0x00);
}

TEST(GridEdit, ParameterWithConversionFlagMarksTheObjectChanged) {
  TestObject object;
  ParaItem para;
  para.dataType = kDataTypeUnsigned16;
  para.length = 1;
  para.byteOffset = 4;
  para.convPara = 1;
  object.ChagnedValueByUsr("Parameters", "", &para, nullptr, "513");
  EXPECT_EQ(object.paraImage()[4], 0x01);
  EXPECT_EQ(object.paraImage()[5], 0x02);
  EXPECT_EQ(object.changed, 1);
}

TEST(GridEdit, UnknownValueListEntryIsLoggedAndNothingWritten) {
  ModelLogCapture log;
  TestObject object;
  ParaItem para;
  para.textId = "Filter";
  para.dataType = kDataTypeUnsigned8;
  para.length = 1;
  para.valueItemTarget = "FilterList";
  object.ChagnedValueByUsr("Parameters", "3", &para, nullptr, "x");
  EXPECT_TRUE(log.Has("Cannot find combobox's sel in mapValueItems. Loc:Filter"));
  EXPECT_EQ(object.paraImage()[0], 0);
}

}  // namespace
