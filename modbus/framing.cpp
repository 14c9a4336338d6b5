#include "modbus/framing.h"

namespace qmx::modbus {
namespace {

void PutU16(uint8_t* at, uint16_t value) {
  at[0] = static_cast<uint8_t>(value >> 8);
  at[1] = static_cast<uint8_t>(value & 0xFF);
}

uint16_t U16(const uint8_t* at) { return static_cast<uint16_t>(at[0] << 8 | at[1]); }

}  // namespace

int PutRequestHead(uint8_t* at, uint8_t unit, uint8_t function, uint16_t first, uint16_t second) {
  at[0] = unit;
  at[1] = function;
  PutU16(at + 2, first);
  PutU16(at + 4, second);
  return kRequestHeadLength;
}

void PutMbap(uint8_t* at, uint16_t id, int unitAndPduLength) {
  PutU16(at, id);
  PutU16(at + 2, 0);
  PutU16(at + 4, static_cast<uint16_t>(unitAndPduLength));
}

int MbapLength(const uint8_t* prefix, int capacity) {
  const int protocol = U16(prefix + 2);
  const int length = U16(prefix + 4);
  if (protocol != 0 || kMbapLength + length > capacity) return kMbapNotModbus;
  // The unit and at least the function.
  if (length < 2) return kMbapNoFunction;
  return kMbapLength + length;
}

HeadCheck CheckReplyHead(const uint8_t* request, const uint8_t* reply, int length) {
  if (reply[0] != request[0]) return HeadCheck::kOtherUnit;
  if (reply[1] == request[1]) return HeadCheck::kMatches;
  if (reply[1] > kFcExceptionBit) return length > 2 ? HeadCheck::kException : HeadCheck::kExceptionWithoutCode;
  return HeadCheck::kOtherFunction;
}

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
  // Function, sub-function: what a diagnostics request has before its data.
  constexpr int kDiagnosticsHead = 3;
  // Function, address (or sub-function) and quantity (or value).
  constexpr int kFields = 5;
  if (length < 1) return -1;
  const uint8_t function = pdu[0];
  if (function == kFcDiagnostics) return length >= kDiagnosticsHead ? length - kDiagnosticsHead : -1;
  if (length < kFields) return -1;
  const int quantity = U16(pdu + 3);
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

}  // namespace qmx::modbus
