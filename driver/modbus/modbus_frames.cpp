#include "driver/modbus/modbus_frames.h"

#include <cstring>

#include "driver/driver_utils.h"
#include "driver/modbus/modbus_master.h"
#include "driver/modbus/modbus_tcp.h"
#include "driver/result_codes.h"

namespace tessivar {

bool ReplyFormOf(uint8_t function, ReplyForm* form) {
  switch (function) {
    case kFcReadCoils:
    case kFcReadDiscreteInputs:
    case kFcReadHoldingRegisters:
    case kFcReadInputRegisters:
      *form = ReplyForm::kCounted;
      return true;
    case kFcWriteSingleCoil:
    case kFcWriteSingleRegister:
    case kFcDiagnostics:
    case kFcWriteMultipleCoils:
    case kFcWriteMultipleRegisters:
      *form = ReplyForm::kEchoed;
      return true;
    default:
      return false;
  }
}

int ReplyDataBytes(const uint8_t* pdu, int length) {
  // Function, address (or sub-function) and quantity (or value).
  constexpr int kFields = 5;
  if (length < 1) return -1;
  const uint8_t function = pdu[0];
  if (function == kFcDiagnostics) return length >= 3 ? length - 3 : -1;
  if (length < kFields) return -1;
  const int quantity = pdu[3] << 8 | pdu[4];
  switch (function) {
    case kFcReadCoils:
    case kFcReadDiscreteInputs:
      return (quantity + 7) / 8;
    case kFcReadHoldingRegisters:
    case kFcReadInputRegisters:
      return 2 * quantity;
    case kFcWriteSingleCoil:
    case kFcWriteSingleRegister:
    case kFcWriteMultipleCoils:
    case kFcWriteMultipleRegisters:
      return kEchoedValueLength;
    default:
      return -1;
  }
}

int MbapReplyLength(const uint8_t* header, uint16_t transactionId, int capacity) {
  const int id = header[0] << 8 | header[1];
  const int protocol = header[2] << 8 | header[3];
  const int length = header[4] << 8 | header[5];
  if (id != transactionId || protocol != 0 || kMbapLength + length > capacity) return kMbException;
  if (length < 2) return kMbShortReply;
  return kMbapLength + length;
}

int CheckTcpReply(const uint8_t* request, const uint8_t* reply, int length, int* mismatch) {
  *mismatch = kReplyMatches;
  if (reply[6] != request[6]) {
    *mismatch = kReplyOtherUnit;
    return kMbUnitMismatch;
  }
  if (reply[7] != request[7]) {
    *mismatch = kReplyOtherFunction;
    if (reply[7] > kFcExceptionBit)
      return length > 8 ? ModbusExceptionResult(reply[8]) : static_cast<int>(kMbShortReply);
    return kMbFunctionMismatch;
  }
  return 1;
}

int CheckRtuReply(const uint8_t* request, const uint8_t* reply, int length) {
  const uint16_t crc = Crc16(reply, static_cast<unsigned>(length - 2));
  if (reply[length - 2] != (crc & 0xFF) || reply[length - 1] != (crc >> 8)) return kMbException;
  if (reply[0] != request[0]) return kMbUnitMismatch;
  if (reply[1] != request[1]) return reply[1] > kFcExceptionBit ? ModbusExceptionResult(reply[2]) : kMbFunctionMismatch;
  return 1;
}

bool IsDiscoveryAnswer(const uint8_t* reply, int length) {
  static constexpr uint8_t kHeader[6] = {0xEE, 0xEE, 0xFF, 0xFF, 0x0E, 0x80};
  return length == kDiscoveryReplyLength && std::memcmp(reply, kHeader, sizeof kHeader) == 0;
}

}  // namespace tessivar
