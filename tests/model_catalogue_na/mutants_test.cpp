// Mutants of the small test catalogue: one attribute or element of adapter
// B's description (or of the list) deleted or corrupted, selected by XPath.
// Each reading must stop where the catalogue's rules say, log the code and
// the place, and keep the definitions read before (A) and after (C).
#include "app/model/NACatalogue.h"
#include "tests/model_catalogue_na/catalogue_helpers.h"
#include "tests/model_settings/log_capture.h"

#include <gtest/gtest.h>

#include <functional>

namespace fs = std::filesystem;
using qmx::test::ApplyMutation;
using qmx::test::CopyTestCatalogue;
using qmx::test::HasCodeLine;
using qmx::test::LoadTestTexts;
using qmx::test::LogCapture;
using qmx::test::Mutation;
using qmx::test::RecordingToolBox;
using qmx::test::TempDir;

namespace {

constexpr const char* kInfo = "/CouplerProfile/DeviceInfo";
constexpr const char* kGeneral = "/CouplerProfile/DeviceInfo/General";
constexpr const char* kSpec = "/CouplerProfile/DeviceInfo/Specification";

struct DescriptionMutant {
  Mutation mutation;
  int code;              // the code of the line that must be logged (0: no error line at all)
  std::string location;  // text that the line names
  bool registered;       // whether B's definition is kept
};

std::string P(const char* base, const char* rest) { return std::string(base) + rest; }

std::vector<DescriptionMutant> DescriptionMutants() {
  const std::string g = kGeneral;
  const std::string s = kSpec;
  return {
      // Identity and bus types: an XML failure at the DeviceInfo element.
      {{kInfo, nullptr, nullptr}, -6001, "Loc:/CouplerProfile/DeviceInfo. ", false},
      {{kInfo, "ID", nullptr}, -6001, "Invalid pointer. Func:ParseNA. Loc:/CouplerProfile/DeviceInfo. ", false},
      {{kInfo, "DeviceID", nullptr}, -6001, "Loc:/CouplerProfile/DeviceInfo. ", false},
      {{kInfo, "BusNum", nullptr}, -6001, "Loc:/CouplerProfile/DeviceInfo. ", false},
      {{kInfo, "BusNum", "2"}, -6001, "Loc:/CouplerProfile/DeviceInfo. ", false},  // no BusType1
      // General section.
      {{P(kGeneral, "/Name"), nullptr, nullptr}, -6001, "Loc:" + g + "/Name. ", false},
      {{P(kGeneral, "/Name"), "TextId", nullptr}, -6001, "Loc:" + g + "/Name. ", false},
      {{P(kGeneral, "/InfoText"), "TextId", nullptr}, -6001, "Loc:" + g + "/InfoText. ", false},
      {{P(kGeneral, "/OrderNumber"), "Value", nullptr}, -6001, "Loc:" + g + "/OrderNumber. ", false},
      {{P(kGeneral, "/GraphicFile"), nullptr, nullptr}, -6001, "Loc:" + g + "/GraphicFile. ", false},
      {{P(kGeneral, "/HelpLink"), "Value", nullptr}, -6001, "Loc:" + g + "/HelpLink. ", false},
      {{P(kGeneral, "/CommDriver1"), nullptr, nullptr}, -6001, "Loc:" + g + "/CommDriver1. ", false},
      {{P(kGeneral, "/CommDriver1"), "CommParas", nullptr}, -6001, "Loc:" + g + "/CommDriver1. ", false},
      {{P(kGeneral, "/CommDriver1"), "FileName", nullptr}, -6001, "Loc:" + g + "/CommDriver1. ", false},
      {{P(kGeneral, "/FactorySetting"), "Communicate", nullptr}, -6001, "Loc:" + g + "/FactorySetting. ",
       false},
      {{P(kGeneral, "/FactorySetting"), nullptr, nullptr}, 0, "", true},
      {{P(kGeneral, "/CommDriver1"), "CommType", "Profibus"}, -4001,
       "Value: Profibus. Loc: " + g + "/CommDriver1. Func: MultiParseNAofCommDrivers.", true},
      {{P(kGeneral, "/CommDriver1"), "MemoryOrder", "7"}, -4001, "Value: 7. Loc: " + g + "/CommDriver1.",
       true},
      {{P(kGeneral, "/CommDriver1"), "MemoryOrder", nullptr}, 0, "", true},
      // Specification: most missing items are logged and the reading goes on.
      {{P(kSpec, "/MaxNodes"), nullptr, nullptr}, -4000,
       "Loc:" + s + "/MaxNodes. Func: AssignSpecInfoXML. xml file: ", true},
      {{P(kSpec, "/HardwareVer"), nullptr, nullptr}, -4000, "Loc:" + s + "/HardwareVer.", true},
      {{P(kSpec, "/MaxExpansion"), nullptr, nullptr}, -4000, "Loc:" + s + "/MaxExpansion.", true},
      {{P(kSpec, "/IOMaxDataSize"), nullptr, nullptr}, 0, "", true},
      {{P(kSpec, "/Dimension"), nullptr, nullptr}, -6001, "Loc:" + s + "/Dimension. ", false},
      {{P(kSpec, "/Dimension"), "Height", nullptr}, -6001, "Loc:" + s + "/Dimension. ", false},
      {{P(kSpec, "/HardwareVer"), "Value", nullptr}, -6001, "Loc:" + s + "/HardwareVer. ", false},
      {{P(kSpec, "/IOMaxDataSize"), "Visible", nullptr}, -6001, "Loc:" + s + "/IOMaxDataSize. ", false},
      {{P(kSpec, "/Items/Ref[1]"), "Unit", nullptr}, -6001, "Loc:" + s + "/Items/Ref. ", false},
      {{P(kSpec, "/Items"), nullptr, nullptr}, 0, "", true},
      // Monitoring blocks.
      {{P(kInfo, "/Monitoring/CommBlock[1]"), "Freq", nullptr}, -6001, "Loc:CommBlock. ", false},
      {{P(kInfo, "/Monitoring/CommBlock[1]"), "InitOnly", nullptr}, -6001, "Loc:CommBlock. ", false},
      {{P(kInfo, "/Monitoring/CommBlock[1]/Item[2]"), "Type", nullptr}, -6001, "Loc:CommBlock. ", false},
      {{P(kInfo, "/Monitoring/CommBlock[1]/Item[4]"), "AllowedValues", nullptr}, -6001, "Loc:CommBlock. ",
       false},
      {{P(kInfo, "/Monitoring/CommBlock[1]/Item[2]"), "DataType", "Float32"}, -4005,
       "Unsupported datatype in XML. Float32. Func: AssignCommBlockInitVal.", true},
      {{P(kInfo, "/Monitoring/CommBlock[1]/Item[3]"), "Length", "0"}, -4001,
       "Default value does not fit in CommBlock. Key: Address. DataType: IPAddr. Length: 0. ByteOffset: 4.", true},
      {{P(kInfo, "/Monitoring/CommBlock[1]/Item[4]"), "AllowedValues", "0,1"}, -4006,
       "Parameter's allowed value format is invalid in XML. 0,1. Parameter: T_Item.", true},
      {{P(kInfo, "/Monitoring"), nullptr, nullptr}, 0, "", true},
      // Value lists.
      {{P(kInfo, "/ValueList/ValueItem[1]"), "ID", nullptr}, -6001, "Loc:Value List. ", false},
      {{P(kInfo, "/ValueList/ValueItem[1]/Value[2]"), "Content", nullptr}, -6001, "Loc:Value List. ", false},
      {{P(kInfo, "/ValueList/ValueItem[1]/Value[1]"), "TextId", nullptr}, -6001, "Loc:Value List. ", false},
      // Parameters: the three required elements end with -4000.
      {{P(kInfo, "/Parameters"), nullptr, nullptr}, -4000,
       "Node does not defined. Loc:/CouplerProfile/DeviceInfo/Parameters. Func: ParseNA. xml file: ", false},
      {{P(kInfo, "/Parameters/Name"), nullptr, nullptr}, -4000,
       "Loc:/CouplerProfile/DeviceInfo/Parameters/Name. Func: ParseNA.", false},
      {{P(kInfo, "/Parameters/Const"), nullptr, nullptr}, -4000,
       "Loc:/CouplerProfile/DeviceInfo/Parameters/Const. Func: ParseNA.", false},
      {{P(kInfo, "/Parameters"), "Length", nullptr}, -6001, "Loc:/CouplerProfile/DeviceInfo/Parameters. ",
       false},
      {{P(kInfo, "/Parameters/Name"), "TextId", nullptr}, -6001,
       "Loc:/CouplerProfile/DeviceInfo/Parameters. ", false},
      {{P(kInfo, "/Parameters/Const"), "Data", nullptr}, -6001, "Loc:/CouplerProfile/DeviceInfo/Parameters. ",
       false},
      {{P(kInfo, "/Parameters/Ref[1]"), "ByteOffset", nullptr}, -6001,
       "Loc:/CouplerProfile/DeviceInfo/Parameters/Ref. ", false},
      {{P(kInfo, "/Parameters/Const"), "Data", "0x12"}, 0, "", true},
      // I/O data.
      {{P(kInfo, "/IOData"), "OutputLength", nullptr}, -6001, "Loc:/CouplerProfile/DeviceInfo/IOData. ",
       false},
      {{P(kInfo, "/IOData/Input/Item[1]"), "ChannelType", nullptr}, -6001,
       "Loc:/CouplerProfile/DeviceInfo/IOData/Input. ", false},
      {{P(kInfo, "/IOData/Output/Item[1]"), "Visible", nullptr}, -6001,
       "Loc:/CouplerProfile/DeviceInfo/IOData/Output. ", false},
      {{P(kInfo, "/IOData/Input/Item[2]"), "Length", "0"}, -1037,
       "Length is empty in XML. Name:T_In. Func: AssignIOItemXML.", true},
      {{P(kInfo, "/IOData/Input/Item[1]"), "Conversion", "Linear:0,1,2"}, 0, "", true},
      {{P(kInfo, "/IOData"), nullptr, nullptr}, 0, "", true},
  };
}

}  // namespace

TEST(DescriptionMutantTest, EachMutantStopsWhereTheRulesSay) {
  const TextIdMap texts = LoadTestTexts();
  for (const DescriptionMutant& m : DescriptionMutants()) {
    SCOPED_TRACE(qmx::test::ToString(m.mutation));
    TempDir dir("na-mut");
    CopyTestCatalogue(dir.path());
    const fs::path b = dir / "NA" / "TestB.xml";
    ApplyMutation(b, m.mutation);
    if (HasFatalFailure()) return;

    LogCapture log;
    NACatalogue catalogue;
    ASSERT_EQ(ParseNAFiles((dir / "listNA.xml").string(), texts, catalogue), 1);

    // A before and C after B are always read.
    std::vector<std::string> ids;
    for (const auto& def : catalogue.definitions) ids.push_back(def->ID);
    const std::vector<std::string> expected =
        m.registered ? std::vector<std::string>{"TA-0001", "TB-0002", "TC-0003"}
                     : std::vector<std::string>{"TA-0001", "TC-0003"};
    EXPECT_EQ(ids, expected);
    EXPECT_EQ(catalogue.groups[0].items[1].definition != nullptr, m.registered);

    // Only the catalogue's own undefined text id and what the mutant causes.
    const auto records = log.records();
    std::vector<std::string> errors;
    for (const auto& r : qmx::test::ErrorLines(records)) {
      if (r.text.find("T_Undefined0") == std::string::npos) errors.push_back(r.text);
    }
    if (m.code == 0) {
      EXPECT_TRUE(errors.empty()) << errors.front();
    } else {
      EXPECT_TRUE(HasCodeLine(records, m.code, m.location)) << (errors.empty() ? "no error line" : errors.front());
      if (m.code == -6001) {
        EXPECT_TRUE(HasCodeLine(records, -6001, "xml file: " + b.string() + "."));
        EXPECT_TRUE(log.HasText("End parsing definition file. File:" + b.string() + ". Result: 1"));
      }
      if (m.code == -4000 && !m.registered) {
        // A content error ends the description without its end line.
        EXPECT_FALSE(log.HasText("End parsing definition file. File:" + b.string() + ". Result: 1"));
      }
    }
  }
}

TEST(DescriptionMutantTest, CorruptedValuesKeepTheDefinitionUsable) {
  const TextIdMap texts = LoadTestTexts();
  struct Case {
    Mutation mutation;
    std::function<void(const NADef&)> check;
  };
  const Case cases[] = {
      {{"/CouplerProfile/DeviceInfo/Monitoring/CommBlock[1]/Item[2]", "DataType", "Float32"},
       [](const NADef& b) {
         // The skipped item's bytes stay 0; the others are written.
         EXPECT_EQ(b.blockLength[kMonInit], 14);
         EXPECT_EQ(b.blockDefaultImage[kMonInit],
                   (std::vector<uint8_t>{0, 0, 0, 0, 0, 0, 10, 0, 0, 2, 0xA0, 0x86, 0x01, 0x00}));
       }},
      {{"/CouplerProfile/DeviceInfo/Monitoring/CommBlock[1]/Item[3]", "Length", "0"},
       [](const NADef& b) {
         // The address takes no place and writes nothing; the next item follows.
         EXPECT_EQ(b.blockLength[kMonInit], 8);
         EXPECT_EQ(b.blockDefaultImage[kMonInit], (std::vector<uint8_t>{0, 0, 3, 0, 0xA0, 0x86, 0x01, 0x00}));
       }},
      {{"/CouplerProfile/DeviceInfo/General/CommDriver1", "MemoryOrder", "7"},
       [](const NADef& b) { EXPECT_EQ(b.byteOrderMode, 0); }},
      {{"/CouplerProfile/DeviceInfo/General/CommDriver1", "MemoryOrder", "2"},
       [](const NADef& b) {
         EXPECT_EQ(b.byteOrderMode, 2);
         EXPECT_EQ(b.defaultParaImage, (std::vector<uint8_t>{0x00, 0x01}));
       }},
      {{"/CouplerProfile/DeviceInfo/Parameters/Const", "Data", "0x12"},
       [](const NADef& b) {
         EXPECT_EQ(b.DefaultParaImage(), nullptr);
         EXPECT_EQ(b.paraItems.size(), 1u);
       }},
      {{"/CouplerProfile/DeviceInfo/IOData/Input/Item[1]", "Conversion", "Linear:0,1,2"},
       [](const NADef& b) { EXPECT_EQ(b.inputItems[0]->convKind, kConvNone); }},
      {{"/CouplerProfile/DeviceInfo/Monitoring", nullptr, nullptr},
       [](const NADef& b) {
         EXPECT_TRUE(b.blockItems[kMonInit].empty());
         EXPECT_EQ(b.DefaultMonInitImage(), nullptr);
       }},
      {{"/CouplerProfile/DeviceInfo/IOData", nullptr, nullptr},
       [](const NADef& b) {
         EXPECT_EQ(b.inputLength, 0);
         EXPECT_TRUE(b.inputItems.empty());
         EXPECT_TRUE(b.outputItems.empty());
       }},
      {{"/CouplerProfile/DeviceInfo/Specification/MaxNodes", nullptr, nullptr},
       [](const NADef& b) {
         EXPECT_EQ(b.maxNodes.textId, "");
         EXPECT_EQ(b.inputMaxSize.value, "64");  // read on after the missing item
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(qmx::test::ToString(c.mutation));
    TempDir dir("na-mut");
    CopyTestCatalogue(dir.path());
    ApplyMutation(dir / "NA" / "TestB.xml", c.mutation);
    LogCapture log;
    NACatalogue catalogue;
    ASSERT_EQ(ParseNAFiles((dir / "listNA.xml").string(), texts, catalogue), 1);
    const NADef* b = catalogue.FindByID("TB-0002");
    ASSERT_NE(b, nullptr);
    c.check(*b);
  }
}

TEST(DescriptionMutantTest, MoreThanFourDriversEndWithTheOverflowLine) {
  TempDir dir("na-mut");
  CopyTestCatalogue(dir.path());
  const fs::path b = dir / "NA" / "TestB.xml";
  ApplyMutation(b, {"/CouplerProfile/DeviceInfo", "BusNum", "5"});
  for (int n = 1; n <= 4; ++n) ApplyMutation(b, {"/CouplerProfile/DeviceInfo", ("BusType" + std::to_string(n)).c_str(),
                                                 "RS485"});
  // Four more driver elements after the first.
  std::string text = qmx::test::ReadFile(b);
  const std::string anchor = "<FactorySetting";
  std::string drivers;
  for (int n = 2; n <= 5; ++n) {
    drivers += "<CommDriver" + std::to_string(n) + " CommType=\"Bus" + std::to_string(n) +
               "\" FileName=\"Tessivar\" FileType=\"dll\" CommParas=\"500\"/>";
  }
  text.insert(text.find(anchor), drivers);
  qmx::test::WriteFile(b, text);

  LogCapture log;
  NACatalogue catalogue;
  ASSERT_EQ(ParseNAFiles((dir / "listNA.xml").string(), LoadTestTexts(), catalogue), 1);
  EXPECT_EQ(catalogue.FindByID("TB-0002"), nullptr);
  EXPECT_NE(catalogue.FindByID("TC-0003"), nullptr);
  const auto records = log.records();
  const std::string loc = "/CouplerProfile/DeviceInfo/General/CommDriver5";
  EXPECT_TRUE(log.HasText("[Error Code: -4001] Not allowed value in xml file. Value: Bus5. Loc: " + loc +
                          ". Func: MultiParseNAofCommDrivers."));
  EXPECT_TRUE(log.HasText("[Error Code: -4000] Overfllow MultiBUS Num. Loc:" + loc + ". Func: ParseNA. xml file: " +
                          b.string()));

  // The reader on its own: entries 1 to 4 stay, -1 is answered.
  const qmx::xml::Document document = qmx::xml::Document::LoadFile(b);
  NADef def;
  def.driverCount = "5";
  std::string location;
  EXPECT_EQ(MultiParseNAofCommDrivers(document, def, LoadTestTexts(), location), -1);
  EXPECT_EQ(def.driverEntryCount, 4);
  EXPECT_EQ(def.driverEntries[3].commType, "Bus4");
  EXPECT_EQ(def.commTypeMap.size(), 4u);
}

TEST(DescriptionMutantTest, TheDriverCountDecidesWhichDriverCarriesTheByteOrder) {
  const std::string body =
      "<CouplerProfile><DeviceInfo><General><Name TextId=\"T_TB\"/><InfoText TextId=\"T_InfoB\"/>"
      "<OrderNumber Value=\"o\"/><GraphicFile Value=\"g\"/><HelpLink Value=\"h\" MemoryOrder=\"2\"/>"
      "<CommDriver1 CommType=\"RS485\" FileName=\"f\" FileType=\"t\" CommParas=\"p\" MemoryOrder=\"1\"/>"
      "<CommDriver2 CommType=\"RS422\" FileName=\"f\" FileType=\"t\" CommParas=\"p\"/>"
      "</General></DeviceInfo></CouplerProfile>";
  const qmx::xml::Document document = qmx::xml::Document::LoadText(body);
  const TextIdMap texts = LoadTestTexts();
  struct Case {
    const char* count;
    int entries;
    int mode;
    bool logged;
  };
  // 0 and a non-number read no driver (HelpLink carries the order); 1 reads
  // the first; 2 the second, which has none.
  for (const Case& c : {Case{"0", 0, 2, true}, Case{"x", 0, 2, true}, Case{"1", 1, 1, false}, Case{"2", 2, 0, false}}) {
    SCOPED_TRACE(c.count);
    LogCapture log;
    NADef def;
    def.driverCount = c.count;
    std::string location;
    EXPECT_EQ(MultiParseNAofCommDrivers(document, def, texts, location), 0);
    EXPECT_EQ(def.driverEntryCount, c.entries);
    EXPECT_EQ(def.byteOrderMode, c.mode);
    // Without any driver the communication types are not acceptable.
    EXPECT_EQ(HasCodeLine(log.records(), -4001, "Not allowed value in xml file."), c.logged);
  }
}

TEST(DescriptionMutantTest, ASecondBlockOfOneKindContinuesTheFirst) {
  TempDir dir("na-mut");
  CopyTestCatalogue(dir.path());
  const fs::path b = dir / "NA" / "TestB.xml";
  std::string text = qmx::test::ReadFile(b);
  const std::string second =
      "<CommBlock InitOnly=\"true\" Freq=\"9\">"
      "<Item TextId=\"T_Item\" Type=\"Extra\" ValueItemTarget=\"\" DataType=\"Integer16\" BitOffset=\"0\" Length=\"1\""
      " DefaultValue=\"-1\" Changeable=\"false\" Visible=\"true\" AllowedValues=\"\"/>"
      "<Item TextId=\"T_Item\" Type=\"Zero\" ValueItemTarget=\"\" DataType=\"Integer32\" BitOffset=\"0\" Length=\"0\""
      " DefaultValue=\"5\" Changeable=\"false\" Visible=\"true\" AllowedValues=\"\"/></CommBlock>";
  text.insert(text.find("</Monitoring>"), second);
  qmx::test::WriteFile(b, text);

  LogCapture log;
  NACatalogue catalogue;
  ASSERT_EQ(ParseNAFiles((dir / "listNA.xml").string(), LoadTestTexts(), catalogue), 1);
  const NADef* def = catalogue.FindByID("TB-0002");
  ASSERT_NE(def, nullptr);
  ASSERT_EQ(def->blockItems[kMonInit].size(), 6u);
  EXPECT_EQ(def->blockItems[kMonInit][4]->byteOffset, 12);
  EXPECT_EQ(def->blockLength[kMonInit], 14);
  EXPECT_EQ(def->blockFreq[kMonInit], 9);
  EXPECT_EQ(def->blockLayout[kMonInit],
            "BusStatus,ByteArea,2\tInputMode,Unsigned16,1\tAddress,IPAddr,4\tTimeout,Integer32,1\t"
            "Extra,Integer16,1\tZero,Integer32,0");
  EXPECT_EQ(def->blockDefaultImage[kMonInit],
            (std::vector<uint8_t>{0, 0, 3, 0, 10, 0, 0, 2, 0xA0, 0x86, 0x01, 0x00, 0xFF, 0xFF}));
  // The Integer32 of length 0 has no place in the block and is skipped.
  EXPECT_TRUE(HasCodeLine(log.records(), -4001, "Key: Zero. DataType: Integer32. Length: 0. ByteOffset: 14."));
}

// ---- mutants of the list itself -------------------------------------------------

TEST(ListMutantTest, EachMutantStopsTheListWhereTheRulesSay) {
  struct Case {
    Mutation mutation;
    std::vector<std::string> ids;  // definitions read
    int folders;
    int items;
    const char* location;  // of the -6001 line; null: none
  };
  const Case cases[] = {
      {{"/CouplerList/Group[2]", "Category", nullptr}, {"TA-0001", "TB-0002"}, 1, 2, "ItemRef list"},
      {{"/CouplerList/Group[1]", "Category", nullptr}, {}, 0, 0, "ItemRef list"},
      {{"/CouplerList/Group[1]", "IconIdx", nullptr}, {}, 1, 0, "ItemRef list"},
      {{"/CouplerList/Group[1]/ItemRef[2]", "DefineFileName", nullptr}, {"TA-0001"}, 1, 2, "ItemRef list"},
      {{"/CouplerList/Group[1]/ItemRef[2]", "BusType", nullptr}, {"TA-0001"}, 1, 1, "ItemRef list"},
      {{"/CouplerList/Group[1]/ItemRef[1]", "TextId", nullptr}, {}, 1, 0, "ItemRef list"},
      {{"/CouplerList/Group[1]/ItemRef[1]", "Available", nullptr}, {}, 1, 0, "ItemRef list"},
      // An unavailable product's missing attributes are never read.
      {{"/CouplerList/Group[1]/ItemRef[3]", "DefineFileName", nullptr}, {"TA-0001", "TB-0002", "TC-0003"}, 2, 2,
       nullptr},
      {{"/CouplerList/Group[1]/ItemRef[2]", "Available", "1"}, {"TA-0001", "TC-0003"}, 2, 1, nullptr},
      {{"/CouplerList/Group[1]/ItemRef[3]", "Available", "true"}, {"TA-0001", "TB-0002", "TC-0003"}, 2, 3, nullptr},
  };
  const TextIdMap texts = LoadTestTexts();
  for (const Case& c : cases) {
    SCOPED_TRACE(qmx::test::ToString(c.mutation));
    TempDir dir("na-list");
    CopyTestCatalogue(dir.path());
    const std::string list = (dir / "listNA.xml").string();
    ApplyMutation(list, c.mutation);
    LogCapture log;
    NACatalogue catalogue;
    RecordingToolBox toolBox;
    EXPECT_EQ(ParseNAFiles(list, texts, catalogue, &toolBox), 1);
    std::vector<std::string> ids;
    for (const auto& def : catalogue.definitions) ids.push_back(def->ID);
    EXPECT_EQ(ids, c.ids);
    EXPECT_EQ(static_cast<int>(toolBox.folders.size()), c.folders);
    EXPECT_EQ(static_cast<int>(toolBox.items.size()), c.items);
    if (c.location) {
      EXPECT_TRUE(log.HasText(std::string("[Error Code: -6001] Exception is happened. Invalid pointer. Func:ParseNAFiles. "
                                          "Loc:") +
                              c.location + ". xml file: " + list + "."));
    } else {
      EXPECT_FALSE(HasCodeLine(log.records(), -6001, "Func:ParseNAFiles."));
    }
    EXPECT_EQ(log.records().back().text, "End parsing definition file. File:" + list + ". Result: 1");
  }
}
