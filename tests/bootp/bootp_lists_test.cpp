// What a received datagram does to the lists and which replies it makes,
// the one-row-per-MAC rule of the setup list, the checks of the two address
// commands, and the interface parameters read from Linux texts.
#include <gtest/gtest.h>

#include "bootp/core/bootp_lists.h"
#include "bootp/core/interface_params.h"
#include "tests/support/test_support.h"

using namespace qmx::plenvar;

namespace {

std::vector<uint8_t> Request(const std::array<uint8_t, 6>& mac, uint8_t op = 1, uint8_t htype = 1,
                             std::array<uint8_t, 4> ciaddr = {}) {
  std::vector<uint8_t> d(300, 0);
  d[0] = op;
  d[1] = htype;
  d[2] = 6;
  d[4] = 0x11;
  d[5] = 0x22;
  d[6] = 0x33;
  d[7] = 0x44;
  std::copy(ciaddr.begin(), ciaddr.end(), d.begin() + 12);
  std::copy(mac.begin(), mac.end(), d.begin() + 28);
  return d;
}

constexpr std::array<uint8_t, 6> kMaker{0x02, 0x4D, 0x9A, 0x00, 0x00, 0x07};
constexpr std::array<uint8_t, 6> kOther{0x00, 0x1A, 0x4C, 0x00, 0x00, 0x01};

}  // namespace

TEST(BootpRequests, WhatEachDatagramLeadsTo) {
  SetupList setup;
  setup.Put({"02-4D-9A-00-00-07", "192.168.0.70", "255.255.255.0", "192.168.0.1", "1"});
  const RequestSwitches on{true, false}, off{false, false}, makerOnly{true, true};
  struct Case {
    const char* name;
    std::vector<uint8_t> datagram;
    RequestSwitches switches;
    bool listed;
    size_t replies;
    const char* ip;
  };
  auto shortOne = Request(kMaker);
  shortOne.resize(33);
  const std::vector<Case> cases{
      {"known MAC answered", Request(kMaker), on, true, 1, "192.168.0.70"},
      {"unknown MAC listed, not answered", Request(kOther), on, true, 0, ""},
      {"unknown MAC with client address", Request(kOther, 1, 1, {10, 1, 2, 3}), on, true, 0, "10.1.2.3"},
      {"stopped", Request(kMaker), off, false, 0, ""},
      {"reply, not request", Request(kMaker, 2), on, false, 0, ""},
      {"not Ethernet", Request(kMaker, 1, 6), on, false, 0, ""},
      {"filtered out", Request(kOther), makerOnly, false, 0, ""},
      {"filter keeps maker", Request(kMaker), makerOnly, true, 1, "192.168.0.70"},
      {"runt datagram", shortOne, on, false, 0, ""},
      {"empty read", {}, on, false, 0, ""},
  };
  for (const Case& c : cases) {
    const RequestOutcome out =
        HandleBootpDatagram(c.datagram.data(), c.datagram.size(), c.switches, setup, {}, "12:34:56");
    EXPECT_EQ(out.listed, c.listed) << c.name;
    EXPECT_EQ(out.replies.size(), c.replies) << c.name;
    if (out.listed) {
      EXPECT_EQ(out.row.ip, c.ip) << c.name;
    }
  }

  const auto known = Request(kMaker);
  const RequestOutcome out = HandleBootpDatagram(known.data(), known.size(), on, setup, {}, "12:34:56");
  EXPECT_TRUE(out.row.makerDevice);
  EXPECT_EQ(out.row.time, "12:34:56");
  EXPECT_EQ(out.row.transactionId, "1144201745");  // 0x44332211
  ASSERT_EQ(out.replies.size(), 1u);
  EXPECT_EQ(out.replies[0][4], 0x11);  // the request's id bytes come back unchanged
  EXPECT_EQ(out.replies[0][7], 0x44);
  EXPECT_EQ(out.replies[0][19], 70);
}

TEST(BootpRequests, OneSetupRowPerMac) {
  SetupList setup;
  EXPECT_FALSE(setup.Put({"02-4D-9A-00-00-07", "192.168.0.70", "", "", "1"}));
  EXPECT_FALSE(setup.Put({"02-4D-9A-00-00-08", "192.168.0.80", "", "", "2"}));
  const auto replaced = setup.Put({"02-4D-9A-00-00-07", "192.168.0.71", "", "", "3"});
  ASSERT_TRUE(replaced);
  EXPECT_EQ(replaced->ip, "192.168.0.70");
  ASSERT_EQ(setup.size(), 2u);
  EXPECT_EQ(setup.at(0).ip, "192.168.0.71");  // in place: the numbering stays

  // So a request gets one reply, never two conflicting ones.
  const auto d = Request(kMaker);
  EXPECT_EQ(HandleBootpDatagram(d.data(), d.size(), {true, false}, setup, {}, "").replies.size(), 1u);

  // A one-digit part never matches a request's MAC text.
  setup.Put({"2-4D-9A-00-00-07", "192.168.0.99", "", "", "4"});
  EXPECT_EQ(HandleBootpDatagram(d.data(), d.size(), {true, false}, setup, {}, "").row.ip, "192.168.0.71");

  EXPECT_EQ(setup.RemoveMac12("024D9A000007"), 2u) << "both rows name the same device";
  EXPECT_EQ(setup.RemoveMac12("024D9A000008"), 1u);
  EXPECT_EQ(setup.RemoveMac12("024D9A000008"), 0u);
  setup.Remove(99);  // out of range: nothing happens
  EXPECT_EQ(setup.size(), 0u);

  RequestList requests;
  for (size_t i = 0; i <= RequestList::kMaxRows; ++i) ASSERT_FALSE(requests.Add({}));
  EXPECT_TRUE(requests.Add({}));
  EXPECT_EQ(requests.rows().size(), 1u);
}

TEST(BootpRequests, AddressCommandChecks) {
  SetupList setup;
  setup.Put({"0A-0A-0A-0A-0A-0A", "10.0.0.1", "", "", ""});
  setup.Put({"0B-0B-0B-0B-0B-0B", "10.0.0.2", "", "", ""});
  EXPECT_EQ(ClassifyNewDevice(setup, "0C-0C-0C-0C-0C-0C", "10.0.0.3"), NewDeviceCheck::Add);
  EXPECT_EQ(ClassifyNewDevice(setup, "0C-0C-0C-0C-0C-0C", "10.0.0.1"), NewDeviceCheck::IpListed);
  EXPECT_EQ(ClassifyNewDevice(setup, "0A-0A-0A-0A-0A-0A", "10.0.0.3"), NewDeviceCheck::MacListed);
  EXPECT_EQ(ClassifyNewDevice(setup, "0A-0A-0A-0A-0A-0A", "10.0.0.2"), NewDeviceCheck::BothListed);
  EXPECT_EQ(ClassifyManualAnswer(setup, "0A-0A-0A-0A-0A-0A", "10.0.0.1"), ManualAnswer::ReplyAgain);
  EXPECT_EQ(ClassifyManualAnswer(setup, "0A-0A-0A-0A-0A-0A", "10.0.0.2"), ManualAnswer::AddressTaken);
  EXPECT_EQ(ClassifyManualAnswer(setup, "0A-0A-0A-0A-0A-0A", "10.0.0.9"), ManualAnswer::AddRow);
}

TEST(InterfaceParams, ReadFromRoutingTableAndResolver) {
  const std::string routes =
      "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\n"
      "eth1\t0000A8C0\t00000000\t0001\t0\t0\t0\t00FFFFFF\n"
      "eth0\t00000000\t0100A8C0\t0003\t0\t0\t100\t00000000\n"
      "eth1\t00000000\tFE00000A\t0003\t0\t0\t200\t00000000\n"
      "eth2\t00000000\tgateway\t0003\t0\t0\t100\t00000000\n"
      "eth2\t00000000\t0200A8C0\t0003\t0\t0\t200\t00000000\n";
  EXPECT_EQ(DefaultGatewayFromRouteTable(routes, "eth0"), "192.168.0.1");
  EXPECT_EQ(DefaultGatewayFromRouteTable(routes, "eth1"), "10.0.0.254");
  // A gateway that is not a number is passed over for the next default route.
  EXPECT_EQ(DefaultGatewayFromRouteTable(routes, "eth2"), "192.168.0.2");
  EXPECT_EQ(DefaultGatewayFromRouteTable(routes, "wlan0"), "");

  const ResolverInfo r = ParseResolverConf(
      "# comment\nnameserver ::1\nnameserver 127.0.0.53\nnameserver 10.0.0.53\nsearch lab.example corp\n"
      "nameserver 10.0.0.54\nnameserver 10.0.0.55\n");
  EXPECT_EQ(r.dns1, "10.0.0.53");
  EXPECT_EQ(r.dns2, "10.0.0.54");
  EXPECT_EQ(r.domain, "lab.example");
  EXPECT_EQ(ParseResolverConf("domain a.b\nsearch c.d\n").domain, "a.b");

  qmx::test::TempDir dir("bootp-iface");
  qmx::test::WriteFile(dir / "route", routes);
  qmx::test::WriteFile(dir / "resolv.conf", "nameserver 10.0.0.53\ndomain averyveryverylongdomain.example\n");
  const std::vector<Adapter> adapters{{"eth0", "192.168.0.2", "255.255.255.0"}};
  const NetworkSources sources{(dir / "route").string(), (dir / "resolv.conf").string()};
  const InterfaceParams p = LoadInterfaceParams(0, adapters, sources);
  EXPECT_EQ(p.address, "192.168.0.2");
  EXPECT_EQ(p.gateway, "192.168.0.1");
  EXPECT_EQ(p.subnetMask, "255.255.255.0");
  EXPECT_EQ(p.dns1, "10.0.0.53");
  EXPECT_EQ(p.dns2, "");
  EXPECT_EQ(p.domainName, "averyveryverylon");  // 16 characters
  EXPECT_LE(p.hostName.size(), 64u);

  // Behind a local stub its upstream servers (here resolv.conf) are given.
  qmx::test::WriteFile(dir / "stub", "nameserver 127.0.0.53\nsearch lab\n");
  const InterfaceParams stub =
      LoadInterfaceParams(0, adapters, {(dir / "route").string(), (dir / "stub").string(), sources.resolverConf});
  EXPECT_EQ(stub.dns1 + " " + stub.domainName, "10.0.0.53 lab");

  // No such adapter (a machine without interfaces); no resolver file.
  const InterfaceParams none = LoadInterfaceParams(3, adapters, {(dir / "route").string(), (dir / "none").string()});
  EXPECT_EQ(none.address, "");
  EXPECT_EQ(none.gateway, "0.0.0.0");
  EXPECT_EQ(none.subnetMask, "255.255.255.0");
  EXPECT_EQ(none.dns1, "");
  EXPECT_EQ(none.hostName, "");

  EXPECT_LE(ListAdapters().size(), kMaxAdapters);
}
