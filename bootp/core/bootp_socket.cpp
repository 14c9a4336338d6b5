#include "bootp/core/bootp_socket.h"

#include <sys/socket.h>

#include "common/Utility.h"

namespace qmx::plenvar {

int BootpSocket::Open() {
  socket_.Close();
  if (int rc = socket_.Create(SOCK_DGRAM)) return rc;
  if (int rc = socket_.Bind(endpoints_.bindAddress, endpoints_.serverPort)) {
    socket_.Close();
    return rc;
  }
  if (int rc = socket_.SetBroadcast(1)) {
    socket_.Close();
    return rc;
  }
  return 0;
}

uint16_t BootpSocket::LocalPort() const {
  uint32_t address = 0;
  uint16_t port = 0;
  return socket_.LocalEndpoint(&address, &port) == 0 ? port : 0;
}

std::optional<std::vector<uint8_t>> BootpSocket::Receive() {
  std::vector<uint8_t> buffer(kBootpPacketSize);
  uint32_t from = 0;
  uint16_t port = 0;
  const int n = socket_.RecvFrom(buffer.data(), buffer.size(), &from, &port);
  if (n < 0) return std::nullopt;
  buffer.resize(static_cast<size_t>(n));
  return buffer;
}

int BootpSocket::Send(const BootpPacket& packet) {
  const int n = socket_.SendTo(packet.data(), packet.size(), endpoints_.destination, endpoints_.clientPort);
  if (n < 0) return -n;
  return n == static_cast<int>(packet.size()) ? 0 : qmx::net::kWsaEmsgsize;
}

std::string SocketErrorText(int wsaError) {
  switch (wsaError) {
    case qmx::net::kWsaEacces: return "permission denied";
    case qmx::net::kWsaEaddrinuse: return "address in use";
    case qmx::net::kWsaEaddrnotavail: return "address not available";
    case qmx::net::kWsaEnetunreach: return "network unreachable";
    case qmx::net::kWsaEhostunreach: return "host unreachable";
    case qmx::net::kWsaEmsgsize: return "datagram not sent whole";
    default: return StrFormat("socket error %d", wsaError);
  }
}

std::string BindFailureAdvice(int wsaError, uint16_t port) {
  if (wsaError == qmx::net::kWsaEacces) {
    return StrFormat(
        "UDP port %u can only be bound by root or by a program with the CAP_NET_BIND_SERVICE capability.\n"
        "Grant it once with: sudo setcap cap_net_bind_service=+ep <program folder>/Tools/Plenvar",
        static_cast<unsigned>(port));
  }
  if (wsaError == qmx::net::kWsaEaddrinuse) {
    return StrFormat("UDP port %u is in use: another BOOTP or DHCP server runs on this machine.",
                     static_cast<unsigned>(port));
  }
  return StrFormat("UDP port %u cannot be bound: %s.", static_cast<unsigned>(port), SocketErrorText(wsaError).c_str());
}

}  // namespace qmx::plenvar
