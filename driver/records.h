// Allocation and release of the records the driver hands to its caller
// (driver/include/tessivar.h). Everything is allocated here and freed here,
// so a record never crosses an allocator boundary.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "driver/include/tessivar.h"

namespace tessivar {

// A NUL-terminated copy owned by a record.
const char* NewRecordText(const std::string& text);
void FreeRecordText(const char* text);

// texts: text1..text5; modules: the product code of each slot.
OnlineIOConfig* NewOnlineIOConfig(uint16_t productCode, const std::array<std::string, 5>& texts,
                                  const std::vector<uint16_t>& modules);
// Takes ownership of the adapters.
ScanResultList* NewScanResultList(const std::vector<ScannedAdapter*>& adapters);

AddressMapChannel* NewAddressMapChannel(uint16_t channelSize, int32_t wordAddress, int32_t bitInWord,
                                        int32_t bitAddress, const std::string& channelType);
void FreeAddressMapChannel(AddressMapChannel* channel);
// The row takes ownership of the channels given.
AddressMapRow* NewAddressMapRow(int32_t index, int32_t iconIndex, const std::string& name, const std::string& type,
                                const std::vector<AddressMapChannel*>& inputs,
                                const std::vector<AddressMapChannel*>& outputs);
AddressMapInfo* NewAddressMapInfo(uint16_t wordAddressing, uint16_t inputMode, uint16_t outputMode,
                                  const std::string& inputModeText, const std::string& outputModeText,
                                  const std::vector<AddressMapRow*>& rows);

// Release (null is accepted):
// - an online configuration: its module items, then the record;
// - a scan result list: each adapter's module items and the adapter, then
//   the list;
// - an address map: every row's channel entries (the adapter row included:
//   the map holds copies of the device's own channels, so it stays valid
//   after the device changes), the rows, then the record.
void FreeOnlineIOConfig(OnlineIOConfig* record);
void FreeScanResultList(ScanResultList* list);
void FreeAddressMapInfo(AddressMapInfo* record);

}  // namespace tessivar
