#include "platform/icmp/icmp_echo.h"

#include <linux/errqueue.h>
#include <netinet/in.h>
#include <netinet/ip.h>
#include <netinet/ip_icmp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <functional>

#include "platform/fiber/fiber.h"

namespace qmx::icmp {
namespace {

using Clock = std::chrono::steady_clock;

std::atomic<uint16_t> g_nextId{0};

uint16_t Checksum(const uint8_t* data, size_t length) {
  uint32_t sum = 0;
  for (size_t i = 0; i + 1 < length; i += 2) sum += static_cast<uint32_t>(data[i] << 8 | data[i + 1]);
  if (length & 1) sum += static_cast<uint32_t>(data[length - 1] << 8);
  while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<uint16_t>(~sum);
}

int StatusFromIcmp(int type, int code) {
  switch (type) {
    case ICMP_DEST_UNREACH:
      switch (code) {
        case ICMP_NET_UNREACH:
        case ICMP_NET_UNKNOWN:
        case ICMP_NET_ANO:
        case ICMP_NET_UNR_TOS:
          return kEchoDestNetUnreachable;
        case ICMP_PROT_UNREACH:
          return kEchoDestProtocolUnreachable;
        case ICMP_PORT_UNREACH:
          return kEchoDestPortUnreachable;
        case ICMP_FRAG_NEEDED:
          return kEchoPacketTooBig;
        case ICMP_SR_FAILED:
          return kEchoBadRoute;
        default:
          return kEchoDestHostUnreachable;
      }
    case ICMP_TIME_EXCEEDED:
      return code == ICMP_EXC_FRAGTIME ? kEchoTtlExpiredReassembly : kEchoTtlExpiredTransit;
    case ICMP_PARAMETERPROB:
      return kEchoParameterProblem;
    case ICMP_SOURCE_QUENCH:
      return kEchoSourceQuench;
    default:
      return kEchoGeneralFailure;
  }
}

int StatusFromSendErrno(int err) {
  switch (err) {
    case ENETUNREACH:
    case ENETDOWN:
      return kEchoDestNetUnreachable;
    case EHOSTUNREACH:
    case EHOSTDOWN:
      return kEchoDestHostUnreachable;
    case ENOBUFS:
    case ENOMEM:
      return kEchoNoResources;
    case EMSGSIZE:
      return kEchoPacketTooBig;
    default:
      return kEchoGeneralFailure;
  }
}

sockaddr_in Destination(uint32_t address) {
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_addr.s_addr = address;
  return sa;
}

// What a look at an arrived datagram gives when it is no answer to the
// request; every status is 0 or above.
constexpr int kKeepWaiting = -1;

// Sends one echo request to `address`, then hands every moment the socket
// has something to read (with its poll events) to `onReadable` until that
// gives a status or the time runs out.
int Exchange(int fd, const void* request, size_t size, uint32_t address, int timeoutMs,
             const std::function<int(short revents)>& onReadable) {
  const sockaddr_in to = Destination(address);
  if (::sendto(fd, request, size, MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&to), sizeof to) < 0) {
    return StatusFromSendErrno(errno);
  }
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
  for (;;) {
    pollfd p{fd, POLLIN, 0};
    const int r = fiber::PollUntil(p, deadline);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return r == 0 ? kEchoTimedOut : kEchoGeneralFailure;
    const int status = onReadable(p.revents);
    if (status != kKeepWaiting) return status;
  }
}

}  // namespace

std::unique_ptr<EchoSocket> EchoSocket::OpenKind(Kind kind, int* error) {
  const int type = kind == Kind::kDatagram ? SOCK_DGRAM : SOCK_RAW;
  const int fd = ::socket(AF_INET, type | SOCK_CLOEXEC, IPPROTO_ICMP);
  if (fd < 0) {
    if (error) *error = errno;
    return nullptr;
  }
  if (kind == Kind::kDatagram) {
    const int on = 1;
    ::setsockopt(fd, IPPROTO_IP, IP_RECVERR, &on, sizeof on);
  }
  const uint16_t id = static_cast<uint16_t>((::getpid() & 0xFFFF) ^ (g_nextId.fetch_add(1) << 8));
  if (error) *error = 0;
  return std::unique_ptr<EchoSocket>(new EchoSocket(fd, kind, id));
}

std::unique_ptr<EchoSocket> EchoSocket::Open(int* error) {
  if (auto s = OpenKind(Kind::kDatagram, error)) return s;
  return OpenKind(Kind::kRaw, error);
}

EchoSocket::~EchoSocket() { ::close(fd_); }

int EchoSocket::Echo(uint32_t address, int timeoutMs, int ttl) {
  if (ttl < 1) ttl = 1;
  if (ttl > 255) ttl = 255;
  ::setsockopt(fd_, IPPROTO_IP, IP_TTL, &ttl, sizeof ttl);
  const uint16_t sequence = ++sequence_;
  return kind_ == Kind::kDatagram ? EchoDatagram(address, timeoutMs, sequence)
                                  : EchoRaw(address, timeoutMs, sequence);
}

int EchoSocket::EchoDatagram(uint32_t address, int timeoutMs, uint16_t sequence) {
  // Drop anything left over from an earlier request.
  uint8_t junk[512];
  while (::recv(fd_, junk, sizeof junk, MSG_DONTWAIT) > 0) {
  }
  while (::recv(fd_, junk, sizeof junk, MSG_DONTWAIT | MSG_ERRQUEUE) > 0) {
  }

  icmphdr request{};
  request.type = ICMP_ECHO;
  request.un.echo.sequence = htons(sequence);  // the kernel fills id and checksum
  return Exchange(fd_, &request, sizeof request, address, timeoutMs, [&](short revents) {
    if (revents & POLLERR) {
      uint8_t data[64];
      uint8_t control[512];
      iovec iov{data, sizeof data};
      msghdr msg{};
      msg.msg_iov = &iov;
      msg.msg_iovlen = 1;
      msg.msg_control = control;
      msg.msg_controllen = sizeof control;
      const ssize_t n = ::recvmsg(fd_, &msg, MSG_ERRQUEUE | MSG_DONTWAIT);
      if (n >= 0) {
        bool ours = n >= static_cast<ssize_t>(sizeof(icmphdr)) &&
                    reinterpret_cast<const icmphdr*>(data)->un.echo.sequence == htons(sequence);
        for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c; c = CMSG_NXTHDR(&msg, c)) {
          if (c->cmsg_level != IPPROTO_IP || c->cmsg_type != IP_RECVERR) continue;
          sock_extended_err ee;
          std::memcpy(&ee, CMSG_DATA(c), sizeof ee);
          if (!ours) break;
          if (ee.ee_origin == SO_EE_ORIGIN_ICMP) return StatusFromIcmp(ee.ee_type, ee.ee_code);
          return StatusFromSendErrno(static_cast<int>(ee.ee_errno));
        }
      }
      return kKeepWaiting;
    }
    icmphdr reply{};
    const ssize_t n = ::recv(fd_, &reply, sizeof reply, MSG_DONTWAIT);
    if (n < static_cast<ssize_t>(sizeof reply)) return kKeepWaiting;
    if (reply.type == ICMP_ECHOREPLY && reply.un.echo.sequence == htons(sequence)) return int{kEchoSuccess};
    return kKeepWaiting;
  });
}

int EchoSocket::EchoRaw(uint32_t address, int timeoutMs, uint16_t sequence) {
  uint8_t packet[8] = {};
  packet[0] = ICMP_ECHO;
  packet[4] = static_cast<uint8_t>(id_ >> 8);
  packet[5] = static_cast<uint8_t>(id_);
  packet[6] = static_cast<uint8_t>(sequence >> 8);
  packet[7] = static_cast<uint8_t>(sequence);
  const uint16_t sum = Checksum(packet, sizeof packet);
  packet[2] = static_cast<uint8_t>(sum >> 8);
  packet[3] = static_cast<uint8_t>(sum);

  return Exchange(fd_, packet, sizeof packet, address, timeoutMs, [&](short) {
    uint8_t buffer[1500];
    const ssize_t n = ::recv(fd_, buffer, sizeof buffer, MSG_DONTWAIT);
    if (n <= 0) return kKeepWaiting;
    const int status = ClassifyRawPacket(buffer, static_cast<size_t>(n), id_, sequence);
    return status >= 0 ? status : kKeepWaiting;
  });
}

int ClassifyRawPacket(const uint8_t* packet, size_t length, uint16_t id, uint16_t sequence) {
  auto matches = [&](const uint8_t* icmp) {
    return (icmp[4] << 8 | icmp[5]) == id && (icmp[6] << 8 | icmp[7]) == sequence;
  };
  if (!packet || length < 20 || (packet[0] >> 4) != 4) return -1;
  const size_t ihl = static_cast<size_t>(packet[0] & 0x0F) * 4;
  if (ihl < 20 || length < ihl + 8 || packet[9] != IPPROTO_ICMP) return -1;
  const uint8_t* icmp = packet + ihl;
  const size_t icmpLength = length - ihl;
  if (icmp[0] == ICMP_ECHOREPLY) return matches(icmp) ? kEchoSuccess : -1;
  if (icmp[0] != ICMP_DEST_UNREACH && icmp[0] != ICMP_TIME_EXCEEDED && icmp[0] != ICMP_PARAMETERPROB &&
      icmp[0] != ICMP_SOURCE_QUENCH) {
    return -1;
  }
  // An error quotes the IP header and the first 8 bytes of the request.
  if (icmpLength < 8 + 20 + 8) return -1;
  const uint8_t* inner = icmp + 8;
  const size_t innerIhl = static_cast<size_t>(inner[0] & 0x0F) * 4;
  if (innerIhl < 20 || icmpLength < 8 + innerIhl + 8 || inner[9] != IPPROTO_ICMP) return -1;
  const uint8_t* quoted = inner + innerIhl;
  if (quoted[0] != ICMP_ECHO || !matches(quoted)) return -1;
  return StatusFromIcmp(icmp[0], icmp[1]);
}

}  // namespace qmx::icmp
