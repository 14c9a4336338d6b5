// The UDP discovery of adapters: the request that the configuration tool
// broadcasts (16 bytes, FF FF EE EE 0E 00 00 06 78 00 01 00 00 00 CC CC) and
// the adapter's reply: an 8-byte header (EE EE FF FF 0E 80, then the record
// length 256 high byte first) and a 256-byte record:
//   0-3 IP address, 4-7 subnet mask, 8-11 gateway, 12-17 MAC address,
//   18-19 firmware version (high byte first), 20 node address,
//   21 IP setting method, 22-23 product code (22 low byte, 23 high byte),
//   24-55 model name (ASCII, NUL padded), 56 number of modules, rest 0.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "tools/simulator/pdu.h"
#include "tools/simulator/station.h"

namespace qmx::sim {

constexpr size_t kDiscoveryRequestSize = 16;
constexpr size_t kDiscoveryHeaderSize = 8;
constexpr size_t kDiscoveryRecordSize = 256;
constexpr size_t kDiscoveryReplySize = kDiscoveryHeaderSize + kDiscoveryRecordSize;

// What the responder does with a request.
enum class DiscoveryFault {
  None,
  Silence,    // no reply
  Short,      // the reply is cut to 200 bytes
  BadHeader,  // the reply's first words are in request order (FF FF EE EE)
};
bool ParseDiscoveryFault(const std::string& text, DiscoveryFault* out);

// A discovery request: at least the 16 bytes, beginning FF FF EE EE 0E 00.
bool IsDiscoveryRequest(const uint8_t* data, size_t length);
// The full reply of a station (264 bytes).
Bytes DiscoveryReply(const Station& station);
Bytes ApplyDiscoveryFault(Bytes reply, DiscoveryFault fault);

}  // namespace qmx::sim
