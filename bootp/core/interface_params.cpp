#include "bootp/core/interface_params.h"

#include "common/WholeFile.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <sstream>

namespace qmx::plenvar {
namespace {

std::string AddressText(const sockaddr* sa) {
  if (sa == nullptr || sa->sa_family != AF_INET) return {};
  char text[INET_ADDRSTRLEN] = {};
  const auto* in = reinterpret_cast<const sockaddr_in*>(sa);
  ::inet_ntop(AF_INET, &in->sin_addr, text, sizeof text);
  return text;
}

// The routing table and the resolver configuration are a few kB; a larger
// file is not read.
constexpr std::uint64_t kSystemFileLimit = 1024 * 1024;

std::optional<std::string> ReadText(const std::string& path) {
  std::string text;
  if (ReadWholeFile(path, kSystemFileLimit, text) != 1) return std::nullopt;
  return text;
}

// Every interface but loopback, in the system's order, with its first IPv4
// address; an interface that can broadcast (a network card) is listed also
// before it has an address, as when its cable is not yet plugged in.
std::vector<Adapter> ScanInterfaces(bool* failed) {
  std::vector<Adapter> out;
  ifaddrs* list = nullptr;
  if (failed) *failed = false;
  if (::getifaddrs(&list) != 0) {
    if (failed) *failed = true;
    return out;
  }
  for (ifaddrs* it = list; it != nullptr; it = it->ifa_next) {
    if (it->ifa_addr == nullptr || (it->ifa_flags & IFF_LOOPBACK) != 0) continue;
    const int family = it->ifa_addr->sa_family;
    if (family != AF_INET && (family != AF_PACKET || (it->ifa_flags & IFF_BROADCAST) == 0)) continue;
    auto known = std::find_if(out.begin(), out.end(), [&](const Adapter& a) { return a.description == it->ifa_name; });
    if (known == out.end()) known = out.insert(out.end(), Adapter{it->ifa_name, {}, {}});
    // The first address of an interface speaks for it.
    if (family == AF_INET && known->address.empty()) {
      known->address = AddressText(it->ifa_addr);
      known->subnetMask = AddressText(it->ifa_netmask);
    }
  }
  ::freeifaddrs(list);
  return out;
}

}  // namespace

std::vector<Adapter> ListAdapters(bool* failed) {
  std::vector<Adapter> out = ScanInterfaces(failed);
  if (out.size() > kMaxAdapters) out.resize(kMaxAdapters);
  return out;
}

void RefreshAdapters(std::vector<Adapter>* adapters) {
  const std::vector<Adapter> now = ScanInterfaces(nullptr);
  for (Adapter& a : *adapters) {
    const auto it =
        std::find_if(now.begin(), now.end(), [&](const Adapter& n) { return n.description == a.description; });
    a.address = it != now.end() ? it->address : std::string();
    a.subnetMask = it != now.end() ? it->subnetMask : std::string();
  }
}

std::string DefaultGatewayFromRouteTable(const std::string& routeText, const std::string& interfaceName) {
  std::istringstream lines(routeText);
  std::string line;
  std::getline(lines, line);  // header
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    std::string iface, destination, gateway;
    if (!(fields >> iface >> destination >> gateway)) continue;
    if (iface != interfaceName || destination != "00000000") continue;
    unsigned long value = 0;
    if (std::from_chars(gateway.data(), gateway.data() + gateway.size(), value, 16).ec != std::errc()) {
      continue;  // not a number: no gateway on this line
    }
    in_addr a{};
    a.s_addr = static_cast<in_addr_t>(value);  // the table holds it in network order
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &a, text, sizeof text);
    return text;
  }
  return {};
}

ResolverInfo ParseResolverConf(const std::string& text) {
  ResolverInfo info;
  std::string search;
  std::istringstream lines(text);
  std::string line;
  int servers = 0;
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    std::string key, value;
    if (!(fields >> key >> value) || key.empty() || key[0] == '#' || key[0] == ';') continue;
    in_addr probe{};
    if (key == "nameserver" && ::inet_pton(AF_INET, value.c_str(), &probe) == 1) {
      if ((ntohl(probe.s_addr) >> 24) == 127) {
        info.loopbackServer = true;
        continue;
      }
      if (servers == 0) info.dns1 = value;
      if (servers == 1) info.dns2 = value;
      ++servers;
    } else if (key == "domain") {
      info.domain = value;
    } else if (key == "search" && search.empty()) {
      search = value;
    }
  }
  if (info.domain.empty()) info.domain = search;
  return info;
}

InterfaceParams LoadInterfaceParams(size_t index, const std::vector<Adapter>& adapters,
                                    const NetworkSources& sources) {
  InterfaceParams p;
  if (index < adapters.size()) {
    const Adapter& a = adapters[index];
    p.address = a.address.substr(0, 16);
    p.subnetMask = a.subnetMask.substr(0, 16);
    if (const auto routes = ReadText(sources.routeTable)) {
      p.gateway = DefaultGatewayFromRouteTable(*routes, a.description).substr(0, 16);
    }
  }
  if (p.gateway.empty()) p.gateway = "0.0.0.0";
  if (p.subnetMask.empty()) p.subnetMask = "255.255.255.0";

  if (const auto resolver = ReadText(sources.resolverConf)) {
    ResolverInfo info = ParseResolverConf(*resolver);
    if (info.dns1.empty() && info.loopbackServer) {
      if (const auto upstream = ReadText(sources.upstreamResolverConf)) {
        const ResolverInfo behind = ParseResolverConf(*upstream);
        info.dns1 = behind.dns1;
        info.dns2 = behind.dns2;
      }
    }
    p.dns1 = info.dns1;
    p.dns2 = info.dns2;
    p.domainName = info.domain.substr(0, 16);
    char host[256] = {};
    if (::gethostname(host, sizeof host - 1) == 0) p.hostName = std::string(host).substr(0, 64);
  }
  return p;
}

InterfaceParams LoadInterfaceParamsByName(const std::string& name, const NetworkSources& sources) {
  std::vector<Adapter> one{Adapter{name, {}, {}}};
  RefreshAdapters(&one);
  return LoadInterfaceParams(0, one, sources);
}

}  // namespace qmx::plenvar
