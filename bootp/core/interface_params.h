// The network interfaces the server can speak for, read from Linux: the
// IPv4 interfaces (getifaddrs), their default gateways (the routing table),
// the DNS servers and domain (the resolver configuration) and the host name.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "bootp/core/bootp_packet.h"

namespace qmx::plenvar {

// The adapter table has room for this many; further interfaces are left out.
constexpr size_t kMaxAdapters = 10;

struct Adapter {
  std::string description;  // the interface name, as the "Interface" list shows it
  std::string address;      // first IPv4 address
  std::string subnetMask;
};

// Where the system facts are read; tests point these at files of their own.
struct NetworkSources {
  std::string routeTable = "/proc/net/route";
  std::string resolverConf = "/etc/resolv.conf";
  // The servers behind a local stub resolver (systemd-resolved).
  std::string upstreamResolverConf = "/run/systemd/resolve/resolv.conf";
};

// The interfaces other than loopback, in the system's order, at most
// kMaxAdapters: those with an IPv4 address and the network cards still
// without one. *failed is set when the system list cannot be read (the
// caller goes on without adapters).
std::vector<Adapter> ListAdapters(bool* failed = nullptr);
// The table is made once; each adapter's present address and mask (empty
// when it has none now) are taken again before its parameters are used.
void RefreshAdapters(std::vector<Adapter>* adapters);

// The parameters of adapter `index` of `adapters`. An index the list does not
// have (a machine without interfaces) gives an empty address with gateway
// "0.0.0.0" and mask "255.255.255.0", as an adapter that reports nothing.
// DNS servers, host and domain come from the resolver configuration; when it
// cannot be read they stay empty. A device cannot ask this machine's loopback
// stub, so when only such a server is listed the stub's upstream servers are
// given instead.
InterfaceParams LoadInterfaceParams(size_t index, const std::vector<Adapter>& adapters,
                                    const NetworkSources& sources = {});

// The same for the interface of this name as it is now, whether or not the
// adapter table lists it (a request can come in by any interface).
InterfaceParams LoadInterfaceParamsByName(const std::string& name, const NetworkSources& sources = {});

// The default gateway of an interface in /proc/net/route text; empty when none.
std::string DefaultGatewayFromRouteTable(const std::string& routeText, const std::string& interfaceName);

struct ResolverInfo {
  std::string dns1, dns2, domain;
  bool loopbackServer = false;  // a 127.x.x.x server was listed (and left out)
};
// "nameserver" (IPv4, loopback left out) and "domain" (else the first
// "search") lines.
ResolverInfo ParseResolverConf(const std::string& text);

}  // namespace qmx::plenvar
