#include "tests/driver_modbus/netlab.h"

#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace qmx::test {
namespace {

bool Run(const std::string& command, std::string* reason) {
  if (std::system((command + " >/dev/null 2>&1").c_str()) == 0) return true;
  if (reason) *reason = "failed: " + command;
  return false;
}

// A link set up sends nothing until the kernel has activated it, which its
// link watch does a moment later (on a loaded machine, much later): a
// broadcast sent before then is dropped. Its state UP says it is done.
bool WaitUp(const std::string& ns, const std::string& device, std::string* reason) {
  const std::string probe = "ip -n " + ns + " -o link show dev " + device + " | grep -q 'state UP'";
  for (int i = 0; i < 500; ++i) {
    if (Run(probe, nullptr)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  if (reason) *reason = "not up: " + device + " in " + ns;
  return false;
}

}  // namespace

NetLab::NetLab(int hosts) : hosts_(hosts) {
  static std::atomic<int> counter{0};
  base_ = "qmxmb" + std::to_string(::getpid()) + "x" + std::to_string(counter++);
}

NetLab::~NetLab() {
  for (const std::string& name : made_) Run("ip netns del " + name, nullptr);
}

std::string NetLab::Name(int host) const { return base_ + (host < 0 ? std::string("t") : "h" + std::to_string(host)); }

std::string NetLab::HostAddress(int host) { return "10.231.0." + std::to_string(11 + host); }

bool NetLab::Create(std::string* reason) {
  for (int host = -1; host < hosts_; ++host) {
    if (!Run("ip netns add " + Name(host), reason)) return false;
    made_.push_back(Name(host));
    if (!Run("ip -n " + Name(host) + " link set lo up", reason)) return false;
  }
  const std::string tool = "ip -n " + Name(-1) + " ";
  if (!Run(tool + "link add br0 type bridge", reason) || !Run(tool + "link set br0 up", reason) ||
      !Run(tool + "addr add " + kToolAddress + "/24 brd + dev br0", reason) ||
      !Run(tool + "route add default dev br0", reason))
    return false;
  for (int host = 0; host < hosts_; ++host) {
    const std::string port = "v" + std::to_string(host);
    const std::string adapter = "ip -n " + Name(host) + " ";
    if (!Run(tool + "link add " + port + " type veth peer name eth0 netns " + Name(host), reason) ||
        !Run(tool + "link set " + port + " master br0", reason) || !Run(tool + "link set " + port + " up", reason) ||
        !Run(adapter + "addr add " + HostAddress(host) + "/24 brd + dev eth0", reason) ||
        !Run(adapter + "link set eth0 up", reason))
      return false;
  }
  for (int host = 0; host < hosts_; ++host) {
    if (!WaitUp(Name(-1), "v" + std::to_string(host), reason) || !WaitUp(Name(host), "eth0", reason)) return false;
  }
  return hosts_ == 0 || WaitUp(Name(-1), "br0", reason);
}

bool NetLab::Unanswered(const std::string& address, std::string* reason) {
  return Run("ip -n " + Name(-1) + " neigh replace " + address + " lladdr 02:00:5e:00:99:99 dev br0 nud permanent",
             reason);
}

bool NetLab::RunIn(int host, const std::function<void()>& fn, std::string* reason) {
  bool entered = false;
  std::string why;
  std::thread worker([&] {
    const std::string path = "/var/run/netns/" + Name(host);
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
      why = "open " + path + ": " + std::strerror(errno);
      return;
    }
    const int r = ::setns(fd, CLONE_NEWNET);
    ::close(fd);
    if (r != 0) {
      why = std::string("setns: ") + std::strerror(errno);
      return;
    }
    entered = true;
    fn();
  });
  worker.join();
  if (!entered && reason) *reason = why;
  return entered;
}

}  // namespace qmx::test
