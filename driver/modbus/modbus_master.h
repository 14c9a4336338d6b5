// Modbus: the driver's Modbus master interface. It builds the request header
// of every operation the driver uses (register reads and writes, the
// diagnostic echo and commands, the generic request of the messenger window)
// and leaves framing, transport and reply checks to its two masters:
// ModbusSerial (Modbus RTU on a COM port) and CModbusTCP (Modbus TCP).
//
// Every operation returns 1 on success or a code: the Modbus codes -8001 to
// -8014 (a Modbus exception e in a reply is -8000 - e), -7102 without a
// transport, -7103 out of memory, -7107 a failed ping, or the transport's own
// codes. A master serves one channel and is used by one thread at a time.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <string>
#include <vector>

#include "driver/include/tessivar.h"
#include "driver/modbus/modbus_frames.h"
#include "driver/modbus/modbus_settings.h"
#include "driver/modbus/reconnect_gate.h"
#include "driver/result_codes.h"

namespace tessivar {

class RunAhead;

// Receives a master's log lines and its ping results; the driver object.
class ModbusOwner {
public:
  virtual ~ModbusOwner() = default;
  virtual void MasterLog(int level, const std::string& text) = 0;
  // The result of the reachability test made before a TCP reconnection.
  virtual void PingReport(const std::string& host, int result) = 0;
};

// One answer of the serial per-node probe.
struct SerialScanHit {
  std::string portText;      // "%d" of the COM port number
  std::string unitText;      // "%d" of the node address
  std::string settingsText;  // "%d,%d,%s,%d" of the port's line settings
  uint8_t value[2] = {0, 0};  // register 0x1002 as received, high byte first
};

// One answer of the discovery broadcast: the 256 bytes after its header.
struct DiscoveryRecord {
  std::array<uint8_t, 256> bytes{};
};

// Who sent an answer: its record's IP address (bytes 0 to 3) and MAC
// address (bytes 12 to 17).
struct AdapterIdentity {
  std::array<uint8_t, 4> ip{};
  std::array<uint8_t, 6> mac{};
};

// What the scans collect; the serial probe appends to `serial`, the
// discovery to `discovery`.
struct ScanHits {
  std::vector<SerialScanHit> serial;
  std::vector<DiscoveryRecord> discovery;
  // Adapters whose answers came when `discovery` was full (told apart as
  // TakeDiscoveryAnswer merges answers): not listed, only counted. At most
  // kMaxDiscoveryRecords are told apart; answers of any further adapter
  // only add to discoveryDroppedMore.
  std::vector<AdapterIdentity> discoveryDropped;
  size_t discoveryDroppedMore = 0;
  size_t DiscoveryDroppedCount() const { return discoveryDropped.size() + discoveryDroppedMore; }
};

// Kinds of the generic request.
enum ModbusRequestKind : int { kRequestRead = 0, kRequestSingleWrite = 1, kRequestMultipleWrite = 2 };

// The Modbus function codes the driver sends (modbus/framing.h).
using ModbusFunction = qmx::modbus::Function;
using enum qmx::modbus::Function;
using qmx::modbus::kFcExceptionBit;

// The commands of DiagCmd (drvSendSpecialCmd).
enum SpecialCommand : int { kCmdRestartComm = 0, kCmdClearCounters = 1 };

// What Reconnect answers, besides a failure code.
enum ReconnectResult : int {
  kReconnected = 1,
  kReconnectWait = ReconnectGate::kWait,
  kStillConnected = ReconnectGate::kNotNeeded,
};

class Modbus {
public:
  // A Modbus PDU carries at most 253 bytes; the transmit buffers hold the
  // largest request of either framing.
  static constexpr int kMaxPdu = qmx::modbus::kMaxPdu;
  static constexpr int kRxBufferSize = 1024;

  virtual ~Modbus();
  Modbus(const Modbus&) = delete;
  Modbus& operator=(const Modbus&) = delete;

  // ---- framing, transport and reply checks (each master) ----

  // A read-type request (6 bytes) whose reply carries a byte count and then
  // the data; copies n data bytes into dst.
  virtual int TxGetRxData(const uint8_t* request, int requestLength, uint8_t* dst, int n, int ignored) = 0;
  // A multiple write: the header, a byte with dataLength, the data; 1 when
  // the reply answers it.
  virtual int TxCheckResult(const uint8_t* header, int headerLength, const uint8_t* data, int dataLength) = 0;
  // A request whose reply echoes a 2-byte field before n data bytes.
  virtual int TxGetRxDataEcho(const uint8_t* request, int requestLength, uint8_t* dst, int n, int logFlag) = 0;
  // The generic request of the messenger (kind: ModbusRequestKind); n data
  // bytes of the reply are copied into dst.
  virtual int TxRequest(const uint8_t* header, int headerLength, int kind, uint8_t* dst, int n, const uint8_t* data,
                        int dataLength) = 0;
  virtual int CloseConnection() = 0;
  virtual int DeleteConnection() = 0;
  // A ReconnectResult, or a failure code.
  virtual int Reconnect() = 0;
  virtual int IsConnected() = 0;
  // Each master takes its own settings block; the other one is refused.
  virtual int OpenConnection(const TcpCommSetting& settings, int a, int b);
  virtual int OpenConnection(const SerialCommSetting& settings, int a, int b);
  // The serial master probes `unit`; the TCP master broadcasts the discovery
  // request and listens for windowMs. `counter` grows by one per answer.
  virtual int ScanDevice(int unit, ScanHits& hits, int& counter, int windowMs) = 0;
  virtual void TransportErrorText(int code, std::string& text) const = 0;
  virtual TransportKind Transport() const = 0;
  // The run ahead of the repeated part of a monitoring cycle (see
  // CycleScript), when the master has one (the TCP master; null for the
  // serial master): the cycle brackets the part and its writes with it.
  virtual RunAhead* CycleRunAhead() { return nullptr; }

  // ---- requests ----

  void SetOwner(ModbusOwner* owner) { owner_ = owner; }
  // The abort check handed to the transport (also to one made later): waits
  // end early once it answers true. The monitoring channel gets one, so a
  // stop never waits out a connect or a chain of time-outs.
  void SetAbort(std::function<bool()> abort) {
    abort_ = std::move(abort);
    running_ = nullptr;
    ApplyAbort();
  }
  // The same for a run that goes on while `running` is not 0: a check that
  // is read without a call where one is made for every request.
  void SetAbortFlag(const std::atomic<int>& running) {
    SetAbort([&running] { return running.load() == 0; });
    running_ = &running;
  }
  ModbusOwner* Owner() const { return owner_; }
  // A stop asked for (the abort check answers true).
  bool Aborted() const { return running_ ? running_->load() == 0 : abort_ && abort_(); }
  // Brings what Aborted reads into the cache, for a caller that asks it
  // after other work (the run ahead, between a receive and the next step).
  void PrefetchAbortCheck() const { __builtin_prefetch(&running_); }
  // " [name] text" to the owner's log (level: DriverLogLevel).
  void Log(int level, const std::string& text) const;
  // The Modbus texts, else the transport's. -8015 names the exception code
  // of the last reply that gave it.
  void ErrorText(int code, std::string& text) const;
  std::string ErrorText(int code) const;

  const std::string& ObjectName() const { return objectName_; }
  void SetRetryCount(uint16_t count) { retryCount_ = count; }

  // Function 1, 2, 3 or 4: n data bytes expected (2 x quantity for
  // registers, quantity / 8 rounded up for bits).
  int ReadRegisters(uint8_t unit, uint8_t function, uint16_t address, uint16_t quantity, uint8_t* dst, int n);
  // Function 15 or 16 with the data as they go on the wire.
  int WriteRegisters(uint8_t unit, uint8_t function, uint16_t address, uint16_t quantity, const uint8_t* data,
                     int dataLength);
  // The generic request: kind 1 sends unit, function, address and the data
  // (function 5, 6, 8); other kinds also send `value` (quantity).
  int Request(uint8_t unit, uint8_t function, uint16_t address, uint16_t value, int kind, uint8_t* dst, int n,
              const uint8_t* data, int dataLength);
  // Function 8, return query data 0xABCD (the echo is not compared).
  int DiagEcho(uint8_t unit);
  // kCmdRestartComm restarts communications (sub-function 1),
  // kCmdClearCounters clears the counters (sub-function 0x0A); any other
  // command returns 0 and sends nothing.
  int DiagCmd(uint8_t unit, int command);

protected:
  explicit Modbus(const char* objectName);

  // Remembers the code of an exception reply that gave -8015.
  void NoteException(uint8_t code) { lastException_ = code; }

  // The arguments of a Tx operation: the request's head (unit, function and
  // its fields), the data that follow it and where n bytes of the reply go.
  struct TxArguments {
    const uint8_t* head = nullptr;
    int headLength = 0;
    // The data go behind the head as they are (kRaw), behind a byte count
    // (kCounted), or not at all (kNone: a read, whose data are still checked).
    enum Body { kNone, kRaw, kCounted } body = kNone;
    const uint8_t* data = nullptr;
    int dataLength = 0;
    uint8_t* dst = nullptr;
    int n = 0;
  };
  // Checks a Tx operation's arguments and writes its request, unit first, at
  // `at`; lays out in `reply` the reply of `form` with `replyData` data bytes
  // in the master's `framing`. The request's length, or 0 when the arguments
  // are refused (the transport's parameter code): something missing, a
  // request beyond the largest PDU behind its unit, a reply beyond the
  // receive buffer.
  static int PutRequest(const TxArguments& a, Framing framing, ReplyForm form, int replyData, uint8_t* at,
                        ReplyLayout* reply);

  // The parameter-error code of the master's transport.
  virtual int BadParameterCode() const = 0;
  // Hands abort_ to the transport, when there is one.
  virtual void ApplyAbort() {}
  std::function<bool()> abort_;
  const std::atomic<int>* running_ = nullptr;

  // Runs a transaction body: an exception in it is logged (the operation
  // named as `function`) and answers -8013.
  template <class F>
  int Guard(const char* function, F&& body) {
    try {
      return body();
    } catch (const std::exception& e) {
      LogException(function, e.what());
    } catch (...) {
      LogException(function, "unknown");
    }
    return kMbException;
  }

private:
  // The line of Guard; a failure to log it is dropped.
  void LogException(const char* function, const char* cause) const noexcept;
  template <class F>
  int Retried(F&& attempt);
  void SetHeader(uint8_t unit, uint8_t function, uint16_t address, uint16_t value);

  uint16_t retryCount_ = 1;
  std::string objectName_ = "Modbus";
  ModbusOwner* owner_ = nullptr;
  uint8_t lastException_ = 0;

protected:
  uint8_t header_[6] = {};
};

// -8000 - e for the Modbus exception codes e = 1..6, which have texts of
// their own; -8015 for every other code (-8007 and -8009 mean mismatches).
inline int ModbusExceptionResult(uint8_t exceptionCode) {
  if (exceptionCode >= 1 && exceptionCode <= 6) return kMbExceptionBase - static_cast<int>(exceptionCode);
  return kMbOtherException;
}

}  // namespace tessivar
