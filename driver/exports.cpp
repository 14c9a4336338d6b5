// The 24 exported functions of Tessivar.so. Each one finds its instance,
// keeps it alive for the call and hands over to the instance; nothing
// thrown inside leaves the library.
#include <new>

#include "common/Utility.h"
#include "driver/driver_instance.h"
#include "driver/driver_library.h"
#include "driver/driver_utils.h"
#include "driver/include/tessivar.h"
#include "driver/records.h"
#include "driver/result_codes.h"
#include "driver/windows/driver_windows.h"

namespace tessivar {
namespace {

// The library's path is taken, and its windows are installed, when the
// library is loaded, before any export runs.
__attribute__((constructor)) void LibraryStart() {
  DriverLibrary::Get();
  windows::InstallDriverWindows();
}

template <class R, class F>
R WithInstance(DriverHandle h, const char* function, R failed, R missing, F&& fn) {
  try {
    std::shared_ptr<DriverInstance> instance = DriverLibrary::Get().Find(h);
    if (!instance) {
      RouteLog(DRV_LOG_ERROR, StrFormat("Driver instance is not created or Loader is not started. Func: %s", function));
      return missing;
    }
    return fn(*instance);
  } catch (...) {
    return failed;
  }
}

}  // namespace
}  // namespace tessivar

using tessivar::DriverInstance;
using tessivar::DriverLibrary;
using tessivar::WithInstance;

namespace {
constexpr int kMissing = tessivar::kDrvNoInstance;
constexpr intptr_t kMissingPtr = tessivar::kDrvNoInstance;
}  // namespace

extern "C" {

int drvSetFuncPtr(DriverLogCallback callback) {
  DriverLibrary::Get().SetCallback(callback);
  return 1;
}

int drvSetLogOption(int general, int error, int communication, int developer) {
  DriverLibrary::Get().SetSwitches(general, error, communication, developer);
  return 1;
}

DriverHandle drvInitialize(void) {
  try {
    auto instance = std::make_shared<DriverInstance>();
    return DriverLibrary::Get().Add(std::move(instance));
  } catch (const std::bad_alloc&) {
    return nullptr;
  } catch (...) {
    try {
      tessivar::RouteLog(DRV_LOG_ERROR, StrFormat("Exception is happened in %s function.", "VUSK_SetDriverMgr"));
    } catch (...) {
    }
    return nullptr;
  }
}

int drvUninitialize(DriverHandle h) {
  return WithInstance(h, "drvUninitialize", 0, kMissing, [h](DriverInstance& i) {
    const int r = i.Uninitialize();
    if (r == 1) DriverLibrary::Get().Remove(h);
    return r;
  });
}

intptr_t drvStartAutoScan(DriverHandle h, int /*ignored*/, int commKind, int timeValue, const char* param) {
  return WithInstance(h, "drvStartAutoScan", intptr_t{0}, kMissingPtr,
                      [&](DriverInstance& i) { return i.StartAutoScan(commKind, timeValue, param); });
}

int drvFreeAutoScan(DriverHandle h, ScanResultList* list) {
  // A record is the library's, not the instance's: it is released even when
  // the handle is no longer listed.
  if (!DriverLibrary::Get().Find(h)) {
    tessivar::FreeScanResultList(list);
    return 1;
  }
  return WithInstance(h, "drvFreeAutoScan", 0, 1, [&](DriverInstance& i) { return i.FreeAutoScan(list); });
}

int drvSetChannelProperty(DriverHandle h, const char* name, const char* channelProperty) {
  return WithInstance(h, "drvSetChannelProperty", 0, kMissing,
                      [&](DriverInstance& i) { return i.SetChannelProperty(name, channelProperty); });
}

int drvSetDeviceProperty(DriverHandle h, DeviceKey key, const char* deviceName, const char* deviceProperty) {
  return WithInstance(h, "drvSetDeviceProperty", 0, kMissing,
                      [&](DriverInstance& i) { return i.SetDeviceProperty(key, deviceName, deviceProperty); });
}

intptr_t drvGetIOConfig(DriverHandle h, DeviceKey key) {
  return WithInstance(h, "drvGetIOConfig", intptr_t{0}, kMissingPtr,
                      [&](DriverInstance& i) { return i.GetIOConfig(key); });
}

int drvFreeGetIOConfig(DriverHandle h, OnlineIOConfig* record) {
  // A record is the library's, not the instance's: it is released even when
  // the handle is no longer listed.
  if (!DriverLibrary::Get().Find(h)) {
    tessivar::FreeOnlineIOConfig(record);
    return 1;
  }
  return WithInstance(h, "drvFreeGetIOConfig", 0, 1, [&](DriverInstance& i) { return i.FreeGetIOConfig(record); });
}

int drvSetModuleList(DriverHandle h, DeviceKey key, const ModuleListEntry* entries, int count) {
  return WithInstance(h, "drvSetModuleList", 0, kMissing,
                      [&](DriverInstance& i) { return i.SetModuleList(key, entries, count); });
}

int drvSetProcessImgMode(DriverHandle h, DeviceKey key, int inputMode, int outputMode) {
  return WithInstance(h, "drvSetProcessImgMode", 0, kMissing,
                      [&](DriverInstance& i) { return i.SetProcessImgMode(key, inputMode, outputMode); });
}

AddressMapInfo* drvGetAddresMap(DriverHandle h, DeviceKey key, int slot) {
  return WithInstance(h, "drvGetAddresMap", static_cast<AddressMapInfo*>(nullptr),
                      static_cast<AddressMapInfo*>(nullptr),
                      [&](DriverInstance& i) { return i.GetAddresMap(key, slot); });
}

int drvFreeGetAddresMap(DriverHandle h, AddressMapInfo* record) {
  // A record is the library's, not the instance's: it is released even when
  // the handle is no longer listed.
  if (!DriverLibrary::Get().Find(h)) {
    tessivar::FreeAddressMapInfo(record);
    return 1;
  }
  return WithInstance(h, "drvFreeGetAddresMap", 0, 1, [&](DriverInstance& i) { return i.FreeGetAddresMap(record); });
}

int drvShowAddresMap(DriverHandle h, DeviceKey key, int slot, int16_t* inputMode, int16_t* outputMode,
                     int /*ignored*/) {
  return WithInstance(h, "drvShowAddresMap", 0, kMissing,
                      [&](DriverInstance& i) { return i.ShowAddresMap(key, slot, inputMode, outputMode); });
}

int drvShowProtocolComm(DriverHandle h, int /*kind*/) {
  return WithInstance(h, "drvShowProtocolComm", 0, kMissing,
                      [&](DriverInstance& i) { return i.ShowProtocolComm(); });
}

int drvShowSpecialPara(DriverHandle h, DeviceKey key, const char* text, int value) {
  return WithInstance(h, "drvShowSpecialPara", 0, kMissing,
                      [&](DriverInstance& i) { return i.ShowSpecialPara(key, text, value); });
}

int drvStartComm(DriverHandle h) {
  return WithInstance(h, "drvStartComm", 0, kMissing, [&](DriverInstance& i) { return i.StartComm(); });
}

int drvRead(DriverHandle h, DeviceKey key, int module, int kind, void* destination) {
  return WithInstance(h, "drvRead", 0, kMissing,
                      [&](DriverInstance& i) { return i.Read(key, module, kind, destination); });
}

int drvWriteByte(DriverHandle h, DeviceKey key, int module, int kind, const void* source, int flag, int length) {
  return WithInstance(h, "drvWriteByte", 0, kMissing,
                      [&](DriverInstance& i) { return i.WriteByte(key, module, kind, source, flag, length); });
}

int drvShowIOMonitor(DriverHandle h, DeviceKey key, int value) {
  return WithInstance(h, "drvShowIOMonitor", 0, kMissing,
                      [&](DriverInstance& i) { return i.ShowIOMonitor(key, value); });
}

int drvSendSpecialCmd(DriverHandle h, DeviceKey key, int command) {
  return WithInstance(h, "drvSendSpecialCmd", 0, kMissing,
                      [&](DriverInstance& i) { return i.SendSpecialCmd(key, command); });
}

int drvStopComm(DriverHandle h) {
  return WithInstance(h, "drvStopComm", 0, kMissing, [&](DriverInstance& i) { return i.StopComm(); });
}

int drvRemoveDevice(DriverHandle h, DeviceKey key) {
  return WithInstance(h, "drvRemoveDevice", 0, kMissing, [&](DriverInstance& i) { return i.RemoveDevice(key); });
}

}  // extern "C"
