// Serial ports over termios.
//
// "COM n" maps to a device path by one rule (ComPortPath). A port is opened
// exclusively, in raw mode, non-blocking underneath; reads and writes take a
// time-out so no call blocks without a bound. Failures are returned as
// negated errno values.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>

namespace qmx::serial {

// Environment variable naming a folder of "COM<n>" links (tests point it at
// socat pty pairs). Without it, COM n is /dev/ttyS<n-1>.
inline constexpr const char* kComDirVariable = "QMX_COM_DIR";

std::filesystem::path ComPortPath(int portNumber);

// Parity codes as the driver keeps them.
enum Parity : int { kNoParity = 0, kOddParity = 1, kEvenParity = 2, kMarkParity = 3, kSpaceParity = 4 };

struct LineSettings {
  int baudRate = 9600;
  int dataBits = 8;    // 5..8
  int parity = kNoParity;
  int stopBits = 1;    // 1 or 2
};

// Byte that stands in for a byte received with a parity error.
inline constexpr uint8_t kParityErrorByte = 0x1F;

class SerialDevice {
public:
  SerialDevice() = default;
  ~SerialDevice();
  SerialDevice(const SerialDevice&) = delete;
  SerialDevice& operator=(const SerialDevice&) = delete;

  // Opens an existing device for reading and writing, exclusively (a second
  // open of the same device fails with -EBUSY). Returns 0 or -errno.
  int Open(const std::filesystem::path& path);
  void Close();
  bool IsOpen() const { return fd_ >= 0; }

  // Raw mode with the given line settings; hardware flow control stays as
  // the port has it. Returns 0, -EINVAL for settings outside the ranges
  // above, or -errno when the port refuses them. (A pseudo terminal takes the
  // call but always keeps 8 data bits without parity.)
  int Apply(const LineSettings& settings);
  // The settings in force (baud rate as the port reports it).
  int Query(LineSettings* settings) const;

  // Discards what is queued in both directions.
  int Purge();

  // One byte within timeoutMs: 1 read, 0 time-out, or -errno. With parity on,
  // a byte received with a parity error reads as kParityErrorByte.
  int ReadByte(uint8_t* out, int timeoutMs);
  // Up to `size` bytes, as many as have arrived, waiting at most timeoutMs
  // for the first: the count read (at least 1), 0 on time-out, or -errno.
  // Parity-error bytes read as with ReadByte.
  int Read(uint8_t* out, size_t size, int timeoutMs);
  // Discards what has arrived without waiting (also what the driver's purge
  // may miss because it was still on its way): the count dropped, or -errno.
  int DrainInput();
  // Writes the bytes within timeoutMs and waits (inside the same bound) until
  // they have left the output queue. Returns the count written (0 when none
  // could be written in time) or -errno when the write failed.
  int Write(const uint8_t* data, size_t length, int timeoutMs);

  // True for errors that mean the device has gone away (unplugged, pty peer
  // closed).
  static bool IsDeviceGone(int negErrno);

private:
  // Up to `size` bytes as they come from the line, waiting at most timeoutMs
  // for the first: the count, 0 on time-out, or -errno (-EIO when the other
  // side is gone).
  int RawRead(uint8_t* out, size_t size, int timeoutMs);

  int fd_ = -1;
  bool parityMarks_ = false;
};

}  // namespace qmx::serial
