// ModbusSerial: the Modbus RTU master on one COM port. A frame is the
// request followed by its CRC-16 (low byte first). Every reply is read to its
// exact length, an exception reply (function byte above 128) is recognised
// after its second byte, the CRC of every reply is verified, and a reply that
// stops short of its length is rejected. What waits on the line is dropped
// before each request (a frame partway across it to its end); after a
// time-out the next request to the same unit first waits out the time in
// which the late reply could still come.
//
// RTU replies carry no transaction id. A frame that is complete before the
// request and a reply of the frame's length could have crossed the line
// (at the port's character time) is not the reply: a line echo, a repeater
// or a late answer to something else. It is dropped with a line on the
// communication level and the master goes on waiting for the reply within
// the read time-out. A frame that comes later cannot be told from the reply
// and is taken. An early frame that answers this request's unit and
// function with a sound CRC is only held: a peer without line time (a pty
// pair) answers that early; it is the reply unless another frame comes
// before the reply could have ended, or, when it may be a copy of an
// earlier reply (the last reply's bytes answering another request, or
// anything after a time-out of its unit), before the read time-out. A
// request goes on the wire once, whatever comes back.
#pragma once

#include <chrono>
#include <memory>

#include "driver/modbus/driver_serial_port.h"
#include "driver/modbus/modbus_master.h"

namespace tessivar {

class ModbusSerial : public Modbus {
public:
  // The largest RTU frame.
  static constexpr int kTxBufferSize = FrameLength(kRtuFraming, kMaxPdu);

  ModbusSerial();
  ~ModbusSerial() override;

  int TxGetRxData(const uint8_t* request, int requestLength, uint8_t* dst, int n, int ignored) override;
  int TxCheckResult(const uint8_t* header, int headerLength, const uint8_t* data, int dataLength) override;
  int TxGetRxDataEcho(const uint8_t* request, int requestLength, uint8_t* dst, int n, int logFlag) override;
  int TxRequest(const uint8_t* header, int headerLength, int kind, uint8_t* dst, int n, const uint8_t* data,
                int dataLength) override;
  int CloseConnection() override;
  int DeleteConnection() override;
  int Reconnect() override;
  int IsConnected() override;
  using Modbus::OpenConnection;
  int OpenConnection(const SerialCommSetting& settings, int a, int b) override;
  // Probes `unit` with a read of input register 0x1002 (windowMs unused).
  int ScanDevice(int unit, ScanHits& hits, int& counter, int windowMs) override;
  void TransportErrorText(int code, std::string& text) const override;
  TransportKind Transport() const override { return TransportKind::kSerial; }

  DriverSerialPort* Port() const { return port_.get(); }
  // The reply still outstanding after a time-out (unit -1: none), handed
  // from one master to the next on the same line: the driver object makes a
  // master per stopped-road call.
  struct LateReply {
    int unit = -1;
    std::chrono::steady_clock::time_point until;
  };
  LateReply Late() const { return {lateUnit_, lateUntil_}; }
  void SetLate(const LateReply& late) {
    lateUnit_ = late.unit;
    lateUntil_ = late.until;
  }
  // Tick source of the port's reconnection gate (tests), also for ports
  // created later.
  void SetTickSource(TickSource ticks);

protected:
  int BadParameterCode() const override { return kSerBadParameter; }
  void ApplyAbort() override {
    if (port_) port_->SetAbort(abort_);
  }

private:
  // One request and its reply, as each Tx operation describes it; the
  // request bytes are already in the transmit buffer.
  struct Transaction {
    const char* function = "";  // names the operation in the log lines
    // Read failures are logged in this form (code, expected length,
    // function); both failure lines only when logFailures is set.
    const char* readFailedFormat = "[Error] Read failed. ErrCode: %d. RxLen: %d. Func: %s";
    bool logFailures = true;
    int frameLength = 0;  // request bytes before the CRC
    int delayMs = 0;      // pause before the request goes out
    ReplyLayout reply;    // the reply is read to its length, CRC included
    uint8_t* dst = nullptr;
    int n = 0;
    bool checkByteCount = false;  // the reply's byte count must be n
  };
  // Sends, receives, checks and copies: the one transaction path.
  int Transact(const Transaction& x);

  // Appends the CRC to the first `length` bytes of the transmit buffer and
  // writes the frame.
  int SendFrame(int length, int delayMs);
  // Drops what waits on the line, waiting first `waitMs` and then, when
  // something came, until the line has been quiet for a character gap.
  void DrainLine(int waitMs);
  // Reads the reply to the request just sent into the receive buffer:
  // `expected` bytes, or a 5-byte exception reply; a frame that came too
  // early to be the reply is dropped (and logged for `function`). Returns
  // the byte count read or a code (the caller verifies CRC, unit and
  // function).
  int ReadReply(int expected, const char* function);
  // One frame: as long as its function code says (expected for this
  // request's function); the first byte waited for at most firstWaitMs,
  // each later block at most the read time-out. The byte count or a code.
  int ReadFrame(int expected, int firstWaitMs, uint16_t* counter);
  // The frame of `length` bytes just read was complete before the request
  // and a reply that long could have crossed the line.
  bool CameTooEarly(int length) const;
  // The frame of `length` bytes in the receive buffer has this request's
  // unit and function (or its exception) and a sound CRC.
  bool CouldBeTheReply(int length) const;
  // The frame of `length` bytes in the receive buffer is this request's
  // reply: kept as the last one taken. Returns `length`.
  int Taken(int length);
  // Sleeps, cut short by the abort check.
  void Pause(int ms) const;

  std::unique_ptr<DriverSerialPort> port_;
  TickSource ticks_;
  // The turnaround pauses of the settings the connection was opened with.
  int requestDelayMs_ = SerialCommSetting{}.requestDelayMs;
  int writeDelayMs_ = SerialCommSetting{}.writeDelayMs;
  // The unit whose reply did not come in time, and until when it may still
  // come; -1 when none is outstanding.
  int lateUnit_ = -1;
  std::chrono::steady_clock::time_point lateUntil_;
  // The request in the transmit buffer, CRC excluded.
  int txLength_ = 0;
  uint8_t tx_[kTxBufferSize] = {};
  uint8_t rx_[kRxBufferSize] = {};
  // An early frame held while a later one may still take its place.
  uint8_t held_[kRxBufferSize] = {};
  // The last reply taken and the unit, function, address and quantity of
  // its request; whether this request follows a time-out of its unit.
  static constexpr size_t kRequestHeaderLength = 6;
  uint8_t lastReply_[kRxBufferSize] = {};
  int lastReplyLength_ = 0;
  uint8_t lastRequest_[kRequestHeaderLength] = {};
  bool afterTimeOut_ = false;
};

}  // namespace tessivar
