// The RTU master's reply read path (ModbusSerial::ReadReply and the checks
// of its transaction) on arbitrary bytes: the first byte picks the request
// (a register read, a diagnostics echo, a single and a multiple write, the
// generic read and writes), the second how many data bytes it asks for, the
// third how many bytes come in at a time, the fourth how many of them come
// before the reply could have (early frames); the rest is what the line
// brings, read from memory. Each input meets a master of its own. Every
// result is 1 or a code of the read and the checks, the request goes out
// once (never again, whatever came back), nothing is written past the data
// asked for, and a read that succeeds hands over the data of a sound frame
// that answers it: past the early bytes, or an early one behind which
// nothing came.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

#include "driver/driver_utils.h"
#include "driver/modbus/modbus_serial.h"

using namespace tessivar;

namespace {

constexpr uint8_t kGuard = 0xA5;
constexpr size_t kHeader = 4;

bool IsResult(int r) {
  return r == 1 || r == kSerReadTimeout || r == kSerReadFailed || r == -8007 || r == -8009 || r == -8013 ||
         r == -8014 || (r <= -8000 && r >= -8255);
}

// A port object (closed: no device behind COM 1) whose line is in memory.
void OpenOnMemory(ModbusSerial& master, DriverSerialPort::MemoryLine& line) {
  static const bool environment = [] {
    ::setenv("QMX_COM_DIR", "/qmx-fuzz-memory", 1);
    return true;
  }();
  (void)environment;
  SerialCommSetting settings;
  settings.comPort = 1;
  settings.timeoutMs = 1;
  settings.requestDelayMs = 0;
  settings.writeDelayMs = 0;
  master.OpenConnection(settings, 0, 0);
  master.Port()->UseMemoryLine(&line);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < kHeader) return 0;
  const int operation = data[0] % 6;
  const int n = data[1] % 252;
  const std::string_view received(reinterpret_cast<const char*>(data + kHeader), size - kHeader);
  DriverSerialPort::MemoryLine line{received, static_cast<size_t>(data[2] % 9), data[3]};
  ModbusSerial master;
  OpenOnMemory(master, line);

  std::vector<uint8_t> dst(static_cast<size_t>(n) + 16, kGuard);
  const uint8_t read[] = {0x01, 0x03, 0x10, 0x00, 0x00, static_cast<uint8_t>((n + 1) / 2)};
  const uint8_t echo[] = {0x01, 0x08, 0x00, 0x00};
  const uint8_t single[] = {0x01, 0x06, 0x08, 0x00};
  const uint8_t multiple[] = {0x01, 0x10, 0x08, 0x00, 0x00, static_cast<uint8_t>((n + 1) / 2)};
  const std::vector<uint8_t> payload(256, 0x5A);
  int r = 0;
  int asked = n;  // the data bytes the request may write into dst
  switch (operation) {
    case 0:
      r = master.TxGetRxData(read, sizeof read, dst.data(), n, 0);
      break;
    case 1:
      r = master.TxGetRxDataEcho(echo, sizeof echo, dst.data(), n, 0);
      break;
    case 2:
      asked = 0;
      r = master.TxCheckResult(multiple, sizeof multiple, payload.data(), n);
      break;
    case 3:
      r = master.TxRequest(read, sizeof read, kRequestRead, dst.data(), n, nullptr, 0);
      break;
    case 4:
      asked = n % 3;
      r = master.TxRequest(single, sizeof single, kRequestSingleWrite, dst.data(), asked, payload.data(), 2);
      break;
    default:
      asked = n % 5;
      r = master.TxRequest(multiple, sizeof multiple, kRequestMultipleWrite, dst.data(), asked, payload.data(), n);
      break;
  }
  master.Port()->UseMemoryLine(nullptr);
  if (!IsResult(r) && r != kSerBadParameter) std::abort();
  if (line.writes != (r == kSerBadParameter ? 0 : 1)) std::abort();
  for (size_t i = static_cast<size_t>(asked); i < dst.size(); ++i) {
    if (dst[i] != kGuard) std::abort();
  }
  // An early frame is taken only when nothing came behind it.
  if (r == 1 && line.at <= line.early && line.at != received.size()) std::abort();
  // A read that succeeds copies the data (after unit, function and byte
  // count) of a whole, sound frame that answers the request; with no early
  // bytes that frame is the first.
  if (r == 1 && operation == 0 && n > 0) {
    const size_t frame = 5 + static_cast<size_t>(n);
    if (line.at < frame || (line.early == 0 && line.at != frame)) std::abort();
    bool found = false;
    for (size_t k = 0; !found && k + frame <= line.at; ++k) {
      const uint8_t* f = reinterpret_cast<const uint8_t*>(received.data()) + k;
      const uint16_t crc = Crc16(f, static_cast<unsigned>(frame - 2));
      found = f[0] == 1 && f[1] == 3 && f[2] == n && f[frame - 2] == (crc & 0xFF) && f[frame - 1] == (crc >> 8) &&
              std::memcmp(dst.data(), f + 3, static_cast<size_t>(n)) == 0;
    }
    if (!found) std::abort();
  }
  return 0;
}
