// The registers that the BOOTP server's Modbus TCP setup dialog reads and
// writes beside the special registers of station.h: the device name and the
// ARP setting (the BOOTP setting is the IP-setting-method register 0x1045).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace qmx::sim {

namespace reg {
constexpr uint16_t kDeviceName = 0x1005;  // 17 registers: length in characters, then 32 bytes of text
constexpr uint16_t kArpSetting = 0x1046;  // 1 enabled, 0 disabled
}  // namespace reg

// The name object in wire order: the length register, then the text padded
// with zeros to 32 bytes (a longer name is cut).
inline std::vector<uint8_t> DeviceNameBytes(const std::string& name) {
  const size_t length = name.size() < 32 ? name.size() : 32;
  std::vector<uint8_t> bytes{0, static_cast<uint8_t>(length)};
  bytes.insert(bytes.end(), name.begin(), name.begin() + static_cast<long>(length));
  bytes.resize(2 + 32, 0);
  return bytes;
}

}  // namespace qmx::sim
