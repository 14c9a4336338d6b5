// qmx-sim over Modbus TCP on loopback, against libmodbus as the client:
// every function code written and read back both ways (over the wire and
// through the control commands), each fault as the client sees it, several
// clients at once.
#include <gtest/gtest.h>
#include <modbus.h>

#include <cerrno>
#include <chrono>
#include <future>
#include <memory>
#include <thread>

#include "tests/support/test_support.h"
#include "tests/tools_sim/sim_client.h"
#include "tools/simulator/frames.h"
#include "tools/simulator/testing/simulator_process.h"

namespace qmx::sim {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using testing::Bytes;
using testing::RawTcp;

long MsSince(Clock::time_point t) {
  return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count());
}

struct ModbusDeleter {
  void operator()(modbus_t* ctx) const {
    modbus_close(ctx);
    modbus_free(ctx);
  }
};
using Modbus = std::unique_ptr<modbus_t, ModbusDeleter>;

class SimTcpTest : public ::testing::Test {
protected:
  void SetUp() override {
    sim_ = std::make_unique<SimulatorProcess>(std::vector<std::string>{
        "--tcp", "127.0.0.1:0", "--modules", "DI8,DO8,AI2,AO2", "--adapter-para", "4", "--freeze", "--node", "1"});
    ASSERT_TRUE(sim_->Start()) << sim_->error();
    ASSERT_TRUE(sim_->Ok("input 1 A5"));
    ASSERT_TRUE(sim_->Ok("input 3 11223344"));
    mb_ = Connect();
    ASSERT_TRUE(mb_);
  }

  Modbus Connect(int unit = 1, int timeoutMs = 500) {
    modbus_t* ctx = modbus_new_tcp("127.0.0.1", sim_->port());
    if (!ctx) return nullptr;
    modbus_set_slave(ctx, unit);
    modbus_set_response_timeout(ctx, 0, static_cast<uint32_t>(timeoutMs) * 1000);
    if (modbus_connect(ctx) != 0) {
      modbus_free(ctx);
      return nullptr;
    }
    return Modbus(ctx);
  }

  RawTcp Raw() {
    RawTcp raw;
    EXPECT_TRUE(raw.Connect("127.0.0.1", sim_->port()));
    return raw;
  }

  std::vector<uint16_t> ReadHolding(int address, int count) {
    std::vector<uint16_t> v(static_cast<size_t>(count));
    EXPECT_EQ(modbus_read_registers(mb_.get(), address, count, v.data()), count) << modbus_strerror(errno);
    return v;
  }

  std::unique_ptr<SimulatorProcess> sim_;
  Modbus mb_;
};

using Words = std::vector<uint16_t>;

TEST_F(SimTcpTest, ReadFunctionCodes) {
  // FC 4: input image A5 | 11 22 33 44, low byte first per register.
  uint16_t in[3] = {};
  ASSERT_EQ(modbus_read_input_registers(mb_.get(), 0, 3, in), 3) << modbus_strerror(errno);
  EXPECT_EQ(Words(in, in + 3), (Words{0x11A5, 0x3322, 0x0044}));
  // FC 2: the same image as bits.
  uint8_t bits[10] = {};
  ASSERT_EQ(modbus_read_input_bits(mb_.get(), 0, 10, bits), 10);
  EXPECT_EQ(std::vector<uint8_t>(bits, bits + 10), (std::vector<uint8_t>{1, 0, 1, 0, 0, 1, 0, 1, 1, 0}));
  // FC 3: the module list.
  EXPECT_EQ(ReadHolding(0x1113, 5), (Words{0x4101, 0x1108, 0x2108, 0x3102, 0x4102}));
  EXPECT_EQ(ReadHolding(0x1110, 1), (Words{4}));
  // Values set through the control channel come out on the wire.
  ASSERT_TRUE(sim_->Ok("set output 2 C3"));
  ASSERT_TRUE(sim_->Ok("input 1 0F"));
  EXPECT_EQ(ReadHolding(2048, 1), (Words{0x00C3}));
  uint8_t coils[8] = {};
  ASSERT_EQ(modbus_read_bits(mb_.get(), 4096, 8, coils), 8);
  EXPECT_EQ(std::vector<uint8_t>(coils, coils + 8), (std::vector<uint8_t>{1, 1, 0, 0, 0, 0, 1, 1}));
  ASSERT_EQ(modbus_read_input_registers(mb_.get(), 0, 1, in), 1);
  EXPECT_EQ(in[0], 0x110F);
}

TEST_F(SimTcpTest, WriteFunctionCodesReadBack) {
  // FC 6: the output register 2048 holds DO8 (low byte) and AO2's first byte.
  ASSERT_EQ(modbus_write_register(mb_.get(), 2048, 0xAA5A), 1) << modbus_strerror(errno);
  EXPECT_EQ(sim_->Command("get output 2"), "OK 5A");
  EXPECT_EQ(sim_->Command("get output 4"), "OK AA000000");
  EXPECT_EQ(ReadHolding(2048, 1), (Words{0xAA5A}));
  // FC 5 on a coil aliased onto the same register.
  ASSERT_EQ(modbus_write_bit(mb_.get(), 4096, 1), 1);
  EXPECT_EQ(sim_->Command("get output 2"), "OK 5B");
  uint8_t coils[8] = {};
  ASSERT_EQ(modbus_read_bits(mb_.get(), 4096, 8, coils), 8);
  EXPECT_EQ(std::vector<uint8_t>(coils, coils + 8), (std::vector<uint8_t>{1, 1, 0, 1, 1, 0, 1, 0}));
  // FC 15: coils 8..23 are AO2's first two bytes.
  uint8_t pattern[16];
  for (int k = 0; k < 16; ++k) pattern[k] = (0x1234 >> k) & 1;
  ASSERT_EQ(modbus_write_bits(mb_.get(), 4096 + 8, 16, pattern), 16);
  EXPECT_EQ(sim_->Command("get output 4"), "OK 34120000");
  // FC 16: a module's parameter block and the adapter's.
  const uint16_t para[1] = {0xBEEF};
  ASSERT_EQ(modbus_write_registers(mb_.get(), 0x2011, 1, para), 1) << modbus_strerror(errno);
  EXPECT_EQ(sim_->Command("get para 1"), "OK BEEF");
  uint16_t back[2] = {};
  ASSERT_EQ(modbus_read_input_registers(mb_.get(), 0x2011, 1, back), 1);
  EXPECT_EQ(back[0], 0xBEEF);
  const uint16_t adapter[2] = {0x0102, 0x0304};
  ASSERT_EQ(modbus_write_registers(mb_.get(), 0x2811, 2, adapter), 2);
  EXPECT_EQ(sim_->Command("get para 0"), "OK 01020304");
  EXPECT_EQ(ReadHolding(0x2811, 2), (Words{0x0102, 0x0304}));
  // Writable named registers; the mode register relays the image.
  ASSERT_EQ(sim_->Command("object 0x1119 0081"), "OK");
  ASSERT_EQ(modbus_write_register(mb_.get(), 0x1114, 0), 1);
  uint16_t in[2] = {};
  ASSERT_EQ(modbus_read_input_registers(mb_.get(), 0, 2, in), 2);
  EXPECT_EQ(in[0], 0x0081);  // the status word leads in mode 0
  EXPECT_EQ(in[1], 0x11A5);
  EXPECT_EQ(sim_->Command("history"),
            "OK 11 T/01/06/0800/0001 T/01/03/0800/0001 T/01/05/1000/0001 T/01/01/1000/0008 T/01/0F/1008/0010 "
            "T/01/10/2011/0001 T/01/04/2011/0001 T/01/10/2811/0002 T/01/03/2811/0002 T/01/06/1114/0001 "
            "T/01/04/0000/0002");
}

TEST_F(SimTcpTest, RefusedRequestsGetExceptions) {
  uint16_t v[4];
  EXPECT_EQ(modbus_read_input_registers(mb_.get(), 0, 4, v), -1);  // the image has 5 bytes
  EXPECT_EQ(errno, EMBXILADD);
  EXPECT_EQ(modbus_write_register(mb_.get(), 0x1002, 1), -1);
  EXPECT_EQ(errno, EMBXILADD);
  EXPECT_EQ(modbus_write_register(mb_.get(), 0x1114, 9), -1);
  EXPECT_EQ(errno, EMBXILVAL);
  EXPECT_EQ(modbus_write_bit(mb_.get(), 0, 1), -1);  // discrete inputs are not coils
  EXPECT_EQ(errno, EMBXILADD);
  uint8_t raw[] = {1, 0x2B, 0x0E, 0x01, 0x00};  // FC 43 is not served
  ASSERT_GT(modbus_send_raw_request(mb_.get(), raw, sizeof raw), 0);
  uint8_t rsp[MODBUS_TCP_MAX_ADU_LENGTH];
  ASSERT_EQ(modbus_receive_confirmation(mb_.get(), rsp), 9);
  EXPECT_EQ(rsp[7], 0xAB);
  EXPECT_EQ(rsp[8], 0x01);  // illegal function
  EXPECT_EQ(ReadHolding(0x1110, 1), (Words{4}));  // and the connection goes on
}

TEST_F(SimTcpTest, DiagnosticEchoAndCounters) {
  RawTcp raw = Raw();
  ASSERT_TRUE(raw.Send(TcpFrame(0x0102, 1, {0x08, 0x00, 0x00, 0xAB, 0xCD})));
  EXPECT_EQ(raw.Receive(12, 1000), TcpFrame(0x0102, 1, {0x08, 0x00, 0x00, 0xAB, 0xCD}));
  ASSERT_TRUE(raw.Send(TcpFrame(0x0103, 1, {0x08, 0x00, 0x0B, 0x00, 0x00})));
  EXPECT_EQ(raw.Receive(12, 1000), TcpFrame(0x0103, 1, {0x08, 0x00, 0x0B, 0x00, 0x02}));
  // Restart communications clears the outputs.
  ASSERT_TRUE(sim_->Ok("set output 2 FF"));
  ASSERT_TRUE(raw.Send(TcpFrame(0x0104, 1, {0x08, 0x00, 0x01, 0x00, 0x00})));
  EXPECT_EQ(raw.Receive(12, 1000), TcpFrame(0x0104, 1, {0x08, 0x00, 0x01, 0x00, 0x00}));
  EXPECT_EQ(sim_->Command("get output 2"), "OK 00");
  // Two requests in one segment get two replies in order.
  Bytes two = TcpFrame(7, 1, {0x04, 0x11, 0x10, 0x00, 0x01});
  const Bytes second = TcpFrame(8, 1, {0x08, 0x00, 0x00, 0x12, 0x34});
  two.insert(two.end(), second.begin(), second.end());
  ASSERT_TRUE(raw.Send(two));
  Bytes expect = TcpFrame(7, 1, {0x04, 0x02, 0x00, 0x04});
  const Bytes echo = TcpFrame(8, 1, {0x08, 0x00, 0x00, 0x12, 0x34});
  expect.insert(expect.end(), echo.begin(), echo.end());
  EXPECT_EQ(raw.Receive(expect.size(), 1000), expect);
}

// What the libmodbus client sees for each fault, and that the next request
// goes through again.
struct ClientFault {
  const char* fault;
  int error;
  int settleMs;  // until a late reply has come and gone
};

class SimTcpFaultTest : public SimTcpTest, public ::testing::WithParamInterface<ClientFault> {};

TEST_P(SimTcpFaultTest, ClientSeesTheFaultThenRecovers) {
  ASSERT_TRUE(sim_->Ok(std::string("fault ") + GetParam().fault));
  uint16_t v[1] = {};
  EXPECT_EQ(modbus_read_registers(mb_.get(), 0x1110, 1, v), -1);
  EXPECT_EQ(errno, GetParam().error) << modbus_strerror(errno);
  std::this_thread::sleep_for(std::chrono::milliseconds(GetParam().settleMs));
  modbus_flush(mb_.get());
  v[0] = 0;
  ASSERT_EQ(modbus_read_registers(mb_.get(), 0x1110, 1, v), 1) << modbus_strerror(errno);
  EXPECT_EQ(v[0], 4);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, SimTcpFaultTest,
    ::testing::Values(ClientFault{"exception=2,once", EMBXILADD, 0}, ClientFault{"exception=4,once", EMBXSFAIL, 0},
                      ClientFault{"exception=6,fc=3,once", EMBXSBUSY, 0}, ClientFault{"silence,once", ETIMEDOUT, 0},
                      ClientFault{"delay=800,once", ETIMEDOUT, 400}, ClientFault{"wrong-function,once", EMBBADDATA, 0},
                      ClientFault{"wrong-tid,once", EMBBADDATA, 0}),
    [](const ::testing::TestParamInfo<ClientFault>& info) { return qmx::test::TestName(info.param.fault); });

TEST_F(SimTcpTest, FaultsOnTheWire) {
  RawTcp raw = Raw();
  const Bytes read2 = TcpFrame(0x0203, 1, {0x03, 0x11, 0x13, 0x00, 0x02});
  const Bytes good = TcpFrame(0x0203, 1, {0x03, 0x04, 0x41, 0x01, 0x11, 0x08});

  ASSERT_TRUE(sim_->Ok("fault wrong-unit,once"));
  ASSERT_TRUE(raw.Send(read2));
  EXPECT_EQ(raw.Receive(13, 1000), TcpFrame(0x0203, 2, {0x03, 0x04, 0x41, 0x01, 0x11, 0x08}));

  ASSERT_TRUE(sim_->Ok("fault short,once"));
  ASSERT_TRUE(raw.Send(read2));
  // 12 bytes, the MBAP length matching them: the byte count says 4, 3 follow.
  EXPECT_EQ(raw.Receive(13, 300), TcpFrame(0x0203, 1, {0x03, 0x04, 0x41, 0x01, 0x11}));

  ASSERT_TRUE(sim_->Ok("fault bad-crc,once"));  // nothing to damage over TCP
  ASSERT_TRUE(raw.Send(read2));
  EXPECT_EQ(raw.Receive(13, 1000), good);

  ASSERT_TRUE(sim_->Ok("fault segment=150,once"));
  ASSERT_TRUE(raw.Send(read2));
  const auto t0 = Clock::now();
  const Bytes head = raw.ReceiveOnce(1000);
  EXPECT_EQ(head, Bytes(good.begin(), good.begin() + 7));
  const Bytes rest = raw.Receive(6, 1000);
  EXPECT_GE(MsSince(t0), 120);
  EXPECT_EQ(rest, Bytes(good.begin() + 7, good.end()));

  ASSERT_TRUE(sim_->Ok("fault delay=200,once"));
  const auto t1 = Clock::now();
  ASSERT_TRUE(raw.Send(read2));
  EXPECT_EQ(raw.Receive(13, 1000), good);
  EXPECT_GE(MsSince(t1), 190);

  ASSERT_TRUE(sim_->Ok("fault exception=2,fc=4"));  // FC 3 untouched
  ASSERT_TRUE(raw.Send(read2));
  EXPECT_EQ(raw.Receive(13, 1000), good);
  ASSERT_TRUE(raw.Send(TcpFrame(9, 1, {0x04, 0x11, 0x13, 0x00, 0x02})));
  EXPECT_EQ(raw.Receive(9, 1000), TcpFrame(9, 1, {0x84, 0x02}));
  ASSERT_TRUE(sim_->Ok("fault clear"));

  ASSERT_TRUE(sim_->Ok("fault drop,once"));
  ASSERT_TRUE(raw.Send(read2));
  EXPECT_TRUE(raw.PeerClosed(1000));
  RawTcp again = Raw();
  ASSERT_TRUE(again.Send(read2));
  EXPECT_EQ(again.Receive(13, 1000), good);
}

TEST_F(SimTcpTest, DroppedConnectionIsReopenedByTheClient) {
  ASSERT_TRUE(sim_->Ok("fault drop,once"));
  uint16_t v[1] = {};
  EXPECT_EQ(modbus_read_registers(mb_.get(), 0x1110, 1, v), -1);
  modbus_close(mb_.get());
  ASSERT_EQ(modbus_connect(mb_.get()), 0);
  EXPECT_EQ(modbus_read_registers(mb_.get(), 0x1110, 1, v), 1);
  // The disconnect command closes every connection (one that has been served,
  // so the simulator has taken it).
  RawTcp raw = Raw();
  ASSERT_TRUE(raw.Send(TcpFrame(3, 1, {0x03, 0x11, 0x10, 0x00, 0x01})));
  EXPECT_EQ(raw.Receive(11, 1000).size(), 11u);
  ASSERT_TRUE(sim_->Ok("disconnect"));
  EXPECT_TRUE(raw.PeerClosed(1000));
}

TEST_F(SimTcpTest, SlowReplyDoesNotHoldUpOtherClients) {
  RawTcp slow = Raw(), fast = Raw();
  ASSERT_TRUE(sim_->Ok("fault delay=600,node=1,once"));
  const auto t0 = Clock::now();
  ASSERT_TRUE(slow.Send(TcpFrame(1, 1, {0x04, 0x11, 0x10, 0x00, 0x01})));
  std::this_thread::sleep_for(20ms);
  ASSERT_TRUE(fast.Send(TcpFrame(2, 1, {0x04, 0x11, 0x10, 0x00, 0x01})));
  EXPECT_EQ(fast.Receive(11, 1000), TcpFrame(2, 1, {0x04, 0x02, 0x00, 0x04}));
  EXPECT_LT(MsSince(t0), 400);
  EXPECT_EQ(slow.Receive(11, 2000), TcpFrame(1, 1, {0x04, 0x02, 0x00, 0x04}));
  EXPECT_GE(MsSince(t0), 590);

  // Clients in parallel, each with its own libmodbus context.
  std::vector<std::future<int>> done;
  for (int c = 0; c < 4; ++c)
    done.push_back(std::async(std::launch::async, [this] {
      Modbus m = Connect();
      if (!m) return -1;
      int ok = 0;
      uint16_t v[2];
      for (int i = 0; i < 50; ++i) ok += modbus_read_input_registers(m.get(), 0x1113, 2, v) == 2 && v[0] == 0x4101;
      return ok;
    }));
  for (auto& f : done) EXPECT_EQ(f.get(), 50);
}

TEST_F(SimTcpTest, UnitIdsReachTheirStationOrTheFirst) {
  Modbus other = Connect(0xFF);
  ASSERT_TRUE(other);
  uint16_t v[1] = {};
  ASSERT_EQ(modbus_read_registers(other.get(), 0x1101, 1, v), 1);
  EXPECT_EQ(v[0], 1);  // the dip switch of the only station
}

TEST(SimTcpConnectionTest, BadHeadersAndLimits) {
  SimulatorProcess sim({"--tcp", "127.0.0.1:0", "--max-clients", "1"});
  ASSERT_TRUE(sim.Start()) << sim.error();
  RawTcp first;
  ASSERT_TRUE(first.Connect("127.0.0.1", sim.port()));
  // Another protocol id: ignored, the connection stays.
  ASSERT_TRUE(first.Send({0, 1, 0, 1, 0, 6, 1, 3, 0x11, 0x10, 0, 1}));
  EXPECT_TRUE(first.Receive(1, 200).empty());
  ASSERT_TRUE(first.Send(TcpFrame(2, 1, {0x03, 0x11, 0x10, 0x00, 0x01})));
  EXPECT_EQ(first.Receive(11, 1000), TcpFrame(2, 1, {0x03, 0x02, 0x00, 0x00}));
  // A second client is over the limit.
  RawTcp second;
  ASSERT_TRUE(second.Connect("127.0.0.1", sim.port()));
  EXPECT_TRUE(second.PeerClosed(1000));
  // A length no ADU can have closes the connection.
  ASSERT_TRUE(first.Send({0, 3, 0, 0, 0x03, 0x00, 1}));
  EXPECT_TRUE(first.PeerClosed(1000));
}

TEST(SimTcpConnectionTest, IdleConnectionsCloseAfterTheConnectionTimeOut) {
  SimulatorProcess sim({"--tcp", "127.0.0.1:0"});
  ASSERT_TRUE(sim.Start()) << sim.error();
  RawTcp raw;
  ASSERT_TRUE(raw.Connect("127.0.0.1", sim.port()));
  ASSERT_TRUE(raw.Send(TcpFrame(1, 1, {0x06, 0x10, 0x41, 0x00, 0x01})));  // 1 s
  EXPECT_EQ(raw.Receive(12, 1000), TcpFrame(1, 1, {0x06, 0x10, 0x41, 0x00, 0x01}));
  const auto t0 = Clock::now();
  EXPECT_TRUE(raw.PeerClosed(3000));
  EXPECT_GE(MsSince(t0), 900);
}

TEST(SimUdpTest, OneRequestPerDatagram) {
  SimulatorProcess sim({"--udp", "127.0.0.1:0", "--modules", "DO8"});
  ASSERT_TRUE(sim.Start()) << sim.error();
  ASSERT_GT(sim.udpPort(), 0);
  testing::RawUdp tool("127.0.0.1");
  const Bytes write = TcpFrame(0x0A0B, 1, {0x06, 0x08, 0x00, 0x00, 0x3C});
  ASSERT_TRUE(tool.SendTo("127.0.0.1", sim.udpPort(), write));
  EXPECT_EQ(tool.Collect(300), std::vector<Bytes>{write});
  EXPECT_EQ(sim.Command("get output 1"), "OK 3C");
  // Not a request: ignored.
  ASSERT_TRUE(tool.SendTo("127.0.0.1", sim.udpPort(), {1, 2, 3}));
  EXPECT_TRUE(tool.Collect(200).empty());
  const Bytes read = TcpFrame(7, 1, {0x03, 0x08, 0x00, 0x00, 0x01});
  const Bytes reply = TcpFrame(7, 1, {0x03, 0x02, 0x00, 0x3C});
  ASSERT_TRUE(sim.Ok("fault wrong-tid,once"));
  ASSERT_TRUE(tool.SendTo("127.0.0.1", sim.udpPort(), read));
  EXPECT_EQ(tool.Collect(300), std::vector<Bytes>{TcpFrame(8, 1, {0x03, 0x02, 0x00, 0x3C})});
  ASSERT_TRUE(sim.Ok("fault segment=20,once"));
  ASSERT_TRUE(tool.SendTo("127.0.0.1", sim.udpPort(), read));
  EXPECT_EQ(tool.Collect(300), (std::vector<Bytes>{Bytes(reply.begin(), reply.begin() + 7),
                                                   Bytes(reply.begin() + 7, reply.end())}));
  ASSERT_TRUE(sim.Ok("fault drop,once"));
  ASSERT_TRUE(tool.SendTo("127.0.0.1", sim.udpPort(), read));
  EXPECT_TRUE(tool.Collect(300).empty());
  ASSERT_TRUE(tool.SendTo("127.0.0.1", sim.udpPort(), read));
  EXPECT_EQ(tool.Collect(300), std::vector<Bytes>{reply});
  EXPECT_EQ(sim.Command("history").substr(0, 24), "OK 5 U/01/06/0800/0001 U");
}

}  // namespace
}  // namespace qmx::sim
