// BOOTP requests as the server reads them, and the two packets it sends: the
// BOOTREPLY that hands a device its address and the reset packet that
// returns a device to its network defaults. Both are always 300 bytes.
//
// The texts of the setup list and of the interface parameters turn into
// bytes by forgiving rules (unusable characters count 0, missing parts are
// 0), so building a packet never fails; what may be typed is checked where
// it is typed (IsMacText).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace qmx::plenvar {

constexpr size_t kBootpPacketSize = 300;
// Bytes 0..33 carry every field the server reads.
constexpr size_t kBootpRequestMinSize = 34;
constexpr uint16_t kBootpServerPort = 67;
constexpr uint16_t kBootpClientPort = 68;
constexpr uint32_t kBootpBroadcastAddress = 0xFFFFFFFFu;  // 255.255.255.255
// MAC texts of the maker's devices begin with this.
constexpr const char* kMakerMacPrefix = "02-4D-9A";
// The transaction id given to rows added by hand.
constexpr const char* kManualTransactionId = "4046586826";

using BootpPacket = std::array<uint8_t, kBootpPacketSize>;

// The server's view of the network interface its replies speak for.
struct InterfaceParams {
  std::string gateway;     // [0]
  std::string subnetMask;  // [1]
  std::string dns1;        // [2]
  std::string dns2;        // [3]
  std::string hostName;    // [4], at most 64 characters
  std::string domainName;  // [5], at most 16 characters
  std::string address;     // [11], the server's own address
};

struct BootpRequest {
  uint8_t op = 0;
  uint8_t htype = 0;
  uint32_t xid = 0;  // bytes 4..7 least significant first
  std::array<uint8_t, 4> ciaddr{};
  std::array<uint8_t, 6> chaddr{};

  bool IsEthernetRequest() const { return op == 1 && htype == 1; }
  std::string TransactionIdText() const;  // "%u"
  std::string MacText() const;            // "0A-1B-2C-3D-4E-5F"
  // "%d.%d.%d.%d" when byte 12 is not 0, else empty.
  std::string ClientAddressText() const;
};

// A datagram too short to hold the fields (a runt or a failed read) is no
// request: nullopt.
std::optional<BootpRequest> ParseBootpRequest(const uint8_t* data, size_t size);

// What a reply says; the texts are those of a setup row.
struct ReplyFields {
  std::string ip;
  std::string mac;
  std::string subnetMask;
  std::string gateway;
  std::string transactionId;
};

BootpPacket BuildBootpReply(const ReplyFields& fields, const InterfaceParams& iface);
// The interface form: subnet mask and gateway come from the interface.
BootpPacket BuildBootpReplyInterfaceForm(const std::string& ip, const std::string& mac,
                                         const std::string& transactionId, const InterfaceParams& iface);
// `mac12` is twelve hexadecimal digits without separators.
BootpPacket BuildResetPacket(const std::string& mac12);

// --- text to bytes -----------------------------------------------------------
// Hexadecimal text to a byte: digits weigh 1, 16, 256 ... from the last; any
// character that is not 1-9 or A-F (either case) counts 0; the low 8 bits.
uint8_t HexTextToByte(const std::string& text);
// "a.b.c.d" to four bytes: each part read as a decimal number (leading
// blanks and one sign allowed, up to the first non-digit), its low 8 bits;
// missing parts are 0.
std::array<uint8_t, 4> DottedTextToBytes(const std::string& text);
// "0A-1B-..." to six bytes, each part through HexTextToByte; missing parts 0.
std::array<uint8_t, 6> MacTextToBytes(const std::string& text);
uint32_t TransactionIdFromText(const std::string& text);

// --- MAC texts ------------------------------------------------------------------
std::string FormatMac(const uint8_t* six);
// Six groups of two hexadecimal digits joined by hyphens (17 characters).
bool IsMacText(const std::string& text);
// A MAC typed for a reset, in every form a setup row can hold it: six parts
// of one or two hexadecimal digits joined by hyphens (or colons), or twelve
// digits without separators; blanks around are allowed. The twelve digits of
// the six bytes in upper case ("A-1B-2C-3D-4E-5F" gives "0A1B2C3D4E5F"), or
// nullopt for anything else (an empty text included).
std::optional<std::string> NormalizeResetMac(const std::string& text);
// The twelve digits of the six bytes a reply carries for this MAC text
// (MacTextToBytes): what a reset of the same device sends.
std::string Mac12(const std::string& macText);
// The MAC text without its hyphens.
std::string StripHyphens(const std::string& mac);
bool HasMakerPrefix(const std::string& macText);

}  // namespace qmx::plenvar
