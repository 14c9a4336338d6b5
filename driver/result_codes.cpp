#include "driver/result_codes.h"

#include "driver/modbus/driver_serial_port.h"
#include "driver/modbus/driver_socket.h"

namespace tessivar {

bool InstanceCodeText(int code, std::string& text) {
  if (code >= 0 || code < kDrvInstanceCodesEnd) return false;
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

bool ModbusTableText(int code, std::string& text) {
  switch (code) {
    case kMbIllegalFunction:
      text = "[Modbus] Illegal function code.";
      return true;
    case kMbIllegalAddress:
      text = "[Modbus] Illegal data address. Check if data address or quantity is valid.";
      return true;
    case kMbIllegalValue:
      text = "[Modbus] Illegal data value. Check if send data is valid.";
      return true;
    case kMbDeviceFailure:
      text = "[Modbus] Network adapter failure.";
      return true;
    case kMbAcknowledge:
      text = "[Modbus] Network adapter has accepted the request and is processing.";
      return true;
    case kMbBusy:
      text = "[Modbus] Network adapter busy.";
      return true;
    case kMbUnitMismatch:
      text = "[Modbus] Node address mismatches.";
      return true;
    case kMbFunctionMismatch:
      text = "[Modbus] Function code mismatches.";
      return true;
    case kMbException:
      text = "[Modbus] Exception happens during communication.";
      return true;
    case kMbShortReply:
      text = "[Modbus] Received data length is small.";
      return true;
    case kMbOtherException:
      text = "[Modbus] Network adapter answered with an undefined exception.";
      return true;
    default:
      return false;
  }
}

std::string ModbusCodeText(int code, TransportKind transport) {
  std::string text;
  if (ModbusTableText(code, text)) return text;
  if (transport == TransportKind::kSerial) {
    DriverSerialPort::ErrorText(code, text);
  } else {
    DriverSocket::ErrorText(code, text);
  }
  return text;
}

bool DriverObjectTableText(int code, std::string& text) {
  switch (code) {
    case kDrvBadDevice:
      text = "Device index argument is invalid.";
      return true;
    case kDrvNoInstance:
      text = "Driver instance is not created or Loader is not started.";
      return true;
    case kDrvOutOfMemory:
      text = "Out of Memory.";
      return true;
    case kDrvWriteNotAllowed:
      text = "The tag's write does not allowed.";
      return true;
    case kDrvPingFailed:
      text = "Ping test is fail. Check if network environment is normal.";
      return true;
    default:
      return false;
  }
}

std::string DriverObjectCodeText(int code, TransportKind channel) {
  std::string text;
  if (DriverObjectTableText(code, text)) return text;
  if (channel == TransportKind::kNone) return "Undefined Error happens.";
  return ModbusCodeText(code, channel);
}

std::string ResultCodeText(int code, TransportKind channel) {
  std::string text;
  if (InstanceCodeText(code, text)) return text;
  return DriverObjectCodeText(code, channel);
}

}  // namespace tessivar
