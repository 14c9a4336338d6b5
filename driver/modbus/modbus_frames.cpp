#include "driver/modbus/modbus_frames.h"

#include <cstring>

#include "driver/driver_utils.h"
#include "driver/modbus/modbus_master.h"
#include "driver/modbus/modbus_tcp.h"
#include "driver/result_codes.h"

namespace tessivar {

int MbapReplyLength(const uint8_t* prefix, int capacity) {
  const int length = qmx::modbus::MbapLength(prefix, capacity);
  if (length == qmx::modbus::kMbapNotModbus) return kMbException;
  if (length == qmx::modbus::kMbapNoFunction) return kMbShortReply;
  return length;
}

namespace {

// A reply whose unit and function are not the request's, in the driver's
// codes: -8007, -8009, -8000 - e for exception e, -8014 for an exception
// without its code.
int HeadResult(qmx::modbus::HeadCheck check, const uint8_t* reply, int* mismatch) {
  using qmx::modbus::HeadCheck;
  switch (check) {
    case HeadCheck::kMatches:
      return 1;
    case HeadCheck::kOtherUnit:
      *mismatch = kReplyOtherUnit;
      return kMbUnitMismatch;
    case HeadCheck::kException:
      *mismatch = kReplyOtherFunction;
      return ModbusExceptionResult(reply[2]);
    case HeadCheck::kExceptionWithoutCode:
      *mismatch = kReplyOtherFunction;
      return kMbShortReply;
    case HeadCheck::kOtherFunction:
      break;
  }
  *mismatch = kReplyOtherFunction;
  return kMbFunctionMismatch;
}

}  // namespace

int CheckTcpReply(const uint8_t* request, const uint8_t* reply, int length, int* mismatch) {
  *mismatch = kReplyMatches;
  const uint8_t* unit = reply + kMbapLength;
  return HeadResult(qmx::modbus::CheckReplyHead(request + kMbapLength, unit, length - kMbapLength), unit, mismatch);
}

int CheckRtuReply(const uint8_t* request, const uint8_t* reply, int length) {
  const int body = length - kRtuFraming.checksum;
  const uint16_t crc = Crc16(reply, static_cast<unsigned>(body));
  if (reply[body] != (crc & 0xFF) || reply[body + 1] != (crc >> 8)) return kMbException;
  int mismatch = kReplyMatches;
  return HeadResult(qmx::modbus::CheckReplyHead(request, reply, body), reply, &mismatch);
}

bool IsDiscoveryAnswer(const uint8_t* reply, int length) {
  static constexpr uint8_t kHeader[6] = {0xEE, 0xEE, 0xFF, 0xFF, 0x0E, 0x80};
  return length == kDiscoveryReplyLength && std::memcmp(reply, kHeader, sizeof kHeader) == 0;
}

}  // namespace tessivar
