// Tessivar.so as the main program meets it: loaded with dlopen from the
// staged program folder and bound by name.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cctype>
#include <chrono>
#include <cstddef>
#include <cstdio>
#include <set>
#include <string>
#include <type_traits>

#include "driver/include/tessivar.h"
#include "tests/driver/log_capture.h"
#include "tests/support/test_support.h"

extern "C" {
struct TessivarLayoutC {
  size_t sizes[8];
  size_t offsets[8];
};
void TessivarLayoutFromC(TessivarLayoutC* out);
}

namespace {

using namespace std::chrono_literals;
using qmx::test::LogCapture;

static_assert(std::is_same_v<decltype(&drvRead), PFN_drvRead>);
static_assert(std::is_same_v<decltype(&drvShowAddresMap), PFN_drvShowAddresMap>);
static_assert(sizeof(DeviceKey) == sizeof(void*));

constexpr const char* kExportNames[] = {
    "drvFreeAutoScan",     "drvFreeGetAddresMap",   "drvFreeGetIOConfig",   "drvGetAddresMap",
    "drvGetIOConfig",      "drvInitialize",         "drvRead",              "drvRemoveDevice",
    "drvSendSpecialCmd",   "drvSetChannelProperty", "drvSetDeviceProperty", "drvSetFuncPtr",
    "drvSetLogOption",     "drvSetModuleList",      "drvSetProcessImgMode", "drvShowAddresMap",
    "drvShowIOMonitor",    "drvShowProtocolComm",   "drvShowSpecialPara",   "drvStartAutoScan",
    "drvStartComm",        "drvStopComm",           "drvUninitialize",      "drvWriteByte",
};

struct Driver {
  void* library = nullptr;
  PFN_drvSetFuncPtr SetFuncPtr;
  PFN_drvSetLogOption SetLogOption;
  PFN_drvInitialize Initialize;
  PFN_drvUninitialize Uninitialize;
  PFN_drvStartAutoScan StartAutoScan;
  PFN_drvFreeAutoScan FreeAutoScan;
  PFN_drvSetChannelProperty SetChannelProperty;
  PFN_drvSetDeviceProperty SetDeviceProperty;
  PFN_drvGetIOConfig GetIOConfig;
  PFN_drvFreeGetIOConfig FreeGetIOConfig;
  PFN_drvSetModuleList SetModuleList;
  PFN_drvSetProcessImgMode SetProcessImgMode;
  PFN_drvGetAddresMap GetAddresMap;
  PFN_drvFreeGetAddresMap FreeGetAddresMap;
  PFN_drvShowAddresMap ShowAddresMap;
  PFN_drvShowProtocolComm ShowProtocolComm;
  PFN_drvShowSpecialPara ShowSpecialPara;
  PFN_drvStartComm StartComm;
  PFN_drvRead Read;
  PFN_drvWriteByte WriteByte;
  PFN_drvShowIOMonitor ShowIOMonitor;
  PFN_drvSendSpecialCmd SendSpecialCmd;
  PFN_drvStopComm StopComm;
  PFN_drvRemoveDevice RemoveDevice;
};

std::string LibraryPath() { return (qmx::test::DistDir() / TESSIVAR_LIBRARY_FILE).string(); }

template <class T>
void Bind(void* library, T& slot, const char* name) {
  slot = reinterpret_cast<T>(::dlsym(library, name));
  ASSERT_NE(slot, nullptr) << name;
}

class Loaded : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    d.library = ::dlopen(LibraryPath().c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(d.library, nullptr) << ::dlerror();
#define QMX_BIND(n) Bind(d.library, d.n, "drv" #n)
    QMX_BIND(SetFuncPtr);
    QMX_BIND(SetLogOption);
    QMX_BIND(Initialize);
    QMX_BIND(Uninitialize);
    QMX_BIND(StartAutoScan);
    QMX_BIND(FreeAutoScan);
    QMX_BIND(SetChannelProperty);
    QMX_BIND(SetDeviceProperty);
    QMX_BIND(GetIOConfig);
    QMX_BIND(FreeGetIOConfig);
    QMX_BIND(SetModuleList);
    QMX_BIND(SetProcessImgMode);
    QMX_BIND(GetAddresMap);
    QMX_BIND(FreeGetAddresMap);
    QMX_BIND(ShowAddresMap);
    QMX_BIND(ShowProtocolComm);
    QMX_BIND(ShowSpecialPara);
    QMX_BIND(StartComm);
    QMX_BIND(Read);
    QMX_BIND(WriteByte);
    QMX_BIND(ShowIOMonitor);
    QMX_BIND(SendSpecialCmd);
    QMX_BIND(StopComm);
    QMX_BIND(RemoveDevice);
#undef QMX_BIND
  }
  static void TearDownTestSuite() {
    if (d.library) ::dlclose(d.library);
    d.library = nullptr;
  }
  void SetUp() override {
    ASSERT_NE(d.library, nullptr);
    LogCapture::Clear();
    ASSERT_EQ(d.SetFuncPtr(&LogCapture::Callback), 1);
    ASSERT_EQ(d.SetLogOption(1, 1, 1, 1), 1);
  }
  void TearDown() override {
    if (!d.library) return;
    d.SetLogOption(0, 0, 0, 0);
    d.SetFuncPtr(nullptr);
  }
  static Driver d;
};

Driver Loaded::d;

TEST(TessivarFile, ExportsTheDriverFunctionsAndNothingElse) {
  const std::string command = "nm -D --defined-only '" + LibraryPath() + "' 2>&1";
  FILE* pipe = ::popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::set<std::string> exported;
  char line[1024];
  while (std::fgets(line, sizeof line, pipe)) {
    char address[64], type[8], name[900];
    // A local symbol of the dynamic table (a lower-case type; a link-time
    // optimised build keeps a few there) is not visible to a caller: only
    // global, weak and unique ones are exported.
    if (std::sscanf(line, "%63s %7s %899s", address, type, name) == 3 &&
        (std::isupper(static_cast<unsigned char>(type[0])) || type[0] == 'u'))
      exported.insert(name);
  }
  ASSERT_EQ(::pclose(pipe), 0);
  const std::set<std::string> expected(std::begin(kExportNames), std::end(kExportNames));
  EXPECT_EQ(exported, expected);

  void* library = ::dlopen(LibraryPath().c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(library, nullptr) << ::dlerror();
  EXPECT_EQ(::dlsym(library, "_ZN8tessivar8RouteLogEiRKNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEE"),
            nullptr);
  EXPECT_EQ(::dlsym(library, "GetToken"), nullptr);
  ::dlclose(library);
}

TEST(TessivarFile, CarriesItsVersionBlock) {
  const std::string bytes = qmx::test::ReadFile(LibraryPath());
  EXPECT_NE(bytes.find("QMX410-VERBLOCK"), std::string::npos);
  EXPECT_NE(bytes.find(std::string("OriginalFilename\0Tessivar.so", 28)), std::string::npos);
  EXPECT_NE(bytes.find("QMX-410 Modbus communication driver"), std::string::npos);
}

TEST(TessivarHeader, RecordsHaveTheSameLayoutInCAndCxx) {
  TessivarLayoutC c{};
  TessivarLayoutFromC(&c);
  const size_t sizes[] = {sizeof(ModuleListEntry), sizeof(ScannedModule),     sizeof(OnlineIOConfig),
                          sizeof(ScanResultList),  sizeof(AddressMapChannel), sizeof(AddressMapRow),
                          sizeof(AddressMapInfo),  sizeof(DeviceKey)};
  const size_t offsets[] = {offsetof(ModuleListEntry, moduleLine), offsetof(OnlineIOConfig, modules),
                            offsetof(ScanResultList, adapters),    offsetof(AddressMapChannel, channelType),
                            offsetof(AddressMapRow, outputs),      offsetof(AddressMapInfo, rows),
                            offsetof(ModuleListEntry, outputSize), sizeof(DriverHandle)};
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(c.sizes[i], sizes[i]) << "record " << i;
    EXPECT_EQ(c.offsets[i], offsets[i]) << "field " << i;
  }
}

TEST_F(Loaded, LinesFollowTheSwitchOfTheirLevel) {
  DriverHandle h = d.Initialize();
  ASSERT_NE(h, nullptr);
  // Level 0 (an unknown device) follows the error switch only.
  d.SetLogOption(1, 0, 1, 1);
  EXPECT_EQ(d.Read(h, 5, 0, DRV_IMAGE_INPUT, nullptr), 0);
  EXPECT_TRUE(LogCapture::Lines().empty()) << LogCapture::Dump();
  d.SetLogOption(0, 1, 0, 0);
  EXPECT_EQ(d.Read(h, 5, 0, DRV_IMAGE_INPUT, nullptr), 0);
  const auto lines = LogCapture::Lines();
  ASSERT_EQ(lines.size(), 1u) << LogCapture::Dump();
  EXPECT_EQ(lines[0].level, 0);
  EXPECT_EQ(lines[0].source, TESSIVAR_LIBRARY_FILE);
  EXPECT_EQ(lines[0].text, "[] The device does not exist. Call function: Read.");

  // Level 1 (the release line) follows the general switch only.
  DriverHandle h2 = d.Initialize();
  LogCapture::Clear();
  d.SetLogOption(0, 1, 1, 1);
  EXPECT_EQ(d.Uninitialize(h2), 1);
  EXPECT_TRUE(LogCapture::Matching("Communication channel instance is removed.").empty());
  d.SetLogOption(1, 0, 0, 0);
  EXPECT_EQ(d.Uninitialize(h), 1);
  EXPECT_TRUE(LogCapture::Has("Communication channel instance is removed.")) << LogCapture::Dump();

  // No callback: nothing is delivered and nothing breaks.
  d.SetFuncPtr(nullptr);
  DriverHandle h3 = d.Initialize();
  EXPECT_EQ(d.Read(h3, 5, 0, DRV_IMAGE_INPUT, nullptr), 0);
  EXPECT_EQ(d.Uninitialize(h3), 1);
}

TEST_F(Loaded, RefusalsFollowTheRunningState) {
  DriverHandle h = d.Initialize();
  ASSERT_NE(h, nullptr);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(d.StopComm(h), DRV_ERR_STOPPED);
  EXPECT_EQ(d.ShowIOMonitor(h, 1, 0), DRV_ERR_STOPPED);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 40ms) << "a stopped instance does not wait";

  // An offline channel cannot monitor: the start fails, says why, and leaves
  // the instance stopped, so the stop is refused at once and the release
  // works.
  d.SetChannelProperty(h, "T1", "Offline\t");
  d.SetDeviceProperty(h, 11, "NA", "500\t1,1");
  LogCapture::Clear();
  EXPECT_EQ(d.StartComm(h), 0);
  EXPECT_TRUE(LogCapture::Has("[T1] Communication drive does not supprt online functions. Func: VUSK_Open"))
      << LogCapture::Dump();
  EXPECT_TRUE(LogCapture::Has("[T1]  \u2605 Communication channel open is failed. Undefined Error happens."))
      << LogCapture::Dump();
  const auto stop = std::chrono::steady_clock::now();
  EXPECT_EQ(d.StopComm(h), DRV_ERR_STOPPED);
  EXPECT_LT(std::chrono::steady_clock::now() - stop, 40ms);
  EXPECT_EQ(d.ShowIOMonitor(h, 11, 0), DRV_ERR_STOPPED);
  // Exports that work in the stopped state.
  EXPECT_EQ(d.ShowSpecialPara(h, 11, "", 0), 1);
  EXPECT_EQ(d.ShowSpecialPara(h, 12, "", 0), 0);
  EXPECT_EQ(d.RemoveDevice(h, 12), 1);
  EXPECT_EQ(d.RemoveDevice(h, 11), 1);
  EXPECT_EQ(d.Uninitialize(h), 1);
}

TEST_F(Loaded, WindowExportsWithoutAUserInterfaceShowNothingAndSayWhy) {
  DriverHandle h = d.Initialize();
  ASSERT_NE(h, nullptr);
  d.SetChannelProperty(h, "T2", "TCP\t127.0.0.1,,,,,,");
  d.SetDeviceProperty(h, 3, "NA", "500\t1,1");
  int16_t in = 0, out = 0;
  LogCapture::Clear();
  EXPECT_EQ(d.ShowAddresMap(h, 3, -1, &in, &out, 0), 1);
  EXPECT_EQ(d.ShowProtocolComm(h, 0), 1);
  for (const char* function : {"VUSK_ShowAddresMap", "VUSK_ShowProtocolComm"})
    EXPECT_TRUE(LogCapture::Has(
        std::string("No window can be shown: the calling program has no user interface. Func: ") + function))
        << function << "\n"
        << LogCapture::Dump();
  // A scan of a bus type that has none.
  LogCapture::Clear();
  EXPECT_EQ(d.StartAutoScan(h, 0, 5, 500, ""), 0);
  EXPECT_TRUE(LogCapture::Has("[T2][Bug] Invalid Comm Type. enCommType: 5. Func: VUSK_StartAutoScan"))
      << LogCapture::Dump();
  // The records' free functions accept null.
  EXPECT_EQ(d.FreeAutoScan(h, nullptr), 1);
  EXPECT_EQ(d.FreeGetIOConfig(h, nullptr), 1);
  EXPECT_EQ(d.FreeGetAddresMap(h, nullptr), 1);
  EXPECT_EQ(d.Uninitialize(h), 1);
}

TEST_F(Loaded, TheAddressMapCrossesTheLibraryBoundaryAsTheHeaderLaysItOut) {
  DriverHandle h = d.Initialize();
  ASSERT_NE(h, nullptr);
  ASSERT_EQ(d.SetChannelProperty(h, "T3", "TCP\t127.0.0.1,,,,,,"), 1);
  ASSERT_EQ(d.SetDeviceProperty(h, 9, "DM-T640", "500\t0x4101,1"), 1);
  const ModuleListEntry list[] = {{0x4101, "NA", "Boiler", 0, "", "", 18, 12, ""},
                                  {0x1808, "IO", "Inputs", 2, "", "", 1, 0, "NDI,8,1,0,8,0,3,DI,1"}};
  ASSERT_EQ(d.SetModuleList(h, 9, list, 2), 1);
  EXPECT_EQ(d.SetProcessImgMode(h, 9, 4, 0), 1) << "stored; refused where a module needs it";
  EXPECT_EQ(d.GetAddresMap(h, 9, -1), nullptr);
  ASSERT_EQ(d.SetProcessImgMode(h, 9, 0, 0), 1);
  AddressMapInfo* map = d.GetAddresMap(h, 9, -1);
  ASSERT_NE(map, nullptr);
  EXPECT_EQ(map->wordAddressing, 1);
  EXPECT_STREQ(map->inputModeText, " #0 Status(1word) + Uncompressed Input Processing Data");
  ASSERT_EQ(map->rowCount, 2);
  EXPECT_STREQ(map->rows[0]->name, "Boiler");
  EXPECT_EQ(map->rows[0]->inputCount, 16);
  EXPECT_EQ(map->rows[1]->inputs[7]->bitAddress, 167);
  EXPECT_EQ(d.RemoveDevice(h, 9), 1);
  EXPECT_STREQ(map->rows[0]->inputs[0]->channelType, "RTD") << "the map is the caller's until it is freed";
  EXPECT_EQ(d.FreeGetAddresMap(h, map), 1);
  EXPECT_EQ(d.GetAddresMap(h, 9, -1), nullptr);
  EXPECT_EQ(d.Uninitialize(h), 1);
}

TEST_F(Loaded, AReleasedHandleIsRefused) {
  DriverHandle h = d.Initialize();
  ASSERT_EQ(d.Uninitialize(h), 1);
  LogCapture::Clear();
  EXPECT_EQ(d.StartComm(h), DRV_ERR_NO_INSTANCE);
  EXPECT_EQ(d.GetIOConfig(h, 1), DRV_ERR_NO_INSTANCE);
  EXPECT_EQ(d.GetAddresMap(h, 1, 0), nullptr);
  EXPECT_EQ(d.Uninitialize(nullptr), DRV_ERR_NO_INSTANCE);
  EXPECT_EQ(d.FreeGetAddresMap(h, nullptr), 1);
  EXPECT_TRUE(LogCapture::Has("Driver instance is not created or Loader is not started. Func: drvStartComm"))
      << LogCapture::Dump();
}

}  // namespace
