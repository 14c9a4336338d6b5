// The discovery responder: a datagram from loopback, the reply record, the
// discovery faults, and two simulators answering one broadcast inside a
// network namespace of the test's own.
#include <gtest/gtest.h>

#include <set>

#include "tests/tools_sim/sim_client.h"
#include "tools/simulator/testing/simulator_process.h"

namespace qmx::sim {
namespace {

using testing::Bytes;
using Udp = testing::RawUdp;

const Bytes kRequest{0xFF, 0xFF, 0xEE, 0xEE, 0x0E, 0x00, 0x00, 0x06, 0x78, 0x00, 0x01, 0x00, 0x00, 0x00, 0xCC, 0xCC};

TEST(SimDiscoveryTest, AnswersADatagramFromLoopback) {
  SimulatorProcess sim({"--discovery", "127.0.0.1:0", "--model", "QMX-4101", "--product", "0x8040", "--ip",
                        "192.168.10.20", "--mask", "255.255.0.0", "--gateway", "192.168.0.254", "--mac",
                        "00:1A:4C:AB:CD:EF", "--modules", "DI8,DO8,AI4"});
  ASSERT_TRUE(sim.Start()) << sim.error();
  Udp tool("127.0.0.1");
  ASSERT_TRUE(tool.bound());
  ASSERT_TRUE(tool.SendTo("127.0.0.1", sim.discoveryPort(), kRequest));
  const std::vector<Bytes> replies = tool.Collect(500);
  ASSERT_EQ(replies.size(), 1u);
  const Bytes& r = replies[0];
  ASSERT_EQ(r.size(), 264u);
  EXPECT_EQ(Bytes(r.begin(), r.begin() + 6), (Bytes{0xEE, 0xEE, 0xFF, 0xFF, 0x0E, 0x80}));
  const uint8_t* rec = r.data() + 8;
  EXPECT_EQ(Bytes(rec, rec + 4), (Bytes{192, 168, 10, 20}));
  EXPECT_EQ(Bytes(rec + 4, rec + 8), (Bytes{255, 255, 0, 0}));
  EXPECT_EQ(Bytes(rec + 8, rec + 12), (Bytes{192, 168, 0, 254}));
  EXPECT_EQ(Bytes(rec + 12, rec + 18), (Bytes{0x00, 0x1A, 0x4C, 0xAB, 0xCD, 0xEF}));
  EXPECT_EQ(rec[22], 0x40);
  EXPECT_EQ(rec[23], 0x80);

  // Anything but the request is ignored.
  ASSERT_TRUE(tool.SendTo("127.0.0.1", sim.discoveryPort(), Bytes(kRequest.begin(), kRequest.begin() + 12)));
  Bytes wrong = kRequest;
  wrong[0] = 0xEE;
  ASSERT_TRUE(tool.SendTo("127.0.0.1", sim.discoveryPort(), wrong));
  EXPECT_TRUE(tool.Collect(300).empty());

  struct Row {
    const char* fault;
    size_t size;
    uint8_t first;
  };
  for (const Row& row : {Row{"short", 200, 0xEE}, Row{"bad-header", 264, 0xFF}, Row{"silence", 0, 0},
                         Row{"none", 264, 0xEE}}) {
    ASSERT_TRUE(sim.Ok(std::string("discovery-fault ") + row.fault));
    ASSERT_TRUE(tool.SendTo("127.0.0.1", sim.discoveryPort(), kRequest));
    const std::vector<Bytes> got = tool.Collect(row.size ? 500 : 300);
    if (row.size == 0) {
      EXPECT_TRUE(got.empty()) << row.fault;
      continue;
    }
    ASSERT_EQ(got.size(), 1u) << row.fault;
    EXPECT_EQ(got[0].size(), row.size) << row.fault;
    EXPECT_EQ(got[0][0], row.first) << row.fault;
  }
}

TEST(SimDiscoveryTest, TwoSimulatorsAnswerOneBroadcastInANamespace) {
  std::string reason;
  const bool ran = testing::RunInNetNamespace(
      [&] {
        // A veth link with the tool's address; its broadcasts loop back to local sockets.
        if (std::system("ip link add qmxsim0 type veth peer name qmxsim1 && "
                        "ip addr add 10.77.0.1/24 dev qmxsim0 && ip link set qmxsim0 up && "
                        "ip link set qmxsim1 up") != 0) {
          reason = "cannot set up the veth link";
          return;
        }
        SimulatorProcess a({"--discovery", "0.0.0.0:8000", "--ip", "10.77.0.11", "--product", "0x8040"});
        SimulatorProcess b({"--discovery", "0.0.0.0:8000", "--ip", "10.77.0.12", "--product", "0x8041", "--model",
                            "KA-4512"});
        ASSERT_TRUE(a.Start()) << a.error();
        ASSERT_TRUE(b.Start()) << b.error();
        Udp tool("10.77.0.1", 6012);
        ASSERT_TRUE(tool.bound());
        ASSERT_TRUE(tool.SendTo("10.77.0.255", 8000, kRequest));
        const std::vector<Bytes> replies = tool.Collect(500);
        std::set<std::string> ips;
        std::set<int> codes;
        for (const Bytes& r : replies) {
          ASSERT_EQ(r.size(), 264u);
          ips.insert(std::to_string(r[8]) + "." + std::to_string(r[9]) + "." + std::to_string(r[10]) + "." +
                     std::to_string(r[11]));
          codes.insert(r[8 + 23] << 8 | r[8 + 22]);
        }
        EXPECT_EQ(replies.size(), 2u);
        EXPECT_EQ(ips, (std::set<std::string>{"10.77.0.11", "10.77.0.12"}));
        EXPECT_EQ(codes, (std::set<int>{0x8040, 0x8041}));
        // One of them stops answering at run time.
        ASSERT_TRUE(b.Ok("discovery-fault silence"));
        ASSERT_TRUE(tool.SendTo("255.255.255.255", 8000, kRequest));
        const std::vector<Bytes> one = tool.Collect(500);
        ASSERT_EQ(one.size(), 1u);
        EXPECT_EQ(one[0][8 + 3], 11);
      },
      &reason);
  if (!ran || !reason.empty()) GTEST_SKIP() << reason;
}

}  // namespace
}  // namespace qmx::sim
