#include "driver/modbus/modbus_master.h"

#include <cstring>

#include "common/Utility.h"
#include "driver/driver_utils.h"

namespace tessivar {
namespace {

// Sub-functions of function 8 and the data of the echo.
constexpr uint16_t kDiagReturnQueryData = 0x0000;
constexpr uint16_t kDiagRestartComm = 0x0001;
constexpr uint16_t kDiagClearCounters = 0x000A;
constexpr uint16_t kEchoData = 0xABCD;

}  // namespace

Modbus::Modbus(const char* objectName) : objectName_(objectName) {}

Modbus::~Modbus() = default;

int Modbus::OpenConnection(const TcpCommSetting&, int, int) { return BadParameterCode(); }

int Modbus::OpenConnection(const SerialCommSetting&, int, int) { return BadParameterCode(); }

void Modbus::Log(int level, const std::string& text) const {
  if (!owner_) return;
  owner_->MasterLog(level, StrFormat(" [%s] %s", objectName_.c_str(), text.c_str()));
}

void Modbus::LogException(const char* function, const char* cause) const noexcept {
  try {
    Log(DRV_LOG_ERROR, StrFormat("Exception is happened. Cause: %s. Func: %s", cause, function));
  } catch (...) {
  }
}

void Modbus::ErrorText(int code, std::string& text) const {
  if (code == kMbOtherException) {
    text = StrFormat("[Modbus] Network adapter answered with exception %d.", lastException_);
    return;
  }
  if (ModbusTableText(code, text)) return;
  TransportErrorText(code, text);
}

std::string Modbus::ErrorText(int code) const {
  std::string text;
  ErrorText(code, text);
  return text;
}

int Modbus::PutRequest(const TxArguments& a, Framing framing, ReplyForm form, int replyData, uint8_t* at,
                       ReplyLayout* reply) {
  constexpr int kMaxRequest = 1 + kMaxPdu;
  constexpr int kMaxByteCount = 255;
  if (!a.head || a.headLength < 2 || a.n < 0 || a.n > kRxBufferSize || (a.n > 0 && !a.dst) || a.dataLength < 0 ||
      (a.dataLength > 0 && !a.data) || (a.body == TxArguments::kCounted && a.dataLength > kMaxByteCount) ||
      replyData < 0 || replyData > kRxBufferSize)
    return 0;
  *reply = ReplyOf(framing, form, replyData);
  const int count = a.body == TxArguments::kCounted ? 1 : 0;
  // A read's data are not sent, whatever their length.
  const int data = a.body == TxArguments::kNone ? 0 : a.dataLength;
  if (a.headLength > kMaxRequest || data > kMaxRequest || a.headLength + count + data > kMaxRequest ||
      reply->length > kRxBufferSize)
    return 0;
  const int length = a.headLength + count + data;
  std::memcpy(at, a.head, static_cast<size_t>(a.headLength));
  if (count) at[a.headLength] = static_cast<uint8_t>(a.dataLength);
  if (data > 0) std::memcpy(at + a.headLength + count, a.data, static_cast<size_t>(data));
  return length;
}

void Modbus::SetHeader(uint8_t unit, uint8_t function, uint16_t address, uint16_t value) {
  qmx::modbus::PutRequestHead(header_, unit, function, address, value);
}

template <class F>
int Modbus::Retried(F&& attempt) {
  int result = 0;
  for (unsigned i = 0; i < retryCount_; ++i) {
    result = attempt();
    if (result == 1) break;
  }
  return result;
}

int Modbus::ReadRegisters(uint8_t unit, uint8_t function, uint16_t address, uint16_t quantity, uint8_t* dst,
                          int n) {
  SetHeader(unit, function, address, quantity);
  return Retried([&] { return TxGetRxData(header_, 6, dst, n, 0); });
}

int Modbus::WriteRegisters(uint8_t unit, uint8_t function, uint16_t address, uint16_t quantity,
                           const uint8_t* data, int dataLength) {
  SetHeader(unit, function, address, quantity);
  return Retried([&] { return TxCheckResult(header_, 6, data, dataLength); });
}

int Modbus::Request(uint8_t unit, uint8_t function, uint16_t address, uint16_t value, int kind, uint8_t* dst,
                    int n, const uint8_t* data, int dataLength) {
  SetHeader(unit, function, address, kind == kRequestSingleWrite ? 0 : value);
  const int headerLength = kind == kRequestSingleWrite ? 4 : 6;
  return Retried([&] { return TxRequest(header_, headerLength, kind, dst, n, data, dataLength); });
}

int Modbus::DiagEcho(uint8_t unit) {
  SetHeader(unit, kFcDiagnostics, kDiagReturnQueryData, kEchoData);
  uint8_t echo[2] = {};
  return Retried([&] { return TxGetRxDataEcho(header_, 6, echo, 2, 0); });
}

int Modbus::DiagCmd(uint8_t unit, int command) {
  uint16_t subFunction = 0;
  if (command == kCmdRestartComm) {
    subFunction = kDiagRestartComm;
  } else if (command == kCmdClearCounters) {
    subFunction = kDiagClearCounters;
  } else {
    return 0;
  }
  SetHeader(unit, kFcDiagnostics, subFunction, 0x0000);
  uint8_t echo[2] = {};
  return Retried([&] { return TxGetRxDataEcho(header_, 6, echo, 2, 1); });
}

}  // namespace tessivar
