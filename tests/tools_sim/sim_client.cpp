#include "tests/tools_sim/sim_client.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <net/if.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

namespace qmx::sim::testing {
namespace {

using Clock = std::chrono::steady_clock;

int Left(Clock::time_point deadline) {
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return ms < 0 ? 0 : static_cast<int>(ms);
}

Bytes ReadUntil(int fd, size_t count, int timeoutMs) {
  Bytes out;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  while (out.size() < count) {
    pollfd p{fd, POLLIN, 0};
    const int r = ::poll(&p, 1, Left(deadline));
    if (r <= 0) break;
    uint8_t buf[512];
    const ssize_t n = ::read(fd, buf, std::min(sizeof buf, count - out.size()));
    if (n <= 0) break;
    out.insert(out.end(), buf, buf + n);
  }
  return out;
}

bool WriteAll(int fd, const Bytes& b) {
  size_t done = 0;
  while (done < b.size()) {
    const ssize_t n = ::write(fd, b.data() + done, b.size() - done);
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

RawTcp::~RawTcp() { Close(); }

bool RawTcp::Connect(const std::string& address, int port) {
  Close();
  fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(port));
  ::inet_pton(AF_INET, address.c_str(), &a.sin_addr);
  if (::connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    Close();
    return false;
  }
  const int on = 1;
  ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  return true;
}

void RawTcp::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

bool RawTcp::Send(const Bytes& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

Bytes RawTcp::Receive(size_t count, int timeoutMs) { return ReadUntil(fd_, count, timeoutMs); }

Bytes RawTcp::ReceiveOnce(int timeoutMs) {
  pollfd p{fd_, POLLIN, 0};
  if (::poll(&p, 1, timeoutMs) != 1) return {};
  uint8_t buf[512];
  const ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
  return n > 0 ? Bytes(buf, buf + n) : Bytes{};
}

bool RawTcp::PeerClosed(int timeoutMs) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, Left(deadline)) != 1) return false;
    uint8_t buf[64];
    const ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
    if (n == 0 || (n < 0 && errno == ECONNRESET)) return true;
    if (n < 0) return false;
  }
}

RawUdp::RawUdp(const std::string& address, int port) {
  fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  const int on = 1;
  ::setsockopt(fd_, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(port));
  ::inet_pton(AF_INET, address.c_str(), &a.sin_addr);
  bound_ = ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
}

RawUdp::~RawUdp() { ::close(fd_); }

bool RawUdp::SendTo(const std::string& address, int port, const Bytes& b) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(port));
  ::inet_pton(AF_INET, address.c_str(), &a.sin_addr);
  return ::sendto(fd_, b.data(), b.size(), 0, reinterpret_cast<sockaddr*>(&a), sizeof a) ==
         static_cast<ssize_t>(b.size());
}

std::vector<Bytes> RawUdp::Collect(int timeoutMs) {
  std::vector<Bytes> out;
  for (;;) {
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, timeoutMs) != 1) return out;
    uint8_t buf[1500];
    const ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
    if (n < 0) return out;
    out.emplace_back(buf, buf + n);
  }
}

RawSerial::~RawSerial() {
  if (fd_ >= 0) ::close(fd_);
}

bool RawSerial::Open(const std::filesystem::path& device) {
  fd_ = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fd_ < 0) return false;
  termios t{};
  ::tcgetattr(fd_, &t);
  ::cfmakeraw(&t);
  ::tcsetattr(fd_, TCSANOW, &t);
  return true;
}

bool RawSerial::Send(const Bytes& bytes) { return WriteAll(fd_, bytes); }

Bytes RawSerial::Receive(size_t count, int timeoutMs) { return ReadUntil(fd_, count, timeoutMs); }

bool RunInNetNamespace(const std::function<void()>& body, std::string* reason) {
  bool entered = false;
  std::string why;
  std::thread worker([&] {
    if (::unshare(CLONE_NEWNET) != 0) {
      why = std::string("unshare(CLONE_NEWNET): ") + std::strerror(errno);
      return;
    }
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ifreq req{};
    std::strncpy(req.ifr_name, "lo", IFNAMSIZ - 1);
    bool up = fd >= 0 && ::ioctl(fd, SIOCGIFFLAGS, &req) == 0;
    if (up) {
      req.ifr_flags = static_cast<short>(req.ifr_flags | IFF_UP | IFF_RUNNING);
      up = ::ioctl(fd, SIOCSIFFLAGS, &req) == 0;
    }
    if (fd >= 0) ::close(fd);
    if (!up) {
      why = std::string("loopback up: ") + std::strerror(errno);
      return;
    }
    entered = true;
    body();
  });
  worker.join();
  if (!entered && reason) *reason = why;
  return entered;
}

}  // namespace qmx::sim::testing
