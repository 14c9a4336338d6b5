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

constexpr int kExceptionReplyLength = ExceptionReplyLength(kRtuFraming);
constexpr int kCrcLength = kRtuFraming.checksum;

using Clock = std::chrono::steady_clock;

// The quiet time that ends a frame on the line: three and a half characters,
// never less than this.
constexpr int kMinimumGapMs = 2;

// What a device may take to turn round after the request has crossed the
// line: a held early frame waits that long for the reply behind it.
constexpr int kTurnaroundAllowanceMs = 10;

// The input register the node scan reads: the adapter's product code.
constexpr uint16_t kProbeRegister = 0x1002;

}  // namespace

ModbusSerial::ModbusSerial() : Modbus("ModbusSerial") {}

ModbusSerial::~ModbusSerial() = default;

void ModbusSerial::SetTickSource(TickSource ticks) {
  ticks_ = std::move(ticks);
  if (port_) port_->SetTickSource(ticks_);
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
  afterTimeOut_ = lateUnit_ == tx_[0];
  lateUnit_ = -1;
  DrainLine(waitMs);
  // A stop asked for meanwhile: the request does not go out.
  if (port_->Aborted()) return kSerWriteTimeout;
  return port_->Write(tx_, length + kCrcLength);
}

void ModbusSerial::DrainLine(int waitMs) {
  // A drain that met bytes may have cut a frame that was still arriving: its
  // rest is dropped too, up to a gap of quiet, for at most a read time-out
  // (a line that never falls quiet still gets its request).
  const auto gap = port_->CharacterTime() * 7 / 2;
  const int gapMs = std::max(kMinimumGapMs, static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(gap).count()));
  const auto until = Clock::now() + std::chrono::milliseconds(port_->ReadTimeoutMs());
  int dropped = port_->DiscardInput(waitMs);
  while (dropped > 0 && Clock::now() < until && !port_->Aborted()) dropped = port_->DiscardInput(gapMs);
}

int ModbusSerial::ReadFrame(int expected, int firstWaitMs, uint16_t* counter) {
  int r = port_->ReadCounting(rx_, kRxBufferSize, 1, counter, firstWaitMs);
  if (r < 0) return r;
  r = port_->ReadCounting(rx_ + 1, kRxBufferSize - 1, 1, counter, -1);
  if (r < 0) return r;
  // The frame's own length, so that a frame meant for another request is
  // read whole: exception replies, this request's reply, then the lengths
  // the function codes give.
  const uint8_t function = rx_[1];
  int length = expected;
  int have = 2;
  ReplyForm form = ReplyForm::kEchoed;
  if (function > kFcExceptionBit) {
    length = kExceptionReplyLength;
  } else if (function != tx_[1] && ReplyFormOf(function, &form)) {
    if (form == ReplyForm::kCounted) {
      r = port_->ReadCounting(rx_ + 2, kRxBufferSize - 2, 1, counter, -1);
      if (r < 0) return r;
      have = 3;
      length = ReplyOf(kRtuFraming, form, rx_[2]).length;
    } else {
      length = ReplyOf(kRtuFraming, form, kEchoedValueLength).length;
    }
  }
  if (length < have || length > kRxBufferSize) length = expected;
  r = port_->ReadCounting(rx_ + have, kRxBufferSize - have, length - have, counter, -1);
  if (r < 0) return r;
  return length;
}

bool ModbusSerial::CameTooEarly(int length) const {
  // The request leaves at SentAt; no reply of `length` bytes can be complete
  // before both have crossed the line.
  const auto crossing = port_->CharacterTime() * (txLength_ + kCrcLength + length);
  return port_->ReceivedAt() < port_->SentAt() + crossing;
}

int ModbusSerial::Taken(int length) {
  std::memcpy(lastReply_, rx_, static_cast<size_t>(length));
  lastReplyLength_ = length;
  std::memcpy(lastRequest_, tx_, kRequestHeaderLength);
  return length;
}

bool ModbusSerial::CouldBeTheReply(int length) const {
  if (length < kExceptionReplyLength) return false;
  const uint16_t crc = Crc16(rx_, static_cast<unsigned>(length - kCrcLength));
  if (rx_[length - 2] != (crc & 0xFF) || rx_[length - 1] != (crc >> 8)) return false;
  return rx_[0] == tx_[0] && (rx_[1] & ~kFcExceptionBit) == tx_[1];
}

int ModbusSerial::ReadReply(int expected, const char* function) {
  // A read that times out after some bytes of the reply have come is a
  // reply cut short; one that saw nothing at all keeps the port's time-out
  // code.
  uint16_t counter = 0;
  auto failed = [&](int code) {
    if (code == kSerReadTimeout) {
      // The device may still answer: remember for how long.
      lateUnit_ = tx_[0];
      lateUntil_ = Clock::now() + std::chrono::milliseconds(port_->ReadTimeoutMs());
    }
    return code == kSerReadTimeout && counter > 0 ? kMbShortReply : code;
  };
  auto dropped = [&](int length) {
    Log(DRV_LOG_COMM, StrFormat("[Warning] Frame before the reply could come, dropped. RxLen: %d. Func: %s", length,
                                function));
  };
  auto msUntil = [](Clock::time_point at) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(at - Clock::now()).count();
    return static_cast<int>(std::max<long long>(left, 0));
  };
  // The reply's first byte is waited for one read time-out from the request
  // on, also across early frames.
  const auto deadline = port_->SentAt() + std::chrono::milliseconds(port_->ReadTimeoutMs());
  // An early frame that has this request's unit, function and a sound CRC
  // may still be the reply, from a peer that knows no line time (a pty pair
  // carries bytes at once). It is held until the reply could have ended,
  // behind the request and behind the held frame itself (it kept the line
  // busy), and the line fallen quiet: a frame that comes by then takes its
  // place, and when none comes, it is the reply.
  // A held frame that may be a copy of an earlier reply (the last reply's
  // bytes answering another request, or anything after this unit's time-out,
  // when its late reply may still be under way) waits for the reply behind
  // it up to the read time-out: a device answers the same request with the
  // same bytes, and any other early frame is rather the reply of a peer
  // without line time.
  auto mayBeACopy = [&](int length) {
    return afterTimeOut_ || (length == lastReplyLength_ && std::memcmp(rx_, lastReply_, static_cast<size_t>(length)) == 0 &&
                             std::memcmp(tx_, lastRequest_, kRequestHeaderLength) != 0);
  };
  const auto character = port_->CharacterTime();
  const auto quiet = std::max<std::chrono::nanoseconds>(character * 7 / 2, std::chrono::milliseconds(kMinimumGapMs)) +
                     std::chrono::milliseconds(kTurnaroundAllowanceMs);
  const auto replyEnd = port_->SentAt() + character * (txLength_ + kCrcLength + expected);
  Clock::time_point holdUntil;
  int held = 0;
  int firstWaitMs = -1;
  for (;;) {
    const int length = ReadFrame(expected, firstWaitMs, &counter);
    if (length < 0) {
      if (held > 0 && counter == 0 && length == kSerReadTimeout) {
        std::memcpy(rx_, held_, static_cast<size_t>(held));
        return Taken(held);
      }
      if (held > 0) dropped(held);
      return failed(length);
    }
    if (!CameTooEarly(length)) {
      if (held > 0) dropped(held);
      return Taken(length);
    }
    if (CouldBeTheReply(length)) {
      if (held > 0) dropped(held);
      std::memcpy(held_, rx_, static_cast<size_t>(length));
      held = length;
      holdUntil = mayBeACopy(length) ? deadline
                                     : std::max(replyEnd, port_->ReceivedAt() + character * expected) + quiet;
    } else {
      dropped(length);
    }
    // Past the deadline, what has come already is still taken.
    firstWaitMs = msUntil(held > 0 ? std::min(holdUntil, deadline) : deadline);
    std::memset(rx_, 0, static_cast<size_t>(length));
    counter = 0;
  }
}

int ModbusSerial::Transact(const Transaction& x) {
  std::memset(rx_, 0, sizeof rx_);
  int r = SendFrame(x.frameLength, x.delayMs);
  // A failure a stop caused says nothing about the device.
  const bool log = x.logFailures && !port_->Aborted();
  if (r <= 0) {
    if (log)
      Log(DRV_LOG_DEVELOPER, StrFormat("[Error] Write failed. ErrCode: %d. TxLen: %d. Func: %s", r,
                                       x.frameLength + kCrcLength, x.function));
    return r;
  }
  r = ReadReply(x.reply.length, x.function);
  if (r < 0) {
    if (log && !port_->Aborted())
      Log(DRV_LOG_DEVELOPER, StrFormat(x.readFailedFormat, r, x.reply.length, x.function));
    return r;
  }
  const int check = CheckRtuReply(tx_, rx_, r);
  if (check != 1) {
    if (check == kMbOtherException) NoteException(rx_[2]);
    return check;
  }
  if (x.checkByteCount && rx_[2] != x.n) return static_cast<int>(kMbShortReply);
  // Never copy more than the reply carries.
  if (x.reply.dataOffset + x.n > r - kCrcLength) return static_cast<int>(kMbShortReply);
  if (x.n > 0) std::memcpy(x.dst, rx_ + x.reply.dataOffset, static_cast<size_t>(x.n));
  return 1;
}

int ModbusSerial::TxGetRxData(const uint8_t* request, int requestLength, uint8_t* dst, int n, int /*ignored*/) {
  return Guard("ModbusSerial::TxGetRxData", [&] {
    if (!port_) return static_cast<int>(kDrvNoInstance);
    Transaction x;
    x.frameLength = PutRequest({.head = request, .headLength = requestLength, .dst = dst, .n = n}, kRtuFraming,
                               ReplyForm::kCounted, n, tx_, &x.reply);
    if (x.frameLength == 0) return static_cast<int>(kSerBadParameter);
    x.function = "ModbusSerial::TxGetRxData";
    x.delayMs = requestDelayMs_;
    x.dst = dst;
    x.n = n;
    x.checkByteCount = true;
    return Transact(x);
  });
}

int ModbusSerial::TxGetRxDataEcho(const uint8_t* request, int requestLength, uint8_t* dst, int n, int logFlag) {
  return Guard("ModbusSerial::TxGetRxDataEcho", [&] {
    if (!port_) return static_cast<int>(kDrvNoInstance);
    Transaction x;
    x.frameLength = PutRequest({.head = request, .headLength = requestLength, .dst = dst, .n = n}, kRtuFraming,
                               ReplyForm::kEchoed, n, tx_, &x.reply);
    if (x.frameLength == 0) return static_cast<int>(kSerBadParameter);
    x.function = "ModbusSerial::TxGetRxDataEcho";
    x.readFailedFormat = "[Error]  Read failed. ErrCode: %d. RxLen: %d. Func: %s";
    x.logFailures = logFlag == 1;
    x.delayMs = requestDelayMs_;
    x.dst = dst;
    x.n = n;
    return Transact(x);
  });
}

int ModbusSerial::TxCheckResult(const uint8_t* header, int headerLength, const uint8_t* data, int dataLength) {
  return Guard("ModbusSerial::TxCheckResult", [&] {
    if (!port_) return static_cast<int>(kDrvNoInstance);
    Transaction x;
    x.frameLength = PutRequest({.head = header,
                                .headLength = headerLength,
                                .body = TxArguments::kCounted,
                                .data = data,
                                .dataLength = dataLength},
                               kRtuFraming, ReplyForm::kEchoed, kEchoedValueLength, tx_, &x.reply);
    if (x.frameLength == 0) return static_cast<int>(kSerBadParameter);
    x.function = "ModbusSerial::TxCheckResult";
    x.delayMs = writeDelayMs_;
    return Transact(x);
  });
}

int ModbusSerial::TxRequest(const uint8_t* header, int headerLength, int kind, uint8_t* dst, int n,
                            const uint8_t* data, int dataLength) {
  return Guard("ModbusSerial::TxRequest", [&] {
    if (!port_) return static_cast<int>(kDrvNoInstance);
    // The reply is read to its length: a read's n data bytes; a single write
    // echoes the address field and the data (2 bytes for functions 5 and 6,
    // the whole data for function 8); a multiple write its quantity.
    TxArguments::Body body = TxArguments::kCounted;
    ReplyForm form = ReplyForm::kEchoed;
    int replyData = kEchoedValueLength;
    if (kind == kRequestRead) {
      body = TxArguments::kNone;
      form = ReplyForm::kCounted;
      replyData = n;
    } else if (kind == kRequestSingleWrite) {
      body = TxArguments::kRaw;
      replyData = dataLength;
    }
    Transaction x;
    x.frameLength =
        PutRequest({header, headerLength, body, data, dataLength, dst, n}, kRtuFraming, form, replyData, tx_, &x.reply);
    if (x.frameLength == 0) return static_cast<int>(kSerBadParameter);
    x.function = "ModbusSerial::TxRequest";
    x.logFailures = false;
    x.delayMs = requestDelayMs_;
    x.dst = dst;
    x.n = n;
    x.checkByteCount = kind == kRequestRead;
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
    x.function = "ModbusSerial::ScanDevice";
    x.logFailures = false;
    x.frameLength = sizeof probe;
    x.delayMs = 0;
    x.dst = hit.value;
    x.n = sizeof hit.value;
    x.reply = ReplyOf(kRtuFraming, ReplyForm::kCounted, x.n);
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
  requestDelayMs_ = settings.requestDelayMs;
  writeDelayMs_ = settings.writeDelayMs;
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
