// ModbusDriver: the instance's driver object (channel settings, devices,
// online exchanges, monitoring cycle, address map).
//
// In this build the object holds no channel: every operation that needs one
// refuses with "Not supported function" (-7005, or a null record), logged at
// level 0 with the operation's name, and the monitoring open step fails, so
// an instance never claims to run without a channel behind it.
#pragma once

#include "driver/driver_object.h"

namespace tessivar {

class DriverInstance;

class ModbusDriver : public DriverObject {
public:
  explicit ModbusDriver(DriverInstance& owner);
  ~ModbusDriver() override;

  int SetChannelProperty(const std::string& text) override;
  int SetDeviceProperty(const std::string& key, const std::string& deviceName, const std::string& text,
                        bool isNew) override;
  void RemoveDevice(const std::string& key, const std::string& deviceName) override;
  int SetModuleList(const std::string& key, const ModuleListEntry* entries, int count) override;
  int SetProcessImgMode(const std::string& key, int inputMode, int outputMode) override;
  int Read(const std::string& key, int module, int kind, void* destination) override;
  int WriteByte(const std::string& key, int module, int kind, const void* source, int flag, int length) override;
  int SendSpecialCmd(const std::string& key, int command) override;
  intptr_t GetIOConfig(const std::string& key) override;
  intptr_t StartAutoScan(const std::string& name, int commKind, int timeValue, int moduleScan,
                         const std::string& param) override;
  AddressMapInfo* GetAddresMap(const std::string& key, int slot) override;
  int ShowAddresMap(const std::string& key, int slot, int16_t* inputMode, int16_t* outputMode) override;
  int ShowProtocolComm() override;
  int Open() override;
  int Close() override;
  int MonitoringDevice(const std::string& key) override;
  void CloseChByCallThread() override;
  void SetDeviceState(const std::string& key, int state) override;
  std::string DeviceLogPrefix(const std::string& key) override;
  std::string ErrorText(int code) override;

private:
  int Refuse(const char* function);

  DriverInstance& owner_;
};

}  // namespace tessivar
