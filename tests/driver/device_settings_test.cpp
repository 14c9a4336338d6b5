// The texts the main program hands to the driver: the channel property,
// the device property and the module list with its Init-CommBlock, parsed
// through the instance as drvSetChannelProperty, drvSetDeviceProperty and
// drvSetModuleList do, refusals with the lines that say why.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/Utility.h"
#include "driver/device_record.h"
#include "driver/driver_instance.h"
#include "driver/driver_library.h"
#include "driver/modbus_driver.h"
#include "tests/driver/log_capture.h"

namespace tessivar {
namespace {

using qmx::test::LogCapture;

class DriverTexts : public ::testing::Test {
protected:
  void SetUp() override {
    DriverLibrary::Get().SetCallback(&LogCapture::Callback);
    DriverLibrary::Get().SetSwitches(1, 1, 1, 1);
    LogCapture::Clear();
    driver_ = dynamic_cast<ModbusDriver*>(&instance_.Driver());
    ASSERT_NE(driver_, nullptr);
  }
  void TearDown() override {
    DriverLibrary::Get().SetCallback(nullptr);
    DriverLibrary::Get().SetSwitches(0, 0, 0, 0);
  }
  DeviceRecord Record(DeviceKey key) {
    DeviceRecord d;
    EXPECT_TRUE(driver_->Device(std::to_string(key), &d));
    return d;
  }

  DriverInstance instance_;
  ModbusDriver* driver_ = nullptr;
};

TEST_F(DriverTexts, ChannelPropertiesAndTheirRefusals) {
  struct Case {
    const char* text;
    int result;
    int commType;
    const char* refusal;  // the whole logged line, or null
  };
  const Case cases[] = {
      {"tcp\t10.0.0.7,,,,,,", 1, kCommTcp, nullptr},
      {"UDP\t,,,,,,1", 1, kCommUdp, nullptr},
      {"RS485\t3, 19200, 8, EVENPARITY, 0, 1000", 1, kCommRs485, nullptr},
      {"Offline\t", 1, kCommOffline, nullptr},
      {"CAN\t1,2", 0, kCommOffline, "[L]Invalid BusType. Contact the dealer. BusType: CAN."},
      {"TCP\t10.0.0.7,502", 0, kCommOffline,
       "[L]Parameter count of TcpCommSetting does not 7. Contact the dealer. CommPara: 10.0.0.7,502."},
      {"RS232C\t1,9600,8,NOPARITY,1", 0, kCommOffline,
       "[L]Parameter count of SerialCommSetting does not 6. Contact the dealer. CommPara: 1,9600,8,NOPARITY,1."},
      {"TCP\t10.0.0.7,5o2,,,,,", 0, kCommOffline,
       "[L]Field 2 of TcpCommSetting is not a number. Contact the dealer. CommPara: 10.0.0.7,5o2,,,,,."},
  };
  for (const Case& c : cases) {
    DriverInstance instance;
    auto& driver = dynamic_cast<ModbusDriver&>(instance.Driver());
    LogCapture::Clear();
    EXPECT_EQ(instance.SetChannelProperty("L", c.text), c.result) << c.text;
    EXPECT_EQ(driver.CommType(), c.commType) << c.text;
    if (c.refusal) {
      EXPECT_TRUE(LogCapture::Has(c.refusal)) << LogCapture::Dump();
    } else {
      EXPECT_TRUE(LogCapture::Lines().empty()) << LogCapture::Dump();
    }
  }
}

TEST_F(DriverTexts, SettingsBlocksTakeTheirFieldsOrTheDefaults) {
  ASSERT_EQ(instance_.SetChannelProperty("L", "TCP\t10.0.0.7,,,,,,"), 1);
  TcpCommSetting t = driver_->TcpSetting();
  EXPECT_EQ(t.ipAddress, "10.0.0.7");
  EXPECT_EQ(t.port, 502);
  EXPECT_EQ(t.timeoutMs, 250);
  EXPECT_EQ(t.localPort, 4322);
  EXPECT_EQ(t.field5Value, 5);
  EXPECT_EQ(t.reconnectPeriodS, 10);
  EXPECT_EQ(t.broadcast, 0);
  EXPECT_EQ(t.socketType, 0);

  ASSERT_EQ(instance_.SetChannelProperty("L", "UDP\t,1502,300,5000,6,20,1"), 1);
  t = driver_->TcpSetting();
  EXPECT_EQ(t.ipAddress, "127.0.0.1");
  EXPECT_EQ(t.socketType, 1) << "a stream connection like TCP, with its own code";
  EXPECT_EQ(t.port, 1502);
  EXPECT_EQ(t.field7Value, 1);
  EXPECT_EQ(t.broadcast, 0);

  ASSERT_EQ(instance_.SetChannelProperty("L", "RS485\t3,19200,8,EVENPARITY,0,1000"), 1);
  const SerialCommSetting s = driver_->SerialSetting();
  EXPECT_EQ(s.comPort, 3);
  EXPECT_EQ(s.baudRate, 19200);
  EXPECT_EQ(s.dataBits, 8);
  EXPECT_EQ(s.parityCode, 2);
  EXPECT_EQ(s.stopBitsCode, 0);
  EXPECT_EQ(s.timeoutMs, 1000);
  EXPECT_EQ(s.secondTimeoutMs, 500);
  // The TCP block keeps what it had; a refused text changes nothing.
  EXPECT_EQ(driver_->TcpSetting().port, 1502);
  EXPECT_EQ(instance_.SetChannelProperty("L", "TCP\t1.2.3.4,5"), 0);
  EXPECT_EQ(driver_->CommType(), kCommRs485);
  EXPECT_EQ(driver_->TcpSetting().ipAddress, "127.0.0.1");
}

TEST_F(DriverTexts, DevicePropertiesAndTheirRefusals) {
  ASSERT_EQ(instance_.SetChannelProperty("L", "RS485\t3,9600,8,NOPARITY,0,500"), 1);
  struct Case {
    const char* text;
    int result;
    const char* refusal;
  };
  const Case cases[] = {
      {"500\t0x4101,7", 1, nullptr},
      {"500\t16641, 7", 1, nullptr},
      {"500\t", 0, "[L]Invalid device parameter. Contact the dealer. Property: ."},
      {"500\t4101", 0, "[L]Invalid device parameter. Contact the dealer. Property: 4101."},
      {"500\t,3", 0, "[L]device Communication id is empty. Contact the dealer."},
      // Not a number: never node 0, the broadcast address of the line.
      {"500\t0x4101,abc", 0, "[L]Invalid node address. Contact the dealer. Property: 0x4101,abc."},
      {"500\t0x4101,", 0, "[L]Invalid node address. Contact the dealer. Property: 0x4101,."},
      {"500\t0x4101,300", 0, "[L]Invalid node address. Contact the dealer. Property: 0x4101,300."},
      {"500\tQMX,1", 0, "[L]Invalid device Communication id. Contact the dealer. Property: QMX,1."},
  };
  DeviceKey key = 100;
  for (const Case& c : cases) {
    LogCapture::Clear();
    EXPECT_EQ(instance_.SetDeviceProperty(++key, "QMX-4101", c.text), c.result) << c.text;
    if (c.refusal) {
      EXPECT_TRUE(LogCapture::Has(c.refusal)) << LogCapture::Dump();
      EXPECT_FALSE(driver_->Device(std::to_string(key), nullptr));
      EXPECT_EQ(instance_.SetDeviceProperty(key, "QMX-4101", "500\t0x4101,7"), 1) << "corrected after " << c.text;
    } else {
      const DeviceRecord d = Record(key);
      EXPECT_EQ(d.productCode, 0x4101);
      EXPECT_EQ(d.node, 7);
      EXPECT_EQ(driver_->SerialSetting().slaveAddress, 7);
    }
  }
  // A TCP adapter is added without a node address: unit id 0, not a refusal.
  ASSERT_EQ(instance_.SetChannelProperty("L", "TCP\t127.0.0.1,,,,,,"), 1);
  EXPECT_EQ(instance_.SetDeviceProperty(++key, "QMX-4101", "500\t0x4101,"), 1);
  EXPECT_EQ(Record(key).node, 0);
  EXPECT_EQ(instance_.SetDeviceProperty(++key, "QMX-4101", "500\t0x4101,abc"), 0);
}

TEST_F(DriverTexts, SpecialRegistersAndOwnChannelsFollowTheModel) {
  auto has = [this](DeviceKey key, const char* name) { return Record(key).Special(name) != nullptr; };
  ASSERT_EQ(instance_.SetChannelProperty("L", "TCP\t127.0.0.1,,,,,,"), 1);
  ASSERT_EQ(instance_.SetDeviceProperty(1, "KA-4511", "500\t1,1"), 1);
  ASSERT_EQ(instance_.SetDeviceProperty(2, "KA-4512", "500\t1,1"), 1);
  ASSERT_EQ(instance_.SetDeviceProperty(3, "QMX-4101", "500\t1,1"), 1);
  ASSERT_EQ(instance_.SetDeviceProperty(4, "dm-t640", "500\t1,1"), 1);
  EXPECT_FALSE(has(1, "SerialconnectionMethod"));
  EXPECT_TRUE(has(2, "SerialconnectionMethod"));
  EXPECT_EQ(Record(2).Special("GatewayAddress")->address, 0x1604);
  EXPECT_EQ(Record(3).Special("GatewayAddress")->address, 0x1052);
  EXPECT_FALSE(has(3, "RTC"));
  EXPECT_EQ(Record(3).specials.size(), 23u);

  const DeviceRecord fixed = Record(4);
  EXPECT_EQ(fixed.ownInputs.size() + fixed.ownOutputs.size(), 22u);
  EXPECT_EQ(fixed.inputWordBase, 9);
  EXPECT_EQ(fixed.outputBitBase, 4192);

  // The label of the module list's adapter entry does not change the model.
  const ModuleListEntry adapter{1, "NA", "KA-4511 my pump station", 0, "", "", 0, 0, ""};
  ASSERT_EQ(instance_.SetModuleList(3, &adapter, 1), 1);
  EXPECT_EQ(Record(3).model, "QMX-4101");
  EXPECT_EQ(Record(3).name, "KA-4511 my pump station");
}

TEST_F(DriverTexts, TheInitCommBlockNamesKnownRegistersWithTheirTypeAndSize) {
  ASSERT_EQ(instance_.SetChannelProperty("L", "TCP\t127.0.0.1,,,,,,"), 1);
  ASSERT_EQ(instance_.SetDeviceProperty(1, "QMX-4101", "500\t1,1"), 1);
  auto block = [this](const char* text) {
    const ModuleListEntry adapter{1, "NA", "QMX-4101", 4, text, "", 0, 0, ""};
    LogCapture::Clear();
    EXPECT_EQ(instance_.SetModuleList(1, &adapter, 1), 1);
    return Record(1);
  };
  DeviceRecord d = block("BusStatus,ByteArea,2\tFieldPwrStatus,ByteArea,2");
  ASSERT_EQ(d.commInit.size(), 2u);
  EXPECT_EQ(d.images[DRV_IMAGE_COMMINIT].size(), 4u);
  EXPECT_EQ(d.statusOffset, 0);
  EXPECT_EQ(d.fieldPowerOffset, 2);
  EXPECT_EQ(d.images[DRV_IMAGE_PARA].size(), 4u);

  const char* bad = "WatchdogTime,Unsigned16,1\tInputMode,Unsigned16,2\tOutputMode,Unsigned16,1";
  d = block(bad);
  ASSERT_EQ(d.commInit.size(), 1u) << "the entries before the bad one stay";
  EXPECT_EQ(d.commInit[0].name, "WatchdogTime");
  EXPECT_TRUE(LogCapture::Has(std::string("[L] Invalid Init-CommBlock. Contact the dealer. Block: ") + bad + "."))
      << LogCapture::Dump();
  d = block("");
  EXPECT_TRUE(d.commInit.empty());
  EXPECT_EQ(d.statusOffset, -1);
}

TEST_F(DriverTexts, AModuleListThatCannotBeLaidOutLeavesTheDeviceAsItWas) {
  ASSERT_EQ(instance_.SetChannelProperty("L", "TCP\t127.0.0.1,,,,,,"), 1);
  ASSERT_EQ(instance_.SetDeviceProperty(1, "QMX-4101", "500\t1,1"), 1);
  const ModuleListEntry good[] = {{0x4101, "NA", "QMX-4101", 4, "", "", 0, 0, ""},
                                  {0x1808, "IO", "QMX-1808", 2, "", "", 1, 0, "NDI,8,1,0,8,0,3,DI,1"}};
  ASSERT_EQ(instance_.SetModuleList(1, good, 2), 1);
  ASSERT_EQ(Record(1).modules.size(), 1u);
  struct Case {
    const char* line;
    const char* reason;
  };
  const Case cases[] = {
      {"NDI,8,0,0,8,0,3,DI,1", "a module with bits has channels of 0 bits"},
      {"NDI,8,1,0,8,0,3,DI", "the module line has fewer than 9 fields"},
      {"NDI,8,1,0,eight,0,3,DI,1", "field 5 of the module line is not a number"},
  };
  for (const Case& c : cases) {
    const ModuleListEntry list[] = {good[0], {0x1808, "IO", "Inputs", 2, "", "", 1, 0, c.line},
                                    {0x1808, "IO", "More", 2, "", "", 1, 0, "NDI,8,1,0,8,0,3,DI,2"}};
    LogCapture::Clear();
    EXPECT_EQ(instance_.SetModuleList(1, list, 3), 0) << c.line;
    EXPECT_TRUE(LogCapture::Has(StrFormat("[L] Invalid module line. Contact the dealer. Module: Inputs. Reason: %s. "
                                          "Line: %s.",
                                          c.reason, c.line)))
        << LogCapture::Dump();
    EXPECT_EQ(Record(1).modules.size(), 1u);
  }
  EXPECT_EQ(instance_.SetModuleList(99, good, 2), 0) << "no schedule entry";
}

// The model families decide the image layout and the local answers: by the
// whole name, or by its first 7 characters, in exact case or not.
TEST(ModelFamilies, AreToldByTheWholeNameOrItsHead) {
  struct Case {
    const char* model;
    bool fixedIo, split, localAnswers;
  };
  const Case cases[] = {
      {"DM-T640", true, false, false},      {"dm2-t640", true, false, false},
      {"DM-T6400", false, false, false},    {"KA-4470", false, true, false},
      {"KA-4470-R2", false, true, false},   {"ka-4470", false, false, false},
      {"kX-4470 rev", false, true, false},  {"KX-447", false, false, false},
      {"KA-4511", false, false, true},      {"KA-4513 x", false, false, true},
      {"ka-4511", false, false, false},     {"QMX-4101", false, false, false},
      {"", false, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.model);
    EXPECT_EQ(IsFixedIoModel(c.model), c.fixedIo);
    EXPECT_EQ(IsSplitModel(c.model), c.split);
    EXPECT_EQ(HasLocalAnswers(c.model), c.localAnswers);
  }
}

}  // namespace
}  // namespace tessivar
