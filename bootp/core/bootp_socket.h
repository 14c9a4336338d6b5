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

struct BootpDatagram {
  std::vector<uint8_t> bytes;
  unsigned interfaceIndex = 0;  // the interface it came in by; 0 when not known
};

class BootpSocket {
public:
  explicit BootpSocket(BootpEndpoints endpoints = {}) : endpoints_(endpoints) {}

  // Creates, binds and enables broadcast; each datagram then tells the
  // interface it came in by, and the receive buffer is made large enough to
  // hold a burst while the owner is busy. 0 or a Windows Sockets style error
  // number (kWsaEacces when the port needs privileges we lack).
  int Open();
  int fd() const { return socket_.fd(); }
  // The bound port (the server port, or the one picked for port 0).
  uint16_t LocalPort() const;

  // One datagram of at most 300 bytes without waiting; nullopt when none
  // waits or the read failed.
  std::optional<BootpDatagram> Receive();
  // Sends a packet to the destination; 0 or an error number. A broadcast
  // leaves through the interface with `interfaceIndex`, or for 0 through
  // every interface that is up and not loopback (it then counts as sent
  // when it left through one). A destination other than the broadcast
  // address (tests on loopback) is reached by the routes.
  int SendVia(const BootpPacket& packet, unsigned interfaceIndex);
  // The same with the interface named; an empty name means every interface.
  int Send(const BootpPacket& packet, const std::string& interfaceName = {});

private:
  BootpEndpoints endpoints_;
  qmx::net::Socket socket_;
};

// The index of the interface of this name; 0 when there is none.
unsigned InterfaceIndex(const std::string& name);
// The name of the interface with this index; empty when there is none.
std::string InterfaceName(unsigned index);

// A short text for a socket error number, for messages.
std::string SocketErrorText(int wsaError);
// Why the server port cannot be bound and what to do about it; the grant
// names the program at `programPath` (its real path, as setcap needs it).
std::string BindFailureAdvice(int wsaError, uint16_t port, const std::string& programPath);
// The one message for a server socket that cannot be made: the program's
// headline, the reason with its remedy, and that the program ends.
std::string ServerSocketFailureText(int wsaError, uint16_t port, const std::string& programPath);

}  // namespace qmx::plenvar
