#include "driver/result_codes.h"

#include <gtest/gtest.h>

#include "driver/modbus/driver_serial_port.h"
#include "driver/modbus/driver_socket.h"

namespace tessivar {
namespace {

struct ChainCase {
  int code;
  TransportKind channel;
  const char* text;
};

// One or more codes of every family, through the whole chain.
const ChainCase kChain[] = {
    // Level 1, the instance.
    {-7004, TransportKind::kSocket, "Device is not response."},
    {-7005, TransportKind::kSocket, "Not supported function"},
    {-7007, TransportKind::kSerial, "The operation does not work during RUNNING"},
    {-7008, TransportKind::kNone, "The operation does not work during STOP"},
    {-1, TransportKind::kSocket, "Undefined Error happens"},
    {-7100, TransportKind::kSocket, "Undefined Error happens"},
    {-7006, TransportKind::kNone, "Undefined Error happens"},
    // Level 2, the driver object.
    {-7101, TransportKind::kSocket, "Device index argument is invalid."},
    {-7102, TransportKind::kNone, "Driver instance is not created or Loader is not started."},
    {-7103, TransportKind::kSerial, "Out of Memory."},
    {-7104, TransportKind::kSocket, "The tag's write does not allowed."},
    {-7107, TransportKind::kSocket, "Ping test is fail. Check if network environment is normal."},
    {-7105, TransportKind::kNone, "Undefined Error happens."},
    {0, TransportKind::kNone, "Undefined Error happens."},
    // Level 3, the Modbus master.
    {-8001, TransportKind::kSocket, "[Modbus] Illegal function code."},
    {-8002, TransportKind::kSerial, "[Modbus] Illegal data address. Check if data address or quantity is valid."},
    {-8003, TransportKind::kSocket, "[Modbus] Illegal data value. Check if send data is valid."},
    {-8004, TransportKind::kSocket, "[Modbus] Network adapter failure."},
    {-8005, TransportKind::kSocket, "[Modbus] Network adapter has accepted the request and is processing."},
    {-8006, TransportKind::kSocket, "[Modbus] Network adapter busy."},
    {-8007, TransportKind::kSerial, "[Modbus] Node address mismatches."},
    {-8009, TransportKind::kSocket, "[Modbus] Function code mismatches."},
    {-8013, TransportKind::kSocket, "[Modbus] Exception happens during communication."},
    {-8014, TransportKind::kSocket, "[Modbus] Received data length is small."},
    // Level 4, the socket.
    {3, TransportKind::kSocket, "Ethernet Error. Code: 3. Desc: Warning. Reconnection does not need"},
    {-9101, TransportKind::kSocket, "Ethernet Error. Code: -9101. Desc: Function parameter is invalid."},
    {-9103, TransportKind::kSocket, "Ethernet Error. Code: -9103. Desc: Operation timeout."},
    {-9111, TransportKind::kSocket, "Ethernet Error. Code: -9111. Desc: Reconection failed, but will retry..."},
    {-9115, TransportKind::kSocket,
     "Ethernet Error. Code: -9115. Desc: Open success. But CommTest is failed. Check the channel/device setting "
     "or network"},
    {-10054, TransportKind::kSocket, "Ethernet Error. Code: -10054. Desc: Connection reset by peer."},
    {-10060, TransportKind::kSocket, "Ethernet Error. Code: -10060. Desc: Connection timed out."},
    {-10061, TransportKind::kSocket, "Ethernet Error. Code: -10061. Desc: Connection is refused."},
    {-10110, TransportKind::kSocket, "Ethernet Error. Code: -10110. Desc: No more results."},
    {-11004, TransportKind::kSocket, "Ethernet Error. Code: -11004. Desc: Valid name, no data record of requested type."},
    {-8008, TransportKind::kSocket, "Ethernet Error. Code: -8008. Desc: Undefined."},
    {1, TransportKind::kSocket, "Ethernet Error. Code: 1. Desc: Undefined."},
    // Level 4, the serial port.
    {-9100, TransportKind::kSerial, "Cannot open port."},
    {3, TransportKind::kSerial, "Serial Error. Code: 3. Desc: Warning. Reconnection does not need"},
    {-9103, TransportKind::kSerial, "Serial Error. Code: -9103. Desc: Cannot create OVERLAPPED structure's hEvent."},
    {-9105, TransportKind::kSerial, "Serial Error. Code: -9105. Desc: Write timeout."},
    {-9112, TransportKind::kSerial, "Serial Error. Code: -9112. Desc: Reconection failed, but will retry..."},
    {-9114, TransportKind::kSerial, "Serial Error. Code: -9114. Desc: Port is not opened."},
    {-9119, TransportKind::kSerial, "Serial Error. Code: -9119. Desc: Read timeout."},
    {-9109, TransportKind::kSerial, "Serial Error. Code: -9109. Desc: Undefined."},
    {-10054, TransportKind::kSerial, "Serial Error. Code: -10054. Desc: Undefined."},
};

TEST(ResultCodeText, EveryFamilyThroughTheChain) {
  for (const auto& c : kChain) {
    EXPECT_EQ(ResultCodeText(c.code, c.channel), c.text) << "code " << c.code;
  }
}

TEST(ResultCodeText, ModbusExceptionCodesMapToTheirTexts) {
  // A Modbus exception e in a reply becomes -8000 - e.
  for (int e : {1, 2, 3, 4, 5, 6}) {
    EXPECT_EQ(ResultCodeText(-8000 - e, TransportKind::kSocket).rfind("[Modbus] ", 0), 0u) << e;
  }
}

TEST(ResultCodeText, EverySocketErrorNumberHasItsOwnText) {
  const int defined[] = {10004, 10009, 10013, 10014, 10022, 10024, 10035, 10036, 10037, 10038, 10039, 10040,
                         10041, 10042, 10043, 10044, 10045, 10046, 10047, 10048, 10049, 10050, 10051, 10052,
                         10053, 10054, 10055, 10056, 10057, 10058, 10059, 10060, 10061, 10062, 10063, 10064,
                         10065, 10066, 10067, 10068, 10069, 10070, 10071, 10091, 10092, 10093, 10101, 10102,
                         10103, 10104, 10105, 10106, 10107, 10108, 10109, 10110, 10111, 10112, 11001, 11002,
                         11003, 11004};
  for (int n : defined) EXPECT_STRNE(DriverSocket::Description(-n), "Undefined.") << n;
  for (int code = -9115; code <= -9101; ++code) EXPECT_STRNE(DriverSocket::Description(code), "Undefined.") << code;
  EXPECT_STREQ(DriverSocket::Description(-10090), "Undefined.");
}

TEST(ResultCodeText, SerialTableHasNoGapsWhereCodesAreUsed) {
  for (int code : {-9102, -9103, -9104, -9105, -9106, -9107, -9108, -9110, -9111, -9112, -9113, -9114, -9119})
    EXPECT_STRNE(DriverSerialPort::Description(code), "Undefined.") << code;
  for (int code : {-9101, -9109, -9115, -9118}) EXPECT_STREQ(DriverSerialPort::Description(code), "Undefined.");
}

}  // namespace
}  // namespace tessivar
