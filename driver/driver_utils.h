// Small stateless utilities of the driver: the Modbus RTU checksum, the byte
// swap between wire and process images, serial parity names, the ICMP
// reachability test and a few text conversions of the driver's windows.
// The general text functions (GetToken, IsStrEmpty, ...) are the shared
// ones of common/Utility.h.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tessivar {

// CRC-16/MODBUS (reflected 0x8005, initial 0xFFFF, no final XOR), table
// driven. Only the low 16 bits of `length` count. Frames append it low byte
// first.
uint16_t Crc16(const uint8_t* data, unsigned length);

// Copies the low 16 bits of `length` bytes from src to dst exchanging the two
// bytes of every 16-bit word; an odd last byte is copied unchanged. The
// buffers must not overlap.
void SwapWordBytes(uint8_t* dst, const uint8_t* src, unsigned length);

// "NOPARITY" 0, "ODDPARITY" 1, "EVENPARITY" 2, "MARKPARITY" 3,
// "SPACEPARITY" 4 (any case); anything else 0.
int ParityCodeFromName(const std::string& name);
// The name of a parity code; "NOPARITY" outside 0..4.
const char* ParityNameFromCode(int code);

// What PingHost answers, besides minus the IP status of its last try
// (kPingIpStatusBase and below: -11010 time-out, -11003 host unreachable,
// ...).
enum PingResult : int {
  kPingAnswered = 1,       // the first try answered
  kPingAnsweredLater = 2,  // a later try did
  kPingUnavailable = -1,   // no ICMP echo on this system
  kPingUnresolved = -3,    // the host does not resolve
  kPingNoHost = -4,        // a null host
  kPingIpStatusBase = -11000,
};

// Reachability test by ICMP echo: a PingResult or minus an IP status. The
// time-out is limited to 3000 ms; a count of 0 or less answers
// kPingAnswered without sending.
int PingHost(const char* host, int timeoutMs, int count);

// Each byte as two upper-case hex digits; with groupSize > 0 a blank follows
// every byte whose 1-based number is a multiple of groupSize. Empty for a
// null pointer or a length of 0 or less.
std::string BytesToHexText(const uint8_t* data, int length, int groupSize);

// Decimal digits with an optional leading '-'; with allowPoint at most one
// '.'. An empty text passes.
int IsIntegerText(const std::string& text, int allowPoint);

// NormalizeHexStr (common/Utility.h): upper-cases, drops a leading "0X" and
// single blanks; "INVALID" when two blanks follow each other, when a
// character is not a hex digit, or when expectedLength > 0 differs from the
// digit count. Otherwise the digits, with "0x" in front when withPrefix is 1.
std::string NormalizeHexText(const std::string& text, int expectedLength, int withPrefix);

// Decimal text of a device key: the key of the device maps.
std::string KeyText(long long key);

// Case-insensitive equality of two texts (ASCII letters).
bool EqualsNoCase(std::string_view a, std::string_view b);

}  // namespace tessivar
