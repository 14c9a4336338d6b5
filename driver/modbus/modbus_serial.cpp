#include "driver/modbus/modbus_serial.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <new>
#include <thread>

#include "common/Utility.h"
#include "driver/driver_utils.h"
#include "driver/modbus/modbus_frames.h"

namespace tessivar {
namespace {

// Unit, function and exception code before the CRC.
constexpr int kExceptionReplyLength = 5;
constexpr int kCrcLength = 2;

using Clock = std::chrono::steady_clock;

// How many earlier replies a frame is compared with to tell a late copy.
constexpr size_t kRecentReplies = 4;
// The requests whose last answer is remembered (a cycle asks a few dozen).
constexpr size_t kRememberedRequests = 64;

// The input register the node scan reads: the adapter's product code.
constexpr uint16_t kProbeRegister = 0x1002;

}  // namespace

ModbusSerial::ModbusSerial() : Modbus("ModbusSerial") {}

ModbusSerial::~ModbusSerial() = default;

void ModbusSerial::SetTickSource(TickSource ticks) {
  ticks_ = std::move(ticks);
  if (port_) port_->SetTickSource(ticks_);
}

void ModbusSerial::SetTurnaroundDelays(int requestDelayMs, int writeDelayMs) {
  requestDelayMs_ = requestDelayMs;
  writeDelayMs_ = writeDelayMs;
}

void ModbusSerial::Pause(int ms) const {
  // In slices, so that a stop does not sit out the turnaround.
  const auto until = Clock::now() + std::chrono::milliseconds(ms);
  while (Clock::now() < until && !(abort_ && abort_())) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
    std::this_thread::sleep_for(std::chrono::milliseconds(std::clamp<long long>(left, 1, 10)));
  }
}

int ModbusSerial::SendFrame(int length, int delayMs) {
  const uint16_t crc = Crc16(tx_, static_cast<unsigned>(length));
  tx_[length] = static_cast<uint8_t>(crc & 0xFF);
  tx_[length + 1] = static_cast<uint8_t>(crc >> 8);
  txLength_ = length;
  Pause(delayMs);
  // A reply that came after an earlier request had timed out is still on the
  // line or on its way; it must not be read as the answer to this request.
  // The unit check tells replies of other units apart, so only a request to
  // the unit that did not answer waits out the rest of that reply's time.
  int waitMs = 0;
  if (lateUnit_ == tx_[0]) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(lateUntil_ - Clock::now()).count();
    if (left > 0) waitMs = static_cast<int>(left);
  }
  lateUnit_ = -1;
  port_->DiscardInput(waitMs);
  // A stop asked for meanwhile: the request does not go out.
  if (port_->Aborted()) return kSerWriteTimeout;
  return port_->Write(tx_, length + kCrcLength);
}

int ModbusSerial::ReadFrame(int expected, int timeoutMs, uint16_t* counter) {
  int r = port_->ReadCounting(rx_, kRxBufferSize, 2, counter, timeoutMs);
  if (r < 0) return r;
  // The frame's own length, so that a frame meant for another request is
  // read whole: exception replies, this request's reply, then the lengths
  // the function codes give.
  const uint8_t function = rx_[1];
  int length = expected;
  int have = 2;
  if (function > kFcExceptionBit) {
    length = kExceptionReplyLength;
  } else if (function != tx_[1]) {
    if (function >= kFcReadCoils && function <= kFcReadInputRegisters) {
      r = port_->ReadCounting(rx_ + 2, kRxBufferSize - 2, 1, counter, timeoutMs);
      if (r < 0) return r;
      have = 3;
      length = 5 + rx_[2];
    } else if (function == kFcWriteSingleCoil || function == kFcWriteSingleRegister || function == kFcDiagnostics ||
               function == kFcWriteMultipleCoils || function == kFcWriteMultipleRegisters) {
      length = 8;
    }
  }
  if (length < have || length > kRxBufferSize) length = expected;
  r = port_->ReadCounting(rx_ + have, kRxBufferSize - have, length - have, counter, timeoutMs);
  if (r < 0) return r;
  return length;
}

bool ModbusSerial::BytesLess::operator()(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) const {
  if (a.size() != b.size()) return a.size() < b.size();
  return !a.empty() && std::memcmp(a.data(), b.data(), a.size()) < 0;
}

bool ModbusSerial::IsCopyOfRecent(int length) {
  auto same = [](const std::vector<uint8_t>& v, const uint8_t* bytes, int n) {
    return static_cast<int>(v.size()) == n && std::memcmp(v.data(), bytes, v.size()) == 0;
  };
  bool copy = false;
  for (const Answered& a : recent_) copy = copy || (same(a.reply, rx_, length) && !same(a.request, tx_, txLength_));
  if (!copy) return false;
  // The bytes this request was answered with last time are its answer, also
  // when another request got the same bytes.
  key_.assign(tx_, tx_ + txLength_);
  const auto it = lastAnswers_.find(key_);
  return it == lastAnswers_.end() || !same(it->second, rx_, length);
}

void ModbusSerial::RememberReply(int length) {
  // Steady state allocates nothing: the oldest entry and each request's
  // last answer are reused.
  Answered entry;
  if (recent_.size() >= kRecentReplies) {
    entry = std::move(recent_.front());
    recent_.pop_front();
  }
  entry.request.assign(tx_, tx_ + txLength_);
  entry.reply.assign(rx_, rx_ + length);
  recent_.push_back(std::move(entry));
  key_.assign(tx_, tx_ + txLength_);
  auto it = lastAnswers_.find(key_);
  if (it == lastAnswers_.end()) {
    if (lastAnswers_.size() >= kRememberedRequests) lastAnswers_.clear();
    it = lastAnswers_.emplace(key_, std::vector<uint8_t>()).first;
  }
  it->second.assign(rx_, rx_ + length);
}

int ModbusSerial::ReadReply(int expected) {
  // A read that times out after some bytes have come is a reply cut short;
  // one that saw nothing at all keeps the port's time-out code.
  uint16_t counter = 0;
  auto failed = [&](int code) {
    if (code == kSerReadTimeout) {
      // The device may still answer: remember for how long.
      lateUnit_ = tx_[0];
      lateUntil_ = Clock::now() + std::chrono::milliseconds(port_->ReadTimeoutMs());
    }
    return code == kSerReadTimeout && counter > 0 ? kMbShortReply : code;
  };

  int length = ReadFrame(expected, -1, &counter);
  if (length < 0) return failed(length);
  if (!IsCopyOfRecent(length)) return length;
  // The frame equals a recent reply to another request: a copy that came
  // late (a line echo, a repeater), or the same bytes by chance. The request
  // is asked again: whatever answers it then answers this request, and the
  // same bytes again mean they were its answer.
  const std::vector<uint8_t> first(rx_, rx_ + length);
  const int sent = SendFrame(txLength_, delayMs_);
  if (sent <= 0) return sent;
  counter = 0;
  length = ReadFrame(expected, -1, &counter);
  if (length < 0) return failed(length);
  if (static_cast<size_t>(length) == first.size() && std::memcmp(rx_, first.data(), first.size()) == 0) return length;
  // Yet another copy: nothing on this line can be told apart now.
  if (IsCopyOfRecent(length)) return kMbException;
  return length;
}

int ModbusSerial::Transact(const Transaction& x) {
  std::memset(rx_, 0, sizeof rx_);
  delayMs_ = x.delayMs;
  int r = SendFrame(x.frameLength, x.delayMs);
  // A failure a stop caused says nothing about the device.
  const bool log = x.logFailures && !port_->Aborted();
  if (r <= 0) {
    if (log)
      Log(DRV_LOG_DEVELOPER, StrFormat("[Error] Write failed. ErrCode: %d. TxLen: %d. Func: %s", r,
                                       x.frameLength + kCrcLength, x.function));
    return r;
  }
  r = ReadReply(x.expected);
  if (r < 0) {
    if (log && !port_->Aborted()) Log(DRV_LOG_DEVELOPER, StrFormat(x.readFailedFormat, r, x.expected, x.function));
    return r;
  }
  const int check = CheckRtuReply(tx_, rx_, r);
  if (check != kMbException) RememberReply(r);
  if (check != 1) {
    if (check == kMbOtherException) NoteException(rx_[2]);
    return check;
  }
  if (x.checkByteCount && rx_[2] != x.n) return static_cast<int>(kMbShortReply);
  // Never copy more than the reply carries.
  if (x.dataOffset + x.n > r - kCrcLength) return static_cast<int>(kMbShortReply);
  if (x.n > 0) std::memcpy(x.dst, rx_ + x.dataOffset, static_cast<size_t>(x.n));
  return 1;
}

int ModbusSerial::TxGetRxData(const uint8_t* request, int requestLength, uint8_t* dst, int n, int /*ignored*/) {
  return Guard("ModbusSerial::TxGetRxData", [&] {
    if (!port_) return static_cast<int>(kDrvNoInstance);
    if (!request || requestLength < 2 || requestLength > kTxBufferSize - kCrcLength || n < 0 ||
        n + 5 > kRxBufferSize || (n > 0 && !dst))
      return static_cast<int>(kSerBadParameter);
    std::memcpy(tx_, request, static_cast<size_t>(requestLength));
    Transaction x;
    x.function = "ModbusSerial::TxGetRxData";
    x.frameLength = requestLength;
    x.delayMs = requestDelayMs_;
    x.expected = n + 5;
    x.dataOffset = 3;
    x.dst = dst;
    x.n = n;
    x.checkByteCount = true;
    return Transact(x);
  });
}

int ModbusSerial::TxGetRxDataEcho(const uint8_t* request, int requestLength, uint8_t* dst, int n, int logFlag) {
  return Guard("ModbusSerial::TxGetRxDataEcho", [&] {
    if (!port_) return static_cast<int>(kDrvNoInstance);
    if (!request || requestLength < 2 || requestLength > kTxBufferSize - kCrcLength || n < 0 ||
        n + 6 > kRxBufferSize || (n > 0 && !dst))
      return static_cast<int>(kSerBadParameter);
    std::memcpy(tx_, request, static_cast<size_t>(requestLength));
    Transaction x;
    x.function = "ModbusSerial::TxGetRxDataEcho";
    x.readFailedFormat = "[Error]  Read failed. ErrCode: %d. RxLen: %d. Func: %s";
    x.logFailures = logFlag == 1;
    x.frameLength = requestLength;
    x.delayMs = requestDelayMs_;
    x.expected = n + 6;
    x.dataOffset = 4;
    x.dst = dst;
    x.n = n;
    return Transact(x);
  });
}

int ModbusSerial::TxCheckResult(const uint8_t* header, int headerLength, const uint8_t* data, int dataLength) {
  return Guard("ModbusSerial::TxCheckResult", [&] {
    if (!port_) return static_cast<int>(kDrvNoInstance);
    const int frameLength = headerLength + 1 + dataLength;
    if (!header || headerLength < 2 || dataLength < 0 || dataLength > 255 || (dataLength > 0 && !data) ||
        frameLength + kCrcLength > kTxBufferSize)
      return static_cast<int>(kSerBadParameter);
    std::memcpy(tx_, header, static_cast<size_t>(headerLength));
    tx_[headerLength] = static_cast<uint8_t>(dataLength);
    if (dataLength > 0) std::memcpy(tx_ + headerLength + 1, data, static_cast<size_t>(dataLength));
    Transaction x;
    x.function = "ModbusSerial::TxCheckResult";
    x.frameLength = frameLength;
    x.delayMs = writeDelayMs_;
    x.expected = 8;
    return Transact(x);
  });
}

int ModbusSerial::TxRequest(const uint8_t* header, int headerLength, int kind, uint8_t* dst, int n,
                            const uint8_t* data, int dataLength) {
  return Guard("ModbusSerial::TxRequest", [&] {
    if (!port_) return static_cast<int>(kDrvNoInstance);
    if (!header || headerLength < 2 || n < 0 || (n > 0 && !dst) || dataLength < 0 || (dataLength > 0 && !data))
      return static_cast<int>(kSerBadParameter);
    Transaction x;
    x.logFailures = false;
    x.frameLength = headerLength;
    x.delayMs = requestDelayMs_;
    x.expected = 8;
    x.dataOffset = 4;
    x.dst = dst;
    x.n = n;
    if (kind == kRequestRead) {
      x.expected = n + 5;
      x.dataOffset = 3;
      x.checkByteCount = true;
    } else if (kind == kRequestSingleWrite) {
      // The reply echoes the address field and the data (2 bytes for
      // functions 5 and 6, the whole data for function 8).
      x.frameLength += dataLength;
      x.expected = 4 + dataLength + kCrcLength;
    } else {
      if (dataLength > 255) return static_cast<int>(kSerBadParameter);
      x.frameLength += 1 + dataLength;
    }
    if (x.frameLength + kCrcLength > kTxBufferSize || x.expected > kRxBufferSize)
      return static_cast<int>(kSerBadParameter);

    std::memcpy(tx_, header, static_cast<size_t>(headerLength));
    uint8_t* body = tx_ + headerLength;
    if (kind != kRequestRead && kind != kRequestSingleWrite) *body++ = static_cast<uint8_t>(dataLength);
    if (kind != kRequestRead && dataLength > 0) std::memcpy(body, data, static_cast<size_t>(dataLength));
    return Transact(x);
  });
}

int ModbusSerial::ScanDevice(int unit, ScanHits& hits, int& counter, int /*windowMs*/) {
  return Guard("ModbusSerial::ScanDevice", [&] {
    if (!port_) return static_cast<int>(kDrvNoInstance);
    const uint8_t probe[6] = {
        static_cast<uint8_t>(unit), kFcReadInputRegisters, kProbeRegister >> 8, kProbeRegister & 0xFF, 0x00, 0x01};
    std::memcpy(tx_, probe, sizeof probe);
    SerialScanHit hit;
    Transaction x;
    x.logFailures = false;
    x.frameLength = sizeof probe;
    x.delayMs = 0;
    x.expected = 7;
    x.dataOffset = 3;
    x.dst = hit.value;
    x.n = 2;
    x.checkByteCount = true;
    const int r = Transact(x);
    if (r != 1) return r;
    hit.portText = StrFormat("%d", port_->PortNumber());
    hit.unitText = StrFormat("%d", unit);
    hit.settingsText = port_->SettingsText();
    hits.serial.push_back(std::move(hit));
    ++counter;
    return 1;
  });
}

int ModbusSerial::CloseConnection() { return port_ ? port_->Close() : static_cast<int>(kDrvNoInstance); }

int ModbusSerial::DeleteConnection() {
  port_.reset();
  return 1;
}

int ModbusSerial::IsConnected() { return port_ && port_->IsOpen() ? 1 : 0; }

int ModbusSerial::OpenConnection(const SerialCommSetting& settings, int /*a*/, int /*b*/) {
  CloseConnection();
  if (!port_) {
    port_.reset(new (std::nothrow) DriverSerialPort());
    if (!port_) return kDrvOutOfMemory;
    if (ticks_) port_->SetTickSource(ticks_);
    ApplyAbort();
  }
  const unsigned readTimeout = settings.timeoutMs > 0 ? static_cast<unsigned>(settings.timeoutMs) : 0u;
  const int r = port_->Open(settings.comPort, settings.baudRate, settings.dataBits, settings.parityCode,
                            settings.stopBitsCode, readTimeout, settings.secondTimeoutMs);
  return r == 1 ? 1 : static_cast<int>(kSerCannotOpen);
}

int ModbusSerial::Reconnect() {
  if (!port_) return kDrvNoInstance;
  const int r = port_->ReconnectDue();
  if (r != ReconnectGate::kTryNow) return r;
  Log(DRV_LOG_GENERAL, "Channel. Try reconnecting...");
  return port_->Reopen();
}

void ModbusSerial::TransportErrorText(int code, std::string& text) const { DriverSerialPort::ErrorText(code, text); }

}  // namespace tessivar
