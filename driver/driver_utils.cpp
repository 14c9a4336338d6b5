#include "driver/driver_utils.h"

#include <algorithm>
#include <array>

#include "common/Utility.h"
#include "platform/icmp/icmp_echo.h"
#include "platform/net/socket.h"

namespace tessivar {
namespace {

constexpr std::array<uint16_t, 256> MakeCrcTable() {
  std::array<uint16_t, 256> table{};
  for (unsigned i = 0; i < 256; ++i) {
    uint16_t crc = static_cast<uint16_t>(i);
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ 0xA001) : crc >> 1;
    table[i] = crc;
  }
  return table;
}

constexpr std::array<uint16_t, 256> kCrcTable = MakeCrcTable();

constexpr const char* kParityNames[] = {"NOPARITY", "ODDPARITY", "EVENPARITY", "MARKPARITY", "SPACEPARITY"};

}  // namespace

uint16_t Crc16(const uint8_t* data, unsigned length) {
  const unsigned n = length & 0xFFFF;
  uint16_t crc = 0xFFFF;
  if (!data) return crc;
  for (unsigned i = 0; i < n; ++i) crc = static_cast<uint16_t>((crc >> 8) ^ kCrcTable[(crc ^ data[i]) & 0xFF]);
  return crc;
}

void SwapWordBytes(uint8_t* dst, const uint8_t* src, unsigned length) {
  if (!dst || !src) return;
  const unsigned n = length & 0xFFFF;
  unsigned i = 0;
  for (; i + 1 < n; i += 2) {
    dst[i] = src[i + 1];
    dst[i + 1] = src[i];
  }
  if (i < n) dst[i] = src[i];
}

int ParityCodeFromName(const std::string& name) {
  const std::string upper = Upper(name);
  for (int code = 0; code < 5; ++code) {
    if (upper == kParityNames[code]) return code;
  }
  return 0;
}

const char* ParityNameFromCode(int code) { return code >= 0 && code < 5 ? kParityNames[code] : kParityNames[0]; }

int PingHost(const char* host, int timeoutMs, int count) {
  if (!host) return kPingNoHost;
  if (timeoutMs > 3000) timeoutMs = 3000;
  if (timeoutMs < 0) timeoutMs = 0;
  auto socket = qmx::icmp::EchoSocket::Open();
  if (!socket) return kPingUnavailable;
  uint32_t address = 0;
  if (qmx::net::ResolveIPv4(host, &address) != 0) return kPingUnresolved;
  int result = kPingAnswered;
  for (int attempt = 0; attempt < count; ++attempt) {
    const int status = socket->Echo(address, timeoutMs, 255);
    if (status == qmx::icmp::kEchoSuccess) return attempt == 0 ? kPingAnswered : kPingAnsweredLater;
    result = -status;
  }
  return result;
}

std::string BytesToHexText(const uint8_t* data, int length, int groupSize) {
  if (!data || length <= 0) return {};
  static constexpr char kDigits[] = "0123456789ABCDEF";
  if (groupSize < 0) groupSize = 0;
  std::string out;
  out.reserve(static_cast<size_t>(length) * 3);
  for (int i = 0; i < length; ++i) {
    out += kDigits[data[i] >> 4];
    out += kDigits[data[i] & 0x0F];
    if (groupSize > 0 && (i + 1) % groupSize == 0) out += ' ';
  }
  return out;
}

int IsIntegerText(const std::string& text, int allowPoint) {
  int points = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c >= '0' && c <= '9') continue;
    if (c == '-' && i == 0) continue;
    if (c == '.' && allowPoint && ++points <= 1) continue;
    return 0;
  }
  return 1;
}

std::string NormalizeHexText(const std::string& text, int expectedLength, int withPrefix) {
  const std::string normal = NormalizeHexStr(text, expectedLength);
  // The common form is "0x" and the digits.
  if (normal == "INVALID" || withPrefix == 1) return normal;
  return normal.substr(2);
}

std::string KeyText(long long key) { return std::to_string(key); }

bool EqualsNoCase(std::string_view a, std::string_view b) {
  // In place, without a string built for a literal: the model and state
  // names are compared in every monitoring cycle.
  const auto fold = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c; };
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) { return fold(x) == fold(y); });
}

}  // namespace tessivar
