#include "driver/modbus_driver.h"

#include "driver/driver_instance.h"
#include "driver/format.h"
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

std::string ModbusDriver::ErrorText(int code) { return DriverObjectCodeText(code, TransportKind::kNone); }

}  // namespace tessivar
