#include "bootp/core/bootp_packet.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>

namespace qmx::plenvar {
namespace {

// The low 8 bits of a decimal text read as atoi reads it (no overflow: the
// low bits of a sum do not depend on the carries above them).
uint8_t DecimalLowByte(const std::string& part) {
  size_t i = 0;
  while (i < part.size() && std::isspace(static_cast<unsigned char>(part[i]))) ++i;
  bool negative = false;
  if (i < part.size() && (part[i] == '+' || part[i] == '-')) {
    negative = part[i] == '-';
    ++i;
  }
  uint64_t value = 0;
  for (; i < part.size() && std::isdigit(static_cast<unsigned char>(part[i])); ++i) {
    value = value * 10 + static_cast<uint64_t>(part[i] - '0');
  }
  if (negative) value = ~value + 1;
  return static_cast<uint8_t>(value & 0xFF);
}

template <size_t N, typename Convert>
std::array<uint8_t, N> SplitToBytes(const std::string& text, char separator, Convert convert) {
  std::array<uint8_t, N> out{};
  size_t filled = 0;
  std::string part;
  for (char c : text) {
    if (c == separator) {
      if (filled < N) out[filled++] = convert(part);
      part.clear();
    } else {
      part += c;
    }
  }
  if (filled < N) out[filled] = convert(part);
  return out;
}

bool IsHexDigit(char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }

void Put(BootpPacket& p, size_t offset, const uint8_t* bytes, size_t count) {
  for (size_t i = 0; i < count; ++i) p[offset + i] = bytes[i];
}

}  // namespace

std::string BootpRequest::TransactionIdText() const {
  char text[16];
  std::snprintf(text, sizeof text, "%u", static_cast<unsigned>(xid));
  return text;
}

std::string BootpRequest::MacText() const { return FormatMac(chaddr.data()); }

std::string BootpRequest::ClientAddressText() const {
  if (ciaddr[0] == 0) return {};
  char text[20];
  std::snprintf(text, sizeof text, "%d.%d.%d.%d", ciaddr[0], ciaddr[1], ciaddr[2], ciaddr[3]);
  return text;
}

std::optional<BootpRequest> ParseBootpRequest(const uint8_t* data, size_t size) {
  if (data == nullptr || size < kBootpRequestMinSize) return std::nullopt;
  BootpRequest r;
  r.op = data[0];
  r.htype = data[1];
  r.xid = static_cast<uint32_t>(data[4]) | static_cast<uint32_t>(data[5]) << 8 |
          static_cast<uint32_t>(data[6]) << 16 | static_cast<uint32_t>(data[7]) << 24;
  for (size_t i = 0; i < 4; ++i) r.ciaddr[i] = data[12 + i];
  for (size_t i = 0; i < 6; ++i) r.chaddr[i] = data[28 + i];
  return r;
}

uint8_t HexTextToByte(const std::string& text) {
  uint32_t sum = 0;
  uint32_t weight = 1;
  for (size_t i = text.size(); i-- > 0;) {
    const char c = static_cast<char>(std::toupper(static_cast<unsigned char>(text[i])));
    uint32_t digit = 0;
    if (c >= '1' && c <= '9') digit = static_cast<uint32_t>(c - '0');
    if (c >= 'A' && c <= 'F') digit = static_cast<uint32_t>(c - 'A' + 10);
    sum += digit * weight;
    weight *= 16;  // wraps harmlessly: only the low 8 bits are kept
  }
  return static_cast<uint8_t>(sum & 0xFF);
}

std::array<uint8_t, 4> DottedTextToBytes(const std::string& text) {
  return SplitToBytes<4>(text, '.', DecimalLowByte);
}

std::array<uint8_t, 6> MacTextToBytes(const std::string& text) {
  return SplitToBytes<6>(text, '-', HexTextToByte);
}

uint32_t TransactionIdFromText(const std::string& text) {
  return static_cast<uint32_t>(std::strtoull(text.c_str(), nullptr, 10) & 0xFFFFFFFFu);
}

BootpPacket BuildBootpReply(const ReplyFields& f, const InterfaceParams& iface) {
  BootpPacket p{};
  p[0] = 2;
  p[1] = 1;
  p[2] = 6;
  const uint32_t xid = TransactionIdFromText(f.transactionId);
  for (size_t i = 0; i < 4; ++i) p[4 + i] = static_cast<uint8_t>(xid >> (8 * i));
  const auto yiaddr = DottedTextToBytes(f.ip);
  const auto siaddr = DottedTextToBytes(iface.address);
  const auto gateway = DottedTextToBytes(f.gateway);
  const auto mask = DottedTextToBytes(f.subnetMask);
  const auto mac = MacTextToBytes(f.mac);
  Put(p, 16, yiaddr.data(), 4);
  Put(p, 20, siaddr.data(), 4);
  Put(p, 24, gateway.data(), 4);
  Put(p, 28, mac.data(), 6);
  for (size_t i = 0; i < iface.hostName.size() && i < 64; ++i) p[44 + i] = static_cast<uint8_t>(iface.hostName[i]);
  static constexpr uint8_t kCookie[4] = {99, 130, 83, 99};
  Put(p, 236, kCookie, 4);
  size_t at = 240;
  p[at++] = 1;
  p[at++] = 4;
  Put(p, at, mask.data(), 4);
  at += 4;
  p[at++] = 3;
  p[at++] = 4;
  Put(p, at, gateway.data(), 4);
  at += 4;
  p[at++] = 6;
  p[at++] = 8;
  const auto dns1 = DottedTextToBytes(iface.dns1);
  const auto dns2 = DottedTextToBytes(iface.dns2);
  Put(p, at, dns1.data(), 4);
  Put(p, at + 4, dns2.data(), 4);
  at += 8;
  if (!iface.domainName.empty()) {
    const size_t n = iface.domainName.size() < 16 ? iface.domainName.size() : 16;
    p[at++] = 15;
    p[at++] = static_cast<uint8_t>(n);
    for (size_t i = 0; i < n; ++i) p[at++] = static_cast<uint8_t>(iface.domainName[i]);
  }
  p[at] = 255;
  return p;
}

BootpPacket BuildBootpReplyInterfaceForm(const std::string& ip, const std::string& mac,
                                         const std::string& transactionId, const InterfaceParams& iface) {
  return BuildBootpReply(ReplyFields{ip, mac, iface.subnetMask, iface.gateway, transactionId}, iface);
}

BootpPacket BuildResetPacket(const std::string& mac12) {
  BootpPacket p{};
  p[0] = 2;
  p[1] = 1;
  p[2] = 6;
  for (size_t i = 0; i < 6 && 2 * i < mac12.size(); ++i) p[28 + i] = HexTextToByte(mac12.substr(2 * i, 2));
  static constexpr uint8_t kTail[8] = {99, 130, 83, 99, 53, 1, 9, 255};
  Put(p, 236, kTail, 8);
  return p;
}

std::string FormatMac(const uint8_t* six) {
  char text[24];
  std::snprintf(text, sizeof text, "%02X-%02X-%02X-%02X-%02X-%02X", six[0], six[1], six[2], six[3], six[4], six[5]);
  return text;
}

bool IsMacText(const std::string& text) {
  if (text.size() != 17) return false;
  for (size_t i = 0; i < 17; ++i) {
    if (i % 3 == 2 ? text[i] != '-' : !IsHexDigit(text[i])) return false;
  }
  return true;
}

std::optional<std::string> NormalizeResetMac(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return std::nullopt;
  const std::string trimmed = text.substr(first, text.find_last_not_of(" \t") - first + 1);
  const bool allDigits = std::all_of(trimmed.begin(), trimmed.end(), IsHexDigit);
  if (allDigits && trimmed.size() == 12) {
    std::string digits;
    for (char c : trimmed) digits += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return digits;
  }
  std::array<uint8_t, 6> bytes{};
  size_t parts = 0;
  size_t at = 0;
  while (true) {
    const size_t end = trimmed.find_first_of("-:", at);
    const std::string part = trimmed.substr(at, end == std::string::npos ? std::string::npos : end - at);
    if (parts == bytes.size() || part.empty() || part.size() > 2 ||
        !std::all_of(part.begin(), part.end(), IsHexDigit)) {
      return std::nullopt;
    }
    bytes[parts++] = HexTextToByte(part);
    if (end == std::string::npos) break;
    at = end + 1;
  }
  if (parts != bytes.size()) return std::nullopt;
  return StripHyphens(FormatMac(bytes.data()));
}

std::string Mac12(const std::string& macText) { return StripHyphens(FormatMac(MacTextToBytes(macText).data())); }

std::string StripHyphens(const std::string& mac) {
  std::string out;
  for (char c : mac) {
    if (c != '-') out += c;
  }
  return out;
}

bool HasMakerPrefix(const std::string& macText) { return macText.rfind(kMakerMacPrefix, 0) == 0; }

}  // namespace qmx::plenvar
