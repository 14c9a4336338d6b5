// A small network of namespaces for broadcast tests: a tool namespace with a
// bridge (10.231.0.1/24, default route on the bridge so the limited
// broadcast has a way out) and `hosts` adapter namespaces, each joined to
// the bridge by a veth pair and addressed 10.231.0.(11 + i)/24. Nothing
// leaves the namespaces; they are deleted with the object.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace qmx::test {

class NetLab {
public:
  explicit NetLab(int hosts);
  ~NetLab();
  NetLab(const NetLab&) = delete;
  NetLab& operator=(const NetLab&) = delete;

  // False with the reason when the namespaces cannot be made.
  bool Create(std::string* reason);

  static constexpr const char* kToolAddress = "10.231.0.1";
  static constexpr const char* kSubnetBroadcast = "10.231.0.255";
  // 10.231.0.(11 + host).
  static std::string HostAddress(int host);

  // Frames from the tool namespace to `address` (in the subnet) go to a MAC
  // address nobody has: whatever is sent there is lost without a reply, as
  // to an adapter the tool cannot reach. False with the reason on failure.
  bool Unanswered(const std::string& address, std::string* reason = nullptr);

  // Runs fn on a thread that has entered the tool namespace (host -1) or an
  // adapter namespace (0 .. hosts - 1), and waits for it. Processes started
  // from fn stay in that namespace.
  bool RunIn(int host, const std::function<void()>& fn, std::string* reason = nullptr);

private:
  std::string Name(int host) const;

  int hosts_;
  std::string base_;
  std::vector<std::string> made_;
};

}  // namespace qmx::test
