// The running road end to end against the device simulator: several TCP
// stations monitored by their own instances, queued writes reaching the
// stations, a station killed and started again on the same port, an RS485
// line with several nodes on one socat pty pair (monitored, then scanned),
// and the online I/O configuration with the replies it must refuse.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "common/Utility.h"
#include "driver/driver_instance.h"
#include "driver/driver_library.h"
#include "driver/driver_utils.h"
#include "driver/records.h"
#include "driver/result_codes.h"
#include "platform/serial/serial_device.h"
#include "tests/driver/log_capture.h"
#include "tests/support/test_support.h"
#include "tools/simulator/testing/simulator_process.h"

namespace tessivar {
namespace {

using namespace std::chrono_literals;
using qmx::sim::SimulatorProcess;
using qmx::test::LogCapture;
using Bytes = std::vector<uint8_t>;

// QMX-4101 with QMX-1808 (1 input byte), QMX-2808 (1 output byte), QMX-3404
// (8 input bytes) and QMX-4402 (4 output bytes), as the main program sends it.
const char* const kInitBlock =
    "ExpansionSlotNo,Unsigned16,1\tBusStatus,ByteArea,2\tInputMode,Unsigned16,1\tWatchdogTime,Unsigned16,1";
const std::vector<ModuleListEntry> kEntries = {
    {0x4101, "NA", "Station", 4, kInitBlock, "", 0, 0, ""},
    {0x1808, "IO", "QMX-1808", 2, "", "", 1, 0, "NDI,8,1,0,8,0,3,DI,1"},
    {0x2808, "IO", "QMX-2808", 2, "", "", 0, 1, "NDO,8,0,1,0,8,4,DO,2"},
    {0x3404, "IO", "QMX-3404", 4, "", "", 8, 0, "NAI,A,16,0,64,0,5,AI,3"},
    {0x4402, "IO", "QMX-4402", 2, "", "", 0, 4, "NAO,A,0,16,0,32,6,AO,4"}};
const char* const kModules = "QMX-1808,QMX-2808,QMX-3404,QMX-4402";

std::string Hex(const Bytes& bytes) { return BytesToHexText(bytes.data(), static_cast<int>(bytes.size()), 0); }

// Polls `check` until it holds or `limit` has passed.
bool Eventually(const std::function<bool()>& check, std::chrono::milliseconds limit = 20s) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < deadline) {
    if (check()) return true;
    std::this_thread::sleep_for(10ms);
  }
  return check();
}

// The communication threads' lines reach the callback through the
// library's delivery thread, a moment later.
bool Logged(const std::string& text) {
  return Eventually([&] { return LogCapture::Has(text); });
}

class Monitoring : public ::testing::Test {
protected:
  void SetUp() override {
    LogCapture::Clear();
    DriverLibrary::Get().SetCallback(&LogCapture::Callback);
    DriverLibrary::Get().SetSwitches(1, 1, 1, 1);
  }
  void TearDown() override {
    for (auto& instance : instances_) {
      if (instance->IsRunning()) instance->StopComm();
    }
    instances_.clear();
    sims_.clear();
    line_.reset();
    ::unsetenv(qmx::serial::kComDirVariable);
    DriverLibrary::Get().SetCallback(nullptr);
    DriverLibrary::Get().SetSwitches(0, 0, 0, 0);
  }

  SimulatorProcess& StartTcpStation(const std::string& address = "127.0.0.1:0") {
    sims_.push_back(std::make_unique<SimulatorProcess>(std::vector<std::string>{
        "--model", "QMX-4101", "--modules", kModules, "--freeze", "--tcp", address}));
    EXPECT_TRUE(sims_.back()->Start()) << sims_.back()->error();
    return *sims_.back();
  }
  // An instance with one TCP station; reconnect period 5 s (the least).
  DriverInstance& TcpInstance(const std::string& name, int port, int updateMs = 100, int timeoutMs = 300) {
    instances_.push_back(std::make_unique<DriverInstance>());
    DriverInstance& instance = *instances_.back();
    const std::string channel =
        "TCP\t127.0.0.1," + std::to_string(port) + "," + std::to_string(timeoutMs) + ",,,5,";
    EXPECT_EQ(instance.SetChannelProperty(name.c_str(), channel.c_str()), 1);
    AddStation(instance, 1, 1, updateMs);
    return instance;
  }
  static void AddStation(DriverInstance& instance, DeviceKey key, int node, int updateMs) {
    const std::string property = std::to_string(updateMs) + "\t0x4101," + std::to_string(node);
    ASSERT_EQ(instance.SetDeviceProperty(key, "QMX-4101", property.c_str()), 1);
    ASSERT_EQ(instance.SetModuleList(key, kEntries.data(), static_cast<int>(kEntries.size())), 1);
  }
  // A block exactly as large as the module selector names, so that a copy
  // beyond it is caught by the address sanitizer.
  static Bytes ReadBlock(DriverInstance& instance, DeviceKey key, int module, int kind, size_t size) {
    Bytes block(size);
    return instance.Read(key, module, kind, block.data()) == 1 ? block : Bytes{};
  }
  static int State(DriverInstance& instance, DeviceKey key) {
    Bytes status(4);
    if (instance.Read(key, 0, DRV_IMAGE_STATUS, status.data()) != 1) return -1;
    return status[0] | status[1] << 8;
  }

  std::vector<std::unique_ptr<SimulatorProcess>> sims_;
  std::vector<std::unique_ptr<DriverInstance>> instances_;
  std::unique_ptr<qmx::sim::PtyPair> line_;
  qmx::test::TempDir dir_{"qmx-mon"};
};

TEST_F(Monitoring, SeveralTcpStationsAreReadAndWrittenThroughTheirImages) {
  constexpr int kStations = 3;
  for (int i = 0; i < kStations; ++i) {
    SimulatorProcess& sim = StartTcpStation();
    ASSERT_TRUE(sim.Ok("input 1 " + StrFormat("%02X", 0x10 + i)));
    DriverInstance& instance = TcpInstance("S" + std::to_string(i), sim.port());
    // Before the run nothing has been read: no image to answer from.
    ASSERT_EQ(instance.StartComm(), 1);
  }
  for (int i = 0; i < kStations; ++i) {
    DriverInstance& instance = *instances_[static_cast<size_t>(i)];
    ASSERT_TRUE(Eventually([&] { return ReadBlock(instance, 1, 1, DRV_IMAGE_INPUT, 1) == Bytes{uint8_t(0x10 + i)}; }))
        << LogCapture::Dump();
    EXPECT_EQ(State(instance, 1), 1);
  }
  // A value changed in one station appears in its instance only.
  ASSERT_TRUE(sims_[1]->Ok("input 3 0102030405060708"));
  ASSERT_TRUE(Eventually([&] { return Hex(ReadBlock(*instances_[1], 1, 3, DRV_IMAGE_INPUT, 8)) == "0102030405060708"; }));
  EXPECT_EQ(Hex(ReadBlock(*instances_[1], 1, -1, DRV_IMAGE_INPUT, 9)), "110102030405060708");
  EXPECT_NE(Hex(ReadBlock(*instances_[0], 1, 3, DRV_IMAGE_INPUT, 8)), "0102030405060708");
  // The parameters and CommInit were read once at the start.
  EXPECT_EQ(ReadBlock(*instances_[2], 1, 0, DRV_IMAGE_PARA, 4).size(), 4u);
  EXPECT_EQ(Hex(ReadBlock(*instances_[2], 1, 0, DRV_IMAGE_COMMINIT, 8)).substr(0, 4), "0400") << "four slots";

  // Queued writes reach the station in the next cycle and come back through
  // the output image.
  EXPECT_EQ(instances_[2]->WriteByte(1, 2, DRV_IMAGE_OUTPUT, Bytes{0x5A}.data(), 0, 1), 1) << LogCapture::Dump();
  EXPECT_EQ(instances_[2]->WriteByte(1, 4, DRV_IMAGE_OUTPUT, Bytes{0x34, 0x12, 0x78, 0x56}.data(), 0, 4), 1);
  EXPECT_EQ(instances_[2]->WriteByte(1, 3, DRV_IMAGE_PARA, Bytes{1, 2, 3, 4}.data(), 0, 4), 1);
  // They go out in the order queued: once the last has reached the station
  // the others have, and the driver stores a parameter block only after the
  // station's reply.
  ASSERT_TRUE(Eventually([&] { return sims_[2]->Command("get para 3") == "OK 02010403"; })) << LogCapture::Dump();
  EXPECT_EQ(sims_[2]->Command("get output 4"), "OK 34127856");
  EXPECT_EQ(sims_[2]->Command("get output 2"), "OK 5A");
  ASSERT_TRUE(Eventually([&] { return Hex(ReadBlock(*instances_[2], 1, -1, DRV_IMAGE_OUTPUT, 5)) == "5A34127856"; }));
  EXPECT_TRUE(Eventually([&] { return Hex(ReadBlock(*instances_[2], 1, 3, DRV_IMAGE_PARA, 4)) == "01020304"; }))
      << "stored as written: " << Hex(ReadBlock(*instances_[2], 1, 3, DRV_IMAGE_PARA, 4));
  // CommInit is not written while monitoring.
  EXPECT_EQ(instances_[2]->WriteByte(1, 0, DRV_IMAGE_COMMINIT, Bytes(8).data(), 0, 8), 0);
  EXPECT_TRUE(LogCapture::Has("[S2]Cannot CommInit data during monitoring."));

  for (auto& instance : instances_) EXPECT_EQ(instance->StopComm(), 1);
  EXPECT_EQ(State(*instances_[0], 1), -1) << "no status while stopped";
}

TEST_F(Monitoring, AnInputImageLargerThanOneRequestIsReadInPieces) {
  // 32 x 8 bytes: 128 registers, a read of 125 and one of 3; the last
  // module's bytes span the two.
  std::string modules = "QMX-3404";
  std::vector<std::string> places;  // the communication number last
  for (int i = 1; i <= 32; ++i) places.push_back("NAI,A,16,0,64,0,5,AI," + std::to_string(i));
  std::vector<ModuleListEntry> entries = {kEntries[0]};
  for (const std::string& place : places) {
    if (entries.size() > 1) modules += ",QMX-3404";
    entries.push_back(kEntries[3]);
    entries.back().moduleLine = place.c_str();
  }
  sims_.push_back(std::make_unique<SimulatorProcess>(
      std::vector<std::string>{"--model", "QMX-4101", "--modules", modules, "--freeze", "--tcp", "127.0.0.1:0"}));
  SimulatorProcess& sim = *sims_.back();
  ASSERT_TRUE(sim.Start()) << sim.error();
  ASSERT_TRUE(sim.Ok("input 1 1112131415161718"));
  ASSERT_TRUE(sim.Ok("input 32 F1F2F3F4F5F6F7F8"));
  DriverInstance& instance = TcpInstance("Big", sim.port());
  ASSERT_EQ(instance.SetModuleList(1, entries.data(), static_cast<int>(entries.size())), 1);
  ASSERT_EQ(instance.StartComm(), 1);
  ASSERT_TRUE(Eventually([&] { return Hex(ReadBlock(instance, 1, 32, DRV_IMAGE_INPUT, 8)) == "F1F2F3F4F5F6F7F8"; }))
      << LogCapture::Dump();
  EXPECT_EQ(Hex(ReadBlock(instance, 1, 1, DRV_IMAGE_INPUT, 8)), "1112131415161718");
  const std::string history = sim.Command("history");
  EXPECT_NE(history.find("/04/0000/007D"), std::string::npos) << history;
  EXPECT_NE(history.find("/04/007D/0003"), std::string::npos) << history;
}

TEST_F(Monitoring, TheImageModesComeFromTheStationAtTheStart) {
  // Input mode 1: the status word leads, the modules are packed.
  SimulatorProcess& sim = StartTcpStation();
  ASSERT_TRUE(sim.Ok("mode 1 0"));
  ASSERT_TRUE(sim.Ok("input 1 A5"));
  ASSERT_TRUE(sim.Ok("input 3 1122334455667788"));
  DriverInstance& instance = TcpInstance("M", sim.port());
  ASSERT_EQ(instance.StartComm(), 1);
  ASSERT_TRUE(Eventually([&] { return Hex(ReadBlock(instance, 1, -1, DRV_IMAGE_INPUT, 9)) == "A51122334455667788"; }))
      << Hex(ReadBlock(instance, 1, -1, DRV_IMAGE_INPUT, 9)) << "\n"
      << LogCapture::Dump();
  EXPECT_EQ(Hex(ReadBlock(instance, 1, 3, DRV_IMAGE_INPUT, 8)), "1122334455667788");
}

TEST_F(Monitoring, AStationKilledAndStartedAgainIsReconnectedWithTheIntervalBackingOff) {
  SimulatorProcess& first = StartTcpStation();
  const int port = first.port();
  DriverInstance& instance = TcpInstance("R", port, 200);
  ASSERT_EQ(instance.StartComm(), 1);
  ASSERT_TRUE(Eventually([&] { return State(instance, 1) == 1; })) << LogCapture::Dump();
  DeviceScheduleEntry entry;
  ASSERT_TRUE(instance.ScheduleEntry(1, &entry));
  EXPECT_EQ(entry.currentInterval, 20);

  sims_.clear();  // the station goes away
  ASSERT_TRUE(Eventually([&] { return LogCapture::Has("[R] Device is not response."); })) << LogCapture::Dump();
  EXPECT_TRUE(Logged("[R] Try reconnecting..."));
  ASSERT_TRUE(instance.ScheduleEntry(1, &entry));
  EXPECT_EQ(entry.currentInterval, 60) << "three times the base while silent";
  EXPECT_EQ(State(instance, 1), 2);
  // A write is refused while the connection is lost: nothing is queued.
  EXPECT_EQ(instance.WriteByte(1, 2, DRV_IMAGE_OUTPUT, Bytes{1}.data(), 0, 1), 0);
  EXPECT_EQ(LogCapture::Matching("Device is not response.").size(), 1u) << "marked once";

  SimulatorProcess& again = StartTcpStation("127.0.0.1:" + std::to_string(port));
  ASSERT_TRUE(again.Ok("input 1 C3"));
  // The channel tries again after its reconnect period (5 s).
  ASSERT_TRUE(Eventually([&] { return State(instance, 1) == 1; }, 20s)) << LogCapture::Dump();
  EXPECT_TRUE(Logged("[R] \u2605 Communication be restored to NORMAL status from disconnection!"));
  ASSERT_TRUE(instance.ScheduleEntry(1, &entry));
  EXPECT_EQ(entry.currentInterval, 20) << "back to the base interval";
  EXPECT_EQ(entry.state, "Running");
  ASSERT_TRUE(Eventually([&] { return ReadBlock(instance, 1, 1, DRV_IMAGE_INPUT, 1) == Bytes{0xC3}; }));
}

TEST_F(Monitoring, WritesDroppedWhileSilentShowInTheStatusAndTheQueueIsBounded) {
  SimulatorProcess& sim = StartTcpStation();
  // The writes below are offered while a cycle waits for an echo the
  // station does not answer; the reply time-out is long enough for that on
  // a loaded machine, where 300 ms also cut ordinary replies short.
  DriverInstance& instance = TcpInstance("P", sim.port(), 300, 3000);
  ASSERT_EQ(instance.StartComm(), 1);
  ASSERT_TRUE(Eventually([&] { return State(instance, 1) == 1; })) << LogCapture::Dump();
  auto interval = [&] {
    DeviceScheduleEntry entry;
    return instance.ScheduleEntry(1, &entry) ? entry.currentInterval : -1;
  };
  // Only the echo is faulted: a cycle already past its echo ends normally.
  // Once the station has met an echo with the fault, the cycle waits for it
  // and takes no queued write before the wait ends.
  auto faultEcho = [&](const std::string& fault) {
    if (!sim.Ok("history clear") || !sim.Ok("fault " + fault + ",fc=8")) return false;
    return Eventually([&] {
      std::istringstream history(sim.Command("history"));
      for (std::string entry; history >> entry;) {
        if (entry.find("/08/0000/") != std::string::npos && entry.find('!') != std::string::npos) return true;
      }
      return false;
    });
  };
  // The station stops answering while writes wait: they are dropped, and
  // so are the writes offered while it stays lost, with no line each.
  ASSERT_TRUE(faultEcho("silence")) << sim.Command("history");
  for (int i = 0; i < 3; ++i)
    ASSERT_EQ(instance.WriteByte(1, 2, DRV_IMAGE_OUTPUT, Bytes{uint8_t(i + 1)}.data(), 0, 1), 1);
  ASSERT_TRUE(Eventually([&] { return interval() == 90; })) << LogCapture::Dump();
  for (int i = 0; i < 5; ++i) EXPECT_EQ(instance.WriteByte(1, 2, DRV_IMAGE_OUTPUT, Bytes{9}.data(), 0, 1), 0);
  EXPECT_EQ(sim.Command("get output 2"), "OK 00");
  const std::string dropped = "[P] Writes are dropped because communication with the device does not run. "
                              "Device name: QMX-4101. Count: ";

  // It answers again before anyone looked: one line counts the loss's
  // writes, and the status still shows the loss, once.
  ASSERT_TRUE(sim.Ok("fault clear"));
  ASSERT_TRUE(Eventually([&] { return interval() == 30; })) << LogCapture::Dump();
  EXPECT_TRUE(Logged(dropped + "8.")) << LogCapture::Dump();
  EXPECT_EQ(LogCapture::Matching("Writes are dropped").size(), 1u) << LogCapture::Dump();
  EXPECT_TRUE(LogCapture::Matching("Cannot write because communication").empty()) << LogCapture::Dump();
  EXPECT_EQ(State(instance, 1), 2);
  EXPECT_EQ(State(instance, 1), 1);

  // A queue that is not drained stops taking writes at its bound: the
  // echo's reply comes later than the time-out.
  ASSERT_TRUE(faultEcho("delay=10000")) << sim.Command("history");
  int accepted = 0;
  for (int i = 0; i < 400; ++i) accepted += instance.WriteByte(1, 2, DRV_IMAGE_OUTPUT, Bytes{1}.data(), 0, 1);
  EXPECT_LE(accepted, 256);
  const size_t bounded = LogCapture::Matching("Cannot write because too many writes wait for the device.").size();
  EXPECT_GT(bounded, 0u);

  // A stop while the station is lost: the loss's line comes with the stop.
  // Every write above was refused at the bound (a line each) or dropped.
  ASSERT_TRUE(Eventually([&] { return interval() == 90; })) << LogCapture::Dump();
  ASSERT_EQ(instance.StopComm(), 1);
  EXPECT_TRUE(LogCapture::Has(dropped + std::to_string(400 - bounded) + ".")) << LogCapture::Dump();
  EXPECT_EQ(LogCapture::Matching("Writes are dropped").size(), 2u);
}

TEST_F(Monitoring, AStationThatClosesItsConnectionMidCycleIsLoggedWithTheClosedConnectionsCode) {
  SimulatorProcess& sim = StartTcpStation();
  ASSERT_TRUE(sim.Ok("input 1 A5"));
  DriverInstance& instance = TcpInstance("C", sim.port());
  ASSERT_EQ(instance.StartComm(), 1);
  // Past the initial read, the station closes the connection in place of a
  // reply to the next read of input registers (after the echo).
  ASSERT_TRUE(Eventually([&] { return ReadBlock(instance, 1, 1, DRV_IMAGE_INPUT, 1) == Bytes{0xA5}; }));
  LogCapture::Clear();
  ASSERT_TRUE(sim.Ok("fault drop,fc=4,once"));
  ASSERT_TRUE(Eventually([] { return !LogCapture::Matching("Cannot read.").empty(); })) << LogCapture::Dump();
  for (const auto& line : LogCapture::Matching("Cannot read."))
    EXPECT_NE(line.text.find("ErrCode: -9104. Desc: Ethernet Error. Code: -9104. Desc: Not connected."),
              std::string::npos)
        << line.text;
}

TEST_F(Monitoring, AStopEndsAWaitForASilentStationAtOnce) {
  SimulatorProcess& sim = StartTcpStation();
  ASSERT_TRUE(sim.Ok("fault silence"));
  instances_.push_back(std::make_unique<DriverInstance>());
  DriverInstance& instance = *instances_.back();
  const std::string channel = "TCP\t127.0.0.1," + std::to_string(sim.port()) + ",5000,,,5,";
  ASSERT_EQ(instance.SetChannelProperty("W", channel.c_str()), 1);
  AddStation(instance, 1, 1, 100);
  ASSERT_EQ(instance.StartComm(), 1);
  // The first cycle waits for the echo's reply (5 s).
  ASSERT_TRUE(Eventually([&] { return sim.Command("history").find("/08/0000/") != std::string::npos; }));
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(instance.StopComm(), 1);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 200ms);
  EXPECT_TRUE(LogCapture::Matching("Device is not response.").empty()) << "a stop is no silence of the device";
}

TEST_F(Monitoring, AnRs485LineWithSeveralNodesIsMonitoredAndScanned) {
  ::setenv(qmx::serial::kComDirVariable, dir_.path().c_str(), 1);
  line_ = std::make_unique<qmx::sim::PtyPair>(dir_.path());
  if (!line_->Start()) GTEST_SKIP() << "no pty pair: " << line_->error();
  sims_.push_back(std::make_unique<SimulatorProcess>(std::vector<std::string>{
      "--model", "QMX-4101", "--modules", kModules, "--freeze", "--rtu", line_->peer().string(), "--serial",
      "19200,8,N,1", "--nodes", "2,3,5"}));
  ASSERT_TRUE(sims_.back()->Start()) << sims_.back()->error();
  SimulatorProcess& sim = *sims_.back();
  for (int node : {2, 3, 5}) ASSERT_TRUE(sim.Ok(StrFormat("input 1 %02X node=%d", 0xA0 + node, node)));

  instances_.push_back(std::make_unique<DriverInstance>());
  DriverInstance& instance = *instances_.back();
  ASSERT_EQ(instance.SetChannelProperty("Line", "RS485\t7,19200,8,NOPARITY,0,300"), 1);
  for (int node : {2, 3, 5}) AddStation(instance, node, node, 100);
  // A node nobody answers for: its cycles are chains of time-outs.
  AddStation(instance, 9, 9, 100);
  ASSERT_EQ(instance.StartComm(), 1);
  for (int node : {2, 3, 5}) {
    ASSERT_TRUE(Eventually([&] { return ReadBlock(instance, node, 1, DRV_IMAGE_INPUT, 1) == Bytes{uint8_t(0xA0 + node)}; }))
        << node << "\n"
        << LogCapture::Dump();
  }
  EXPECT_EQ(instance.WriteByte(3, 2, DRV_IMAGE_OUTPUT, Bytes{0x66}.data(), 0, 1), 1);
  ASSERT_TRUE(Eventually([&] { return sim.Command("get output 2 node=3") == "OK 66"; })) << LogCapture::Dump();
  EXPECT_EQ(sim.Command("get output 2 node=2"), "OK 00");
  EXPECT_TRUE(Logged("[Line][Port:7, Node:9] Device is not response.")) << LogCapture::Dump();
  const auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(instance.StopComm(), 1);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 200ms) << "no time-out is sat out";

  // The scan of nodes 1 to 6 finds exactly the three stations, in node order,
  // each with its modules.
  LogCapture::Clear();
  auto* list = reinterpret_cast<ScanResultList*>(instance.StartAutoScan(4, 500, "7,7:1,6:19200,8,NOPARITY,0"));
  ASSERT_NE(list, nullptr) << LogCapture::Dump();
  ASSERT_EQ(list->count, 3) << LogCapture::Dump();
  const char* nodes[] = {"2", "3", "5"};
  for (int i = 0; i < 3; ++i) {
    const ScannedAdapter& a = *list->adapters[i];
    EXPECT_EQ(a.productCode, 0x4101);
    EXPECT_STREQ(a.text1, "");
    EXPECT_STREQ(a.text2, "7");
    EXPECT_STREQ(a.text3, "19200,8,NOPARITY,0");
    EXPECT_STREQ(a.text4, nodes[i]);
    ASSERT_EQ(a.moduleCount, 4);
    EXPECT_EQ(a.modules[0].productCode, 0x1808);
    EXPECT_EQ(a.modules[3].productCode, 0x4402);
  }
  EXPECT_EQ(instance.FreeAutoScan(list), 1);

  // Nobody on the range: an empty list and the warning; a text without its
  // third part: no list.
  list = reinterpret_cast<ScanResultList*>(instance.StartAutoScan(4, 500, "7,7:7,8:19200,8,NOPARITY,0"));
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(list->count, 0);
  EXPECT_TRUE(LogCapture::Has("[Line][Warning] Scan result is none. Func: ScanSerialNA")) << LogCapture::Dump();
  instance.FreeAutoScan(list);
  EXPECT_EQ(instance.StartAutoScan(4, 500, "7,7:1,6"), 0);
  EXPECT_TRUE(LogCapture::Has("[Line][Bug] Parameter count of communication does not 3. Contact the dealer. "
                              "CommPara: 7,7:1,6."));
}

TEST_F(Monitoring, OnlineConfigurationRefusesWhatItCannotList) {
  SimulatorProcess& sim = StartTcpStation();
  instances_.push_back(std::make_unique<DriverInstance>());
  DriverInstance& instance = *instances_.back();
  const std::string channel = "TCP\t127.0.0.1," + std::to_string(sim.port()) + ",300,,,5,";
  ASSERT_EQ(instance.SetChannelProperty("C", channel.c_str()), 1);
  AddStation(instance, 1, 1, 100);

  auto* config = reinterpret_cast<OnlineIOConfig*>(instance.GetIOConfig(1));
  ASSERT_NE(config, nullptr) << LogCapture::Dump();
  EXPECT_EQ(config->productCode, 0x4101);
  ASSERT_EQ(config->moduleCount, 4);
  EXPECT_EQ(config->modules[1].productCode, 0x2808);
  EXPECT_STREQ(config->text2, "");
  EXPECT_EQ(instance.FreeGetIOConfig(config), 1);

  struct Case {
    const char* slots;  // what the station claims at 0x1110
    const char* line;
  };
  const Case cases[] = {
      // More slots than it lists: the list read fails, no record.
      {"000A", "[C] Cannot read. GetIOConfig. ErrCode: -8002."},
      // More than one read can carry.
      {"007D", "[C] Cannot read. GetIOConfig. The device reports 125 slots, at most 124 can be read."},
      {"FFFF", "[C] Cannot read. GetIOConfig. The device reports 65535 slots, at most 124 can be read."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.slots);
    ASSERT_TRUE(sim.Ok(std::string("object 0x1110 ") + c.slots));
    LogCapture::Clear();
    EXPECT_EQ(instance.GetIOConfig(1), 0);
    EXPECT_FALSE(LogCapture::Matching(c.line).empty()) << LogCapture::Dump();
  }
  ASSERT_TRUE(sim.Ok("object 0x1110 0000"));
  config = reinterpret_cast<OnlineIOConfig*>(instance.GetIOConfig(1));
  ASSERT_NE(config, nullptr);
  EXPECT_EQ(config->productCode, 0x4101) << "no slots: the adapter alone";
  EXPECT_EQ(config->moduleCount, 0);
  instance.FreeGetIOConfig(config);

  // While running it is refused.
  ASSERT_EQ(instance.StartComm(), 1);
  EXPECT_EQ(instance.GetIOConfig(1), kDrvRunning);
}

}  // namespace
}  // namespace tessivar
