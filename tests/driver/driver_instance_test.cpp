#include "driver/driver_instance.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <future>
#include <map>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "driver/driver_library.h"
#include "driver/records.h"
#include "driver/result_codes.h"
#include "tests/driver/log_capture.h"

namespace tessivar {
namespace {

using namespace std::chrono_literals;
using qmx::test::LogCapture;

// A driver object that records what reaches it and answers as scripted.
class FakeDriver : public DriverObject {
public:
  int SetChannelProperty(const std::string& text) override { return Note("SetChannelProperty " + text, 1); }
  int SetDeviceProperty(const std::string& key, const std::string& name, const std::string& text,
                        bool isNew) override {
    return Note("SetDeviceProperty " + key + " " + name + " [" + text + "] " + (isNew ? "new" : "old"), 1);
  }
  void RemoveDevice(const std::string& key, const std::string& name) override { Note("RemoveDevice " + key + " " + name, 0); }
  int SetModuleList(const std::string& key, const ModuleListEntry*, int count) override {
    return Note("SetModuleList " + key + " " + std::to_string(count), 1);
  }
  int SetProcessImgMode(const std::string& key, int, int) override { return Note("SetProcessImgMode " + key, 1); }
  int Read(const std::string& key, int, int, void*) override {
    if (throwOnRead) throw std::runtime_error("read failed");
    return Note("Read " + key, readResult);
  }
  int WriteByte(const std::string& key, int, int, const void*, int, int) override { return Note("WriteByte " + key, 1); }
  int SendSpecialCmd(const std::string& key, int) override { return Note("SendSpecialCmd " + key, 1); }
  intptr_t GetIOConfig(const std::string& key) override { return Note("GetIOConfig " + key, 0); }
  intptr_t StartAutoScan(const std::string&, int, int, int moduleScan, const std::string& param) override {
    return Note("StartAutoScan " + std::to_string(moduleScan) + " " + param, 0);
  }
  AddressMapInfo* GetAddresMap(const std::string& key, int) override {
    Note("GetAddresMap " + key, 0);
    return nullptr;
  }
  int ShowAddresMap(const std::string& key, int, int16_t*, int16_t*) override {
    Note("ShowAddresMap " + key, 0);
    return nested ? nested() : 1;
  }
  int ShowProtocolComm() override {
    Note("ShowProtocolComm", 0);
    return nested ? nested() : 1;
  }
  int Open() override {
    if (openGate) openGate();
    return Note("Open", openResult);
  }
  int Close() override { return Note("Close", 1); }
  int MonitoringDevice(const std::string& key) override {
    {
      std::lock_guard<std::mutex> guard(lock);
      ++cycles[key];
    }
    if (const int ms = cycleDelayMs.load(); ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    std::lock_guard<std::mutex> guard(lock);
    auto it = cycleResults.find(key);
    return it == cycleResults.end() ? 1 : it->second;
  }
  void CloseChByCallThread() override {
    if (const int ms = cycleDelayMs.load(); ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    Note("CloseChByCallThread", 0);
  }
  void SetDeviceState(const std::string& key, int state) override {
    std::lock_guard<std::mutex> guard(lock);
    states[key] = state;
  }
  std::string DeviceLogPrefix(const std::string&) override { return "[Port:3, Node:1]"; }
  std::string ErrorText(int code) override {
    if (throwOnErrorText) throw std::runtime_error("no text");
    return DriverObjectCodeText(code, TransportKind::kSocket);
  }

  std::vector<std::string> Journal() {
    std::lock_guard<std::mutex> guard(lock);
    return journal;
  }
  bool Saw(const std::string& prefix) {
    for (const auto& j : Journal()) {
      if (j.rfind(prefix, 0) == 0) return true;
    }
    return false;
  }
  int Cycles(const std::string& key) {
    std::lock_guard<std::mutex> guard(lock);
    return cycles[key];
  }

  int openResult = 1;
  int readResult = 1;
  bool throwOnRead = false;
  bool throwOnErrorText = false;
  std::function<void()> openGate;
  std::function<int()> nested;
  // Set by the test while the communication thread reads it.
  std::atomic<int> cycleDelayMs{0};
  std::map<std::string, int> cycleResults;
  std::map<std::string, int> states;
  std::map<std::string, int> cycles;
  std::mutex lock;

private:
  int Note(const std::string& what, int result) {
    std::lock_guard<std::mutex> guard(lock);
    journal.push_back(what);
    return result;
  }
  std::vector<std::string> journal;
};

class Instance : public ::testing::Test {
protected:
  void SetUp() override {
    LogCapture::Clear();
    DriverLibrary::Get().SetCallback(&LogCapture::Callback);
    DriverLibrary::Get().SetSwitches(1, 1, 1, 1);
    instance = std::make_unique<DriverInstance>([this](DriverInstance&) {
      auto d = std::make_unique<FakeDriver>();
      fake = d.get();
      return d;
    });
    ASSERT_EQ(instance->SetChannelProperty("NA-1", "TCP\t127.0.0.1,,,,,,"), 1);
  }
  void TearDown() override {
    if (instance && instance->IsRunning()) instance->StopComm();
    instance.reset();
    DriverLibrary::Get().SetCallback(nullptr);
    DriverLibrary::Get().SetSwitches(0, 0, 0, 0);
  }
  void AddDevice(DeviceKey key, int updateMs = 500) {
    ASSERT_EQ(instance->SetDeviceProperty(key, ("dev" + std::to_string(key)).c_str(),
                                          (std::to_string(updateMs) + "\t1234,1").c_str()),
              1);
  }

  std::unique_ptr<DriverInstance> instance;
  FakeDriver* fake = nullptr;
};

TEST_F(Instance, ExportsRefusedWhileRunningDoNotReachTheDriver) {
  AddDevice(7);
  ASSERT_EQ(instance->StartComm(), 1);
  ASSERT_TRUE(instance->IsRunning());
  const size_t before = fake->Journal().size();
  ModuleListEntry entry{};
  const std::pair<const char*, std::function<intptr_t()>> refused[] = {
      {"Uninitialize", [&] { return instance->Uninitialize(); }},
      {"SetChannelProperty", [&] { return instance->SetChannelProperty("x", "TCP\t"); }},
      {"SetDeviceProperty", [&] { return instance->SetDeviceProperty(7, "d", "100\t1,1"); }},
      {"GetIOConfig", [&] { return instance->GetIOConfig(7); }},
      {"SetModuleList", [&] { return instance->SetModuleList(7, &entry, 1); }},
      {"SetProcessImgMode", [&] { return instance->SetProcessImgMode(7, 0, 0); }},
      {"ShowProtocolComm", [&] { return instance->ShowProtocolComm(); }},
      {"StartComm", [&] { return instance->StartComm(); }},
      {"SendSpecialCmd", [&] { return instance->SendSpecialCmd(7, 0); }},
      {"RemoveDevice", [&] { return instance->RemoveDevice(7); }},
  };
  for (const auto& [name, call] : refused) EXPECT_EQ(call(), kDrvRunning) << name;
  // Nothing but monitoring cycles reached the driver object.
  EXPECT_EQ(fake->Journal().size(), before);
  EXPECT_EQ(instance->DeviceCount(), 1u);

  // These work in both states.
  EXPECT_EQ(instance->Read(7, 0, 3, nullptr), 1);
  EXPECT_EQ(instance->WriteByte(7, 0, 4, nullptr, 0, 0), 1);
  EXPECT_EQ(instance->ShowIOMonitor(7, 0), 1);
  EXPECT_EQ(instance->ShowSpecialPara(7, "", 0), 1);
  EXPECT_EQ(instance->GetAddresMap(7, -1), nullptr);
  EXPECT_TRUE(fake->Saw("GetAddresMap 7"));

  EXPECT_EQ(instance->StopComm(), 1);
  EXPECT_FALSE(instance->IsRunning());
  EXPECT_TRUE(instance->IsStopped());
  EXPECT_EQ(instance->StopComm(), kDrvStopped);
  EXPECT_EQ(instance->ShowIOMonitor(7, 0), kDrvStopped);
  EXPECT_EQ(instance->RemoveDevice(7), 1);
  EXPECT_EQ(instance->Uninitialize(), 1);
}

TEST_F(Instance, StopOnAStoppedInstanceAnswersAtOnce) {
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(instance->StopComm(), kDrvStopped);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 40ms);
  EXPECT_FALSE(fake->Saw("Close"));
}

TEST_F(Instance, FailedOpenLeavesTheInstanceStopped) {
  AddDevice(1);
  AddDevice(2);
  fake->openResult = 0;
  LogCapture::Clear();
  EXPECT_EQ(instance->StartComm(), 0);
  EXPECT_FALSE(instance->IsRunning());
  EXPECT_TRUE(instance->IsStopped()) << "no thread was started, so nothing is alive";
  DeviceScheduleEntry entry;
  ASSERT_TRUE(instance->ScheduleEntry(1, &entry));
  EXPECT_EQ(entry.state, "RunFailed");
  EXPECT_EQ(entry.notRunning, 1);
  EXPECT_TRUE(LogCapture::Has("[NA-1]  \u2605 Communication channel open is failed. "
                              "Ethernet Error. Code: 0. Desc: Undefined."))
      << LogCapture::Dump();
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(instance->StopComm(), kDrvStopped);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 40ms);
  EXPECT_EQ(instance->Uninitialize(), 1);
  EXPECT_EQ(instance->DeviceCount(), 0u);
}

TEST_F(Instance, OpenAndCloseLogTheirStarLinesAndSetTheStates) {
  AddDevice(1);
  LogCapture::Clear();
  ASSERT_EQ(instance->StartComm(), 1);
  EXPECT_TRUE(LogCapture::Has("[NA-1] \u2605 Communication channel is opened successfully")) << LogCapture::Dump();
  DeviceScheduleEntry entry;
  ASSERT_TRUE(instance->ScheduleEntry(1, &entry));
  EXPECT_EQ(entry.state, "Running");
  EXPECT_EQ(entry.notRunning, 0);
  ASSERT_EQ(instance->StopComm(), 1);
  EXPECT_TRUE(LogCapture::Has("[NA-1] \u2605 Communication channel is closed successfully")) << LogCapture::Dump();
  ASSERT_TRUE(instance->ScheduleEntry(1, &entry));
  EXPECT_EQ(entry.state, "Stopped");
  EXPECT_EQ(entry.notRunning, 1);
}

TEST_F(Instance, DevicePropertyCreatesThenUpdatesOnlyTheIntervals) {
  AddDevice(42, 500);
  DeviceScheduleEntry entry;
  ASSERT_TRUE(instance->ScheduleEntry(42, &entry));
  EXPECT_EQ(entry.key, "42");
  EXPECT_EQ(entry.deviceName, "dev42");
  EXPECT_EQ(entry.baseInterval, 50);
  EXPECT_EQ(entry.currentInterval, 50);
  EXPECT_EQ(entry.state, "Stopped");
  EXPECT_TRUE(fake->Saw("SetDeviceProperty 42 dev42 [1234,1] new"));

  std::vector<DeviceKey> due;
  const auto now = std::chrono::steady_clock::now();
  instance->CollectDueDevices(due, now);
  ASSERT_TRUE(instance->ScheduleEntry(42, &entry));
  const auto nextDue = entry.nextDue;
  ASSERT_EQ(instance->SetDeviceProperty(42, "renamed", " 15 , x \t 99,2 "), 1);
  ASSERT_TRUE(instance->ScheduleEntry(42, &entry));
  EXPECT_EQ(entry.baseInterval, 1);
  EXPECT_EQ(entry.currentInterval, 1);
  EXPECT_EQ(entry.nextDue, nextDue) << "the due time is left as it was";
  EXPECT_EQ(entry.deviceName, "dev42") << "only the intervals change";
  EXPECT_TRUE(fake->Saw("SetDeviceProperty 42 renamed [99,2] old"));

  // Keys are the decimal text of the pointer-sized key.
  const DeviceKey big = static_cast<DeviceKey>(0x7fffffff12345678LL);
  AddDevice(big, 100);
  ASSERT_TRUE(instance->ScheduleEntry(big, &entry));
  EXPECT_EQ(entry.key, "9223372032865228408");
  AddDevice(-5, 100);
  ASSERT_TRUE(instance->ScheduleEntry(-5, &entry));
  EXPECT_EQ(entry.key, "-5");
}

TEST_F(Instance, UnknownDevicesAreReportedAndNotForwarded) {
  LogCapture::Clear();
  EXPECT_EQ(instance->Read(99, 0, 3, nullptr), 0);
  EXPECT_TRUE(LogCapture::Has("[NA-1] The device does not exist. Call function: Read.")) << LogCapture::Dump();
  EXPECT_FALSE(fake->Saw("Read"));
  const std::pair<const char*, std::function<intptr_t()>> checked[] = {
      {"WriteByte", [&] { return instance->WriteByte(99, 0, 4, nullptr, 0, 0); }},
      {"SetModuleList", [&] { return instance->SetModuleList(99, nullptr, 0); }},
      {"SetProcessImgMode", [&] { return instance->SetProcessImgMode(99, 0, 0); }},
      {"GetAddresMap", [&] { return reinterpret_cast<intptr_t>(instance->GetAddresMap(99, 0)); }},
      {"ShowSpecialPara", [&] { return instance->ShowSpecialPara(99, "", 0); }},
      {"SendSpecialCmd", [&] { return instance->SendSpecialCmd(99, 1); }},
  };
  for (const auto& [name, call] : checked) {
    LogCapture::Clear();
    EXPECT_EQ(call(), 0) << name;
    EXPECT_TRUE(LogCapture::Has(std::string("[NA-1] The device does not exist. Call function: ") + name + "."))
        << name << "\n"
        << LogCapture::Dump();
  }
  // The Address Map answers 1 in every case.
  LogCapture::Clear();
  EXPECT_EQ(instance->ShowAddresMap(99, 0, nullptr, nullptr), 1);
  EXPECT_TRUE(LogCapture::Has("[NA-1] The device does not exist. Call function: ShowAddresMap."))
      << LogCapture::Dump();
  EXPECT_EQ(fake->Journal().size(), 1u) << "only the channel property reached the driver";

  // drvGetIOConfig has no schedule check; drvRemoveDevice logs its own line.
  instance->GetIOConfig(99);
  EXPECT_TRUE(fake->Saw("GetIOConfig 99"));
  LogCapture::Clear();
  EXPECT_EQ(instance->RemoveDevice(99), 1);
  EXPECT_TRUE(LogCapture::Has("[NA-1] Cannot search device instance in VUSK_RemovedDevice.")) << LogCapture::Dump();

  // While running, the monitor call answers 1 for an unknown device and still logs.
  ASSERT_EQ(instance->StartComm(), 1);
  LogCapture::Clear();
  EXPECT_EQ(instance->ShowIOMonitor(99, 0), 1);
  EXPECT_TRUE(LogCapture::Has("[NA-1] The device does not exist. Call function: ShowIOMonitor."));
}

TEST_F(Instance, AnExceptionInAForwardIsLoggedAndGivesItsFailure) {
  AddDevice(1);
  struct Case {
    const char* line;
    bool FakeDriver::*fault;
    std::function<std::string()> call;
    std::string failed, done;
  };
  const std::vector<Case> cases = {
      {"[NA-1] Exception is happened in VUSK_Read function.", &FakeDriver::throwOnRead,
       [&] { return std::to_string(instance->Read(1, 0, 3, nullptr)); }, "0", "1"},
      {"[NA-1] Exception is happened in VUSK_GetErrStr function.", &FakeDriver::throwOnErrorText,
       [&] { return instance->VUSK_GetErrStr(kDrvBadDevice); }, "", "Device index argument is invalid."},
  };
  for (const Case& c : cases) {
    (*fake).*c.fault = true;
    LogCapture::Clear();
    EXPECT_EQ(c.call(), c.failed) << c.line;
    EXPECT_TRUE(LogCapture::Has(c.line)) << LogCapture::Dump();
    (*fake).*c.fault = false;
    EXPECT_EQ(c.call(), c.done) << "the instance stays usable: " << c.line;
  }
}

TEST_F(Instance, ScanForwardsWithModuleScanningOn) {
  instance->StartAutoScan(2, 500, "1,2:1,5:9600,8,NOPARITY,0");
  EXPECT_TRUE(fake->Saw("StartAutoScan 1 1,2:1,5:9600,8,NOPARITY,0"));
  EXPECT_EQ(instance->FreeAutoScan(nullptr), 1);
  EXPECT_EQ(instance->FreeGetIOConfig(nullptr), 1);
  EXPECT_EQ(instance->FreeGetAddresMap(nullptr), 1);
}

TEST_F(Instance, ReleaseRemovesEveryDeviceInKeyOrder) {
  AddDevice(3);
  AddDevice(10);
  AddDevice(2);
  LogCapture::Clear();
  EXPECT_EQ(instance->Uninitialize(), 1);
  std::vector<std::string> removed;
  for (const auto& j : fake->Journal()) {
    if (j.rfind("RemoveDevice", 0) == 0) removed.push_back(j);
  }
  EXPECT_EQ(removed, (std::vector<std::string>{"RemoveDevice 10 dev10", "RemoveDevice 2 dev2", "RemoveDevice 3 dev3"}));
  EXPECT_TRUE(LogCapture::Has("[NA-1]Communication channel instance is removed.")) << LogCapture::Dump();
}

TEST_F(Instance, ScheduleBacksOffASilentDeviceAndRestoresIt) {
  AddDevice(1, 500);
  const auto t0 = std::chrono::steady_clock::now();
  std::vector<DeviceKey> due;
  auto dueAt = [&](std::chrono::milliseconds at) {
    due.clear();
    return instance->CollectDueDevices(due, t0 + at);
  };
  // A new device is due at once, then every 500 ms.
  EXPECT_EQ(dueAt(0ms), 1);
  EXPECT_EQ(dueAt(499ms), 0);
  EXPECT_EQ(dueAt(500ms), 1);
  fake->cycleResults["1"] = kDrvNoResponse;
  LogCapture::Clear();
  instance->VUSK_MonitoringDevice(1);
  EXPECT_EQ(fake->states["1"], 2);
  EXPECT_TRUE(LogCapture::Has("[NA-1][Port:3, Node:1] Device is not response.")) << LogCapture::Dump();
  EXPECT_TRUE(LogCapture::Has("[NA-1][Port:3, Node:1] Try reconnecting..."));
  // Three times the interval from the cycle that found it silent.
  EXPECT_EQ(dueAt(1999ms), 0);
  EXPECT_EQ(dueAt(2000ms), 1);
  instance->VUSK_MonitoringDevice(1);  // still silent: three times, not nine
  EXPECT_EQ(dueAt(3499ms), 0);
  EXPECT_EQ(dueAt(3500ms), 1);
  DeviceScheduleEntry entry;
  ASSERT_TRUE(instance->ScheduleEntry(1, &entry));
  EXPECT_EQ(entry.state, "Stopped") << "a silent device keeps its state text";

  fake->cycleResults["1"] = 1;
  instance->VUSK_MonitoringDevice(1);
  EXPECT_EQ(fake->states["1"], 1);
  ASSERT_TRUE(instance->ScheduleEntry(1, &entry));
  EXPECT_EQ(entry.state, "Running");
  EXPECT_EQ(dueAt(3999ms), 0);
  EXPECT_EQ(dueAt(4000ms), 1) << "the base interval again";

  // A device slower than its interval is due again at once, not in a burst
  // of the cycles it missed.
  EXPECT_EQ(dueAt(6000ms), 1);
  EXPECT_EQ(dueAt(6000ms), 0);
  EXPECT_EQ(dueAt(6500ms), 1);

  // Other results change nothing here.
  fake->cycleResults["1"] = 2;
  fake->states.clear();
  instance->VUSK_MonitoringDevice(1);
  EXPECT_TRUE(fake->states.empty());
}

TEST_F(Instance, DevicesDueTogetherRunInKeyOrderAtMostAHundredAPass) {
  AddDevice(20, 30);
  AddDevice(10, 30);
  AddDevice(5, 10);  // the shortest interval: every 10 ms
  const auto t0 = std::chrono::steady_clock::now();
  std::vector<DeviceKey> due;
  instance->CollectDueDevices(due, t0);
  EXPECT_EQ(due, (std::vector<DeviceKey>{10, 20, 5}));
  due.clear();
  instance->CollectDueDevices(due, t0 + 10ms);
  instance->CollectDueDevices(due, t0 + 20ms);
  instance->CollectDueDevices(due, t0 + 30ms);
  EXPECT_EQ(due, (std::vector<DeviceKey>{5, 5, 10, 20, 5}));

  // 150 devices all due: a hundred now, the other fifty in the next pass
  // before any of the first hundred comes round again.
  for (DeviceKey key : {5, 10, 20}) ASSERT_EQ(instance->RemoveDevice(key), 1);
  for (int key = 100; key < 250; ++key) AddDevice(key, 1000);
  const auto t1 = t0 + 1s;
  due.clear();
  EXPECT_EQ(instance->CollectDueDevices(due, t1), 100);
  std::vector<DeviceKey> second;
  EXPECT_EQ(instance->CollectDueDevices(second, t1), 50);
  due.insert(due.end(), second.begin(), second.end());
  std::sort(due.begin(), due.end());
  EXPECT_EQ(std::unique(due.begin(), due.end()), due.end()) << "no device twice";
  EXPECT_EQ(due.size(), 150u);
}

TEST_F(Instance, AnIdleThreadSleepsUntilItsDeviceIsDueOrAWriteWakesIt) {
  AddDevice(1, 60000);
  ASSERT_EQ(instance->StartComm(), 1);
  auto waitCycles = [&](int n) {
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (fake->Cycles("1") < n && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(2ms);
    return fake->Cycles("1");
  };
  EXPECT_EQ(waitCycles(1), 1) << "the first cycle runs at once";
  std::this_thread::sleep_for(200ms);
  EXPECT_EQ(fake->Cycles("1"), 1) << "nothing is due for a minute";
  instance->SignalWrite("1");
  EXPECT_EQ(waitCycles(2), 2) << "a queued write makes its device due";
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(instance->StopComm(), 1);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 100ms) << "the stop wakes the sleeping thread";
}

TEST_F(Instance, TheThreadRunsCyclesAndStopWaitsForItsEnd) {
  AddDevice(1, 10);
  ASSERT_EQ(instance->StartComm(), 1);
  EXPECT_FALSE(instance->IsStopped());
  const auto deadline = std::chrono::steady_clock::now() + 5s;
  while (fake->Cycles("1") < 3 && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(5ms);
  ASSERT_GE(fake->Cycles("1"), 3);

  // Slow cycles: the stop must still wait until the pass has finished and the
  // thread has closed its channel.
  fake->cycleDelayMs = 150;
  std::this_thread::sleep_for(30ms);
  EXPECT_EQ(instance->StopComm(), 1);
  EXPECT_TRUE(instance->IsStopped());
  const auto journal = fake->Journal();
  ASSERT_GE(journal.size(), 2u);
  EXPECT_EQ(journal[journal.size() - 2], "CloseChByCallThread");
  EXPECT_EQ(journal.back(), "Close");
  const int cycles = fake->Cycles("1");
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(fake->Cycles("1"), cycles) << "no cycle after the stop";
}

TEST_F(Instance, TheThreadOnlyHandsItsLinesOverAndNeverWaitsOnTheCallback) {
  // A callback that blocks (a window busy elsewhere) must hold up neither
  // the cycles nor a stop.
  static std::promise<void> entered;
  static std::shared_future<void> release;
  entered = std::promise<void>();
  std::promise<void> releaser;
  release = releaser.get_future().share();
  static std::atomic<bool> once{false};
  static std::thread::id testThread;
  once = false;
  testThread = std::this_thread::get_id();
  DriverLibrary::Get().SetCallback([](int, const char*, const char*) {
    if (std::this_thread::get_id() == testThread) return;  // the exports' own lines
    if (!once.exchange(true)) entered.set_value();
    release.wait();
  });
  AddDevice(1, 10);
  fake->cycleResults["1"] = kDrvNoResponse;  // every cycle logs two lines
  ASSERT_EQ(instance->StartComm(), 1);
  ASSERT_EQ(entered.get_future().wait_for(5s), std::future_status::ready);
  const int cycles = fake->Cycles("1");
  const auto deadline = std::chrono::steady_clock::now() + 5s;
  while (fake->Cycles("1") < cycles + 3 && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(5ms);
  EXPECT_GE(fake->Cycles("1"), cycles + 3) << "cycles go on while the callback blocks";
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(instance->StopComm(), 1);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 200ms);
  DriverLibrary::Get().SetCallback(nullptr);
  releaser.set_value();
  const auto drained = std::chrono::steady_clock::now() + 5s;
  while (DriverLibrary::Get().PostedLines() > 0 && std::chrono::steady_clock::now() < drained)
    std::this_thread::sleep_for(5ms);
  EXPECT_EQ(DriverLibrary::Get().PostedLines(), 0u);
}

TEST_F(Instance, TheThreadsLinesReachASlowCallbackBeforeTheStopsCloseLine) {
  DriverLibrary::Get().SetCallback([](int level, const char* source, const char* text) {
    std::this_thread::sleep_for(20ms);  // slower than the silent device posts
    LogCapture::Callback(level, source, text);
  });
  AddDevice(1, 0);
  fake->cycleResults["1"] = kDrvNoResponse;
  ASSERT_EQ(instance->StartComm(), 1);
  std::this_thread::sleep_for(100ms);
  ASSERT_EQ(instance->StopComm(), 1);
  // The backlog reaches the slow callback one line per 20 ms: wait for the
  // close line rather than for a guessed time, then make sure it stays last.
  const std::string closed = "[NA-1] \u2605 Communication channel is closed successfully";
  for (int i = 0; i < 500 && !LogCapture::Has(closed); ++i) std::this_thread::sleep_for(10ms);
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(LogCapture::Lines().back().text, closed) << LogCapture::Dump();
}

TEST_F(Instance, ReleasingARunningInstanceAtUnloadEndsItsThreadFirst) {
  // Instances still listed when the library goes away are released by it,
  // running or not; the thread must be gone before the driver object is.
  AddDevice(1, 10);
  fake->cycleDelayMs = 20;
  ASSERT_EQ(instance->StartComm(), 1);
  std::this_thread::sleep_for(50ms);
  instance.reset();
  // A thread left behind would now run cycles on a freed object.
  std::this_thread::sleep_for(100ms);
}

TEST_F(Instance, RunningRefusalIsDecidedUnderTheInstanceLock) {
  // A start is under way (holding the instance lock) when another thread
  // asks to change the channel: it must see the instance running.
  std::promise<void> openEntered;
  std::promise<void> releaseOpen;
  auto release = releaseOpen.get_future().share();
  fake->openGate = [&] {
    openEntered.set_value();
    release.wait();
  };
  std::thread starter([&] { EXPECT_EQ(instance->StartComm(), 1); });
  openEntered.get_future().wait();
  auto change = std::async(std::launch::async, [&] { return instance->SetChannelProperty("other", "RS485\t"); });
  EXPECT_EQ(change.wait_for(100ms), std::future_status::timeout) << "the change waits for the lock";
  releaseOpen.set_value();
  starter.join();
  EXPECT_EQ(change.get(), kDrvRunning);
  EXPECT_FALSE(fake->Saw("SetChannelProperty RS485"));
  EXPECT_EQ(instance->Name(), "NA-1");
}

TEST_F(Instance, AModalWindowsNestedCallsReenterTheInstance) {
  AddDevice(1);
  // The window's event loop runs a timer that reads the same instance on the
  // same thread while the export still holds the instance lock.
  fake->nested = [&] { return instance->Read(1, 0, 3, nullptr) == 1 ? 1 : 0; };
  auto shown = std::async(std::launch::async, [&] {
    return std::make_pair(instance->ShowAddresMap(1, -1, nullptr, nullptr), instance->ShowProtocolComm());
  });
  ASSERT_EQ(shown.wait_for(5s), std::future_status::ready) << "nested call dead-locked";
  const auto [map, messenger] = shown.get();
  EXPECT_EQ(map, 1);
  EXPECT_EQ(messenger, 1);
}

}  // namespace
}  // namespace tessivar
