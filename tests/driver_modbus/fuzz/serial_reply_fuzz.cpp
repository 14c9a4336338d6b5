// The RTU master's reply read path (ModbusSerial::ReadReply and the checks
// of its transaction) on arbitrary bytes: the first byte picks the request
// (a register read, a diagnostics echo, a single and a multiple write, the
// generic read and writes), the second how many data bytes it asks for, the
// third how many bytes come in at a time; the rest is what the line brings,
// read from memory. Every result is 1 or a code of the read and the checks,
// nothing is written past the data asked for, and a read that succeeds
// hands over the reply's data bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

#include "driver/modbus/modbus_serial.h"

using namespace tessivar;

namespace {

constexpr uint8_t kGuard = 0xA5;

bool IsResult(int r) {
  return r == 1 || r == kSerReadTimeout || r == kSerReadFailed || r == -8007 || r == -8009 || r == -8013 ||
         r == -8014 || (r <= -8000 && r >= -8255);
}

// A master whose port is a line of bytes in memory.
ModbusSerial& Master(DriverSerialPort::MemoryLine& line) {
  static ModbusSerial* master = [] {
    auto* m = new ModbusSerial();
    SerialCommSetting settings;
    settings.comPort = 1;
    settings.timeoutMs = 1;
    // No device behind COM 1: the port object stays, closed.
    ::setenv("QMX_COM_DIR", "/qmx-fuzz-memory", 1);
    m->OpenConnection(settings, 0, 0);
    m->SetTurnaroundDelays(0, 0);
    return m;
  }();
  master->Port()->UseMemoryLine(&line);
  return *master;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  const int operation = data[0] % 6;
  const int n = data[1] % 252;
  DriverSerialPort::MemoryLine line{std::string_view(reinterpret_cast<const char*>(data + 3), size - 3),
                                    static_cast<size_t>(data[2] % 9)};
  ModbusSerial& master = Master(line);

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
  for (size_t i = static_cast<size_t>(asked); i < dst.size(); ++i) {
    if (dst[i] != kGuard) std::abort();
  }
  // A read that succeeds copies the reply's data (after unit, function and
  // byte count).
  if (r == 1 && operation == 0 && n > 0 && (line.at < 3 + static_cast<size_t>(n) ||
                                            std::memcmp(dst.data(), data + 3 + 3, static_cast<size_t>(n)) != 0))
    std::abort();
  return 0;
}
