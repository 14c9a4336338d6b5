// The module catalogue as a whole: the small test catalogue read end to end,
// the list file's own rules, registration (complete definitions only, the
// first of an ID wins) and the look-ups.
#include "app/model/IOCatalogue.h"
#include "tests/support/load_failure_line.h"
#include "tests/model_catalogue_io/io_helpers.h"
#include "tests/model_settings/log_capture.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace fs = std::filesystem;
using qmx::test::ApplyMutation;
using qmx::test::CopyIOTestCatalogue;
using qmx::test::ErrorLines;
using qmx::test::HasCodeLine;
using qmx::test::LoadIOTestTexts;
using qmx::test::LogCapture;
using qmx::test::Mutation;
using qmx::test::RecordingToolBox;
using qmx::test::TempDir;
using qmx::test::WriteFile;

namespace {

struct Loaded {
  TempDir dir{"io-cat"};
  TextIdMap texts = LoadIOTestTexts();
  LogCapture log;
  IOCatalogue catalogue;
  RecordingToolBox toolBox;
  int result = 0;
  std::string listPath;
  std::vector<std::string> xddFilled;

  Loaded() {
    CopyIOTestCatalogue(dir.path());
    listPath = (dir / "listIO.xml").string();
    catalogue.fillXddObjectTable = [this](IODef& def) { xddFilled.push_back(def.ID); };
  }
  void Read() { result = ParseIOFiles(listPath, texts, catalogue, &toolBox); }
  std::string File(const char* name) const { return (dir / "IO" / name).string(); }
};

std::vector<std::string> Ids(const IOGroup& group) {
  std::vector<std::string> ids;
  for (const IODef* def : group.Modules) ids.push_back(def->ID);
  return ids;
}

}  // namespace

TEST(IOTestCatalogueTest, ReadsGroupsItemsAndDefinitionsInOrder) {
  Loaded t;
  t.Read();
  ASSERT_EQ(t.result, 1);
  EXPECT_TRUE(ErrorLines(t.log.records()).empty()) << ErrorLines(t.log.records()).front().text;

  // Window: one folder per group, one item per offered module; IconIdx "x" is 0.
  ASSERT_EQ(t.toolBox.folders.size(), 2u);
  EXPECT_EQ(t.toolBox.folders[0], std::make_pair(std::string("Group One"), 0));
  EXPECT_EQ(t.toolBox.folders[1], std::make_pair(std::string("Group Two"), 0));
  ASSERT_EQ(t.toolBox.items.size(), 3u);
  const std::pair<int, std::string> expectedItems[] = {{0, "Module A"}, {0, "Module B"}, {1, "Module C"}};
  const int expectedImages[] = {4, 4, 0};
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(t.toolBox.items[i].folder, expectedItems[i].first);
    EXPECT_EQ(t.toolBox.items[i].name, expectedItems[i].second);
    EXPECT_EQ(t.toolBox.items[i].image, expectedImages[i]);
    EXPECT_EQ(t.toolBox.items[i].data, 0);
  }

  // Groups with their texts and registered definitions.
  ASSERT_EQ(t.catalogue.groups.size(), 2u);
  EXPECT_EQ(t.catalogue.groups[0].Category, "T_GroupOne");
  EXPECT_EQ(t.catalogue.groups[0].Title, "Group One");
  EXPECT_EQ(t.catalogue.groups[0].Description, "First group");
  EXPECT_EQ(Ids(t.catalogue.groups[0]), (std::vector<std::string>{"TM-A", "TM-B"}));
  EXPECT_EQ(Ids(t.catalogue.groups[1]), (std::vector<std::string>{"TM-C"}));
  EXPECT_EQ(t.catalogue.size(), 3u);
  EXPECT_EQ(t.catalogue.groups[0].Modules[0]->iconIdx, 4);
  EXPECT_EQ(t.catalogue.groups[1].Modules[0]->iconIdx, 0);

  // The module that is not offered: one info line, no item, no file read.
  EXPECT_TRUE(t.log.HasText("[Info] Available IO is false. T_TMX. Func: ParseIOFiles."));
  for (const auto& r : t.log.records()) EXPECT_EQ(r.text.find("Missing.xml"), std::string::npos) << r.text;

  // Every description logs its start and end; C's name in other letter case
  // was found.
  for (const char* name : {"TMA.xml", "TMB.xml", "TMC.xml"}) {
    EXPECT_TRUE(t.log.HasText("Start parsing definition file. File:" + t.File(name)));
    EXPECT_TRUE(t.log.HasText("End parsing definition file. File:" + t.File(name) + ". Result: 1"));
  }
  EXPECT_TRUE(t.log.HasText("Start parsing definition file. File:" + t.listPath));
  EXPECT_EQ(t.log.records().back().text, "End parsing definition file. File:" + t.listPath + ". Result: 1");

  // Only C is of the R family.
  EXPECT_EQ(t.xddFilled, (std::vector<std::string>{"TM-C"}));
}

TEST(IOTestCatalogueTest, LookUpsByIdAndProductCodeFindTheGroupsObjects) {
  Loaded t;
  t.Read();
  for (const IOGroup& group : t.catalogue.groups) {
    for (const IODef* def : group.Modules) {
      EXPECT_EQ(t.catalogue.FindByID(def->ID), def);
    }
  }
  const IODef* a = t.catalogue.FindByID("TM-A");
  const IODef* b = t.catalogue.FindByID("TM-B");
  const IODef* c = t.catalogue.FindByID("TM-C");
  ASSERT_TRUE(a && b && c);
  EXPECT_EQ(t.catalogue.FindByID("tm-a"), nullptr);  // IDs are exact
  EXPECT_EQ(t.catalogue.FindByProductCode(0x2B02), b);
  // A and C share a product code: the first registered answers, the family
  // letter tells them apart.
  EXPECT_EQ(t.catalogue.FindByProductCode(0x1A01), a);
  EXPECT_EQ(t.catalogue.FindByProductCodeCat(0x1A01, 'N'), a);
  EXPECT_EQ(t.catalogue.FindByProductCodeCat(0x1A01, 'R'), c);
  EXPECT_EQ(t.catalogue.FindByProductCodeCat(0x1A01, 'r'), nullptr);
  EXPECT_EQ(t.catalogue.FindByProductCodeCat(0x2B02, 'R'), nullptr);
  EXPECT_EQ(t.catalogue.FindByProductCode(0x9999), nullptr);
  EXPECT_EQ(t.catalogue.FileOf(b), t.File("TMB.xml"));
  // One owner: the registered list holds exactly the groups' objects.
  ASSERT_EQ(t.catalogue.definitions().size(), 3u);
  EXPECT_EQ(t.catalogue.definitions()[0].get(), a);
  EXPECT_EQ(t.catalogue.definitions()[2].get(), c);
}

TEST(IOTestCatalogueTest, ModuleBHoldsWhatItsFileHolds) {
  Loaded t;
  t.Read();
  const IODef* b = t.catalogue.FindByID("TM-B");
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->productCodeText, "2b02");
  EXPECT_EQ(b->GetProductCode(), 0x2B02);
  EXPECT_EQ(b->category, "NAI");
  EXPECT_EQ(b->modelNameTextId, "T_TMB");
  EXPECT_EQ(b->modelName, "Module B");
  EXPECT_EQ(b->description, "Description B");
  EXPECT_EQ(b->infoText, "Info B");
  EXPECT_EQ(b->orderNumber, "TMB-ORDER");
  EXPECT_EQ(b->graphicFile, "TMB");
  EXPECT_EQ(b->helpLink, "TMB-help");
  EXPECT_EQ(b->keySpec, "2 AI");
  EXPECT_EQ(b->addrMapPriority, "A");
  EXPECT_EQ(b->canCommunication, 1);
  EXPECT_EQ(b->fieldPwrCutoffBefore, 1);
  EXPECT_EQ(b->fieldPwrFreeNext, 0);
  EXPECT_EQ(b->systemPwrExpansion, 250);

  EXPECT_EQ(b->hardwareVer.value, "2.1");
  EXPECT_EQ(b->hardwareVer.displayText, "Spec");
  EXPECT_EQ(b->hardwareVer.description, "Spec description");
  EXPECT_EQ(b->powerDissipation.value, "60");
  EXPECT_EQ(b->dimension.visible, 0);
  EXPECT_EQ(b->dimensionHeight, "100");
  EXPECT_EQ(b->dimensionWidth, "12");
  EXPECT_EQ(b->allowedInSlots.value, "1 ... 16");
  EXPECT_EQ(b->fieldPower.value, "2");
  ASSERT_EQ(b->moreSpecItems.size(), 2u);
  EXPECT_EQ(b->moreSpecItems[0].unit, "x");
  EXPECT_EQ(b->moreSpecItems[1].displayText, "T_SpecUndefinedText");  // empty text: the id
  EXPECT_EQ(b->moreSpecItems[1].visible, 0);

  ASSERT_EQ(b->valueLists.size(), 2u);
  const ValueList& range = b->valueLists.at("VL_Range");
  ASSERT_EQ(range.size(), 2u);
  EXPECT_EQ(range[1].content, "3");
  EXPECT_EQ(range[1].displayText, "4 ... 20 mA");
  EXPECT_EQ(range[1].conversion, "Resolution:0.0005,0,32000,4,20");
  EXPECT_EQ(range[1].unit, "mA");
  EXPECT_EQ(b->valueLists.at("VL_OnOff")[0].conversion, "");

  EXPECT_EQ(b->paraIndex, 1);
  EXPECT_EQ(b->paraLength, 4);
  EXPECT_EQ(b->defaultParaText, "03013412");
  ASSERT_EQ(b->paraItems.size(), 3u);
  const ParaItem& limit = *b->paraItems[2];
  EXPECT_EQ(limit.category, "PARA");
  EXPECT_EQ(limit.displayText, "Limit");
  EXPECT_EQ(limit.dataType, kDataTypeUnsigned16);
  EXPECT_EQ(limit.byteOffset, 2);
  EXPECT_EQ(limit.defaultValue, "4660");
  EXPECT_EQ(limit.changeable, 0);
  EXPECT_EQ(limit.allowedValues, "0,65535,1");
  EXPECT_EQ(b->paraItems[0]->convPara, 1);  // the range parameter of input 2
  EXPECT_EQ(b->convByPara, 1);

  EXPECT_EQ(b->inputLength, 4);
  EXPECT_EQ(b->outputLength, 2);
  EXPECT_EQ(b->inputChannelSize, 16);
  EXPECT_EQ(b->outputChannelSize, 16);
  ASSERT_EQ(b->inputItems.size(), 2u);
  EXPECT_EQ(b->inputItems[0]->kind, "INPUT");
  EXPECT_EQ(b->inputItems[0]->byteOffset, 0);
  EXPECT_EQ(b->inputItems[1]->byteOffset, 2);
  EXPECT_EQ(b->inputItems[0]->convKind, kConvLinear);
  EXPECT_EQ(b->inputItems[1]->convKind, kConvByParaVal);
  EXPECT_EQ(b->inputItems[1]->rangePara, b->paraItems[0].get());
  EXPECT_EQ(b->inputItems[1]->rangesByValue.size(), 2u);
  ASSERT_EQ(b->outputItems.size(), 1u);
  EXPECT_EQ(b->outputItems[0]->kind, "OUTPUT");
  EXPECT_EQ(b->outputItems[0]->visible, 0);
  EXPECT_FLOAT_EQ(b->outputItems[0]->engHigh, 10.0f);
}

TEST(IOTestCatalogueTest, ModuleCKeepsTheDefaultsOfWhatItsFileLeavesOut) {
  Loaded t;
  t.Read();
  const IODef* c = t.catalogue.FindByID("TM-C");
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->GetProductCode(), 0x1A01);
  EXPECT_EQ(c->infoText, "Description C");  // an empty info text becomes the description
  EXPECT_EQ(c->keySpec, "");
  EXPECT_EQ(c->canCommunication, 0);
  EXPECT_EQ(c->fieldPwrFreeNext, 1);
  EXPECT_EQ(c->systemPwrExpansion, 1000);
  EXPECT_TRUE(c->moreSpecItems.empty());
  EXPECT_TRUE(c->valueLists.empty());
  // Parameters without attributes: index and length stay 0, Name and Const are read.
  EXPECT_EQ(c->paraIndex, 0);
  EXPECT_EQ(c->paraLength, 0);
  EXPECT_EQ(c->defaultParaText, "");
  EXPECT_TRUE(c->paraItems.empty());
  EXPECT_EQ(c->inputLength, 0);
  EXPECT_EQ(c->inputChannelSize, 0);
  EXPECT_TRUE(c->inputItems.empty());
  EXPECT_TRUE(c->outputItems.empty());
}

TEST(IOListTest, AListThatDoesNotLoadIsReportedWithoutAnEndLine) {
  const TextIdMap texts = LoadIOTestTexts();
  for (const char* content : {static_cast<const char*>(nullptr), "<IOList><Group></IOList>"}) {
    TempDir dir("io-list");
    const std::string path = (dir / "listIO.xml").string();
    if (content) WriteFile(path, content);
    LogCapture log;
    IOCatalogue catalogue;
    RecordingToolBox toolBox;
    EXPECT_EQ(ParseIOFiles(path, texts, catalogue, &toolBox), 0);
    const auto records = log.records();
    EXPECT_TRUE(std::any_of(records.begin(), records.end(),
                            [&](const auto& r) { return IsLoadFailureLine(r.text, path); }));
    ASSERT_EQ(LogCapture::Boxes().size(), 1u);
    EXPECT_EQ(LogCapture::Boxes()[0].first,
              "Cannot open the file. Check if the file exists or using.\nXML File: " + path + ".");
    EXPECT_FALSE(HasCodeLine(log.records(), -6001, ""));
    for (const auto& r : log.records()) EXPECT_EQ(r.text.rfind("End parsing", 0), std::string::npos);
    EXPECT_TRUE(toolBox.folders.empty());
  }
}

TEST(IOListTest, ListsWithoutGroupsOrWithoutOfferedModules) {
  struct Case {
    const char* list;
    size_t folders;
    size_t groups;
  };
  const Case cases[] = {
      {"<IOList/>", 0, 0},
      {"<IOList><Other Category=\"T_GroupOne\" IconIdx=\"1\"/></IOList>", 0, 0},
      {"<IOList><Group Category=\"T_GroupOne\" IconIdx=\"1\">"
       "<ItemRef TextId=\"T_TMA\" Available=\"false\" DefineFileName=\"TMA.xml\"/>"
       "<ItemRef TextId=\"T_TMB\" Available=\"\"/></Group></IOList>",
       1, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.list);
    TempDir dir("io-list");
    const std::string path = (dir / "listIO.xml").string();
    WriteFile(path, c.list);
    LogCapture log;
    IOCatalogue catalogue;
    RecordingToolBox toolBox;
    EXPECT_EQ(ParseIOFiles(path, LoadIOTestTexts(), catalogue, &toolBox), 1);
    EXPECT_EQ(toolBox.folders.size(), c.folders);
    EXPECT_TRUE(toolBox.items.empty());
    ASSERT_EQ(catalogue.groups.size(), c.groups);
    for (const IOGroup& g : catalogue.groups) EXPECT_TRUE(g.Modules.empty());
    EXPECT_EQ(catalogue.size(), 0u);
    EXPECT_TRUE(ErrorLines(log.records()).empty());
    EXPECT_TRUE(log.HasText("Start parsing definition file. File:" + path));
    EXPECT_EQ(log.records().back().text, "End parsing definition file. File:" + path + ". Result: 1");
  }
}

TEST(IOListTest, EachListMutantStopsWhereTheRulesSay) {
  struct Case {
    Mutation mutation;
    std::vector<std::string> registered;
    size_t folders;
    size_t items;
    size_t groups;
    const char* location;  // of the -6001 line; null: none
  };
  const Case cases[] = {
      {{"/IOList/Group[2]", "Category", nullptr}, {"TM-A", "TM-B"}, 1, 2, 1, "ItemRef list"},
      {{"/IOList/Group[1]", "Category", nullptr}, {}, 0, 0, 0, "/IOList/Group"},
      // IconIdx is read before the folder is added.
      {{"/IOList/Group[1]", "IconIdx", nullptr}, {}, 0, 0, 0, "/IOList/Group"},
      {{"/IOList/Group[2]", "IconIdx", nullptr}, {"TM-A", "TM-B"}, 1, 2, 1, "ItemRef list"},
      // The item of an offered module exists before its file name is read.
      {{"/IOList/Group[1]/ItemRef[2]", "DefineFileName", nullptr}, {"TM-A"}, 1, 2, 1, "ItemRef list"},
      {{"/IOList/Group[1]/ItemRef[1]", "TextId", nullptr}, {}, 1, 0, 1, "ItemRef list"},
      {{"/IOList/Group[1]/ItemRef[1]", "Available", nullptr}, {}, 1, 0, 1, "ItemRef list"},
      // A module that is not offered has none of its other attributes read.
      {{"/IOList/Group[1]/ItemRef[3]", "DefineFileName", nullptr}, {"TM-A", "TM-B", "TM-C"}, 2, 3, 2, nullptr},
      {{"/IOList/Group[1]/ItemRef[2]", "Available", "1"}, {"TM-A", "TM-C"}, 2, 2, 2, nullptr},
      {{"/IOList/Group[1]/ItemRef[2]", "Available", "\tTrue\n"}, {"TM-A", "TM-B", "TM-C"}, 2, 3, 2, nullptr},
      {{"/IOList/Group[1]/ItemRef[3]", "Available", "true"}, {"TM-A", "TM-B", "TM-C"}, 2, 4, 2, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(qmx::test::ToString(c.mutation));
    Loaded t;
    ApplyMutation(t.listPath, c.mutation);
    if (HasFatalFailure()) return;
    t.Read();
    EXPECT_EQ(t.result, 1);
    std::vector<std::string> ids;
    for (const auto& def : t.catalogue.definitions()) ids.push_back(def->ID);
    EXPECT_EQ(ids, c.registered);
    EXPECT_EQ(t.toolBox.folders.size(), c.folders);
    EXPECT_EQ(t.toolBox.items.size(), c.items);
    EXPECT_EQ(t.catalogue.groups.size(), c.groups);
    if (c.location) {
      EXPECT_TRUE(t.log.HasText(std::string("[Error Code: -6001] Exception is happened. Invalid pointer. "
                                            "Func:ParseIOFiles. Loc:") +
                                c.location + ". xml file: " + t.listPath + "."));
    } else {
      EXPECT_FALSE(HasCodeLine(t.log.records(), -6001, "Func:ParseIOFiles."));
    }
    EXPECT_EQ(t.log.records().back().text, "End parsing definition file. File:" + t.listPath + ". Result: 1");
  }
}

TEST(IORegistrationTest, AMissingDescriptionKeepsTheItemAndRegistersNothing) {
  Loaded t;
  fs::remove(t.dir / "IO" / "TMB.xml");
  t.Read();
  EXPECT_EQ(t.toolBox.items.size(), 3u);
  EXPECT_EQ(t.toolBox.items[1].name, "Module B");
  EXPECT_EQ(Ids(t.catalogue.groups[0]), (std::vector<std::string>{"TM-A"}));
  EXPECT_EQ(t.catalogue.FindByProductCode(0x2B02), nullptr);
  const std::string b = t.File("TMB.xml");
  EXPECT_TRUE(HasCodeLine(t.log.records(), -4000,
                          "Node does not defined. Loc:/IOProfile/DeviceInfo. Func: ParseIO. xml file: " + b +
                              ". Cause: Cannot open the file " + b));
  EXPECT_FALSE(t.log.HasText("End parsing definition file. File:" + b + ". Result: 1"));
  EXPECT_TRUE(t.log.HasText("[Warning: -4000] Module definition is not registered. Its description was not read to "
                            "the end. TextId: T_TMB. xml file: " + b + ". Func: ParseIOFiles."));
  // The next module is read all the same.
  EXPECT_NE(t.catalogue.FindByID("TM-C"), nullptr);
}

TEST(IORegistrationTest, AHalfReadDefinitionIsNeitherInItsGroupNorInTheLookUps) {
  Loaded t;
  // The reading of B ends at its output data: it has an ID, a product code,
  // its parameters and inputs, but it was not read to its end.
  ApplyMutation(t.File("TMB.xml"), {"/IOProfile/DeviceInfo/IOData/Output/Item[1]", "Unit", nullptr});
  t.Read();
  EXPECT_EQ(Ids(t.catalogue.groups[0]), (std::vector<std::string>{"TM-A"}));
  EXPECT_EQ(t.catalogue.FindByID("TM-B"), nullptr);
  EXPECT_EQ(t.catalogue.FindByProductCode(0x2B02), nullptr);
  EXPECT_EQ(t.catalogue.size(), 2u);
  EXPECT_TRUE(HasCodeLine(t.log.records(), -6001, "Loc:/IOProfile/DeviceInfo/IOData/Output."));
  EXPECT_TRUE(HasCodeLine(t.log.records(), -6001, "Func:ParseIO."));
  EXPECT_TRUE(t.log.HasText("End parsing definition file. File:" + t.File("TMB.xml") + ". Result: 1"));
  EXPECT_TRUE(
      t.log.HasText("[Warning: -4000] Module definition is not registered. Its description was not read to the end. "
                    "TextId: T_TMB. xml file: " + t.File("TMB.xml") + ". Func: ParseIOFiles."));
}

TEST(IORegistrationTest, TheFirstDefinitionOfAnIdIsKeptAndTheSecondLogged) {
  Loaded t;
  // C becomes a second TM-A, with another product code.
  ApplyMutation(t.File("TMC.xml"), {"/IOProfile/DeviceInfo", "ID", "TM-A"});
  ApplyMutation(t.File("TMC.xml"), {"/IOProfile/DeviceInfo", "DeviceID", "0x7777"});
  t.Read();
  const IODef* a = t.catalogue.FindByID("TM-A");
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->modelName, "Module A");
  EXPECT_EQ(t.catalogue.FileOf(a), t.File("TMA.xml"));
  EXPECT_TRUE(t.catalogue.groups[1].Modules.empty());
  EXPECT_EQ(t.catalogue.FindByProductCode(0x7777), nullptr);  // not half registered
  EXPECT_EQ(t.catalogue.size(), 2u);
  EXPECT_EQ(t.toolBox.items.size(), 3u);  // the item stays
  EXPECT_TRUE(t.log.HasText("[Error Code: -4001] Module ID is defined twice. The first definition is kept. ID: TM-A. "
                            "Kept: " + t.File("TMA.xml") + ". xml file: " + t.File("TMC.xml") + ". Func: ParseIO."));
}

TEST(IORegistrationTest, AnEmptyIdIsNotRegistered) {
  Loaded t;
  ApplyMutation(t.File("TMA.xml"), {"/IOProfile/DeviceInfo", "ID", "  "});
  t.Read();
  EXPECT_EQ(Ids(t.catalogue.groups[0]), (std::vector<std::string>{"TM-B"}));
  EXPECT_EQ(t.catalogue.FindByID("  "), nullptr);
  EXPECT_EQ(t.catalogue.FindByProductCodeCat(0x1A01, 'N'), nullptr);
  EXPECT_TRUE(t.log.HasText("[Error Code: -4001] Module ID is empty. The definition is not registered. xml file: " +
                            t.File("TMA.xml") + ". Func: ParseIO."));
}

TEST(IORegistrationTest, OnlyCategoriesBeginningWithCapitalRGetTheirXddTable) {
  for (const char* category : {"Rxxx", "rxxx", "", "NR"}) {
    SCOPED_TRACE(category);
    Loaded t;
    ApplyMutation(t.File("TMC.xml"), {"/IOProfile/DeviceInfo", "Category", category});
    t.Read();
    EXPECT_EQ(t.xddFilled.size(), std::string(category) == "Rxxx" ? 1u : 0u);
    EXPECT_NE(t.catalogue.FindByID("TM-C"), nullptr);
  }
  // Without a filler nothing is called and the definition is registered.
  Loaded t;
  t.catalogue.fillXddObjectTable = nullptr;
  t.Read();
  EXPECT_NE(t.catalogue.FindByID("TM-C"), nullptr);
}

