// BOOTREPLY and reset packets byte for byte against golden packets written
// from the byte tables, the text conversions' edge cases, and an independent
// decode of what the server sends by scapy.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <sstream>

#include "bootp/core/bootp_packet.h"
#include "tests/bootp/scapy_reader.h"
#include "tests/support/test_support.h"

using namespace qmx::plenvar;
using qmx::test::RunScapy;

namespace {

std::vector<uint8_t> Golden(const std::string& name) {
  std::istringstream in(qmx::test::ReadFile(qmx::test::SourcePath("tests/bootp/golden/" + name)));
  std::vector<uint8_t> bytes;
  unsigned value = 0;
  while (in >> std::hex >> value) bytes.push_back(static_cast<uint8_t>(value));
  return bytes;
}

std::vector<uint8_t> Bytes(const BootpPacket& p) { return {p.begin(), p.end()}; }

InterfaceParams LoadedInterface() {
  InterfaceParams i;
  i.gateway = "192.168.0.254";
  i.subnetMask = "255.255.0.0";
  i.dns1 = "8.8.8.8";
  i.dns2 = "8.8.4.4";
  i.hostName = "bootsrv";
  i.domainName = "abc";
  i.address = "192.168.0.2";
  return i;
}

}  // namespace

TEST(BootpPacket, RepliesAndResetMatchTheGoldenPackets) {
  const BootpPacket manual =
      BuildBootpReply({"192.168.0.50", "0A-1B-2C-3D-4E-5F", "255.255.255.0", "192.168.0.1", kManualTransactionId},
                      [] {
                        InterfaceParams i = LoadedInterface();
                        i.subnetMask = "255.255.255.0";  // the per-row form must not use these
                        i.gateway = "1.1.1.1";
                        return i;
                      }());
  EXPECT_EQ(Bytes(manual), Golden("reply_manual.hex"));

  // A request's id comes back as its own four bytes; nothing loaded: zeros.
  uint8_t request[300] = {1, 1, 6, 0, 0x01, 0x02, 0x03, 0x04};
  const uint8_t mac[6] = {0x02, 0x4D, 0x9A, 0x00, 0x00, 0x01};
  std::copy(mac, mac + 6, request + 28);
  const auto parsed = ParseBootpRequest(request, sizeof request);
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->TransactionIdText(), "67305985");
  const BootpPacket unloaded =
      BuildBootpReply({"10.0.0.7", parsed->MacText(), "255.0.0.0", "10.0.0.1", parsed->TransactionIdText()}, {});
  EXPECT_EQ(Bytes(unloaded), Golden("reply_unloaded.hex"));

  EXPECT_EQ(Bytes(BuildResetPacket("0A1B2C3D4E5F")), Golden("reset_0A1B2C3D4E5F.hex"));
}

TEST(BootpPacket, InterfaceFormTakesMaskAndGatewayOfTheInterface) {
  const BootpPacket p = BuildBootpReplyInterfaceForm("192.168.0.9", "0A-1B-2C-3D-4E-5F", "1", LoadedInterface());
  EXPECT_EQ(std::vector<uint8_t>(p.begin() + 24, p.begin() + 28), (std::vector<uint8_t>{192, 168, 0, 254}));
  EXPECT_EQ(std::vector<uint8_t>(p.begin() + 240, p.begin() + 252),
            (std::vector<uint8_t>{1, 4, 255, 255, 0, 0, 3, 4, 192, 168, 0, 254}));
}

TEST(BootpPacket, NamesAreBoundedAndTheEndOptionFollowsThem) {
  InterfaceParams i;
  i.domainName = "abcdefghijklmnopqrst";  // 20: 16 are placed
  i.hostName = std::string(70, 'h');
  const BootpPacket p = BuildBootpReply({"1.2.3.4", "0A-1B-2C-3D-4E-5F", "", "", "0"}, i);
  EXPECT_EQ(p[262], 15);
  EXPECT_EQ(p[263], 16);
  EXPECT_EQ(p[264 + 15], 'p');
  EXPECT_EQ(p[280], 255);
  for (size_t k = 281; k < 300; ++k) EXPECT_EQ(p[k], 0) << k;
  for (size_t k = 44; k < 108; ++k) EXPECT_EQ(p[k], 'h') << k;  // no terminating zero
  EXPECT_EQ(p[108], 0);

  i.domainName.clear();
  const BootpPacket q = BuildBootpReply({"1.2.3.4", "0A-1B-2C-3D-4E-5F", "", "", "0"}, i);
  EXPECT_EQ(q[262], 255);
}

TEST(BootpPacket, TextConversions) {
  struct Dotted {
    const char* text;
    std::array<uint8_t, 4> bytes;
  };
  for (const Dotted& c : std::vector<Dotted>{{"", {0, 0, 0, 0}},
                                             {"192.168.0.1", {192, 168, 0, 1}},
                                             {"1.2", {1, 2, 0, 0}},
                                             {" 300.-1.x.5", {44, 255, 0, 5}},
                                             {"1.2.3.4.5", {1, 2, 3, 4}}}) {
    EXPECT_EQ(DottedTextToBytes(c.text), c.bytes) << c.text;
  }
  // Far beyond any integer: only the low 8 bits count (10^20 mod 256 = 0).
  EXPECT_EQ(DottedTextToBytes("100000000000000000000.7")[0], 0);
  EXPECT_EQ(DottedTextToBytes("100000000000000000000.7")[1], 7);

  struct Hex {
    const char* text;
    uint8_t value;
  };
  for (const Hex& c : std::vector<Hex>{{"", 0}, {"0a", 0x0A}, {"FF", 0xFF}, {"G1", 0x01}, {"1FF", 0xFF}, {"z", 0}}) {
    EXPECT_EQ(HexTextToByte(c.text), c.value) << c.text;
  }
  EXPECT_EQ(MacTextToBytes("0a-1b-2c-3d-4e-5f"), (std::array<uint8_t, 6>{0x0A, 0x1B, 0x2C, 0x3D, 0x4E, 0x5F}));
  EXPECT_EQ(MacTextToBytes("A-1B"), (std::array<uint8_t, 6>{0x0A, 0x1B, 0, 0, 0, 0}));
  EXPECT_EQ(TransactionIdFromText("4046586826"), 0xF13203CAu);
}

// Every MAC text a setup row can hold gives the six bytes its replies carry.
TEST(BootpPacket, ResetMacInEveryFormTheTableHolds) {
  struct Case {
    const char* text;
    const char* normalized;  // nullptr: refused
  };
  for (const Case& c : std::vector<Case>{{"0a1b2c3d4e5f", "0A1B2C3D4E5F"},
                                         {" 0A-1B-2C-3D-4E-5F ", "0A1B2C3D4E5F"},
                                         {"0A:1B:2C:3D:4E:5F", "0A1B2C3D4E5F"},
                                         {"", nullptr},
                                         {"0A1B2C3D4E5", nullptr},
                                         {"0A1B2C3D4E5F0", nullptr},
                                         {"0A1B2C3D4E5G", nullptr},
                                         {"A-1B-2C-3D-4E-5F", "0A1B2C3D4E5F"},
                                         {"a:b:c:d:e:f", "0A0B0C0D0E0F"},
                                         {"0A-1B-2C-3D-4E", nullptr},
                                         {"0A-1B-2C-3D-4E-5F-60", nullptr},
                                         {"0A--1B-2C-3D-4E-5F", nullptr},
                                         {"0A-1B-2C-3D-4E-", nullptr},
                                         {"0A-1B-2C-3D-4E-5FF", nullptr},
                                         {"0A-1B-2C-3D-4E-G5", nullptr},
                                         {"0A1B-2C3D-4E5F", nullptr}}) {
    const auto n = NormalizeResetMac(c.text);
    if (c.normalized == nullptr) {
      EXPECT_FALSE(n) << c.text;
    } else {
      ASSERT_TRUE(n) << c.text;
      EXPECT_EQ(*n, c.normalized);
    }
  }
  for (const char* typed : {"A-1B-2C-3D-4E-5F", "0A-1B-2C-3D-4E-5F", "0a-1b-2c-3d-4e-5f"}) {
    EXPECT_EQ(Mac12(typed), "0A1B2C3D4E5F") << typed;
    const BootpPacket reply = BuildBootpReply({"10.0.0.1", typed, "", "", ""}, {});
    const BootpPacket reset = BuildResetPacket(Mac12(typed));
    EXPECT_TRUE(std::equal(reply.begin() + 28, reply.begin() + 34, reset.begin() + 28)) << typed;
  }
  EXPECT_TRUE(IsMacText("02-4D-9A-00-00-01"));
  EXPECT_FALSE(IsMacText("02-4D-9A-00-00-0"));
}

TEST(BootpPacket, RequestsShorterThanTheirFieldsAreNoRequests) {
  std::vector<uint8_t> d(34, 0);
  d[0] = 1;
  d[1] = 1;
  d[12] = 10;
  d[15] = 9;
  EXPECT_FALSE(ParseBootpRequest(d.data(), 33));
  EXPECT_FALSE(ParseBootpRequest(nullptr, 300));
  const auto r = ParseBootpRequest(d.data(), 34);
  ASSERT_TRUE(r);
  EXPECT_TRUE(r->IsEthernetRequest());
  EXPECT_EQ(r->ClientAddressText(), "10.0.0.9");
  EXPECT_EQ(r->MacText(), "00-00-00-00-00-00");
}

TEST(BootpPacket, ScapyDecodesWhatTheServerSends) {
  qmx::test::TempDir dir("bootp-scapy");
  const auto reply = BuildBootpReply(
      {"192.168.0.50", "0A-1B-2C-3D-4E-5F", "255.255.255.0", "192.168.0.1", kManualTransactionId}, LoadedInterface());
  const auto reset = BuildResetPacket("0A1B2C3D4E5F");
  qmx::test::WriteFile(dir / "reply", std::string(reply.begin(), reply.end()));
  qmx::test::WriteFile(dir / "reset", std::string(reset.begin(), reset.end()));
  const std::string out = RunScapy({(dir / "reply").string(), (dir / "reset").string()});
  std::istringstream lines(out);
  std::string replyJson, resetJson;
  std::getline(lines, replyJson);
  std::getline(lines, resetJson);
  ASSERT_FALSE(replyJson.empty()) << "scapy gave no output";
  // The id text goes on the wire least significant byte first (CA 03 32 F1);
  // scapy reads the field in network order.
  for (const char* field :
       {"\"op\": 2", "\"xid\": 3389207281", "\"yiaddr\": \"192.168.0.50\"", "\"siaddr\": \"192.168.0.2\"",
        "\"giaddr\": \"192.168.0.1\"", "\"chaddr\": \"0a1b2c3d4e5f\"", "\"sname\": \"bootsrv\"",
        "\"subnet_mask\": \"255.255.255.0\"", "\"router\": \"192.168.0.1\"",
        "\"name_server\": [\"8.8.8.8\", \"8.8.4.4\"]", "\"domain\": \"abc\"",
        "\"_order\": [\"subnet_mask\", \"router\", \"name_server\", \"domain\", \"end\""}) {
    EXPECT_NE(replyJson.find(field), std::string::npos) << field << " in " << replyJson;
  }
  for (const char* field : {"\"op\": 2", "\"xid\": 0", "\"chaddr\": \"0a1b2c3d4e5f\"", "\"message-type\": 9",
                            "\"length\": 300"}) {
    EXPECT_NE(resetJson.find(field), std::string::npos) << field << " in " << resetJson;
  }
}
