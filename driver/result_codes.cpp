#include "driver/result_codes.h"

#include "driver/modbus/driver_serial_port.h"
#include "driver/modbus/driver_socket.h"

namespace tessivar {

bool InstanceCodeText(int code, std::string& text) {
  if (code >= 0 || code < -7100) return false;
  switch (code) {
    case kDrvNoResponse:
      text = "Device is not response.";
      break;
    case kDrvNotSupported:
      text = "Not supported function";
      break;
    case kDrvRunning:
      text = "The operation does not work during RUNNING";
      break;
    case kDrvStopped:
      text = "The operation does not work during STOP";
      break;
    default:
      text = "Undefined Error happens";
      break;
  }
  return true;
}

std::string ModbusCodeText(int code, TransportKind transport) {
  switch (code) {
    case kMbIllegalFunction:
      return "[Modbus] Illegal function code.";
    case kMbIllegalAddress:
      return "[Modbus] Illegal data address. Check if data address or quantity is valid.";
    case kMbIllegalValue:
      return "[Modbus] Illegal data value. Check if send data is valid.";
    case kMbDeviceFailure:
      return "[Modbus] Network adapter failure.";
    case kMbAcknowledge:
      return "[Modbus] Network adapter has accepted the request and is processing.";
    case kMbBusy:
      return "[Modbus] Network adapter busy.";
    case kMbUnitMismatch:
      return "[Modbus] Node address mismatches.";
    case kMbFunctionMismatch:
      return "[Modbus] Function code mismatches.";
    case kMbException:
      return "[Modbus] Exception happens during communication.";
    case kMbShortReply:
      return "[Modbus] Received data length is small.";
    default:
      break;
  }
  std::string text;
  if (transport == TransportKind::kSerial) {
    DriverSerialPort::ErrorText(code, text);
  } else {
    DriverSocket::ErrorText(code, text);
  }
  return text;
}

std::string DriverObjectCodeText(int code, TransportKind channel) {
  switch (code) {
    case kDrvBadDevice:
      return "Device index argument is invalid.";
    case kDrvNoInstance:
      return "Driver instance is not created or Loader is not started.";
    case kDrvOutOfMemory:
      return "Out of Memory.";
    case kDrvWriteNotAllowed:
      return "The tag's write does not allowed.";
    case kDrvPingFailed:
      return "Ping test is fail. Check if network environment is normal.";
    default:
      break;
  }
  if (channel == TransportKind::kNone) return "Undefined Error happens.";
  return ModbusCodeText(code, channel);
}

std::string ResultCodeText(int code, TransportKind channel) {
  std::string text;
  if (InstanceCodeText(code, text)) return text;
  return DriverObjectCodeText(code, channel);
}

}  // namespace tessivar
