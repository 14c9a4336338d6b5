#include "driver/modbus/driver_serial_port.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>

#include "common/Utility.h"
#include "driver/driver_utils.h"
#include "driver/modbus/code_text.h"

namespace tessivar {
namespace {

constexpr int kBaudRates[] = {110,   300,   600,   1200,  2400,   4800,   9600,  14400,
                              19200, 38400, 56000, 57600, 115200, 128000, 256000};

// A write never gets less than this bound when the caller's time-out is 0.
constexpr int kDefaultWriteBoundMs = 1000;
// With an abort check set, no single read wait is longer than this.
constexpr int kAbortSliceMs = 20;

// A memory line's character, and how long after the request its bytes past
// the early ones come.
constexpr std::chrono::microseconds kMemoryCharacter{1};
constexpr std::chrono::hours kMemoryLateBy{1};

int ReadWaitMs(unsigned timeoutMs) { return static_cast<int>(std::min<unsigned>(timeoutMs, INT_MAX / 2)); }

constexpr CodeText kDescriptions[] = {
    {kSerNoReconnectNeeded, "Warning. Reconnection does not need"},
    {kSerBadParameter, "Function parameter is invalid."},
    {kSerNoEvent, "Cannot create OVERLAPPED structure's hEvent."},
    {kSerWriteNotPending, "IO Write is failed without pending."},
    {kSerWriteTimeout, "Write timeout."},
    {kSerEventError, "Error in IO Event handle."},
    {kSerReadNotPending, "IO Read is failed without pending."},
    {kSerReadError, "Read error from port."},
    {kSerWriteFailed, "Error in WriteFile function."},
    {kSerReadFailed, "Error in ReadFile function."},
    {kSerReconnectFailed, "Reconection failed, but will retry..."},
    {kSerBufferTooSmall, "Assigned Buffer is not enough than readed."},
    {kSerNotOpen, "Port is not opened."},
    {kSerReadTimeout, "Read timeout."},
};

}  // namespace

DriverSerialPort::DriverSerialPort() = default;

DriverSerialPort::~DriverSerialPort() { Close(); }

int DriverSerialPort::Open(int portNumber, int baudRate, int dataBits, int parityCode, int stopCode,
                           unsigned readTimeoutMs, int writeTimeoutMs) {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  portNumber_ = portNumber;
  baudRate_ = baudRate;
  dataBits_ = static_cast<uint8_t>(dataBits);
  parity_ = static_cast<uint8_t>(parityCode);
  stopCode_ = static_cast<uint8_t>(stopCode);
  readTimeoutMs_ = readTimeoutMs;
  writeTimeoutMs_ = writeTimeoutMs;
  return OpenStored();
}

int DriverSerialPort::OpenStored() {
  CloseLocked();
  if (device_.Open(qmx::serial::ComPortPath(portNumber_)) != 0) return 0;
  device_.Purge();

  qmx::serial::LineSettings settings;
  const bool known = std::find(std::begin(kBaudRates), std::end(kBaudRates), baudRate_) != std::end(kBaudRates);
  settings.baudRate = known ? baudRate_ : 9600;
  settings.dataBits = dataBits_;
  settings.parity = parity_ >= 1 && parity_ <= 4 ? static_cast<int>(parity_) : static_cast<int>(qmx::serial::kNoParity);
  settings.stopBits = stopCode_ == 2 ? 2 : 1;
  if (device_.Apply(settings) != 0) {
    device_.Close();
    return 0;
  }
  TakeCharacterTime();
  return 1;
}

void DriverSerialPort::TakeCharacterTime() {
  qmx::serial::LineSettings s;
  if (device_.Query(&s) != 0 || s.baudRate <= 0) {
    s.baudRate = baudRate_ > 0 ? baudRate_ : 9600;
    s.dataBits = dataBits_;
    s.parity = parity_ >= 1 && parity_ <= 4 ? static_cast<int>(parity_) : static_cast<int>(qmx::serial::kNoParity);
    s.stopBits = stopCode_ == 2 ? 2 : 1;
  }
  const int bits = 1 + s.dataBits + (s.parity != qmx::serial::kNoParity ? 1 : 0) + s.stopBits;
  characterTime_ = std::chrono::nanoseconds(1'000'000'000LL * bits / s.baudRate);
}

std::chrono::nanoseconds DriverSerialPort::CharacterTime() const {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  return memory_ ? std::chrono::nanoseconds(kMemoryCharacter) : characterTime_;
}

std::chrono::steady_clock::time_point DriverSerialPort::SentAt() const {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  return sentAt_;
}

std::chrono::steady_clock::time_point DriverSerialPort::ReceivedAt() const {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  return receivedAt_;
}

int DriverSerialPort::Close() {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  CloseLocked();
  return 1;
}

void DriverSerialPort::CloseLocked() {
  if (!device_.IsOpen()) return;
  device_.Purge();
  device_.Close();
}

int DriverSerialPort::IsOpen() const {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  return memory_ || device_.IsOpen() ? 1 : 0;
}

void DriverSerialPort::UseMemoryLine(MemoryLine* line) {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  memory_ = line;
}

void DriverSerialPort::FailedWithError(int negErrno) {
  // A device that has gone away is closed; the owner reopens it through the
  // reconnection gate.
  if (qmx::serial::SerialDevice::IsDeviceGone(negErrno)) CloseLocked();
}

int DriverSerialPort::Write(const void* data, int length) {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  sentAt_ = std::chrono::steady_clock::now();
  if (memory_) {
    ++memory_->writes;
    return data && length >= 0 ? length : static_cast<int>(kSerBadParameter);
  }
  if (!device_.IsOpen()) return kSerNotOpen;
  if (!data || length < 0) return kSerBadParameter;
  device_.Purge();
  const int bound = writeTimeoutMs_ > 0 ? writeTimeoutMs_ : kDefaultWriteBoundMs;
  const int n = device_.Write(static_cast<const uint8_t*>(data), static_cast<size_t>(length), bound);
  if (n > 0) return n;
  if (n == 0) return kSerWriteTimeout;
  FailedWithError(n);
  return kSerWriteFailed;
}

int DriverSerialPort::ReadLocked(void* buffer, int size, int wanted, uint16_t* counter, int timeoutMs) {
  if (!memory_ && !device_.IsOpen()) return kSerNotOpen;
  if (size < wanted || (!buffer && wanted > 0)) return kSerBadParameter;
  auto* bytes = static_cast<uint8_t*>(buffer);
  int got = 0;
  while (got < wanted) {
    // Never more than wanted: what follows belongs to no reply of ours.
    const int wait = timeoutMs < 0 ? ReadWaitMs(readTimeoutMs_) : timeoutMs;
    const int r = ReadSome(bytes + got, static_cast<size_t>(wanted - got), wait);
    if (r == 0) return kSerReadTimeout;
    if (r < 0) {
      FailedWithError(r);
      return kSerReadFailed;
    }
    got += r;
    if (counter) *counter = static_cast<uint16_t>(*counter + r);
    if (!memory_) {
      receivedAt_ = std::chrono::steady_clock::now();
    } else {
      receivedAt_ = memory_->at <= memory_->early ? sentAt_ : sentAt_ + kMemoryLateBy;
    }
  }
  return wanted;
}

void DriverSerialPort::SetAbort(std::function<bool()> abort) {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  abort_ = std::move(abort);
}

int DriverSerialPort::ReadSome(uint8_t* out, size_t size, int timeoutMs) {
  if (memory_) {
    MemoryLine& line = *memory_;
    size_t n = std::min(size, line.received.size() - line.at);
    if (line.piece > 0) n = std::min(n, line.piece);
    std::copy_n(line.received.data() + line.at, n, out);
    line.at += n;
    return static_cast<int>(n);
  }
  if (!abort_) return device_.Read(out, size, timeoutMs);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
    const int r = device_.Read(out, size, static_cast<int>(std::clamp<long long>(left, 0, kAbortSliceMs)));
    if (r != 0 || left <= kAbortSliceMs || abort_()) return r;
  }
}

int DriverSerialPort::DiscardInput(int waitMs) {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  // What a memory line holds comes after the request: nothing waits before it.
  if (memory_) return 0;
  if (!device_.IsOpen()) return kSerNotOpen;
  device_.Purge();
  int dropped = 0;
  int r = device_.DrainInput();
  if (r > 0) dropped += r;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs > 0 ? waitMs : 0);
  uint8_t scratch[256];
  while (r >= 0 && waitMs > 0) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
    if (left <= 0 || Aborted()) break;
    r = ReadSome(scratch, sizeof scratch, static_cast<int>(left));
    if (r > 0) dropped += r;
  }
  if (r < 0) {
    FailedWithError(r);
    return kSerReadFailed;
  }
  return dropped;
}

int DriverSerialPort::Read(void* buffer, int size, int wanted) {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  return ReadLocked(buffer, size, wanted, nullptr, -1);
}

int DriverSerialPort::ReadCounting(void* buffer, int size, int wanted, uint16_t* counter, int timeoutMs) {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  return ReadLocked(buffer, size, wanted, counter, timeoutMs);
}

bool DriverSerialPort::Aborted() const {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  return abort_ && abort_();
}

int DriverSerialPort::ReconnectDue() {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  return gate_.Test(device_.IsOpen(), reconnectPeriodS_);
}

int DriverSerialPort::Reopen() {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  if (device_.IsOpen()) {
    gate_.Disarm();
    return kSerNoReconnectNeeded;
  }
  const int r = OpenStored();
  gate_.Disarm();
  return r == 1 ? 1 : kSerReconnectFailed;
}

std::string DriverSerialPort::SettingsText() const {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  return StrFormat("%d,%d,%s,%d", baudRate_, dataBits_, ParityNameFromCode(parity_), stopCode_);
}

bool DriverSerialPort::CurrentLineSettings(qmx::serial::LineSettings* settings) const {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  return device_.IsOpen() && device_.Query(settings) == 0;
}

const char* DriverSerialPort::Description(int code) { return DescribeCode(kDescriptions, code); }

void DriverSerialPort::ErrorText(int code, std::string& text) {
  if (code == kSerCannotOpen) {
    text = "Cannot open port.";
    return;
  }
  text = TransportCodeText("Serial Error.", code, Description(code));
}

}  // namespace tessivar
