// The automatic scan on Ethernet inside network namespaces made by the test:
// several simulators answer the discovery broadcast, each found adapter's
// modules are read over Modbus TCP port 502, and drvGetIOConfig of a
// configured device lists the same modules.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "common/Utility.h"
#include "driver/driver_instance.h"
#include "driver/driver_library.h"
#include "driver/records.h"
#include "tests/driver/log_capture.h"
#include "tests/driver_modbus/netlab.h"
#include "tools/simulator/testing/simulator_process.h"

namespace tessivar {
namespace {

using qmx::sim::SimulatorProcess;
using qmx::test::LogCapture;
using qmx::test::NetLab;

struct Station {
  const char* mac;
  const char* modules;
  std::vector<uint16_t> codes;
};

const Station kStations[] = {
    {"00:1A:4C:00:00:21", "QMX-1808,QMX-2808", {0x1808, 0x2808}},
    {"00:1A:4C:00:00:22", "QMX-3404", {0x3404}},
    {"00:1A:4C:00:00:23", "QMX-1808,QMX-3404,QMX-4402", {0x1808, 0x3404, 0x4402}},
};
constexpr int kHosts = 3;

std::vector<uint16_t> Codes(const OnlineIOConfig& record) {
  std::vector<uint16_t> codes;
  for (int i = 0; i < record.moduleCount; ++i) codes.push_back(record.modules[i].productCode);
  return codes;
}

class AutoScan : public ::testing::Test {
protected:
  void SetUp() override {
    std::string why;
    if (!lab_.Create(&why)) GTEST_SKIP() << "no network namespace: " << why;
    LogCapture::Clear();
    DriverLibrary::Get().SetCallback(&LogCapture::Callback);
    DriverLibrary::Get().SetSwitches(1, 1, 1, 1);
    for (int host = 0; host < kHosts; ++host) {
      const Station& s = kStations[host];
      const std::string ip = NetLab::HostAddress(host);
      auto sim = std::make_unique<SimulatorProcess>(std::vector<std::string>{
          "--model", "QMX-4101", "--modules", s.modules, "--tcp", ip + ":502", "--discovery", "0.0.0.0:8000",
          "--ip", ip, "--mask", "255.255.255.0", "--gateway", NetLab::kToolAddress, "--mac", s.mac});
      bool started = false;
      ASSERT_TRUE(lab_.RunIn(host, [&] { started = sim->Start(); }));
      ASSERT_TRUE(started) << sim->error();
      sims_.push_back(std::move(sim));
    }
  }
  void TearDown() override {
    sims_.clear();
    DriverLibrary::Get().SetCallback(nullptr);
    DriverLibrary::Get().SetSwitches(0, 0, 0, 0);
  }

  NetLab lab_{kHosts};
  std::vector<std::unique_ptr<SimulatorProcess>> sims_;
};

TEST_F(AutoScan, FindsEveryAdapterWithItsModulesAndGetIOConfigAgrees) {
  ASSERT_TRUE(lab_.RunIn(-1, [&] {
    DriverInstance instance;
    ASSERT_EQ(instance.SetChannelProperty("Scan", "TCP\t10.231.0.11,502,,,,,"), 1);
    auto* list = reinterpret_cast<ScanResultList*>(instance.StartAutoScan(0, 800, ""));
    ASSERT_NE(list, nullptr) << LogCapture::Dump();
    ASSERT_EQ(list->count, kHosts) << LogCapture::Dump();
    std::vector<int> seen;
    for (int i = 0; i < list->count; ++i) {
      const ScannedAdapter& a = *list->adapters[i];
      const std::string ip = a.text2;
      int host = -1;
      for (int h = 0; h < kHosts; ++h) {
        if (ip == NetLab::HostAddress(h)) host = h;
      }
      ASSERT_GE(host, 0) << ip;
      seen.push_back(host);
      SCOPED_TRACE(ip);
      EXPECT_EQ(a.productCode, 0x4101);
      EXPECT_STREQ(a.text1, "");
      EXPECT_STREQ(a.text3, kStations[host].mac);
      EXPECT_STREQ(a.text4, "255.255.255.0");
      EXPECT_STREQ(a.text5, NetLab::kToolAddress);
      EXPECT_EQ(Codes(a), kStations[host].codes) << LogCapture::Dump();
    }
    std::sort(seen.begin(), seen.end());
    EXPECT_EQ(seen, (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(instance.FreeAutoScan(list), 1);

    // Each station configured as a device: its online configuration lists
    // the modules the scan found.
    for (int host = 0; host < kHosts; ++host) {
      SCOPED_TRACE(host);
      const std::string channel = "TCP\t" + NetLab::HostAddress(host) + ",502,500,,,,";
      ASSERT_EQ(instance.SetChannelProperty("Scan", channel.c_str()), 1);
      ASSERT_EQ(instance.SetDeviceProperty(host + 1, "QMX-4101", "500\t0x4101,1"), 1);
      auto* config = reinterpret_cast<OnlineIOConfig*>(instance.GetIOConfig(host + 1));
      ASSERT_NE(config, nullptr) << LogCapture::Dump();
      EXPECT_EQ(config->productCode, 0x4101);
      EXPECT_EQ(Codes(*config), kStations[host].codes);
      EXPECT_EQ(instance.FreeGetIOConfig(config), 1);
    }
  }));
}

TEST_F(AutoScan, NoAnswerGivesAnEmptyListAndItsWarning) {
  for (auto& sim : sims_) ASSERT_TRUE(sim->Ok("discovery-fault silence"));
  ASSERT_TRUE(lab_.RunIn(-1, [&] {
    DriverInstance instance;
    ASSERT_EQ(instance.SetChannelProperty("Scan", "TCP\t10.231.0.11,502,,,,,"), 1);
    auto* list = reinterpret_cast<ScanResultList*>(instance.StartAutoScan(1, 300, ""));
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->count, 0);
    EXPECT_TRUE(LogCapture::Has("[Scan][Warning] Scan result is none. You must first set IP address of network "
                                "adapters. Func: ScanTCPNA"))
        << LogCapture::Dump();
    instance.FreeAutoScan(list);
  }));
}

}  // namespace
}  // namespace tessivar
