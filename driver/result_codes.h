// The driver's result codes and the chain that turns any code into its text:
// the instance's codes (-7100 to -1), then the driver object's (-7101 to
// -7107), then the Modbus master's (-8001 to -8014), then the transport's
// (socket or serial port).
#pragma once

#include <string>

namespace tessivar {

// The instance's own codes are -7100 to -1.
inline constexpr int kDrvInstanceCodesEnd = -7100;

enum DriverCode : int {
  kDrvNoResponse = -7004,
  kDrvNotSupported = -7005,
  kDrvRunning = -7007,
  kDrvStopped = -7008,
  kDrvBadDevice = -7101,
  kDrvNoInstance = -7102,
  kDrvOutOfMemory = -7103,
  kDrvWriteNotAllowed = -7104,
  kDrvPingFailed = -7107,
};

enum ModbusCode : int {
  kMbIllegalFunction = -8001,
  kMbIllegalAddress = -8002,
  kMbIllegalValue = -8003,
  kMbDeviceFailure = -8004,
  kMbAcknowledge = -8005,
  kMbBusy = -8006,
  kMbUnitMismatch = -8007,
  kMbFunctionMismatch = -8009,
  kMbException = -8013,
  kMbShortReply = -8014,
  // An exception reply whose code has no text of its own (7 and above, or
  // 0); the master that received it names the code in its text.
  kMbOtherException = -8015,
};
// A Modbus exception e (1..6) in a reply is kMbExceptionBase - e.
inline constexpr int kMbExceptionBase = -8000;

// The transport behind a channel, which decides the texts of the transport
// codes.
enum class TransportKind { kNone, kSocket, kSerial };

// Level 1: the instance's own table; false for codes it passes on (0 and
// above, below -7100).
bool InstanceCodeText(int code, std::string& text);
// Level 3 alone: the Modbus master's own table; false for the codes it
// passes on to the transport.
bool ModbusTableText(int code, std::string& text);
// Level 3 then 4: the Modbus master's table, else the transport's text.
std::string ModbusCodeText(int code, TransportKind transport);
// Level 2 alone: the driver object's own table; false for the codes it
// passes on to its channel.
bool DriverObjectTableText(int code, std::string& text);
// Level 2 then 3 and 4: the driver object's table, else the text of its
// channel's master; "Undefined Error happens." without a channel.
std::string DriverObjectCodeText(int code, TransportKind channel);
// The whole chain for a channel of the given transport.
std::string ResultCodeText(int code, TransportKind channel);

}  // namespace tessivar
