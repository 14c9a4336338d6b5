#include "platform/serial/serial_device.h"

// termios2 (any baud rate through BOTHER) comes from the kernel headers; the
// C library's <termios.h> must not be included in this file.
#include <asm/termbits.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

namespace qmx::serial {
namespace {

using Clock = std::chrono::steady_clock;

struct BaudPair {
  unsigned code;
  int rate;
};

constexpr BaudPair kBaudTable[] = {
    {B50, 50},         {B75, 75},         {B110, 110},       {B134, 134},       {B150, 150},
    {B200, 200},       {B300, 300},       {B600, 600},       {B1200, 1200},     {B1800, 1800},
    {B2400, 2400},     {B4800, 4800},     {B9600, 9600},     {B19200, 19200},   {B38400, 38400},
    {B57600, 57600},   {B115200, 115200}, {B230400, 230400}, {B460800, 460800}, {B500000, 500000},
    {B576000, 576000}, {B921600, 921600},
};

int LeftMs(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

Clock::time_point DeadlineIn(int timeoutMs) {
  return Clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
}

}  // namespace

std::filesystem::path ComPortPath(int portNumber) {
  if (portNumber < 1) return {};
  const char* dir = std::getenv(kComDirVariable);
  if (dir && *dir) return std::filesystem::path(dir) / ("COM" + std::to_string(portNumber));
  return std::filesystem::path("/dev") / ("ttyS" + std::to_string(portNumber - 1));
}

SerialDevice::~SerialDevice() { Close(); }

int SerialDevice::Open(const std::filesystem::path& path) {
  Close();
  if (path.empty()) return -ENOENT;
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return -errno;
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int err = errno;
    ::close(fd);
    return err == EWOULDBLOCK ? -EBUSY : -err;
  }
  ::ioctl(fd, TIOCEXCL);  // keeps others out; not every device supports it
  fd_ = fd;
  parityMarks_ = false;
  return 0;
}

void SerialDevice::Close() {
  if (fd_ < 0) return;
  ::ioctl(fd_, TIOCNXCL);
  ::close(fd_);
  fd_ = -1;
}

int SerialDevice::Apply(const LineSettings& s) {
  if (fd_ < 0) return -EBADF;
  unsigned size;
  switch (s.dataBits) {
    case 5: size = CS5; break;
    case 6: size = CS6; break;
    case 7: size = CS7; break;
    case 8: size = CS8; break;
    default: return -EINVAL;
  }
  if (s.baudRate <= 0 || s.parity < kNoParity || s.parity > kSpaceParity) return -EINVAL;

  termios2 t{};
  if (::ioctl(fd_, TCGETS2, &t) != 0) return -errno;

  // Raw bytes both ways: no line editing, echo, signals or translations, and
  // no software flow control (it would swallow bytes of binary frames).
  // Hardware flow control stays as the port has it.
  t.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON |
                                      IXOFF | IXANY | IGNPAR | INPCK | IUCLC | IMAXBEL);
  t.c_oflag &= ~static_cast<tcflag_t>(OPOST);
  t.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
  t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CBAUD | (CBAUD << IBSHIFT));
  t.c_cflag |= CLOCAL | CREAD | size;
  switch (s.parity) {
    case kOddParity: t.c_cflag |= PARENB | PARODD; break;
    case kEvenParity: t.c_cflag |= PARENB; break;
    case kMarkParity: t.c_cflag |= PARENB | PARODD | CMSPAR; break;
    case kSpaceParity: t.c_cflag |= PARENB | CMSPAR; break;
    default: break;
  }
  const bool parity = s.parity != kNoParity;
  if (parity) t.c_iflag |= INPCK | PARMRK;  // errors are marked, then replaced on read
  if (s.stopBits == 2) t.c_cflag |= CSTOPB;
  t.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
  t.c_ispeed = static_cast<speed_t>(s.baudRate);
  t.c_ospeed = static_cast<speed_t>(s.baudRate);
  t.c_cc[VMIN] = 1;
  t.c_cc[VTIME] = 0;
  if (::ioctl(fd_, TCSETS2, &t) != 0) return -errno;

  parityMarks_ = parity;
  return 0;
}

int SerialDevice::Query(LineSettings* s) const {
  if (fd_ < 0) return -EBADF;
  termios2 t{};
  if (::ioctl(fd_, TCGETS2, &t) != 0) return -errno;
  const unsigned code = t.c_cflag & CBAUD;
  s->baudRate = static_cast<int>(t.c_ospeed);
  if (code != BOTHER) {
    for (const auto& p : kBaudTable) {
      if (p.code == code) s->baudRate = p.rate;
    }
  }
  switch (t.c_cflag & CSIZE) {
    case CS5: s->dataBits = 5; break;
    case CS6: s->dataBits = 6; break;
    case CS7: s->dataBits = 7; break;
    default: s->dataBits = 8; break;
  }
  if (!(t.c_cflag & PARENB)) {
    s->parity = kNoParity;
  } else if (t.c_cflag & CMSPAR) {
    s->parity = (t.c_cflag & PARODD) ? kMarkParity : kSpaceParity;
  } else {
    s->parity = (t.c_cflag & PARODD) ? kOddParity : kEvenParity;
  }
  s->stopBits = (t.c_cflag & CSTOPB) ? 2 : 1;
  return 0;
}

int SerialDevice::Purge() {
  if (fd_ < 0) return -EBADF;
  if (::ioctl(fd_, TCFLSH, TCIOFLUSH) != 0) return -errno;
  return 0;
}

int SerialDevice::RawRead(uint8_t* out, size_t size, int timeoutMs) {
  const auto deadline = DeadlineIn(timeoutMs);
  for (;;) {
    ssize_t n = ::read(fd_, out, size);
    if (n > 0) return static_cast<int>(n);
    if (n == 0) return -EIO;  // end of file on a terminal: the other side is gone
    if (errno == EINTR) continue;
    if (errno != EAGAIN) return -errno;
    pollfd p{fd_, POLLIN, 0};
    const int r = ::poll(&p, 1, LeftMs(deadline));
    if (r < 0) {
      if (errno == EINTR) continue;
      return -errno;
    }
    if (r == 0) return 0;
    if (p.revents & POLLNVAL) return -EBADF;
    // POLLIN, POLLERR or POLLHUP: the next read tells which.
    n = ::read(fd_, out, size);
    if (n > 0) return static_cast<int>(n);
    if (n == 0) return -EIO;
    if (errno == EINTR || errno == EAGAIN) {
      if (p.revents & (POLLHUP | POLLERR)) return -EIO;
      if (LeftMs(deadline) == 0) return 0;
      continue;
    }
    return -errno;
  }
}

int SerialDevice::ReadByte(uint8_t* out, int timeoutMs) {
  if (fd_ < 0) return -EBADF;
  const auto deadline = DeadlineIn(timeoutMs);
  uint8_t b = 0;
  int r = RawRead(&b, 1, timeoutMs);
  if (r <= 0) return r;
  if (!parityMarks_ || b != 0xFF) {
    *out = b;
    return 1;
  }
  // With marking on, 0xFF 0xFF is a literal 0xFF and 0xFF 0x00 x a byte x
  // received with a parity or framing error.
  uint8_t second = 0;
  r = RawRead(&second, 1, LeftMs(deadline));
  if (r < 0) return r;
  if (r == 0 || second == 0xFF) {
    *out = 0xFF;
    return 1;
  }
  if (second == 0x00) {
    uint8_t bad = 0;
    r = RawRead(&bad, 1, LeftMs(deadline));
    if (r < 0) return r;
    *out = kParityErrorByte;
    return 1;
  }
  *out = second;
  return 1;
}

int SerialDevice::Read(uint8_t* out, size_t size, int timeoutMs) {
  if (fd_ < 0) return -EBADF;
  if (size == 0) return 0;
  // With parity marking on, a byte may arrive as a 2- or 3-byte escape:
  // decode byte by byte; the first byte waits, the rest are taken as they
  // have come.
  if (parityMarks_) {
    int r = ReadByte(out, timeoutMs);
    if (r <= 0) return r;
    size_t got = 1;
    while (got < size) {
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, 0) <= 0 || !(p.revents & POLLIN)) break;
      r = ReadByte(out + got, 0);
      if (r <= 0) break;
      ++got;
    }
    return static_cast<int>(got);
  }
  return RawRead(out, size, timeoutMs);
}

int SerialDevice::DrainInput() {
  if (fd_ < 0) return -EBADF;
  int dropped = 0;
  uint8_t scratch[256];
  for (;;) {
    const ssize_t n = ::read(fd_, scratch, sizeof scratch);
    if (n > 0) {
      dropped += static_cast<int>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EAGAIN) return dropped;
    return n == 0 ? -EIO : -errno;
  }
}

int SerialDevice::Write(const uint8_t* data, size_t length, int timeoutMs) {
  if (fd_ < 0) return -EBADF;
  const auto deadline = DeadlineIn(timeoutMs);
  size_t done = 0;
  while (done < length) {
    const ssize_t n = ::write(fd_, data + done, length - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN) return -errno;
    pollfd p{fd_, POLLOUT, 0};
    const int left = LeftMs(deadline);
    if (left == 0) break;
    const int r = ::poll(&p, 1, left);
    if (r < 0 && errno != EINTR) return -errno;
    if (r > 0 && (p.revents & POLLNVAL)) return -EBADF;
    if (r > 0 && (p.revents & (POLLHUP | POLLERR)) && !(p.revents & POLLOUT)) return -EIO;
  }
  // The frame counts as written once it has left the output queue; wait for
  // that within the same bound.
  while (done > 0) {
    int queued = 0;
    if (::ioctl(fd_, TIOCOUTQ, &queued) != 0 || queued <= 0 || LeftMs(deadline) == 0) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return static_cast<int>(done);
}

bool SerialDevice::IsDeviceGone(int negErrno) {
  const int err = -negErrno;
  return err == EIO || err == ENXIO || err == ENODEV || err == EBADF;
}

}  // namespace qmx::serial
