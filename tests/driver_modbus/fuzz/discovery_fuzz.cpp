// The collection of discovery answers on arbitrary bytes, checked against
// what the driver promises: a datagram is taken only when it is a whole
// answer (exactly 264 bytes as the 266-byte receive hands it over, header
// EE EE FF FF 0E 80); an adapter that answers again (same MAC address, or
// the same IP address when it gives none) keeps its first record; at most
// 100 records, and every further adapter counted; the records become the
// scan's list with the texts of IP addresses and a MAC address. Every input
// starts from an empty collection.
//
// The input is a run of items. A first byte with bit 7 clear starts a raw
// datagram: 15 bits of length, then its bytes. Otherwise the byte describes
// an answer made of the next two bytes (the adapter's number), so that short
// inputs reach the bound and repeat adapters: bit 0 no MAC address, bits 1-2
// the length (264, 263, 265 or 400), bit 3 a wrong header byte.
#include <arpa/inet.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "driver/modbus/modbus_tcp.h"
#include "driver/records.h"

using namespace tessivar;

namespace {

constexpr uint8_t kHeader[6] = {0xEE, 0xEE, 0xFF, 0xFF, 0x0E, 0x80};

void Check(bool ok) {
  if (!ok) std::abort();
}

bool IsAddress(const char* text) {
  in_addr address{};
  return text && std::strlen(text) <= 15 && ::inet_pton(AF_INET, text, &address) == 1;
}

std::vector<uint8_t> MadeAnswer(uint8_t op, const uint8_t* number) {
  static constexpr size_t kLengths[4] = {264, 263, 265, 400};
  std::vector<uint8_t> d(kLengths[(op >> 1) & 3], 0);
  std::memcpy(d.data(), kHeader, sizeof kHeader);
  if (op & 8) d[number[1] % 6] ^= 1;
  const uint8_t addresses[12] = {10, 231, number[0], number[1], 255, 255, 255, 0, 10, 231, 0, 1};
  std::memcpy(d.data() + 8, addresses, sizeof addresses);
  const uint8_t mac[6] = {0x00, 0x1A, 0x4C, 0x00, number[0], number[1]};
  if (!(op & 1)) std::memcpy(d.data() + 20, mac, sizeof mac);
  return d;
}

// An adapter as the model tells them apart: its IP then its MAC bytes.
using Id = std::array<uint8_t, 10>;

// The collection as promised, kept apart from the driver's: the records
// with their adapters, and the adapters counted beyond the bound.
struct Model {
  std::vector<std::vector<uint8_t>> kept;
  std::vector<Id> keptIds;
  std::vector<Id> dropped;
  size_t droppedMore = 0;

  static Id IdOf(const uint8_t* record) {
    Id id{};
    std::copy_n(record, 4, id.begin());
    std::copy_n(record + 12, 6, id.begin() + 4);
    return id;
  }
  static bool Same(const Id& known, const Id& id) {
    const bool mac = std::any_of(id.begin() + 4, id.end(), [](uint8_t b) { return b != 0; });
    return mac ? std::equal(id.begin() + 4, id.end(), known.begin() + 4)
               : std::equal(id.begin(), id.begin() + 4, known.begin());
  }
  bool Take(const uint8_t* d, size_t received) {
    if (received != 264 || std::memcmp(d, kHeader, sizeof kHeader) != 0) return false;
    const Id id = IdOf(d + 8);
    auto same = [&id](const Id& known) { return Same(known, id); };
    if (std::any_of(keptIds.begin(), keptIds.end(), same)) return false;
    if (kept.size() < 100) {
      kept.emplace_back(d + 8, d + 264);
      keptIds.push_back(id);
      return true;
    }
    if (std::none_of(dropped.begin(), dropped.end(), same)) {
      if (dropped.size() < 100) {
        dropped.push_back(id);
      } else {
        ++droppedMore;
      }
    }
    return false;
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ScanHits hits;
  Model model;
  for (size_t at = 0; at < size;) {
    const uint8_t op = data[at++];
    std::vector<uint8_t> datagram;
    if (op & 0x80) {
      if (size - at < 2) break;
      datagram = MadeAnswer(op, data + at);
      at += 2;
    } else {
      if (at >= size) break;
      const size_t declared = static_cast<size_t>(op << 8 | data[at]);
      ++at;
      const size_t length = std::min(declared, size - at);
      datagram.assign(data + at, data + at + length);
      at += length;
    }
    const size_t received = std::min<size_t>(datagram.size(), CModbusTCP::kDiscoveryBufferSize);
    Check(TakeDiscoveryAnswer(datagram.data(), static_cast<int>(received), hits) ==
          model.Take(datagram.data(), received));
  }
  Check(hits.discovery.size() == model.kept.size());
  for (size_t i = 0; i < model.kept.size(); ++i)
    Check(std::equal(model.kept[i].begin(), model.kept[i].end(), hits.discovery[i].bytes.begin()));
  Check(hits.DiscoveryDroppedCount() == model.dropped.size() + model.droppedMore);

  std::vector<ScannedAdapter*> adapters;
  for (const DiscoveryRecord& record : hits.discovery) {
    const DiscoveredAdapter found = DecodeDiscoveryRecord(record);
    adapters.push_back(NewOnlineIOConfig(found.productCode, found.texts, {}));
  }
  ScanResultList* list = NewScanResultList(adapters);
  Check(list != nullptr && list->count == static_cast<int32_t>(model.kept.size()));
  for (int32_t i = 0; i < list->count; ++i) {
    const ScannedAdapter* a = list->adapters[i];
    const std::vector<uint8_t>& r = model.kept[static_cast<size_t>(i)];
    Check(a->productCode == (r[23] << 8 | r[22]) && a->text1 && a->text1[0] == '\0' && IsAddress(a->text2) &&
          a->text3 && std::strlen(a->text3) == 17 && IsAddress(a->text4) && IsAddress(a->text5));
  }
  FreeScanResultList(list);
  return 0;
}
