// The driver object's channel: created for its comm type, the target of the
// master's log lines and ping results, and the source of the texts of the
// codes its driver object does not know.
#include <gtest/gtest.h>

#include <cstdlib>

#include "driver/driver_instance.h"
#include "driver/driver_library.h"
#include "driver/modbus_driver.h"
#include "platform/serial/serial_device.h"
#include "tests/driver/log_capture.h"
#include "tests/support/test_support.h"

namespace tessivar {
namespace {

using qmx::test::LogCapture;

class Channel : public ::testing::Test {
protected:
  void SetUp() override {
    DriverLibrary::Get().SetCallback(LogCapture::Callback);
    DriverLibrary::Get().SetSwitches(1, 1, 1, 1);
    LogCapture::Clear();
    instance_.SetChannelProperty("Line1", "Offline\t");
    driver_ = dynamic_cast<ModbusDriver*>(&instance_.Driver());
    ASSERT_NE(driver_, nullptr);
    LogCapture::Clear();
  }
  void TearDown() override {
    DriverLibrary::Get().SetSwitches(0, 0, 0, 0);
    DriverLibrary::Get().SetCallback(nullptr);
  }

  DriverInstance instance_;
  ModbusDriver* driver_ = nullptr;
};

TEST_F(Channel, TheChannelGivesTheTextsOfTheCodesBeyondTheDriverObject) {
  EXPECT_EQ(driver_->CommType(), kCommOffline);
  EXPECT_EQ(driver_->GetChannel(0), nullptr);
  EXPECT_EQ(instance_.VUSK_GetErrStr(-9119), "Undefined Error happens.");
  EXPECT_EQ(instance_.VUSK_GetErrStr(-8002), "Undefined Error happens.");

  // Every comm type other than TCP and UDP gets the RTU master.
  Modbus* channel = driver_->CreateChannel("Test");
  ASSERT_NE(channel, nullptr);
  EXPECT_EQ(driver_->GetChannel(0), channel);
  EXPECT_EQ(channel->Transport(), TransportKind::kSerial);
  EXPECT_EQ(instance_.VUSK_GetErrStr(-9119), "Serial Error. Code: -9119. Desc: Read timeout.");
  EXPECT_EQ(instance_.VUSK_GetErrStr(-8002),
            "[Modbus] Illegal data address. Check if data address or quantity is valid.");
  EXPECT_EQ(instance_.VUSK_GetErrStr(-7103), "Out of Memory.");
  EXPECT_EQ(instance_.VUSK_GetErrStr(-7004), "Device is not response.");

  // Closing with the close flag leaves nothing behind.
  EXPECT_EQ(driver_->GetChannel(1), nullptr);
  EXPECT_EQ(instance_.VUSK_GetErrStr(-9119), "Undefined Error happens.");
}

TEST_F(Channel, OpensWithItsSettingsBlock) {
  qmx::test::TempDir dir("qmx-channel");
  ::setenv(qmx::serial::kComDirVariable, dir.path().c_str(), 1);
  driver_->SerialSetting().comPort = 4;
  Modbus* channel = driver_->CreateChannel("Test");
  ASSERT_NE(channel, nullptr);
  EXPECT_EQ(driver_->OpenChannelObject(*channel, 0, 0), kSerCannotOpen);
  EXPECT_EQ(dynamic_cast<ModbusSerial&>(*channel).Port()->PortNumber(), 4);
  driver_->CloseChannel(1);
  EXPECT_EQ(driver_->GetChannel(0), nullptr);
  ::unsetenv(qmx::serial::kComDirVariable);
}

TEST_F(Channel, MasterLinesCarryTheInstanceNameAndTheObjectName) {
  Modbus* channel = driver_->CreateChannel("Test");
  ASSERT_NE(channel, nullptr);
  channel->Log(1, "Channel. Try reconnecting...");
  ASSERT_EQ(LogCapture::Lines().size(), 1u) << LogCapture::Dump();
  EXPECT_EQ(LogCapture::Lines()[0].level, 1);
  EXPECT_EQ(LogCapture::Lines()[0].text, "[Line1] [ModbusSerial] Channel. Try reconnecting...");
}

TEST_F(Channel, PingResultsAreLoggedAsTheChannelLines) {
  struct Case {
    int result;
    int level;
    const char* text;
  };
  const Case cases[] = {
      {1, 1, "[Line1] Ping test: Success. host: 10.0.0.5"},
      {2, 0, "[Line1] Ping test: Network is unstable. host: 10.0.0.5"},
      {-4, 0, "[Line1] Ping test: Failed. Host address is null. Error Code:-4."},
      {-3, 0, "[Line1] Ping test: Failed. Check network environment. host: 10.0.0.5. Error Code:-3."},
      {-11010, 0, "[Line1] Ping test: Failed. Check network environment. host: 10.0.0.5. Error Code:-11010."},
      {-1, 0, "[Line1] Ping test is unavailable. Cound not load ICMPDLL. host: 10.0.0.5. Error Code:-1."},
      {-11000, 0, "[Line1] Ping test is unavailable. Cound not load ICMPDLL. host: 10.0.0.5. Error Code:-11000."},
  };
  for (const Case& c : cases) {
    LogCapture::Clear();
    driver_->PingReport("10.0.0.5", c.result);
    ASSERT_EQ(LogCapture::Lines().size(), 1u) << c.result;
    EXPECT_EQ(LogCapture::Lines()[0].level, c.level) << c.result;
    EXPECT_EQ(LogCapture::Lines()[0].text, c.text);
  }
}

}  // namespace
}  // namespace tessivar
