// The request side of the Modbus master interface: headers, retries, the
// commands that send nothing, log lines and the code texts.
#include "driver/modbus/modbus_master.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <stdexcept>

#include "driver/modbus/driver_serial_port.h"
#include "driver/modbus/driver_socket.h"
#include "driver/modbus/modbus_serial.h"
#include "driver/modbus/modbus_tcp.h"
#include "platform/serial/serial_device.h"
#include "tests/driver_modbus/peers.h"
#include "tests/support/test_support.h"

namespace tessivar {
namespace {

using qmx::test::Bytes;
using ::testing::_;
using ::testing::Return;

class MockMaster : public Modbus {
public:
  MockMaster() : Modbus("MockMaster") {}
  MOCK_METHOD(int, TxGetRxData, (const uint8_t*, int, uint8_t*, int, int), (override));
  MOCK_METHOD(int, TxCheckResult, (const uint8_t*, int, const uint8_t*, int), (override));
  MOCK_METHOD(int, TxGetRxDataEcho, (const uint8_t*, int, uint8_t*, int, int), (override));
  MOCK_METHOD(int, TxRequest, (const uint8_t*, int, int, uint8_t*, int, const uint8_t*, int), (override));
  MOCK_METHOD(int, CloseConnection, (), (override));
  MOCK_METHOD(int, DeleteConnection, (), (override));
  MOCK_METHOD(int, Reconnect, (), (override));
  MOCK_METHOD(int, IsConnected, (), (override));
  MOCK_METHOD(int, ScanDevice, (int, ScanHits&, int&, int), (override));
  void TransportErrorText(int code, std::string& text) const override { text = "transport " + std::to_string(code); }
  TransportKind Transport() const override { return TransportKind::kNone; }

protected:
  int BadParameterCode() const override { return -1; }
};

Bytes Header(const uint8_t* header, int length) { return Bytes(header, header + length); }

TEST(ModbusRequests, HeadersAreBuiltHighByteFirst) {
  MockMaster m;
  uint8_t dst[8] = {};
  EXPECT_CALL(m, TxGetRxData(_, 6, dst, 4, 0)).WillOnce([](const uint8_t* h, int n, uint8_t*, int, int) {
    EXPECT_EQ(Header(h, n), (Bytes{0x11, 0x04, 0x10, 0x02, 0x00, 0x02}));
    return 1;
  });
  EXPECT_EQ(m.ReadRegisters(0x11, 4, 0x1002, 2, dst, 4), 1);

  const uint8_t data[4] = {1, 2, 3, 4};
  EXPECT_CALL(m, TxCheckResult(_, 6, data, 4)).WillOnce([](const uint8_t* h, int n, const uint8_t*, int) {
    EXPECT_EQ(Header(h, n), (Bytes{0x01, 0x10, 0x28, 0x11, 0x00, 0x02}));
    return 1;
  });
  EXPECT_EQ(m.WriteRegisters(1, 16, 0x2811, 2, data, 4), 1);
}

TEST(ModbusRequests, GenericRequestSendsTheValueExceptForSingleWrites) {
  MockMaster m;
  uint8_t dst[4] = {};
  const uint8_t data[2] = {0xFF, 0x00};
  EXPECT_CALL(m, TxRequest(_, 4, kRequestSingleWrite, dst, 2, data, 2))
      .WillOnce([](const uint8_t* h, int n, int, uint8_t*, int, const uint8_t*, int) {
        EXPECT_EQ(Header(h, n), (Bytes{0x03, 0x05, 0x00, 0x07}));
        return 1;
      });
  EXPECT_EQ(m.Request(3, 5, 7, 0x1234, kRequestSingleWrite, dst, 2, data, 2), 1);

  for (int kind : {kRequestRead, kRequestMultipleWrite}) {
    EXPECT_CALL(m, TxRequest(_, 6, kind, dst, 2, nullptr, 0))
        .WillOnce([](const uint8_t* h, int n, int, uint8_t*, int, const uint8_t*, int) {
          EXPECT_EQ(Header(h, n), (Bytes{0x03, 0x03, 0x00, 0x07, 0x12, 0x34}));
          return -8002;
        });
    EXPECT_EQ(m.Request(3, 3, 7, 0x1234, kind, dst, 2, nullptr, 0), -8002);
  }
}

TEST(ModbusRequests, DiagnosticsUseFunction8) {
  struct Case {
    const char* name;
    std::function<int(Modbus&)> call;
    Bytes header;
    int logFlag;
  };
  const Case cases[] = {
      {"echo", [](Modbus& m) { return m.DiagEcho(9); }, {9, 8, 0x00, 0x00, 0xAB, 0xCD}, 0},
      {"restart", [](Modbus& m) { return m.DiagCmd(9, 0); }, {9, 8, 0x00, 0x01, 0x00, 0x00}, 1},
      {"clear counters", [](Modbus& m) { return m.DiagCmd(9, 1); }, {9, 8, 0x00, 0x0A, 0x00, 0x00}, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MockMaster m;
    EXPECT_CALL(m, TxGetRxDataEcho(_, 6, _, 2, c.logFlag)).WillOnce([&](const uint8_t* h, int n, uint8_t*, int, int) {
      EXPECT_EQ(Header(h, n), c.header);
      return 1;
    });
    EXPECT_EQ(c.call(m), 1);
  }
}

TEST(ModbusRequests, UnknownDiagnosticCommandSendsNothing) {
  MockMaster m;
  EXPECT_CALL(m, TxGetRxDataEcho(_, _, _, _, _)).Times(0);
  EXPECT_EQ(m.DiagCmd(1, 2), 0);
  EXPECT_EQ(m.DiagCmd(1, -1), 0);
}

TEST(ModbusRequests, FailedAttemptsRepeatUpToTheRetryCount) {
  MockMaster m;
  uint8_t dst[2];
  // One attempt by default.
  EXPECT_CALL(m, TxGetRxData(_, _, _, _, _)).WillOnce(Return(-9119));
  EXPECT_EQ(m.ReadRegisters(1, 4, 0, 1, dst, 2), -9119);

  m.SetRetryCount(3);
  EXPECT_CALL(m, TxGetRxData(_, _, _, _, _)).WillOnce(Return(-9119)).WillOnce(Return(-8013)).WillOnce(Return(1));
  EXPECT_EQ(m.ReadRegisters(1, 4, 0, 1, dst, 2), 1);
  EXPECT_CALL(m, TxCheckResult(_, _, _, _)).Times(3).WillRepeatedly(Return(-8007));
  EXPECT_EQ(m.WriteRegisters(1, 16, 0, 1, dst, 2), -8007);
  EXPECT_CALL(m, TxGetRxDataEcho(_, _, _, _, _)).WillOnce(Return(1));
  EXPECT_EQ(m.DiagEcho(1), 1);
}

TEST(ModbusRequests, LogLinesCarryTheObjectNameAndGoToTheOwner) {
  MockMaster m;
  m.Log(1, "dropped without an owner");
  qmx::test::RecordingOwner owner;
  m.SetOwner(&owner);
  m.Log(4, "hello");
  ASSERT_EQ(owner.Lines().size(), 1u);
  EXPECT_EQ(owner.Lines()[0], (std::pair<int, std::string>{4, " [MockMaster] hello"}));
  EXPECT_EQ(ModbusSerial().ObjectName(), "ModbusSerial");
  EXPECT_EQ(CModbusTCP().ObjectName(), "ModbusTCP");
}

TEST(ModbusErrorText, ModbusTableThenTheTransport) {
  MockMaster m;
  EXPECT_EQ(m.ErrorText(-8002), "[Modbus] Illegal data address. Check if data address or quantity is valid.");
  EXPECT_EQ(m.ErrorText(-8014), "[Modbus] Received data length is small.");
  EXPECT_EQ(m.ErrorText(-8008), "transport -8008");
  EXPECT_EQ(m.ErrorText(-9103), "transport -9103");

  // The masters' transports, also before any connection exists.
  EXPECT_EQ(CModbusTCP().ErrorText(-9104), "Ethernet Error. Code: -9104. Desc: Not connected. Operation is failed.");
  EXPECT_EQ(ModbusSerial().ErrorText(-9119), "Serial Error. Code: -9119. Desc: Read timeout.");
  EXPECT_EQ(ModbusSerial().ErrorText(-9100), "Cannot open port.");
  EXPECT_EQ(CModbusTCP().ErrorText(-8013), "[Modbus] Exception happens during communication.");
}

TEST(ModbusMasters, WithoutTransportEveryOperationSaysSo) {
  CModbusTCP tcp;
  ModbusSerial rtu;
  uint8_t dst[4];
  ScanHits hits;
  int counter = 0;
  for (Modbus* m : std::initializer_list<Modbus*>{&tcp, &rtu}) {
    SCOPED_TRACE(m->ObjectName());
    EXPECT_EQ(m->ReadRegisters(1, 3, 0, 2, dst, 4), kDrvNoInstance);
    EXPECT_EQ(m->WriteRegisters(1, 16, 0, 1, dst, 2), kDrvNoInstance);
    EXPECT_EQ(m->Request(1, 6, 0, 0, kRequestSingleWrite, dst, 2, dst, 2), kDrvNoInstance);
    EXPECT_EQ(m->DiagEcho(1), kDrvNoInstance);
    EXPECT_EQ(m->CloseConnection(), kDrvNoInstance);
    EXPECT_EQ(m->Reconnect(), kDrvNoInstance);
    EXPECT_EQ(m->IsConnected(), 0);
    EXPECT_EQ(m->ScanDevice(1, hits, counter, 10), kDrvNoInstance);
    EXPECT_EQ(m->DeleteConnection(), 1);
  }
}

// An exception inside a transaction (here from the abort check) is logged
// with the operation's name and answers -8013.
TEST(ModbusMasters, AnExceptionInATransactionIsLoggedAndAnswers8013) {
  qmx::test::RawTcpPeer peer([](const Bytes&) { return std::vector<qmx::test::PeerAction>{}; });
  ASSERT_TRUE(peer.Start());
  CModbusTCP tcp;
  TcpCommSetting tcpSetting;
  tcpSetting.ipAddress = "127.0.0.1";
  tcpSetting.port = peer.port();
  ASSERT_EQ(tcp.OpenConnection(tcpSetting, 0, 0), 1);
  // A port that does not open still leaves the master its port object.
  qmx::test::TempDir dir("qmx-guard");
  ::setenv(qmx::serial::kComDirVariable, dir.path().c_str(), 1);
  ModbusSerial rtu;
  ASSERT_EQ(rtu.OpenConnection(SerialCommSetting{}, 0, 0), kSerCannotOpen);
  ::unsetenv(qmx::serial::kComDirVariable);

  struct Case {
    Modbus* master;
    const char* line;
  };
  const Case cases[] = {
      {&tcp, " [ModbusTCP] Exception is happened. Cause: thrown. Func: ModbusTCP::TxGetRxData"},
      {&rtu, " [ModbusSerial] Exception is happened. Cause: thrown. Func: ModbusSerial::TxGetRxData"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.master->ObjectName());
    qmx::test::RecordingOwner owner;
    c.master->SetOwner(&owner);
    c.master->SetAbort([]() -> bool { throw std::runtime_error("thrown"); });
    uint8_t dst[2] = {};
    EXPECT_EQ(c.master->ReadRegisters(1, kFcReadInputRegisters, 0, 1, dst, 2), kMbException);
    EXPECT_THAT(owner.Lines(), ::testing::ElementsAre(std::pair<int, std::string>{DRV_LOG_ERROR, c.line}));
    c.master->SetAbort({});
    c.master->SetOwner(nullptr);
  }
}

TEST(ModbusMasters, EachTakesOnlyItsOwnSettingsBlock) {
  CModbusTCP tcp;
  ModbusSerial rtu;
  EXPECT_EQ(tcp.OpenConnection(SerialCommSetting{}, 0, 0), kSockBadParameter);
  EXPECT_EQ(rtu.OpenConnection(TcpCommSetting{}, 0, 0), kSerBadParameter);
}

TEST(TransactionIds, RunFromOneAndSkipZeroAndFFFF) {
  CModbusTCP tcp;
  EXPECT_EQ(tcp.NextTransactionId(), 1);
  EXPECT_EQ(tcp.NextTransactionId(), 2);
  tcp.SetTransactionId(0xFFFD);
  EXPECT_EQ(tcp.NextTransactionId(), 0xFFFE);
  EXPECT_EQ(tcp.NextTransactionId(), 1);
  tcp.SetTransactionId(0xFFFF);
  EXPECT_EQ(tcp.NextTransactionId(), 1);
}

TEST(DiscoverySettings, DefaultsAndParameters) {
  const TcpCommSetting d = DiscoverySettings();
  EXPECT_EQ(d.ipAddress, "255.255.255.255");
  EXPECT_EQ(d.port, 8000);
  EXPECT_EQ(d.localPort, 6012);
  EXPECT_EQ(d.socketType, DriverSocket::kDatagram);
  EXPECT_EQ(d.broadcast, 1);
  EXPECT_EQ(d.timeoutMs, 500);
  EXPECT_EQ(d.localName, "127.0.0.1");
  const TcpCommSetting p = DiscoverySettings("10.1.2.255", 18000);
  EXPECT_EQ(p.ipAddress, "10.1.2.255");
  EXPECT_EQ(p.port, 18000);
}

}  // namespace
}  // namespace tessivar
