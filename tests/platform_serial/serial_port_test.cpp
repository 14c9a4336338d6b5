// The driver's COM port over a socat pty pair: "COM7" is one end (found
// through QMX_COM_DIR), the test holds the other.
#include "driver/modbus/driver_serial_port.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "platform/serial/serial_device.h"
#include "tests/support/test_support.h"
#include "tools/simulator/testing/simulator_process.h"

namespace tessivar {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

// The pair, with the test's end held open.
class SocatPair {
public:
  explicit SocatPair(const fs::path& dir) : pair_(dir) {}
  ~SocatPair() {
    ClosePeer();
    Stop();
  }

  bool Start() { return pair_.Start() && OpenPeer(); }
  void Stop() { pair_.Stop(); }

  void ClosePeer() {
    if (peerFd_ >= 0) ::close(peerFd_);
    peerFd_ = -1;
  }

  void PeerWrite(const std::vector<uint8_t>& bytes) {
    ASSERT_EQ(::write(peerFd_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }

  std::vector<uint8_t> PeerRead(size_t n, int timeoutMs = 2000) {
    std::vector<uint8_t> out;
    const auto until = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (out.size() < n && Clock::now() < until) {
      pollfd p{peerFd_, POLLIN, 0};
      if (::poll(&p, 1, 20) != 1) continue;
      uint8_t chunk[256];
      const ssize_t r = ::read(peerFd_, chunk, sizeof chunk);
      if (r > 0) out.insert(out.end(), chunk, chunk + r);
    }
    return out;
  }

private:
  bool OpenPeer() {
    peerFd_ = ::open(pair_.peer().c_str(), O_RDWR | O_NOCTTY);
    if (peerFd_ < 0) return false;
    termios t{};
    ::tcgetattr(peerFd_, &t);
    ::cfmakeraw(&t);
    return ::tcsetattr(peerFd_, TCSANOW, &t) == 0;
  }

  qmx::sim::PtyPair pair_;
  int peerFd_ = -1;
};

class SerialPort : public ::testing::Test {
protected:
  void SetUp() override {
    ::setenv(qmx::serial::kComDirVariable, dir_.path().c_str(), 1);
    socat_ = std::make_unique<SocatPair>(dir_.path());
    if (!socat_->Start()) GTEST_SKIP() << "socat could not make a pty pair";
  }
  void TearDown() override {
    socat_.reset();
    ::unsetenv(qmx::serial::kComDirVariable);
  }

  qmx::test::TempDir dir_{"qmx-serial"};
  std::unique_ptr<SocatPair> socat_;
};

TEST(ComPortPath, DefaultRuleAndTheFolderOfLinks) {
  ::unsetenv(qmx::serial::kComDirVariable);
  EXPECT_EQ(qmx::serial::ComPortPath(1), fs::path("/dev/ttyS0"));
  EXPECT_EQ(qmx::serial::ComPortPath(12), fs::path("/dev/ttyS11"));
  EXPECT_TRUE(qmx::serial::ComPortPath(0).empty());
  ::setenv(qmx::serial::kComDirVariable, "/tmp/ports", 1);
  EXPECT_EQ(qmx::serial::ComPortPath(7), fs::path("/tmp/ports/COM7"));
  ::setenv(qmx::serial::kComDirVariable, "", 1);
  EXPECT_EQ(qmx::serial::ComPortPath(2), fs::path("/dev/ttyS1"));
  ::unsetenv(qmx::serial::kComDirVariable);
}

TEST_F(SerialPort, SettingsAreApplied) {
  // A pseudo terminal keeps the rate and the stop bits it is given but
  // always runs 8 data bits without parity, so those two are checked only
  // for being accepted (and parity by its effect on reads, below).
  struct Case {
    int baud, data, parity, stop;
    int expectedBaud, expectedStop;
  };
  const Case cases[] = {
      {19200, 8, 2, 0, 19200, 1},
      {1000, 7, 1, 2, 9600, 2},     // an unknown rate opens as 9600
      {56000, 8, 0, 1, 56000, 1},   // stop code 1 is one stop bit
      {128000, 8, 3, 2, 128000, 2},
      {256000, 5, 4, 0, 256000, 1},
      {14400, 6, 7, 2, 14400, 2},   // parity code out of range: none
      {110, 8, 0, 0, 110, 1},
  };
  for (const auto& c : cases) {
    DriverSerialPort port;
    ASSERT_EQ(port.Open(7, c.baud, c.data, c.parity, c.stop, 200, 200), 1) << c.baud;
    qmx::serial::LineSettings s;
    ASSERT_TRUE(port.CurrentLineSettings(&s));
    EXPECT_EQ(s.baudRate, c.expectedBaud) << c.baud;
    EXPECT_EQ(s.stopBits, c.expectedStop) << c.baud;
    EXPECT_EQ(port.PortNumber(), 7);
  }
  DriverSerialPort port;
  port.Open(7, 19200, 8, 2, 0, 200, 200);
  EXPECT_EQ(port.SettingsText(), "19200,8,EVENPARITY,0");
  DriverSerialPort odd;
  EXPECT_EQ(odd.Open(7, 9600, 9, 0, 0, 200, 200), 0) << "nine data bits are refused";
  EXPECT_EQ(odd.IsOpen(), 0);
  EXPECT_EQ(odd.Open(7, 9600, 4, 0, 0, 200, 200), 0);
  EXPECT_EQ(odd.SettingsText(), "9600,4,NOPARITY,0");
}

TEST_F(SerialPort, APortThatDoesNotExistOrIsInUseDoesNotOpen) {
  DriverSerialPort missing;
  EXPECT_EQ(missing.Open(3, 9600, 8, 0, 0, 200, 200), 0);
  EXPECT_EQ(missing.IsOpen(), 0);
  EXPECT_EQ(missing.Write("x", 1), kSerNotOpen);
  uint8_t b[4];
  EXPECT_EQ(missing.Read(b, 4, 4), kSerNotOpen);

  DriverSerialPort first;
  ASSERT_EQ(first.Open(7, 9600, 8, 0, 0, 200, 200), 1);
  DriverSerialPort second;
  EXPECT_EQ(second.Open(7, 9600, 8, 0, 0, 200, 200), 0) << "ports are not shared";
  first.Close();
  EXPECT_EQ(second.Open(7, 9600, 8, 0, 0, 200, 200), 1);
}

TEST_F(SerialPort, BytesCrossInBothDirections) {
  DriverSerialPort port;
  ASSERT_EQ(port.Open(7, 19200, 8, 0, 0, 500, 500), 1);
  const uint8_t request[8] = {0x01, 0x03, 0x00, 0x00, 0x00, 0x02, 0xC4, 0x0B};
  EXPECT_EQ(port.Write(request, 8), 8);
  EXPECT_EQ(socat_->PeerRead(8), std::vector<uint8_t>(request, request + 8));

  const std::vector<uint8_t> reply = {0x01, 0x03, 0x04, 0x00, 0x0A, 0x00, 0x0B, 0xFF, 0x00};
  socat_->PeerWrite(reply);
  uint8_t buffer[16] = {};
  EXPECT_EQ(port.Read(buffer, sizeof buffer, 9), 9);
  EXPECT_EQ(std::vector<uint8_t>(buffer, buffer + 9), reply);

  // Every byte value passes, 0xFF and line-ending bytes included.
  std::vector<uint8_t> all(256);
  for (int i = 0; i < 256; ++i) all[i] = static_cast<uint8_t>(i);
  socat_->PeerWrite(all);
  std::vector<uint8_t> got(256);
  EXPECT_EQ(port.Read(got.data(), 256, 256), 256);
  EXPECT_EQ(got, all);
  EXPECT_EQ(port.Write(all.data(), 256), 256);
  EXPECT_EQ(socat_->PeerRead(256), all);
}

TEST_F(SerialPort, AReadTakesNoMoreThanItWantsAndDiscardDropsWhatWaits) {
  DriverSerialPort port;
  ASSERT_EQ(port.Open(7, 19200, 8, 0, 0, 200, 200), 1);
  socat_->PeerWrite({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12});
  uint8_t buffer[16] = {};
  ASSERT_EQ(port.Read(buffer, sizeof buffer, 9), 9);
  ASSERT_EQ(port.Read(buffer, sizeof buffer, 3), 3) << "the bytes behind a reply stay for the next read";
  EXPECT_EQ(std::vector<uint8_t>(buffer, buffer + 3), (std::vector<uint8_t>{10, 11, 12}));

  socat_->PeerWrite({0xAA, 0xBB});
  std::this_thread::sleep_for(50ms);
  EXPECT_GE(port.DiscardInput(0), 0);
  EXPECT_EQ(port.Read(buffer, sizeof buffer, 1), kSerReadTimeout);

  // What comes while the discard waits goes too.
  auto late = std::async(std::launch::async, [this] {
    std::this_thread::sleep_for(80ms);
    socat_->PeerWrite({0xCC, 0xDD});
  });
  EXPECT_GE(port.DiscardInput(250), 0);
  late.get();
  EXPECT_EQ(port.Read(buffer, sizeof buffer, 1), kSerReadTimeout);
}

TEST_F(SerialPort, WithParityOnLiteralFFBytesStayWhole) {
  DriverSerialPort port;
  ASSERT_EQ(port.Open(7, 9600, 8, 2, 0, 300, 300), 1);
  const std::vector<uint8_t> bytes = {0xFF, 0x01, 0xFF, 0xFF, 0x00, 0x7E};
  socat_->PeerWrite(bytes);
  uint8_t buffer[8] = {};
  ASSERT_EQ(port.Read(buffer, sizeof buffer, 6), 6);
  EXPECT_EQ(std::vector<uint8_t>(buffer, buffer + 6), bytes);
}

TEST_F(SerialPort, AShortReplyEndsWithTheReadTimeoutAndKeepsItsBytes) {
  DriverSerialPort port;
  ASSERT_EQ(port.Open(7, 9600, 8, 0, 0, 300, 300), 1);
  socat_->PeerWrite({0x11, 0x22, 0x33});
  uint8_t buffer[16] = {};
  uint16_t counter = 0;
  const auto start = Clock::now();
  EXPECT_EQ(port.ReadCounting(buffer, sizeof buffer, 7, &counter), kSerReadTimeout);
  const auto took = Clock::now() - start;
  EXPECT_GE(took, 290ms);
  EXPECT_LT(took, 1500ms) << "one time-out after the last byte, not one per missing byte";
  EXPECT_EQ(counter, 3);
  EXPECT_EQ(buffer[0], 0x11);
  EXPECT_EQ(buffer[2], 0x33);
  EXPECT_EQ(port.IsOpen(), 1) << "a time-out leaves the port open";

  EXPECT_EQ(port.Read(buffer, 4, 5), kSerBadParameter);
  std::string text;
  DriverSerialPort::ErrorText(kSerReadTimeout, text);
  EXPECT_EQ(text, "Serial Error. Code: -9119. Desc: Read timeout.");
  DriverSerialPort::ErrorText(kSerCannotOpen, text);
  EXPECT_EQ(text, "Cannot open port.");
}

TEST_F(SerialPort, APortThatDisappearsMidReadIsClosedAndReopenedLater) {
  DriverSerialPort port;
  uint32_t now = 0;
  port.SetTickSource([&] { return now; });
  ASSERT_EQ(port.Open(7, 9600, 8, 0, 0, 3000, 300), 1);
  EXPECT_EQ(port.ReconnectDue(), 3);
  auto reading = std::async(std::launch::async, [&] {
    uint8_t buffer[8];
    return port.Read(buffer, sizeof buffer, 5);
  });
  std::this_thread::sleep_for(200ms);
  const auto gone = Clock::now();
  socat_->ClosePeer();
  socat_->Stop();
  ASSERT_EQ(reading.wait_for(2500ms), std::future_status::ready) << "the read must not sit out its time-out";
  EXPECT_EQ(reading.get(), kSerReadFailed);
  EXPECT_LT(Clock::now() - gone, 2500ms);
  EXPECT_EQ(port.IsOpen(), 0);
  EXPECT_EQ(port.Write("x", 1), kSerNotOpen);
  uint8_t b[2];
  EXPECT_EQ(port.Read(b, 2, 2), kSerNotOpen);

  // The gate: the first attempt comes after five seconds of tests.
  EXPECT_EQ(port.ReconnectDue(), 2);
  for (int i = 0; i < 5; ++i) {
    now += 1000;
    EXPECT_EQ(port.ReconnectDue(), 2) << i;
  }
  now += 1;
  EXPECT_EQ(port.ReconnectDue(), 1);
  EXPECT_EQ(port.Reopen(), kSerReconnectFailed);

  // The device comes back: the reopen uses the stored settings.
  ASSERT_TRUE(socat_->Start());
  EXPECT_EQ(port.Reopen(), 1);
  qmx::serial::LineSettings s;
  ASSERT_TRUE(port.CurrentLineSettings(&s));
  EXPECT_EQ(s.baudRate, 9600);
  EXPECT_EQ(port.Write("ok", 2), 2);
  EXPECT_EQ(socat_->PeerRead(2), (std::vector<uint8_t>{'o', 'k'}));
  EXPECT_EQ(port.Reopen(), 3);
}

TEST_F(SerialPort, AWriteToAVanishedPortFailsAndCloses) {
  DriverSerialPort port;
  ASSERT_EQ(port.Open(7, 9600, 8, 0, 0, 300, 300), 1);
  socat_->ClosePeer();
  socat_->Stop();
  std::this_thread::sleep_for(50ms);
  const int r = port.Write("abc", 3);
  EXPECT_EQ(r, kSerWriteFailed);
  EXPECT_EQ(port.IsOpen(), 0);
  EXPECT_EQ(port.Write("abc", 3), kSerNotOpen);
}

}  // namespace
}  // namespace tessivar
