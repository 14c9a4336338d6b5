// The adapter definition's operations, the parameter and conversion records
// and the shared element readers.
#include "app/model/DescriptionReaders.h"
#include "app/model/NADef.h"
#include "app/model/ValueConversion.h"
#include "tests/model_settings/log_capture.h"

#include <gtest/gtest.h>

using qmx::test::LogCapture;

namespace {

void AddDriver(NADef& def, const std::string& type, const std::string& file, const std::string& ext) {
  CommDriverEntry entry{PooledText(type), PooledText(file), PooledText(ext), ""};
  def.driverEntries[static_cast<size_t>(def.driverEntryCount++)] = entry;
  def.commTypeMap[type] = entry;
  def.driverCount = std::to_string(def.driverEntryCount);
}

std::unique_ptr<ParaItem> Para(const char* textId, const char* valueList = "") {
  auto item = std::make_unique<ParaItem>();
  item->textId = textId;
  item->valueItemTarget = valueList;
  return item;
}

}  // namespace

TEST(NADefTest, CommunicationTypeCodes) {
  NADef def;
  AddDriver(def, "TCP", "", "dll");
  AddDriver(def, "RS485", "Tessivar", "dll");
  AddDriver(def, "Offline", "Tessivar", "dll");
  AddDriver(def, "RS232C", "Tessivar", "  ");
  struct Case {
    const char* name;
    int code;
  };
  for (const Case& c : {Case{"TCP", kCommNoDriver}, Case{"RS485", kCommRs485}, Case{"rs485", kCommNoDriver},
                        Case{"Offline", kCommNone}, Case{"RS232C", kCommNoDriver}, Case{"RS422", kCommNoDriver},
                        Case{"NONE_DRIVER", kCommNoDriver}, Case{"", kCommNoDriver}}) {
    EXPECT_EQ(def.GetCommTypeCode(c.name), c.code) << c.name;
  }
  NADef serial;
  AddDriver(serial, "RS422", "Tessivar", "dll");
  AddDriver(serial, "rs232c", "Tessivar", "dll");
  AddDriver(serial, "NONE_DRIVER", "Tessivar", "dll");
  EXPECT_EQ(serial.GetCommTypeCode("RS422"), kCommRs422);
  EXPECT_EQ(serial.GetCommTypeCode("rs232c"), kCommRs232c);  // listed in that case
  EXPECT_EQ(serial.GetCommTypeCode("NONE_DRIVER"), kCommNoDriver);
}

TEST(NADefTest, AcceptableCommunicationTypes) {
  struct Case {
    std::vector<const char*> types;
    int expected;
  };
  const Case cases[] = {
      {{}, 0},
      {{"TCP"}, 1},
      {{"offline"}, 1},
      {{""}, 1},
      {{"UDP"}, 0},
      {{"POWERLINK"}, 0},
      {{"POWERLINK", "RS485"}, 1},
      {{"Bus1", "Bus2"}, 0},
  };
  for (const Case& c : cases) {
    NADef def;
    for (const char* type : c.types) AddDriver(def, type, "f", "t");
    EXPECT_EQ(def.CheckCommTypes(), c.expected) << (c.types.empty() ? "(none)" : c.types.front());
  }
}

TEST(NADefTest, ProductCodesAndBitmapNames) {
  struct Case {
    const char* text;
    uint16_t code;
  };
  for (const Case& c : {Case{"0x1234", 0x1234}, Case{"1234", 0x1234}, Case{"0XABCD", 0xABCD}, Case{" 0x4101 ", 0x4101},
                        Case{"", 0}, Case{"0x12G4", 0xFFFF}, Case{"0x12345", 0x2345}}) {
    NADef def;
    def.productCodeText = c.text;
    EXPECT_EQ(def.GetProductCode(), c.code) << c.text;
  }
  EXPECT_EQ(NADef::GetCommTypeBitmapId("IDB_ModbusTCP"), "TCP");
  EXPECT_EQ(NADef::GetCommTypeBitmapId("idb_udp"), "UDP");
  EXPECT_EQ(NADef::GetCommTypeBitmapId("IDB_Modbus232"), "RS232C");
  EXPECT_EQ(NADef::GetCommTypeBitmapId("IDB_Modbus485"), "RS485");
  EXPECT_EQ(NADef::GetCommTypeBitmapId("IDB_MODBUS422"), "RS422");
  EXPECT_EQ(NADef::GetCommTypeBitmapId("IDB_Other"), "");
}

TEST(NADefTest, FindingParametersAndBlockItems) {
  LogCapture log;
  NADef def;
  EXPECT_EQ(def.FindParaByIdx(1), nullptr);  // past the end: no line
  EXPECT_TRUE(log.records().empty());
  EXPECT_EQ(def.FindParaByIdx(0), nullptr);
  EXPECT_TRUE(log.HasText("[Bug] Cannot find parameter Obj by index. iValParaIdx:0. Func: NADef::FindParaByIdx."));

  def.paraItems.push_back(Para("P1"));
  def.paraItems.push_back(Para("P2"));
  EXPECT_EQ(def.FindParaByIdx(2), def.paraItems[1].get());
  EXPECT_EQ(def.FindParaByIdx(3), nullptr);
  EXPECT_EQ(def.FindParaByIdx(-4), nullptr);

  auto item = Para("T_ExpansionSlotNo");
  item->key = "ExpansionSlotNo";
  def.blockItems[kMonInit].push_back(std::move(item));
  EXPECT_EQ(def.FindCommInitParaByID("t_expansionslotno"), def.blockItems[kMonInit][0].get());
  const size_t before = log.records().size();
  EXPECT_EQ(def.FindCommInitParaByID(""), nullptr);
  EXPECT_EQ(log.records().size(), before);
  EXPECT_EQ(def.FindCommInitParaByID("T_Other"), nullptr);
  EXPECT_TRUE(log.HasText("[Bug] Cannot find parameter Obj by ID. ID:T_Other. Func: NADef::FindCommInitParaByID."));

  EXPECT_EQ(def.GetMonitoringMapInfo(kMonInit, "EXPANSIONSLOTNO"), def.blockItems[kMonInit][0].get());
  EXPECT_EQ(def.GetMonitoringMapInfo(kMonFreq, "ExpansionSlotNo"), nullptr);
  EXPECT_EQ(def.GetMonitoringMapInfo(5, "ExpansionSlotNo"), nullptr);
  const auto missing = log.WithCode(-4007);
  ASSERT_EQ(missing.size(), 2u);
  EXPECT_EQ(missing[0].source, qmx::kLogSource);
  EXPECT_EQ(missing[0].text,
            "[Error Code: -4007] Cannot find CommBlock Key. Please define the key in XML. Key: ExpansionSlotNo. "
            "Func: GetMonitoringMapInfo.");
}

TEST(ParaItemTest, AllowedValuesNeedThreeFields) {
  LogCapture log;
  ParaItem item;
  item.allowedValues = "old";
  EXPECT_EQ(item.AssignAllowedValues("", "P"), 2);
  EXPECT_EQ(item.allowedValues, "");
  EXPECT_EQ(item.AssignAllowedValues("0,10,1", "P"), 1);
  EXPECT_EQ(item.allowedValues, "0,10,1");
  EXPECT_EQ(item.AssignAllowedValues("a,b,c,d", "P"), 1);
  EXPECT_EQ(item.AssignAllowedValues("0,10", "Speed"), 0);
  EXPECT_EQ(item.allowedValues, "");
  EXPECT_TRUE(
      log.HasText("[Error Code: -4006] Parameter's allowed value format is invalid in XML. 0,10. Parameter: Speed."));
}

namespace {

// An adapter definition with parameter 1 selecting ranges and parameter 2
// selecting units.
struct ConvFixture {
  NADef def;
  ConvFixture() {
    def.ID = "DEF-1";
    def.paraItems.push_back(Para("T_Range", "VL_Range"));
    def.paraItems.push_back(Para("T_Unit", "VL_Unit"));
    def.paraItems.push_back(Para("T_NoList"));
    def.paraItems.push_back(Para("T_EmptyList", "VL_Empty"));
    def.valueLists["VL_Range"] = {{"t0", "0", "", "Resolution:0.1,0,1000,0,100", "V"},
                                  {"t1", "1", "", "Resolution:0.5,-100,100,-50,50", ""}};
    def.valueLists["VL_Unit"] = {{"u0", "0", "", "", "degC"}, {"u1", "1", "", "", "degF"}};
    def.valueLists["VL_Empty"] = {};
  }
};

}  // namespace

TEST(ConversionTest, LinearRules) {
  LogCapture log;
  IOItem item;
  EXPECT_EQ(AssignConvInfo(item, "  ", nullptr, nullptr), 2);
  EXPECT_EQ(item.convKind, kConvNone);
  EXPECT_EQ(AssignConvInfo(item, "Linear:0,32000,4", nullptr, nullptr), 0);
  EXPECT_EQ(item.convKind, kConvNone);
  EXPECT_EQ(AssignConvInfo(item, "linear: 0, 32000, 4, 20", nullptr, nullptr), 1);
  EXPECT_EQ(item.convKind, kConvLinear);
  EXPECT_FLOAT_EQ(item.rawLow, 0.0f);
  EXPECT_FLOAT_EQ(item.rawHigh, 32000.0f);
  EXPECT_FLOAT_EQ(item.engLow, 4.0f);
  EXPECT_FLOAT_EQ(item.engHigh, 20.0f);
  EXPECT_TRUE(log.records().empty());

  item.textId = "T_Item";
  EXPECT_EQ(AssignConvInfo(item, "Square:1,2", nullptr, nullptr), 0);
  EXPECT_EQ(item.convKind, kConvLinear);  // unchanged
  EXPECT_TRUE(log.HasText("[Bug] Invalid conversion type index in XML. Conv: Square:1,2. Loc: T_Item. Func: "
                          "AssignConvInfo."));
}

TEST(ConversionTest, RangesAndUnitsByParameterValue) {
  LogCapture log;
  ConvFixture f;
  const ConvParaSource source = f.def.ConvSource();
  IOItem item;
  item.textId = "T_Analog";
  ASSERT_EQ(AssignConvInfo(item, "ByParaVal:1,2", &source, nullptr), 1);
  EXPECT_EQ(item.convKind, kConvByParaVal);
  EXPECT_EQ(item.rangePara, f.def.paraItems[0].get());
  EXPECT_EQ(item.unitPara, f.def.paraItems[1].get());
  EXPECT_EQ(f.def.paraItems[0]->convPara, 1);
  EXPECT_EQ(f.def.paraItems[1]->convPara, 1);
  EXPECT_EQ(f.def.convByPara, 1);
  ASSERT_EQ(item.rangesByValue.size(), 2u);
  EXPECT_FLOAT_EQ(item.rangesByValue.at(1).rawLow, -100.0f);
  EXPECT_EQ(item.unitsByValue.at("1"), "degF");

  // Selecting the active ranges by the parameter's value, into an object's
  // rule state; the definition's item stays as it was read.
  ConvRuleState state = RuleStateOf(item);
  const float readLow = item.engLow;
  EXPECT_EQ(SelectRangesByPara(item, "1", state), 1);
  EXPECT_FLOAT_EQ(state.resolution, 0.5f);
  EXPECT_FLOAT_EQ(state.engLow, -50.0f);
  EXPECT_FLOAT_EQ(item.engLow, readLow);
  EXPECT_EQ(SelectRangesByPara(item, "7", state), 0);
  EXPECT_FLOAT_EQ(state.engLow, -50.0f);  // kept
  EXPECT_TRUE(log.HasText("[Bug] Cannot find changed content in mapConvByPara. Loc: T_Analog. Func: "
                          "ChangeConvValRuleByPara."));
  EXPECT_EQ(SelectRangesByPara(item, "", state), 0);
  EXPECT_TRUE(log.HasText("[Bug] Changed content of parameter is empty. Loc: T_Analog. Func: ChangeConvValRuleByPara."));

  // Units: the range's unit first, then the unit map.
  EXPECT_EQ(GetConvUnitRuleByPara(item, "0", "1"), "V");
  EXPECT_EQ(GetConvUnitRuleByPara(item, "1", "1"), "degF");
  EXPECT_EQ(GetConvUnitRuleByPara(item, "", "0"), "degC");
  EXPECT_EQ(GetConvUnitRuleByPara(item, "9", "9"), "");
  item.unit = "mA";
  EXPECT_EQ(ConvRule::GetUnit(item), "mA");
}

TEST(ConversionTest, UnusableParameterReferencesMarkTheItemInvalid) {
  struct Case {
    const char* conversion;
    const char* line;
  };
  const Case cases[] = {
      {"ByParaVal:0", "[Bug] Invalid parameter index in XML. Loc:DEF-1. Func: AssignConvInfo."},
      {"ByParaVal:", "[Bug] Invalid parameter index in XML. Loc:DEF-1. Func: AssignConvInfo."},
      {"ByParaVal:9", "[Bug] Undefined paramter or value items of parameter index in XML. Loc:DEF-1. Func: "
                      "AssignConvInfo."},
      {"ByParaVal:3", "[Bug] Undefined paramter or value items of parameter index in XML. Loc:DEF-1. Func: "
                      "AssignConvInfo."},
      {"ByParaVal:4", "[Bug] Undefined items of parameter index in XML. Loc:DEF-1. Func: AssignConvInfo."},
      {"ByParaVal:1,4", "[Bug] Undefined items of parameter index in XML. Loc:DEF-1. Func: AssignConvInfo."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.conversion);
    LogCapture log;
    ConvFixture f;
    const ConvParaSource source = f.def.ConvSource();
    IOItem item;
    EXPECT_EQ(AssignConvInfo(item, c.conversion, &source, nullptr), 0);
    EXPECT_EQ(item.convKind, kConvInvalid);
    EXPECT_TRUE(log.HasText(c.line));
    EXPECT_EQ(f.def.convByPara, 0);
  }
  // One parameter alone: no unit-selecting parameter.
  ConvFixture f;
  const ConvParaSource source = f.def.ConvSource();
  IOItem item;
  EXPECT_EQ(AssignConvInfo(item, "ByParaVal:1", &source, nullptr), 1);
  EXPECT_EQ(item.unitPara, nullptr);
  EXPECT_TRUE(item.unitsByValue.empty());
  EXPECT_EQ(item.rangesByValue.size(), 2u);
}

TEST(ConversionTest, RangeRecordsNeedAValueAndAConversion) {
  LogCapture log;
  IOItem item;
  item.textId = "T_X";
  EXPECT_EQ(AssignConvValByPara(item, "", "Resolution:1", "u"), 0);
  EXPECT_EQ(AssignConvValByPara(item, "2", "", "u"), 0);
  EXPECT_EQ(log.records().size(), 2u);
  EXPECT_TRUE(log.HasText("[Bug] Empty content or conversion info of parameter. Loc: T_X. Func: AssignConvValByPara."));
  EXPECT_EQ(AssignConvValByPara(item, "2", "Other", "u"), 0);
  EXPECT_TRUE(log.HasText("[Bug] Undefined content info of parameter. Loc: T_X. Func: AssignConvValByPara."));
  // "Resolution" without values stores zeros; missing fields read 0.
  EXPECT_EQ(AssignConvValByPara(item, "2", "Resolution", "u"), 1);
  EXPECT_FLOAT_EQ(item.rangesByValue.at(2).rawHigh, 0.0f);
  EXPECT_EQ(AssignConvValByPara(item, "3", "Resolution:0.1,0,1000", ""), 1);
  EXPECT_FLOAT_EQ(item.rangesByValue.at(3).rawHigh, 1000.0f);
  EXPECT_FLOAT_EQ(item.rangesByValue.at(3).engHigh, 0.0f);
  // An equal key replaces the range.
  EXPECT_EQ(AssignConvValByPara(item, "3", "Resolution:0.2", "V"), 1);
  EXPECT_FLOAT_EQ(item.rangesByValue.at(3).resolution, 0.2f);
  EXPECT_EQ(item.rangesByValue.at(3).unit, "V");
  EXPECT_EQ(AssignConvUnitByPara(item, "", "x"), 0);
  EXPECT_EQ(AssignConvUnitByPara(item, "5", "x"), 1);
  EXPECT_EQ(item.unitsByValue.at("5"), "x");
}

TEST(SharedReaderTest, SpecificationElements) {
  LogCapture log;
  TextIdMap texts;
  texts["T_S"] = {"Shown", "Described"};
  const qmx::xml::Document doc = qmx::xml::Document::LoadText(
      "<R><S TextId=\"T_S\" Value=\"5\" Unit=\"mA\" Visible=\" True \"/><E TextId=\"T_S\" Value=\"5\"/></R>");
  SpecItem item;
  EXPECT_EQ(AssignSpecInfoXML(doc.SelectSingleNode("/R/S"), item, "loc", "file.xml", texts), 1);
  EXPECT_EQ(item.displayText, "Shown");
  EXPECT_EQ(item.description, "Described");
  EXPECT_EQ(item.value, "5");
  EXPECT_EQ(item.unit, "mA");
  EXPECT_EQ(item.visible, 1);

  SpecItem kept;
  kept.value = "old";
  EXPECT_EQ(AssignSpecInfoXML(qmx::xml::Node(), kept, "/R/Missing", "file.xml", texts), 2);
  EXPECT_EQ(kept.value, "old");
  EXPECT_TRUE(log.HasText("[Error Code: -4000] Node does not defined. Loc:/R/Missing. Func: AssignSpecInfoXML. xml "
                          "file: file.xml"));
  EXPECT_THROW(AssignSpecInfoXML(doc.SelectSingleNode("/R/E"), kept, "loc", "file.xml", texts), qmx::xml::XmlError);

  const qmx::xml::Document withComment =
      qmx::xml::Document::LoadText("<R><!-- c --></R>", qmx::xml::Document::Whitespace::Preserve);
  const auto children = withComment.Root().Children();
  ASSERT_EQ(children.size(), 1u);
  EXPECT_EQ(AssignSpecInfoXML(children[0], kept, "loc", "file.xml", texts), 2);
}

TEST(SharedReaderTest, IOItemElements) {
  LogCapture log;
  ConvFixture f;
  const ConvParaSource source = f.def.ConvSource();
  const TextIdMap texts;
  const qmx::xml::Document doc = qmx::xml::Document::LoadText(
      "<R><I TextId=\"T_I\" ChannelType=\"AI\" DataType=\"Float16\" Length=\"2\" Unit=\"V\" Visible=\"false\" "
      "Conversion=\"ByParaVal:1\"/><Z TextId=\"T_Z\" ChannelType=\"DI\" DataType=\"Nibble\" Length=\"0\" Unit=\"\" "
      "Visible=\"true\"/><M TextId=\"T_M\" ChannelType=\"DI\" DataType=\"Bit\" Unit=\"\" Visible=\"true\"/></R>");
  std::unique_ptr<IOItem> item =
      AssignIOItemXML("OUTPUT", doc.SelectSingleNode("/R/I"), 6, texts, nullptr, &source);
  ASSERT_NE(item, nullptr);
  EXPECT_EQ(item->kind, "OUTPUT");
  EXPECT_EQ(item->displayText, "T_I");  // undefined text id
  EXPECT_EQ(item->dataType, kDataTypeFloat16);
  EXPECT_EQ(item->length, 2);
  EXPECT_EQ(item->byteOffset, 6);
  EXPECT_EQ(item->visible, 0);
  EXPECT_EQ(item->convKind, kConvByParaVal);

  item = AssignIOItemXML("INPUT", doc.SelectSingleNode("/R/Z"), 0, texts, nullptr, nullptr);
  ASSERT_NE(item, nullptr);
  EXPECT_EQ(item->dataType, kDataTypeUndefined);
  EXPECT_EQ(item->length, 0);
  EXPECT_TRUE(log.HasText("[Error Code: -1037] Length is empty in XML. Name:T_Z. Func: AssignIOItemXML."));

  EXPECT_THROW(AssignIOItemXML("INPUT", doc.SelectSingleNode("/R/M"), 0, texts, nullptr, nullptr),
               qmx::xml::XmlError);
  EXPECT_EQ(AssignIOItemXML("INPUT", qmx::xml::Node(), 0, texts, nullptr, nullptr), nullptr);
}

TEST(SharedReaderTest, ValueListsAndParameterRecords) {
  LogCapture log;
  TextIdMap texts;
  texts["T_A"] = {"Alpha", ""};
  const qmx::xml::Document doc = qmx::xml::Document::LoadText(
      "<R><V ID=\"L\"><X Content=\"1\" TextId=\"T_A\" Conversion=\"c\" Unit=\"u\"/><Y Content=\"2\" "
      "TextId=\"T_B\"/></V><V ID=\"L\"><X Content=\"9\" TextId=\"T_A\"/></V>"
      "<P TextId=\"T_A\" ValueItemTarget=\"L\" DataType=\"BitArea\" BitOffset=\"2\" ByteOffset=\"3\" Length=\"4\" "
      "DefaultValue=\"5\" Changeable=\"TRUE\" Visible=\"no\" AllowedValues=\"0,15,1\"/></R>");
  ValueListMap lists;
  ReadValueItem(doc.SelectNodes("/R/V")[0], texts, lists);
  ASSERT_EQ(lists.at("L").size(), 2u);
  EXPECT_EQ(lists.at("L")[0].displayText, "Alpha");
  EXPECT_EQ(lists.at("L")[0].conversion, "c");
  EXPECT_EQ(lists.at("L")[0].unit, "u");
  EXPECT_EQ(lists.at("L")[1].displayText, "T_B");
  ReadValueItem(doc.SelectNodes("/R/V")[1], texts, lists);  // the later list of an ID replaces the earlier
  ASSERT_EQ(lists.at("L").size(), 1u);
  EXPECT_EQ(lists.at("L")[0].content, "9");

  const std::unique_ptr<ParaItem> para = ReadParameterRef(doc.SelectSingleNode("/R/P"), texts);
  EXPECT_EQ(para->category, "PARA");
  EXPECT_EQ(para->displayText, "Alpha");
  EXPECT_EQ(para->valueItemTarget, "L");
  EXPECT_EQ(para->dataType, kDataTypeBitArea);
  EXPECT_EQ(para->bitOffset, 2);
  EXPECT_EQ(para->byteOffset, 3);
  EXPECT_EQ(para->length, 4);
  EXPECT_EQ(para->defaultValue, "5");
  EXPECT_EQ(para->changeable, 1);
  EXPECT_EQ(para->visible, 0);
  EXPECT_EQ(para->allowedValues, "0,15,1");
}
