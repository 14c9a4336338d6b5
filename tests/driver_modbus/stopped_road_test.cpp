// The stopped road end to end: a driver instance configured with the texts
// and module list the main program sends for a catalogue station, reading
// and writing the device simulator over "TCP", over the "UDP" bus type (a
// stream connection like "TCP") and over RTU on a socat pty pair. What
// arrives is checked through the simulator's control commands and history.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "common/Utility.h"
#include "driver/driver_instance.h"
#include "driver/driver_library.h"
#include "driver/modbus_driver.h"
#include "platform/serial/serial_device.h"
#include "tests/driver/log_capture.h"
#include "tests/support/test_support.h"
#include "tools/simulator/testing/simulator_process.h"

namespace tessivar {
namespace {

using qmx::sim::SimulatorProcess;
using qmx::test::LogCapture;
using Bytes = std::vector<uint8_t>;

constexpr DeviceKey kKey = 5;

// What the main program sends for QMX-4101 with QMX-1808, QMX-2808,
// QMX-3404, QMX-4402 and the power module QMX-7016 (no communication).
// Input image: 1808 (1 byte), 3404 (8 bytes); output image: 2808 (1 byte),
// 4402 (4 bytes); parameters: adapter 4, then 2, 2, 4, 2 bytes.
const char* const kInitBlock =
    "ExpansionSlotNo,Unsigned16,1\tBusStatus,ByteArea,2\tInputMode,Unsigned16,1\tWatchdogTime,Unsigned16,1";

std::vector<ModuleListEntry> Entries(uint16_t adapterCode = 0x4101) {
  return {{adapterCode, "NA", "Station A", 4, kInitBlock, "", 0, 0, ""},
          {0x1808, "IO", "QMX-1808", 2, "", "", 1, 0, "NDI,8,1,0,8,0,3,DI,1"},
          {0x2808, "IO", "QMX-2808", 2, "", "", 0, 1, "NDO,8,0,1,0,8,4,DO,2"},
          {0x3404, "IO", "QMX-3404", 4, "", "", 8, 0, "NAI,A,16,0,64,0,5,AI,3"},
          {0x4402, "IO", "QMX-4402", 2, "", "", 0, 4, "NAO,A,0,16,0,32,6,AO,4"},
          {0x7016, "IO", "QMX-7016", 0, "", "", 0, 0, "NPW,8,0,0,0,0,7,,-1"}};
}

const std::vector<std::string> kStation = {"--model", "QMX-4101", "--modules",
                                           "QMX-1808,QMX-2808,QMX-3404,QMX-4402,QMX-7016", "--freeze"};

std::string Hex(const uint8_t* p, size_t n) {
  static const char* digits = "0123456789ABCDEF";
  std::string s;
  for (size_t i = 0; i < n; ++i) {
    s += digits[p[i] >> 4];
    s += digits[p[i] & 15];
  }
  return s;
}

enum class Bus { Tcp, Udp, Rtu };

class StoppedRoad : public ::testing::TestWithParam<Bus> {
protected:
  void SetUp() override {
    DriverLibrary::Get().SetCallback(&LogCapture::Callback);
    DriverLibrary::Get().SetSwitches(1, 1, 1, 1);
    std::vector<std::string> args = kStation;
    std::string channel;
    if (GetParam() == Bus::Rtu) {
      ::setenv(qmx::serial::kComDirVariable, dir_.path().c_str(), 1);
      line_ = std::make_unique<qmx::sim::PtyPair>(dir_.path());
      if (!line_->Start()) GTEST_SKIP() << "no pty pair: " << line_->error();
      args.insert(args.end(), {"--rtu", line_->peer().string(), "--serial", "19200,8,N,1", "--nodes", "1"});
      channel = "RS485\t7,19200,8,NOPARITY,0,300";
      prefix_ = "[Port:7, Node:1]";
    } else {
      args.insert(args.end(), {"--tcp", "127.0.0.1:0"});
    }
    sim_ = std::make_unique<SimulatorProcess>(args);
    ASSERT_TRUE(sim_->Start()) << sim_->error();
    if (GetParam() != Bus::Rtu)
      channel = std::string(GetParam() == Bus::Tcp ? "TCP" : "UDP") + "\t127.0.0.1," +
                std::to_string(sim_->port()) + ",500,,,,";
    ASSERT_EQ(instance_.SetChannelProperty("Line", channel.c_str()), 1);
    ASSERT_EQ(instance_.SetDeviceProperty(kKey, "QMX-4101", "500\t0x4101,1"), 1);
    const auto entries = Entries();
    ASSERT_EQ(instance_.SetModuleList(kKey, entries.data(), static_cast<int>(entries.size())), 1);
    ASSERT_TRUE(sim_->Ok("history clear"));
    LogCapture::Clear();
  }
  void TearDown() override {
    sim_.reset();
    line_.reset();
    ::unsetenv(qmx::serial::kComDirVariable);
    DriverLibrary::Get().SetCallback(nullptr);
    DriverLibrary::Get().SetSwitches(0, 0, 0, 0);
  }

  // A history entry as the simulator writes it: transport (the "UDP" bus
  // type is a stream connection too), unit 1, function, address, quantity.
  std::string Entry(int function, int address, int quantity) const {
    return StrFormat("%c/01/%02X/%04X/%04X", GetParam() == Bus::Rtu ? 'R' : 'T', function, address, quantity);
  }
  std::string History() { return sim_->Command("history"); }
  // The line as the instance logs it: name, the device prefix, the text.
  std::string Line(const std::string& text) const { return "[Line]" + prefix_ + " " + text; }

  qmx::test::TempDir dir_{"qmx-road"};
  std::unique_ptr<qmx::sim::PtyPair> line_;
  std::unique_ptr<SimulatorProcess> sim_;
  DriverInstance instance_;
  std::string prefix_;
};

TEST_P(StoppedRoad, InputsAndOutputsInEveryLayout) {
  ASSERT_TRUE(sim_->Ok("input 1 A5"));
  ASSERT_TRUE(sim_->Ok("input 3 0102030405060708"));
  uint8_t in[16] = {};
  ASSERT_EQ(instance_.Read(kKey, -1, DRV_IMAGE_INPUT, in), 1) << LogCapture::Dump();
  EXPECT_EQ(Hex(in, 9), "A50102030405060708");
  uint8_t one[8] = {};
  ASSERT_EQ(instance_.Read(kKey, 3, DRV_IMAGE_INPUT, one), 1);
  EXPECT_EQ(Hex(one, 8), "0102030405060708");
  EXPECT_NE(History().find(Entry(4, 0x1114, 1)), std::string::npos) << "the mode is read first";

  // The adapter's modes change behind the driver's back: it reads them and
  // finds the data behind the status word, packed or not.
  for (const char* mode : {"mode 0 0", "mode 1 1", "mode 3 1"}) {
    SCOPED_TRACE(mode);
    ASSERT_TRUE(sim_->Ok(mode));
    std::fill(std::begin(in), std::end(in), 0);
    ASSERT_EQ(instance_.Read(kKey, -1, DRV_IMAGE_INPUT, in), 1) << LogCapture::Dump();
    EXPECT_EQ(Hex(in, 9), "A50102030405060708");
  }
  EXPECT_TRUE(LogCapture::Has(Line("Input image mode is changed. Old:2. New:0. Func: GetAssignProcessImgMode.")))
      << LogCapture::Dump();
  ASSERT_TRUE(sim_->Ok("mode 2 0"));

  // Outputs: coils at the module's place, word order kept in the images.
  ASSERT_TRUE(sim_->Ok("history clear"));
  EXPECT_EQ(instance_.WriteByte(kKey, 2, DRV_IMAGE_OUTPUT, Bytes{0x5A}.data(), 0, 1), 1) << LogCapture::Dump();
  EXPECT_EQ(instance_.WriteByte(kKey, 4, DRV_IMAGE_OUTPUT, Bytes{0x34, 0x12, 0x78, 0x56}.data(), 0, 4), 1);
  EXPECT_EQ(sim_->Command("get output 2"), "OK 5A");
  EXPECT_EQ(sim_->Command("get output 4"), "OK 34127856");
  const std::string history = History();
  EXPECT_NE(history.find(Entry(15, 4096, 8)), std::string::npos) << history;
  EXPECT_NE(history.find(Entry(15, 4104, 32)), std::string::npos) << history;
  uint8_t out[8] = {};
  ASSERT_EQ(instance_.Read(kKey, -1, DRV_IMAGE_OUTPUT, out), 1);
  EXPECT_EQ(Hex(out, 5), "5A34127856");
  ASSERT_EQ(instance_.Read(kKey, 4, DRV_IMAGE_OUTPUT, out), 1);
  EXPECT_EQ(Hex(out, 4), "34127856");
  EXPECT_NE(History().find(Entry(3, 2048, 3)), std::string::npos) << "byte 1 lies in register 2048";

  // The adapter's block: the whole output image from coil 4096.
  EXPECT_EQ(instance_.WriteByte(kKey, 0, DRV_IMAGE_OUTPUT, Bytes{0x01, 0xAA, 0xBB, 0xCC, 0xDD}.data(), 0, 5), 1);
  EXPECT_EQ(sim_->Command("get output 2"), "OK 01");
  EXPECT_EQ(sim_->Command("get output 4"), "OK AABBCCDD");

  // Longer than the module: cut to the module's own byte, and said so.
  LogCapture::Clear();
  EXPECT_EQ(instance_.WriteByte(kKey, 2, DRV_IMAGE_OUTPUT, Bytes{0x3C, 0x11, 0x22}.data(), 0, 3), 1);
  EXPECT_EQ(sim_->Command("get output 2"), "OK 3C");
  EXPECT_EQ(sim_->Command("get output 4"), "OK AABBCCDD") << "the neighbour is not written";
  EXPECT_EQ(LogCapture::Matching("Output data longer than the module is cut. Target IO: 2. Length: 3 bytes. "
                                 "Written: 8 bits. Func: WriteOutput")
                .size(),
            1u)
      << LogCapture::Dump();
  EXPECT_EQ(instance_.WriteByte(kKey, 2, DRV_IMAGE_OUTPUT, Bytes{0x3D}.data(), 0, 1), 1);
  EXPECT_EQ(LogCapture::Lines().size(), 1u) << "a write that fits is not reported";
}

TEST_P(StoppedRoad, ParametersCommInitAndDiagnostics) {
  EXPECT_EQ(instance_.WriteByte(kKey, 3, DRV_IMAGE_PARA, Bytes{1, 2, 3, 4}.data(), 0, 4), 1) << LogCapture::Dump();
  EXPECT_EQ(instance_.WriteByte(kKey, 0, DRV_IMAGE_PARA, Bytes{9, 8, 7, 6}.data(), 0, 4), 1);
  EXPECT_EQ(sim_->Command("get para 3"), "OK 02010403") << "high byte first on the wire";
  EXPECT_EQ(sim_->Command("get para 0"), "OK 08090607");
  EXPECT_EQ(History().find("/111A/"), std::string::npos) << "no parameter session for this product code";
  EXPECT_NE(History().find(Entry(16, 0x2051, 2)), std::string::npos) << History();
  uint8_t para[16] = {};
  ASSERT_EQ(instance_.Read(kKey, -1, DRV_IMAGE_PARA, para), 1) << LogCapture::Dump();
  EXPECT_EQ(Hex(para, 4), "09080706");
  EXPECT_EQ(Hex(para + 8, 4), "01020304") << "behind the adapter and modules 1 and 2";

  uint8_t comm[8] = {};
  ASSERT_EQ(instance_.Read(kKey, 0, DRV_IMAGE_COMMINIT, comm), 1) << LogCapture::Dump();
  EXPECT_EQ(Hex(comm, 8), "0500000002000000");
  ASSERT_TRUE(sim_->Ok("history clear"));
  const Bytes init = {0x05, 0x00, 0x01, 0x00, 0x03, 0x00, 0xF4, 0x01};
  EXPECT_EQ(instance_.WriteByte(kKey, 0, DRV_IMAGE_COMMINIT, init.data(), 0, 8), 1) << LogCapture::Dump();
  EXPECT_EQ(sim_->Command("read 0x1114 1"), "OK 0003");
  EXPECT_EQ(sim_->Command("read 0x1020 1"), "OK 01F4");
  const std::string history = History();
  EXPECT_EQ(history.find(Entry(16, 0x1110, 1)), std::string::npos) << "read-only registers are not written";
  EXPECT_NE(history.find(Entry(16, 0x1020, 1)), std::string::npos) << history;

  ASSERT_TRUE(sim_->Ok("history clear"));
  EXPECT_EQ(instance_.SendSpecialCmd(kKey, 1), 1);
  EXPECT_NE(History().find("/08/000A/"), std::string::npos) << History();
  EXPECT_EQ(instance_.SendSpecialCmd(kKey, 2), 0);
  EXPECT_EQ(sim_->Command("history").substr(0, 4), "OK 1") << "command 2 sends nothing";
}

TEST_P(StoppedRoad, FailuresGiveTheirCodesAndTheWalkGoesOn) {
  ASSERT_TRUE(sim_->Ok("fault exception=2,fc=4,once"));
  uint8_t para[16] = {};
  EXPECT_EQ(instance_.WriteByte(kKey, 3, DRV_IMAGE_PARA, Bytes{1, 2, 3, 4}.data(), 0, 4), 1);
  EXPECT_EQ(instance_.Read(kKey, -1, DRV_IMAGE_PARA, para), 0) << "one part failed";
  EXPECT_TRUE(LogCapture::Has(Line("Cannot read. Parameters. Size: 4. ErrCode: -8002. Desc: [Modbus] Illegal data "
                                   "address. Check if data address or quantity is valid.")))
      << LogCapture::Dump();
  EXPECT_EQ(Hex(para + 8, 4), "01020304") << "the modules after the failure were read";

  ASSERT_TRUE(sim_->Ok("fault exception=11,fc=3,once"));
  uint8_t out[8] = {};
  EXPECT_EQ(instance_.Read(kKey, 2, DRV_IMAGE_OUTPUT, out), 0);
  EXPECT_TRUE(LogCapture::Has(Line("Cannot read. Output. Slot No: 2. ErrCode: -8015. Desc: [Modbus] Network "
                                   "adapter answered with exception 11.")))
      << LogCapture::Dump();

  ASSERT_TRUE(sim_->Ok("fault wrong-unit,fc=3,once"));
  EXPECT_EQ(instance_.Read(kKey, 4, DRV_IMAGE_OUTPUT, out), 0);
  EXPECT_TRUE(LogCapture::Has(Line("Cannot read. Output. Slot No: 4. ErrCode: -8007. Desc: [Modbus] Node address "
                                   "mismatches.")))
      << LogCapture::Dump();

  ASSERT_TRUE(sim_->Ok("fault silence,fc=15,once"));
  const int timeout = GetParam() == Bus::Rtu ? -9119 : -9103;
  EXPECT_EQ(instance_.WriteByte(kKey, 2, DRV_IMAGE_OUTPUT, Bytes{0x0F}.data(), 0, 1), timeout);
  EXPECT_EQ(LogCapture::Matching("Cannot write. Output. Target IO: 2. ErrCode: " + std::to_string(timeout)).size(),
            1u)
      << LogCapture::Dump();
  EXPECT_EQ(instance_.WriteByte(kKey, 2, DRV_IMAGE_OUTPUT, Bytes{0x0F}.data(), 0, 1), 1) << "the next call works";

  // Arguments the road has no register for.
  LogCapture::Clear();
  EXPECT_EQ(instance_.Read(kKey, 0, DRV_IMAGE_STATUS, out), 0);
  EXPECT_TRUE(LogCapture::Has(Line("Unsupport argument. Src: 5. Func: VUSK_Read"))) << LogCapture::Dump();
  EXPECT_EQ(instance_.Read(kKey, 0, DRV_IMAGE_INPUT, out), 0);
  EXPECT_TRUE(LogCapture::Has(Line("Unsupport argument. lModID: COMM_NA. m_wIOSizeIn<=0. Func: ReadInput")));
  EXPECT_EQ(instance_.Read(kKey, 2, DRV_IMAGE_COMMINIT, out), 0);
  EXPECT_EQ(instance_.WriteByte(kKey, -1, DRV_IMAGE_PARA, out, 0, 2), 0);
  EXPECT_TRUE(LogCapture::Has(Line("Unsupport argument. lModID: COMM_NA_IOS. Func: WriteParas")));

  // A device the schedule knows and the driver object does not.
  EXPECT_EQ(instance_.SetDeviceProperty(6, "QMX-4101", "500\t0x4101,x"), 0);
  EXPECT_EQ(instance_.Read(6, 0, DRV_IMAGE_PARA, out), DRV_ERR_DEVICE);
  EXPECT_TRUE(LogCapture::Has("[Line]Device index argument is invalid.. Func: VUSK_Read")) << LogCapture::Dump();

  // Removed: gone from both.
  EXPECT_EQ(instance_.RemoveDevice(kKey), 1);
  EXPECT_TRUE(LogCapture::Has(Line("Device instance is removed. Name: QMX-4101."))) << LogCapture::Dump();
  EXPECT_EQ(instance_.Read(kKey, 0, DRV_IMAGE_PARA, out), 0);
}

TEST_P(StoppedRoad, AReplyThatComesTooLateIsNotTakenByTheNextCall) {
  // Later than the read time-out (RTU 300 ms, TCP 500 ms), earlier than twice it.
  const int delay = GetParam() == Bus::Rtu ? 400 : 700;
  ASSERT_TRUE(sim_->Ok("fault delay=" + std::to_string(delay) + ",fc=3,once"));
  uint8_t out[8] = {};
  EXPECT_EQ(instance_.Read(kKey, 2, DRV_IMAGE_OUTPUT, out), 0);
  ASSERT_TRUE(sim_->Ok("set output 2 77"));
  LogCapture::Clear();
  // The next call opens a channel of its own; its first request (the mode
  // register) must not be answered by the late reply.
  ASSERT_EQ(instance_.Read(kKey, 2, DRV_IMAGE_OUTPUT, out), 1) << LogCapture::Dump();
  EXPECT_EQ(out[0], 0x77);
  EXPECT_TRUE(LogCapture::Matching("ImgMode").empty()) << LogCapture::Dump();
}

INSTANTIATE_TEST_SUITE_P(Buses, StoppedRoad, ::testing::Values(Bus::Tcp, Bus::Udp, Bus::Rtu),
                         [](const ::testing::TestParamInfo<Bus>& info) {
                           return info.param == Bus::Tcp ? "Tcp" : (info.param == Bus::Udp ? "Udp" : "Rtu");
                         });

class StoppedRoadTcp : public StoppedRoad {};

TEST_P(StoppedRoadTcp, ModuleParametersOfThe8040GoThroughTheCommandRegisterOverTcpOnly) {
  const auto entries = Entries(0x8040);
  ASSERT_EQ(instance_.SetModuleList(kKey, entries.data(), static_cast<int>(entries.size())), 1);
  ASSERT_TRUE(sim_->Ok("history clear"));
  EXPECT_EQ(instance_.WriteByte(kKey, 3, DRV_IMAGE_PARA, Bytes{1, 2, 3, 4}.data(), 0, 4), 1) << LogCapture::Dump();
  const std::string history = History();
  if (GetParam() == Bus::Tcp) {
    EXPECT_NE(history.find(Entry(16, 0x111A, 1) + " " + Entry(16, 0x2051, 2) + " " + Entry(16, 0x111A, 1)),
              std::string::npos)
        << history;
  } else {
    EXPECT_EQ(history, "OK 1 " + Entry(16, 0x2051, 2));
  }
}

TEST_P(StoppedRoadTcp, AChannelThatCannotOpenAndAnOfflineChannel) {
  ASSERT_EQ(instance_.SetChannelProperty("Line", "TCP\t127.0.0.1,1,200,,,,"), 1);
  uint8_t buffer[16] = {};
  EXPECT_EQ(instance_.Read(kKey, -1, DRV_IMAGE_INPUT, buffer), 0);
  EXPECT_EQ(LogCapture::Matching("[Line] Open connection is failed. Because Ethernet Error.").size(), 1u)
      << LogCapture::Dump();
  EXPECT_EQ(LogCapture::Matching("Func: ReadInput").size(), 1u);

  ASSERT_EQ(instance_.SetChannelProperty("Line", "Offline\t"), 1);
  LogCapture::Clear();
  EXPECT_EQ(instance_.Read(kKey, -1, DRV_IMAGE_INPUT, buffer), 0);
  EXPECT_EQ(instance_.WriteByte(kKey, 2, DRV_IMAGE_OUTPUT, buffer, 0, 1), 0);
  EXPECT_EQ(LogCapture::Matching("[Line]Communication drive does not supprt online functions").size(), 2u)
      << LogCapture::Dump();
}

INSTANTIATE_TEST_SUITE_P(Buses, StoppedRoadTcp, ::testing::Values(Bus::Tcp, Bus::Udp),
                         [](const ::testing::TestParamInfo<Bus>& info) {
                           return info.param == Bus::Tcp ? "Tcp" : "Udp";
                         });

// Stations of the other model families, over TCP.
class ModelRoad : public ::testing::Test {
protected:
  void SetUp() override {
    DriverLibrary::Get().SetCallback(&LogCapture::Callback);
    DriverLibrary::Get().SetSwitches(1, 1, 1, 1);
  }
  void TearDown() override {
    sim_.reset();
    DriverLibrary::Get().SetCallback(nullptr);
    DriverLibrary::Get().SetSwitches(0, 0, 0, 0);
  }
  void Start(const std::string& model, const std::string& modules, const std::vector<ModuleListEntry>& entries) {
    sim_ = std::make_unique<SimulatorProcess>(
        std::vector<std::string>{"--model", model, "--modules", modules, "--freeze", "--tcp", "127.0.0.1:0"});
    ASSERT_TRUE(sim_->Start()) << sim_->error();
    const std::string channel = "TCP\t127.0.0.1," + std::to_string(sim_->port()) + ",500,,,,";
    ASSERT_EQ(instance_.SetChannelProperty("M", channel.c_str()), 1);
    ASSERT_EQ(instance_.SetDeviceProperty(kKey, model.c_str(), "500\t1,1"), 1);
    ASSERT_EQ(instance_.SetModuleList(kKey, entries.data(), static_cast<int>(entries.size())), 1);
    ASSERT_TRUE(sim_->Ok("history clear"));
    LogCapture::Clear();
  }

  std::unique_ptr<SimulatorProcess> sim_;
  DriverInstance instance_;
};

TEST_F(ModelRoad, AFixedIoAdapterKeepsItsOwnChannelsAheadOfTheStatusWord) {
  Start("DM-T640", "DI8,DO8",
        {{1, "NA", "My DM", 0, "", "", 18, 12, ""},
         {0x1108, "IO", "DI8", 2, "", "", 1, 0, "DI,8,1,0,8,0,3,DI,1"},
         {0x2108, "IO", "DO8", 2, "", "", 0, 1, "DO,8,0,1,0,8,4,DO,2"}});
  const std::string own = "0102030405060708090A0B0C0D0E0F101112";
  ASSERT_TRUE(sim_->Ok("input 0 " + own));
  ASSERT_TRUE(sim_->Ok("input 1 C3"));
  for (const char* mode : {"mode 0 0", "mode 2 0"}) {
    SCOPED_TRACE(mode);
    ASSERT_TRUE(sim_->Ok(mode));
    uint8_t in[32] = {};
    ASSERT_EQ(instance_.Read(kKey, -1, DRV_IMAGE_INPUT, in), 1) << LogCapture::Dump();
    EXPECT_EQ(Hex(in, 19), own + "C3");
  }
  EXPECT_EQ(instance_.WriteByte(kKey, 2, DRV_IMAGE_OUTPUT, Bytes{0x81}.data(), 0, 1), 1) << LogCapture::Dump();
  EXPECT_EQ(sim_->Command("get output 2"), "OK 81");
  EXPECT_NE(sim_->Command("history").find("T/01/0F/1060/0008"), std::string::npos) << "coil 4192";
}

TEST_F(ModelRoad, ASplitAdapterReadsAndWritesEachClassAtItsBase) {
  Start("KA-4470", "DI8,AI2,DO8,AO2",
        {{1, "NA", "KA-4470", 0, "", "", 0, 0, ""},
         {0x1108, "IO", "Left", 2, "", "", 1, 0, "DI,8,1,0,8,0,3,DI,1"},
         {0x3102, "IO", "Middle", 2, "", "", 4, 0, "AI,A,16,0,32,0,5,AI,2"},
         {0x2108, "IO", "Right", 2, "", "", 0, 1, "DO,8,0,1,0,8,4,DO,3"},
         {0x4102, "IO", "Far", 2, "", "", 0, 4, "AO,A,0,16,0,32,6,AO,4"}});
  ASSERT_TRUE(sim_->Ok("input 1 3C"));
  ASSERT_TRUE(sim_->Ok("input 2 11223344"));
  uint8_t in[8] = {};
  ASSERT_EQ(instance_.Read(kKey, -1, DRV_IMAGE_INPUT, in), 1) << LogCapture::Dump();
  EXPECT_EQ(Hex(in, 5), "3C11223344");
  EXPECT_EQ(instance_.WriteByte(kKey, 3, DRV_IMAGE_OUTPUT, Bytes{0x42}.data(), 0, 1), 1);
  EXPECT_EQ(instance_.WriteByte(kKey, 4, DRV_IMAGE_OUTPUT, Bytes{0xAA, 0xBB, 0xCC, 0xDD}.data(), 0, 4), 1);
  EXPECT_EQ(sim_->Command("get output 3"), "OK 42");
  EXPECT_EQ(sim_->Command("get output 4"), "OK AABBCCDD");
  const std::string history = sim_->Command("history");
  EXPECT_NE(history.find("T/01/04/8000/0001"), std::string::npos) << history;
  EXPECT_NE(history.find("T/01/0F/8800/0008"), std::string::npos) << history;
  EXPECT_NE(history.find("T/01/0F/0800/0020"), std::string::npos) << history;
}

TEST_F(ModelRoad, AModuleOutputWriteSendsItsWholeByteAndAShortParameterBlockIsPadded) {
  Start("QMX-4101", "DO4", {{0x4101, "NA", "Station", 0, "", "", 0, 0, ""},
                            {0x2104, "IO", "DO4", 2, "", "", 0, 1, "NDO,8,0,1,0,4,4,DO,1"}});
  EXPECT_EQ(instance_.WriteByte(kKey, 1, DRV_IMAGE_OUTPUT, Bytes{0x05}.data(), 0, 1), 1) << LogCapture::Dump();
  EXPECT_NE(sim_->Command("history").find("T/01/0F/1000/0008"), std::string::npos) << sim_->Command("history");
  const Bytes one = {0x7E};
  EXPECT_EQ(instance_.WriteByte(kKey, 1, DRV_IMAGE_PARA, one.data(), 0, 1), 1) << LogCapture::Dump();
  EXPECT_EQ(sim_->Command("get para 1"), "OK 007E") << "zero-padded, high byte first on the wire";
}

TEST_F(ModelRoad, AdaptersThatAnswerTheirModeRegistersThemselves) {
  const char* block = "InputMode,Unsigned16,1\tWatchdogTime,Unsigned16,1\tDipSwitch,ByteArea,2";
  Start("KA-4512", "DI8", {{1, "NA", "KA-4512", 0, block, "", 0, 0, ""},
                           {0x1108, "IO", "DI8", 2, "", "", 1, 0, "DI,8,1,0,8,0,3,DI,1"}});
  ASSERT_TRUE(sim_->Ok("mode 0 0"));
  uint8_t comm[6] = {};
  ASSERT_EQ(instance_.Read(kKey, 0, DRV_IMAGE_COMMINIT, comm), 1) << LogCapture::Dump();
  EXPECT_EQ(Hex(comm, 4), "02000000") << "answered without the bus";
  EXPECT_EQ(sim_->Command("history"), "OK 1 T/01/04/1101/0001");
}

}  // namespace
}  // namespace tessivar
