// Any datagram through the server's request handling, with a setup row that
// may match, so the reply path is exercised too.
#include <cstddef>
#include <cstdint>

#include "bootp/core/bootp_lists.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const qmx::plenvar::SetupList setup = [] {
    qmx::plenvar::SetupList s;
    s.Put({"02-4D-9A-00-00-01", "192.168.0.50", "255.255.255.0", "192.168.0.1", "1"});
    return s;
  }();
  qmx::plenvar::InterfaceParams iface;
  iface.domainName = "example.org";
  iface.hostName = "host";
  for (bool makerOnly : {false, true}) {
    const auto out = qmx::plenvar::HandleBootpDatagram(data, size, {true, makerOnly}, setup, iface, "00:00:00");
    if (out.listed && out.row.mac.size() != 17) __builtin_trap();
    for (const auto& reply : out.replies) {
      if (reply[0] != 2 || reply[236] != 99) __builtin_trap();
    }
  }
  return 0;
}
