// Plenvar's readers of the routing table and the resolver configuration on
// arbitrary bytes: up to the first NUL byte the table (/proc/net/route), after
// it the configuration (/etc/resolv.conf). The gateway found for an interface
// is an IPv4 address or nothing; the name servers are IPv4 addresses that are
// not loopback, or nothing, and the domain is one word.
#include <arpa/inet.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "bootp/core/interface_params.h"

namespace {

bool IsAddressOrNothing(const std::string& text, bool loopbackAllowed) {
  if (text.empty()) return true;
  in_addr address{};
  if (::inet_pton(AF_INET, text.c_str(), &address) != 1) return false;
  return loopbackAllowed || (ntohl(address.s_addr) >> 24) != 127;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const size_t split = input.find('\0');
  const std::string routes = input.substr(0, split);
  const std::string resolver = split == std::string::npos ? input : input.substr(split + 1);

  // The interfaces the table names, and one it does not.
  std::istringstream lines(routes);
  std::string line, name;
  std::getline(lines, line);
  for (int n = 0; n < 4 && std::getline(lines, line); ++n) {
    std::istringstream(line) >> name;
    if (!IsAddressOrNothing(qmx::plenvar::DefaultGatewayFromRouteTable(routes, name), true)) std::abort();
  }
  if (!IsAddressOrNothing(qmx::plenvar::DefaultGatewayFromRouteTable(routes, "no-such-interface"), true))
    std::abort();

  const qmx::plenvar::ResolverInfo info = qmx::plenvar::ParseResolverConf(resolver);
  if (!IsAddressOrNothing(info.dns1, false) || !IsAddressOrNothing(info.dns2, false) ||
      info.domain.find_first_of(" \t\r\n") != std::string::npos || (info.dns1.empty() && !info.dns2.empty()))
    std::abort();
  return 0;
}
