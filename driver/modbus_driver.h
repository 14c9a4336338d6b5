// ModbusDriver: the instance's driver object (channel settings, devices,
// online exchanges, monitoring cycle, address map).
//
// The object owns at most one channel object, the Modbus master of its comm
// type (CModbusTCP for "TCP" and "UDP", ModbusSerial otherwise), with the two
// settings blocks it connects with, and receives the master's log lines.
//
// In this build the online operations are not there yet: every operation
// that needs them refuses with "Not supported function" (-7005, or a null
// record), logged at level 0 with the operation's name, and the monitoring
// open step fails, so an instance never claims to run without a channel
// behind it.
#pragma once

#include <memory>

#include "driver/driver_object.h"
#include "driver/modbus/modbus_serial.h"
#include "driver/modbus/modbus_settings.h"
#include "driver/modbus/modbus_tcp.h"

namespace tessivar {

class DriverInstance;

// enCommType.
enum CommType : int {
  kCommTcp = 0,
  kCommUdp = 1,
  kCommRs232c = 2,
  kCommRs422 = 3,
  kCommRs485 = 4,
  kCommOffline = 5,
};

class ModbusDriver : public DriverObject, public ModbusOwner {
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

  // ---- the channel ----
  int CommType() const { return commType_; }
  TcpCommSetting& TcpSetting() { return tcpSetting_; }
  SerialCommSetting& SerialSetting() { return serialSetting_; }
  // The channel object of the current comm type (none if not created); with
  // close = 1 it is closed and deleted first, so the result is none.
  Modbus* GetChannel(int close);
  // A new channel object for the current comm type, replacing the one of its
  // kind; none (logged) when it cannot be allocated.
  Modbus* CreateChannel(const char* function);
  // Opens `channel` with the settings block of the current comm type.
  int OpenChannelObject(Modbus& channel, int a, int b);
  // deleteFlag = 1 closes the connection first; the object goes in any case.
  void CloseChannel(int deleteFlag);

  // ModbusOwner: the master's lines go to the instance's log; ping results
  // are logged as the channel lines of the monitoring cycle.
  void MasterLog(int level, const std::string& text) override;
  void PingReport(const std::string& host, int result) override;

private:
  int Refuse(const char* function);
  bool IsTcp() const { return commType_ == kCommTcp || commType_ == kCommUdp; }

  DriverInstance& owner_;
  int commType_ = kCommOffline;
  TcpCommSetting tcpSetting_;
  SerialCommSetting serialSetting_;
  std::unique_ptr<CModbusTCP> tcpChannel_;
  std::unique_ptr<ModbusSerial> serialChannel_;
};

}  // namespace tessivar
