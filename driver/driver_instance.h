// DriverInstance: the object behind one driver handle. It keeps the device
// schedule of the communication thread, the running and stopped flags, the
// instance name of its log lines and its locks, and carries out each
// export's checks, locking and forwarding to its driver object.
//
// Locking rule (who may touch what, and under which lock):
//
//  - Instance lock: taken by every export for its whole call; exports of one
//    instance never run side by side. It guards the instance name, the
//    channel settings and channel objects of the stopped road, the schedule
//    map's membership and each entry's configuration (name, intervals), and
//    the configuration of every device record (model, node, special
//    registers, CommInit block, module records, positions, image sizes).
//    All of these change only in exports that are refused while running
//    (-7007), so while the communication thread runs they are constant and
//    the thread reads them without any lock.
//  - "The thread" below is the run's loop. On Ethernet it is a fiber of the
//    library's one fiber thread (platform/fiber), beside the other Ethernet
//    instances' loops: it waits only through the fiber waits, and the locks
//    it takes are its own instance's, which exports hold only for short
//    stretches, so one instance never holds up another.
//  - Schedule lock: taken by the communication thread around each device
//    cycle and each pass over the due times, and by an export that changes
//    schedule entries or the map (only while stopped, so it never waits).
//    It guards each entry's due times, current interval and state text,
//    which the thread writes while running.
//  - The driver object's image lock: guards the process images, the device
//    state, the lost flag and the two process-image modes of every device;
//    the thread writes these while running (a mode changed online), and
//    exports that run in both states (drvRead, drvGetAddresMap,
//    drvShowAddresMap) read or write them. Its queue lock guards the write
//    queue that drvWriteByte fills and the thread drains.
//  - The running and stopped flags are atomics; the thread tests the
//    running flag between devices and sets the stopped flag as its last act.
//  - Wake lock: guards the keys of queued writes; taken by drvWriteByte
//    (after the queue lock is released) and by the thread's pass, with no
//    other lock held inside it. The thread sleeps on a WakeSignal, which
//    the stop and drvWriteByte post after their flag or key is in place.
//  - Order: instance lock or schedule lock, then image or queue lock, then a
//    port's or socket's own lock; the log lock is innermost and nothing is
//    taken while it is held. The thread never takes the instance lock, so
//    drvStopComm may hold it while it waits for the thread to end.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "driver/driver_object.h"
#include "driver/include/tessivar.h"
#include "driver/wake_signal.h"
#include "platform/fiber/fiber.h"

namespace tessivar {

// One device of the schedule. Intervals are counted in 10 ms units as the
// update time gives them; the thread keeps each device's next due time and
// sleeps until the earliest one (or a stop or write signal), so an idle
// instance costs nothing between cycles.
struct DeviceScheduleEntry {
  using Clock = std::chrono::steady_clock;

  std::string key;          // decimal text of the DeviceKey
  DeviceKey numericKey = 0;
  uint16_t baseInterval = 0;     // update time / 10
  uint16_t currentInterval = 0;  // base, or three times it while the device does not answer
  std::string deviceName;
  std::string state = "Stopped";  // "Stopped", "Running", "RunFailed"
  int notRunning = 1;
  bool deviceCreated = false;     // the driver object has accepted the device
  Clock::time_point nextDue{};    // when the next cycle is due
  Clock::time_point lastDue{};    // the due time of the cycle that ran last

  // Case-insensitive compare; nothing changes when equal. notRunning is 0
  // exactly when the state is "Running".
  void SetState(const std::string& newState);
  // The current interval as a duration; at least one 10 ms unit, so an
  // update time below 20 ms means "as often as the line allows" without
  // spinning.
  Clock::duration Interval() const;
};

class DriverInstance {
public:
  using DriverFactory = std::function<std::unique_ptr<DriverObject>(DriverInstance&)>;

  // Without a factory the instance gets a ModbusDriver.
  explicit DriverInstance(const DriverFactory& factory = {});
  ~DriverInstance();
  DriverInstance(const DriverInstance&) = delete;
  DriverInstance& operator=(const DriverInstance&) = delete;

  // ---- export bodies (each under the instance lock) ----
  // Refused while running (-7007); otherwise removes every device. The
  // caller then takes the instance out of the list and drops it.
  int Uninitialize();
  intptr_t StartAutoScan(int commKind, int timeValue, const char* param);
  int FreeAutoScan(ScanResultList* list);
  int SetChannelProperty(const char* name, const char* channelProperty);
  int SetDeviceProperty(DeviceKey key, const char* deviceName, const char* deviceProperty);
  intptr_t GetIOConfig(DeviceKey key);
  int FreeGetIOConfig(OnlineIOConfig* record);
  int SetModuleList(DeviceKey key, const ModuleListEntry* entries, int count);
  int SetProcessImgMode(DeviceKey key, int inputMode, int outputMode);
  AddressMapInfo* GetAddresMap(DeviceKey key, int slot);
  int FreeGetAddresMap(AddressMapInfo* record);
  int ShowAddresMap(DeviceKey key, int slot, int16_t* inputMode, int16_t* outputMode);
  int ShowProtocolComm();
  int ShowSpecialPara(DeviceKey key, const char* text, int value);
  int StartComm();
  int Read(DeviceKey key, int module, int kind, void* destination);
  int WriteByte(DeviceKey key, int module, int kind, const void* source, int flag, int length);
  int ShowIOMonitor(DeviceKey key, int value);
  int SendSpecialCmd(DeviceKey key, int command);
  int StopComm();
  int RemoveDevice(DeviceKey key);

  // ---- used by the driver object and the communication thread ----
  // "[name]text" (or "text" while the name is empty), through RouteLog.
  void Log(int level, const std::string& text);
  // The text of any result code.
  std::string VUSK_GetErrStr(int code);
  bool CheckDevice(const std::string& key, const char* operation);
  bool IsRunning() const { return running_.load() != 0; }
  // Not 0 while running (what IsRunning reads).
  const std::atomic<int>& RunningFlag() const { return running_; }
  bool IsStopped() const { return stopped_.load() != 0; }
  std::string Name() const;
  DriverObject& Driver() { return *driver_; }

  // At most this many device cycles run in one pass; the devices left over
  // stay due and run first in the next pass.
  static constexpr size_t kMaxDuePerPass = 100;
  using Clock = DeviceScheduleEntry::Clock;

  // The communication thread's pass: appends, in map order, the keys of the
  // devices due at `now` (at most kMaxDuePerPass, the longest overdue first)
  // and moves their due times one interval on. A device with a write waiting
  // is due at once.
  int CollectDueDevices(std::vector<DeviceKey>& keys, Clock::time_point now);
  // The earliest due time of any device (now + one hour when there is none).
  Clock::time_point NextDueTime() const;
  // One device cycle under the schedule lock.
  void VUSK_MonitoringDevice(DeviceKey key);
  // A write for `key` was queued: the device is made due and the thread
  // woken (any thread; takes only the wake lock).
  void SignalWrite(const std::string& key);

  // A copy of a schedule entry (tests and diagnostics); false when absent.
  bool ScheduleEntry(DeviceKey key, DeviceScheduleEntry* entry) const;
  size_t DeviceCount() const;

private:
  using Lock = std::unique_lock<std::recursive_mutex>;

  // Runs fn inside the exception guard of an instance operation: an
  // exception is logged "[%s] Exception is happened in %s function." and
  // gives `failed`.
  template <class R, class F>
  R Guarded(const char* operation, R failed, F&& fn);
  void LogNamed(int level, const std::string& line);
  void LogException(const char* operation);

  int VUSK_SetDeviceProperties(DeviceKey key, const char* deviceName, const char* deviceProperty);
  int VUSK_Open();
  int VUSK_Close();
  void VUSK_RemovedDevice(DeviceKey key);
  void RemoveAllDevices();
  void SetAllStates(const char* state);
  void CommThreadProc();
  // Ends a run: clears the running flag and waits for its loop to return.
  void JoinThread();

  std::unique_ptr<DriverObject> driver_;
  std::map<std::string, std::unique_ptr<DeviceScheduleEntry>> schedule_;
  // The due devices of a pass (under the schedule lock).
  std::vector<DeviceScheduleEntry*> dueScratch_;
  std::atomic<int> running_{0};
  std::atomic<int> stopped_{1};
  std::string name_;
  // Taken by the exports; the same thread may take it again (a modal window
  // runs a nested event loop whose timers call the driver again).
  mutable std::recursive_mutex instanceLock_;
  // Taken by the communication thread around each device cycle.
  mutable std::mutex scheduleLock_;
  // Innermost: taken while a line is formatted and delivered.
  mutable std::recursive_mutex logLock_;
  // Guards writesWaiting_. Innermost apart from the log lock.
  std::mutex wakeLock_;
  std::vector<std::string> writesWaiting_;
  // Wakes the sleeping loop: a stop, or a queued write.
  WakeSignal wake_;
  // The run's loop: a fiber of the shared fiber thread when the driver
  // object's waits all allow it (Ethernet), else a thread of its own.
  qmx::fiber::Task task_;
  std::thread thread_;
};

}  // namespace tessivar
