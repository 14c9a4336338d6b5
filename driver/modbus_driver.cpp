#include "driver/modbus_driver.h"

#include <new>

#include "common/Utility.h"
#include "driver/driver_instance.h"
#include "driver/driver_utils.h"
#include "driver/result_codes.h"

namespace tessivar {

ModbusDriver::ModbusDriver(DriverInstance& owner) : owner_(owner) {}

ModbusDriver::~ModbusDriver() = default;

int ModbusDriver::Refuse(const char* function) {
  owner_.Log(0, StrFormat(" %s. Func: %s", ResultCodeText(kDrvNotSupported, TransportKind::kNone).c_str(), function));
  return kDrvNotSupported;
}

int ModbusDriver::SetChannelProperty(const std::string&) { return Refuse("SetChannelProperty"); }

int ModbusDriver::SetDeviceProperty(const std::string&, const std::string&, const std::string&, bool) {
  return Refuse("SetDeviceProperty");
}

void ModbusDriver::RemoveDevice(const std::string&, const std::string&) {
  // No device records are kept in this build: nothing to remove.
}

int ModbusDriver::SetModuleList(const std::string&, const ModuleListEntry*, int) { return Refuse("SetModuleList"); }

int ModbusDriver::SetProcessImgMode(const std::string&, int, int) { return Refuse("VUSK_SetProcessImgMode"); }

int ModbusDriver::Read(const std::string&, int, int, void*) { return Refuse("VUSK_Read"); }

int ModbusDriver::WriteByte(const std::string&, int, int, const void*, int, int) { return Refuse("VUSK_WriteByte"); }

int ModbusDriver::SendSpecialCmd(const std::string&, int) { return Refuse("VUSK_SendSpecialCmd"); }

intptr_t ModbusDriver::GetIOConfig(const std::string&) { return Refuse("VUSK_GetIOConfig"); }

intptr_t ModbusDriver::StartAutoScan(const std::string&, int, int, int, const std::string&) {
  return Refuse("VUSK_StartAutoScan");
}

AddressMapInfo* ModbusDriver::GetAddresMap(const std::string&, int) {
  Refuse("VUSK_GetAddresMap");
  return nullptr;
}

int ModbusDriver::ShowAddresMap(const std::string&, int, int16_t*, int16_t*) { return Refuse("VUSK_ShowAddresMap"); }

int ModbusDriver::ShowProtocolComm() { return Refuse("VUSK_ShowProtocolComm"); }

int ModbusDriver::Open() {
  Refuse("VUSK_Open");
  return 0;
}

int ModbusDriver::Close() { return 1; }

int ModbusDriver::MonitoringDevice(const std::string&) { return Refuse("VUSK_MonitoringDevice"); }

void ModbusDriver::CloseChByCallThread() {}

void ModbusDriver::SetDeviceState(const std::string&, int) {}

std::string ModbusDriver::DeviceLogPrefix(const std::string&) { return {}; }

std::string ModbusDriver::ErrorText(int code) {
  Modbus* channel = GetChannel(0);
  return DriverObjectCodeText(code, channel ? channel->Transport() : TransportKind::kNone);
}

Modbus* ModbusDriver::GetChannel(int close) {
  if (close == 1) CloseChannel(1);
  if (IsTcp()) return tcpChannel_.get();
  return serialChannel_.get();
}

Modbus* ModbusDriver::CreateChannel(const char* function) {
  Modbus* channel = nullptr;
  if (IsTcp()) {
    tcpChannel_.reset(new (std::nothrow) CModbusTCP());
    channel = tcpChannel_.get();
  } else {
    serialChannel_.reset(new (std::nothrow) ModbusSerial());
    channel = serialChannel_.get();
  }
  if (!channel) {
    owner_.Log(0, StrFormat("Out of Memory! Cannot open channel. Please, check PC resource. Func: %s", function));
    return nullptr;
  }
  channel->SetOwner(this);
  return channel;
}

int ModbusDriver::OpenChannelObject(Modbus& channel, int a, int b) {
  if (IsTcp()) return channel.OpenConnection(tcpSetting_, a, b);
  return channel.OpenConnection(serialSetting_, a, b);
}

void ModbusDriver::CloseChannel(int deleteFlag) {
  Modbus* channel = IsTcp() ? static_cast<Modbus*>(tcpChannel_.get()) : serialChannel_.get();
  if (channel && deleteFlag == 1) {
    channel->CloseConnection();
    channel->DeleteConnection();
  }
  if (IsTcp()) {
    tcpChannel_.reset();
  } else {
    serialChannel_.reset();
  }
}

void ModbusDriver::MasterLog(int level, const std::string& text) { owner_.Log(level, text); }

void ModbusDriver::PingReport(const std::string& host, int result) {
  const char* h = host.c_str();
  if (result == 1) {
    owner_.Log(1, StrFormat(" Ping test: Success. host: %s", h));
  } else if (result == 2) {
    owner_.Log(0, StrFormat(" Ping test: Network is unstable. host: %s", h));
  } else if (result == -4) {
    owner_.Log(0, StrFormat(" Ping test: Failed. Host address is null. Error Code:%d.", result));
  } else if (result == -3 || result < -11000) {
    owner_.Log(0, StrFormat(" Ping test: Failed. Check network environment. host: %s. Error Code:%d.", h, result));
  } else {
    owner_.Log(0, StrFormat(" Ping test is unavailable. Cound not load ICMPDLL. host: %s. Error Code:%d.", h, result));
  }
}

}  // namespace tessivar
