// The driver's COM port: opened by number ("COM n", mapped to a device by
// platform/serial), line settings and time-outs, a frame written in one
// call, replies read in blocks as they arrive (the read time-out bounds the
// wait for each block, so a reply that stops early ends one time-out after
// its last byte), and the reconnection gate with a fixed period of 5 s.
// Failures are the driver's serial codes.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

#include "driver/modbus/reconnect_gate.h"
#include "platform/serial/serial_device.h"

namespace tessivar {

enum SerialCode : int {
  kSerNoReconnectNeeded = ReconnectGate::kNotNeeded,
  kSerCannotOpen = -9100,
  kSerBadParameter = -9102,
  kSerNoEvent = -9103,
  kSerWriteNotPending = -9104,
  kSerWriteTimeout = -9105,
  kSerEventError = -9106,
  kSerReadNotPending = -9107,
  kSerReadError = -9108,
  kSerWriteFailed = -9110,
  kSerReadFailed = -9111,
  kSerReconnectFailed = -9112,
  kSerBufferTooSmall = -9113,
  kSerNotOpen = -9114,
  kSerReadTimeout = -9119,
};

class DriverSerialPort {
public:
  DriverSerialPort();
  ~DriverSerialPort();
  DriverSerialPort(const DriverSerialPort&) = delete;
  DriverSerialPort& operator=(const DriverSerialPort&) = delete;

  // Stores the settings and opens; 1 or 0. Baud rates other than 110, 300,
  // 600, 1200, 2400, 4800, 9600, 14400, 19200, 38400, 56000, 57600, 115200,
  // 128000, 256000 open as 9600; parity codes outside 1..4 as none; stop
  // code 2 is two stop bits, anything else one. The read time-out applies to
  // each byte, the write time-out to the whole frame.
  int Open(int portNumber, int baudRate, int dataBits, int parityCode, int stopCode, unsigned readTimeoutMs,
           int writeTimeoutMs);
  int Close();
  int IsOpen() const;

  int Write(const void* data, int length);
  int Read(void* buffer, int size, int wanted);
  // As Read, adding 1 to *counter for every byte received, also when the
  // read fails later; each block waits at most timeoutMs (the read time-out
  // when negative).
  int ReadCounting(void* buffer, int size, int wanted, uint16_t* counter, int timeoutMs = -1);

  // Drops what waits on the line; with waitMs > 0 also what arrives during
  // that time (cut short by the abort check). The count dropped, or a code.
  int DiscardInput(int waitMs);
  // True once the abort check answers true.
  bool Aborted() const;

  int ReconnectDue();
  int Reopen();

  // The time one character takes on the line as the port runs it: start
  // bit, data bits, parity bit and stop bits at the baud rate the port
  // reports (the stored settings when it reports none). A memory line runs
  // at one character a microsecond.
  std::chrono::nanoseconds CharacterTime() const;
  // When the last write began, and when the last block of bytes a read took
  // had come.
  std::chrono::steady_clock::time_point SentAt() const;
  std::chrono::steady_clock::time_point ReceivedAt() const;

  int PortNumber() const { return portNumber_; }
  unsigned ReadTimeoutMs() const { return readTimeoutMs_; }
  // "%d,%d,%s,%d": baud rate, data bits, parity name, stop code.
  std::string SettingsText() const;
  // Settings as the port has taken them (false while closed).
  bool CurrentLineSettings(qmx::serial::LineSettings* settings) const;

  // "Serial Error. Code: %d. Desc: %s"; -9100 is "Cannot open port.".
  static void ErrorText(int code, std::string& text);
  static const char* Description(int code);

  void SetTickSource(TickSource ticks) { gate_.SetTickSource(std::move(ticks)); }

  // Fuzzing: the bytes a device would send, read from memory in place of the
  // device (the port then counts as open and takes every write whole). Each
  // read takes at most `piece` of them (0: all that are left); when none are
  // left a read times out at once. The first `early` bytes come as soon as
  // the request has been written, the others an hour later. `writes` counts
  // the writes. The line stays the caller's; nullptr gives the device back.
  struct MemoryLine {
    std::string_view received;
    size_t piece = 0;
    size_t early = 0;
    size_t at = 0;
    int writes = 0;
  };
  void UseMemoryLine(MemoryLine* line);
  // Asked between short slices of every read wait: true ends the wait at
  // once as a time-out (a stopping monitoring thread). None: not sliced.
  void SetAbort(std::function<bool()> abort);

private:
  // device_.Read within timeoutMs, sliced when an abort check is set.
  int ReadSome(uint8_t* out, size_t size, int timeoutMs);
  int OpenStored();
  void CloseLocked();
  int ReadLocked(void* buffer, int size, int wanted, uint16_t* counter, int timeoutMs);
  // The character time of the settings the port runs.
  void TakeCharacterTime();
  void FailedWithError(int negErrno);

  int baudRate_ = 9600;
  int portNumber_ = 0;
  uint8_t dataBits_ = 8;
  uint8_t parity_ = 0;
  uint8_t stopCode_ = 0;
  unsigned readTimeoutMs_ = 500;
  int writeTimeoutMs_ = 500;
  qmx::serial::SerialDevice device_;
  ReconnectGate gate_;
  int reconnectPeriodS_ = 5;
  std::function<bool()> abort_;
  MemoryLine* memory_ = nullptr;
  std::chrono::nanoseconds characterTime_{0};
  std::chrono::steady_clock::time_point sentAt_;
  std::chrono::steady_clock::time_point receivedAt_;
  mutable std::recursive_mutex lock_;
};

}  // namespace tessivar
