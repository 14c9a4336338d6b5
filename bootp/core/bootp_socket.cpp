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

// The interfaces a limited broadcast can leave through: up, able to
// broadcast, with an IPv4 address, not loopback.
std::vector<unsigned> BroadcastInterfaces() {
  std::vector<unsigned> out;
  ifaddrs* list = nullptr;
  if (::getifaddrs(&list) != 0) return out;
  for (ifaddrs* it = list; it != nullptr; it = it->ifa_next) {
    if (it->ifa_addr == nullptr || it->ifa_addr->sa_family != AF_INET) continue;
    const unsigned flags = it->ifa_flags;
    if ((flags & IFF_UP) == 0 || (flags & IFF_BROADCAST) == 0 || (flags & IFF_LOOPBACK) != 0) continue;
    const unsigned index = ::if_nametoindex(it->ifa_name);
    if (index != 0 && std::find(out.begin(), out.end(), index) == out.end()) out.push_back(index);
  }
  ::freeifaddrs(list);
  return out;
}

// Sends through one interface (IP_PKTINFO names it, so no route is needed).
int SendThrough(int fd, const BootpPacket& packet, uint32_t destination, uint16_t port, unsigned interfaceIndex) {
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_addr.s_addr = destination;
  to.sin_port = htons(port);
  BootpPacket copy = packet;
  iovec data{copy.data(), copy.size()};
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))] = {};
  msghdr message{};
  message.msg_name = &to;
  message.msg_namelen = sizeof to;
  message.msg_iov = &data;
  message.msg_iovlen = 1;
  message.msg_control = control;
  message.msg_controllen = sizeof control;
  cmsghdr* header = CMSG_FIRSTHDR(&message);
  header->cmsg_level = IPPROTO_IP;
  header->cmsg_type = IP_PKTINFO;
  header->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
  in_pktinfo info{};
  info.ipi_ifindex = static_cast<int>(interfaceIndex);
  std::memcpy(CMSG_DATA(header), &info, sizeof info);
  ssize_t n;
  do {
    n = ::sendmsg(fd, &message, MSG_NOSIGNAL | MSG_DONTWAIT);
  } while (n < 0 && errno == EINTR);
  if (n < 0) return qmx::net::WsaErrorFromErrno(errno, qmx::net::kWsaSyscallFailure);
  return n == static_cast<ssize_t>(packet.size()) ? 0 : qmx::net::kWsaEmsgsize;
}

}  // namespace

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

int BootpSocket::Send(const BootpPacket& packet, const std::string& interfaceName) {
  if (!socket_.IsValid()) return qmx::net::kWsaEnotsock;
  const bool broadcast = endpoints_.destination == kBootpBroadcastAddress;
  if (broadcast && !interfaceName.empty()) {
    if (const unsigned index = ::if_nametoindex(interfaceName.c_str()); index != 0) {
      return SendThrough(socket_.fd(), packet, endpoints_.destination, endpoints_.clientPort, index);
    }
  }
  const int n = socket_.SendTo(packet.data(), packet.size(), endpoints_.destination, endpoints_.clientPort);
  if (n >= 0) return n == static_cast<int>(packet.size()) ? 0 : qmx::net::kWsaEmsgsize;
  if (!broadcast || (-n != qmx::net::kWsaEnetunreach && -n != qmx::net::kWsaEhostunreach)) return -n;
  bool sent = false;
  for (unsigned index : BroadcastInterfaces()) {
    sent = SendThrough(socket_.fd(), packet, endpoints_.destination, endpoints_.clientPort, index) == 0 || sent;
  }
  return sent ? 0 : -n;
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
