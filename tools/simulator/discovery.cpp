#include "tools/simulator/discovery.h"

#include <algorithm>
#include <cstring>

namespace qmx::sim {

bool ParseDiscoveryFault(const std::string& text, DiscoveryFault* out) {
  if (text == "none") *out = DiscoveryFault::None;
  else if (text == "silence") *out = DiscoveryFault::Silence;
  else if (text == "short") *out = DiscoveryFault::Short;
  else if (text == "bad-header") *out = DiscoveryFault::BadHeader;
  else return false;
  return true;
}

bool IsDiscoveryRequest(const uint8_t* d, size_t n) {
  static const uint8_t kHead[] = {0xFF, 0xFF, 0xEE, 0xEE, 0x0E, 0x00};
  return n >= kDiscoveryRequestSize && std::memcmp(d, kHead, sizeof kHead) == 0;
}

Bytes DiscoveryReply(const Station& st) {
  const StationConfig& c = st.config();
  Bytes r(kDiscoveryReplySize, 0);
  const uint8_t head[] = {0xEE, 0xEE, 0xFF, 0xFF, 0x0E, 0x80, 0x01, 0x00};
  std::memcpy(r.data(), head, sizeof head);
  uint8_t* rec = r.data() + kDiscoveryHeaderSize;
  std::memcpy(rec + 0, c.ip.data(), 4);
  std::memcpy(rec + 4, c.mask.data(), 4);
  std::memcpy(rec + 8, c.gateway.data(), 4);
  std::memcpy(rec + 12, c.mac.data(), 6);
  rec[18] = static_cast<uint8_t>(c.firmware >> 8);
  rec[19] = static_cast<uint8_t>(c.firmware & 0xFF);
  rec[20] = c.node;
  rec[21] = 0;
  rec[22] = static_cast<uint8_t>(c.productCode & 0xFF);
  rec[23] = static_cast<uint8_t>(c.productCode >> 8);
  std::memcpy(rec + 24, c.model.data(), std::min<size_t>(c.model.size(), 31));
  rec[56] = static_cast<uint8_t>(st.slotCount() - 1);
  return r;
}

Bytes ApplyDiscoveryFault(Bytes reply, DiscoveryFault fault) {
  switch (fault) {
    case DiscoveryFault::Silence:
      return {};
    case DiscoveryFault::Short:
      reply.resize(200);
      return reply;
    case DiscoveryFault::BadHeader:
      reply[0] = 0xFF;
      reply[1] = 0xFF;
      reply[2] = 0xEE;
      reply[3] = 0xEE;
      return reply;
    default:
      return reply;
  }
}

}  // namespace qmx::sim
