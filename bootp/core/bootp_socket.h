// The server's UDP socket: requests in on the server port, replies and reset
// packets out by broadcast to the client port. Addresses and ports are
// parameters so tests can run the server in a network namespace of their own.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "bootp/core/bootp_packet.h"
#include "platform/net/socket.h"

namespace qmx::plenvar {

struct BootpEndpoints {
  uint32_t bindAddress = 0;  // INADDR_ANY, network order
  uint16_t serverPort = kBootpServerPort;
  uint32_t destination = kBootpBroadcastAddress;  // network order
  uint16_t clientPort = kBootpClientPort;
};

class BootpSocket {
public:
  explicit BootpSocket(BootpEndpoints endpoints = {}) : endpoints_(endpoints) {}

  // Creates, binds and enables broadcast. 0 or a Windows Sockets style
  // error number (kWsaEacces when the port needs privileges we lack).
  int Open();
  bool IsOpen() const { return socket_.IsValid(); }
  int fd() const { return socket_.fd(); }
  // The bound port (the server port, or the one picked for port 0).
  uint16_t LocalPort() const;
  void Close() { socket_.Close(); }

  // One datagram of at most 300 bytes; nullopt when nothing could be read.
  std::optional<std::vector<uint8_t>> Receive();
  // Sends a packet to the destination; 0 or an error number. A broadcast
  // leaves through `interfaceName` when one is given (the interface whose
  // parameters the replies carry); otherwise by the system's route, and
  // where the system has none for it (a network without a gateway) through
  // every interface that can broadcast.
  int Send(const BootpPacket& packet, const std::string& interfaceName = {});

  const BootpEndpoints& endpoints() const { return endpoints_; }

private:
  BootpEndpoints endpoints_;
  qmx::net::Socket socket_;
};

// A short text for a socket error number, for messages.
std::string SocketErrorText(int wsaError);
// Why the server port cannot be bound and what to do about it; the grant
// names the program at `programPath` (its real path, as setcap needs it).
std::string BindFailureAdvice(int wsaError, uint16_t port, const std::string& programPath);
// The one message for a server socket that cannot be made: the program's
// headline, the reason with its remedy, and that the program ends.
std::string ServerSocketFailureText(int wsaError, uint16_t port, const std::string& programPath);

}  // namespace qmx::plenvar
