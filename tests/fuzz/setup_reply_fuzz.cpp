// Replies to the BOOTP server's device setup from arbitrary bytes: the bytes
// are a Modbus TCP stream cut into frames by their MBAP length, each frame is
// checked against a read, a write and a diagnostics request, the registers of
// a read are decoded as the device name, and the same bytes as the revision
// and release date of an EtherNet/IP identity.
#include "bootp/core/eip_setup.h"
#include "bootp/core/modbus_setup.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

using namespace qmx::plenvar;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<uint8_t> requests[] = {BuildReadInputRegisters(7, 0x1005, 16),
                                           BuildWriteMultipleRegisters(7, 0x1046, {1}), BuildDiagnostics(7, 1, 0)};
  size_t at = 0;
  while (at < size) {
    const long whole = MbapFrameLength(data + at, size - at);
    if (whole < -1 || (whole > 0 && (whole < 8 || whole > 6 + 254 || static_cast<size_t>(whole) > size - at))) {
      std::abort();
    }
    if (whole <= 0) break;
    for (const auto& request : requests) {
      std::vector<uint16_t> registers;
      const ReplyCheck check = CheckModbusReply(request, data + at, static_cast<size_t>(whole), &registers);
      if (check == ReplyCheck::Ok && request[7] == 0x04) {
        if (registers.size() != 16) std::abort();
        (void)DecodeDeviceName(registers);
      }
    }
    at += static_cast<size_t>(whole);
  }
  const std::vector<uint8_t> bytes(data, data + size);
  (void)FormatEipRevision(bytes);
  (void)FormatEipReleaseDate(bytes);
  return 0;
}
