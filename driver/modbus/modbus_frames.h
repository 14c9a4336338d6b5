// The checks a Modbus master makes on what comes back from the wire, as pure
// functions over bytes: the MBAP prefix of a TCP reply, the unit, function
// and exception of a TCP or RTU reply, the CRC of an RTU reply and the
// header of a discovery answer. Results are 1 or a Modbus code.
#pragma once

#include <cstdint>

namespace tessivar {

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

// The reply of `form` that carries `dataBytes` data bytes, framed by `framing`.
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

// What a reply's unit and function say against the request's.
enum ReplyMismatch : int { kReplyMatches = 0, kReplyOtherUnit = 1, kReplyOtherFunction = 2 };

// The length of the whole TCP reply (MBAP prefix included) that begins with
// these 7 bytes, for the request with `transactionId`, when it fits
// `capacity` bytes; -8013 for another transaction id, a protocol id other
// than 0 or a length beyond the capacity; -8014 for a length without a
// function byte.
int MbapReplyLength(const uint8_t* header, uint16_t transactionId, int capacity);

// A whole TCP reply of `length` bytes (at least 8) against the request
// (unit at byte 6, function at byte 7): 1, -8007 (other unit), -8009 (other
// function), -8000 - e (exception e) or -8014 (exception without its code).
int CheckTcpReply(const uint8_t* request, const uint8_t* reply, int length, int* mismatch);

// A whole RTU reply of `length` bytes (at least 4) against the request
// (unit at byte 0, function at byte 1), checked in this order: the CRC
// (-8013), the unit (-8007), the function (-8009, or -8000 - e for an
// exception reply).
int CheckRtuReply(const uint8_t* request, const uint8_t* reply, int length);

// A discovery answer: exactly 264 bytes beginning EE EE FF FF 0E 80. A
// longer datagram is something else (the socket cuts it to its buffer, so
// its length as received says nothing of where an answer would end).
bool IsDiscoveryAnswer(const uint8_t* reply, int length);

}  // namespace tessivar
