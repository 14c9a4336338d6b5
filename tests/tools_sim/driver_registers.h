// The special registers of the QMX-410 adapters as the driver reads and
// writes them (other models than the four serial ones): register, size in
// bytes and whether a communication-init write sends it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>

namespace qmx::sim::testing {

struct DriverRegister {
  uint16_t address;
  size_t bytes;
  bool writable;
};

inline const std::map<std::string, DriverRegister>& DriverRegisters() {
  static const std::map<std::string, DriverRegister> table = {
      {"ExpansionSlotNo", {0x1110, 2, false}}, {"ActiveSlotNo", {0x1111, 2, false}},
      {"InactiveSlotNo", {0x1112, 2, false}},  {"InactiveSlots", {0x1116, 4, false}},
      {"LiveSlots", {0x1117, 4, false}},       {"AlarmSlots", {0x1118, 4, false}},
      {"BusStatus", {0x1119, 2, false}},       {"FieldPwrStatus", {0x1119, 2, false}},
      {"WatchdogErr", {0x1119, 2, false}},     {"InputMode", {0x1114, 2, true}},
      {"OutputMode", {0x1115, 2, true}},       {"Firmware", {0x1003, 2, false}},
      {"FirmwareDate", {0x1010, 4, false}},    {"WatchdogTime", {0x1020, 2, true}},
      {"TCPConnectionTimeOut", {0x1041, 2, true}}, {"GatewayAddress", {0x1052, 4, false}},
      {"SubnetMask", {0x1051, 4, false}},      {"MacAddress", {0x1053, 6, false}},
      {"IPSettingMethod", {0x1045, 2, true}},  {"CCLink_IE_Network_No", {0x1630, 2, true}},
      {"CCLink_IE_Station", {0x1631, 2, true}}, {"DipSwitch", {0x1101, 2, false}},
      {"IOUpdateTime", {0x1028, 2, true}},
  };
  return table;
}

}  // namespace qmx::sim::testing
