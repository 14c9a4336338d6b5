#include "bootp/core/bootp_socket.h"

#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>

#include "common/Utility.h"

namespace qmx::plenvar {
namespace {

// Room for a burst of requests (thousands of datagrams) that arrives while
// the window is busy painting or a box is open; past it the system drops
// them, good requests with the rest.
constexpr int kReceiveBufferBytes = 4 * 1024 * 1024;

// The interfaces a packet that answers no request leaves through: up and
// not loopback.
std::vector<unsigned> UpInterfaces() {
  std::vector<unsigned> out;
  ifaddrs* list = nullptr;
  if (::getifaddrs(&list) != 0) return out;
  for (ifaddrs* it = list; it != nullptr; it = it->ifa_next) {
    const unsigned flags = it->ifa_flags;
    if ((flags & IFF_UP) == 0 || (flags & IFF_LOOPBACK) != 0) continue;
    const unsigned index = ::if_nametoindex(it->ifa_name);
    if (index != 0 && std::find(out.begin(), out.end(), index) == out.end()) out.push_back(index);
  }
  ::freeifaddrs(list);
  return out;
}

int SentWhole(int n, size_t size) {
  if (n < 0) return -n;
  return n == static_cast<int>(size) ? 0 : qmx::net::kWsaEmsgsize;
}

}  // namespace

unsigned InterfaceIndex(const std::string& name) { return name.empty() ? 0 : ::if_nametoindex(name.c_str()); }

std::string InterfaceName(unsigned index) {
  char name[IF_NAMESIZE] = {};
  return index != 0 && ::if_indextoname(index, name) != nullptr ? std::string(name) : std::string();
}

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
  if (int rc = socket_.SetReceiveInterface(true)) {
    socket_.Close();
    return rc;
  }
  socket_.SetReceiveBuffer(kReceiveBufferBytes);  // a smaller one still serves
  return 0;
}

uint16_t BootpSocket::LocalPort() const {
  uint32_t address = 0;
  uint16_t port = 0;
  return socket_.LocalEndpoint(&address, &port) == 0 ? port : 0;
}

std::optional<BootpDatagram> BootpSocket::Receive() {
  BootpDatagram d;
  d.bytes.resize(kBootpPacketSize);
  const int n = socket_.RecvFromInterface(d.bytes.data(), d.bytes.size(), nullptr, nullptr, &d.interfaceIndex);
  if (n < 0) return std::nullopt;
  d.bytes.resize(static_cast<size_t>(n));
  return d;
}

int BootpSocket::SendVia(const BootpPacket& packet, unsigned interfaceIndex) {
  if (!socket_.IsValid()) return qmx::net::kWsaEnotsock;
  const uint32_t to = endpoints_.destination;
  const uint16_t port = endpoints_.clientPort;
  if (to != kBootpBroadcastAddress) return SentWhole(socket_.SendTo(packet.data(), packet.size(), to, port), packet.size());
  if (interfaceIndex != 0) {
    return SentWhole(socket_.SendToThrough(packet.data(), packet.size(), to, port, interfaceIndex), packet.size());
  }
  int error = qmx::net::kWsaEnetunreach;  // no interface is up
  bool sent = false;
  for (unsigned index : UpInterfaces()) {
    const int rc = SentWhole(socket_.SendToThrough(packet.data(), packet.size(), to, port, index), packet.size());
    sent = sent || rc == 0;
    if (rc != 0) error = rc;
  }
  return sent ? 0 : error;
}

int BootpSocket::Send(const BootpPacket& packet, const std::string& interfaceName) {
  if (interfaceName.empty()) return SendVia(packet, 0);
  const unsigned index = InterfaceIndex(interfaceName);
  // The chosen interface is gone: say so rather than send elsewhere.
  if (index == 0 && endpoints_.destination == kBootpBroadcastAddress) return qmx::net::kWsaEnetdown;
  return SendVia(packet, index);
}

std::string SocketErrorText(int wsaError) {
  switch (wsaError) {
    case qmx::net::kWsaEacces: return "permission denied";
    case qmx::net::kWsaEaddrinuse: return "address in use";
    case qmx::net::kWsaEaddrnotavail: return "address not available";
    case qmx::net::kWsaEnetunreach: return "network unreachable";
    case qmx::net::kWsaEhostunreach: return "host unreachable";
    case qmx::net::kWsaEmsgsize: return "datagram not sent whole";
    case qmx::net::kWsaEnetdown: return "the interface is gone or down";
    default: return StrFormat("socket error %d", wsaError);
  }
}

namespace {

// A path as a shell reads it back: quoted when it holds anything but the
// characters of an ordinary file name.
std::string ShellWord(const std::string& path) {
  const bool plain = !path.empty() && std::all_of(path.begin(), path.end(), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || std::strchr("/._-+", c) != nullptr;
  });
  if (plain) return path;
  std::string quoted = "'";
  for (char c : path) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

}  // namespace

std::string BindFailureAdvice(int wsaError, uint16_t port, const std::string& programPath) {
  if (wsaError == qmx::net::kWsaEacces) {
    return StrFormat(
        "UDP port %u can only be bound by root or by a program with the CAP_NET_BIND_SERVICE capability.\n"
        "Grant it once with: sudo setcap cap_net_bind_service=+ep %s",
        static_cast<unsigned>(port), ShellWord(programPath).c_str());
  }
  if (wsaError == qmx::net::kWsaEaddrinuse) {
    return StrFormat("UDP port %u is in use: another BOOTP or DHCP server runs on this machine.",
                     static_cast<unsigned>(port));
  }
  return StrFormat("UDP port %u cannot be bound: %s.", static_cast<unsigned>(port), SocketErrorText(wsaError).c_str());
}

std::string ServerSocketFailureText(int wsaError, uint16_t port, const std::string& programPath) {
  return "Unable to create Bootp server socket\n" + BindFailureAdvice(wsaError, port, programPath) +
         "\nBootp server software can not continue.";
}

}  // namespace qmx::plenvar
