#include "app/model/DriverBinding.h"

#include "app/model/Logging.h"
#include "common/Utility.h"

#include <map>
#include <mutex>
#include <set>
#include <vector>

const char* const kDriverEntryNames[24] = {
    "drvSetFuncPtr",        "drvSetLogOption",      "drvInitialize",       "drvStartAutoScan",
    "drvFreeAutoScan",      "drvGetIOConfig",       "drvFreeGetIOConfig",  "drvSetChannelProperty",
    "drvSetDeviceProperty", "drvSetModuleList",     "drvSetProcessImgMode", "drvGetAddresMap",
    "drvFreeGetAddresMap",  "drvShowAddresMap",     "drvShowProtocolComm", "drvShowSpecialPara",
    "drvStartComm",         "drvRead",              "drvWriteByte",        "drvShowIOMonitor",
    "drvSendSpecialCmd",    "drvStopComm",          "drvRemoveDevice",     "drvUninitialize",
};

namespace {

template <typename F>
bool Bind(const qmx::os::Module& library, const char* name, F& target) {
  target = reinterpret_cast<F>(library.GetProc(name));
  return target != nullptr;
}

// Binds one entry point by its name.
bool BindByName(const qmx::os::Module& library, const std::string& name, DriverEntryPoints& e) {
#define QMX_BIND(n) \
  if (name == #n) return Bind(library, #n, e.n);
  QMX_BIND(drvSetFuncPtr)
  QMX_BIND(drvSetLogOption)
  QMX_BIND(drvInitialize)
  QMX_BIND(drvStartAutoScan)
  QMX_BIND(drvFreeAutoScan)
  QMX_BIND(drvGetIOConfig)
  QMX_BIND(drvFreeGetIOConfig)
  QMX_BIND(drvSetChannelProperty)
  QMX_BIND(drvSetDeviceProperty)
  QMX_BIND(drvSetModuleList)
  QMX_BIND(drvSetProcessImgMode)
  QMX_BIND(drvGetAddresMap)
  QMX_BIND(drvFreeGetAddresMap)
  QMX_BIND(drvShowAddresMap)
  QMX_BIND(drvShowProtocolComm)
  QMX_BIND(drvShowSpecialPara)
  QMX_BIND(drvStartComm)
  QMX_BIND(drvRead)
  QMX_BIND(drvWriteByte)
  QMX_BIND(drvShowIOMonitor)
  QMX_BIND(drvSendSpecialCmd)
  QMX_BIND(drvStopComm)
  QMX_BIND(drvRemoveDevice)
  QMX_BIND(drvUninitialize)
#undef QMX_BIND
  return false;
}

int BindList(const qmx::os::Module& library, std::initializer_list<const char*> names, DriverEntryPoints& e) {
  int found = 0;
  for (const char* name : names) found += BindByName(library, name, e) ? 1 : 0;
  return found;
}

const char* FirstMissing(std::initializer_list<std::pair<const char*, const void*>> entries) {
  for (const auto& [name, pointer] : entries) {
    if (!pointer) return name;
  }
  return nullptr;
}

template <typename F>
const void* P(F f) {
  return reinterpret_cast<const void*>(f);
}

}  // namespace

void DriverEntryPoints::ClearDeviceEntries() {
  drvGetIOConfig = nullptr;
  drvFreeGetIOConfig = nullptr;
  drvSetDeviceProperty = nullptr;
  drvSetModuleList = nullptr;
  drvSetProcessImgMode = nullptr;
  drvGetAddresMap = nullptr;
  drvFreeGetAddresMap = nullptr;
  drvShowAddresMap = nullptr;
  drvShowProtocolComm = nullptr;
  drvShowSpecialPara = nullptr;
  drvRead = nullptr;
  drvWriteByte = nullptr;
  drvShowIOMonitor = nullptr;
  drvSendSpecialCmd = nullptr;
  drvRemoveDevice = nullptr;
}

int LookUpAllEntryPoints(const qmx::os::Module& library, DriverEntryPoints& entries) {
  int found = 0;
  for (const char* name : kDriverEntryNames) found += BindByName(library, name, entries) ? 1 : 0;
  return found;
}

int LookUpDeviceEntryPoints(const qmx::os::Module& library, DriverEntryPoints& entries) {
  return BindList(library,
                  {"drvGetIOConfig", "drvFreeGetIOConfig", "drvSetDeviceProperty", "drvSetModuleList",
                   "drvSetProcessImgMode", "drvGetAddresMap", "drvFreeGetAddresMap", "drvShowAddresMap",
                   "drvShowProtocolComm", "drvShowSpecialPara", "drvRead", "drvWriteByte", "drvShowIOMonitor",
                   "drvSendSpecialCmd", "drvRemoveDevice"},
                  entries);
}

int LookUpSharedEntryPoints(const qmx::os::Module& library, DriverEntryPoints& entries) {
  return BindList(library,
                  {"drvSetFuncPtr", "drvSetLogOption", "drvInitialize", "drvSetChannelProperty", "drvStartComm",
                   "drvStopComm", "drvUninitialize"},
                  entries);
}

const char* MissingAdapterBindingEntry(const DriverEntryPoints& e) {
  return FirstMissing({{"drvSetFuncPtr", P(e.drvSetFuncPtr)},
                       {"drvSetLogOption", P(e.drvSetLogOption)},
                       {"drvInitialize", P(e.drvInitialize)},
                       {"drvSetChannelProperty", P(e.drvSetChannelProperty)},
                       {"drvSetDeviceProperty", P(e.drvSetDeviceProperty)},
                       {"drvSetProcessImgMode", P(e.drvSetProcessImgMode)}});
}

const char* MissingSharedBindingEntry(const DriverEntryPoints& e) {
  return FirstMissing({{"drvSetFuncPtr", P(e.drvSetFuncPtr)},
                       {"drvSetLogOption", P(e.drvSetLogOption)},
                       {"drvInitialize", P(e.drvInitialize)}});
}

void DriverLogSwitches(const AppOptions* options, int switches[4]) {
  for (int i = 0; i < 4; ++i) {
    switches[i] = options ? ((options->WndEnable[i] || options->FileEnable[i]) ? 1 : 0) : 1;
  }
}

void InstallDriverLogging(const DriverEntryPoints& entries, const AppOptions* options) {
  if (entries.drvSetFuncPtr) entries.drvSetFuncPtr(&PostLog);
  int s[4];
  DriverLogSwitches(options, s);
  if (entries.drvSetLogOption) {
    entries.drvSetLogOption(s[qmx::kSwitchGeneral], s[qmx::kSwitchError], s[qmx::kSwitchComm],
                            s[qmx::kSwitchDeveloper]);
  }
}

int UninitializeDriverInstance(const DriverEntryPoints& entries, DriverHandle handle, const std::string& owner,
                               const char* func) {
  if (!handle) return 1;
  if (!entries.drvUninitialize) {
    qmx::ReportError(qmx::err::kUninitializeMissing,
                     StrFormat("Cannot find drvUninitialize function. Contact the dealer. NA: %s.", owner.c_str()),
                     func, qmx::FuncEnd::kNoStop);
    return 0;
  }
  // A running instance refuses to go; stop its communication first.
  if (entries.drvStopComm) entries.drvStopComm(handle);
  const int result = entries.drvUninitialize(handle);
  if (result == 1) NoteInstanceGone(handle);
  if (result != 1) {
    qmx::ReportError(result, StrFormat("drvUninitialize is failed. The driver stays loaded. NA: %s.", owner.c_str()),
                     func, qmx::FuncEnd::kNoStop);
  }
  return result == 1 ? 1 : result;
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

void KeepLibraryLoaded(qmx::os::Module&& library) {
  static std::mutex guard;
  static auto* kept = new std::vector<qmx::os::Module>();  // never freed: the code stays mapped
  std::lock_guard<std::mutex> lock(guard);
  kept->push_back(std::move(library));
}
