// The per-instance driver object as the instance frame sees it: everything
// an export forwards to, the monitoring cycle the communication thread
// calls, and the level-2 code texts. ModbusDriver is the real one; tests
// put their own behind an instance.
#pragma once

#include <cstdint>
#include <string>

#include "driver/include/tessivar.h"

namespace tessivar {

class DriverObject {
public:
  virtual ~DriverObject() = default;

  // Channel and devices (only while the instance is stopped).
  virtual int SetChannelProperty(const std::string& text) = 0;
  // isNew: the instance has just created the device's schedule entry.
  virtual int SetDeviceProperty(const std::string& key, const std::string& deviceName, const std::string& text,
                                bool isNew) = 0;
  virtual void RemoveDevice(const std::string& key, const std::string& deviceName) = 0;
  virtual int SetModuleList(const std::string& key, const ModuleListEntry* entries, int count) = 0;
  virtual int SetProcessImgMode(const std::string& key, int inputMode, int outputMode) = 0;

  // Online operations.
  virtual int Read(const std::string& key, int module, int kind, void* destination) = 0;
  virtual int WriteByte(const std::string& key, int module, int kind, const void* source, int flag,
                        int length) = 0;
  virtual int SendSpecialCmd(const std::string& key, int command) = 0;
  // A pointer to a new OnlineIOConfig, or a code of 0 or less.
  virtual intptr_t GetIOConfig(const std::string& key) = 0;
  // A pointer to a new ScanResultList, or a code of 0 or less.
  virtual intptr_t StartAutoScan(const std::string& name, int commKind, int timeValue, int moduleScan,
                                 const std::string& param) = 0;

  // Address map and the driver's windows.
  virtual AddressMapInfo* GetAddresMap(const std::string& key, int slot) = 0;
  virtual int ShowAddresMap(const std::string& key, int slot, int16_t* inputMode, int16_t* outputMode) = 0;
  virtual int ShowProtocolComm() = 0;

  // Monitoring: open and close steps around a run, one device cycle, the
  // channel close of the thread's end, and the device state the schedule
  // keeps in the device record (a DeviceState: running or connection lost).
  // A cycle answers 1, kDrvNoResponse when the device or its channel does
  // not answer, kCycleSkipped when it asked the device nothing (a stop, a
  // reconnection not due yet, a device known to be silent), or the code of
  // the read that failed.
  static constexpr int kCycleSkipped = 2;
  virtual int Open() = 0;
  virtual int Close() = 0;
  virtual int MonitoringDevice(const std::string& key) = 0;
  virtual void CloseChByCallThread() = 0;
  virtual void SetDeviceState(const std::string& key, int state) = 0;
  // "[Port:%d, Node:%d]" on serial buses, "" on Ethernet.
  virtual std::string DeviceLogPrefix(const std::string& key) = 0;
  // True when every wait of a run is on a socket or a deadline, so that the
  // run can share the fiber thread with other instances' runs (Ethernet);
  // false gives the run a thread of its own (a serial port's waits hold it).
  virtual bool RunsOnFiber() const { return false; }

  // Level 2 of the code-to-text chain (driver object, then its channel).
  virtual std::string ErrorText(int code) = 0;
};

}  // namespace tessivar
