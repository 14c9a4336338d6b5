// Modbus PDU handling: a request PDU (function code and data) is checked
// and answered by a station. The reply PDU is a normal reply or an
// exception reply (function | 0x80, code).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tools/simulator/station.h"

namespace qmx::sim {

using Bytes = std::vector<uint8_t>;

// Function codes the station answers.
namespace fc {
constexpr uint8_t kReadCoils = 1;
constexpr uint8_t kReadDiscreteInputs = 2;
constexpr uint8_t kReadHoldingRegisters = 3;
constexpr uint8_t kReadInputRegisters = 4;
constexpr uint8_t kWriteSingleCoil = 5;
constexpr uint8_t kWriteSingleRegister = 6;
constexpr uint8_t kDiagnostics = 8;
constexpr uint8_t kWriteMultipleCoils = 15;
constexpr uint8_t kWriteMultipleRegisters = 16;
}  // namespace fc

Bytes ExceptionPdu(uint8_t function, Exception code);

// Answers one request PDU. Counts the request in the station's diagnostic
// counters (and the exception, when the reply is one).
Bytes Respond(Station& station, const Bytes& request);

// What a request asks, for the request history: start address and quantity
// (sub-function and 0 for FC 8; 0 and 0 when the PDU is too short).
struct RequestSummary {
  uint8_t function = 0;
  uint16_t address = 0;
  uint16_t quantity = 0;
};
RequestSummary Summarize(const Bytes& request);

// True for requests that change the station (writes and restarts), which a
// broadcast may carry.
bool IsWrite(uint8_t function);

}  // namespace qmx::sim
