#include <gtest/gtest.h>

#include <vector>

#include "platform/icmp/icmp_echo.h"

namespace qmx::icmp {
namespace {

constexpr uint16_t kId = 0x1234;
constexpr uint16_t kSeq = 7;

std::vector<uint8_t> IpHeader(int protocol = 1) {
  std::vector<uint8_t> h(20, 0);
  h[0] = 0x45;
  h[8] = 64;
  h[9] = static_cast<uint8_t>(protocol);
  return h;
}

std::vector<uint8_t> Icmp(int type, int code, uint16_t id, uint16_t seq) {
  return {static_cast<uint8_t>(type), static_cast<uint8_t>(code), 0, 0,
          static_cast<uint8_t>(id >> 8), static_cast<uint8_t>(id), static_cast<uint8_t>(seq >> 8),
          static_cast<uint8_t>(seq)};
}

std::vector<uint8_t> Join(std::initializer_list<std::vector<uint8_t>> parts) {
  std::vector<uint8_t> out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

// An ICMP error that quotes the given request.
std::vector<uint8_t> ErrorFor(int type, int code, uint16_t id, uint16_t seq) {
  return Join({IpHeader(), Icmp(type, code, 0, 0), IpHeader(), Icmp(8, 0, id, seq)});
}

int Classify(const std::vector<uint8_t>& p) { return ClassifyRawPacket(p.data(), p.size(), kId, kSeq); }

TEST(ClassifyRawPacket, RepliesAndErrorsAboutOurRequest) {
  struct Case {
    const char* what;
    std::vector<uint8_t> packet;
    int expected;
  };
  const Case cases[] = {
      {"our reply", Join({IpHeader(), Icmp(0, 0, kId, kSeq)}), kEchoSuccess},
      {"reply to another id", Join({IpHeader(), Icmp(0, 0, kId + 1, kSeq)}), -1},
      {"reply to an old request", Join({IpHeader(), Icmp(0, 0, kId, kSeq - 1)}), -1},
      {"our own request looped back", Join({IpHeader(), Icmp(8, 0, kId, kSeq)}), -1},
      {"host unreachable", ErrorFor(3, 1, kId, kSeq), kEchoDestHostUnreachable},
      {"net unreachable", ErrorFor(3, 0, kId, kSeq), kEchoDestNetUnreachable},
      {"port unreachable", ErrorFor(3, 3, kId, kSeq), kEchoDestPortUnreachable},
      {"fragmentation needed", ErrorFor(3, 4, kId, kSeq), kEchoPacketTooBig},
      {"ttl expired", ErrorFor(11, 0, kId, kSeq), kEchoTtlExpiredTransit},
      {"reassembly time exceeded", ErrorFor(11, 1, kId, kSeq), kEchoTtlExpiredReassembly},
      {"parameter problem", ErrorFor(12, 0, kId, kSeq), kEchoParameterProblem},
      {"someone else's error", ErrorFor(3, 1, kId, kSeq + 1), -1},
      {"redirect", ErrorFor(5, 1, kId, kSeq), -1},
      {"not ICMP", Join({IpHeader(17), Icmp(0, 0, kId, kSeq)}), -1},
      {"truncated reply", Join({IpHeader(), std::vector<uint8_t>{0, 0, 0, 0}}), -1},
      {"truncated error", [] {
         auto p = ErrorFor(3, 1, kId, kSeq);
         p.resize(p.size() - 4);
         return p;
       }(),
       -1},
      {"header length below 20", [] {
         auto p = Join({IpHeader(), Icmp(0, 0, kId, kSeq)});
         p[0] = 0x44;
         return p;
       }(),
       -1},
      {"IPv6 version nibble", [] {
         auto p = Join({IpHeader(), Icmp(0, 0, kId, kSeq)});
         p[0] = 0x65;
         return p;
       }(),
       -1},
      {"empty", {}, -1},
  };
  for (const auto& c : cases) EXPECT_EQ(Classify(c.packet), c.expected) << c.what;
  EXPECT_EQ(ClassifyRawPacket(nullptr, 40, kId, kSeq), -1);
}

TEST(ClassifyRawPacket, HonoursIpOptions) {
  auto header = IpHeader();
  header[0] = 0x46;  // 24-byte header with one option word
  header.insert(header.end(), {1, 1, 1, 0});
  EXPECT_EQ(Classify(Join({header, Icmp(0, 0, kId, kSeq)})), kEchoSuccess);
}

}  // namespace
}  // namespace qmx::icmp
