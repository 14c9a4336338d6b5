// The simulator's EtherNet/IP requests on arbitrary bytes: a stream cut into
// encapsulation frames as the server cuts it, each handled by the device.
// A reply is one whole frame: its header's length counts its data, and it
// answers the request's command.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "tools/simulator/eip_responder.h"

using namespace qmx::sim;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  EipDevice device;
  size_t at = 0;
  for (;;) {
    const size_t length = EipFrameLength(data + at, size - at);
    if (length == 0 || length > size - at) break;
    const std::vector<uint8_t> frame(data + at, data + at + length);
    at += length;
    const EipDevice::Answer answer = device.HandleFrame(frame);
    const std::vector<uint8_t>& reply = answer.reply;
    if (reply.empty()) continue;
    if (reply.size() < 24 || EipFrameLength(reply.data(), reply.size()) != reply.size() || reply[0] != frame[0] ||
        reply[1] != frame[1])
      std::abort();
    if (answer.close) break;
  }
  return 0;
}
