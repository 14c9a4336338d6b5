// Request handling end to end on real sockets, inside network namespaces
// these tests make: a client on port 68 broadcasts BOOTREQUESTs, the server
// on port 67 answers from its setup list by broadcast; unknown MACs are
// listed and not answered. With two networks on two cards, the main dialog's
// replies and resets are read off the far end of each link.
#include <gtest/gtest.h>
#include <poll.h>
#include <sched.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QComboBox>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>

#include "bootp/core/bootp_lists.h"
#include "bootp/core/bootp_server.h"
#include "bootp/core/interface_params.h"
#include "bootp/ui/AddressDialogs.h"
#include "bootp/ui/IpAddressEdit.h"
#include "bootp/ui/PlenvarDlg.h"
#include "platform/net/socket.h"
#include "platform/toolkit/message_box.h"
#include "tests/bootp/add_device_script.h"
#include "tests/bootp/scapy_reader.h"
#include "tests/support/test_support.h"
#include "tools/netns/netns_rig.h"

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

// A BOOTREQUEST of the device 0A-1B-2C-3D-4E-5F.
std::vector<uint8_t> TypedDeviceRequest(uint8_t xidFirst) {
  std::vector<uint8_t> d = Request(0, xidFirst);
  const uint8_t mac[6] = {0x0A, 0x1B, 0x2C, 0x3D, 0x4E, 0x5F};
  std::copy(mac, mac + 6, d.begin() + 28);
  return d;
}

// Serves what has arrived on the server socket; the request list grows.
void Serve(BootpServer& server, RequestList& requests) {
  pollfd ready{server.fd(), POLLIN, 0};
  std::vector<RequestRow> listed;
  while (::poll(&ready, 1, 300) > 0) {
    const BootpServer::Served served = server.ServeWaiting(kDatagramsPerWake, {}, &listed);
    const SentReply* failed = served.FirstFailure();
    ASSERT_EQ(failed, nullptr) << "the reply to " << failed->mac << ": " << SocketErrorText(failed->error);
  }
  for (RequestRow& row : listed) requests.Add(std::move(row));
}

}  // namespace

TEST(BootpNamespace, RequestsAnsweredFromTheSetupList) {
  std::string why;
  if (!EnterNamespace(&why)) GTEST_SKIP() << "no network namespace can be made here (" << why << ")";

  BootpServer server;
  ASSERT_EQ(server.Open(), 0);
  server.switches().started = true;
  qmx::net::Socket client;
  ASSERT_EQ(client.Create(SOCK_DGRAM), 0);
  ASSERT_EQ(client.Bind(0, kBootpClientPort), 0);
  ASSERT_EQ(client.SetBroadcast(1), 0);

  server.setup().Put({"02-4D-9A-00-00-01", "10.77.0.50", "255.255.255.0", "10.77.0.254", "1"});
  RequestList requests;
  const auto known = Request(1, 0xA1);
  const auto runt = Request(2, 0xB2, 20);
  const auto unknown = Request(3, 0xC3);
  for (const auto* d : {&known, &runt, &unknown}) {
    ASSERT_EQ(client.SendTo(d->data(), d->size(), 0xFFFFFFFFu, kBootpServerPort), static_cast<int>(d->size()));
  }
  Serve(server, requests);

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

  ASSERT_EQ(server.SendUnprompted(BuildResetPacket("024D9A000003"), "bp0"), 0);
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

// Add New Device while the server's only card is down: the reply cannot
// leave, the row stays as typed and says why. Once the card is up, the
// device's own request is answered from that row; scapy reads the reply off
// the device's end of the link.
TEST(BootpNamespace, TypedDeviceIsAnsweredWhenItAsksAfterAFailedSend) {
  std::string why;
  qmx::netns::PeerNamespace devices("dev");
  qmx::netns::WireReader onDevices;
  if (!qmx::netns::EnterNewNamespace(&why) || !devices.Make(&why) ||
      !qmx::netns::RunCommands({"ip link add s0 type veth peer name c0 netns " + devices.name(),
                                "ip addr add 10.83.1.1/24 dev s0", devices.Ip() + "addr add 10.83.1.2/24 dev c0",
                                devices.Ip() + "link set c0 up", devices.Ip() + "route add default dev c0"},
                               &why) ||
      !onDevices.Open(devices, "c0", kBootpClientPort, &why)) {
    GTEST_SKIP() << "no network namespaces can be made here (" << why << ")";
  }
  qmx::net::Socket device;
  int rc = -1;
  devices.Inside([&] {
    rc = device.Create(SOCK_DGRAM);
    if (rc == 0) rc = device.Bind(0, kBootpClientPort);
    if (rc == 0) rc = device.SetBroadcast(1);
  });
  ASSERT_EQ(rc, 0);
  std::vector<std::string> boxes;
  qmx::toolkit::SetMessageBoxScript([&](const qmx::toolkit::MessageBoxRequest& r) {
    boxes.push_back(r.text);
    return static_cast<int>(qmx::toolkit::kIdOk);
  });

  PlenvarDlg dialog;
  ASSERT_EQ(dialog.OpenServerSocket(), 0);
  dialog.OnStart();
  qmx::plenvar::test::WhenAddDeviceOpens("10.83.1.60", "255.255.0.0", "10.83.1.254");
  dialog.OnAddNewDevice();
  ASSERT_EQ(dialog.setupView()->topLevelItemCount(), 1);
  QTreeWidgetItem* row = dialog.setupView()->topLevelItem(0);
  QStringList typed;
  for (int c = 0; c < row->columnCount(); ++c) typed << row->text(c);
  EXPECT_EQ(typed.join('|').toStdString(), "1|0A-1B-2C-3D-4E-5F|10.83.1.60|255.255.0.0|10.83.1.254|4046586826");
  EXPECT_EQ(boxes, std::vector<std::string>{"The BOOTP reply to 0A-1B-2C-3D-4E-5F could not be sent: network "
                                            "unreachable.\nThe device stays in the setup list and is answered "
                                            "the next time it asks."});
  EXPECT_EQ(row->toolTip(1).toStdString().rfind("Reply not sent: network unreachable.", 0), 0u)
      << row->toolTip(1).toStdString();
  EXPECT_TRUE(onDevices.Read(300).empty()) << "nothing left while the card was down";

  ASSERT_TRUE(qmx::netns::RunCommands({"ip link set s0 up"}, &why)) << why;
  // The device asks, as devices do, until it is answered (the link takes a
  // moment to carry).
  std::vector<std::vector<uint8_t>> replies;
  const auto request = TypedDeviceRequest(0x5A);
  for (int attempt = 0; attempt < 50 && replies.empty(); ++attempt) {
    ASSERT_EQ(device.SendTo(request.data(), request.size(), kBootpBroadcastAddress, kBootpServerPort), 300);
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(200);
    while (std::chrono::steady_clock::now() < end && replies.empty()) {
      QApplication::processEvents();
      replies = onDevices.Read(5);
    }
  }
  ASSERT_FALSE(replies.empty()) << "the device was never answered";
  qmx::test::TempDir dir("bootp-kept");
  qmx::test::WriteFile(dir / "reply", std::string(replies[0].begin(), replies[0].end()));
  const std::string decoded = qmx::test::RunScapy({(dir / "reply").string()});
  ASSERT_FALSE(decoded.empty()) << "scapy gave no output";
  // The request's id (5A 02 03 04 on the wire), what was typed, and the
  // address of the card the request came in by.
  for (const char* field : {"\"op\": 2", "\"xid\": 1510081284", "\"yiaddr\": \"10.83.1.60\"",
                            "\"siaddr\": \"10.83.1.1\"", "\"chaddr\": \"0a1b2c3d4e5f\"",
                            "\"subnet_mask\": \"255.255.0.0\"", "\"router\": \"10.83.1.254\"", "\"length\": 300"}) {
    EXPECT_NE(decoded.find(field), std::string::npos) << field << " in " << decoded;
  }
  QTRY_VERIFY_WITH_TIMEOUT(dialog.requestList().size() >= 1, 3000);
  EXPECT_EQ(dialog.requestList().rows()[0].ip, "10.83.1.60");
  EXPECT_TRUE(dialog.setupView()->topLevelItem(0)->toolTip(1).isEmpty()) << "answered: the note goes";
  EXPECT_EQ(boxes.size(), 1u);
  qmx::toolkit::SetMessageBoxScript({});
}

namespace {

// Two networks on two cards of the server (this process): s0 10.81.1.1/24
// and s1 10.81.2.1/24, each linked to a namespace of its own whose end (c0,
// c1) stands for the devices of that network. The system's default route
// leads to s0, so a packet left to the routes would leave there.
struct TwoNetworks {
  qmx::netns::PeerNamespace first{"a"}, second{"b"};
  qmx::netns::WireReader onFirst, onSecond;  // what reaches each network's devices
  qmx::net::Socket device;                    // a device on the second network

  bool Make(std::string* why) {
    if (!qmx::netns::EnterNewNamespace(why) || !first.Make(why) || !second.Make(why)) return false;
    const std::string a = first.Ip(), b = second.Ip();
    if (!qmx::netns::RunCommands(
            {"ip link add s0 type veth peer name c0 netns " + first.name(),
             "ip link add s1 type veth peer name c1 netns " + second.name(), "ip addr add 10.81.1.1/24 dev s0",
             "ip addr add 10.81.2.1/24 dev s1", "ip link set s0 up", "ip link set s1 up",
             "ip route add default via 10.81.1.254 dev s0", "ip route add default via 10.81.2.254 dev s1 metric 100",
             a + "addr add 10.81.1.2/24 dev c0", a + "link set c0 up", b + "addr add 10.81.2.2/24 dev c1",
             b + "link set c1 up", b + "route add default dev c1"},
            why)) {
      return false;
    }
    if (!onFirst.Open(first, "c0", kBootpClientPort, why) || !onSecond.Open(second, "c1", kBootpClientPort, why)) {
      return false;
    }
    int rc = -1;
    second.Inside([&] {
      rc = device.Create(SOCK_DGRAM);
      if (rc == 0) rc = device.Bind(0, kBootpClientPort);
      if (rc == 0) rc = device.SetBroadcast(1);
    });
    if (rc != 0) *why = "device socket: " + std::to_string(rc);
    return rc == 0;
  }

  void Request(uint8_t lastMacByte, uint8_t xidFirst) {
    const auto d = ::Request(lastMacByte, xidFirst);
    ASSERT_EQ(device.SendTo(d.data(), d.size(), kBootpBroadcastAddress, kBootpServerPort), 300);
  }

  // What reached each network within `ms` while the dialog runs its events.
  struct Seen {
    std::vector<std::vector<uint8_t>> first, second;
  };
  Seen Collect(int ms) {
    Seen seen;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) {
      QApplication::processEvents();
      for (auto& p : onFirst.Read(5)) seen.first.push_back(std::move(p));
      for (auto& p : onSecond.Read(5)) seen.second.push_back(std::move(p));
    }
    return seen;
  }
};

std::string Quad(const std::vector<uint8_t>& p, size_t at) {
  return std::to_string(p[at]) + "." + std::to_string(p[at + 1]) + "." + std::to_string(p[at + 2]) + "." +
         std::to_string(p[at + 3]);
}

}  // namespace

// Replies leave by the card their request came in by and carry that card's
// parameters, with no interface chosen in any dialog; a reset leaves by the
// interface a dialog chose, or by every interface up when none was chosen.
// The wire readers on the far ends are the judges.
TEST(BootpTwoNetworks, RepliesAndResetsLeaveWhereTheyBelong) {
  TwoNetworks net;
  std::string why;
  if (!net.Make(&why)) GTEST_SKIP() << "no network namespaces can be made here (" << why << ")";
  std::vector<std::string> boxes;
  qmx::toolkit::SetMessageBoxScript([&](const qmx::toolkit::MessageBoxRequest& r) {
    boxes.push_back(r.text);
    return static_cast<int>(qmx::toolkit::kIdOk);
  });

  {
    PlenvarDlg dialog;  // the installed ports: 67 in, broadcast to 68
    ASSERT_EQ(dialog.OpenServerSocket(), 0);
    dialog.PutSetupRow({"02-4D-9A-00-00-0B", "10.81.2.50", "255.255.255.0", "10.81.2.254", "1"});
    dialog.OnStart();

    net.Request(0x0B, 0x11);
    TwoNetworks::Seen seen = net.Collect(600);
    EXPECT_EQ(seen.first.size(), 0u) << "a reply on the other network";
    ASSERT_EQ(seen.second.size(), 1u);
    EXPECT_EQ(seen.second[0][0], 2);
    EXPECT_EQ(seen.second[0][4], 0x11);
    EXPECT_EQ(Quad(seen.second[0], 16), "10.81.2.50");
    EXPECT_EQ(Quad(seen.second[0], 20), "10.81.2.1") << "the server address is the second card's";

    // A device not yet listed, answered by hand: the dialog opens on the
    // second card, and the reply carries its mask and gateway.
    net.Request(0x0C, 0x22);
    QTRY_COMPARE_WITH_TIMEOUT(dialog.requestList().size(), size_t{2}, 3000);
    std::string shown;
    QTimer::singleShot(0, [&] {
      auto* set = dynamic_cast<IpSetDlg*>(QApplication::activeModalWidget());
      ASSERT_NE(set, nullptr);
      shown = set->findChild<QComboBox*>()->currentText().toStdString() + " " +
              set->findChild<IpAddressEdit*>("subnetMask")->address() + " " +
              set->findChild<IpAddressEdit*>("gateway")->address();
      set->findChild<IpAddressEdit*>("ipAddress")->setAddress("10.81.2.77");
      set->accept();
    });
    dialog.OnRequestActivated(1);
    EXPECT_EQ(shown, "s1 255.255.255.0 10.81.2.254");
    seen = net.Collect(600);
    EXPECT_EQ(seen.first.size(), 0u) << "a reply on the other network";
    ASSERT_EQ(seen.second.size(), 1u);
    EXPECT_EQ(Quad(seen.second[0], 16), "10.81.2.77");
    EXPECT_EQ(Quad(seen.second[0], 242), "255.255.255.0");
    EXPECT_EQ(Quad(seen.second[0], 248), "10.81.2.254");
    EXPECT_EQ(Quad(seen.second[0], 24), "10.81.2.254");

    // The dialog chose the second card: a reset leaves there only.
    ASSERT_EQ(dialog.setupView()->topLevelItemCount(), 2);
    dialog.setupView()->setCurrentItem(dialog.setupView()->topLevelItem(1));
    dialog.OnResetFromMenu();
    seen = net.Collect(600);
    EXPECT_EQ(seen.first.size(), 0u);
    ASSERT_EQ(seen.second.size(), 1u);
    EXPECT_EQ(seen.second[0][242], 9);
    EXPECT_EQ(seen.second[0][33], 0x0C);
  }

  // No dialog has chosen: a reset leaves by every card that is up.
  PlenvarDlg fresh;
  ASSERT_EQ(fresh.OpenServerSocket(), 0);
  fresh.PutSetupRow({"02-4D-9A-00-00-0D", "10.81.1.60", "255.255.255.0", "10.81.1.254", "1"});
  fresh.setupView()->setCurrentItem(fresh.setupView()->topLevelItem(0));
  fresh.OnResetFromMenu();
  const TwoNetworks::Seen seen = net.Collect(600);
  ASSERT_EQ(seen.first.size(), 1u);
  ASSERT_EQ(seen.second.size(), 1u);
  EXPECT_EQ(seen.first[0], seen.second[0]);
  EXPECT_EQ(seen.first[0][33], 0x0D);
  EXPECT_EQ(boxes, std::vector<std::string>{});
  qmx::toolkit::SetMessageBoxScript({});
}
