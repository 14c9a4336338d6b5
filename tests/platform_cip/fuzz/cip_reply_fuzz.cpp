// Any bytes as a stream of encapsulation replies: framing, then the
// SendRRData reply parser; what it accepts must respect the bounds.
#include <cstddef>
#include <cstdint>

#include "platform/cip/cip.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  size_t at = 0;
  while (at < size) {
    const long length = qmx::cip::EncapsulationFrameLength(data + at, size - at);
    if (length <= 0) {
      // Not framed: the parser must still refuse it safely.
      qmx::cip::Response response;
      qmx::cip::ParseSendRRDataReply(data + at, size - at, 0x0E, &response);
      break;
    }
    qmx::cip::Response response;
    if (qmx::cip::ParseSendRRDataReply(data + at, static_cast<size_t>(length), 0x0E, &response) ==
        qmx::cip::ReplyError::None) {
      if (response.data.size() > qmx::cip::kMaxResponseData ||
          response.data.size() + response.extendedStatus.size() > static_cast<size_t>(length)) {
        __builtin_trap();
      }
    }
    at += static_cast<size_t>(length);
  }
  return 0;
}
