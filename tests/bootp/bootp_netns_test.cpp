// Request handling end to end on real sockets, inside a network namespace
// this test makes (a veth pair, a default route for the broadcasts): a client
// on port 68 broadcasts BOOTREQUESTs, the server on port 67 answers from its
// setup list by broadcast; unknown MACs are listed and not answered.
#include <gtest/gtest.h>
#include <poll.h>
#include <sched.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "bootp/core/bootp_lists.h"
#include "bootp/core/bootp_socket.h"
#include "bootp/core/interface_params.h"
#include "platform/net/socket.h"

using namespace qmx::plenvar;

namespace {

// Moves this test process into a namespace of its own; the reason when it
// cannot (no privilege).
bool EnterNamespace(std::string* why, bool defaultRoute = true) {
  if (::unshare(CLONE_NEWNET) != 0) {
    *why = std::string("unshare(CLONE_NEWNET): ") + std::strerror(errno);
    return false;
  }
  std::vector<const char*> commands{"ip link set lo up", "ip link add bp0 type veth peer name bp1",
                                    "ip addr add 10.77.0.1/24 dev bp0", "ip addr add 10.77.0.2/24 dev bp1",
                                    "ip link set bp0 up", "ip link set bp1 up", "ip route add default dev bp0"};
  if (!defaultRoute) commands.pop_back();
  for (const char* command : commands) {
    if (std::system((std::string(command) + " 2>/dev/null").c_str()) != 0) {
      *why = std::string("'") + command + "' failed";
      return false;
    }
  }
  return true;
}

std::vector<uint8_t> Request(uint8_t lastMacByte, uint8_t xidFirst, size_t size = 300) {
  std::vector<uint8_t> d(size, 0);
  const uint8_t head[8] = {1, 1, 6, 0, xidFirst, 2, 3, 4};
  const uint8_t mac[6] = {0x02, 0x4D, 0x9A, 0x00, 0x00, lastMacByte};
  for (size_t i = 0; i < 8 && i < size; ++i) d[i] = head[i];
  for (size_t i = 0; i < 6 && 28 + i < size; ++i) d[28 + i] = mac[i];
  return d;
}

// Serves what has arrived on the server socket; the request list grows.
void Serve(BootpSocket& server, const SetupList& setup, RequestList& requests) {
  pollfd ready{server.fd(), POLLIN, 0};
  while (::poll(&ready, 1, 300) > 0) {
    const auto datagram = server.Receive();
    if (!datagram) continue;
    const RequestOutcome out = HandleBootpDatagram(datagram->data(), datagram->size(), {true, false}, setup, {}, "t");
    for (const BootpPacket& reply : out.replies) ASSERT_EQ(server.Send(reply), 0);
    if (out.listed) requests.Add(out.row);
  }
}

}  // namespace

TEST(BootpNamespace, RequestsAnsweredFromTheSetupList) {
  std::string why;
  if (!EnterNamespace(&why)) GTEST_SKIP() << "no network namespace can be made here (" << why << ")";

  BootpSocket server;
  ASSERT_EQ(server.Open(), 0);
  qmx::net::Socket client;
  ASSERT_EQ(client.Create(SOCK_DGRAM), 0);
  ASSERT_EQ(client.Bind(0, kBootpClientPort), 0);
  ASSERT_EQ(client.SetBroadcast(1), 0);

  SetupList setup;
  setup.Put({"02-4D-9A-00-00-01", "10.77.0.50", "255.255.255.0", "10.77.0.254", "1"});
  RequestList requests;
  const auto known = Request(1, 0xA1);
  const auto runt = Request(2, 0xB2, 20);
  const auto unknown = Request(3, 0xC3);
  for (const auto* d : {&known, &runt, &unknown}) {
    ASSERT_EQ(client.SendTo(d->data(), d->size(), 0xFFFFFFFFu, kBootpServerPort), static_cast<int>(d->size()));
  }
  Serve(server, setup, requests);

  ASSERT_EQ(requests.rows().size(), 2u);  // the runt is neither answered nor listed
  EXPECT_EQ(requests.rows()[0].mac, "02-4D-9A-00-00-01");
  EXPECT_EQ(requests.rows()[0].ip, "10.77.0.50");
  EXPECT_EQ(requests.rows()[1].mac, "02-4D-9A-00-00-03");
  EXPECT_EQ(requests.rows()[1].ip, "");

  uint8_t reply[400];
  uint32_t from = 0;
  uint16_t port = 0;
  ASSERT_EQ(client.WaitReadable(1000), 1);
  ASSERT_EQ(client.RecvFrom(reply, sizeof reply, &from, &port), 300);
  EXPECT_EQ(port, kBootpServerPort);
  EXPECT_EQ(reply[0], 2);
  EXPECT_EQ(std::vector<uint8_t>(reply + 4, reply + 8), (std::vector<uint8_t>{0xA1, 2, 3, 4}));
  EXPECT_EQ(std::vector<uint8_t>(reply + 16, reply + 20), (std::vector<uint8_t>{10, 77, 0, 50}));
  EXPECT_EQ(reply[33], 1);
  EXPECT_EQ(client.WaitReadable(300), 0) << "only the known MAC is answered";

  ASSERT_EQ(server.Send(BuildResetPacket("024D9A000003")), 0);
  ASSERT_EQ(client.WaitReadable(1000), 1);
  ASSERT_EQ(client.RecvFrom(reply, sizeof reply, &from, &port), 300);
  EXPECT_EQ(std::vector<uint8_t>(reply + 240, reply + 244), (std::vector<uint8_t>{0x35, 0x01, 0x09, 0xFF}));
  EXPECT_EQ(reply[33], 3);
}

TEST(BootpNamespace, ServerPortNeedsPrivilege) {
  std::string why;
  if (!EnterNamespace(&why)) GTEST_SKIP() << "no network namespace can be made here (" << why << ")";
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // As an unprivileged user, in the namespace made above.
    if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(2);
    BootpSocket server;
    ::_exit(server.Open() == qmx::net::kWsaEacces ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == 2) GTEST_SKIP() << "cannot drop privileges here";
  EXPECT_EQ(WEXITSTATUS(status), 0);
  for (const auto& [path, grant] : std::vector<std::pair<std::string, std::string>>{
           {"/opt/qmx410tools/Tools/Plenvar", "setcap cap_net_bind_service=+ep /opt/qmx410tools/Tools/Plenvar"},
           {"/home/a b/it's/Plenvar", "setcap cap_net_bind_service=+ep '/home/a b/it'\\''s/Plenvar'"}}) {
    EXPECT_NE(BindFailureAdvice(qmx::net::kWsaEacces, 67, path).find(grant), std::string::npos) << path;
  }
}

// A network without a gateway has no route for the limited broadcast: the
// packets still leave, through every interface (bp0, bp1) or only through
// the chosen one; the host keeps a copy of each broadcast it sends. A card
// listed without an address takes the one it gets later.
TEST(BootpNamespace, NoGatewayAndAddressesThatComeLater) {
  std::string why;
  if (!EnterNamespace(&why, false)) GTEST_SKIP() << "no network namespace can be made here (" << why << ")";
  BootpSocket server;
  ASSERT_EQ(server.Open(), 0);
  qmx::net::Socket client;
  ASSERT_EQ(client.Create(SOCK_DGRAM), 0);
  ASSERT_EQ(client.Bind(0, kBootpClientPort), 0);
  for (const auto& [via, copies] : std::vector<std::pair<std::string, int>>{{"", 2}, {"bp1", 1}}) {
    ASSERT_EQ(server.Send(BuildResetPacket("024D9A000003"), via), 0) << via;
    int seen = 0;
    uint8_t packet[400];
    while (client.WaitReadable(300) == 1 && client.RecvFrom(packet, sizeof packet, nullptr, nullptr) == 300) ++seen;
    EXPECT_EQ(seen, copies) << "through '" << via << "'";
  }

  ASSERT_EQ(std::system("ip addr flush dev bp1"), 0);
  std::vector<Adapter> adapters = ListAdapters();
  const auto bp1 = std::find_if(adapters.begin(), adapters.end(), [](auto& a) { return a.description == "bp1"; });
  ASSERT_NE(bp1, adapters.end());
  EXPECT_EQ(bp1->address, "");
  ASSERT_EQ(std::system("ip addr add 10.77.0.9/16 dev bp1"), 0);
  RefreshAdapters(&adapters);
  EXPECT_EQ(bp1->address + " " + bp1->subnetMask, "10.77.0.9 255.255.0.0");
}
