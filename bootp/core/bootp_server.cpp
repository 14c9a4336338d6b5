#include "bootp/core/bootp_server.h"

#include <cstdio>
#include <ctime>

namespace qmx::plenvar {

BootpServer::BootpServer(BootpEndpoints endpoints, NetworkSources sources)
    : socket_(endpoints), sources_(std::move(sources)) {}

std::string LocalTimeText() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[16];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d", local.tm_hour, local.tm_min, local.tm_sec);
  return text;
}

const InterfaceParams& BootpServer::ParamsOf(unsigned interfaceIndex) {
  const auto now = std::chrono::steady_clock::now();
  auto it = params_.find(interfaceIndex);
  if (it == params_.end() || now - it->second.read > kInterfaceParamsMaxAge) {
    CachedParams fresh{LoadInterfaceParamsByName(InterfaceName(interfaceIndex), sources_), now};
    it = params_.insert_or_assign(interfaceIndex, std::move(fresh)).first;
  }
  return it->second.params;
}

BootpServer::Served BootpServer::ServeWaiting(size_t limit, const InterfaceParams& unknownArrival,
                                              std::vector<RequestRow>* listed) {
  Served served;
  // Requests read in one wake-up arrived within milliseconds: one time text.
  std::string time;
  while (served.read < limit) {
    auto datagram = socket_.Receive();
    if (!datagram) break;
    ++served.read;
    if (time.empty()) time = LocalTimeText();
    const unsigned arrival = datagram->interfaceIndex;
    const InterfaceParams& iface = arrival != 0 ? ParamsOf(arrival) : unknownArrival;
    RequestOutcome outcome =
        HandleBootpDatagram(datagram->bytes.data(), datagram->bytes.size(), switches_, setup_, iface, time);
    for (const BootpPacket& reply : outcome.replies) {
      served.replies.push_back(SentReply{outcome.row.mac, SendReply(reply, arrival, {})});
    }
    if (!outcome.listed) continue;
    outcome.row.interfaceIndex = arrival;
    listed->push_back(std::move(outcome.row));
  }
  return served;
}

const SentReply* BootpServer::Served::FirstFailure() const {
  for (const SentReply& r : replies) {
    if (r.error != 0) return &r;
  }
  return nullptr;
}

int BootpServer::SendReply(const BootpPacket& packet, unsigned arrivalIndex, const std::string& chosenName) {
  if (arrivalIndex != 0) return socket_.SendVia(packet, arrivalIndex);
  return socket_.Send(packet, chosenName);
}

}  // namespace qmx::plenvar
