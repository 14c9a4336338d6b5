// The address map through the instance, as drvSetModuleList,
// drvSetProcessImgMode, drvGetAddresMap and drvFreeGetAddresMap see it:
// the worked example, every process-image mode, the fixed-I/O and split
// models, and a station of 63 modules.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "driver/driver_instance.h"
#include "driver/driver_library.h"
#include "driver/modbus_driver.h"
#include "driver/records.h"
#include "tests/driver/log_capture.h"

namespace tessivar {
namespace {

using qmx::test::LogCapture;

// word address, bit in word, bit address
using Address = std::tuple<int, int, int>;

std::vector<Address> Addresses(AddressMapChannel** channels, int count) {
  std::vector<Address> out;
  for (int i = 0; i < count; ++i)
    out.emplace_back(channels[i]->wordAddress, channels[i]->bitInWord, channels[i]->bitAddress);
  return out;
}

struct Module {
  std::string label;
  std::string line;
  uint16_t in = 0;
  uint16_t out = 0;
};

class AddressMap : public ::testing::Test {
protected:
  void SetUp() override {
    DriverLibrary::Get().SetCallback(&LogCapture::Callback);
    DriverLibrary::Get().SetSwitches(1, 1, 1, 1);
    LogCapture::Clear();
    ASSERT_EQ(instance_.SetChannelProperty("M", "TCP\t127.0.0.1,,,,,,"), 1);
  }
  void TearDown() override {
    for (AddressMapInfo* map : maps_) instance_.FreeGetAddresMap(map);
    DriverLibrary::Get().SetCallback(nullptr);
    DriverLibrary::Get().SetSwitches(0, 0, 0, 0);
  }
  void Station(const std::string& model, const std::vector<Module>& modules, uint16_t adapterIn = 0) {
    ASSERT_EQ(instance_.SetDeviceProperty(1, model.c_str(), "500\t1,1"), 1);
    std::vector<ModuleListEntry> entries;
    entries.push_back({1, "NA", model.c_str(), 0, "", "", adapterIn, 0, ""});
    for (const Module& m : modules)
      entries.push_back({2, "IO", m.label.c_str(), 0, "", "", m.in, m.out, m.line.c_str()});
    ASSERT_EQ(instance_.SetModuleList(1, entries.data(), static_cast<int>(entries.size())), 1) << LogCapture::Dump();
  }
  AddressMapInfo* Map(int inputMode, int outputMode, int slot = 0) {
    EXPECT_EQ(instance_.SetProcessImgMode(1, inputMode, outputMode), 1);
    AddressMapInfo* map = instance_.GetAddresMap(1, slot);
    if (map) maps_.push_back(map);
    return map;
  }
  DeviceRecord Record() {
    DeviceRecord d;
    EXPECT_TRUE(dynamic_cast<ModbusDriver&>(instance_.Driver()).Device("1", &d));
    return d;
  }

  DriverInstance instance_;
  std::vector<AddressMapInfo*> maps_;
};

TEST_F(AddressMap, TheWorkedExample) {
  Station("QMX-4101", {{"DI8", "NDI,8,1,0,8,0,3,DI,1", 1, 0},
                       {"AI4", "NAI,A,16,0,64,0,5,AI,2", 8, 0},
                       {"DO4", "NDO,8,0,1,0,4,4,DO,3", 0, 1}});
  AddressMapInfo* map = Map(0, 0);
  ASSERT_NE(map, nullptr);
  EXPECT_STREQ(map->inputModeText, " #0 Status(1word) + Uncompressed Input Processing Data");
  EXPECT_STREQ(map->outputModeText, " #0 Uncompressed Output Processing Data");
  ASSERT_EQ(map->rowCount, 4);
  const AddressMapRow& adapter = *map->rows[0];
  EXPECT_EQ(adapter.index, 0);
  EXPECT_EQ(adapter.iconIndex, 1);
  EXPECT_STREQ(adapter.type, "NA");
  EXPECT_STREQ(adapter.name, "QMX-4101");
  EXPECT_EQ(adapter.inputCount + adapter.outputCount, 0);

  std::vector<Address> di;
  for (int k = 0; k < 8; ++k) di.emplace_back(1, k, 16 + k);
  EXPECT_EQ(Addresses(map->rows[1]->inputs, map->rows[1]->inputCount), di);
  EXPECT_EQ(Addresses(map->rows[2]->inputs, map->rows[2]->inputCount),
            (std::vector<Address>{{1, 8, 24}, {2, 8, 40}, {3, 8, 56}, {4, 8, 72}}));
  EXPECT_EQ(Addresses(map->rows[3]->outputs, map->rows[3]->outputCount),
            (std::vector<Address>{{2048, 0, 4096}, {2048, 1, 4097}, {2048, 2, 4098}, {2048, 3, 4099}}));
  EXPECT_EQ(map->rows[2]->index, 2);
  EXPECT_EQ(map->rows[2]->iconIndex, 5);
  EXPECT_STREQ(map->rows[2]->type, "NAI");
  EXPECT_STREQ(map->rows[2]->inputs[0]->channelType, "AI");
  EXPECT_EQ(map->rows[2]->inputs[0]->channelSize, 16);
  EXPECT_EQ(Record().inputLengths[0], 0 + 9 + 2);
}

TEST_F(AddressMap, EveryModePacksAndAddressesTheChannels) {
  // Uncompressed input bytes: DI4 0, AI2 1..4, DI4 5 (6 bytes); compressed
  // bits: DI4 0-3, AI2 4-35, DI4 36-39 (5 bytes). Outputs: 2 bytes, 1 packed.
  Station("QMX-4101", {{"DI4", "NDI,8,1,0,4,0,3,DI,1", 1, 0},
                       {"AI2", "NAI,A,16,0,32,0,5,AI,2", 4, 0},
                       {"DI4b", "NDI,8,1,0,4,0,3,DI,3", 1, 0},
                       {"DO4", "NDO,8,0,1,0,4,4,DO,4", 0, 1},
                       {"DO4b", "NDO,8,0,1,0,4,4,DO,5", 0, 1}});
  EXPECT_EQ(Record().inputLengths, (std::array<uint16_t, 4>{8, 7, 6, 5}));
  EXPECT_EQ(Record().outputLengths, (std::array<uint16_t, 2>{2, 1}));
  struct Case {
    int inputMode;
    int outputMode;
    const char* inputText;
    Address ai1;       // second channel of AI2
    Address di4b0;     // first channel of the second DI4
    Address do4b0;     // first channel of the second DO4
  };
  const Case cases[] = {
      {0, 0, " #0 Status(1word) + Uncompressed Input Processing Data", {2, 8, 40}, {3, 8, 56}, {2048, 8, 4104}},
      {1, 1, " #1 Status(1word) +Compressed Input Processing Data", {2, 4, 36}, {3, 4, 52}, {2048, 4, 4100}},
      {2, 0, " #2 Uncompressed Input Processing Data without Status", {1, 8, 24}, {2, 8, 40}, {2048, 8, 4104}},
      {3, 1, " #3 Compressed Input Processing Data without Status", {1, 4, 20}, {2, 4, 36}, {2048, 4, 4100}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.inputMode);
    AddressMapInfo* map = Map(c.inputMode, c.outputMode);
    ASSERT_NE(map, nullptr);
    EXPECT_STREQ(map->inputModeText, c.inputText);
    EXPECT_EQ(map->rows[2]->inputCount, 2);
    EXPECT_EQ(Addresses(map->rows[2]->inputs, 2)[1], c.ai1);
    EXPECT_EQ(Addresses(map->rows[3]->inputs, 1)[0], c.di4b0);
    EXPECT_EQ(Addresses(map->rows[5]->outputs, 1)[0], c.do4b0);
  }
  EXPECT_STREQ(Map(1, 1)->outputModeText, " #1 Compressed Output Processing Data");
}

TEST_F(AddressMap, ModesOutOfRangeAreStoredAndRefusedOnlyWhereAModuleNeedsThem) {
  Station("QMX-4101", {{"DI8", "NDI,8,1,0,8,0,3,DI,1", 1, 0}});
  EXPECT_EQ(Map(5, 0), nullptr);
  EXPECT_TRUE(LogCapture::Has("[M] Invalid input image mode. Contact the dealer. mode: 5.")) << LogCapture::Dump();
  Station("QMX-4101", {{"DO8", "NDO,8,0,1,0,8,4,DO,1", 0, 1}});
  EXPECT_STREQ(Map(5, 0)->inputModeText, " Unknown.");
  EXPECT_EQ(Map(0, 2), nullptr);
  EXPECT_TRUE(LogCapture::Has("[M] Invalid output image mode. Contact the dealer. mode: 2.")) << LogCapture::Dump();
}

TEST_F(AddressMap, ChannelCountsSlotsAndPriorityCharacters) {
  Station("QMX-4101", {{"C12x4", "NAI,B,4,0,12,0,5,AI,1", 2, 0},
                       {"C12x8", "NAI,b,8,0,12,0,5,AI,2", 2, 0},
                       {"Odd", "NDI,Z,1,0,8,0,3,DI,3", 1, 0}});
  EXPECT_TRUE(LogCapture::Has(
      "[M] Invalid input address map priority character. Contact the dealer. AddrMapPriority: Z."))
      << LogCapture::Dump();
  AddressMapInfo* map = Map(2, 0);
  ASSERT_NE(map, nullptr);
  EXPECT_EQ(map->rows[1]->inputCount, 3);
  EXPECT_EQ(map->rows[2]->inputCount, 2);
  EXPECT_EQ(Addresses(map->rows[2]->inputs, 2)[1], (Address{1, 8, 24})) << "the last channel starts at bit 8";
  // The module kept out of packing keeps its uncompressed addresses...
  EXPECT_EQ(Addresses(map->rows[3]->inputs, 1)[0], (Address{2, 0, 32}));
  // ...and has none in a compressed mode rather than one that is not its own.
  EXPECT_EQ(Map(3, 0)->rows[3]->inputCount, 0);

  AddressMapInfo* one = Map(2, 0, 2);
  ASSERT_EQ(one->rowCount, 1);
  EXPECT_EQ(one->rows[0]->index, 2);
  AddressMapInfo* none = Map(2, 0, 9);
  EXPECT_EQ(none->rowCount, 0);
  EXPECT_STREQ(none->inputModeText, " #2 Uncompressed Input Processing Data without Status");
  EXPECT_EQ(instance_.GetAddresMap(77, 0), nullptr);
}

TEST_F(AddressMap, FixedIoAdapterRowsAreTheCallersOwnCopies) {
  Station("DM-T640", {{"DI8", "NDI,8,1,0,8,0,3,DI,1", 1, 0}, {"DO8", "NDO,8,0,1,0,8,4,DO,2", 0, 1}}, 18);
  AddressMapInfo* map = Map(0, 0);
  ASSERT_NE(map, nullptr);
  const AddressMapRow& adapter = *map->rows[0];
  ASSERT_EQ(adapter.inputCount, 16);
  ASSERT_EQ(adapter.outputCount, 6);
  EXPECT_STREQ(adapter.inputs[0]->channelType, "RTD");
  EXPECT_STREQ(adapter.inputs[6]->channelType, "AI");
  EXPECT_EQ(Addresses(adapter.inputs + 15, 1)[0], (Address{8, 7, 135}));
  EXPECT_EQ(Addresses(adapter.outputs + 5, 1)[0], (Address{2053, 0, 4176}));
  EXPECT_EQ(Addresses(map->rows[1]->inputs, 1)[0], (Address{10, 0, 160})) << "behind the status word";
  EXPECT_EQ(Addresses(map->rows[2]->outputs, 1)[0], (Address{2054, 0, 4192}));
  EXPECT_EQ(Addresses(Map(2, 0)->rows[1]->inputs, 1)[0], (Address{9, 0, 144}));

  // The device goes away; the caller's map stays readable until freed.
  ASSERT_EQ(instance_.RemoveDevice(1), 1);
  EXPECT_STREQ(map->rows[0]->inputs[15]->channelType, "DI");
  EXPECT_EQ(map->rows[0]->outputs[0]->wordAddress, 2048);
}

TEST_F(AddressMap, SplitModelsPlaceEachClassByItsKindNotItsLabel) {
  Station("KA-4470", {{"Pump 3", "NDI,8,1,0,8,0,3,DI,1", 1, 0},
                      {"Tank 1", "NAI,A,16,0,32,0,5,AI,2", 4, 0},
                      {"Valves", "NDO,8,0,1,0,8,4,DO,3", 0, 1},
                      {"Setpoints", "NAO,A,0,16,0,32,6,AO,4", 0, 4},
                      {"Counter 5", "Special,A,16,16,16,16,7,CNT,5", 2, 2},
                      {"More inputs", "NDI,8,1,0,8,0,3,DI,6", 1, 0}});
  AddressMapInfo* map = Map(0, 0);  // the modes do not move the classes
  ASSERT_NE(map, nullptr);
  EXPECT_EQ(Addresses(map->rows[1]->inputs, 1)[0], (Address{0x8000, 0, 0x8000}));
  EXPECT_EQ(Addresses(map->rows[6]->inputs, 1)[0], (Address{0x8000, 8, 0x8008}));
  EXPECT_EQ(Addresses(map->rows[2]->inputs, 2)[1], (Address{1, 0, 16}));
  EXPECT_EQ(Addresses(map->rows[3]->outputs, 1)[0], (Address{0x8800, 0, 0x8800}));
  EXPECT_EQ(Addresses(map->rows[4]->outputs, 2)[1], (Address{2049, 0, 2064}));
  // "Special" is an analog-class module: behind the analog input module.
  EXPECT_EQ(Addresses(map->rows[5]->inputs, 1)[0], (Address{2, 0, 32}));
  EXPECT_EQ(Addresses(map->rows[5]->outputs, 1)[0], (Address{2050, 0, 2080}));
}

TEST_F(AddressMap, AStationOf63ModulesGivesEveryChannelABitOfItsOwnInEveryMode) {
  std::vector<Module> modules;
  for (int i = 1; i <= 63; ++i) {
    switch (i % 3) {
      case 0:
        modules.push_back({"DI4", "NDI,8,1,0,4,0,3,DI," + std::to_string(i), 1, 0});
        break;
      case 1:
        modules.push_back({"AI1", "NAI,A,16,0,16,0,5,AI," + std::to_string(i), 2, 0});
        break;
      default:
        modules.push_back({"DO4", "NDO,8,0,1,0,4,4,DO," + std::to_string(i), 0, 1});
        break;
    }
  }
  Station("QMX-4101", modules);
  const DeviceRecord d = Record();
  for (int mode = 0; mode < 4; ++mode) {
    SCOPED_TRACE(mode);
    AddressMapInfo* map = Map(mode, mode % 2);
    ASSERT_NE(map, nullptr);
    ASSERT_EQ(map->rowCount, 64);
    std::set<int> inBits, outBits;
    size_t inChannels = 0, outChannels = 0;
    const int statusBits = mode < 2 ? 16 : 0;
    for (int r = 1; r < map->rowCount; ++r) {
      const AddressMapRow& row = *map->rows[r];
      for (int c = 0; c < row.inputCount; ++c) {
        for (int b = 0; b < row.inputs[c]->channelSize; ++b) inBits.insert(row.inputs[c]->bitAddress + b);
        ++inChannels;
        EXPECT_EQ(row.inputs[c]->bitAddress, 16 * row.inputs[c]->wordAddress + row.inputs[c]->bitInWord);
      }
      for (int c = 0; c < row.outputCount; ++c) {
        for (int b = 0; b < row.outputs[c]->channelSize; ++b) outBits.insert(row.outputs[c]->bitAddress + b);
        ++outChannels;
      }
    }
    EXPECT_EQ(inChannels, 21u + 21u * 4);
    EXPECT_EQ(inBits.size(), 21u * 16 + 21u * 4) << "no two input channels share a bit";
    EXPECT_EQ(outBits.size(), 21u * 4);
    EXPECT_EQ(outChannels, 21u * 4);
    // Every bit lies inside the image the monitoring cycle reads.
    EXPECT_LT(*inBits.rbegin(), 8 * d.inputLengths[mode]);
    EXPECT_GE(*inBits.begin(), statusBits);
    EXPECT_LT(*outBits.rbegin() - 4096, 8 * d.outputLengths[mode % 2]);
  }
  EXPECT_EQ(d.inputLengths, (std::array<uint16_t, 4>{63 + 2, 53 + 2, 63, 53}));
  EXPECT_EQ(d.outputLengths, (std::array<uint16_t, 2>{21, 11}));
}

}  // namespace
}  // namespace tessivar
