// The collection of discovery answers on arbitrary bytes: the input is a run
// of datagrams, each led by its length (two bytes, high first). The answers
// among them become the records of the scan, and those the scan's list of
// adapters as the main program gets it: one entry per answer, in order, with
// the texts of an IP address, a MAC address, a mask and a gateway.
#include <arpa/inet.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "driver/modbus/modbus_frames.h"
#include "driver/modbus/modbus_tcp.h"
#include "driver/records.h"

using namespace tessivar;

namespace {

bool IsAddress(const char* text) {
  in_addr address{};
  return text && std::strlen(text) <= 15 && ::inet_pton(AF_INET, text, &address) == 1;
}

bool IsMac(const char* text) {
  if (!text || std::strlen(text) != 17) return false;
  for (int i = 0; i < 17; ++i) {
    const char c = text[i];
    if (i % 3 == 2 ? c != ':' : !((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ScanHits hits;
  size_t answers = 0;
  for (size_t at = 0; at + 2 <= size;) {
    const size_t length = std::min<size_t>(static_cast<size_t>(data[at] << 8 | data[at + 1]), size - at - 2);
    const uint8_t* datagram = data + at + 2;
    at += 2 + length;
    const bool answer = TakeDiscoveryAnswer(datagram, static_cast<int>(length), hits);
    if (answer != IsDiscoveryAnswer(datagram, static_cast<int>(length))) std::abort();
    answers += answer;
  }
  if (hits.discovery.size() != answers) std::abort();

  std::vector<ScannedAdapter*> adapters;
  for (const DiscoveryRecord& record : hits.discovery) {
    const DiscoveredAdapter found = DecodeDiscoveryRecord(record);
    adapters.push_back(NewOnlineIOConfig(found.productCode, found.texts, {}));
  }
  ScanResultList* list = NewScanResultList(adapters);
  if (list == nullptr || list->count != static_cast<int32_t>(answers)) std::abort();
  for (int32_t i = 0; i < list->count; ++i) {
    const ScannedAdapter* a = list->adapters[i];
    if (!a->text1 || a->text1[0] != '\0' || !IsAddress(a->text2) || !IsMac(a->text3) || !IsAddress(a->text4) ||
        !IsAddress(a->text5))
      std::abort();
  }
  FreeScanResultList(list);
  return 0;
}
