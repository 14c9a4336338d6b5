// The encapsulation client's frames byte for byte, the checks on every
// length of a reply, and the four-entry contract against the simulator's
// responder (handles, replies collected out of order, bounds, no target).
#include <gtest/gtest.h>

#include "platform/cip/cip.h"
#include "tools/simulator/eip_responder.h"

using namespace qmx::cip;

namespace {

std::vector<uint8_t> Reply(const std::vector<uint8_t>& items, uint16_t itemCount = 2, uint32_t status = 0) {
  std::vector<uint8_t> data{0, 0, 0, 0, 0, 0, static_cast<uint8_t>(itemCount), 0};
  data.insert(data.end(), items.begin(), items.end());
  auto frame = BuildEncapsulation(command::kSendRRData, 0x1001, 7, data);
  frame[8] = static_cast<uint8_t>(status);
  return frame;
}

std::vector<uint8_t> Items(const std::vector<uint8_t>& message, int lengthDelta = 0) {
  std::vector<uint8_t> items{0, 0, 0, 0, 0xB2, 0};
  const auto length = static_cast<uint16_t>(static_cast<int>(message.size()) + lengthDelta);
  items.push_back(static_cast<uint8_t>(length));
  items.push_back(static_cast<uint8_t>(length >> 8));
  items.insert(items.end(), message.begin(), message.end());
  return items;
}

}  // namespace

TEST(CipFrames, RequestsByteForByte) {
  EXPECT_EQ(BuildRegisterSession(),
            (std::vector<uint8_t>{0x65, 0, 4, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                  0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0}));
  const Request check{0x0E, 0x70, 1, 0xA0, {}, 0};
  const auto frame = BuildSendRRData(0x11223344, 0x0102, check);
  const std::vector<uint8_t> expected{
      0x6F, 0, 24, 0, 0x44, 0x33, 0x22, 0x11, 0, 0, 0, 0, 0x02, 0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // header
      0, 0, 0, 0, 0, 0, 2, 0,             // interface handle, time-out, two items
      0, 0, 0, 0,                         // null address item
      0xB2, 0, 8, 0,                      // unconnected data item, 8 bytes
      0x0E, 3, 0x20, 0x70, 0x24, 1, 0x30, 0xA0};
  EXPECT_EQ(frame, expected);
  // Reset names no attribute; a class beyond 8 bits takes the 16-bit segment.
  EXPECT_EQ(BuildMessageRouterRequest({0x05, 0x01, 1, 0, {0}, 0}),
            (std::vector<uint8_t>{0x05, 2, 0x20, 0x01, 0x24, 1, 0}));
  EXPECT_EQ(BuildMessageRouterRequest({0x0E, 0x1234, 1, 2, {}, 0}),
            (std::vector<uint8_t>{0x0E, 4, 0x21, 0, 0x34, 0x12, 0x24, 1, 0x30, 2}));
}

TEST(CipFrames, EveryReplyLengthIsChecked) {
  const std::vector<uint8_t> good{0x8E, 0, 0, 0, 0xE5, 0x02};
  struct Case {
    const char* name;
    std::vector<uint8_t> frame;
    ReplyError error;
  };
  std::vector<uint8_t> cut = Reply(Items(good));
  cut.pop_back();
  std::vector<uint8_t> big(kMaxResponseData + 1, 0);
  big.insert(big.begin(), {0x8E, 0, 0, 0});
  for (const Case& c : std::vector<Case>{
           {"good", Reply(Items(good)), ReplyError::None},
           {"frame shorter than its length", cut, ReplyError::Truncated},
           {"item claims more", Reply(Items(good, 1)), ReplyError::BadItems},
           {"item claims less", Reply(Items(good, -1)), ReplyError::BadItems},
           {"more items than carried", Reply(Items(good), 3), ReplyError::BadItems},
           {"no data item", Reply({0, 0, 0, 0}, 1), ReplyError::BadItems},
           {"encapsulation status", Reply(Items(good), 2, 1), ReplyError::EncapsulationStatus},
           {"other service", Reply(Items({0x90, 0, 0, 0})), ReplyError::OtherService},
           {"extended status beyond the item", Reply(Items({0x8E, 0, 1, 3, 0, 0})), ReplyError::Truncated},
           {"message shorter than its header", Reply(Items({0x8E, 0})), ReplyError::Truncated},
           {"data beyond the response area", Reply(Items(big)), ReplyError::TooLong},
       }) {
    Response r;
    EXPECT_EQ(ParseSendRRDataReply(c.frame.data(), c.frame.size(), 0x0E, &r), c.error) << c.name;
  }
  Response r;
  const auto withStatus = Reply(Items({0x8E, 0, 0x1F, 1, 0x34, 0x12, 9}));
  ASSERT_EQ(ParseSendRRDataReply(withStatus.data(), withStatus.size(), 0x0E, &r), ReplyError::None);
  EXPECT_EQ(r.status, 0x1F);
  EXPECT_EQ(r.extendedStatus, (std::vector<uint8_t>{0x34, 0x12}));
  EXPECT_EQ(r.data, (std::vector<uint8_t>{9}));

  const auto frame = Reply(Items(good));
  EXPECT_EQ(EncapsulationFrameLength(frame.data(), 23), 0);
  EXPECT_EQ(EncapsulationFrameLength(frame.data(), frame.size() - 1), 0);
  EXPECT_EQ(EncapsulationFrameLength(frame.data(), frame.size()), static_cast<long>(frame.size()));
  std::vector<uint8_t> huge(24, 0);
  huge[2] = 0xFF;
  huge[3] = 0xFF;
  EXPECT_EQ(EncapsulationFrameLength(huge.data(), huge.size()), -1);
}

TEST(CipClient, ContractAgainstTheResponder) {
  qmx::sim::EipDevice device;
  qmx::sim::EipServer server(device);
  std::string error;
  ASSERT_TRUE(server.Start("127.0.0.1", 0, &error)) << error;
  Client client({static_cast<uint16_t>(server.port()), 1000, 500});

  client.OpenBatch();
  const uint32_t a = client.Submit("127.0.0.1", {0x0E, 0x01, 1, 4, {}, 0});
  const uint32_t b = client.Submit("127.0.0.1", {0x0E, 0x70, 1, 0xA0, {}, 0});
  EXPECT_NE(a, 0u);
  EXPECT_NE(a, b);
  Response rb, ra;
  // Collected out of order: each reply finds its own request.
  EXPECT_EQ(client.Collect(b, &rb), kOk);
  EXPECT_EQ(rb.data, (std::vector<uint8_t>{0xE5, 0x02}));
  EXPECT_EQ(client.Collect(a, &ra), kOk);
  EXPECT_EQ(ra.data, (std::vector<uint8_t>{1, 101}));
  EXPECT_EQ(client.Collect(a, &ra), kUnknownHandle);
  client.CloseBatch();

  Response r;
  EXPECT_EQ(client.Collect(12345, &r), kUnknownHandle);
  EXPECT_EQ(client.Collect(client.Submit("127.0.0.1", {0x0E, 0x01, 1, 4, std::vector<uint8_t>(2001), 0}), &r),
            kRequestTooLong);
  server.Stop();
  EXPECT_EQ(client.Collect(client.Submit("127.0.0.1", {0x0E, 0x01, 1, 4, {}, 0}), &r), kConnectFailed);
}
