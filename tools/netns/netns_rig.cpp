#include "tools/netns/netns_rig.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <linux/if_packet.h>
#include <net/ethernet.h>
#include <net/if.h>
#include <poll.h>
#include <sched.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace qmx::netns {

bool RunCommands(const std::vector<std::string>& commands, std::string* why) {
  for (const std::string& command : commands) {
    if (std::system((command + " >/dev/null 2>&1").c_str()) != 0) {
      if (why) *why = "'" + command + "' failed";
      return false;
    }
  }
  return true;
}

bool EnterNewNamespace(std::string* why) {
  if (::unshare(CLONE_NEWNET) != 0) {
    if (why) *why = std::string("unshare(CLONE_NEWNET): ") + std::strerror(errno);
    return false;
  }
  return RunCommands({"ip link set lo up"}, why);
}

PeerNamespace::PeerNamespace(const std::string& tag)
    : name_("qmx" + std::to_string(::getpid()) + tag) {}

PeerNamespace::~PeerNamespace() {
  if (made_) RunCommands({"ip netns del " + name_}, nullptr);
}

bool PeerNamespace::Make(std::string* why) {
  made_ = RunCommands({"ip netns add " + name_, Ip() + "link set lo up"}, why);
  return made_;
}

bool PeerNamespace::Inside(const std::function<void()>& work) const {
  const int home = ::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
  const int there = ::open(("/run/netns/" + name_).c_str(), O_RDONLY | O_CLOEXEC);
  const bool entered = home >= 0 && there >= 0 && ::setns(there, CLONE_NEWNET) == 0;
  if (entered) {
    work();
    if (::setns(home, CLONE_NEWNET) != 0) std::abort();  // this thread would stay in the wrong network
  }
  if (home >= 0) ::close(home);
  if (there >= 0) ::close(there);
  return entered;
}

WireReader::~WireReader() {
  if (fd_ >= 0) ::close(fd_);
}

bool WireReader::Open(const PeerNamespace& where, const std::string& interfaceName, uint16_t port,
                      std::string* why) {
  port_ = port;
  int error = 0;
  const bool entered = where.Inside([&] {
    fd_ = ::socket(AF_PACKET, SOCK_DGRAM | SOCK_CLOEXEC, htons(ETH_P_IP));
    if (fd_ < 0) {
      error = errno;
      return;
    }
    sockaddr_ll at{};
    at.sll_family = AF_PACKET;
    at.sll_protocol = htons(ETH_P_IP);
    at.sll_ifindex = static_cast<int>(::if_nametoindex(interfaceName.c_str()));
    if (at.sll_ifindex == 0) {
      error = ENODEV;
    } else if (::bind(fd_, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0) {
      error = errno;
    }
  });
  if (!entered || error != 0) {
    if (why) *why = "packet socket on " + interfaceName + ": " + (entered ? std::strerror(error) : "cannot enter " + where.name());
    return false;
  }
  return true;
}

std::vector<std::vector<uint8_t>> WireReader::Read(int ms, size_t enough) {
  std::vector<std::vector<uint8_t>> out;
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  uint8_t packet[2048];
  while (enough == 0 || out.size() < enough) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd ready{fd_, POLLIN, 0};
    if (::poll(&ready, 1, static_cast<int>(left.count())) <= 0) continue;
    sockaddr_ll from{};
    socklen_t fromLength = sizeof from;
    const ssize_t n = ::recvfrom(fd_, packet, sizeof packet, 0, reinterpret_cast<sockaddr*>(&from), &fromLength);
    if (n < 28 || from.sll_pkttype == PACKET_OUTGOING) continue;
    // IPv4 header, then UDP: protocol 17 and the destination port.
    const size_t ipLength = static_cast<size_t>(packet[0] & 0x0F) * 4;
    if ((packet[0] >> 4) != 4 || packet[9] != 17 || static_cast<size_t>(n) < ipLength + 8) continue;
    const uint8_t* udp = packet + ipLength;
    if (((udp[2] << 8) | udp[3]) != port_) continue;
    const size_t udpLength = static_cast<size_t>((udp[4] << 8) | udp[5]);
    if (udpLength < 8 || ipLength + udpLength > static_cast<size_t>(n)) continue;
    out.emplace_back(udp + 8, udp + udpLength);
  }
  return out;
}

}  // namespace qmx::netns
