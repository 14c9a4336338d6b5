// qmx-sim started by catalogue names answers on the wire the codes and sizes
// that the main program's catalogue readers give for the same products:
// product code, module list, the parameter blocks of the communicating
// modules (numbered as the program numbers them) with their default
// contents, and the image sizes. libmodbus is the client.
#include <gtest/gtest.h>
#include <modbus.h>

#include <cerrno>
#include <memory>
#include <numeric>

#include "app/model/IOCatalogue.h"
#include "app/model/NACatalogue.h"
#include "app/model/TextIdList.h"
#include "tools/simulator/catalogue.h"
#include "tools/simulator/testing/simulator_process.h"

namespace qmx::sim {
namespace {

using Words = std::vector<uint16_t>;

struct ModbusDeleter {
  void operator()(modbus_t* ctx) const {
    modbus_close(ctx);
    modbus_free(ctx);
  }
};

TEST(SimCatalogueOnlineTest, AnswersTheCodesAndSizesOfTheCatalogue) {
  const std::filesystem::path products = DefaultCatalogueFolder();
  TextIdMap texts;
  NACatalogue adapters;
  IOCatalogue modules;
  ParseTextIdFile((products / "listTextIdEng.xml").string(), texts);
  ParseNAFiles((products / "listNA.xml").string(), texts, adapters, nullptr);
  ParseIOFiles((products / "listIO.xml").string(), texts, modules, nullptr);
  const NADef* adapter = adapters.FindByID("QMX-4101");
  ASSERT_NE(adapter, nullptr);
  const std::vector<std::string> names = {"QMX-1808", "QMX-2808", "QMX-7016", "QMX-3404",
                                          "QMX-4402", "QMX-7124", "QMX-2816"};
  std::vector<const IODef*> defs;
  std::string list;
  for (const std::string& name : names) {
    defs.push_back(modules.FindByID(name));
    ASSERT_NE(defs.back(), nullptr) << name;
    list += (list.empty() ? "" : ",") + name;
  }

  SimulatorProcess sim({"--model", "QMX-4101", "--modules", list, "--tcp", "127.0.0.1:0", "--freeze"});
  ASSERT_TRUE(sim.Start()) << sim.error();
  std::unique_ptr<modbus_t, ModbusDeleter> mb(modbus_new_tcp("127.0.0.1", sim.port()));
  ASSERT_TRUE(mb);
  modbus_set_slave(mb.get(), 1);
  ASSERT_EQ(modbus_connect(mb.get()), 0) << modbus_strerror(errno);
  auto read = [&](int address, int count) {
    Words v(static_cast<size_t>(count));
    if (modbus_read_input_registers(mb.get(), address, count, v.data()) != count) return Words{};
    return v;
  };
  auto refused = [&](int address, int count) {
    Words v(static_cast<size_t>(count));
    return modbus_read_input_registers(mb.get(), address, count, v.data()) == -1 && errno == EMBXILADD;
  };
  auto registers = [](int bytes) { return (bytes + 1) / 2; };
  // The driver swaps each register into its little-endian image.
  auto image = [](const Words& words, int bytes) {
    std::vector<uint8_t> out;
    for (uint16_t w : words) {
      out.push_back(static_cast<uint8_t>(w & 0xFF));
      out.push_back(static_cast<uint8_t>(w >> 8));
    }
    out.resize(static_cast<size_t>(bytes));
    return out;
  };

  EXPECT_EQ(read(0x1002, 1), (Words{adapter->GetProductCode()}));
  EXPECT_EQ(read(0x1110, 1), (Words{static_cast<uint16_t>(names.size())}));
  Words codes{adapter->GetProductCode()};
  for (const IODef* def : defs) codes.push_back(def->GetProductCode());
  EXPECT_EQ(read(0x1113, static_cast<int>(codes.size())), codes);

  // Parameters: the adapter's block, then one per communicating module,
  // each exactly as long as its description says and holding its default.
  EXPECT_EQ(image(read(0x2811, registers(adapter->paraLength)), adapter->paraLength), adapter->defaultParaImage);
  EXPECT_TRUE(refused(0x2811, registers(adapter->paraLength) + 1));
  int comm = 0;
  for (const IODef* def : defs) {
    SCOPED_TRACE(def->ID);
    if (def->canCommunication != 1) continue;
    const int address = 32 * ++comm + 0x1FF1;
    if (def->paraLength == 0) {
      EXPECT_TRUE(refused(address, 1));
      continue;
    }
    const Words words = read(address, registers(def->paraLength));
    ASSERT_FALSE(words.empty());
    std::vector<uint8_t> expected;
    for (size_t i = 0; i + 1 < def->defaultParaText.size(); i += 2)
      expected.push_back(static_cast<uint8_t>(std::stoi(def->defaultParaText.substr(i, 2), nullptr, 16)));
    EXPECT_EQ(image(words, def->paraLength), expected);
    EXPECT_TRUE(refused(address, registers(def->paraLength) + 1));
  }
  EXPECT_TRUE(refused(32 * (comm + 1) + 0x1FF1, 1));

  // Images (input mode 2, output mode 0): the modules' bytes without gaps.
  const int in = std::accumulate(defs.begin(), defs.end(), adapter->inputLength,
                                 [](int n, const IODef* d) { return n + d->inputLength; });
  const int out = std::accumulate(defs.begin(), defs.end(), adapter->outputLength,
                                  [](int n, const IODef* d) { return n + d->outputLength; });
  EXPECT_EQ(read(0, registers(in)).size(), static_cast<size_t>(registers(in)));
  EXPECT_TRUE(refused(0, registers(in) + 1));
  Words held(static_cast<size_t>(registers(out) + 1));
  EXPECT_EQ(modbus_read_registers(mb.get(), 2048, registers(out), held.data()), registers(out));
  EXPECT_EQ(modbus_read_registers(mb.get(), 2048, registers(out) + 1, held.data()), -1);
}

}  // namespace
}  // namespace qmx::sim
