// Stations named by the shipped catalogue: the simulator's reading of the
// description files agrees with the main program's readers, contradicting
// descriptions are refused, catalogue names make stations with the
// catalogue's numbers, and every register an adapter's init block names is
// served where and as large as the driver expects it.
#include "tools/simulator/catalogue.h"

#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "app/model/DataTypes.h"
#include "app/model/IOCatalogue.h"
#include "app/model/NACatalogue.h"
#include "app/model/TextIdList.h"
#include "tests/support/test_support.h"
#include "tests/tools_sim/driver_registers.h"
#include "tools/simulator/config.h"
#include "tools/simulator/station.h"

namespace qmx::sim {
namespace {

namespace fs = std::filesystem;

Catalogue Shipped() {
  Catalogue c;
  std::string error;
  EXPECT_TRUE(Catalogue::Load(DefaultCatalogueFolder(), &c, &error)) << error;
  return c;
}

// The program's own reading of the shipped catalogue.
struct ProgramCatalogue {
  ProgramCatalogue() {
    const fs::path products = DefaultCatalogueFolder();
    ParseTextIdFile((products / "listTextIdEng.xml").string(), texts);
    ParseNAFiles((products / "listNA.xml").string(), texts, adapters, nullptr);
    ParseIOFiles((products / "listIO.xml").string(), texts, modules, nullptr);
  }
  TextIdMap texts;
  NACatalogue adapters;
  IOCatalogue modules;
};

// The module-list bits of the main program: a "DI" ("DO") item counts its
// count as bits, any other item 8 times its byte size.
int ProgramBits(const std::vector<std::unique_ptr<IOItem>>& items, const std::string& digital) {
  int bits = 0;
  for (const auto& item : items) {
    std::string type = item->channelType;
    for (char& ch : type) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    bits += type == digital ? item->length : 8 * GetDataTypeSize(item->dataType, item->length);
  }
  return bits;
}

std::vector<uint8_t> HexBytes(const std::string& hex) {
  std::vector<uint8_t> out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) out.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  return out;
}

TEST(SimCatalogueTest, ReadsTheDescriptionsAsTheProgramDoes) {
  const Catalogue sim = Shipped();
  const ProgramCatalogue program;
  ASSERT_EQ(sim.adapters().size(), program.adapters.definitions.size());
  for (const auto& def : program.adapters.definitions) {
    SCOPED_TRACE(def->ID);
    const CatalogueAdapter* a = sim.FindAdapter(def->ID);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->productCode, def->GetProductCode());
    EXPECT_EQ(a->paraLength, def->paraLength);
    EXPECT_EQ(a->defaultPara, def->defaultParaImage);
    EXPECT_EQ(a->inputLength, def->inputLength);
    EXPECT_EQ(a->outputLength, def->outputLength);
    std::vector<std::string> buses{def->busType};
    buses.insert(buses.end(), def->busTypes.begin(), def->busTypes.end());
    EXPECT_EQ(a->busTypes, buses);
    std::vector<std::string> init;
    for (const auto& item : def->blockItems[kMonInit]) init.push_back(item->key);
    EXPECT_EQ(a->initBlock, init);
  }
  ASSERT_EQ(sim.modules().size(), program.modules.definitions().size());
  for (const auto& def : program.modules.definitions()) {
    SCOPED_TRACE(def->ID);
    const CatalogueModule* m = sim.FindModule(def->ID);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->productCode, def->GetProductCode());
    EXPECT_EQ(m->category, def->category);
    EXPECT_EQ(m->paraLength, def->paraLength);
    EXPECT_EQ(m->defaultPara, HexBytes(def->defaultParaText));
    EXPECT_EQ(m->inputLength, def->inputLength);
    EXPECT_EQ(m->outputLength, def->outputLength);
    EXPECT_EQ(m->inputBits, ProgramBits(def->inputItems, "DI"));
    EXPECT_EQ(m->outputBits, ProgramBits(def->outputItems, "DO"));
    EXPECT_EQ(m->canCommunicate, def->canCommunication == 1);
  }
}

// A copy of the shipped catalogue with one file edited.
fs::path EditedCatalogue(const test::TempDir& dir, const std::string& file, const std::string& from,
                         const std::string& to) {
  const fs::path root = dir.path() / "Products";
  fs::copy(DefaultCatalogueFolder(), root, fs::copy_options::recursive);
  if (!from.empty()) {
    std::ifstream in(root / file, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    std::string s = text.str();
    const size_t at = s.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) s.replace(at, from.size(), to);
    std::ofstream(root / file, std::ios::binary | std::ios::trunc) << s;
  } else {
    fs::remove(root / file);
  }
  return root;
}

TEST(SimCatalogueTest, RefusesDescriptionsThatContradictThemselves) {
  struct Case {
    const char* file;
    const char* from;
    const char* to;
    const char* reason;
  };
  const Case cases[] = {
      {"IO/QMX-1808.xml", "DeviceID=\"0x1808\"", "DeviceID=\"0x18G8\"", "DeviceID '0x18G8'"},
      {"IO/QMX-1808.xml", "InputLength=\"1\"", "InputLength=\"2\"", "Input items give 8 bits in 1 bytes, the description says 2 bytes"},
      {"IO/QMX-3404.xml", "DataType=\"Float16\"", "DataType=\"Float15\"", "unknown data type 'Float15'"},
      {"NA/QMX-4101.xml", "<Parameters Index=\"1\" Length=\"4\">", "<Parameters Index=\"1\" Length=\"70000\">",
       "Parameters Length 70000"},
      {"IO/QMX-2808.xml", "", "", "QMX-2808.xml"},
      {"listIO.xml", "", "", "listIO.xml"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.file) + " " + c.from);
    test::TempDir dir("qmx-sim-cat");
    const fs::path root = EditedCatalogue(dir, c.file, c.from, c.to);
    Catalogue catalogue;
    std::string error;
    EXPECT_FALSE(Catalogue::Load(root, &catalogue, &error));
    EXPECT_NE(error.find(fs::path(c.file).filename().string()), std::string::npos) << error;
    EXPECT_NE(error.find(c.reason), std::string::npos) << error;
  }
}

bool Parse(const std::vector<std::string>& args, SimConfig* cfg, std::string* error) {
  bool help = false;
  return ParseArguments(args, cfg, error, &help);
}

TEST(SimCatalogueTest, CatalogueNamesMakeTheStation) {
  SimConfig c;
  std::string error;
  ASSERT_TRUE(Parse({"--tcp", "127.0.0.1:0", "--model", "qmx-4105", "--modules", "QMX-1808,qmx-7016,QMX-3404*2,DI8"},
                    &c, &error))
      << error;
  const StationConfig& st = c.stations.at(0);
  EXPECT_EQ(st.model, "QMX-4105");  // the catalogue's spelling: the driver compares names by their first characters
  EXPECT_EQ(st.productCode, 0x4105);
  EXPECT_EQ(st.adapterPara, 4);
  EXPECT_EQ(st.adapterParaDefault, (std::vector<uint8_t>{0x00, 0x03, 0x00, 0x00}));
  ASSERT_EQ(st.modules.size(), 5u);
  struct Expect {
    const char* label;
    uint16_t code;
    const char* kind;
    uint16_t in, out, para;
    bool communicates;
  };
  const Expect expect[] = {{"QMX-1808", 0x1808, "NDI", 8, 0, 2, true},   {"QMX-7016", 0x7016, "NPW", 0, 0, 0, false},
                           {"QMX-3404", 0x3404, "NAI", 64, 0, 4, true},  {"QMX-3404", 0x3404, "NAI", 64, 0, 4, true},
                           {"DI8", 0x1108, "DI", 8, 0, 2, true}};
  for (size_t i = 0; i < st.modules.size(); ++i) {
    const ModuleSpec& m = st.modules[i];
    SCOPED_TRACE(i);
    EXPECT_EQ(m.label, expect[i].label);
    EXPECT_EQ(m.productCode, expect[i].code);
    EXPECT_EQ(m.kind, expect[i].kind);
    EXPECT_EQ(m.inputBits, expect[i].in);
    EXPECT_EQ(m.outputBits, expect[i].out);
    EXPECT_EQ(m.paraLength, expect[i].para);
    EXPECT_EQ(m.communicates(), expect[i].communicates);
  }
  Station s(st);
  EXPECT_EQ(s.commNumber(2), -1);
  EXPECT_EQ(s.commNumber(3), 2);
  // Parameters start as the descriptions' defaults (QMX-1808: 02 01), in wire order.
  EXPECT_EQ(s.Para(1), (std::vector<uint8_t>{0x01, 0x02}));

  // Options given explicitly win over the catalogue; a model it does not
  // name keeps the built-in layout and reports product code 0.
  ASSERT_TRUE(Parse({"--tcp", "127.0.0.1:0", "--product", "0x8040", "--adapter-para", "0"}, &c, &error)) << error;
  EXPECT_EQ(c.stations[0].productCode, 0x8040);
  EXPECT_EQ(c.stations[0].adapterPara, 0);
  ASSERT_TRUE(Parse({"--tcp", "127.0.0.1:0", "--model", "DM-T640"}, &c, &error)) << error;
  EXPECT_EQ(c.stations[0].productCode, 0);

  // Names nobody knows, and a catalogue folder that cannot be read.
  EXPECT_FALSE(Parse({"--tcp", "127.0.0.1:0", "--modules", "QMX-1808,QMX-9999"}, &c, &error));
  EXPECT_EQ(error, "modules of node 1: unknown module 'QMX-9999'");
  EXPECT_FALSE(Parse({"--tcp", "127.0.0.1:0", "--catalogue", "/nonexistent/Products"}, &c, &error));
  EXPECT_NE(error.find("/nonexistent/Products/listNA.xml"), std::string::npos) << error;
}

using testing::DriverRegisters;

TEST(SimCatalogueTest, EveryInitBlockRegisterIsServedWhereTheDriverExpectsIt) {
  const Catalogue catalogue = Shipped();
  for (const CatalogueAdapter& a : catalogue.adapters()) {
    SCOPED_TRACE(a.id);
    StationConfig c;
    c.model = a.id;
    c.productCode = a.productCode;
    Station s(c);
    ASSERT_FALSE(a.initBlock.empty());
    for (const std::string& name : a.initBlock) {
      SCOPED_TRACE(name);
      const auto known = DriverRegisters().find(name);
      ASSERT_NE(known, DriverRegisters().end());
      uint16_t address = 0;
      size_t bytes = 0;
      ASSERT_TRUE(s.FindNamedObject(name, &address, &bytes));
      EXPECT_EQ(address, known->second.address);
      EXPECT_EQ(bytes, known->second.bytes);
      std::vector<uint16_t> words;
      const auto count = static_cast<uint16_t>((bytes + 1) / 2);
      ASSERT_EQ(s.ReadRegisters(address, count, &words), Exception::None);
      // The driver writes what it read back; a read-only register refuses.
      EXPECT_EQ(s.WriteRegisters(address, words),
                known->second.writable ? Exception::None : Exception::IllegalAddress);
    }
  }
}

}  // namespace
}  // namespace qmx::sim
