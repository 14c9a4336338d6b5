#include "driver/records.h"

#include <cstring>

#include "common/Utility.h"

namespace tessivar {
namespace {

template <class T>
T** NewPointerArray(const std::vector<T*>& items) {
  if (items.empty()) return nullptr;
  T** out = new T*[items.size()];
  for (size_t i = 0; i < items.size(); ++i) out[i] = items[i];
  return out;
}

}  // namespace

const char* NewRecordText(const std::string& text) {
  char* out = new char[text.size() + 1];
  std::memcpy(out, text.c_str(), text.size() + 1);
  return out;
}

void FreeRecordText(const char* text) { delete[] text; }

OnlineIOConfig* NewOnlineIOConfig(uint16_t productCode, const std::array<std::string, 5>& texts,
                                  const std::vector<uint16_t>& modules) {
  auto* record = new OnlineIOConfig{};
  record->productCode = productCode;
  record->text1 = NewRecordText(texts[0]);
  record->text2 = NewRecordText(texts[1]);
  record->text3 = NewRecordText(texts[2]);
  record->text4 = NewRecordText(texts[3]);
  record->text5 = NewRecordText(texts[4]);
  record->moduleCount = static_cast<int32_t>(modules.size());
  if (!modules.empty()) {
    record->modules = new ScannedModule[modules.size()];
    for (size_t i = 0; i < modules.size(); ++i) {
      record->modules[i].productCode = modules[i];
      record->modules[i].text = NewRecordText("");
    }
  }
  return record;
}

ScanResultList* NewScanResultList(const std::vector<ScannedAdapter*>& adapters) {
  auto* list = new ScanResultList{};
  list->count = static_cast<int32_t>(adapters.size());
  list->adapters = NewPointerArray(adapters);
  return list;
}

AddressMapChannel* NewAddressMapChannel(uint16_t channelSize, int32_t wordAddress, int32_t bitInWord,
                                        int32_t bitAddress, const std::string& channelType) {
  auto* channel = new AddressMapChannel{};
  channel->channelSize = channelSize;
  channel->wordAddress = wordAddress;
  channel->bitInWord = bitInWord;
  channel->bitAddress = bitAddress;
  channel->channelType = NewRecordText(channelType);
  return channel;
}

void FreeAddressMapChannel(AddressMapChannel* channel) {
  if (!channel) return;
  FreeRecordText(channel->channelType);
  delete channel;
}

AddressMapRow* NewAddressMapRow(int32_t index, int32_t iconIndex, const std::string& name, const std::string& type,
                                const std::vector<AddressMapChannel*>& inputs,
                                const std::vector<AddressMapChannel*>& outputs) {
  auto* row = new AddressMapRow{};
  row->index = index;
  row->iconIndex = iconIndex;
  row->name = NewRecordText(name);
  row->type = NewRecordText(type);
  row->inputCount = static_cast<int32_t>(inputs.size());
  row->inputs = NewPointerArray(inputs);
  row->outputCount = static_cast<int32_t>(outputs.size());
  row->outputs = NewPointerArray(outputs);
  return row;
}

AddressMapInfo* NewAddressMapInfo(uint16_t wordAddressing, uint16_t inputMode, uint16_t outputMode,
                                  const std::string& inputModeText, const std::string& outputModeText,
                                  const std::vector<AddressMapRow*>& rows) {
  auto* info = new AddressMapInfo{};
  info->wordAddressing = wordAddressing;
  info->inputMode = inputMode;
  info->outputMode = outputMode;
  info->inputModeText = NewRecordText(inputModeText);
  info->outputModeText = NewRecordText(outputModeText);
  info->rowCount = static_cast<int32_t>(rows.size());
  info->rows = NewPointerArray(rows);
  return info;
}

void FreeOnlineIOConfig(OnlineIOConfig* record) {
  if (!record) return;
  for (int32_t i = 0; i < record->moduleCount && record->modules; ++i) FreeRecordText(record->modules[i].text);
  delete[] record->modules;
  FreeRecordText(record->text1);
  FreeRecordText(record->text2);
  FreeRecordText(record->text3);
  FreeRecordText(record->text4);
  FreeRecordText(record->text5);
  delete record;
}

void FreeScanResultList(ScanResultList* list) {
  if (!list) return;
  for (int32_t i = 0; i < list->count && list->adapters; ++i) FreeOnlineIOConfig(list->adapters[i]);
  delete[] list->adapters;
  delete list;
}

void FreeAddressMapInfo(AddressMapInfo* record) {
  if (!record) return;
  for (int32_t r = 0; r < record->rowCount && record->rows; ++r) {
    AddressMapRow* row = record->rows[r];
    if (!row) continue;
    for (int32_t i = 0; i < row->inputCount && row->inputs; ++i) FreeAddressMapChannel(row->inputs[i]);
    for (int32_t i = 0; i < row->outputCount && row->outputs; ++i) FreeAddressMapChannel(row->outputs[i]);
    delete[] row->inputs;
    delete[] row->outputs;
    FreeRecordText(row->name);
    FreeRecordText(row->type);
    delete row;
  }
  delete[] record->rows;
  FreeRecordText(record->inputModeText);
  FreeRecordText(record->outputModeText);
  delete record;
}

}  // namespace tessivar
