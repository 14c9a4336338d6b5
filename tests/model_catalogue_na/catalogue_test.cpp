// The adapter catalogue as a whole: the small test catalogue read end to end,
// the list file's own rules, and the shipped catalogue.
#include "app/model/AppOptions.h"
#include "tests/support/load_failure_line.h"
#include "app/model/ReaderConventions.h"
#include "app/model/IOCatalogue.h"
#include "app/model/NACatalogue.h"
#include "app/model/TextIdList.h"
#include "common/Utility.h"
#include "tests/model_catalogue_na/catalogue_helpers.h"
#include "tests/model_settings/log_capture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <set>

namespace fs = std::filesystem;
using qmx::test::CopyTestCatalogue;
using qmx::test::ErrorLines;
using qmx::test::HasCodeLine;
using qmx::test::LoadTestTexts;
using qmx::test::LogCapture;
using qmx::test::RecordingToolBox;
using qmx::test::SourcePath;
using qmx::test::TempDir;
using qmx::test::WriteFile;

namespace {

std::vector<uint8_t> Bytes(std::initializer_list<int> values) {
  std::vector<uint8_t> out;
  for (int v : values) out.push_back(static_cast<uint8_t>(v));
  return out;
}

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> out;
  size_t start = 0;
  for (;;) {
    const size_t end = text.find(separator, start);
    out.push_back(text.substr(start, end - start));
    if (end == std::string::npos) return out;
    start = end + 1;
  }
}

struct Loaded {
  TempDir dir{"na-cat"};
  TextIdMap texts = LoadTestTexts();
  LogCapture log;
  NACatalogue catalogue;
  RecordingToolBox toolBox;
  int result = 0;
  std::string listPath;

  Loaded() { CopyTestCatalogue(dir.path()); }
  void Read() {
    listPath = (dir / "listNA.xml").string();
    result = ParseNAFiles(listPath, texts, catalogue, &toolBox);
  }
};

}  // namespace

TEST(TestCatalogueTest, ReadsGroupsItemsBusTypesAndDefinitionsInOrder) {
  Loaded t;
  t.Read();
  ASSERT_EQ(t.result, 1);

  // Folders and items of the window: the unavailable product and the template
  // product get no item; IconIdx "x" reads as 0.
  ASSERT_EQ(t.toolBox.folders.size(), 2u);
  EXPECT_EQ(t.toolBox.folders[0], std::make_pair(std::string("Group One"), 0));
  EXPECT_EQ(t.toolBox.folders[1], std::make_pair(std::string("Group Two"), 0));
  ASSERT_EQ(t.toolBox.items.size(), 2u);
  EXPECT_EQ(t.toolBox.items[0].name, "Adapter A");
  EXPECT_EQ(t.toolBox.items[1].name, "Adapter B");
  for (const auto& item : t.toolBox.items) {
    EXPECT_EQ(item.folder, 0);
    EXPECT_EQ(item.image, 3);
    EXPECT_EQ(item.data, 0);
  }

  // "tcp" is the same bus type as "TCP"; the unavailable product's is not read.
  EXPECT_EQ(t.catalogue.busTypes, (std::vector<std::string>{"TCP", "Offline"}));

  ASSERT_EQ(t.catalogue.definitions.size(), 3u);
  EXPECT_EQ(t.catalogue.definitions[0]->ID, "TA-0001");
  EXPECT_EQ(t.catalogue.definitions[1]->ID, "TB-0002");
  EXPECT_EQ(t.catalogue.definitions[2]->ID, "TC-0003");
  EXPECT_EQ(t.catalogue.definitions[0]->iconIdx, 3);
  EXPECT_EQ(t.catalogue.definitions[2]->iconIdx, 0);
  EXPECT_EQ(t.catalogue.FindByID("TB-0002"), t.catalogue.definitions[1].get());
  EXPECT_EQ(t.catalogue.FindByID("nope"), nullptr);

  ASSERT_EQ(t.catalogue.groups.size(), 2u);
  ASSERT_EQ(t.catalogue.groups[0].items.size(), 2u);
  EXPECT_EQ(t.catalogue.groups[0].items[1].definition, t.catalogue.definitions[1].get());
  ASSERT_EQ(t.catalogue.groups[1].items.size(), 1u);
  const NACatalogueItem& templ = t.catalogue.groups[1].items[0];
  EXPECT_FALSE(templ.shown);
  EXPECT_EQ(templ.definition, t.catalogue.definitions[2].get());
  // The description named "testc.XML" is found without regard to case.
  EXPECT_EQ(fs::path(templ.descriptionPath).filename(), "TestC.xml");

  // The one error line is the undefined text id of a value record.
  const auto errors = ErrorLines(t.log.records());
  ASSERT_EQ(errors.size(), 1u) << errors.front().text;
  EXPECT_EQ(errors[0].text,
            "[Error Code: -1001] TextID is undefined in listTextId.xml. TextID: T_Undefined0. Func: GetTextIdValue.");

  // Start and end lines of the list and of the three descriptions.
  const auto records = t.log.records();
  EXPECT_EQ(records.front().text, "Start parsing definition file. File:" + t.listPath);
  EXPECT_EQ(records.back().text, "End parsing definition file. File:" + t.listPath + ". Result: 1");
  int starts = 0;
  int ends = 0;
  for (const auto& r : records) {
    if (r.text.rfind("Start parsing definition file.", 0) == 0) {
      ++starts;
      EXPECT_EQ(r.category, qmx::kLogDeveloper);
      EXPECT_EQ(r.source, qmx::kLogSource);
    }
    if (r.text.rfind("End parsing definition file.", 0) == 0) ++ends;
  }
  EXPECT_EQ(starts, 4);
  EXPECT_EQ(ends, 4);
}

TEST(TestCatalogueTest, AdapterAHoldsWhatItsFileHolds) {
  Loaded t;
  t.Read();
  ASSERT_EQ(t.catalogue.definitions.size(), 3u);
  const NADef& a = *t.catalogue.definitions[0];

  EXPECT_EQ(a.GetProductCode(), 0x1A2B);
  EXPECT_EQ(a.category, "NA");
  EXPECT_EQ(a.busType, "TCP");
  EXPECT_EQ(a.driverCount, "2");
  EXPECT_EQ(a.busNumber, 2);
  EXPECT_EQ(a.busTypes, (std::vector<std::string>{"RS232C"}));
  EXPECT_EQ(a.modelNameTextId, "T_TA");
  EXPECT_EQ(a.modelName, "Adapter A");
  EXPECT_EQ(a.description, "Description of adapter A");
  EXPECT_EQ(a.infoText, "Description of adapter A");  // the info text id has a blank display text
  EXPECT_EQ(a.orderNumber, "TA-ORDER");
  EXPECT_EQ(a.graphicFile, "TA");
  EXPECT_EQ(a.helpLink, "TA-help");
  EXPECT_EQ(a.factoryCommSetting, "192.168.0.10");

  // Driver entries; the byte order comes from the last driver element only.
  ASSERT_EQ(a.driverEntryCount, 2);
  EXPECT_EQ(a.driverEntries[0].commType, "TCP");
  EXPECT_EQ(a.driverEntries[0].fileName, "Tessivar");
  EXPECT_EQ(a.driverEntries[0].fileType, "dll");
  EXPECT_EQ(a.driverEntries[0].commParas, "502,250,4322,5,10,0");
  EXPECT_EQ(a.driverEntries[1].commType, "RS232C");
  EXPECT_EQ(a.commTypeMap.size(), 2u);
  EXPECT_EQ(a.byteOrderMode, 1);
  EXPECT_EQ(a.GetCommTypeCode("TCP"), kCommTcp);
  EXPECT_EQ(a.GetCommTypeCode("RS232C"), kCommNoDriver);  // its file type is blank
  EXPECT_EQ(a.GetCommTypeCode("tcp"), kCommNoDriver);     // the map look-up is exact
  EXPECT_EQ(a.GetCommTypeCode("RS485"), kCommNoDriver);   // not listed

  // Specification.
  EXPECT_EQ(a.hardwareVer.textId, "T_Spec");
  EXPECT_EQ(a.hardwareVer.displayText, "Spec");
  EXPECT_EQ(a.hardwareVer.description, "Spec description");
  EXPECT_EQ(a.hardwareVer.value, "2.1");
  EXPECT_EQ(a.maxNodes.displayText, "T_SpecNoText");
  EXPECT_EQ(a.maxNodes.visible, 1);
  EXPECT_EQ(a.inputMaxSize.unit, "Byte");
  EXPECT_EQ(a.outputMaxSize.visible, 0);
  EXPECT_EQ(a.ioMaxDataSize.value, "384");
  EXPECT_EQ(a.dimension.value, "70");
  EXPECT_EQ(a.dimensionHeight, "100");
  EXPECT_EQ(a.dimensionWidth, "45");
  EXPECT_EQ(a.powerDissipation.value, "110");
  EXPECT_EQ(a.maxPowerForIOs.value, "1500");
  EXPECT_EQ(a.maxExpansion.value, "32");
  EXPECT_EQ(a.settableNodeAddrRange.value, "1,32");
  ASSERT_EQ(a.moreSpecItems.size(), 2u);
  EXPECT_EQ(a.moreSpecItems[0].value, "first");
  EXPECT_EQ(a.moreSpecItems[0].unit, "u1");
  EXPECT_EQ(a.moreSpecItems[1].visible, 0);

  // The communication-init block: offsets are the running sums of the sizes,
  // the layout text names each item as the file writes it, and the default
  // image holds every default in byte order 1 (16-bit pairs swapped).
  ASSERT_EQ(a.blockItems[kMonInit].size(), 9u);
  const std::vector<int> offsets = {0, 1, 2, 4, 8, 10, 14, 17, 21};
  for (size_t i = 0; i < offsets.size(); ++i) {
    EXPECT_EQ(a.blockItems[kMonInit][i]->byteOffset, offsets[i]) << i;
    EXPECT_EQ(a.blockItems[kMonInit][i]->category, "MON_INIT");
  }
  EXPECT_EQ(a.blockLength[kMonInit], 23);
  EXPECT_EQ(a.blockFreq[kMonInit], 0);
  EXPECT_EQ(a.blockLayout[kMonInit],
            "I8,Integer8,1\tU8,unsigned8,1\tU16,Unsigned16,1\tI32,Integer32,1\tF16,Float16,1\tStr,String,4\t"
            "BA,ByteArea,3\tIP,IPAddr,4\tInputMode,Unsigned16,1");
  EXPECT_EQ(a.blockDefaultImage[kMonInit], Bytes({0xFE, 0x2C, 0x12, 0x34, 0xFF, 0xFE, 0xFF, 0xFF, 0x00, 0x18, 0x42, 0x41,
                                                  0x00, 0x00, 0x02, 0x01, 0x03, 0xA8, 0xC0, 0x0A, 0x01, 0x00, 0x02}));
  const ParaItem* mode = a.GetMonitoringMapInfo(kMonInit, "inputmode");
  ASSERT_NE(mode, nullptr);
  EXPECT_EQ(mode->defaultValue, "2");
  EXPECT_EQ(mode->changeable, 1);
  EXPECT_EQ(mode->allowedValues, "0,3,1");
  EXPECT_EQ(mode->dataType, kDataTypeUnsigned16);

  // The cyclic block has items and a layout but no default image.
  ASSERT_EQ(a.blockItems[kMonFreq].size(), 2u);
  EXPECT_EQ(a.blockItems[kMonFreq][1]->byteOffset, 2);
  EXPECT_EQ(a.blockItems[kMonFreq][1]->category, "MON_FREQ");
  EXPECT_EQ(a.blockLength[kMonFreq], 4);
  EXPECT_EQ(a.blockFreq[kMonFreq], 500);
  EXPECT_EQ(a.blockLayout[kMonFreq], "BusStatus,ByteArea,2\tActiveSlotNo,Unsigned16,1");
  EXPECT_TRUE(a.blockDefaultImage[kMonFreq].empty());

  // Value lists.
  ASSERT_EQ(a.valueLists.size(), 2u);
  const ValueList& range = a.valueLists.at("VL_Range");
  ASSERT_EQ(range.size(), 2u);
  EXPECT_EQ(range[1].content, "1");
  EXPECT_EQ(range[1].displayText, "Value");
  EXPECT_EQ(range[1].conversion, "Resolution:0.01,0,1000,0,10");
  EXPECT_EQ(range[1].unit, "mA");
  const ValueList& units = a.valueLists.at("VL_Unit");
  ASSERT_EQ(units.size(), 2u);
  EXPECT_EQ(units[0].displayText, "T_Undefined0");
  EXPECT_EQ(units[0].unit, "degC");
  EXPECT_EQ(units[1].conversion, "");
  EXPECT_EQ(units[1].unit, "");

  // Parameters: "0x12, 0x34" is 12 34, stored in byte order 1.
  EXPECT_EQ(a.paraIndex, 7);
  EXPECT_EQ(a.paraLength, 2);
  EXPECT_EQ(a.defaultParaImage, Bytes({0x34, 0x12}));
  ASSERT_EQ(a.paraItems.size(), 2u);
  EXPECT_EQ(a.paraItems[0]->category, "PARA");
  EXPECT_EQ(a.paraItems[0]->displayText, "Para");
  EXPECT_EQ(a.paraItems[0]->allowedValues, "0,1,1");
  EXPECT_EQ(a.paraItems[1]->dataType, kDataTypeBit);
  EXPECT_EQ(a.paraItems[1]->bitOffset, 3);
  EXPECT_EQ(a.paraItems[1]->byteOffset, 1);
  EXPECT_EQ(a.paraItems[1]->changeable, 0);
  EXPECT_EQ(a.paraItems[1]->visible, 0);
  EXPECT_EQ(a.paraItems[1]->displayText, "T_SpecNoText");

  // I/O data with their conversions.
  EXPECT_EQ(a.inputLength, 6);
  EXPECT_EQ(a.outputLength, 2);
  ASSERT_EQ(a.inputItems.size(), 3u);
  const IOItem& linear = *a.inputItems[0];
  EXPECT_EQ(linear.kind, "INPUT");
  EXPECT_EQ(linear.channelType, "AI");
  EXPECT_EQ(linear.displayText, "Input");
  EXPECT_EQ(linear.unit, "V");
  EXPECT_EQ(linear.convKind, kConvLinear);
  EXPECT_FLOAT_EQ(linear.rawHigh, 32000.0f);
  EXPECT_FLOAT_EQ(linear.engLow, 4.0f);
  EXPECT_FLOAT_EQ(linear.engHigh, 20.0f);
  const IOItem& byPara = *a.inputItems[1];
  EXPECT_EQ(byPara.byteOffset, 2);
  EXPECT_EQ(byPara.convKind, kConvByParaVal);
  EXPECT_EQ(byPara.rangePara, a.paraItems[0].get());
  EXPECT_EQ(byPara.unitPara, a.paraItems[1].get());
  ASSERT_EQ(byPara.rangesByValue.size(), 2u);
  EXPECT_FLOAT_EQ(byPara.rangesByValue.at(0).resolution, 0.1f);
  EXPECT_FLOAT_EQ(byPara.rangesByValue.at(1).engHigh, 10.0f);
  EXPECT_EQ(byPara.rangesByValue.at(1).unit, "mA");
  EXPECT_EQ(byPara.unitsByValue, (std::map<std::string, std::string>{{"0", "degC"}, {"1", ""}}));
  EXPECT_EQ(a.paraItems[0]->convPara, 1);
  EXPECT_EQ(a.paraItems[1]->convPara, 1);
  EXPECT_EQ(a.convByPara, 1);
  const IOItem& bits = *a.inputItems[2];
  EXPECT_EQ(bits.byteOffset, 4);
  EXPECT_EQ(bits.dataType, kDataTypeBitArea);
  EXPECT_EQ(bits.length, 8);
  EXPECT_EQ(bits.visible, 0);
  EXPECT_EQ(bits.convKind, kConvNone);
  ASSERT_EQ(a.outputItems.size(), 1u);
  EXPECT_EQ(a.outputItems[0]->kind, "OUTPUT");
  EXPECT_EQ(a.outputItems[0]->byteOffset, 0);
}

TEST(TestCatalogueTest, AdaptersBAndCKeepTheDefaultsOfWhatTheirFilesLeaveOut) {
  Loaded t;
  t.Read();
  ASSERT_EQ(t.catalogue.definitions.size(), 3u);
  const NADef& b = *t.catalogue.definitions[1];
  EXPECT_EQ(b.GetProductCode(), 0x2B3C);  // written without "0x"
  EXPECT_EQ(b.infoText, "Info of adapter B");
  EXPECT_TRUE(b.busTypes.empty());
  EXPECT_EQ(b.byteOrderMode, 0);
  EXPECT_EQ(b.blockLength[kMonInit], 12);
  EXPECT_EQ(b.blockDefaultImage[kMonInit],
            Bytes({0x00, 0x00, 0x03, 0x00, 0x0A, 0x00, 0x00, 0x02, 0xA0, 0x86, 0x01, 0x00}));
  EXPECT_EQ(b.defaultParaImage, Bytes({0x01, 0x00}));
  EXPECT_EQ(b.ioMaxDataSize.value, "128");
  EXPECT_EQ(b.settableNodeAddrRange.textId, "");

  const NADef& c = *t.catalogue.definitions[2];
  EXPECT_EQ(c.GetProductCode(), 0x00C3);
  EXPECT_EQ(c.modelName, "T_TC");  // the text id has an empty display text
  EXPECT_EQ(c.infoText, "Description of adapter C");
  EXPECT_EQ(c.GetCommTypeCode("Offline"), kCommNone);
  EXPECT_EQ(c.factoryCommSetting, "");
  EXPECT_EQ(c.ioMaxDataSize.textId, "");
  EXPECT_TRUE(c.moreSpecItems.empty());
  for (int block : {kMonInit, kMonFreq}) {
    EXPECT_TRUE(c.blockItems[static_cast<size_t>(block)].empty());
    EXPECT_EQ(c.blockLength[static_cast<size_t>(block)], 0);
    EXPECT_TRUE(c.blockLayout[static_cast<size_t>(block)].empty());
  }
  EXPECT_EQ(c.DefaultMonInitImage(), nullptr);
  // A Parameters element without attributes skips the whole parameter part.
  EXPECT_EQ(c.paraLength, 0);
  EXPECT_TRUE(c.paraItems.empty());
  EXPECT_EQ(c.DefaultParaImage(), nullptr);
  EXPECT_EQ(c.inputLength, 0);
  EXPECT_TRUE(c.inputItems.empty());
  EXPECT_TRUE(c.outputItems.empty());
}

TEST(AdapterListTest, AListThatDoesNotLoadIsReportedAndStopsTheChain) {
  TempDir dir("na-list");
  const TextIdMap texts;
  const std::string malformed = (dir / "broken.xml").string();
  WriteFile(malformed, "<CouplerList><Group></CouplerList>");
  for (const std::string& path : {(dir / "missing.xml").string(), malformed}) {
    LogCapture log;
    NACatalogue catalogue;
    RecordingToolBox toolBox;
    EXPECT_EQ(ParseNAFiles(path, texts, catalogue, &toolBox), 0);
    const auto records = log.records();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[1].category, qmx::kLogError);
    EXPECT_TRUE(IsLoadFailureLine(records[1].text, path)) << records[1].text;
    ASSERT_EQ(LogCapture::Boxes().size(), 1u);
    EXPECT_EQ(LogCapture::Boxes()[0].first,
              "Cannot open the file. Check if the file exists or using.\nXML File: " + path + ".");
    EXPECT_TRUE(toolBox.folders.empty());
  }
}

// Every list reader given a well-formed file of another kind (whose paths
// would all select nothing) refuses it as a list that does not load, with
// one line that names the file and what it holds, instead of reading an
// empty list that every later look-up then misses.
TEST(ListFilesTest, AFileOfAnotherKindIsRefusedNamingWhatItHolds) {
  TempDir dir("lists");
  const TextIdMap texts;
  const struct {
    const char* reader;
    const char* list;  // the document element the reader expects
    const char* held;  // the document element the file has
    std::function<int(const std::string&)> read;
  } cases[] = {
      {"adapters", "CouplerList", "IOList",
       [&](const std::string& path) {
         NACatalogue catalogue;
         return ParseNAFiles(path, texts, catalogue);
       }},
      {"modules", "IOList", "CouplerList",
       [&](const std::string& path) {
         IOCatalogue catalogue;
         return ParseIOFiles(path, texts, catalogue);
       }},
      {"text ids", "TextList", "ErrorList",
       [](const std::string& path) {
         TextIdMap map;
         return ParseTextIdFile(path, map);
       }},
      {"errors", "ErrorList", "ProjectDef",
       [](const std::string& path) {
         ErrorMap map;
         return ParseErrorFile(path, map);
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.reader);
    const std::string path = (dir / (std::string(c.reader) + ".xml")).string();
    WriteFile(path, std::string("<?xml version=\"1.0\"?>\r\n<") + c.held + ">\r\n<Group Category=\"T\" IconIdx=\"0\"/>\r\n</" +
                        c.held + ">\r\n");
    LogCapture log;
    EXPECT_EQ(c.read(path), 0);
    const auto lines = ErrorLines(log.records());
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].text, "[Error Code: -1027] Cannot open the file. Check if the file exists or using. XML File: " +
                                 path + ". Cause: The file holds a <" + c.held + "> document, not a <" + c.list +
                                 "> list.");
    ASSERT_EQ(LogCapture::Boxes().size(), 1u);
    EXPECT_EQ(LogCapture::Boxes()[0].first,
              "Cannot open the file. Check if the file exists or using.\nXML File: " + path + ".");
  }
}

TEST(AdapterListTest, AListWithoutGroupsStillLogsStartAndEnd) {
  TempDir dir("na-list");
  LogCapture log;
  const std::string path = (dir / "listNA.xml").string();
  WriteFile(path, "<?xml version=\"1.0\"?>\r\n<CouplerList>\r\n<!-- nothing yet -->\r\n</CouplerList>\r\n");
  NACatalogue catalogue;
  EXPECT_EQ(ParseNAFiles(path, {}, catalogue), 1);
  const auto records = log.records();
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].text, "Start parsing definition file. File:" + path);
  EXPECT_EQ(records[1].text, "End parsing definition file. File:" + path + ". Result: 1");
  EXPECT_TRUE(catalogue.groups.empty());
  EXPECT_TRUE(catalogue.definitions.empty());
}

TEST(AdapterListTest, AProductWhoseDescriptionIsMissingKeepsItsItem) {
  Loaded t;
  qmx::test::ApplyMutation(t.dir / "listNA.xml", {"/CouplerList/Group[1]/ItemRef[2]", "DefineFileName", "Gone.xml"});
  t.Read();
  EXPECT_EQ(t.result, 1);
  ASSERT_EQ(t.toolBox.items.size(), 2u);
  EXPECT_EQ(t.toolBox.items[1].name, "Adapter B");
  ASSERT_EQ(t.catalogue.definitions.size(), 2u);
  EXPECT_EQ(t.catalogue.groups[0].items[1].definition, nullptr);
  const std::string gone = (t.dir / "NA" / "Gone.xml").string();
  EXPECT_TRUE(HasCodeLine(t.log.records(), -6001, "Func:ParseNA. Loc:/CouplerProfile/DeviceInfo. xml file: " + gone));
  EXPECT_TRUE(t.log.HasText("End parsing definition file. File:" + gone + ". Result: 1"));
}

// ---- the shipped catalogue --------------------------------------------------------

namespace {

// The registers the driver accepts in an Init-CommBlock of the QMX-410 models:
// name, data type and the count the block must name.
const std::map<std::string, std::pair<std::string, std::string>>& DriverRegisters() {
  static const std::map<std::string, std::pair<std::string, std::string>> registers = {
      {"ExpansionSlotNo", {"Unsigned16", "1"}}, {"ActiveSlotNo", {"Unsigned16", "1"}},
      {"InactiveSlotNo", {"Unsigned16", "1"}},  {"InactiveSlots", {"ByteArea", "4"}},
      {"LiveSlots", {"ByteArea", "4"}},         {"AlarmSlots", {"ByteArea", "4"}},
      {"BusStatus", {"ByteArea", "2"}},         {"FieldPwrStatus", {"ByteArea", "2"}},
      {"WatchdogErr", {"ByteArea", "2"}},       {"InputMode", {"Unsigned16", "1"}},
      {"OutputMode", {"Unsigned16", "1"}},      {"Firmware", {"ByteArea", "2"}},
      {"FirmwareDate", {"ByteArea", "4"}},      {"WatchdogTime", {"Unsigned16", "1"}},
      {"TCPConnectionTimeOut", {"Unsigned16", "1"}}, {"GatewayAddress", {"ByteArea", "4"}},
      {"SubnetMask", {"ByteArea", "4"}},        {"MacAddress", {"ByteArea", "6"}},
      {"IPSettingMethod", {"Unsigned16", "1"}}, {"CCLink_IE_Network_No", {"ByteArea", "2"}},
      {"CCLink_IE_Station", {"ByteArea", "2"}}, {"DipSwitch", {"ByteArea", "2"}},
      {"IOUpdateTime", {"Unsigned16", "1"}},
  };
  return registers;
}

struct Shipped {
  LogCapture log;
  TextIdMap texts;
  NACatalogue catalogue;
  RecordingToolBox toolBox;
  int textResult = 0;
  int result = 0;
  Shipped() {
    textResult = ParseTextIdFile(SourcePath("resources/QMX410Tools/Products/listTextIdEng.xml").string(), texts);
    result = ParseNAFiles(NAListPath(SourcePath("resources/QMX410Tools").string()), texts, catalogue, &toolBox);
  }
  const NADef& Def(const std::string& id) const {
    const NADef* def = catalogue.FindByID(id);
    if (!def) throw std::runtime_error("no definition " + id);
    return *def;
  }
};

}  // namespace

TEST(ShippedCatalogueTest, LoadsCompletelyWithoutAnErrorLine) {
  Shipped s;
  ASSERT_EQ(s.textResult, 1);
  ASSERT_EQ(s.result, 1);
  for (const auto& r : s.log.records()) {
    EXPECT_NE(r.category, qmx::kLogError) << r.text;
    EXPECT_EQ(r.text.find("[Warning"), std::string::npos) << r.text;
  }
  // The hidden template adapter (product code 0) brings the RS422 bus type.
  ASSERT_EQ(s.catalogue.definitions.size(), 5u);
  EXPECT_EQ(s.catalogue.busTypes, (std::vector<std::string>{"TCP", "RS485", "RS232C", "RS422", "POWERLINK"}));
  // Documentation and the scan's messages show each bus type by its text.
  for (const std::string& bus : s.catalogue.busTypes) EXPECT_EQ(s.texts.count(bus), 1u) << bus;
  EXPECT_EQ(s.Def("NAxxxx").GetProductCode(), 0);
  EXPECT_EQ(s.Def("NAxxxx").modelName, "Adapter template");

  ASSERT_EQ(s.toolBox.folders.size(), 3u);
  EXPECT_EQ(s.toolBox.folders[0].first, "Modbus TCP Adapters");
  EXPECT_EQ(s.toolBox.folders[1].first, "Modbus RTU Adapters");
  EXPECT_EQ(s.toolBox.folders[2].first, "POWERLINK Adapters");
  ASSERT_EQ(s.toolBox.items.size(), 4u);
  const std::vector<std::pair<std::string, int>> items = {
      {"QMX-4101", 0}, {"QMX-4105", 1}, {"QMX-4102", 1}, {"QMX-4109", 2}};
  for (size_t i = 0; i < items.size(); ++i) {
    EXPECT_EQ(s.toolBox.items[i].name, items[i].first);
    EXPECT_EQ(s.toolBox.items[i].image, items[i].second);
    EXPECT_EQ(s.toolBox.items[i].folder, items[i].second);
  }
}

TEST(ShippedCatalogueTest, IdentityAndDriverEntries) {
  Shipped s;
  struct Row {
    const char* id;
    uint16_t code;
    const char* busType;
    std::vector<std::pair<std::string, int>> types;  // communication type -> code
  };
  const Row rows[] = {
      {"QMX-4101", 0x4101, "TCP", {{"TCP", kCommTcp}, {"RS485", kCommNoDriver}}},
      {"QMX-4105", 0x4105, "RS485", {{"RS485", kCommRs485}, {"RS422", kCommRs422}, {"TCP", kCommNoDriver}}},
      {"QMX-4102", 0x4102, "RS232C", {{"RS232C", kCommRs232c}}},
      {"QMX-4109", 0x4109, "POWERLINK", {{"POWERLINK", kCommNoDriver}, {"Offline", kCommNoDriver}}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.id);
    const NADef& def = s.Def(row.id);
    EXPECT_EQ(def.GetProductCode(), row.code);
    EXPECT_EQ(def.busType, row.busType);
    EXPECT_EQ(def.modelName, row.id);
    EXPECT_EQ(def.graphicFile, row.id);
    EXPECT_FALSE(def.description.empty());
    EXPECT_FALSE(def.infoText.empty());
    EXPECT_EQ(def.byteOrderMode, 0);
    EXPECT_EQ(def.CheckCommTypes(), 1);
    for (const auto& [type, code] : row.types) EXPECT_EQ(def.GetCommTypeCode(type), code) << type;
    for (int i = 0; i < def.driverEntryCount; ++i) {
      const CommDriverEntry& entry = def.driverEntries[static_cast<size_t>(i)];
      if (entry.fileName.empty()) continue;
      EXPECT_EQ(entry.fileName, "Tessivar");
      EXPECT_EQ(entry.fileType, "dll");
      // The channel text is the address (TCP) or port and four serial fields,
      // then these parameters: 7 fields for TCP, 6 for the serial buses.
      const int fields = GetCharCount(entry.commParas, ',');
      EXPECT_EQ(entry.commType == "TCP" ? 1 + fields : 1 + 4 + fields, entry.commType == "TCP" ? 7 : 6);
    }
  }
  EXPECT_EQ(s.Def("QMX-4105").busTypes, (std::vector<std::string>{"RS422"}));
  EXPECT_EQ(s.Def("QMX-4105").settableNodeAddrRange.value, "1,99");
  EXPECT_EQ(s.Def("QMX-4102").settableNodeAddrRange.value, "1,247");
  EXPECT_EQ(s.Def("QMX-4101").ioMaxDataSize.textId, "T_IOMaxDataSize");
}

TEST(ShippedCatalogueTest, CommInitBlocksNameTheDriversRegisters) {
  Shipped s;
  for (const auto& def : s.catalogue.definitions) {
    SCOPED_TRACE(def->ID);
    std::set<std::string> keys;
    for (const auto& item : def->blockItems[kMonInit]) keys.insert(item->key);
    EXPECT_EQ(keys.size(), def->blockItems[kMonInit].size()) << "a key twice";
    for (const char* key : {"InputMode", "OutputMode", "BusStatus", "FieldPwrStatus", "ExpansionSlotNo"}) {
      EXPECT_TRUE(keys.count(key)) << key;
    }
    // Every entry of the layout text the driver parses is one of its registers
    // with the register's data type and count.
    for (int block : {kMonInit, kMonFreq}) {
      const std::string& layout = def->blockLayout[static_cast<size_t>(block)];
      if (layout.empty()) continue;
      for (const std::string& entry : Split(layout, '\t')) {
        const std::vector<std::string> fields = Split(entry, ',');
        ASSERT_EQ(fields.size(), 3u) << entry;
        const auto it = DriverRegisters().find(fields[0]);
        ASSERT_NE(it, DriverRegisters().end()) << entry;
        EXPECT_EQ(fields[1], it->second.first) << entry;
        EXPECT_EQ(fields[2], it->second.second) << entry;
      }
    }
    // Value lists the items name exist.
    for (int block : {kMonInit, kMonFreq}) {
      for (const auto& item : def->blockItems[static_cast<size_t>(block)]) {
        if (!item->valueItemTarget.empty()) {
          EXPECT_TRUE(def->valueLists.count(item->valueItemTarget)) << item->key;
        }
      }
    }
    for (const auto& item : def->paraItems) {
      if (!item->valueItemTarget.empty()) {
        EXPECT_TRUE(def->valueLists.count(item->valueItemTarget)) << item->textId;
      }
    }
  }
  EXPECT_EQ(s.Def("QMX-4101").blockItems[kMonInit].size(), 21u);
  EXPECT_EQ(s.Def("QMX-4101").blockLength[kMonInit], 58);
  EXPECT_NE(s.Def("QMX-4101").GetMonitoringMapInfo(kMonInit, "TCPConnectionTimeOut"), nullptr);
  EXPECT_EQ(s.Def("QMX-4105").blockItems[kMonInit].size(), 16u);
  EXPECT_EQ(s.Def("QMX-4105").blockItems[kMonFreq].size(), 9u);
  EXPECT_NE(s.Def("QMX-4105").FindCommInitParaByID("T_ExpansionSlotNo"), nullptr);
}

TEST(ShippedCatalogueTest, DefaultImagesHoldTheItemsDefaults) {
  Shipped s;
  for (const auto& def : s.catalogue.definitions) {
    SCOPED_TRACE(def->ID);
    const std::vector<uint8_t>* init = def->DefaultMonInitImage();
    ASSERT_NE(init, nullptr);
    ASSERT_EQ(static_cast<int>(init->size()), def->blockLength[kMonInit]);
    // The image modes the driver gets by default: input 2, output 0.
    const ParaItem* input = def->GetMonitoringMapInfo(kMonInit, "InputMode");
    const ParaItem* output = def->GetMonitoringMapInfo(kMonInit, "OutputMode");
    ASSERT_NE(input, nullptr);
    ASSERT_NE(output, nullptr);
    EXPECT_EQ((*init)[input->byteOffset], 2);
    EXPECT_EQ((*init)[input->byteOffset + 1u], 0);
    EXPECT_EQ((*init)[output->byteOffset], 0);
    EXPECT_EQ(def->valueLists.at(input->valueItemTarget).size(), 4u);
    EXPECT_EQ(def->valueLists.at(output->valueItemTarget).size(), 2u);

    // The parameter image and each parameter's default agree.
    const std::vector<uint8_t>* para = def->DefaultParaImage();
    ASSERT_NE(para, nullptr);
    ASSERT_EQ(static_cast<int>(para->size()), def->paraLength);
    for (const auto& item : def->paraItems) {
      SCOPED_TRACE(item->textId);
      const int expected = qmx::reader::DecimalTextToInt(item->defaultValue);
      const uint8_t* at = para->data() + item->byteOffset;
      switch (item->dataType) {
        case kDataTypeBit:
          EXPECT_EQ((at[0] >> item->bitOffset) & 1, expected);
          break;
        case kDataTypeUnsigned8:
          EXPECT_EQ(at[0], expected);
          break;
        case kDataTypeUnsigned16:
          EXPECT_EQ(at[0] | (at[1] << 8), expected);
          break;
        default:
          ADD_FAILURE() << "type " << item->dataType;
      }
    }
  }
  const NADef& tcp = s.Def("QMX-4101");
  const ParaItem* watchdog = tcp.GetMonitoringMapInfo(kMonInit, "WatchdogTime");
  ASSERT_NE(watchdog, nullptr);
  EXPECT_EQ(tcp.blockDefaultImage[kMonInit][watchdog->byteOffset], 0xF4);  // 500
  EXPECT_EQ(tcp.blockDefaultImage[kMonInit][watchdog->byteOffset + 1u], 0x01);
  EXPECT_EQ(tcp.defaultParaImage, (std::vector<uint8_t>{0x00, 0x03, 0x00, 0x00}));
}

TEST(ShippedCatalogueTest, EveryAdapterHasItsPictures) {
  Shipped s;
  const fs::path images = SourcePath("resources/QMX410Tools/Image");
  for (const auto& def : s.catalogue.definitions) {
    for (const std::string& name : {def->graphicFile + ".bmp", def->graphicFile + "-OFF.bmp"}) {
      const std::string bytes = qmx::test::ReadFile(images / name);
      ASSERT_GT(bytes.size(), 54u) << name;
      EXPECT_EQ(bytes.substr(0, 2), "BM") << name;
    }
  }
}
