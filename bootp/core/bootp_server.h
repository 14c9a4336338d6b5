// The answering side of the server: reads what its socket holds, answers each
// request at once from the setup list with the parameters of the interface it
// came in by, and hands back the rows to list. Listing is the caller's and
// comes after the answers, so however slow it is it never holds a reply back.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <unordered_map>
#include <vector>

#include "bootp/core/bootp_lists.h"
#include "bootp/core/bootp_socket.h"
#include "bootp/core/interface_params.h"

namespace qmx::plenvar {

// Datagrams read in one wake-up at most; more waiting are read at the next,
// which follows at once, so a flood cannot keep the window from painting.
constexpr size_t kDatagramsPerWake = 1024;
// How long an interface's parameters are taken as read (an address may come
// or go while the server runs).
constexpr std::chrono::milliseconds kInterfaceParamsMaxAge{1000};

// One reply sent to a request, whether or not it left.
struct SentReply {
  std::string mac;  // the device answered, "02-4D-9A-00-00-01"
  int error = 0;    // 0 when it left, else a Windows Sockets style error number
};

class BootpServer {
public:
  explicit BootpServer(BootpEndpoints endpoints = {}, NetworkSources sources = {});

  int Open() { return socket_.Open(); }
  int fd() const { return socket_.fd(); }
  uint16_t LocalPort() const { return socket_.LocalPort(); }

  SetupList& setup() { return setup_; }
  const SetupList& setup() const { return setup_; }
  RequestSwitches& switches() { return switches_; }
  const RequestSwitches& switches() const { return switches_; }

  struct Served {
    size_t read = 0;
    std::vector<SentReply> replies;  // in the order they were sent
    // The first reply that could not be sent; null when every one left.
    const SentReply* FirstFailure() const;
  };
  // Reads the datagrams waiting, at most `limit`, answering each before the
  // next is read, and appends the rows to list to *listed in arrival order.
  // `unknownArrival` speaks for a datagram whose interface is not known.
  Served ServeWaiting(size_t limit, const InterfaceParams& unknownArrival, std::vector<RequestRow>* listed);

  // The parameters of the interface with this index, as read from the system
  // at most kInterfaceParamsMaxAge ago.
  const InterfaceParams& ParamsOf(unsigned interfaceIndex);

  // A reply to a listed request leaves by the interface the request came in
  // by; `chosenName` is used only where that is not known.
  int SendReply(const BootpPacket& packet, unsigned arrivalIndex, const std::string& chosenName);
  // A packet that answers no request (a row added by hand, a reset): through
  // the named interface, or every interface up and not loopback.
  int SendUnprompted(const BootpPacket& packet, const std::string& interfaceName) {
    return socket_.Send(packet, interfaceName);
  }

private:
  struct CachedParams {
    InterfaceParams params;
    std::chrono::steady_clock::time_point read;
  };
  BootpSocket socket_;
  NetworkSources sources_;
  SetupList setup_;
  RequestSwitches switches_;
  std::unordered_map<unsigned, CachedParams> params_;
};

// "%02d:%02d:%02d" of the local time now, as the request list shows it.
std::string LocalTimeText();

}  // namespace qmx::plenvar
