#include "driver/records.h"

#include <gtest/gtest.h>

namespace tessivar {
namespace {

// The leak and double-free checks of the sanitizer build are what these tests
// lean on: every record is released exactly as the free exports describe.

TEST(Records, OnlineIOConfigCarriesTextsAndModules) {
  OnlineIOConfig* record = NewOnlineIOConfig(0x1234, {"", "192.168.0.5", "00:11:22:33:44:55", "", ""}, {7, 8, 9});
  EXPECT_EQ(record->productCode, 0x1234);
  EXPECT_STREQ(record->text2, "192.168.0.5");
  EXPECT_STREQ(record->text1, "");
  ASSERT_EQ(record->moduleCount, 3);
  EXPECT_EQ(record->modules[2].productCode, 9);
  EXPECT_STREQ(record->modules[0].text, "");
  FreeOnlineIOConfig(record);
  FreeOnlineIOConfig(nullptr);
}

TEST(Records, ScanResultListReleasesEveryAdapter) {
  auto* a = NewOnlineIOConfig(1, {"", "3", "9600,8,NOPARITY,0", "1", ""}, {});
  auto* b = NewOnlineIOConfig(2, {"", "3", "9600,8,NOPARITY,0", "2", ""}, {5});
  ScanResultList* list = NewScanResultList({a, b});
  ASSERT_EQ(list->count, 2);
  EXPECT_EQ(list->adapters[1]->modules[0].productCode, 5);
  EXPECT_EQ(list->adapters[0]->modules, nullptr);
  FreeScanResultList(list);
  FreeScanResultList(NewScanResultList({}));
  FreeScanResultList(nullptr);
}

TEST(Records, AddressMapReleasesEveryRowsChannels) {
  AddressMapChannel* own = NewAddressMapChannel(16, 0, 0, 0, "RTD");
  AddressMapChannel* moduleIn = NewAddressMapChannel(1, 9, 0, 144, "DI");
  AddressMapChannel* moduleOut = NewAddressMapChannel(1, 2054, 0, 4192, "DO");
  AddressMapRow* adapterRow = NewAddressMapRow(0, 1, "DM-T640", "na", {own}, {});
  AddressMapRow* moduleRow = NewAddressMapRow(1, 3, "Slot 1", "DIO", {moduleIn}, {moduleOut});
  AddressMapInfo* map = NewAddressMapInfo(1, 0, 1, "Status(1word) + Uncompressed", "Compressed",
                                          {adapterRow, moduleRow});
  ASSERT_EQ(map->rowCount, 2);
  EXPECT_EQ(map->rows[1]->outputs[0]->wordAddress, 2054);
  EXPECT_STREQ(map->rows[0]->inputs[0]->channelType, "RTD");
  FreeAddressMapInfo(map);  // the leak check sees the adapter row's channel go too
  FreeAddressMapInfo(nullptr);
}

}  // namespace
}  // namespace tessivar
