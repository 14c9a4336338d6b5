// ICMP echo ("ping") over IPv4.
//
// An EchoSocket is a Linux ICMP datagram socket when the system allows it
// (net.ipv4.ping_group_range), else a raw ICMP socket (needs root or
// CAP_NET_RAW). When neither can be made, echo is unavailable. Echo results
// use the IP status numbers of the echo functions the driver was written
// against: 0 success, 11000 + n failures.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace qmx::icmp {

enum EchoStatus : int {
  kEchoSuccess = 0,
  kEchoBufferTooSmall = 11001,
  kEchoDestNetUnreachable = 11002,
  kEchoDestHostUnreachable = 11003,
  kEchoDestProtocolUnreachable = 11004,
  kEchoDestPortUnreachable = 11005,
  kEchoNoResources = 11006,
  kEchoHardwareError = 11008,
  kEchoPacketTooBig = 11009,
  kEchoTimedOut = 11010,
  kEchoBadRoute = 11012,
  kEchoTtlExpiredTransit = 11013,
  kEchoTtlExpiredReassembly = 11014,
  kEchoParameterProblem = 11015,
  kEchoSourceQuench = 11016,
  kEchoGeneralFailure = 11050,
};

// Classifies one packet read from a raw ICMP socket (IPv4 header included)
// for the echo request (id, sequence): -1 when it is not about that request
// (someone else's traffic, our own request looped back, a truncated packet),
// else the EchoStatus it reports.
int ClassifyRawPacket(const uint8_t* packet, size_t length, uint16_t id, uint16_t sequence);

class EchoSocket {
public:
  enum class Kind { kDatagram, kRaw };

  // A datagram socket if allowed, else a raw one; null when echo is
  // unavailable (*error, when given, receives the errno of the last try).
  static std::unique_ptr<EchoSocket> Open(int* error = nullptr);
  // One kind only (tests use it to exercise both roads).
  static std::unique_ptr<EchoSocket> OpenKind(Kind kind, int* error = nullptr);

  ~EchoSocket();
  EchoSocket(const EchoSocket&) = delete;
  EchoSocket& operator=(const EchoSocket&) = delete;

  // Sends one echo request without data to `address` (network order) with
  // the given time-to-live and waits up to timeoutMs for its reply. Returns
  // an EchoStatus.
  int Echo(uint32_t address, int timeoutMs, int ttl = 255);

private:
  EchoSocket(int fd, Kind kind, uint16_t id) : fd_(fd), kind_(kind), id_(id) {}
  int EchoDatagram(uint32_t address, int timeoutMs, uint16_t sequence);
  int EchoRaw(uint32_t address, int timeoutMs, uint16_t sequence);

  int fd_;
  Kind kind_;
  uint16_t id_;
  uint16_t sequence_ = 0;
};

}  // namespace qmx::icmp
