// The shipped module catalogue: it loads without a single error line, its
// look-ups agree, every definition is consistent in itself (sizes, offsets,
// value lists, conversion rules, default parameter image), and every module
// has its pictures and the folders of the catalogue window.
#include "app/model/DataTypes.h"
#include "app/model/IOUsr.h"
#include "app/model/NACatalogue.h"
#include "common/Utility.h"
#include "tests/model_catalogue_io/io_helpers.h"
#include "tests/model_settings/log_capture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using qmx::test::LogCapture;
using qmx::test::MakeModule;
using qmx::test::ParaText;
using qmx::test::ShippedIOCatalogue;
using qmx::test::SourcePath;

TEST(ShippedIOCatalogueTest, LoadsWithoutAnErrorLine) {
  LogCapture log;
  ShippedIOCatalogue shipped;
  ASSERT_EQ(shipped.result, 1);
  for (const auto& r : qmx::test::ErrorLines(log.records())) ADD_FAILURE() << r.text;
  EXPECT_TRUE(log.HasText("[Info] Available IO is false. T_IO_QMX1832. Func: ParseIOFiles."));

  // Folders in file order, each with its offered modules.
  const std::vector<std::string> titles = {"Digital Input",           "Digital Output",          "Analog Input",
                                           "Analog Output",           "Power",                   "POWERLINK Digital Input",
                                           "POWERLINK Digital Output", "POWERLINK Analog Input", "POWERLINK Analog Output"};
  // After the three adapter pictures: one per kind, the POWERLINK line's the same.
  const std::vector<int> icons = {3, 4, 5, 6, 7, 3, 4, 5, 6};
  ASSERT_EQ(shipped.toolBox.folders.size(), titles.size());
  ASSERT_EQ(shipped.catalogue.groups.size(), titles.size());
  size_t item = 0;
  for (size_t g = 0; g < titles.size(); ++g) {
    EXPECT_EQ(shipped.toolBox.folders[g].first, titles[g]);
    const IOGroup& group = shipped.catalogue.groups[g];
    EXPECT_EQ(group.Title, titles[g]);
    EXPECT_FALSE(group.Modules.empty());
    for (const IODef* def : group.Modules) {
      ASSERT_LT(item, shipped.toolBox.items.size());
      EXPECT_EQ(shipped.toolBox.items[item].folder, static_cast<int>(g));
      EXPECT_EQ(shipped.toolBox.items[item].name, def->modelName);
      EXPECT_EQ(shipped.toolBox.items[item].image, def->iconIdx);
      EXPECT_EQ(def->iconIdx, icons[g]);
      ++item;
    }
  }
  EXPECT_EQ(item, shipped.toolBox.items.size());
  EXPECT_EQ(shipped.catalogue.size(), 15u);
}

TEST(ShippedIOCatalogueTest, LookUpsByIdAndByProductCodeFindTheSameObjects) {
  ShippedIOCatalogue shipped;
  std::set<uint16_t> codes;
  for (const IOGroup& group : shipped.catalogue.groups) {
    for (const IODef* def : group.Modules) {
      SCOPED_TRACE(def->ID);
      EXPECT_EQ(shipped.catalogue.FindByID(def->ID), def);
      EXPECT_EQ(shipped.catalogue.FindByProductCode(def->GetProductCode()), def);
      EXPECT_EQ(shipped.catalogue.FindByProductCodeCat(def->GetProductCode(), def->category[0]), def);
      EXPECT_TRUE(codes.insert(def->GetProductCode()).second) << "product code used twice";
      EXPECT_EQ(def->ID, def->modelName);
    }
  }
  // Every product's code is its model number (after the line's "R-").
  for (const auto& def : shipped.catalogue.definitions()) {
    EXPECT_EQ(def->GetProductCode(), std::stoi(def->ID.str().substr(def->ID.str().rfind('-') + 1), nullptr, 16)) << def->ID;
  }
}

// One product line: adapters and modules never share a product code (a scan
// names a device by it), a group's category is the category of each of its
// modules (a project file names a module's group by it) and still shows a
// readable folder name, and the adapter list offers every bus type an
// adapter description names, so a project of each can be made.
TEST(ShippedIOCatalogueTest, OneProductLineWithTheAdapters) {
  LogCapture log;
  ShippedIOCatalogue shipped;
  NACatalogue adapters;
  ASSERT_EQ(ParseNAFiles(NAListPath(SourcePath("resources/QMX410Tools").string()), shipped.texts, adapters, nullptr), 1);
  for (const auto& r : qmx::test::ErrorLines(log.records())) ADD_FAILURE() << r.text;

  std::map<int, std::string> owners;
  for (const auto& def : adapters.definitions) {
    EXPECT_TRUE(owners.emplace(def->GetProductCode(), def->ID).second) << def->ID << " and " << owners[def->GetProductCode()];
    std::vector<std::string> offered = def->busTypes;
    offered.push_back(def->busType);
    for (const std::string& bus : offered) {
      EXPECT_NE(std::find(adapters.busTypes.begin(), adapters.busTypes.end(), bus), adapters.busTypes.end())
          << def->ID << " offers " << bus;
    }
  }
  for (const auto& def : shipped.catalogue.definitions()) {
    EXPECT_TRUE(owners.emplace(def->GetProductCode(), def->ID).second) << def->ID << " and " << owners[def->GetProductCode()];
  }
  EXPECT_NE(std::find(adapters.busTypes.begin(), adapters.busTypes.end(), "RS422"), adapters.busTypes.end());

  const std::map<std::string, std::string> titles = {
      {"NDI", "Digital Input"},           {"NDO", "Digital Output"},          {"NAI", "Analog Input"},
      {"NAO", "Analog Output"},           {"NPW", "Power"},                   {"RDI", "POWERLINK Digital Input"},
      {"RDO", "POWERLINK Digital Output"}, {"RAI", "POWERLINK Analog Input"}, {"RAO", "POWERLINK Analog Output"}};
  for (const IOGroup& group : shipped.catalogue.groups) {
    SCOPED_TRACE(group.Category);
    ASSERT_TRUE(titles.count(group.Category));
    EXPECT_EQ(group.Title, titles.at(group.Category));
    EXPECT_FALSE(group.Description.empty());
    for (const IODef* def : group.Modules) EXPECT_EQ(def->category, group.Category) << def->ID;
  }
}

TEST(ShippedIOCatalogueTest, EveryDefinitionIsConsistentInItself) {
  ShippedIOCatalogue shipped;
  for (const auto& owned : shipped.catalogue.definitions()) {
    const IODef& def = *owned;
    SCOPED_TRACE(def.ID);
    // The family letter of the adapters (Modbus "N", POWERLINK "R") and the kind after it.
    ASSERT_GE(def.category.size(), 3u);
    EXPECT_TRUE(def.category[0] == 'N' || def.category[0] == 'R');
    EXPECT_TRUE(std::set<std::string>({"A", "B", "8", "16", "4", "2"}).count(def.addrMapPriority));
    const std::string kind = def.category.substr(1);
    if (def.category[0] == 'N') {
      // The class digit after the "-" of the model name.
      const char digit = def.modelName[def.modelName.find('-') + 1];
      const std::map<std::string, char> classDigit = {{"DI", '1'}, {"DO", '2'}, {"AI", '3'}, {"AO", '4'}};
      if (classDigit.count(kind)) {
        EXPECT_EQ(digit, classDigit.at(kind));
      }
    } else {
      // What the XDD export reads from the ID: the seventh character is the
      // direction (3 input, 4 output), the tenth the channel count.
      ASSERT_EQ(def.ID.size(), 10u);
      EXPECT_EQ(def.ID[6], kind[1] == 'I' ? '3' : '4');
      int channels = 0;
      for (const auto* items : {&def.inputItems, &def.outputItems}) {
        for (const auto& item : *items) channels += kind[0] == 'D' ? item->length : 1;
      }
      EXPECT_EQ(def.ID[9], static_cast<char>('0' + channels));
    }

    // Items fill their images exactly; analog items carry a usable rule.
    for (const auto* items : {&def.inputItems, &def.outputItems}) {
      int bytes = 0;
      for (const auto& item : *items) {
        EXPECT_EQ(item->byteOffset, bytes);
        bytes += GetDataTypeSize(item->dataType, item->length);
        EXPECT_NE(item->convKind, kConvInvalid);
        if (item->channelType == "AI" || item->channelType == "AO") {
          EXPECT_EQ(item->dataType, kDataTypeFloat16);
          EXPECT_TRUE(item->convKind == kConvLinear || item->convKind == kConvByParaVal);
        }
      }
      EXPECT_EQ(bytes, items == &def.inputItems ? def.inputLength : def.outputLength);
    }
    EXPECT_EQ(def.canCommunication == 1, def.inputLength + def.outputLength + def.paraLength > 0);

    // Parameters lie inside the image, name existing lists and carry valid defaults.
    for (const auto& para : def.paraItems) {
      SCOPED_TRACE(para->textId);
      EXPECT_LE(para->byteOffset + std::max(1, GetDataTypeSize(para->dataType, para->length)), def.paraLength);
      if (!para->valueItemTarget.empty()) {
        const ValueList* list = def.FindValueList(para->valueItemTarget);
        ASSERT_NE(list, nullptr);
        bool known = false;
        for (const ValueRecord& r : *list) known = known || r.content == para->defaultValue;
        EXPECT_TRUE(known) << para->defaultValue;
      }
    }
    EXPECT_EQ(def.paraLength == 0, def.defaultParaText.empty());
    EXPECT_EQ(def.defaultParaText.size(), 2u * static_cast<size_t>(def.paraLength));
  }
}

TEST(ShippedIOCatalogueTest, DefaultImagesHoldEveryParametersDefaultInEachByteOrder) {
  ShippedIOCatalogue shipped;
  LogCapture log;
  std::set<int> types;
  for (const auto& owned : shipped.catalogue.definitions()) {
    const IODef& def = *owned;
    SCOPED_TRACE(def.ID);
    std::vector<uint8_t> pairs;
    for (size_t k = 0; k + 1 < def.defaultParaText.size(); k += 2) {
      pairs.push_back(HexStrToByte(def.defaultParaText.substr(k, 2)));
    }
    // Plain order: every parameter reads back as its default value.
    auto plain = MakeModule(def, 0);
    EXPECT_EQ(plain->paraImage(), pairs);
    for (const auto& para : def.paraItems) {
      EXPECT_EQ(ParaText(*plain, *para), para->defaultValue) << para->textId;
      types.insert(para->dataType);
    }
    // The other orders place the same bytes by the mode.
    for (int mode : {1, 2}) {
      auto ordered = MakeModule(def, mode);
      std::vector<uint8_t> placed(pairs.size(), 0);
      if (!pairs.empty()) CopyBytesByOrder(placed.data(), pairs.data(), static_cast<uint16_t>(pairs.size()), mode);
      EXPECT_EQ(ordered->paraImage(), placed) << "mode " << mode;
      if (!pairs.empty()) {
        EXPECT_EQ(*ordered->GetDefaultParaImage(), placed);
      }
    }
  }
  // The shipped parameters use every type a parameter commonly has.
  for (int type : {kDataTypeBit, kDataTypeBitArea, kDataTypeUnsigned8, kDataTypeUnsigned16, kDataTypeInteger16}) {
    EXPECT_TRUE(types.count(type)) << GetDataTypeName(type);
  }
  EXPECT_TRUE(log.records().empty());
}

TEST(ShippedIOCatalogueTest, PowerModulesAndTheModuleThatDoesNotCommunicate) {
  ShippedIOCatalogue shipped;
  const IODef* feed = shipped.catalogue.FindByID("QMX-7124");
  const IODef* distribution = shipped.catalogue.FindByID("QMX-7016");
  ASSERT_TRUE(feed && distribution);
  EXPECT_EQ(feed->canCommunication, 1);
  EXPECT_EQ(feed->fieldPwrCutoffBefore, 1);
  EXPECT_EQ(feed->fieldPwrFreeNext, 1);
  EXPECT_EQ(feed->systemPwrExpansion, 1000);
  EXPECT_EQ(feed->fieldPower.value, "1");
  EXPECT_EQ(distribution->canCommunication, 0);
  EXPECT_EQ(distribution->paraLength, 0);
  EXPECT_TRUE(distribution->inputItems.empty() && distribution->outputItems.empty());
  auto module = MakeModule(*distribution);
  EXPECT_EQ(module->CanCommunication(), 0);
  EXPECT_EQ(module->ParaLength(), 0);
  EXPECT_EQ(module->GetSize(), 0);
  // Every other module draws field power from group 1 and adds no system power.
  for (const auto& def : shipped.catalogue.definitions()) {
    EXPECT_EQ(def->fieldPower.value, "1") << def->ID;
    if (def.get() != feed) {
      EXPECT_EQ(def->systemPwrExpansion, 0) << def->ID;
    }
  }
}

TEST(ShippedIOCatalogueTest, EveryModuleHasItsPicturesAndTheWindowItsStrip) {
  ShippedIOCatalogue shipped;
  const fs::path images = SourcePath("resources/QMX410Tools/Image");
  for (const auto& def : shipped.catalogue.definitions()) {
    for (const std::string& name : {def->graphicFile + ".bmp", def->graphicFile + "-OFF.bmp"}) {
      const fs::path file = images / name;
      ASSERT_TRUE(fs::is_regular_file(file)) << file;
      const std::string bytes = qmx::test::ReadFile(file);
      ASSERT_GT(bytes.size(), 54u);
      EXPECT_EQ(bytes.substr(0, 2), "BM") << file;
      EXPECT_EQ(static_cast<unsigned char>(bytes[28]), 8) << file;  // bits per pixel
    }
  }
  // The report program's picture of each module category.
  for (const IOGroup& group : shipped.catalogue.groups) {
    EXPECT_TRUE(fs::is_regular_file(SourcePath("resources/Rendaval/Image/" + group.Category + ".bmp"))) << group.Category;
  }
  const std::string strip = qmx::test::ReadFile(images / "ToolBoxList.bmp");
  ASSERT_GT(strip.size(), 54u);
  auto le32 = [&](size_t at) {
    return static_cast<unsigned>(static_cast<unsigned char>(strip[at])) |
           static_cast<unsigned>(static_cast<unsigned char>(strip[at + 1])) << 8;
  };
  EXPECT_EQ(le32(18), 416u);  // 26 pictures of 16 x 16
  EXPECT_EQ(le32(22), 16u);
}
