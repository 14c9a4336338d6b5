// The masters against the device simulator: every function code over TCP
// (loopback) and RTU (socat pty pair), values checked through the
// simulator's control commands, and every injected fault with its code and
// the recovery on the next request.
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <thread>

#include "driver/modbus/modbus_serial.h"
#include "driver/modbus/modbus_tcp.h"
#include "platform/serial/serial_device.h"
#include "tests/driver_modbus/peers.h"
#include "tests/support/test_support.h"
#include "tools/simulator/testing/simulator_process.h"

namespace tessivar {
namespace {

using namespace std::chrono_literals;
using qmx::sim::SimulatorProcess;
using qmx::test::Bytes;
using qmx::test::ManualTicks;

using qmx::test::Word;

// DI8 in slot 1, DO8 in 2, AI4 in 3, AO2 in 4. Input image: DI8 (1 byte),
// AI4 (8 bytes) from register 0; output image: DO8 (1 byte), AO2 (4 bytes)
// from register 2048, coils from 4096. Register k holds image bytes 2k
// (low) and 2k + 1 (high).
const std::vector<std::string> kStation = {"--model", "QMX-4101", "--product", "0x8040", "--modules", "DI8,DO8,AI4,AO2",
                                           "--freeze"};

std::vector<std::string> With(std::vector<std::string> args) {
  std::vector<std::string> all = kStation;
  all.insert(all.end(), args.begin(), args.end());
  return all;
}

// The checks of every function code against one station at `unit`; `sim`
// sees the effects.
void EveryFunctionCode(Modbus& m, SimulatorProcess& sim, uint8_t unit, const std::string& node) {
  uint8_t dst[16] = {};
  // Special registers.
  ASSERT_EQ(m.ReadRegisters(unit, 4, 0x1002, 1, dst, 2), 1);
  EXPECT_EQ(Word(dst), 0x8040);
  ASSERT_EQ(m.ReadRegisters(unit, 4, 0x1110, 1, dst, 2), 1);
  EXPECT_EQ(Word(dst), 4);
  ASSERT_EQ(m.ReadRegisters(unit, 4, 0x1113, 5, dst, 10), 1);
  EXPECT_EQ(Bytes(dst, dst + 10), (Bytes{0x80, 0x40, 0x11, 0x08, 0x21, 0x08, 0x31, 0x04, 0x41, 0x02}));

  // Inputs: FC 4 and FC 2.
  ASSERT_TRUE(sim.Ok("input 1 5A" + node));
  ASSERT_TRUE(sim.Ok("input 3 0102030405060708" + node));
  ASSERT_EQ(m.ReadRegisters(unit, 4, 0, 4, dst, 8), 1);
  EXPECT_EQ(Bytes(dst, dst + 8), (Bytes{0x01, 0x5A, 0x03, 0x02, 0x05, 0x04, 0x07, 0x06}));
  ASSERT_EQ(m.ReadRegisters(unit, 2, 0, 12, dst, 2), 1);
  EXPECT_EQ(dst[0], 0x5A);
  EXPECT_EQ(dst[1], 0x01);

  // Outputs: FC 16, 6 and 3; FC 15, 5 and 1 on the coils over them.
  ASSERT_EQ(m.WriteRegisters(unit, 16, 2048, 2, Bytes{0x12, 0x34, 0x56, 0x78}.data(), 4), 1);
  EXPECT_EQ(sim.Command("get output 2" + node), "OK 34");
  EXPECT_EQ(sim.Command("get output 4" + node), "OK 12785600");
  ASSERT_EQ(m.Request(unit, 6, 2049, 0, kRequestSingleWrite, dst, 2, Bytes{0xBE, 0xEF}.data(), 2), 1);
  EXPECT_EQ(Word(dst), 0xBEEF);
  EXPECT_EQ(sim.Command("get output 4" + node), "OK 12EFBE00");
  ASSERT_EQ(m.ReadRegisters(unit, 3, 2048, 2, dst, 4), 1);
  EXPECT_EQ(Bytes(dst, dst + 4), (Bytes{0x12, 0x34, 0xBE, 0xEF}));

  ASSERT_EQ(m.WriteRegisters(unit, 15, 4096, 8, Bytes{0xA5}.data(), 1), 1);
  EXPECT_EQ(sim.Command("get output 2" + node), "OK A5");
  ASSERT_EQ(m.Request(unit, 5, 4097, 0, kRequestSingleWrite, dst, 2, Bytes{0xFF, 0x00}.data(), 2), 1);
  ASSERT_EQ(m.Request(unit, 5, 4096, 0, kRequestSingleWrite, dst, 2, Bytes{0x00, 0x00}.data(), 2), 1);
  EXPECT_EQ(sim.Command("get output 2" + node), "OK A6");
  ASSERT_EQ(m.ReadRegisters(unit, 1, 4096, 8, dst, 1), 1);
  EXPECT_EQ(dst[0], 0xA6);
  ASSERT_TRUE(sim.Ok("set output 2 3C" + node));
  ASSERT_EQ(m.Request(unit, 1, 4096, 8, kRequestRead, dst, 1, nullptr, 0), 1);
  EXPECT_EQ(dst[0], 0x3C);

  // A module's parameters (communication number 1: 32 + 0x1FF1).
  ASSERT_EQ(m.Request(unit, 16, 0x2011, 1, kRequestMultipleWrite, dst, 2, Bytes{0x0F, 0xF0}.data(), 2), 1);
  EXPECT_EQ(sim.Command("get para 1" + node), "OK 0FF0");
  ASSERT_EQ(m.ReadRegisters(unit, 4, 0x2011, 1, dst, 2), 1);
  EXPECT_EQ(Word(dst), 0x0FF0);

  // FC 8: the echo, the data echo and both commands (restart last: it clears
  // the outputs).
  EXPECT_EQ(m.DiagEcho(unit), 1);
  ASSERT_EQ(m.Request(unit, 8, 0, 0, kRequestSingleWrite, dst, 4, Bytes{0xDE, 0xAD, 0xBE, 0xEF}.data(), 4), 1);
  EXPECT_EQ(Bytes(dst, dst + 4), (Bytes{0xDE, 0xAD, 0xBE, 0xEF}));
  EXPECT_EQ(m.DiagCmd(unit, 1), 1);
  EXPECT_EQ(m.DiagCmd(unit, 0), 1);
  EXPECT_EQ(sim.Command("get output 2" + node), "OK 00");
}

class SimTcp : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(sim_.Start()) << sim_.error();
    master_.SetTickSource(ticks_.Source());
    ASSERT_EQ(master_.OpenConnection(qmx::test::LoopbackSetting(sim_.port(), 300), 0, 0), 1);
  }

  SimulatorProcess sim_{With({"--tcp", "127.0.0.1:0"})};
  CModbusTCP master_;
  ManualTicks ticks_;
};

TEST_F(SimTcp, EveryFunctionCodeBothWays) { EveryFunctionCode(master_, sim_, 1, ""); }

struct SimFault {
  const char* spec;
  int request;  // 0 read, 1 write, 2 echo, 3 generic read
  int code;
  bool closes;
};

void PrintTo(const SimFault& fault, std::ostream* os) { *os << fault.spec; }

int Send(Modbus& master, int request) {
  uint8_t dst[16] = {};
  switch (request) {
    case 0:
      return master.ReadRegisters(1, 4, 0x1110, 1, dst, 2);
    case 1:
      return master.WriteRegisters(1, 16, 2048, 1, Bytes{0x01, 0x02}.data(), 2);
    case 2:
      return master.DiagEcho(1);
    default:
      return master.Request(1, 3, 2048, 2, kRequestRead, dst, 4, nullptr, 0);
  }
}

// closes: the stream is out of step (the connection is closed and retried
// at once); any framed reply, and a time-out, keep the connection.
const SimFault kTcpFaults[] = {
    {"silence", 0, kSockTimeout, false},
    {"delay=700", 2, kSockTimeout, false},
    {"drop", 0, kSockNotConnected, true},
    {"exception=2", 0, -8002, false},
    {"exception=4", 1, -8004, false},
    {"exception=6", 2, -8006, false},
    {"exception=3", 3, -8003, false},
    {"wrong-unit", 0, -8007, false},
    {"wrong-unit", 1, -8007, false},
    {"wrong-function", 0, -8009, false},
    {"wrong-function", 2, -8009, false},
    {"short", 0, -8014, false},
    {"short", 1, -8014, false},
    {"short=2", 3, -8014, false},
    {"wrong-tid", 0, -8013, true},
    {"wrong-tid", 1, -8013, true},
    {"segment=30", 0, 1, false},
    {"segment=20/3", 3, 1, false},
    {"bad-crc", 0, 1, false},
};

class SimTcpFaults : public SimTcp, public ::testing::WithParamInterface<SimFault> {};

TEST_P(SimTcpFaults, GivesItsCodeAndTheMasterRecovers) {
  const SimFault& fault = GetParam();
  ASSERT_EQ(Send(master_, 0), 1) << "the link has answered";
  ASSERT_TRUE(sim_.Ok(std::string("fault ") + fault.spec + ",once")) << fault.spec;
  EXPECT_EQ(Send(master_, fault.request), fault.code);
  EXPECT_EQ(master_.IsConnected(), fault.closes ? 0 : 1);
  if (fault.closes) {
    EXPECT_EQ(Send(master_, fault.request), kSockNotConnected);
    // The monitoring cycle's road back: the ping and the reopen, at once.
    EXPECT_EQ(master_.Reconnect(), 1);
  }
  // A late reply comes meanwhile; the next request passes over it.
  if (fault.code == kSockTimeout) std::this_thread::sleep_for(std::chrono::milliseconds(500));
  EXPECT_EQ(Send(master_, fault.request), 1);
  EXPECT_EQ(Send(master_, 0), 1);
}

INSTANTIATE_TEST_SUITE_P(Injected, SimTcpFaults, ::testing::ValuesIn(kTcpFaults),
                         [](const ::testing::TestParamInfo<SimFault>& info) {
                           return qmx::test::TestName(info.param.spec) + "_" + std::to_string(info.param.request);
                         });

// ---- RTU ----

// Whether the simulator answers on the line at all: one read of register
// 0x1002 from node 1 written and read on the tool's end directly, with a
// generous wait. Independent of the master under test.
bool LineAnswers(const std::filesystem::path& end) {
  const int fd = ::open(end.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return false;
  termios t{};
  ::tcgetattr(fd, &t);
  ::cfmakeraw(&t);
  ::tcsetattr(fd, TCSANOW, &t);
  const Bytes probe = qmx::test::RtuFrame({0x01, 0x04, 0x10, 0x02, 0x00, 0x01});
  bool answered = ::write(fd, probe.data(), probe.size()) == static_cast<ssize_t>(probe.size());
  if (answered) {
    pollfd p{fd, POLLIN, 0};
    answered = ::poll(&p, 1, 2000) == 1;
  }
  ::close(fd);
  return answered;
}

class SimRtu : public ::testing::Test {
protected:
  void SetUp() override {
    ::setenv(qmx::serial::kComDirVariable, dir_.path().c_str(), 1);
    if (!line_.Start()) GTEST_SKIP() << "no pty pair: " << line_.error();
    sim_ = std::make_unique<SimulatorProcess>(
        With({"--rtu", line_.peer().string(), "--serial", "19200,8,N,1", "--nodes", "1,2"}));
    ASSERT_TRUE(sim_->Start()) << sim_->error();
    ASSERT_TRUE(LineAnswers(line_.end())) << "the simulator does not answer on its RTU line";
    SerialCommSetting s;
    s.comPort = 7;
    s.baudRate = 19200;
    s.timeoutMs = 150;
    ASSERT_EQ(master_.OpenConnection(s, 0, 0), 1);
  }
  void TearDown() override {
    master_.DeleteConnection();
    sim_.reset();
    line_.Stop();
    ::unsetenv(qmx::serial::kComDirVariable);
  }

  qmx::test::TempDir dir_{"qmx-simrtu"};
  qmx::sim::PtyPair line_{dir_.path()};
  std::unique_ptr<SimulatorProcess> sim_;
  ModbusSerial master_;
};

TEST_F(SimRtu, EveryFunctionCodeBothWaysOnEveryNode) {
  EveryFunctionCode(master_, *sim_, 1, "");
  EveryFunctionCode(master_, *sim_, 2, " node=2");
}

TEST_F(SimRtu, TheProbeFindsTheNodesOnTheLine) {
  ScanHits hits;
  int counter = 0;
  EXPECT_EQ(master_.ScanDevice(1, hits, counter, 0), 1);
  EXPECT_EQ(master_.ScanDevice(2, hits, counter, 0), 1);
  EXPECT_EQ(master_.ScanDevice(3, hits, counter, 0), kSerReadTimeout);
  ASSERT_EQ(counter, 2);
  EXPECT_EQ(hits.serial[1].portText, "7");
  EXPECT_EQ(hits.serial[1].unitText, "2");
  EXPECT_EQ(hits.serial[1].settingsText, "19200,8,NOPARITY,0");
  EXPECT_EQ(hits.serial[1].value[0], 0x80);
  EXPECT_EQ(hits.serial[1].value[1], 0x40);
}

const SimFault kRtuFaults[] = {
    {"silence", 0, kSerReadTimeout, false},
    {"drop", 2, kSerReadTimeout, false},
    {"exception=2", 0, -8002, false},
    {"exception=3", 1, -8003, false},
    {"exception=4", 2, -8004, false},
    {"exception=6", 3, -8006, false},
    {"wrong-unit", 0, -8007, false},
    {"wrong-function", 1, -8009, false},
    {"short", 0, -8014, false},
    {"short=3", 1, -8014, false},
    {"short", 3, -8014, false},
    {"bad-crc", 0, -8013, false},
    {"bad-crc", 2, -8013, false},
    {"delay=400", 0, kSerReadTimeout, false},
    {"segment=30", 0, 1, false},
    {"segment=30/2", 3, 1, false},
};

class SimRtuFaults : public SimRtu, public ::testing::WithParamInterface<SimFault> {};

TEST_P(SimRtuFaults, GivesItsCodeAndTheNextRequestWorks) {
  const SimFault& fault = GetParam();
  ASSERT_TRUE(sim_->Ok(std::string("fault ") + fault.spec + ",once")) << fault.spec;
  EXPECT_EQ(Send(master_, fault.request), fault.code);
  EXPECT_EQ(master_.IsConnected(), 1);
  // A late reply must have passed before the next request purges the line.
  std::this_thread::sleep_for(300ms);
  EXPECT_EQ(Send(master_, fault.request), 1);
  EXPECT_EQ(Send(master_, 0), 1);
}

INSTANTIATE_TEST_SUITE_P(Injected, SimRtuFaults, ::testing::ValuesIn(kRtuFaults),
                         [](const ::testing::TestParamInfo<SimFault>& info) {
                           return qmx::test::TestName(info.param.spec) + "_" + std::to_string(info.param.request);
                         });

}  // namespace
}  // namespace tessivar
