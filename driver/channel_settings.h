// The channel property text that drvSetChannelProperty hands over:
// "<bus type>\t<settings>", the settings comma-separated. "TCP" and "UDP"
// take seven fields (IP address, port, time-out, local datagram port, a
// value handed on unused, reconnect period, a stored seventh value), the
// serial types six (COM port, baud rate, data bits, parity name, stop-bits
// code, time-out); an empty field keeps the default of a fresh driver
// object, extra fields are ignored.
#pragma once

#include <string>

#include "driver/modbus/modbus_settings.h"

namespace tessivar {

// enCommType.
enum CommType : int {
  kCommTcp = 0,
  kCommUdp = 1,
  kCommRs232c = 2,
  kCommRs422 = 3,
  kCommRs485 = 4,
  kCommOffline = 5,
};

inline bool IsTcpCommType(int commType) { return commType == kCommTcp || commType == kCommUdp; }
inline bool IsSerialCommType(int commType) {
  return commType == kCommRs232c || commType == kCommRs422 || commType == kCommRs485;
}

// The parse result: on success the new comm type and the one settings block
// of its kind (the other block is left as it was); on refusal the level-0
// line that says why, and nothing changes.
struct ChannelPropertyResult {
  bool accepted = false;
  std::string refusal;
};

// Parses `text` into commType and tcp or serial; the blocks passed in are
// the current ones, whose untouched fields (unit id, local name, second
// time-out, broadcast flag) keep their values.
ChannelPropertyResult ParseChannelProperty(const std::string& text, int* commType, TcpCommSetting* tcp,
                                           SerialCommSetting* serial);

}  // namespace tessivar
