// Fuzz entry for the raw ICMP packet classifier: the first four bytes are
// the request's id and sequence, the rest is the packet as read from the
// socket.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "platform/icmp/icmp_echo.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  const auto id = static_cast<uint16_t>(data[0] << 8 | data[1]);
  const auto sequence = static_cast<uint16_t>(data[2] << 8 | data[3]);
  const int status = qmx::icmp::ClassifyRawPacket(data + 4, size - 4, id, sequence);
  if (status != -1 && status != 0 && (status < 11001 || status > 11050)) std::abort();
  return 0;
}
