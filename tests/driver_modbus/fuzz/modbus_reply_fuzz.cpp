// Fuzz entry for the reply checks of the Modbus masters: the bytes are taken
// as a Modbus TCP reply, as a Modbus RTU reply (as received and with a
// correct CRC put on it) and as a discovery answer, each against a fixed
// request; every result must be one the checks can give.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "driver/driver_utils.h"
#include "driver/modbus/modbus_frames.h"

namespace {

constexpr uint8_t kTcpRequest[12] = {0x12, 0x34, 0, 0, 0, 6, 0x01, 0x03, 0x00, 0x10, 0x00, 0x02};
constexpr uint8_t kRtuRequest[8] = {0x01, 0x03, 0x00, 0x10, 0x00, 0x02, 0xC5, 0xCE};

bool IsCheckResult(int r) { return r == 1 || r == -8007 || r == -8009 || r == -8014 || (r <= -8000 && r >= -8255); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const int length = static_cast<int>(size > 4096 ? 4096 : size);

  if (length >= 7) {
    const int whole = tessivar::MbapReplyLength(data, 1024);
    if (whole != -8013 && whole != -8014 && (whole < 8 || whole > 1024)) std::abort();
    if (whole > 0 && whole <= length) {
      int mismatch = -1;
      const int r = tessivar::CheckTcpReply(kTcpRequest, data, whole, &mismatch);
      if (!IsCheckResult(r) || (r == 1) != (mismatch == tessivar::kReplyMatches)) std::abort();
    }
  }

  if (length >= 4) {
    const int r = tessivar::CheckRtuReply(kRtuRequest, data, length);
    if (!IsCheckResult(r) && r != -8013) std::abort();
    // With its CRC right the frame is never taken for a damaged one (an
    // exception reply with code 13 reads as -8013 as well).
    std::vector<uint8_t> frame(data, data + length);
    const uint16_t crc = tessivar::Crc16(frame.data(), static_cast<unsigned>(length - 2));
    frame[static_cast<size_t>(length - 2)] = static_cast<uint8_t>(crc & 0xFF);
    frame[static_cast<size_t>(length - 1)] = static_cast<uint8_t>(crc >> 8);
    const int fixed = tessivar::CheckRtuReply(kRtuRequest, frame.data(), length);
    const bool exception13 = frame[1] > 0x80 && frame[2] == 13;
    if ((fixed == -8013 && !exception13) || !IsCheckResult(fixed)) std::abort();
  }

  if (tessivar::IsDiscoveryAnswer(data, length) && (length < 264 || data[0] != 0xEE || data[5] != 0x80)) std::abort();
  return 0;
}
