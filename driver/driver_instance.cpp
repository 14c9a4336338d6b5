#include "driver/driver_instance.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <system_error>
#include <utility>

#include "common/Utility.h"
#include "driver/device_record.h"
#include "driver/driver_library.h"
#include "driver/driver_utils.h"
#include "driver/modbus_driver.h"
#include "driver/records.h"
#include "driver/result_codes.h"

namespace tessivar {
namespace {

constexpr const char* kStar = "\u2605";  // opens the channel lines

// Set on the threads that run communication loops (an instance's own, or
// the fiber thread of the Ethernet instances): their lines are posted to
// the library's delivery thread instead of calling the callback there.
thread_local bool tlCommThread = false;

void Deliver(int level, std::string line) {
  if (tlCommThread) {
    DriverLibrary::Get().PostLog(level, std::move(line));
  } else {
    RouteLog(level, line);
  }
}

uint16_t TripleInterval(uint16_t base) {
  const unsigned triple = static_cast<unsigned>(base) * 3;
  return triple > 0xFFFF ? 0xFFFF : static_cast<uint16_t>(triple);
}

}  // namespace

DeviceScheduleEntry::Clock::duration DeviceScheduleEntry::Interval() const {
  return std::chrono::milliseconds(10 * std::max<int>(1, currentInterval));
}

void DeviceScheduleEntry::SetState(const std::string& newState) {
  if (EqualsNoCase(state, newState)) return;
  state = newState;
  notRunning = EqualsNoCase(state, "Running") ? 0 : 1;
}

DriverInstance::DriverInstance(const DriverFactory& factory) {
  driver_ = factory ? factory(*this) : std::make_unique<ModbusDriver>(*this);
}

DriverInstance::~DriverInstance() {
  // Normally the thread has ended (release is refused while running); an
  // instance released at library unload may still run.
  JoinThread();
  driver_.reset();
}

template <class R, class F>
R DriverInstance::Guarded(const char* operation, R failed, F&& fn) {
  try {
    return fn();
  } catch (...) {
    LogException(operation);
    return failed;
  }
}

void DriverInstance::LogException(const char* operation) {
  try {
    LogNamed(DRV_LOG_ERROR, StrFormat("[%s] Exception is happened in %s function.", Name().c_str(), operation));
  } catch (...) {
    // The line could not be made or delivered: there is no road left to tell it.
  }
}

std::string DriverInstance::Name() const {
  std::lock_guard<std::recursive_mutex> guard(logLock_);
  return name_;
}

void DriverInstance::Log(int level, const std::string& text) {
  std::lock_guard<std::recursive_mutex> guard(logLock_);
  Deliver(level, name_.empty() ? text : StrFormat("[%s]%s", name_.c_str(), text.c_str()));
}

void DriverInstance::LogNamed(int level, const std::string& line) {
  std::lock_guard<std::recursive_mutex> guard(logLock_);
  Deliver(level, line);
}

std::string DriverInstance::VUSK_GetErrStr(int code) {
  return Guarded("VUSK_GetErrStr", std::string(), [&] {
    std::string text;
    if (InstanceCodeText(code, text)) return text;
    return driver_->ErrorText(code);
  });
}

bool DriverInstance::CheckDevice(const std::string& key, const char* operation) {
  if (schedule_.count(key)) return true;
  LogNamed(DRV_LOG_ERROR, StrFormat("[%s] The device does not exist. Call function: %s.", Name().c_str(), operation));
  return false;
}

void DriverInstance::SetAllStates(const char* state) {
  for (auto& [key, entry] : schedule_) entry->SetState(state);
}

// ---- exports ----------------------------------------------------------------

int DriverInstance::Uninitialize() {
  Lock lock(instanceLock_);
  if (IsRunning()) return kDrvRunning;
  Guarded("VUSK_RemovedDevice", 0, [&] {
    RemoveAllDevices();
    return 1;
  });
  return 1;
}

void DriverInstance::RemoveAllDevices() {
  for (auto& [key, entry] : schedule_) driver_->RemoveDevice(key, entry->deviceName);
  {
    std::lock_guard<std::mutex> guard(scheduleLock_);
    schedule_.clear();
  }
  Log(DRV_LOG_GENERAL, "Communication channel instance is removed.");
}

intptr_t DriverInstance::StartAutoScan(int commKind, int timeValue, const char* param) {
  Lock lock(instanceLock_);
  return Guarded("VUSK_StartAutoScan", intptr_t{0},
                 [&] { return driver_->StartAutoScan("", commKind, timeValue, 1, param ? param : ""); });
}

int DriverInstance::FreeAutoScan(ScanResultList* list) {
  Lock lock(instanceLock_);
  FreeScanResultList(list);
  return 1;
}

int DriverInstance::SetChannelProperty(const char* name, const char* channelProperty) {
  Lock lock(instanceLock_);
  if (IsRunning()) return kDrvRunning;
  return Guarded("VUSK_SetChannelProperty", 0, [&] {
    {
      std::lock_guard<std::recursive_mutex> guard(logLock_);
      name_ = name ? name : "";
    }
    return driver_->SetChannelProperty(channelProperty ? channelProperty : "");
  });
}

int DriverInstance::SetDeviceProperty(DeviceKey key, const char* deviceName, const char* deviceProperty) {
  Lock lock(instanceLock_);
  if (IsRunning()) return kDrvRunning;
  return Guarded("VUSK_SetDeviceProperties", 0,
                 [&] { return VUSK_SetDeviceProperties(key, deviceName, deviceProperty); });
}

int DriverInstance::VUSK_SetDeviceProperties(DeviceKey key, const char* deviceName, const char* deviceProperty) {
  const std::string text = deviceProperty ? deviceProperty : "";
  const std::string name = deviceName ? deviceName : "";
  const std::string field1 = GetToken(text, 1, '\t', 1);
  const std::string updateText = GetToken(field1, 1, ',', 1);
  const auto updateTime = static_cast<uint16_t>(std::strtol(updateText.c_str(), nullptr, 10));
  const std::string field2 = GetToken(text, 2, '\t', 1);
  const std::string keyText = KeyText(key);
  const auto interval = static_cast<uint16_t>(updateTime / 10);

  // The driver object creates the device while it has not accepted one for
  // this key: after a refused first text, a corrected one creates it
  // instead of updating a device that does not exist (-7101 for good).
  bool createDevice = false;
  {
    std::lock_guard<std::mutex> guard(scheduleLock_);
    auto it = schedule_.find(keyText);
    if (it != schedule_.end()) {
      it->second->baseInterval = interval;
      it->second->currentInterval = interval;
      createDevice = !it->second->deviceCreated;
    } else {
      auto entry = std::make_unique<DeviceScheduleEntry>();
      entry->key = keyText;
      entry->numericKey = key;
      entry->deviceName = name;
      entry->baseInterval = interval;
      entry->currentInterval = interval;
      schedule_.emplace(keyText, std::move(entry));
      createDevice = true;
    }
  }
  const int r = driver_->SetDeviceProperty(keyText, name, field2, createDevice);
  if (r == 1) {
    std::lock_guard<std::mutex> guard(scheduleLock_);
    if (auto it = schedule_.find(keyText); it != schedule_.end()) it->second->deviceCreated = true;
  }
  return r;
}

intptr_t DriverInstance::GetIOConfig(DeviceKey key) {
  Lock lock(instanceLock_);
  if (IsRunning()) return kDrvRunning;
  return Guarded("VUSK_GetIOConfig", intptr_t{0}, [&] { return driver_->GetIOConfig(KeyText(key)); });
}

int DriverInstance::FreeGetIOConfig(OnlineIOConfig* record) {
  Lock lock(instanceLock_);
  FreeOnlineIOConfig(record);
  return 1;
}

int DriverInstance::SetModuleList(DeviceKey key, const ModuleListEntry* entries, int count) {
  Lock lock(instanceLock_);
  if (IsRunning()) return kDrvRunning;
  const std::string keyText = KeyText(key);
  if (!CheckDevice(keyText, "SetModuleList")) return 0;
  if (!entries || count < 0) count = 0;
  return Guarded("VUSK_SetModuleList", 0, [&] { return driver_->SetModuleList(keyText, entries, count); });
}

int DriverInstance::SetProcessImgMode(DeviceKey key, int inputMode, int outputMode) {
  Lock lock(instanceLock_);
  if (IsRunning()) return kDrvRunning;
  const std::string keyText = KeyText(key);
  if (!CheckDevice(keyText, "SetProcessImgMode")) return 0;
  return Guarded("VUSK_SetProcessImgMode", 0,
                 [&] { return driver_->SetProcessImgMode(keyText, inputMode, outputMode); });
}

AddressMapInfo* DriverInstance::GetAddresMap(DeviceKey key, int slot) {
  Lock lock(instanceLock_);
  const std::string keyText = KeyText(key);
  if (!CheckDevice(keyText, "GetAddresMap")) return nullptr;
  return Guarded("VUSK_GetAddresMap", static_cast<AddressMapInfo*>(nullptr),
                 [&] { return driver_->GetAddresMap(keyText, slot); });
}

int DriverInstance::FreeGetAddresMap(AddressMapInfo* record) {
  Lock lock(instanceLock_);
  FreeAddressMapInfo(record);
  return 1;
}

int DriverInstance::ShowAddresMap(DeviceKey key, int slot, int16_t* inputMode, int16_t* outputMode) {
  Lock lock(instanceLock_);
  const std::string keyText = KeyText(key);
  if (!CheckDevice(keyText, "ShowAddresMap")) return 1;  // the export answers 1 in every case
  return Guarded("VUSK_ShowAddresMap", 1,
                 [&] { return driver_->ShowAddresMap(keyText, slot, inputMode, outputMode); });
}

int DriverInstance::ShowProtocolComm() {
  Lock lock(instanceLock_);
  if (IsRunning()) return kDrvRunning;
  return Guarded("VUSK_ShowProtocolComm", 0, [&] { return driver_->ShowProtocolComm(); });
}

int DriverInstance::ShowSpecialPara(DeviceKey key, const char* /*text*/, int /*value*/) {
  Lock lock(instanceLock_);
  return Guarded("VUSK_ShowSpecialPara", 0, [&] { return CheckDevice(KeyText(key), "ShowSpecialPara") ? 1 : 0; });
}

int DriverInstance::StartComm() {
  Lock lock(instanceLock_);
  if (IsRunning()) return kDrvRunning;
  const int r = Guarded("VUSK_Open", 0, [&] { return VUSK_Open(); });
  if (r != 1) return 0;  // no thread was started: the instance stays stopped
  running_ = 1;
  stopped_ = 0;
  try {
    if (driver_->RunsOnFiber()) {
      task_ = qmx::fiber::Spawn([this] { CommThreadProc(); });
    } else {
      thread_ = std::thread([this] { CommThreadProc(); });
    }
  } catch (const std::system_error&) {
    running_ = 0;
    stopped_ = 1;
    LogNamed(DRV_LOG_ERROR, StrFormat("[%s] Exception is happened in %s function.", Name().c_str(), "VUSK_Open"));
    return 0;
  }
  return 1;
}

int DriverInstance::VUSK_Open() {
  const int r = driver_->Open();
  const std::string name = Name();
  if (r == 1) {
    LogNamed(DRV_LOG_GENERAL,
             StrFormat("[%s]%s", name.c_str(),
                       (std::string(" ") + kStar + " Communication channel is opened successfully").c_str()));
    SetAllStates("Running");
  } else {
    LogNamed(DRV_LOG_ERROR, StrFormat("[%s] %s %s", name.c_str(),
                                      (std::string(" ") + kStar + " Communication channel open is failed.").c_str(),
                                      VUSK_GetErrStr(r).c_str()));
    SetAllStates("RunFailed");
  }
  return r;
}

int DriverInstance::Read(DeviceKey key, int module, int kind, void* destination) {
  Lock lock(instanceLock_);
  const std::string keyText = KeyText(key);
  if (!CheckDevice(keyText, "Read")) return 0;
  return Guarded("VUSK_Read", 0, [&] { return driver_->Read(keyText, module, kind, destination); });
}

int DriverInstance::WriteByte(DeviceKey key, int module, int kind, const void* source, int flag, int length) {
  Lock lock(instanceLock_);
  const std::string keyText = KeyText(key);
  if (!CheckDevice(keyText, "WriteByte")) return 0;
  return Guarded("VUSK_WriteByte", 0,
                 [&] { return driver_->WriteByte(keyText, module, kind, source, flag, length); });
}

int DriverInstance::ShowIOMonitor(DeviceKey key, int /*value*/) {
  Lock lock(instanceLock_);
  if (!IsRunning()) return kDrvStopped;
  Guarded("VUSK_ShowIOMonitor", 0, [&] { return CheckDevice(KeyText(key), "ShowIOMonitor") ? 1 : 0; });
  return 1;
}

int DriverInstance::SendSpecialCmd(DeviceKey key, int command) {
  Lock lock(instanceLock_);
  if (IsRunning()) return kDrvRunning;
  const std::string keyText = KeyText(key);
  if (!CheckDevice(keyText, "SendSpecialCmd")) return 0;
  return Guarded("VUSK_SendSpecialCmd", 0, [&] { return driver_->SendSpecialCmd(keyText, command); });
}

int DriverInstance::StopComm() {
  Lock lock(instanceLock_);
  if (!IsRunning()) return kDrvStopped;
  JoinThread();
  // The thread's last lines reach the caller before the close line. A
  // callback too slow to drain them in time gets the close line queued
  // behind them instead, so the order holds either way.
  const bool drained = DriverLibrary::Get().FlushPosted(std::chrono::milliseconds(50));
  const bool wasComm = std::exchange(tlCommThread, !drained);
  Guarded("VUSK_Close", 0, [&] { return VUSK_Close(); });
  tlCommThread = wasComm;
  return 1;
}

int DriverInstance::VUSK_Close() {
  driver_->Close();
  LogNamed(DRV_LOG_GENERAL,
           StrFormat("[%s]%s", Name().c_str(),
                     (std::string(" ") + kStar + " Communication channel is closed successfully").c_str()));
  SetAllStates("Stopped");
  return 1;
}

int DriverInstance::RemoveDevice(DeviceKey key) {
  Lock lock(instanceLock_);
  if (IsRunning()) return kDrvRunning;
  return Guarded("VUSK_RemovedDevice", 0, [&] {
    VUSK_RemovedDevice(key);
    return 1;
  });
}

void DriverInstance::VUSK_RemovedDevice(DeviceKey key) {
  const std::string keyText = KeyText(key);
  auto it = schedule_.find(keyText);
  if (it == schedule_.end()) {
    LogNamed(DRV_LOG_ERROR, StrFormat("[%s] Cannot search device instance in VUSK_RemovedDevice.", Name().c_str()));
    return;
  }
  driver_->RemoveDevice(keyText, it->second->deviceName);
  std::lock_guard<std::mutex> guard(scheduleLock_);
  schedule_.erase(it);
}

// ---- the communication thread ------------------------------------------------

void DriverInstance::JoinThread() {
  running_ = 0;
  wake_.Post();
  if (task_.Valid()) {
    // A stop from inside the loop's own pass cannot wait for itself either.
    if (task_.IsCurrent()) return;
    task_.Join();
    task_ = {};
    return;
  }
  if (!thread_.joinable()) return;
  if (thread_.get_id() == std::this_thread::get_id()) {
    // Asked to stop from inside its own pass (a log callback that calls
    // back): the loop ends after this pass; it cannot wait for itself.
    return;
  }
  thread_.join();
}

void DriverInstance::SignalWrite(const std::string& key) {
  {
    std::lock_guard<std::mutex> guard(wakeLock_);
    writesWaiting_.push_back(key);
  }
  wake_.Post();
}

void DriverInstance::CommThreadProc() {
  tlCommThread = true;
  {
    // Every device's first cycle is due at once.
    std::lock_guard<std::mutex> guard(scheduleLock_);
    const Clock::time_point now = Clock::now();
    for (auto& [key, entry] : schedule_) entry->nextDue = entry->lastDue = now;
  }
  std::vector<DeviceKey> due;
  due.reserve(kMaxDuePerPass);
  while (running_.load() == 1) {
    due.clear();
    CollectDueDevices(due, Clock::now());
    for (DeviceKey key : due) {
      // A stop is taken between devices, not only between passes.
      if (running_.load() != 1) break;
      VUSK_MonitoringDevice(key);
    }
    if (running_.load() != 1) break;
    if (due.size() >= kMaxDuePerPass) continue;  // the rest are due already
    // A stop or a write posted during the pass ends this wait at once.
    wake_.WaitUntil(NextDueTime());
  }
  try {
    driver_->CloseChByCallThread();
  } catch (...) {
    LogException("CloseChByCallThread");
  }
  stopped_ = 1;
}

int DriverInstance::CollectDueDevices(std::vector<DeviceKey>& keys, Clock::time_point now) {
  std::vector<std::string> writes;
  {
    std::lock_guard<std::mutex> guard(wakeLock_);
    writes.swap(writesWaiting_);
  }
  std::lock_guard<std::mutex> guard(scheduleLock_);
  for (const std::string& key : writes) {
    auto it = schedule_.find(key);
    if (it != schedule_.end() && it->second->nextDue > now) it->second->nextDue = now;
  }
  // Kept from pass to pass (under the schedule lock): a pass allocates nothing.
  std::vector<DeviceScheduleEntry*>& candidates = dueScratch_;
  candidates.clear();
  for (auto& [key, entry] : schedule_) {
    if (entry->nextDue <= now) candidates.push_back(entry.get());
  }
  if (candidates.size() > kMaxDuePerPass) {
    // The longest overdue go first; the others wait for the next pass.
    std::stable_sort(candidates.begin(), candidates.end(),
                     [](const DeviceScheduleEntry* a, const DeviceScheduleEntry* b) { return a->nextDue < b->nextDue; });
    candidates.resize(kMaxDuePerPass);
    std::sort(candidates.begin(), candidates.end(),
              [](const DeviceScheduleEntry* a, const DeviceScheduleEntry* b) { return a->key < b->key; });
  }
  for (DeviceScheduleEntry* entry : candidates) {
    entry->lastDue = entry->nextDue;
    // Keep the phase while the device keeps up; a device whose cycles take
    // longer than its interval is due again at once (its interval stretches).
    entry->nextDue += entry->Interval();
    if (entry->nextDue <= now) entry->nextDue = now + entry->Interval();
    keys.push_back(entry->numericKey);
  }
  return static_cast<int>(candidates.size());
}

DriverInstance::Clock::time_point DriverInstance::NextDueTime() const {
  std::lock_guard<std::mutex> guard(scheduleLock_);
  Clock::time_point next = Clock::now() + std::chrono::hours(1);
  for (const auto& [key, entry] : schedule_) next = std::min(next, entry->nextDue);
  return next;
}

void DriverInstance::VUSK_MonitoringDevice(DeviceKey key) {
  try {
    std::lock_guard<std::mutex> guard(scheduleLock_);
    auto it = schedule_.find(KeyText(key));
    if (it == schedule_.end()) return;
    DeviceScheduleEntry& entry = *it->second;
    const int c = driver_->MonitoringDevice(entry.key);
    if (c == kDrvNoResponse) {
      driver_->SetDeviceState(entry.key, kDeviceLost);
      entry.currentInterval = TripleInterval(entry.baseInterval);
      entry.nextDue = entry.lastDue + entry.Interval();
      const std::string name = Name();
      const std::string prefix = driver_->DeviceLogPrefix(entry.key);
      LogNamed(DRV_LOG_ERROR,
               StrFormat("[%s]%s %s", name.c_str(), prefix.c_str(), VUSK_GetErrStr(kDrvNoResponse).c_str()));
      LogNamed(DRV_LOG_GENERAL, StrFormat("[%s]%s Try reconnecting...", name.c_str(), prefix.c_str()));
    } else if (c == 1) {
      driver_->SetDeviceState(entry.key, kDeviceRunning);
      if (entry.currentInterval != entry.baseInterval) {
        entry.currentInterval = entry.baseInterval;
        entry.nextDue = entry.lastDue + entry.Interval();
      }
      // notRunning is 0 exactly while the state is "Running": nothing to
      // compare in the cycles of a device that keeps answering.
      if (entry.notRunning != 0) entry.SetState("Running");
    }
  } catch (...) {
    LogException("VUSK_MonitoringDevice");
  }
}

bool DriverInstance::ScheduleEntry(DeviceKey key, DeviceScheduleEntry* out) const {
  Lock lock(instanceLock_);
  std::lock_guard<std::mutex> guard(scheduleLock_);
  auto it = schedule_.find(KeyText(key));
  if (it == schedule_.end()) return false;
  if (out) *out = *it->second;
  return true;
}

size_t DriverInstance::DeviceCount() const {
  Lock lock(instanceLock_);
  return schedule_.size();
}

}  // namespace tessivar
