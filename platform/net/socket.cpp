#include "platform/net/socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "platform/fiber/fiber.h"

namespace qmx::net {
namespace {

struct ErrnoPair {
  int err;
  int wsa;
};

constexpr ErrnoPair kErrnoTable[] = {
    {EINTR, kWsaEintr},
    {EBADF, kWsaEbadf},
    {EACCES, kWsaEacces},
    {EPERM, kWsaEacces},
    {EFAULT, kWsaEfault},
    {EINVAL, kWsaEinval},
    {EMFILE, kWsaEmfile},
    {ENFILE, kWsaEmfile},
    {EWOULDBLOCK, kWsaEwouldblock},
    {EINPROGRESS, kWsaEinprogress},
    {EALREADY, kWsaEalready},
    {ENOTSOCK, kWsaEnotsock},
    {EDESTADDRREQ, kWsaEdestaddrreq},
    {EMSGSIZE, kWsaEmsgsize},
    {EPROTOTYPE, kWsaEprototype},
    {ENOPROTOOPT, kWsaEnoprotoopt},
    {EPROTONOSUPPORT, kWsaEprotonosupport},
    {ESOCKTNOSUPPORT, kWsaEsocktnosupport},
    {EOPNOTSUPP, kWsaEopnotsupp},
    {EPFNOSUPPORT, kWsaEpfnosupport},
    {EAFNOSUPPORT, kWsaEafnosupport},
    {EADDRINUSE, kWsaEaddrinuse},
    {EADDRNOTAVAIL, kWsaEaddrnotavail},
    {ENETDOWN, kWsaEnetdown},
    {ENETUNREACH, kWsaEnetunreach},
    {ENETRESET, kWsaEnetreset},
    {ECONNABORTED, kWsaEconnaborted},
    {EPIPE, kWsaEconnaborted},
    {ECONNRESET, kWsaEconnreset},
    {ENOBUFS, kWsaEnobufs},
    {ENOMEM, kWsaEnobufs},
    {EISCONN, kWsaEisconn},
    {ENOTCONN, kWsaEnotconn},
    {ESHUTDOWN, kWsaEshutdown},
    {ETOOMANYREFS, kWsaEtoomanyrefs},
    {ETIMEDOUT, kWsaEtimedout},
    {ECONNREFUSED, kWsaEconnrefused},
    {ELOOP, kWsaEloop},
    {ENAMETOOLONG, kWsaEnametoolong},
    {EHOSTDOWN, kWsaEhostdown},
    {EHOSTUNREACH, kWsaEhostunreach},
    {ENOTEMPTY, kWsaEnotempty},
    {EUSERS, kWsaEusers},
    {EDQUOT, kWsaEdquot},
    {ESTALE, kWsaEstale},
    {EREMOTE, kWsaEremote},
};

int LastWsa(int fallback) { return WsaErrorFromErrno(errno, fallback); }

// Failure number for errno values without a counterpart.
constexpr int kGeneral = kWsaSyscallFailure;

int ClampTimeout(int timeoutMs) { return timeoutMs < 0 ? 0 : timeoutMs; }

int WaitFor(int fd, short events, int timeoutMs) {
  if (fd < 0) return -kWsaEnotsock;
  pollfd p{fd, events, 0};
  // On a communication fiber the wait lets the other fibers run.
  const int r = fiber::PollOne(p, ClampTimeout(timeoutMs));
  if (r > 0) {
    if (p.revents & POLLNVAL) return -kWsaEnotsock;
    // An error or hang-up is "ready": the following call reports it.
    return 1;
  }
  if (r == 0) return 0;
  return -LastWsa(kGeneral);
}

sockaddr_in MakeAddress(uint32_t address, uint16_t port) {
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(port);
  sa.sin_addr.s_addr = address;
  return sa;
}

// One datagram's message: its peer address, one data buffer and room for
// one IP_PKTINFO record. It points into itself, so it stays where it is made.
struct PktInfoMessage {
  PktInfoMessage(const sockaddr_in& peerAddress, void* buffer, size_t size) : peer(peerAddress), data{buffer, size} {
    header.msg_name = &peer;
    header.msg_namelen = sizeof peer;
    header.msg_iov = &data;
    header.msg_iovlen = 1;
    header.msg_control = control;
    header.msg_controllen = sizeof control;
  }
  PktInfoMessage(const PktInfoMessage&) = delete;
  PktInfoMessage& operator=(const PktInfoMessage&) = delete;

  sockaddr_in peer;
  iovec data;
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))] = {};
  msghdr header{};
};

}  // namespace

int WsaErrorFromErrno(int err, int fallback) {
  if (err == 0) return 0;
  for (const auto& p : kErrnoTable) {
    if (p.err == err) return p.wsa;
  }
  return fallback;
}

int WsaErrorFromResolver(int gaiError) {
  switch (gaiError) {
    case 0:
      return 0;
    case EAI_NONAME:
#ifdef EAI_NODATA
    case EAI_NODATA:
#endif
    case EAI_ADDRFAMILY:
      return kWsaHostNotFound;
    case EAI_AGAIN:
      return kWsaTryAgain;
    case EAI_FAIL:
      return kWsaNoRecovery;
    case EAI_MEMORY:
      return kWsaEnobufs;
    case EAI_SYSTEM:
      return LastWsa(kWsaNoRecovery);
    default:
      return kWsaNoRecovery;
  }
}

bool ParseDottedIPv4(const std::string& text, uint32_t* address) {
  in_addr a{};
  if (::inet_pton(AF_INET, text.c_str(), &a) != 1) return false;
  if (address) *address = a.s_addr;
  return true;
}

int ResolveIPv4(const std::string& name, uint32_t* address) {
  if (name.empty()) return kWsaHostNotFound;
  if (ParseDottedIPv4(name, address)) return 0;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  addrinfo* result = nullptr;
  int rc = 0;
  // A lookup may wait seconds for a name server: on a communication fiber it
  // must not hold the other stations' loops.
  fiber::RunBlocking([&] { rc = ::getaddrinfo(name.c_str(), nullptr, &hints, &result); });
  if (rc != 0) return WsaErrorFromResolver(rc);
  int out = kWsaNoData;
  for (addrinfo* p = result; p; p = p->ai_next) {
    if (p->ai_family == AF_INET && p->ai_addr) {
      if (address) *address = reinterpret_cast<const sockaddr_in*>(p->ai_addr)->sin_addr.s_addr;
      out = 0;
      break;
    }
  }
  ::freeaddrinfo(result);
  return out;
}

int LocalHostFirstAddress(uint32_t* address) {
  char host[256] = {};
  if (::gethostname(host, sizeof host - 1) == 0 && ResolveIPv4(host, address) == 0) return 0;
  if (address) *address = htonl(INADDR_LOOPBACK);
  return 0;
}

std::string FormatIPv4(uint32_t address) {
  in_addr a{};
  a.s_addr = address;
  char text[INET_ADDRSTRLEN] = {};
  ::inet_ntop(AF_INET, &a, text, sizeof text);
  return text;
}

Socket::~Socket() { Close(); }

Socket::Socket(Socket&& other) noexcept
    : fd_(other.fd_),
      stream_(other.stream_),
      blocking_(other.blocking_),
      watched_(other.watched_),
      drained_(other.drained_),
      receiveTimeoutMs_(other.receiveTimeoutMs_) {
  other.fd_ = -1;
  other.watched_ = false;
}

Socket& Socket::operator=(Socket&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = other.fd_;
    stream_ = other.stream_;
    blocking_ = other.blocking_;
    watched_ = other.watched_;
    drained_ = other.drained_;
    receiveTimeoutMs_ = other.receiveTimeoutMs_;
    other.fd_ = -1;
    other.watched_ = false;
  }
  return *this;
}

int Socket::Create(int type) {
  Close();
  const int fd = ::socket(AF_INET, type | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return LastWsa(kGeneral);
  fd_ = fd;
  stream_ = type == SOCK_STREAM;
  return 0;
}

int Socket::Bind(uint32_t address, uint16_t port) {
  if (fd_ < 0) return kWsaEnotsock;
  const sockaddr_in sa = MakeAddress(address, port);
  if (::bind(fd_, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) != 0) return LastWsa(kGeneral);
  return 0;
}

int Socket::SetBroadcast(int value) {
  if (fd_ < 0) return kWsaEnotsock;
  if (::setsockopt(fd_, SOL_SOCKET, SO_BROADCAST, &value, sizeof value) != 0) return LastWsa(kGeneral);
  return 0;
}

int Socket::SetReceiveInterface(bool on) {
  if (fd_ < 0) return kWsaEnotsock;
  const int value = on ? 1 : 0;
  if (::setsockopt(fd_, IPPROTO_IP, IP_PKTINFO, &value, sizeof value) != 0) return LastWsa(kGeneral);
  return 0;
}

int Socket::SetReceiveBuffer(int bytes) {
  if (fd_ < 0) return kWsaEnotsock;
  if (::setsockopt(fd_, SOL_SOCKET, SO_RCVBUFFORCE, &bytes, sizeof bytes) == 0) return 0;
  if (::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes) != 0) return LastWsa(kGeneral);
  return 0;
}

int Socket::Connect(uint32_t address, uint16_t port, int timeoutMs) {
  if (fd_ < 0) return kWsaEnotsock;
  // The wait below needs a connect that does not block.
  if (blocking_ && SetBlocking(false) != 0) return LastWsa(kGeneral);
  const sockaddr_in sa = MakeAddress(address, port);
  int rc;
  do {
    rc = ::connect(fd_, reinterpret_cast<const sockaddr*>(&sa), sizeof sa);
  } while (rc != 0 && errno == EINTR);
  if (rc == 0) return 0;
  if (errno != EINPROGRESS) return LastWsa(kGeneral);
  const int w = WaitWritable(timeoutMs);
  if (w < 0) return -w;
  if (w == 0) return kWsaEtimedout;
  int err = 0;
  socklen_t len = sizeof err;
  if (::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &err, &len) != 0) return LastWsa(kGeneral);
  return WsaErrorFromErrno(err, kGeneral);
}

int Socket::WaitReadable(int timeoutMs) { return WaitFor(fd_, POLLIN, timeoutMs); }

int Socket::WaitWritable(int timeoutMs) { return WaitFor(fd_, POLLOUT, timeoutMs); }

int Socket::SendSome(const void* data, size_t length) {
  if (fd_ < 0) return -kWsaEnotsock;
  ssize_t n;
  do {
    n = ::send(fd_, data, length, MSG_NOSIGNAL | MSG_DONTWAIT);
  } while (n < 0 && errno == EINTR);
  if (n < 0) return -LastWsa(kGeneral);
  return static_cast<int>(n);
}

int Socket::Recv(void* buffer, size_t size) {
  if (fd_ < 0) return -kWsaEnotsock;
  ssize_t n;
  do {
    n = ::recv(fd_, buffer, size, MSG_DONTWAIT);
  } while (n < 0 && errno == EINTR);
  NoteRead(n, size);
  if (n < 0) return -LastWsa(kGeneral);
  return static_cast<int>(n);
}

int Socket::SendTo(const void* data, size_t length, uint32_t address, uint16_t port) {
  if (fd_ < 0) return -kWsaEnotsock;
  const sockaddr_in sa = MakeAddress(address, port);
  ssize_t n;
  do {
    n = ::sendto(fd_, data, length, MSG_NOSIGNAL | MSG_DONTWAIT, reinterpret_cast<const sockaddr*>(&sa),
                 sizeof sa);
  } while (n < 0 && errno == EINTR);
  if (n < 0) return -LastWsa(kGeneral);
  return static_cast<int>(n);
}

int Socket::RecvFrom(void* buffer, size_t size, uint32_t* fromAddress, uint16_t* fromPort) {
  if (fd_ < 0) return -kWsaEnotsock;
  sockaddr_in from{};
  socklen_t len = sizeof from;
  ssize_t n;
  do {
    n = ::recvfrom(fd_, buffer, size, MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&from), &len);
  } while (n < 0 && errno == EINTR);
  NoteRead(n, size);
  if (n < 0) return -LastWsa(kGeneral);
  if (fromAddress) *fromAddress = from.sin_addr.s_addr;
  if (fromPort) *fromPort = ntohs(from.sin_port);
  return static_cast<int>(n);
}

int Socket::RecvFromInterface(void* buffer, size_t size, uint32_t* fromAddress, uint16_t* fromPort,
                              unsigned* interfaceIndex) {
  if (fd_ < 0) return -kWsaEnotsock;
  PktInfoMessage received(sockaddr_in{}, buffer, size);
  msghdr& message = received.header;
  const sockaddr_in& from = received.peer;
  ssize_t n;
  do {
    n = ::recvmsg(fd_, &message, MSG_DONTWAIT);
  } while (n < 0 && errno == EINTR);
  NoteRead(n, size);
  if (n < 0) return -LastWsa(kGeneral);
  if (interfaceIndex) {
    *interfaceIndex = 0;
    for (cmsghdr* c = CMSG_FIRSTHDR(&message); c != nullptr; c = CMSG_NXTHDR(&message, c)) {
      if (c->cmsg_level != IPPROTO_IP || c->cmsg_type != IP_PKTINFO) continue;
      in_pktinfo info{};
      std::memcpy(&info, CMSG_DATA(c), sizeof info);
      *interfaceIndex = static_cast<unsigned>(info.ipi_ifindex);
    }
  }
  if (fromAddress) *fromAddress = from.sin_addr.s_addr;
  if (fromPort) *fromPort = ntohs(from.sin_port);
  return static_cast<int>(n);
}

int Socket::SendToThrough(const void* data, size_t length, uint32_t address, uint16_t port,
                          unsigned interfaceIndex) {
  if (fd_ < 0) return -kWsaEnotsock;
  PktInfoMessage sent(MakeAddress(address, port), const_cast<void*>(data), length);
  msghdr& message = sent.header;
  cmsghdr* header = CMSG_FIRSTHDR(&message);
  header->cmsg_level = IPPROTO_IP;
  header->cmsg_type = IP_PKTINFO;
  header->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
  in_pktinfo info{};
  info.ipi_ifindex = static_cast<int>(interfaceIndex);
  std::memcpy(CMSG_DATA(header), &info, sizeof info);
  ssize_t n;
  do {
    n = ::sendmsg(fd_, &message, MSG_NOSIGNAL | MSG_DONTWAIT);
  } while (n < 0 && errno == EINTR);
  if (n < 0) return -LastWsa(kGeneral);
  return static_cast<int>(n);
}

int Socket::SetBlocking(bool on) {
  const int flags = ::fcntl(fd_, F_GETFL);
  if (flags < 0 || ::fcntl(fd_, F_SETFL, on ? flags & ~O_NONBLOCK : flags | O_NONBLOCK) != 0) return -1;
  blocking_ = on;
  return 0;
}

void Socket::NoteRead(ssize_t n, size_t size) {
  if (n < 0) {
    // A failure is reported again by the next read, which must not wait.
    drained_ = errno == EAGAIN || errno == EWOULDBLOCK;
    return;
  }
  // A datagram is one of many that may wait; a stream's short read took
  // all there was. A closed stream stays readable (0), so it is no wait.
  drained_ = stream_ && n > 0 && static_cast<size_t>(n) < size;
}

int Socket::RecvWithin(void* buffer, size_t size, int timeoutMs) {
  if (fd_ < 0) return -kWsaEnotsock;
  if (timeoutMs <= 0) return Recv(buffer, size);  // a receive time-out of 0 would mean no limit at all
  if (fiber::OnFiber()) {
    // A blocking receive would hold every other fiber up: the wait goes to
    // the scheduler, the receive only takes what is there. The socket stays
    // registered with the scheduler, so that the wait for a reply costs no
    // system call of its own.
    watched_ = true;
    const auto deadline = fiber::Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
      if (drained_) {
        const int w = fiber::AwaitInput(fd_, deadline);
        if (w < 0) return -LastWsa(kGeneral);
        if (w == 0) return -kWsaEwouldblock;
      }
      const int r = Recv(buffer, size);
      // Nothing yet (also after a report of input another read took): the
      // read has marked the socket drained, so the next turn waits.
      if (r != -kWsaEwouldblock) return r;
    }
  }
  if (!blocking_ && SetBlocking(true) != 0) return -LastWsa(kGeneral);
  // Set only when it changes: a monitoring cycle waits in slices of one
  // length, so this costs nothing per reply.
  if (timeoutMs != receiveTimeoutMs_) {
    const timeval tv{timeoutMs / 1000, static_cast<suseconds_t>(timeoutMs % 1000) * 1000};
    if (::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv) != 0) return -LastWsa(kGeneral);
    receiveTimeoutMs_ = timeoutMs;
  }
  const ssize_t n = ::recv(fd_, buffer, size, 0);
  NoteRead(n, size);
  if (n >= 0) return static_cast<int>(n);
  if (errno != EINTR) return -LastWsa(kGeneral);
  // A signal cut the wait short: it is waited once more the old way (the
  // caller's deadline bounds the whole; no clock read per reply for this).
  const int w = WaitReadable(timeoutMs);
  if (w < 0) return w;
  if (w == 0) return -kWsaEwouldblock;
  return Recv(buffer, size);
}

int Socket::LocalEndpoint(uint32_t* address, uint16_t* port) const {
  if (fd_ < 0) return kWsaEnotsock;
  sockaddr_in sa{};
  socklen_t len = sizeof sa;
  if (::getsockname(fd_, reinterpret_cast<sockaddr*>(&sa), &len) != 0) return LastWsa(kGeneral);
  if (address) *address = sa.sin_addr.s_addr;
  if (port) *port = ntohs(sa.sin_port);
  return 0;
}

void Socket::Close() {
  if (fd_ < 0) return;
  if (watched_) fiber::Forget(fd_);
  ::shutdown(fd_, SHUT_RDWR);
  ::close(fd_);
  fd_ = -1;
  watched_ = false;
  drained_ = false;
  blocking_ = false;
  receiveTimeoutMs_ = -1;
}

}  // namespace qmx::net
