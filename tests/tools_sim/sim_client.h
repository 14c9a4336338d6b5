// Raw peers for the online tests: a Modbus TCP connection and a serial line
// that send and receive bytes exactly as given, to check frames byte by byte
// where libmodbus would hide them; and a network namespace runner.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace qmx::sim::testing {

using Bytes = std::vector<uint8_t>;

class RawTcp {
public:
  RawTcp() = default;
  ~RawTcp();
  RawTcp(const RawTcp&) = delete;
  RawTcp& operator=(const RawTcp&) = delete;
  RawTcp(RawTcp&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  bool Connect(const std::string& address, int port);
  void Close();
  bool Send(const Bytes& bytes);
  // Reads until `count` bytes arrived or `timeoutMs` passed; what arrived.
  Bytes Receive(size_t count, int timeoutMs);
  // One recv call after waiting at most timeoutMs: the bytes of one segment.
  Bytes ReceiveOnce(int timeoutMs);
  // True when the peer closed the connection within timeoutMs.
  bool PeerClosed(int timeoutMs);
  int fd() const { return fd_; }

private:
  int fd_ = -1;
};

// A UDP socket bound to an address (port 0: any), allowed to broadcast.
class RawUdp {
public:
  explicit RawUdp(const std::string& address, int port = 0);
  ~RawUdp();
  RawUdp(const RawUdp&) = delete;
  RawUdp& operator=(const RawUdp&) = delete;
  bool bound() const { return bound_; }
  bool SendTo(const std::string& address, int port, const Bytes& bytes);
  // Every datagram that arrives until timeoutMs pass without one.
  std::vector<Bytes> Collect(int timeoutMs);

private:
  int fd_ = -1;
  bool bound_ = false;
};

class RawSerial {
public:
  ~RawSerial();
  bool Open(const std::filesystem::path& device);
  bool Send(const Bytes& bytes);
  Bytes Receive(size_t count, int timeoutMs);

private:
  int fd_ = -1;
};

// Runs `body` on a thread inside a new network namespace with loopback up.
// False with the reason when no namespace can be made.
bool RunInNetNamespace(const std::function<void()>& body, std::string* reason);

}  // namespace qmx::sim::testing
