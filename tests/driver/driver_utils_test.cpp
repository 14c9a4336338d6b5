#include "driver/driver_utils.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <vector>

#include "platform/icmp/icmp_echo.h"
#include "tests/driver/netns_helper.h"

namespace tessivar {
namespace {

std::vector<uint8_t> Bytes(std::initializer_list<int> values) {
  std::vector<uint8_t> out;
  for (int v : values) out.push_back(static_cast<uint8_t>(v));
  return out;
}

TEST(Crc16, ModbusCheckValueAndFrameExample) {
  const char* check = "123456789";
  EXPECT_EQ(Crc16(reinterpret_cast<const uint8_t*>(check), 9), 0x4B37);

  const auto frame = Bytes({0x01, 0x04, 0x10, 0x02, 0x00, 0x01});
  const uint16_t crc = Crc16(frame.data(), static_cast<unsigned>(frame.size()));
  EXPECT_EQ(crc, 0xCA94);
  // Appended low byte first: 01 04 10 02 00 01 94 CA.
  EXPECT_EQ(crc & 0xFF, 0x94);
  EXPECT_EQ(crc >> 8, 0xCA);
}

TEST(Crc16, FurtherVectors) {
  struct Case {
    std::vector<uint8_t> data;
    uint16_t crc;
  };
  const Case cases[] = {
      {{}, 0xFFFF},
      {Bytes({0x01, 0x03, 0x00, 0x00, 0x00, 0x02}), 0x0BC4},  // read 2 holding registers from unit 1
      {Bytes({0x11, 0x03, 0x00, 0x6B, 0x00, 0x03}), 0x8776},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Crc16(c.data.data(), static_cast<unsigned>(c.data.size())), c.crc);
  }
  // A whole frame with its checksum appended (low byte first) checks to 0.
  auto frame = Bytes({0x01, 0x03, 0x00, 0x00, 0x00, 0x02, 0xC4, 0x0B});
  EXPECT_EQ(Crc16(frame.data(), 8), 0x0000);
}

TEST(Crc16, OnlyTheLow16BitsOfTheLengthCount) {
  const auto frame = Bytes({0x01, 0x04, 0x10, 0x02, 0x00, 0x01});
  EXPECT_EQ(Crc16(frame.data(), 0x10000u + 6), 0xCA94);
  EXPECT_EQ(Crc16(frame.data(), 0x10000u), 0xFFFF);
}

TEST(SwapWordBytes, SwapsEveryWordAndCopiesAnOddTail) {
  const auto src = Bytes({0x0A, 0x0B, 0x0C});
  uint8_t dst[4] = {0xEE, 0xEE, 0xEE, 0xEE};
  SwapWordBytes(dst, src.data(), 3);
  EXPECT_EQ(dst[0], 0x0B);
  EXPECT_EQ(dst[1], 0x0A);
  EXPECT_EQ(dst[2], 0x0C);
  EXPECT_EQ(dst[3], 0xEE) << "nothing beyond the length is written";

  const auto four = Bytes({1, 2, 3, 4});
  uint8_t out[4] = {};
  SwapWordBytes(out, four.data(), 0x10000u + 4);
  EXPECT_EQ(std::vector<uint8_t>(out, out + 4), Bytes({2, 1, 4, 3}));
}

TEST(ParityCodeFromName, NamesInAnyCase) {
  const std::pair<const char*, int> cases[] = {
      {"NOPARITY", 0},  {"oddparity", 1}, {"evenparity", 2}, {"MarkParity", 3},
      {"SPACEPARITY", 4}, {"none", 0},    {"", 0},           {"EVEN", 0},
  };
  for (const auto& [name, code] : cases) EXPECT_EQ(ParityCodeFromName(name), code) << name;
  EXPECT_STREQ(ParityNameFromCode(2), "EVENPARITY");
  EXPECT_STREQ(ParityNameFromCode(9), "NOPARITY");
  EXPECT_STREQ(ParityNameFromCode(-1), "NOPARITY");
}

TEST(BytesToHexText, Groups) {
  const auto data = Bytes({0x01, 0x02, 0x03});
  EXPECT_EQ(BytesToHexText(data.data(), 3, 2), "0102 03");
  EXPECT_EQ(BytesToHexText(data.data(), 3, 1), "01 02 03 ");
  EXPECT_EQ(BytesToHexText(data.data(), 3, 0), "010203");
  EXPECT_EQ(BytesToHexText(data.data(), 3, -4), "010203");
  EXPECT_EQ(BytesToHexText(nullptr, 3, 1), "");
  EXPECT_EQ(BytesToHexText(data.data(), 0, 1), "");
  const auto high = Bytes({0xAB, 0xF0});
  EXPECT_EQ(BytesToHexText(high.data(), 2, 0), "ABF0");
  // Every multiple of the group size gets its blank, the 34th byte included.
  std::vector<uint8_t> many(36, 0x11);
  const std::string text = BytesToHexText(many.data(), 36, 2);
  EXPECT_EQ(text.size(), 36u * 2 + 18);
}

TEST(IsIntegerText, Cases) {
  struct Case {
    const char* text;
    int allowPoint;
    int expected;
  };
  const Case cases[] = {
      {"-12", 0, 1}, {"1-2", 0, 0}, {"1.2.3", 1, 0}, {"1.2", 1, 1}, {"1.2", 0, 0},
      {"", 0, 1},    {"-", 0, 1},   {"12a", 0, 0},   {" 1", 0, 0},  {"007", 0, 1},
  };
  for (const auto& c : cases) EXPECT_EQ(IsIntegerText(c.text, c.allowPoint), c.expected) << c.text;
}

TEST(NormalizeHexText, Cases) {
  struct Case {
    const char* text;
    int length;
    int prefix;
    const char* expected;
  };
  const Case cases[] = {
      {"0x1a 2b", 4, 1, "0x1A2B"}, {"0x1a 2b", 4, 0, "1A2B"}, {"1a  2b", 0, 1, "INVALID"},
      {"1a2b", 3, 1, "INVALID"},   {"1g", 0, 1, "INVALID"},   {"ff", 0, 1, "0xFF"},
      {"0XAbC", -1, 0, "ABC"},     {"", 0, 1, "0x"},
  };
  for (const auto& c : cases) EXPECT_EQ(NormalizeHexText(c.text, c.length, c.prefix), c.expected) << c.text;
}

TEST(PingHost, LoopbackAnswersAtTheFirstTry) {
  EXPECT_EQ(PingHost("127.0.0.1", 500, 2), 1);
  EXPECT_EQ(PingHost("localhost", 500, 1), 1);
}

TEST(PingHost, ArgumentFailures) {
  EXPECT_EQ(PingHost(nullptr, 500, 2), -4);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(PingHost("no-such-host.invalid", 3000, 2), -3);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3)) << "nothing may be sent";
  EXPECT_EQ(PingHost("127.0.0.1", 500, 0), 1);
}

TEST(EchoSocket, BothKindsAnswerOnLoopbackInANamespace) {
  std::string reason;
  const bool ran = qmx::test::RunInNetNamespace(
      [] {
        // Datagram ICMP sockets are allowed per namespace by this sysctl.
        ASSERT_TRUE(qmx::test::Shell("echo '0 2147483647' > /proc/sys/net/ipv4/ping_group_range"));
        const uint32_t loopback = htonl(INADDR_LOOPBACK);
        for (auto kind : {qmx::icmp::EchoSocket::Kind::kDatagram, qmx::icmp::EchoSocket::Kind::kRaw}) {
          int error = 0;
          auto socket = qmx::icmp::EchoSocket::OpenKind(kind, &error);
          ASSERT_TRUE(socket) << "errno " << error;
          EXPECT_EQ(socket->Echo(loopback, 500), qmx::icmp::kEchoSuccess);
          EXPECT_EQ(socket->Echo(loopback, 500), qmx::icmp::kEchoSuccess) << "second request, new sequence";
        }
      },
      &reason);
  if (!ran) GTEST_SKIP() << reason;
}

TEST(PingHost, SilentHostTimesOutWithinTheBound) {
  std::string reason;
  const bool ran = qmx::test::RunInNetNamespace(
      [] {
        // A neighbour that exists on paper only: requests leave, nothing answers.
        ASSERT_TRUE(qmx::test::Shell(
            "ip link add qmxp0 type veth peer name qmxp1 && ip addr add 10.77.0.1/24 dev qmxp0 && "
            "ip link set qmxp0 up && ip link set qmxp1 up && "
            "ip neigh add 10.77.0.2 lladdr 02:00:00:00:77:02 dev qmxp0"));
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(PingHost("10.77.0.2", 200, 2), -qmx::icmp::kEchoTimedOut);
        const auto took = std::chrono::steady_clock::now() - start;
        EXPECT_GE(took, std::chrono::milliseconds(380));
        EXPECT_LT(took, std::chrono::milliseconds(2000));
        // The time-out is limited to 3000 ms whatever the caller asks.
        const auto start2 = std::chrono::steady_clock::now();
        EXPECT_EQ(PingHost("10.77.0.2", 60000, 1), -qmx::icmp::kEchoTimedOut);
        EXPECT_LT(std::chrono::steady_clock::now() - start2, std::chrono::milliseconds(4000));
        // An address without a route: unreachable, not a time-out.
        const int r = PingHost("10.78.0.9", 200, 1);
        EXPECT_LT(r, -11000);
        EXPECT_NE(r, -qmx::icmp::kEchoTimedOut);
      },
      &reason);
  if (!ran) GTEST_SKIP() << reason;
}

}  // namespace
}  // namespace tessivar
