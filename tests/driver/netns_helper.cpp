#include "tests/driver/netns_helper.h"

#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace qmx::test {
namespace {

bool LoopbackUp(std::string* reason) {
  const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
  if (fd < 0) {
    *reason = std::string("socket: ") + std::strerror(errno);
    return false;
  }
  ifreq req{};
  std::strncpy(req.ifr_name, "lo", IFNAMSIZ - 1);
  bool ok = ::ioctl(fd, SIOCGIFFLAGS, &req) == 0;
  if (ok) {
    req.ifr_flags = static_cast<short>(req.ifr_flags | IFF_UP | IFF_RUNNING);
    ok = ::ioctl(fd, SIOCSIFFLAGS, &req) == 0;
  }
  if (!ok) *reason = std::string("loopback up: ") + std::strerror(errno);
  ::close(fd);
  return ok;
}

}  // namespace

bool RunInNetNamespace(const std::function<void()>& body, std::string* reason) {
  bool entered = false;
  std::string why;
  std::thread worker([&] {
    if (::unshare(CLONE_NEWNET) != 0) {
      why = std::string("unshare(CLONE_NEWNET): ") + std::strerror(errno);
      return;
    }
    if (!LoopbackUp(&why)) return;
    entered = true;
    body();
  });
  worker.join();
  if (!entered && reason) *reason = why;
  return entered;
}

bool Shell(const std::string& command) { return std::system(command.c_str()) == 0; }

}  // namespace qmx::test
