// Network namespaces for tests and benchmarks that must never touch a real
// network: named peers at the far end of veth links made by the caller,
// sockets made inside them, and a reader of what arrives over one link.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace qmx::netns {

// Runs shell commands in order; false at the first that fails, named in *why.
bool RunCommands(const std::vector<std::string>& commands, std::string* why);

// Moves the calling thread, and every thread it starts later, into a new
// network namespace with its loopback up.
bool EnterNewNamespace(std::string* why);

// A named namespace ("ip netns"), deleted with this object.
class PeerNamespace {
public:
  // `tag` makes the name unique within this process (the process id is added).
  explicit PeerNamespace(const std::string& tag);
  ~PeerNamespace();
  PeerNamespace(const PeerNamespace&) = delete;
  PeerNamespace& operator=(const PeerNamespace&) = delete;

  bool Make(std::string* why);
  const std::string& name() const { return name_; }
  // "ip -n NAME " for commands run in it.
  std::string Ip() const { return "ip -n " + name_ + " "; }
  // Runs `work` with the calling thread inside this namespace: sockets made
  // there stay in it after the thread comes back. False when it cannot enter.
  bool Inside(const std::function<void()>& work) const;

private:
  std::string name_;
  bool made_ = false;
};

// Every IPv4 UDP datagram to one port that arrives on one interface of a
// namespace, read off the link by a packet socket: what crossed the link,
// whatever the sender believes it sent.
class WireReader {
public:
  WireReader() = default;
  ~WireReader();
  WireReader(const WireReader&) = delete;
  WireReader& operator=(const WireReader&) = delete;

  bool Open(const PeerNamespace& where, const std::string& interfaceName, uint16_t port, std::string* why);
  // The UDP payloads that arrived within `ms` (the wait ends early once
  // `enough` have come, when given).
  std::vector<std::vector<uint8_t>> Read(int ms, size_t enough = 0);

private:
  int fd_ = -1;
  uint16_t port_ = 0;
};

}  // namespace qmx::netns
