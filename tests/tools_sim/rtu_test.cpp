// qmx-sim as a Modbus RTU slave on a socat pty pair with two stations on the
// line, against libmodbus's RTU master on the other end: every function code
// both ways per node, broadcasts, silence for other nodes and bad frames, and
// each fault as the master sees it.
#include <gtest/gtest.h>
#include <modbus.h>

#include <cerrno>
#include <chrono>
#include <memory>
#include <thread>

#include "tests/support/test_support.h"
#include "tests/tools_sim/sim_client.h"
#include "tools/simulator/frames.h"
#include "tools/simulator/testing/simulator_process.h"

namespace qmx::sim {
namespace {

using namespace std::chrono_literals;
using testing::Bytes;
using Words = std::vector<uint16_t>;

class SimRtuTest : public ::testing::Test {
protected:
  void SetUp() override {
    line_ = std::make_unique<PtyPair>(dir_.path());
    ASSERT_TRUE(line_->Start()) << line_->error();
    sim_ = std::make_unique<SimulatorProcess>(std::vector<std::string>{
        "--rtu", line_->peer().string(), "--serial", "19200,8,E,1", "--nodes", "1,2", "--modules", "DI8,DO8,AI2",
        "--freeze"});
    ASSERT_TRUE(sim_->Start()) << sim_->error();
    EXPECT_EQ(sim_->Value("rtu"), line_->peer().string());
    EXPECT_EQ(sim_->Value("nodes"), "1,2");
    ctx_ = modbus_new_rtu(line_->end().c_str(), 19200, 'E', 8, 1);
    ASSERT_NE(ctx_, nullptr);
    modbus_set_response_timeout(ctx_, 0, 300000);
    ASSERT_EQ(modbus_connect(ctx_), 0) << modbus_strerror(errno);
    modbus_set_slave(ctx_, 1);
  }
  void TearDown() override {
    if (ctx_) {
      modbus_close(ctx_);
      modbus_free(ctx_);
    }
    if (sim_) sim_->Stop();
  }

  Words Read(int unit, int fc, int address, int count) {
    modbus_set_slave(ctx_, unit);
    Words v(static_cast<size_t>(count));
    const int n = fc == 3 ? modbus_read_registers(ctx_, address, count, v.data())
                          : modbus_read_input_registers(ctx_, address, count, v.data());
    EXPECT_EQ(n, count) << "unit " << unit << ": " << modbus_strerror(errno);
    return v;
  }

  test::TempDir dir_{"qmx-sim-rtu"};
  std::unique_ptr<PtyPair> line_;
  std::unique_ptr<SimulatorProcess> sim_;
  modbus_t* ctx_ = nullptr;
};

TEST_F(SimRtuTest, EveryFunctionCodePerNode) {
  ASSERT_TRUE(sim_->Ok("input 1 81"));
  ASSERT_TRUE(sim_->Ok("input 3 00000000"));
  ASSERT_TRUE(sim_->Ok("input 1 18 node=2"));
  ASSERT_TRUE(sim_->Ok("input 3 01020304 node=2"));
  EXPECT_EQ(Read(1, 4, 0, 1), (Words{0x0081}));
  EXPECT_EQ(Read(2, 4, 0, 3), (Words{0x0118, 0x0302, 0x0004}));
  EXPECT_EQ(Read(2, 3, 0x1113, 4), (Words{0x4101, 0x1108, 0x2108, 0x3102}));
  EXPECT_EQ(Read(1, 3, 0x1101, 1), (Words{1}));
  EXPECT_EQ(Read(2, 4, 0x1101, 1), (Words{2}));

  uint8_t bits[8];
  modbus_set_slave(ctx_, 1);
  ASSERT_EQ(modbus_read_input_bits(ctx_, 0, 8, bits), 8);
  EXPECT_EQ(std::vector<uint8_t>(bits, bits + 8), (std::vector<uint8_t>{1, 0, 0, 0, 0, 0, 0, 1}));

  // Writes land on the addressed node only.
  modbus_set_slave(ctx_, 2);
  ASSERT_EQ(modbus_write_register(ctx_, 2048, 0x00A5), 1) << modbus_strerror(errno);
  EXPECT_EQ(sim_->Command("get output 2 node=2"), "OK A5");
  EXPECT_EQ(sim_->Command("get output 2 node=1"), "OK 00");
  modbus_set_slave(ctx_, 1);
  ASSERT_EQ(modbus_write_bit(ctx_, 4097, 1), 1);
  const uint8_t on[3] = {1, 1, 1};
  ASSERT_EQ(modbus_write_bits(ctx_, 4100, 3, on), 3);
  EXPECT_EQ(sim_->Command("get output 2 node=1"), "OK 72");
  ASSERT_EQ(modbus_read_bits(ctx_, 4096, 8, bits), 8);
  EXPECT_EQ(std::vector<uint8_t>(bits, bits + 8), (std::vector<uint8_t>{0, 1, 0, 0, 1, 1, 1, 0}));
  EXPECT_EQ(Read(1, 3, 2048, 1), (Words{0x0072}));
  const uint16_t para[1] = {0x0A0B};
  ASSERT_EQ(modbus_write_registers(ctx_, 0x2011, 1, para), 1);
  EXPECT_EQ(sim_->Command("get para 1"), "OK 0A0B");
  EXPECT_EQ(sim_->Command("get para 1 node=2"), "OK 0000");
  EXPECT_EQ(Read(1, 4, 0x2011, 1), (Words{0x0A0B}));
}

TEST_F(SimRtuTest, DiagnosticEchoOnTheLine) {
  testing::RawSerial raw;
  modbus_close(ctx_);  // the raw peer takes the line
  ASSERT_TRUE(raw.Open(line_->end()));
  const Bytes echo = RtuFrame(2, {0x08, 0x00, 0x00, 0xAB, 0xCD});
  ASSERT_TRUE(raw.Send(echo));
  EXPECT_EQ(raw.Receive(8, 1000), echo);
  const Bytes clear = RtuFrame(1, {0x08, 0x00, 0x0A, 0x00, 0x00});
  ASSERT_TRUE(raw.Send(clear));
  EXPECT_EQ(raw.Receive(8, 1000), clear);
  // A node that is not on the line stays silent, so does a damaged frame.
  ASSERT_TRUE(raw.Send(RtuFrame(3, {0x08, 0x00, 0x00, 0xAB, 0xCD})));
  EXPECT_TRUE(raw.Receive(1, 200).empty());
  Bytes damaged = RtuFrame(1, {0x03, 0x11, 0x10, 0x00, 0x01});
  damaged[3] ^= 0x01;
  ASSERT_TRUE(raw.Send(damaged));
  EXPECT_TRUE(raw.Receive(1, 200).empty());
  EXPECT_EQ(sim_->Command("counters"), "OK bus=0 errors=1 exceptions=0 slave=0 noresponse=0");
  // The line still serves after the damaged frame.
  ASSERT_TRUE(raw.Send(RtuFrame(1, {0x03, 0x11, 0x10, 0x00, 0x01})));
  EXPECT_EQ(raw.Receive(7, 1000), RtuFrame(1, {0x03, 0x02, 0x00, 0x03}));
}

TEST_F(SimRtuTest, BroadcastWritesReachBothNodesWithoutReply) {
  testing::RawSerial raw;
  modbus_close(ctx_);
  ASSERT_TRUE(raw.Open(line_->end()));
  ASSERT_TRUE(raw.Send(RtuFrame(0, {0x06, 0x08, 0x00, 0x00, 0x42})));
  EXPECT_TRUE(raw.Receive(1, 300).empty());
  EXPECT_EQ(sim_->Command("get output 2 node=1"), "OK 42");
  EXPECT_EQ(sim_->Command("get output 2 node=2"), "OK 42");
  ASSERT_TRUE(raw.Send(RtuFrame(0, {0x03, 0x11, 0x10, 0x00, 0x01})));  // a broadcast read: nothing
  EXPECT_TRUE(raw.Receive(1, 300).empty());
}

TEST_F(SimRtuTest, OtherNodesTimeOut) {
  modbus_set_slave(ctx_, 3);
  uint16_t v[1];
  EXPECT_EQ(modbus_read_registers(ctx_, 0x1110, 1, v), -1);
  EXPECT_EQ(errno, ETIMEDOUT);
  modbus_set_slave(ctx_, 2);
  EXPECT_EQ(modbus_read_registers(ctx_, 0x1110, 1, v), 1);
}

struct MasterFault {
  const char* fault;
  int error;
};

class SimRtuFaultTest : public SimRtuTest, public ::testing::WithParamInterface<MasterFault> {};

TEST_P(SimRtuFaultTest, MasterSeesTheFaultThenRecovers) {
  ASSERT_TRUE(sim_->Ok(std::string("fault ") + GetParam().fault));
  modbus_set_slave(ctx_, 2);
  uint16_t v[1] = {};
  EXPECT_EQ(modbus_read_registers(ctx_, 0x1110, 1, v), -1);
  EXPECT_EQ(errno, GetParam().error) << modbus_strerror(errno);
  std::this_thread::sleep_for(100ms);
  modbus_flush(ctx_);
  ASSERT_EQ(modbus_read_registers(ctx_, 0x1110, 1, v), 1) << modbus_strerror(errno);
  EXPECT_EQ(v[0], 3);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, SimRtuFaultTest,
    ::testing::Values(MasterFault{"bad-crc,once", EMBBADCRC}, MasterFault{"wrong-unit,once", EMBBADSLAVE},
                      MasterFault{"exception=2,once", EMBXILADD}, MasterFault{"exception=3,node=2,once", EMBXILVAL},
                      MasterFault{"silence,once", ETIMEDOUT}, MasterFault{"drop,once", ETIMEDOUT},
                      MasterFault{"wrong-function,once", EMBBADDATA}),
    [](const ::testing::TestParamInfo<MasterFault>& info) { return qmx::test::TestName(info.param.fault); });

TEST_F(SimRtuTest, DamagedRepliesByteByByte) {
  testing::RawSerial raw;
  modbus_close(ctx_);
  ASSERT_TRUE(raw.Open(line_->end()));
  const Bytes read = RtuFrame(1, {0x04, 0x11, 0x10, 0x00, 0x01});
  const Bytes good = RtuFrame(1, {0x04, 0x02, 0x00, 0x03});

  ASSERT_TRUE(sim_->Ok("fault short,once"));
  ASSERT_TRUE(raw.Send(read));
  EXPECT_EQ(raw.Receive(7, 300), RtuFrame(1, {0x04, 0x02, 0x00}));  // 6 bytes with a valid CRC

  ASSERT_TRUE(sim_->Ok("fault bad-crc,once"));
  ASSERT_TRUE(raw.Send(read));
  const Bytes bad = raw.Receive(7, 1000);
  ASSERT_EQ(bad.size(), 7u);
  EXPECT_EQ(Bytes(bad.begin(), bad.begin() + 5), Bytes(good.begin(), good.begin() + 5));
  EXPECT_NE(bad, good);

  ASSERT_TRUE(sim_->Ok("fault exception=2,once"));
  ASSERT_TRUE(raw.Send(read));
  EXPECT_EQ(raw.Receive(5, 1000), RtuFrame(1, {0x84, 0x02}));

  ASSERT_TRUE(sim_->Ok("fault segment=100,once"));
  ASSERT_TRUE(raw.Send(read));
  EXPECT_EQ(raw.Receive(7, 60), Bytes(good.begin(), good.begin() + 3));
  EXPECT_EQ(raw.Receive(4, 1000), Bytes(good.begin() + 3, good.end()));

  ASSERT_TRUE(raw.Send(read));
  EXPECT_EQ(raw.Receive(7, 1000), good);
  EXPECT_EQ(sim_->Command("history"), "OK 5 R/01/04/1110/0001!short=1,count=1 R/01/04/1110/0001!bad-crc,count=1 "
                                      "R/01/04/1110/0001!exception=2,count=1 R/01/04/1110/0001!segment=100,count=1 "
                                      "R/01/04/1110/0001");
}

}  // namespace
}  // namespace qmx::sim
