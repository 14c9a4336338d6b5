// Both Modbus masters against libmodbus, whose framing is independent of
// ours: the TCP master against a libmodbus server on loopback, the RTU master
// against a libmodbus RTU slave over a socat pty pair. Every function code,
// values both ways, the largest frames and exception replies, in one suite
// typed over the transport.
#include "driver/modbus/modbus_serial.h"
#include "driver/modbus/modbus_tcp.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <type_traits>

#include "tests/driver_modbus/peers.h"

namespace tessivar {
namespace {

using qmx::test::Bytes;
using qmx::test::Word;

// The TCP master and a libmodbus server on 127.0.0.1.
struct TcpTransport {
  static constexpr int kBadParameter = kSockBadParameter;

  bool Prepare() { return true; }
  ::testing::AssertionResult Start() {
    if (!server.Start()) return ::testing::AssertionFailure() << "the libmodbus server did not start";
    if (master.OpenConnection(qmx::test::LoopbackSetting(server.port()), 0, 0) != 1)
      return ::testing::AssertionFailure() << "the master did not connect";
    return ::testing::AssertionSuccess();
  }
  void WithMap(const std::function<void(modbus_mapping_t&)>& fn) { server.WithMap(fn); }
  int requests() const { return server.requests(); }

  qmx::test::LibmodbusTcpServer server;
  CModbusTCP master;
};

// The RTU master on COM7, whose other end a libmodbus slave (node 1) serves.
struct RtuTransport {
  static constexpr int kCom = 7;
  static constexpr int kBadParameter = kSerBadParameter;

  ~RtuTransport() {
    master.DeleteConnection();
    slave.reset();
  }
  bool Prepare() { return line.Start(); }
  ::testing::AssertionResult Start() {
    slave = std::make_unique<qmx::test::LibmodbusRtuSlave>(line.PeerPath(), 1);
    if (!slave->Start()) return ::testing::AssertionFailure() << "the libmodbus slave did not start";
    if (master.OpenConnection(qmx::test::PtyLineSetting(kCom, 500), 0, 0) != 1)
      return ::testing::AssertionFailure() << "the master did not open COM" << kCom;
    return ::testing::AssertionSuccess();
  }
  void WithMap(const std::function<void(modbus_mapping_t&)>& fn) { slave->WithMap(fn); }
  int requests() const { return slave->requests(); }

  qmx::test::ComLine line{kCom};
  std::unique_ptr<qmx::test::LibmodbusRtuSlave> slave;
  ModbusSerial master;
};

template <typename Transport>
class Libmodbus : public ::testing::Test {
protected:
  void SetUp() override {
    if (!t_.Prepare()) GTEST_SKIP() << "socat could not make a pty pair";
    ASSERT_TRUE(t_.Start());
  }

  Transport t_;
};

struct TransportNames {
  template <typename T>
  static std::string GetName(int) {
    return std::is_same_v<T, TcpTransport> ? "Tcp" : "Rtu";
  }
};

using Transports = ::testing::Types<TcpTransport, RtuTransport>;
TYPED_TEST_SUITE(Libmodbus, Transports, TransportNames);

TYPED_TEST(Libmodbus, RegisterReadsAndWritesBothWays) {
  auto& master = this->t_.master;
  this->t_.WithMap([](modbus_mapping_t& m) {
    m.tab_registers[0x10] = 0x1234;
    m.tab_registers[0x11] = 0xABCD;
    m.tab_registers[0x12] = 0x0001;
    m.tab_input_registers[0x1002] = 0x8040;
    m.tab_input_registers[0x1003] = 0x00FF;
  });
  uint8_t dst[8] = {};
  ASSERT_EQ(master.ReadRegisters(1, 3, 0x10, 3, dst, 6), 1);
  EXPECT_EQ(Bytes(dst, dst + 6), (Bytes{0x12, 0x34, 0xAB, 0xCD, 0x00, 0x01}));
  ASSERT_EQ(master.ReadRegisters(1, 4, 0x1002, 1, dst, 2), 1);
  EXPECT_EQ(Word(dst), 0x8040);
  ASSERT_EQ(master.ReadRegisters(1, 4, 0x1002, 2, dst, 4), 1);
  EXPECT_EQ(Bytes(dst, dst + 4), (Bytes{0x80, 0x40, 0x00, 0xFF}));

  ASSERT_EQ(master.WriteRegisters(1, 16, 0x20, 2, Bytes{0xCA, 0xFE, 0x01, 0x02}.data(), 4), 1);
  uint8_t word[2];
  ASSERT_EQ(master.Request(1, 6, 0x22, 0, kRequestSingleWrite, word, 2, Bytes{0xBE, 0xEF}.data(), 2), 1);
  EXPECT_EQ(Word(word), 0xBEEF);
  this->t_.WithMap([](modbus_mapping_t& m) {
    EXPECT_EQ(m.tab_registers[0x20], 0xCAFE);
    EXPECT_EQ(m.tab_registers[0x21], 0x0102);
    EXPECT_EQ(m.tab_registers[0x22], 0xBEEF);
  });
}

TYPED_TEST(Libmodbus, BitReadsAndWritesBothWays) {
  auto& master = this->t_.master;
  this->t_.WithMap([](modbus_mapping_t& m) {
    for (int i = 0; i < 10; ++i) m.tab_bits[5 + i] = (i % 3 == 0) ? 1 : 0;  // 1001001001
    m.tab_input_bits[0] = 1;
    m.tab_input_bits[7] = 1;
    m.tab_input_bits[9] = 1;
  });
  uint8_t dst[2] = {};
  ASSERT_EQ(master.ReadRegisters(1, 1, 5, 10, dst, 2), 1);
  EXPECT_EQ(dst[0], 0x49);  // bits 0, 3, 6
  EXPECT_EQ(dst[1], 0x02);  // bit 9
  ASSERT_EQ(master.ReadRegisters(1, 1, 0, 8, dst, 1), 1);
  EXPECT_EQ(dst[0], 0x20);  // coil 5
  ASSERT_EQ(master.ReadRegisters(1, 2, 7, 3, dst, 1), 1);
  EXPECT_EQ(dst[0], 0x05);
  ASSERT_EQ(master.ReadRegisters(1, 2, 0, 2, dst, 1), 1);
  EXPECT_EQ(dst[0], 0x01);

  ASSERT_EQ(master.WriteRegisters(1, 15, 0x30, 9, Bytes{0xA5, 0x01}.data(), 2), 1);
  uint8_t echo[2];
  ASSERT_EQ(master.Request(1, 5, 0x40, 0, kRequestSingleWrite, echo, 2, Bytes{0xFF, 0x00}.data(), 2), 1);
  EXPECT_EQ(Word(echo), 0xFF00);
  this->t_.WithMap([](modbus_mapping_t& m) {
    const int expected[9] = {1, 0, 1, 0, 0, 1, 0, 1, 1};
    for (int i = 0; i < 9; ++i) EXPECT_EQ(m.tab_bits[0x30 + i], expected[i]) << i;
    EXPECT_EQ(m.tab_bits[0x39], 0);
    EXPECT_EQ(m.tab_bits[0x40], 1);
  });
}

TYPED_TEST(Libmodbus, DiagnosticsAndTheGenericRequestOfEveryKind) {
  auto& master = this->t_.master;
  EXPECT_EQ(master.DiagEcho(1), 1);
  EXPECT_EQ(master.DiagCmd(1, 0), 1);
  EXPECT_EQ(master.DiagCmd(1, 1), 1);
  // Function 8 with more than 2 data bytes: the echo is as long as the data.
  uint8_t dst[16] = {};
  for (const Bytes& data : {Bytes{1, 2, 3, 4}, Bytes{1, 2, 3, 4, 5, 6}}) {
    ASSERT_EQ(master.Request(1, 8, 0, 0, kRequestSingleWrite, dst, static_cast<int>(data.size()), data.data(),
                             static_cast<int>(data.size())),
              1);
    EXPECT_EQ(Bytes(dst, dst + data.size()), data);
  }

  this->t_.WithMap([](modbus_mapping_t& m) {
    m.tab_input_registers[3] = 0x0A0B;
    m.tab_registers[9] = 0x0C0D;
  });
  ASSERT_EQ(master.Request(1, 4, 3, 1, kRequestRead, dst, 2, nullptr, 0), 1);
  EXPECT_EQ(Word(dst), 0x0A0B);
  ASSERT_EQ(master.Request(1, 3, 9, 1, kRequestRead, dst, 2, nullptr, 0), 1);
  EXPECT_EQ(Word(dst), 0x0C0D);
  ASSERT_EQ(master.Request(1, 16, 0x50, 2, kRequestMultipleWrite, dst, 2, Bytes{9, 8, 7, 6}.data(), 4), 1);
  EXPECT_EQ(Word(dst), 2);  // the quantity written
  ASSERT_EQ(master.Request(1, 16, 0x58, 1, kRequestMultipleWrite, dst, 2, Bytes{5, 4}.data(), 2), 1);
  EXPECT_EQ(Word(dst), 1);
  ASSERT_EQ(master.Request(1, 15, 0x60, 4, kRequestMultipleWrite, dst, 2, Bytes{0x0F}.data(), 1), 1);
  this->t_.WithMap([](modbus_mapping_t& m) {
    EXPECT_EQ(m.tab_registers[0x50], 0x0908);
    EXPECT_EQ(m.tab_registers[0x51], 0x0706);
    EXPECT_EQ(m.tab_registers[0x58], 0x0504);
    EXPECT_EQ(m.tab_bits[0x63], 1);
  });
}

TYPED_TEST(Libmodbus, TheLargestWritesAndReadsFitTheBuffers) {
  auto& master = this->t_.master;
  // 128 bytes (a parameter or output block) and 123 registers, the most one
  // request may write.
  for (int bytes : {128, 246}) {
    SCOPED_TRACE(bytes);
    Bytes data(static_cast<size_t>(bytes));
    for (int i = 0; i < bytes; ++i) data[static_cast<size_t>(i)] = static_cast<uint8_t>(i * 7 + bytes);
    const uint16_t quantity = static_cast<uint16_t>(bytes / 2);
    ASSERT_EQ(master.WriteRegisters(1, 16, 0x100, quantity, data.data(), bytes), 1);
    Bytes back(static_cast<size_t>(bytes));
    ASSERT_EQ(master.ReadRegisters(1, 3, 0x100, quantity, back.data(), bytes), 1);
    EXPECT_EQ(back, data);
  }
  Bytes big(300);
  EXPECT_EQ(master.ReadRegisters(1, 4, 0, 125, big.data(), 250), 1);
  EXPECT_EQ(master.WriteRegisters(1, 15, 0, 1968, big.data(), 246), 1);
  // More than any frame holds is refused unsent.
  EXPECT_EQ(master.WriteRegisters(1, 16, 0, 150, big.data(), 300), TypeParam::kBadParameter);
}

TYPED_TEST(Libmodbus, AnExceptionReplyGivesItsCodeForEveryRequestKind) {
  auto& master = this->t_.master;
  // libmodbus answers an address beyond its map with exception 2.
  uint8_t dst[4];
  EXPECT_EQ(master.ReadRegisters(1, 3, 0x4000, 2, dst, 4), -8002);
  EXPECT_EQ(master.WriteRegisters(1, 16, 0x4000, 1, Bytes{0, 1}.data(), 2), -8002);
  EXPECT_EQ(master.Request(1, 6, 0x4000, 0, kRequestSingleWrite, dst, 2, Bytes{0, 1}.data(), 2), -8002);
  EXPECT_EQ(master.Request(1, 4, 0x4000, 1, kRequestRead, dst, 2, nullptr, 0), -8002);
  // An answer, even a refusal, keeps the link.
  EXPECT_EQ(master.IsConnected(), 1);
  EXPECT_EQ(master.ReadRegisters(1, 4, 0, 1, dst, 2), 1);
}

// Each operation with the result it must have; what the operation writes
// is read back where the map shows it.
struct WireOperation {
  const char* name;
  std::function<int(Modbus&)> run;
  int result;
};

TYPED_TEST(Libmodbus, EveryOperationPutsOneRequestOnTheWire) {
  auto& master = this->t_.master;
  this->t_.WithMap([](modbus_mapping_t& m) {
    m.tab_bits[3] = 1;
    m.tab_input_registers[0x20] = 0x0000;  // two registers, the same answer
    m.tab_input_registers[0x21] = 0x0000;
  });
  uint8_t dst[8] = {};
  const auto write = [](uint16_t value) {
    return [value](Modbus& m) {
      const Bytes data = {static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value)};
      return m.WriteRegisters(1, 16, 0, 1, data.data(), 2);
    };
  };
  const WireOperation operations[] = {
      {"read of coil 3", [&](Modbus& m) { return m.ReadRegisters(1, 1, 3, 1, dst, 1); }, 1},
      {"write of 0x1234 at 0", write(0x1234), 1},
      {"write of 0x5678 at 0: the same reply bytes", write(0x5678), 1},
      {"write of 0x9ABC at 0", write(0x9ABC), 1},
      {"read of input register 0x20", [&](Modbus& m) { return m.ReadRegisters(1, 4, 0x20, 1, dst, 2); }, 1},
      {"read of input register 0x21: the same reply bytes",
       [&](Modbus& m) { return m.ReadRegisters(1, 4, 0x21, 1, dst, 2); }, 1},
      {"read of holding register 0", [&](Modbus& m) { return m.ReadRegisters(1, 3, 0, 1, dst, 2); }, 1},
      {"single coil write",
       [&](Modbus& m) { return m.Request(1, 5, 0x40, 0, kRequestSingleWrite, dst, 2, Bytes{0xFF, 0}.data(), 2); }, 1},
      {"single register write",
       [&](Modbus& m) { return m.Request(1, 6, 0x41, 0, kRequestSingleWrite, dst, 2, Bytes{0, 7}.data(), 2); }, 1},
      {"coil write", [&](Modbus& m) { return m.WriteRegisters(1, 15, 0x30, 4, Bytes{0x05}.data(), 1); }, 1},
      {"echo", [](Modbus& m) { return m.DiagEcho(1); }, 1},
      {"echo again: the same reply bytes", [](Modbus& m) { return m.DiagEcho(1); }, 1},
      {"refused read", [&](Modbus& m) { return m.ReadRegisters(1, 3, 0x4000, 1, dst, 2); }, -8002},
  };
  for (const WireOperation& op : operations) {
    const int before = this->t_.requests();
    EXPECT_EQ(op.run(master), op.result) << op.name;
    EXPECT_EQ(this->t_.requests() - before, 1) << op.name;
  }
  this->t_.WithMap([](modbus_mapping_t& m) {
    EXPECT_EQ(m.tab_registers[0], 0x9ABC) << "the last write";
    EXPECT_EQ(m.tab_registers[0x41], 7);
  });
}

}  // namespace
}  // namespace tessivar
