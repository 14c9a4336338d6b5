#include "app/model/DriverBinding.h"

#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

// Every entry point once: its name and its member.
#define QMX_DRIVER_ENTRIES(X)                                                                                      \
  X(drvSetFuncPtr) X(drvSetLogOption) X(drvInitialize) X(drvStartAutoScan) X(drvFreeAutoScan) X(drvGetIOConfig)   \
  X(drvFreeGetIOConfig) X(drvSetChannelProperty) X(drvSetDeviceProperty) X(drvSetModuleList)                      \
  X(drvSetProcessImgMode) X(drvGetAddresMap) X(drvFreeGetAddresMap) X(drvShowAddresMap) X(drvShowProtocolComm)   \
  X(drvShowSpecialPara) X(drvStartComm) X(drvRead) X(drvWriteByte) X(drvShowIOMonitor) X(drvSendSpecialCmd)       \
  X(drvStopComm) X(drvRemoveDevice) X(drvUninitialize)

#define QMX_NAME(n) #n,
const char* const kDriverEntryNames[24] = {QMX_DRIVER_ENTRIES(QMX_NAME)};
#undef QMX_NAME

const std::vector<const char*> kDeviceEntryNames = {
    "drvGetIOConfig",   "drvFreeGetIOConfig", "drvSetDeviceProperty", "drvSetModuleList", "drvSetProcessImgMode",
    "drvGetAddresMap",  "drvFreeGetAddresMap", "drvShowAddresMap",    "drvShowProtocolComm", "drvShowSpecialPara",
    "drvRead",          "drvWriteByte",       "drvShowIOMonitor",     "drvSendSpecialCmd", "drvRemoveDevice"};

namespace {

// Binds one entry point by its name.
bool BindByName(const qmx::os::Module& library, const std::string& name, DriverEntryPoints& e) {
#define QMX_BIND(n)                                             \
  if (name == #n) {                                             \
    e.n = reinterpret_cast<decltype(e.n)>(library.GetProc(#n)); \
    return e.n != nullptr;                                      \
  }
  QMX_DRIVER_ENTRIES(QMX_BIND)
#undef QMX_BIND
  return false;
}

bool IsBound(const DriverEntryPoints& e, const std::string& name) {
#define QMX_BOUND(n) \
  if (name == #n) return e.n != nullptr;
  QMX_DRIVER_ENTRIES(QMX_BOUND)
#undef QMX_BOUND
  return false;
}

}  // namespace

void DriverEntryPoints::ClearDeviceEntries() {
  for (const char* device : kDeviceEntryNames) {
    const std::string name = device;
#define QMX_CLEAR(n) \
  if (name == #n) n = nullptr;
    QMX_DRIVER_ENTRIES(QMX_CLEAR)
#undef QMX_CLEAR
  }
}

int LookUpEntryPoints(const qmx::os::Module& library, const std::vector<const char*>& names,
                      DriverEntryPoints& entries) {
  int found = 0;
  if (names.empty()) {
    for (const char* name : kDriverEntryNames) found += BindByName(library, name, entries) ? 1 : 0;
  }
  for (const char* name : names) found += BindByName(library, name, entries) ? 1 : 0;
  return found;
}

const char* FirstMissingEntry(const DriverEntryPoints& entries, const std::vector<const char*>& names) {
  for (const char* name : names) {
    if (!IsBound(entries, name)) return name;
  }
  return nullptr;
}

namespace {

struct KnownDevices {
  std::mutex guard;
  std::map<DriverHandle, std::set<DeviceKey>> keys;
  DeviceKey next = 1;  // small numbers are never object addresses
};

KnownDevices& Known() {
  static auto* known = new KnownDevices();  // outlives every adapter released at exit
  return *known;
}

}  // namespace

void NoteDeviceKnown(DriverHandle handle, DeviceKey key) {
  if (!handle) return;
  KnownDevices& k = Known();
  std::lock_guard<std::mutex> lock(k.guard);
  k.keys[handle].insert(key);
}

void NoteDeviceRemoved(DriverHandle handle, DeviceKey key) {
  KnownDevices& k = Known();
  std::lock_guard<std::mutex> lock(k.guard);
  const auto it = k.keys.find(handle);
  if (it == k.keys.end()) return;
  it->second.erase(key);
  if (it->second.empty()) k.keys.erase(it);
}

void NoteInstanceGone(DriverHandle handle) {
  KnownDevices& k = Known();
  std::lock_guard<std::mutex> lock(k.guard);
  k.keys.erase(handle);
}

bool IsDeviceKnown(DriverHandle handle, DeviceKey key) {
  KnownDevices& k = Known();
  std::lock_guard<std::mutex> lock(k.guard);
  const auto it = k.keys.find(handle);
  return it != k.keys.end() && it->second.count(key) != 0;
}

DeviceKey UnusedDeviceKey(DriverHandle handle, DeviceKey preferred) {
  KnownDevices& k = Known();
  std::lock_guard<std::mutex> lock(k.guard);
  const auto it = k.keys.find(handle);
  if (it == k.keys.end() || it->second.count(preferred) == 0) return preferred;
  return k.next++;
}
