// Modbus framing as pure functions over bytes, shared by the driver's
// masters (Modbus TCP and RTU) and the BOOTP server's setup client: the
// request PDUs, the MBAP prefix, the checks of a reply's unit and function,
// and the size of every reply. A transport's framing is data (the bytes
// before the function code and after the PDU), so each rule is written once
// for both. Nothing here knows sockets, ports or result codes: callers map
// the answers to their own.
#pragma once

#include <cstdint>

namespace qmx::modbus {

// A Modbus PDU (function code and data) carries at most 253 bytes.
inline constexpr int kMaxPdu = 253;

// The function codes the suite sends.
enum Function : uint8_t {
  kFcReadCoils = 1,
  kFcReadDiscreteInputs = 2,
  kFcReadHoldingRegisters = 3,
  kFcReadInputRegisters = 4,
  kFcWriteSingleCoil = 5,
  kFcWriteSingleRegister = 6,
  kFcDiagnostics = 8,
  kFcWriteMultipleCoils = 15,
  kFcWriteMultipleRegisters = 16,
};
// A reply whose function byte is above this is an exception reply.
inline constexpr uint8_t kFcExceptionBit = 0x80;

// ---- framing ------------------------------------------------------------

// The MBAP prefix of a Modbus TCP frame: transaction id, protocol id,
// length (of what follows: unit and PDU).
inline constexpr int kMbapLength = 6;

// How a transport frames a PDU (function code first): the bytes before it
// (the MBAP prefix and the unit; the unit) and after it (none; the CRC).
// Every length of a frame follows from these two.
struct Framing {
  int header;
  int checksum;
};
inline constexpr Framing kTcpFraming{kMbapLength + 1, 0};
inline constexpr Framing kRtuFraming{1, 2};

// The whole frame of a PDU of `pduLength` bytes.
constexpr int FrameLength(Framing framing, int pduLength) { return framing.header + pduLength + framing.checksum; }

// ---- requests -----------------------------------------------------------

// The head of every request the suite sends: unit, function and two 16-bit
// fields (address and quantity, value or sub-function and data), high byte
// first, at `at`. Its length, kRequestHeadLength.
inline constexpr int kRequestHeadLength = 6;
int PutRequestHead(uint8_t* at, uint8_t unit, uint8_t function, uint16_t first, uint16_t second);

// The MBAP prefix of the frame with `id` whose unit and PDU are
// `unitAndPduLength` bytes, at `at`.
void PutMbap(uint8_t* at, uint16_t id, int unitAndPduLength);

// ---- replies ------------------------------------------------------------

// The transaction id of a frame that begins with its MBAP prefix.
inline uint16_t MbapTransactionId(const uint8_t* prefix) { return static_cast<uint16_t>(prefix[0] << 8 | prefix[1]); }

// What an MBAP prefix says besides a frame length.
enum MbapFault : int {
  kMbapNotModbus = -1,    // protocol id not 0, or a frame beyond the reader's capacity
  kMbapNoFunction = -2,   // a length without a function byte
};
// The length of the whole frame (prefix included, at least 8) that the
// 6-byte MBAP prefix at `prefix` announces, when it fits `capacity` bytes;
// else an MbapFault.
int MbapLength(const uint8_t* prefix, int capacity);

// What a reply's unit and function say against its request's.
enum class HeadCheck : uint8_t {
  kMatches,
  kOtherUnit,
  kOtherFunction,
  kException,              // its code at reply[2]
  kExceptionWithoutCode,
};
// The reply (unit first, `length` bytes up to its checksum, at least 2)
// against the request (unit first): the unit first, then the function.
HeadCheck CheckReplyHead(const uint8_t* request, const uint8_t* reply, int length);

// Where the data of a reply lie: behind its byte count (the reads, functions
// 1 to 4), or behind the 2-byte field of the request it echoes (its address,
// or the sub-function of function 8: the writes and the diagnostics).
enum class ReplyForm { kCounted, kEchoed };

// The form of the reply to `function`; false for a function outside the
// reads 1 to 4 and the echoed 5, 6, 8, 15 and 16.
bool ReplyFormOf(uint8_t function, ReplyForm* form);

// An echoed reply of the writes carries two bytes behind its field: the
// value written (5, 6) or the quantity (15, 16); so does the diagnostics'
// echo of the suite's own requests.
inline constexpr int kEchoedValueLength = 2;

// Where a reply's data begin in its frame and how long the whole frame is,
// checksum included.
struct ReplyLayout {
  int dataOffset = 0;
  int length = 0;
};

// The reply of `form` that carries `dataBytes` data bytes, framed by
// `framing`.
constexpr ReplyLayout ReplyOf(Framing framing, ReplyForm form, int dataBytes) {
  const int offset = framing.header + (form == ReplyForm::kCounted ? 2 : 3);
  return {offset, offset + dataBytes + framing.checksum};
}

// An exception reply: the function with its high bit set and the code.
constexpr int ExceptionReplyLength(Framing framing) { return FrameLength(framing, 2); }

// The data bytes of the reply to the request PDU `pdu` (function code
// first, `length` bytes), from its function and quantity: a bit per coil or
// input read (rounded up to whole bytes), two bytes per register read, the
// value or quantity of a write, the data of a diagnostics request echoed;
// -1 for a function outside those or a PDU too short for its fields.
int ReplyDataBytes(const uint8_t* pdu, int length);

}  // namespace qmx::modbus
