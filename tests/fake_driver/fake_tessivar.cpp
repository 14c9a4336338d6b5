// A stand-in for the driver library: exports the 24 functions of the driver's
// header, answers with results the tests choose and writes every call to a
// journal. Built in several variants, each leaving out the exports named by
// FAKE_OMIT_<name> compile definitions.
//
// The journal is one line per call, "name arg,arg,...", kept in memory and
// read through the extra export fakeJournal; when the environment variable
// FAKE_TESSIVAR_JOURNAL names a file, each line is appended there as well.
// Tests set answers with fakeSetResult ("drvUninitialize", -7007) and clear
// the journal and the answers with fakeReset (a running communication stays
// running until drvStopComm).
#include "driver/include/tessivar.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <string>

namespace {

std::mutex g_mutex;
std::string g_journal;
std::map<std::string, long long> g_results;
int g_instances = 0;
int g_running = 0;
[[maybe_unused]] DriverLogCallback g_log = nullptr;

void Note(const std::string& line) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_journal += line;
  g_journal += '\n';
  if (const char* path = std::getenv("FAKE_TESSIVAR_JOURNAL")) {
    if (FILE* f = std::fopen(path, "a")) {
      std::fputs(line.c_str(), f);
      std::fputc('\n', f);
      std::fclose(f);
    }
  }
}

long long ResultOf(const char* name, long long fallback) {
  std::lock_guard<std::mutex> lock(g_mutex);
  const auto it = g_results.find(name);
  return it == g_results.end() ? fallback : it->second;
}

std::string Key(DeviceKey key) { return key ? "key" : "0"; }
std::string S(const char* text) { return text ? text : "(null)"; }

// Handles are addresses of these records, taken from a fixed pool so that an
// instance a test deliberately never uninitialises is not a heap leak.
struct FakeInstance {
  int id;
  bool used;
};
[[maybe_unused]] FakeInstance g_pool[256];

}  // namespace

extern "C" {

TESSIVAR_API const char* fakeJournal(void) {
  static std::string copy;
  std::lock_guard<std::mutex> lock(g_mutex);
  copy = g_journal;
  return copy.c_str();
}

TESSIVAR_API void fakeReset(void) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_journal.clear();
  g_results.clear();
}

TESSIVAR_API void fakeSetResult(const char* name, long long result) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_results[name] = result;
}

TESSIVAR_API int fakeLiveInstances(void) {
  std::lock_guard<std::mutex> lock(g_mutex);
  return g_instances;
}

#ifndef FAKE_OMIT_drvSetFuncPtr
TESSIVAR_API int drvSetFuncPtr(DriverLogCallback callback) {
  g_log = callback;
  Note(std::string("drvSetFuncPtr ") + (callback ? "callback" : "null"));
  if (callback) callback(1, "FakeTessivar.so", "fake driver log line");
  return 1;
}
#endif

#ifndef FAKE_OMIT_drvSetLogOption
TESSIVAR_API int drvSetLogOption(int general, int error, int communication, int developer) {
  Note("drvSetLogOption " + std::to_string(general) + "," + std::to_string(error) + "," +
       std::to_string(communication) + "," + std::to_string(developer));
  return 1;
}
#endif

#ifndef FAKE_OMIT_drvInitialize
TESSIVAR_API DriverHandle drvInitialize(void) {
  if (ResultOf("drvInitialize", 1) == 0) {
    Note("drvInitialize null");
    return nullptr;
  }
  static int next = 0;
  FakeInstance* instance = nullptr;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    for (FakeInstance& slot : g_pool) {
      if (!slot.used) {
        instance = &slot;
        break;
      }
    }
    if (!instance) return nullptr;
    *instance = FakeInstance{++next, true};
    ++g_instances;
  }
  Note("drvInitialize " + std::to_string(instance->id));
  return instance;
}
#endif

#ifndef FAKE_OMIT_drvUninitialize
TESSIVAR_API int drvUninitialize(DriverHandle h) {
  auto* instance = static_cast<FakeInstance*>(h);
  bool running;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    running = g_running != 0;
  }
  const long long forced = ResultOf("drvUninitialize", running ? DRV_ERR_RUNNING : 1);
  Note("drvUninitialize " + std::to_string(instance ? instance->id : 0) + " -> " + std::to_string(forced));
  if (forced != 1) return static_cast<int>(forced);
  std::lock_guard<std::mutex> lock(g_mutex);
  if (instance) instance->used = false;
  --g_instances;
  return 1;
}
#endif

#ifndef FAKE_OMIT_drvStartAutoScan
TESSIVAR_API intptr_t drvStartAutoScan(DriverHandle, int, int commKind, int timeValue, const char* param) {
  Note("drvStartAutoScan " + std::to_string(commKind) + "," + std::to_string(timeValue) + "," + S(param));
  return static_cast<intptr_t>(ResultOf("drvStartAutoScan", 0));
}
#endif

#ifndef FAKE_OMIT_drvFreeAutoScan
TESSIVAR_API int drvFreeAutoScan(DriverHandle, ScanResultList*) {
  Note("drvFreeAutoScan");
  return 1;
}
#endif

#ifndef FAKE_OMIT_drvSetChannelProperty
TESSIVAR_API int drvSetChannelProperty(DriverHandle, const char* name, const char* channelProperty) {
  Note("drvSetChannelProperty " + S(name) + "|" + S(channelProperty));
  return static_cast<int>(ResultOf("drvSetChannelProperty", 1));
}
#endif

#ifndef FAKE_OMIT_drvSetDeviceProperty
TESSIVAR_API int drvSetDeviceProperty(DriverHandle, DeviceKey key, const char* deviceName,
                                      const char* deviceProperty) {
  Note("drvSetDeviceProperty " + Key(key) + "|" + S(deviceName) + "|" + S(deviceProperty));
  return static_cast<int>(ResultOf("drvSetDeviceProperty", 1));
}
#endif

#ifndef FAKE_OMIT_drvGetIOConfig
TESSIVAR_API intptr_t drvGetIOConfig(DriverHandle, DeviceKey key) {
  Note("drvGetIOConfig " + Key(key));
  if (ResultOf("drvGetIOConfig", 1) <= 0) return static_cast<intptr_t>(ResultOf("drvGetIOConfig", 0));
  auto* record = new OnlineIOConfig{};
  record->productCode = 0x4101;
  record->text1 = record->text2 = record->text3 = record->text4 = record->text5 = "";
  return reinterpret_cast<intptr_t>(record);
}
#endif

#ifndef FAKE_OMIT_drvFreeGetIOConfig
TESSIVAR_API int drvFreeGetIOConfig(DriverHandle, OnlineIOConfig* record) {
  Note("drvFreeGetIOConfig");
  delete record;
  return 1;
}
#endif

#ifndef FAKE_OMIT_drvSetModuleList
TESSIVAR_API int drvSetModuleList(DriverHandle, DeviceKey key, const ModuleListEntry* entries, int count) {
  std::string line = "drvSetModuleList " + Key(key) + " " + std::to_string(count);
  for (int i = 0; i < count; ++i) {
    line += " [" + std::to_string(entries[i].productCode) + "," + S(entries[i].typeTag) + "," +
            S(entries[i].label) + "," + std::to_string(entries[i].paraLength) + "," +
            std::to_string(entries[i].inputSize) + "," + std::to_string(entries[i].outputSize) + "," +
            S(entries[i].moduleLine) + "]";
  }
  Note(line);
  return static_cast<int>(ResultOf("drvSetModuleList", 1));
}
#endif

#ifndef FAKE_OMIT_drvSetProcessImgMode
TESSIVAR_API int drvSetProcessImgMode(DriverHandle, DeviceKey key, int inputMode, int outputMode) {
  Note("drvSetProcessImgMode " + Key(key) + "," + std::to_string(inputMode) + "," + std::to_string(outputMode));
  return static_cast<int>(ResultOf("drvSetProcessImgMode", 1));
}
#endif

#ifndef FAKE_OMIT_drvGetAddresMap
TESSIVAR_API AddressMapInfo* drvGetAddresMap(DriverHandle, DeviceKey key, int slot) {
  Note("drvGetAddresMap " + Key(key) + "," + std::to_string(slot));
  return new AddressMapInfo{};
}
#endif

#ifndef FAKE_OMIT_drvFreeGetAddresMap
TESSIVAR_API int drvFreeGetAddresMap(DriverHandle, AddressMapInfo* record) {
  Note("drvFreeGetAddresMap");
  delete record;
  return 1;
}
#endif

#ifndef FAKE_OMIT_drvShowAddresMap
TESSIVAR_API int drvShowAddresMap(DriverHandle, DeviceKey key, int slot, int16_t* inputMode, int16_t* outputMode,
                                  int) {
  Note("drvShowAddresMap " + Key(key) + "," + std::to_string(slot) + "," + std::to_string(*inputMode) + "," +
       std::to_string(*outputMode));
  return 1;
}
#endif

#ifndef FAKE_OMIT_drvShowProtocolComm
TESSIVAR_API int drvShowProtocolComm(DriverHandle, int kind) {
  Note("drvShowProtocolComm " + std::to_string(kind));
  return 1;
}
#endif

#ifndef FAKE_OMIT_drvShowSpecialPara
TESSIVAR_API int drvShowSpecialPara(DriverHandle, DeviceKey key, const char*, int) {
  Note("drvShowSpecialPara " + Key(key));
  return 1;
}
#endif

#ifndef FAKE_OMIT_drvStartComm
TESSIVAR_API int drvStartComm(DriverHandle) {
  const long long result = ResultOf("drvStartComm", 1);
  Note("drvStartComm -> " + std::to_string(result));
  if (result == 1) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_running = 1;
  }
  return static_cast<int>(result);
}
#endif

#ifndef FAKE_OMIT_drvRead
TESSIVAR_API int drvRead(DriverHandle, DeviceKey key, int module, int kind, void* destination) {
  Note("drvRead " + Key(key) + "," + std::to_string(module) + "," + std::to_string(kind));
  const long long result = ResultOf("drvRead", 1);
  if (result == 1 && kind == DRV_IMAGE_STATUS) {
    const long long status = ResultOf("status", 0x00040001);
    auto* out = static_cast<uint8_t*>(destination);
    for (int i = 0; i < 4; ++i) out[i] = static_cast<uint8_t>((status >> (8 * i)) & 0xFF);
  }
  return static_cast<int>(result);
}
#endif

#ifndef FAKE_OMIT_drvWriteByte
TESSIVAR_API int drvWriteByte(DriverHandle, DeviceKey key, int module, int kind, const void* source, int flag,
                              int length) {
  std::string line = "drvWriteByte " + Key(key) + "," + std::to_string(module) + "," + std::to_string(kind) + "," +
                     std::to_string(flag) + "," + std::to_string(length) + ",";
  const auto* bytes = static_cast<const uint8_t*>(source);
  char hex[3];
  for (int i = 0; i < length; ++i) {
    std::snprintf(hex, sizeof hex, "%02X", bytes[i]);
    line += hex;
  }
  Note(line);
  return static_cast<int>(ResultOf("drvWriteByte", 1));
}
#endif

#ifndef FAKE_OMIT_drvShowIOMonitor
TESSIVAR_API int drvShowIOMonitor(DriverHandle, DeviceKey key, int) {
  Note("drvShowIOMonitor " + Key(key));
  return 1;
}
#endif

#ifndef FAKE_OMIT_drvSendSpecialCmd
TESSIVAR_API int drvSendSpecialCmd(DriverHandle, DeviceKey key, int command) {
  Note("drvSendSpecialCmd " + Key(key) + "," + std::to_string(command));
  return static_cast<int>(ResultOf("drvSendSpecialCmd", 1));
}
#endif

#ifndef FAKE_OMIT_drvStopComm
TESSIVAR_API int drvStopComm(DriverHandle) {
  int result;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    result = g_running ? 1 : DRV_ERR_STOPPED;
    if (g_results.count("drvStopComm")) result = static_cast<int>(g_results["drvStopComm"]);
    if (result == 1) g_running = 0;
  }
  Note("drvStopComm -> " + std::to_string(result));
  return result;
}
#endif

#ifndef FAKE_OMIT_drvRemoveDevice
TESSIVAR_API int drvRemoveDevice(DriverHandle, DeviceKey key) {
  Note("drvRemoveDevice " + Key(key));
  return static_cast<int>(ResultOf("drvRemoveDevice", 1));
}
#endif

}  // extern "C"
