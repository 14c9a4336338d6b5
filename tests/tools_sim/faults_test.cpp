// Fault rules: their text, how they are counted down and matched, and what
// each does to a reply on either transport.
#include "tools/simulator/faults.h"

#include <gtest/gtest.h>

#include "tools/simulator/frames.h"

namespace qmx::sim {
namespace {

TEST(FaultParseTest, AcceptsTheRuleLanguage) {
  struct Row {
    const char* text;
    const char* canonical;
  };
  const Row rows[] = {
      {"silence", "silence"},
      {"delay=300", "delay=300"},
      {"drop,once", "drop,count=1"},
      {"exception", "exception=4"},
      {"exception=2,fc=3,once", "exception=2,count=1,fc=3"},
      {"wrong-unit,node=2", "wrong-unit,node=2"},
      {"wrong-function,count=3", "wrong-function,count=3"},
      {"short", "short=1"},
      {"short=4,fc=4", "short=4,fc=4"},
      {"bad-crc", "bad-crc"},
      {"wrong-tid,always", "wrong-tid"},
      {"segment", "segment=50"},
      {"segment=20/3", "segment=20/3"},
  };
  for (const Row& r : rows) {
    FaultRule rule;
    std::string error;
    ASSERT_TRUE(ParseFault(r.text, &rule, &error)) << r.text << ": " << error;
    EXPECT_EQ(FaultText(rule), r.canonical);
    FaultRule again;
    ASSERT_TRUE(ParseFault(FaultText(rule), &again, &error));
    EXPECT_EQ(FaultText(again), r.canonical);
  }
}

TEST(FaultParseTest, RefusesBadRules) {
  for (const char* text : {"", "lightning", "delay", "delay=x", "delay=-5", "exception=0", "exception=300",
                           "silence=3", "short=0", "segment=10/0", "silence,twice", "silence,fc=200",
                           "silence,count=0", "drop,node=abc"}) {
    FaultRule rule;
    std::string error;
    EXPECT_FALSE(ParseFault(text, &rule, &error)) << text;
    EXPECT_FALSE(error.empty()) << text;
  }
}

TEST(FaultPlanTest, FirstMatchingRuleAppliesAndCountsDown) {
  FaultPlan plan;
  FaultRule r;
  ASSERT_TRUE(ParseFault("exception=2,fc=3,count=2", &r, nullptr));
  plan.Add(r);
  ASSERT_TRUE(ParseFault("delay=5,node=7", &r, nullptr));
  plan.Add(r);
  EXPECT_FALSE(plan.Take(1, 4).has_value());
  auto a = plan.Take(1, 3);
  ASSERT_TRUE(a);
  EXPECT_EQ(a->kind, FaultKind::Exception);
  auto b = plan.Take(7, 3);
  ASSERT_TRUE(b);
  EXPECT_EQ(b->kind, FaultKind::Exception);
  EXPECT_EQ(plan.rules().size(), 1u);  // used up
  auto c = plan.Take(7, 3);
  ASSERT_TRUE(c);
  EXPECT_EQ(c->kind, FaultKind::Delay);
  EXPECT_TRUE(plan.Take(7, 16).has_value());  // "always"
  EXPECT_FALSE(plan.Take(6, 16).has_value());
  plan.Clear();
  EXPECT_FALSE(plan.Take(7, 3).has_value());
}

ReplyPlan Plan(Transport t, const char* fault, uint16_t tid, uint8_t unit, Bytes pdu) {
  FaultRule r;
  if (!fault) return PlanReply(t, nullptr, tid, unit, pdu);
  EXPECT_TRUE(ParseFault(fault, &r, nullptr)) << fault;
  return PlanReply(t, &r, tid, unit, pdu);
}

Bytes Joined(const ReplyPlan& p) {
  Bytes all;
  for (const ReplyChunk& c : p.chunks) all.insert(all.end(), c.bytes.begin(), c.bytes.end());
  return all;
}

TEST(FaultReplyTest, TcpReplies) {
  const Bytes pdu{0x04, 0x02, 0x12, 0x34};
  EXPECT_EQ(Joined(Plan(Transport::Tcp, nullptr, 9, 1, pdu)), TcpFrame(9, 1, pdu));
  EXPECT_TRUE(Plan(Transport::Tcp, "silence", 9, 1, pdu).chunks.empty());
  EXPECT_FALSE(Plan(Transport::Tcp, "silence", 9, 1, pdu).close);
  const ReplyPlan drop = Plan(Transport::Tcp, "drop", 9, 1, pdu);
  EXPECT_TRUE(drop.chunks.empty());
  EXPECT_TRUE(drop.close);
  EXPECT_EQ(Joined(Plan(Transport::Tcp, "exception=2", 9, 1, {0x04})), TcpFrame(9, 1, {0x84, 0x02}));
  EXPECT_EQ(Joined(Plan(Transport::Tcp, "wrong-unit", 9, 1, pdu)), TcpFrame(9, 2, pdu));
  EXPECT_EQ(Joined(Plan(Transport::Tcp, "wrong-unit", 9, 0xFF, pdu)), TcpFrame(9, 0xFE, pdu));
  EXPECT_EQ(Joined(Plan(Transport::Tcp, "wrong-function", 9, 1, pdu)), TcpFrame(9, 1, {0x05, 0x02, 0x12, 0x34}));
  EXPECT_EQ(Joined(Plan(Transport::Tcp, "short", 9, 1, pdu)), TcpFrame(9, 1, {0x04, 0x02, 0x12}));
  EXPECT_EQ(Joined(Plan(Transport::Tcp, "short=10", 9, 1, pdu)), TcpFrame(9, 1, {0x04}));
  EXPECT_EQ(Joined(Plan(Transport::Tcp, "wrong-tid", 9, 1, pdu)), TcpFrame(10, 1, pdu));
  EXPECT_EQ(Joined(Plan(Transport::Tcp, "bad-crc", 9, 1, pdu)), TcpFrame(9, 1, pdu));
  const ReplyPlan late = Plan(Transport::Tcp, "delay=250", 9, 1, pdu);
  ASSERT_EQ(late.chunks.size(), 1u);
  EXPECT_EQ(late.chunks[0].delayMs, 250u);
  const ReplyPlan two = Plan(Transport::Tcp, "segment=30", 9, 1, pdu);
  ASSERT_EQ(two.chunks.size(), 2u);
  EXPECT_EQ(two.chunks[0].bytes.size(), 7u);  // the MBAP header and unit first
  EXPECT_EQ(two.chunks[0].delayMs, 0u);
  EXPECT_EQ(two.chunks[1].delayMs, 30u);
  EXPECT_EQ(Joined(two), TcpFrame(9, 1, pdu));
  const ReplyPlan bytes = Plan(Transport::Tcp, "segment=5/4", 9, 1, pdu);
  EXPECT_EQ(bytes.chunks.size(), 3u);  // 11 bytes in pieces of 4
  EXPECT_EQ(Joined(bytes), TcpFrame(9, 1, pdu));
}

TEST(FaultReplyTest, RtuReplies) {
  const Bytes pdu{0x03, 0x02, 0x00, 0x07};
  EXPECT_EQ(Joined(Plan(Transport::Rtu, nullptr, 0, 5, pdu)), RtuFrame(5, pdu));
  const ReplyPlan drop = Plan(Transport::Rtu, "drop", 0, 5, pdu);
  EXPECT_TRUE(drop.chunks.empty());
  EXPECT_FALSE(drop.close);
  const Bytes bad = Joined(Plan(Transport::Rtu, "bad-crc", 0, 5, pdu));
  const Bytes good = RtuFrame(5, pdu);
  ASSERT_EQ(bad.size(), good.size());
  EXPECT_EQ(Bytes(bad.begin(), bad.end() - 2), Bytes(good.begin(), good.end() - 2));
  EXPECT_NE(bad, good);
  EXPECT_EQ(Joined(Plan(Transport::Rtu, "short=2", 0, 5, pdu)), RtuFrame(5, {0x03, 0x02}));
  EXPECT_EQ(Joined(Plan(Transport::Rtu, "wrong-tid", 0, 5, pdu)), good);
  EXPECT_EQ(Joined(Plan(Transport::Rtu, "wrong-unit", 0, 247, pdu)), RtuFrame(246, pdu));
  EXPECT_EQ(Plan(Transport::Rtu, "segment", 0, 5, pdu).chunks[0].bytes.size(), 3u);
  EXPECT_EQ(Joined(Plan(Transport::Rtu, "exception=11", 0, 5, {0x03})), RtuFrame(5, {0x83, 0x0B}));
}

}  // namespace
}  // namespace qmx::sim
