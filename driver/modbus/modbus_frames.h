// The checks a Modbus master makes on what comes back from the wire, as pure
// functions over bytes: the MBAP prefix of a TCP reply, the unit, function
// and exception of a TCP or RTU reply, the CRC of an RTU reply and the
// header of a discovery answer. Results are 1 or a Modbus code: the
// framing library's answers (modbus/framing.h) in the driver's codes.
#pragma once

#include <cstdint>

#include "modbus/framing.h"

namespace tessivar {

// The framing rules the masters share with the BOOTP server's setup client.
using qmx::modbus::ExceptionReplyLength;
using qmx::modbus::FrameLength;
using qmx::modbus::Framing;
using qmx::modbus::kEchoedValueLength;
using qmx::modbus::kMbapLength;
using qmx::modbus::kRtuFraming;
using qmx::modbus::kTcpFraming;
using qmx::modbus::ReplyDataBytes;
using qmx::modbus::ReplyForm;
using qmx::modbus::ReplyFormOf;
using qmx::modbus::ReplyLayout;
using qmx::modbus::ReplyOf;

// What a reply's unit and function say against the request's.
enum ReplyMismatch : int { kReplyMatches = 0, kReplyOtherUnit = 1, kReplyOtherFunction = 2 };

// The length of the whole TCP reply (MBAP prefix included) that begins with
// this prefix, when it fits `capacity` bytes; -8013 for a protocol id other
// than 0 or a length beyond the capacity; -8014 for a length without a
// function byte.
int MbapReplyLength(const uint8_t* prefix, int capacity);

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
