// Mutants of module B's description: one attribute or element deleted or
// corrupted, selected by XPath. Each reading must stop where the rules say,
// log the code and the place, register B only when it was read to the end,
// and leave A (before) and C (after) registered. One table of mutants is also
// applied to the adapter and the module catalogue alike: the shared reader
// gives both the same bounds and refusals.
#include "app/model/IOCatalogue.h"
#include "app/model/NACatalogue.h"
#include "tests/model_catalogue_io/io_helpers.h"
#include "tests/model_settings/log_capture.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

using qmx::test::ApplyMutation;
using qmx::test::CopyIOTestCatalogue;
using qmx::test::HasCodeLine;
using qmx::test::LoadIOTestTexts;
using qmx::test::LogCapture;
using qmx::test::Mutation;
using qmx::test::TempDir;
namespace fs = std::filesystem;

namespace {

constexpr const char* kInfo = "/IOProfile/DeviceInfo";
constexpr const char* kGeneral = "/IOProfile/DeviceInfo/General";
constexpr const char* kSpec = "/IOProfile/DeviceInfo/Specification";
constexpr const char* kPara = "/IOProfile/DeviceInfo/Parameters";
constexpr const char* kIOData = "/IOProfile/DeviceInfo/IOData";

struct DescriptionMutant {
  Mutation mutation;
  int code;              // code of the line that must be logged (0: no error line at all)
  std::string location;  // text that line names
  bool registered;       // whether B is registered
  bool endLine = true;   // whether B's end line is logged
};

std::string P(const char* base, const char* rest) { return std::string(base) + rest; }

std::vector<DescriptionMutant> Mutants() {
  const std::string g = kGeneral;
  const std::string s = kSpec;
  const std::string xmlLoc = "Invalid pointer. Func:ParseIO. Loc:";
  return {
      // No DeviceInfo: 0, -4000 without the end line.
      {{kInfo, nullptr, nullptr}, -4000, "Node does not defined. Loc:/IOProfile/DeviceInfo. Func: ParseIO.", false,
       false},
      {{kInfo, "ID", nullptr}, -6001, xmlLoc + kInfo + ". ", false},
      {{kInfo, "DeviceID", nullptr}, -6001, xmlLoc + kInfo + ". ", false},
      {{kInfo, "Category", nullptr}, -6001, xmlLoc + kInfo + ". ", false},
      // General section: the five texts are required, KeySpec is optional but
      // needs its Value, Features is optional and logged when absent.
      {{P(kGeneral, "/Name"), nullptr, nullptr}, -6001, xmlLoc + g + ". ", false},
      {{P(kGeneral, "/Name"), "TextId", nullptr}, -6001, xmlLoc + g + ". ", false},
      {{P(kGeneral, "/InfoText"), nullptr, nullptr}, -6001, xmlLoc + g + ". ", false},
      {{P(kGeneral, "/OrderNumber"), "Value", nullptr}, -6001, xmlLoc + g + ". ", false},
      {{P(kGeneral, "/GraphicFile"), nullptr, nullptr}, -6001, xmlLoc + g + ". ", false},
      {{P(kGeneral, "/HelpLink"), "Value", nullptr}, -6001, xmlLoc + g + ". ", false},
      {{P(kGeneral, "/KeySpec"), nullptr, nullptr}, 0, "", true},
      {{P(kGeneral, "/KeySpec"), "Value", nullptr}, -6001, xmlLoc + g + ". ", false},
      {{P(kGeneral, "/Features"), nullptr, nullptr}, -4000,
       "Node does not defined. Loc:" + g + "/Features. Func: ParseIO. xml file: ", true},
      {{P(kGeneral, "/Features"), "AddrMapPriority", nullptr}, -6001, xmlLoc + g + ". ", false},
      {{P(kGeneral, "/Features"), "CanCommunication", nullptr}, -6001, xmlLoc + g + ". ", false},
      {{P(kGeneral, "/Features"), "FieldPwrFreeNext", nullptr}, -6001, xmlLoc + g + ". ", false},
      {{P(kGeneral, "/Features"), "SystemPwrExpansion", nullptr}, -6001, xmlLoc + g + ". ", false},
      // Specification: a missing item is logged and the reading goes on; the
      // dimension's Height then ends it.
      {{P(kSpec, "/HardwareVer"), nullptr, nullptr}, -4000,
       "Loc:" + s + "/HardwareVer. Func: AssignSpecInfoXML. xml file: ", true},
      {{P(kSpec, "/PowerDissipation"), nullptr, nullptr}, -4000, "Loc:" + s + "/PowerDissipation.", true},
      {{P(kSpec, "/AllowedInSlots"), nullptr, nullptr}, -4000, "Loc:" + s + "/AllowedInSlots.", true},
      {{P(kSpec, "/FieldPower"), nullptr, nullptr}, -4000, "Loc:" + s + "/FieldPower.", true},
      {{P(kSpec, "/Dimension"), nullptr, nullptr}, -6001, xmlLoc + s + ". ", false},
      {{P(kSpec, "/Dimension"), "Width", nullptr}, -6001, xmlLoc + s + ". ", false},
      {{P(kSpec, "/HardwareVer"), "Unit", nullptr}, -6001, xmlLoc + s + ". ", false},
      {{P(kSpec, "/FieldPower"), "Visible", nullptr}, -6001, xmlLoc + s + ". ", false},
      {{P(kSpec, "/Items/Ref[2]"), "Value", nullptr}, -6001, xmlLoc + s + "/Items/Ref. ", false},
      {{P(kSpec, "/Items"), nullptr, nullptr}, 0, "", true},
      // Value lists.
      {{P(kInfo, "/ValueList/ValueItem[2]"), "ID", nullptr}, -6001, xmlLoc + "Value List. ", false},
      {{P(kInfo, "/ValueList/ValueItem[1]/Value[1]"), "Content", nullptr}, -6001, xmlLoc + "Value List. ", false},
      {{P(kInfo, "/ValueList/ValueItem[2]/Value[2]"), "TextId", nullptr}, -6001, xmlLoc + "Value List. ", false},
      {{P(kInfo, "/ValueList/ValueItem[1]/Value[1]"), "Unit", nullptr}, 0, "", true},
      // Parameters: the element, its Name and its Const end with -4000 and no
      // end line; their attributes with -6001.
      {{kPara, nullptr, nullptr}, -4000,
       "Node does not defined. Loc:/IOProfile/DeviceInfo/Parameters. Func: ParseIO. xml file: ", false, false},
      {{P(kPara, "/Name"), nullptr, nullptr}, -4000, "Loc:/IOProfile/DeviceInfo/Parameters/Name. Func: ParseIO.",
       false, false},
      {{P(kPara, "/Const"), nullptr, nullptr}, -4000, "Loc:/IOProfile/DeviceInfo/Parameters/Const. Func: ParseIO.",
       false, false},
      {{kPara, "Index", nullptr}, -6001, xmlLoc + kPara + ". ", false},
      {{kPara, "Length", nullptr}, -6001, xmlLoc + kPara + ". ", false},
      {{P(kPara, "/Name"), "TextId", nullptr}, -6001, xmlLoc + kPara + ". ", false},
      {{P(kPara, "/Const"), "Data", nullptr}, -6001, xmlLoc + kPara + ". ", false},
      {{P(kPara, "/Ref[1]"), "ValueItemTarget", nullptr}, -6001, xmlLoc + "Parameters/Ref. ", false},
      {{P(kPara, "/Ref[3]"), "AllowedValues", nullptr}, -6001, xmlLoc + "Parameters/Ref. ", false},
      {{P(kPara, "/Ref[3]"), "AllowedValues", "0,1"}, -4006,
       "Parameter's allowed value format is invalid in XML. 0,1. Parameter: T_ParaLimit.", true},
      {{P(kPara, "/Const"), "Data", "0x12"}, 0, "", true},
      {{kPara, "Length", "70000"}, -4001,
       "Not allowed value in xml file. Value: 70000. Loc: /IOProfile/DeviceInfo/Parameters/@Length. Func: ParseIO.",
       true},
      {{kIOData, "OutputLength", "-2"}, -4001,
       "Value: -2. Loc: /IOProfile/DeviceInfo/IOData/@OutputLength. Func: ParseIO.", true},
      // I/O data: optional, but what is there must be complete.
      {{kIOData, nullptr, nullptr}, 0, "", true},
      {{kIOData, "InputLength", nullptr}, -6001, xmlLoc + kIOData + ". ", false},
      {{P(kIOData, "/Input"), "OneChSize", nullptr}, -6001, xmlLoc + kIOData + "/Input. ", false},
      {{P(kIOData, "/Input/Item[2]"), "ChannelType", nullptr}, -6001, xmlLoc + kIOData + "/Input. ", false},
      {{P(kIOData, "/Output/Item[1]"), "Visible", nullptr}, -6001, xmlLoc + kIOData + "/Output. ", false},
      {{P(kIOData, "/Output"), nullptr, nullptr}, 0, "", true},
      {{P(kIOData, "/Input/Item[1]"), "Length", "0"}, -1037,
       "Length is empty in XML. Name:T_In. Func: AssignIOItemXML.", true},
      {{P(kIOData, "/Input/Item[1]"), "Conversion", "Linear:0,1,2"}, 0, "", true},
      {{P(kIOData, "/Input/Item[1]"), "Conversion", nullptr}, 0, "", true},
  };
}

}  // namespace

TEST(IODescriptionMutantTest, EachMutantStopsWhereTheRulesSay) {
  const TextIdMap texts = LoadIOTestTexts();
  for (const DescriptionMutant& m : Mutants()) {
    SCOPED_TRACE(qmx::test::ToString(m.mutation));
    TempDir dir("io-mut");
    CopyIOTestCatalogue(dir.path());
    const std::string b = (dir / "IO" / "TMB.xml").string();
    ApplyMutation(b, m.mutation);
    if (HasFatalFailure()) return;

    LogCapture log;
    IOCatalogue catalogue;
    ASSERT_EQ(ParseIOFiles((dir / "listIO.xml").string(), texts, catalogue), 1);

    std::vector<std::string> ids;
    for (const auto& def : catalogue.definitions()) ids.push_back(def->ID);
    const std::vector<std::string> expected =
        m.registered ? std::vector<std::string>{"TM-A", "TM-B", "TM-C"} : std::vector<std::string>{"TM-A", "TM-C"};
    EXPECT_EQ(ids, expected);
    EXPECT_EQ(catalogue.groups[0].Modules.size(), m.registered ? 2u : 1u);
    EXPECT_EQ(catalogue.FindByProductCode(0x2B02) != nullptr, m.registered);

    std::vector<std::string> errors;
    for (const auto& r : qmx::test::ErrorLines(log.records())) {
      if (r.text.rfind("[Warning: -4000] Module definition is not registered.", 0) != 0) errors.push_back(r.text);
    }
    if (m.code == 0) {
      EXPECT_TRUE(errors.empty()) << errors.front();
    } else {
      EXPECT_TRUE(HasCodeLine(log.records(), m.code, m.location))
          << (errors.empty() ? "no error line" : errors.front());
      if (m.code == -6001) {
        EXPECT_TRUE(HasCodeLine(log.records(), -6001, "xml file: " + b + "."));
      }
    }
    EXPECT_EQ(log.HasText("End parsing definition file. File:" + b + ". Result: 1"), m.endLine);
    EXPECT_EQ(log.HasText("[Warning: -4000] Module definition is not registered. Its description was not read to "
                          "the end. TextId: T_TMB. xml file: " + b + ". Func: ParseIOFiles."),
              !m.registered);
  }
}

TEST(IODescriptionMutantTest, CorruptedValuesKeepTheDefinitionUsable) {
  const TextIdMap texts = LoadIOTestTexts();
  struct Case {
    Mutation mutation;
    std::function<void(const IODef&)> check;
  };
  const Case cases[] = {
      {{"/IOProfile/DeviceInfo/General/Features", nullptr, nullptr},
       [](const IODef& b) {
         // The five features keep the constructor's values.
         EXPECT_EQ(b.addrMapPriority, "");
         EXPECT_EQ(b.canCommunication, 1);
         EXPECT_EQ(b.fieldPwrCutoffBefore, 0);
         EXPECT_EQ(b.systemPwrExpansion, 0);
       }},
      {{"/IOProfile/DeviceInfo/Specification/HardwareVer", nullptr, nullptr},
       [](const IODef& b) {
         EXPECT_EQ(b.hardwareVer.value, "");
         EXPECT_EQ(b.hardwareVer.visible, 1);
         EXPECT_EQ(b.powerDissipation.value, "60");
       }},
      {{"/IOProfile/DeviceInfo/Parameters/Const", "Data", "0x12"},
       [](const IODef& b) { EXPECT_EQ(b.defaultParaText, ""); }},
      {{"/IOProfile/DeviceInfo/Parameters/Const", "Data", "0x0G,0x01,0x34,0x12"},
       [](const IODef& b) { EXPECT_EQ(b.defaultParaText, ""); }},
      {{"/IOProfile/DeviceInfo/Parameters", "Length", "4294967296"},
       [](const IODef& b) {
         // A length the driver cannot be given is read as 0: no image, no default.
         EXPECT_EQ(b.paraLength, 0);
         EXPECT_EQ(b.defaultParaText, "");
         EXPECT_EQ(qmx::test::MakeModule(b)->ParaLength(), 0);
       }},
      {{"/IOProfile/DeviceInfo/Parameters/Ref[3]", "AllowedValues", "0,1"},
       [](const IODef& b) { EXPECT_EQ(b.paraItems[2]->allowedValues, ""); }},
      {{"/IOProfile/DeviceInfo/Parameters/Ref[2]", "DataType", "Word"},
       [](const IODef& b) { EXPECT_EQ(b.paraItems[1]->dataType, kDataTypeUndefined); }},
      {{"/IOProfile/DeviceInfo/IOData/Input/Item[1]", "Length", "0"},
       [](const IODef& b) {
         // An item of length 0 is kept and takes no place.
         ASSERT_EQ(b.inputItems.size(), 2u);
         EXPECT_EQ(b.inputItems[1]->byteOffset, 0);
       }},
      {{"/IOProfile/DeviceInfo/IOData/Input/Item[2]", "Conversion", "ByParaVal:0"},
       [](const IODef& b) {
         EXPECT_EQ(b.inputItems[1]->convKind, kConvInvalid);
         EXPECT_EQ(b.convByPara, 0);
       }},
      {{"/IOProfile/DeviceInfo/IOData", nullptr, nullptr},
       [](const IODef& b) {
         EXPECT_EQ(b.inputLength, 0);
         EXPECT_TRUE(b.inputItems.empty());
         EXPECT_TRUE(b.outputItems.empty());
       }},
      {{"/IOProfile/DeviceInfo/General/Name", "TextId", "T_Nope"},
       [](const IODef& b) {
         // An undefined name shows its text id; the info text stays its own.
         EXPECT_EQ(b.modelName, "T_Nope");
         EXPECT_EQ(b.description, "");
         EXPECT_EQ(b.infoText, "Info B");
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(qmx::test::ToString(c.mutation));
    TempDir dir("io-mut");
    CopyIOTestCatalogue(dir.path());
    ApplyMutation(dir / "IO" / "TMB.xml", c.mutation);
    if (HasFatalFailure()) return;
    LogCapture log;
    IOCatalogue catalogue;
    ParseIOFiles((dir / "listIO.xml").string(), texts, catalogue);
    const IODef* b = catalogue.FindByID("TM-B");
    ASSERT_NE(b, nullptr);
    c.check(*b);
  }
}

// ---- one reader for adapter and module descriptions ---------------------------------

namespace {

// Description B of the adapter or of the module test catalogue, read with one
// mutation, as the shared table sees it.
struct SideRun {
  size_t registered = 0;  // definitions registered
  int paraLength = -1;    // of B, when registered under its own ID
  int inputLength = -1;
  int outputLength = -1;
  std::vector<qmx::LogRecord> records;
};

struct Side {
  const char* deviceInfo;
  const char* function;
  const char* word;
  const char* aId;
  const char* bId;
  const char* aFile;  // below the catalogue folder
  const char* bFile;
};

const Side kSides[] = {
    {"/CouplerProfile/DeviceInfo", "ParseNA", "Adapter", "TA-0001", "TB-0002", "NA/TestA.xml", "NA/TestB.xml"},
    {"/IOProfile/DeviceInfo", "ParseIO", "Module", "TM-A", "TM-B", "IO/TMA.xml", "IO/TMB.xml"},
};

template <class Def>
void Fill(SideRun& run, const Def* b) {
  if (!b) return;
  run.paraLength = b->paraLength;
  run.inputLength = b->inputLength;
  run.outputLength = b->outputLength;
}

SideRun ReadSide(const Side& side, const fs::path& dir, const Mutation& mutation) {
  const bool adapter = side.word[0] == 'A';
  if (adapter) {
    qmx::test::CopyTestCatalogue(dir);
  } else {
    CopyIOTestCatalogue(dir);
  }
  ApplyMutation(dir / side.bFile, mutation);
  SideRun run;
  LogCapture log;
  if (adapter) {
    NACatalogue catalogue;
    ParseNAFiles((dir / "listNA.xml").string(), qmx::test::LoadTestTexts(), catalogue);
    run.registered = catalogue.definitions.size();
    Fill(run, catalogue.FindByID(side.bId));
  } else {
    IOCatalogue catalogue;
    ParseIOFiles((dir / "listIO.xml").string(), LoadIOTestTexts(), catalogue);
    run.registered = catalogue.size();
    Fill(run, catalogue.FindByID(side.bId));
  }
  run.records = log.records();
  return run;
}

// "{DI}", "{F}", "{W}", "{AID}", "{A}" and "{B}" replaced by the side's.
std::string ForSide(std::string text, const Side& side, const fs::path& dir) {
  const std::pair<std::string, std::string> names[] = {
      {"{DI}", side.deviceInfo}, {"{F}", side.function}, {"{W}", side.word}, {"{AID}", side.aId},
      {"{A}", (dir / side.aFile).string()}, {"{B}", (dir / side.bFile).string()}};
  for (const auto& [key, value] : names) {
    for (size_t at = text.find(key); at != std::string::npos; at = text.find(key, at + value.size())) {
      text.replace(at, key.size(), value);
    }
  }
  return text;
}

}  // namespace

TEST(SharedDescriptionReaderTest, BothKindsHaveTheSameBoundsAndRefusals) {
  struct Case {
    const char* element;  // below DeviceInfo
    const char* attribute;
    const char* value;
    const char* line;     // the -4001 line that must be logged; empty: none at all
    bool registered;
    int paraLength, inputLength, outputLength;  // of B; -1: not looked at
  };
  const Case cases[] = {
      {"/Parameters", "Length", "70000",
       "[Error Code: -4001] Not allowed value in xml file. Value: 70000. Loc: {DI}/Parameters/@Length. Func: {F}.",
       true, 0, -1, -1},
      {"/Parameters", "Length", "-3", "Value: -3. Loc: {DI}/Parameters/@Length. Func: {F}.", true, 0, -1, -1},
      {"/IOData", "InputLength", "65536", "Value: 65536. Loc: {DI}/IOData/@InputLength. Func: {F}.", true, -1, 0, -1},
      {"/IOData", "OutputLength", "65535", "", true, -1, -1, 65535},
      {"", "ID", "{AID}",
       "[Error Code: -4001] {W} ID is defined twice. The first definition is kept. ID: {AID}. Kept: {A}. "
       "xml file: {B}. Func: {F}.",
       false, -1, -1, -1},
      {"", "ID", " ",
       "[Error Code: -4001] {W} ID is empty. The definition is not registered. xml file: {B}. Func: {F}.", false, -1,
       -1, -1},
  };
  for (const Side& side : kSides) {
    for (const Case& c : cases) {
      TempDir dir("shared-reader");
      const std::string value = ForSide(c.value, side, dir.path());
      const Mutation mutation{std::string(side.deviceInfo) + c.element, c.attribute, value.c_str()};
      SCOPED_TRACE(std::string(side.word) + " " + qmx::test::ToString(mutation));
      const SideRun run = ReadSide(side, dir.path(), mutation);
      if (HasFatalFailure()) return;

      EXPECT_EQ(run.registered, c.registered ? 3u : 2u);
      std::vector<std::string> refusals;
      for (const auto& r : run.records) {
        if (r.text.rfind("[Error Code: -4001]", 0) == 0) refusals.push_back(r.text);
      }
      if (*c.line == '\0') {
        EXPECT_TRUE(refusals.empty()) << refusals.front();
      } else {
        const std::string line = ForSide(c.line, side, dir.path());
        ASSERT_EQ(refusals.size(), 1u) << line;
        EXPECT_NE(refusals[0].find(line), std::string::npos) << refusals[0];
      }
      if (c.paraLength >= 0) {
        EXPECT_EQ(run.paraLength, c.paraLength);
      }
      if (c.inputLength >= 0) {
        EXPECT_EQ(run.inputLength, c.inputLength);
      }
      if (c.outputLength >= 0) {
        EXPECT_EQ(run.outputLength, c.outputLength);
      }
    }
  }
}

TEST(SharedDescriptionReaderTest, ABrokenFileIsNamedWithTheParsersLineOnBothSides) {
  for (const Side& side : kSides) {
    SCOPED_TRACE(side.word);
    TempDir dir("shared-reader");
    const bool adapter = side.word[0] == 'A';
    const fs::path b = dir / side.bFile;
    fs::create_directories(b.parent_path());
    qmx::test::WriteFile(b, "<Profile>\n<DeviceInfo ID=\"X\"\n</Profile>\n");
    LogCapture log;
    if (adapter) {
      std::vector<std::unique_ptr<NADef>> definitions;
      EXPECT_EQ(ParseNA(b.string(), 0, qmx::test::LoadTestTexts(), definitions), 1);
      EXPECT_TRUE(HasCodeLine(log.records(), -6001, "line 3: ")) << log.records().back().text;
    } else {
      IOCatalogue catalogue;
      EXPECT_EQ(ParseIO(b.string(), 0, LoadIOTestTexts(), catalogue), 0);
      EXPECT_TRUE(HasCodeLine(log.records(), -4000, "line 3: ")) << log.records().back().text;
    }
  }
}
