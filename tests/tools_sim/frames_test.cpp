// The transports' framing: CRC-16, MBAP and RTU frames, and the receivers
// that cut requests out of a byte stream.
#include "tools/simulator/frames.h"

#include <gtest/gtest.h>

namespace qmx::sim {
namespace {

TEST(FramesTest, Crc16AndRtuFrame) {
  const Bytes q{0x01, 0x03, 0x00, 0x00, 0x00, 0x0A};
  EXPECT_EQ(Crc16(q.data(), q.size()), 0xCDC5);
  EXPECT_EQ(RtuFrame(0x01, {0x03, 0x00, 0x00, 0x00, 0x0A}), (Bytes{0x01, 0x03, 0x00, 0x00, 0x00, 0x0A, 0xC5, 0xCD}));
  const Bytes scan = RtuFrame(0x05, {0x04, 0x10, 0x02, 0x00, 0x01});
  EXPECT_EQ(Crc16(scan.data(), scan.size()), 0);  // a frame with its CRC checks to 0
}

TEST(FramesTest, TcpFrame) {
  EXPECT_EQ(TcpFrame(0x1234, 0x11, {0x04, 0x02, 0x80, 0x40}),
            (Bytes{0x12, 0x34, 0x00, 0x00, 0x00, 0x05, 0x11, 0x04, 0x02, 0x80, 0x40}));
}

TEST(FramesTest, TcpRequestsAreCutByTheirLength) {
  Bytes stream = TcpFrame(7, 1, {0x03, 0x00, 0x00, 0x00, 0x02});
  const Bytes second = TcpFrame(8, 2, {0x08, 0x00, 0x00, 0xAB, 0xCD});
  stream.insert(stream.end(), second.begin(), second.end());
  Bytes buffer(stream.begin(), stream.begin() + 5);
  TcpRequest r;
  EXPECT_EQ(CutTcpRequest(buffer, &r), TcpCut::NeedMore);
  buffer.insert(buffer.end(), stream.begin() + 5, stream.begin() + 13);
  ASSERT_EQ(CutTcpRequest(buffer, &r), TcpCut::Request);
  EXPECT_EQ(r.transactionId, 7);
  EXPECT_EQ(r.unit, 1);
  EXPECT_EQ(r.pdu, (Bytes{0x03, 0x00, 0x00, 0x00, 0x02}));
  EXPECT_EQ(CutTcpRequest(buffer, &r), TcpCut::NeedMore);
  buffer.insert(buffer.end(), stream.begin() + 13, stream.end());
  ASSERT_EQ(CutTcpRequest(buffer, &r), TcpCut::Request);
  EXPECT_EQ(r.transactionId, 8);
  EXPECT_EQ(r.pdu, (Bytes{0x08, 0x00, 0x00, 0xAB, 0xCD}));
  EXPECT_TRUE(buffer.empty());

  Bytes tooLong{0, 1, 0, 0, 0x01, 0x00, 1};
  EXPECT_EQ(CutTcpRequest(tooLong, &r), TcpCut::Malformed);
  Bytes tooShort{0, 1, 0, 0, 0x00, 0x01, 1};
  EXPECT_EQ(CutTcpRequest(tooShort, &r), TcpCut::Malformed);
  Bytes otherProtocol{0, 1, 0, 5, 0x00, 0x02, 1, 3};
  ASSERT_EQ(CutTcpRequest(otherProtocol, &r), TcpCut::Request);
  EXPECT_EQ(r.protocolId, 5);
}

std::vector<Bytes> Cut(RtuReceiver& rx) {
  std::vector<Bytes> out;
  uint8_t unit = 0;
  Bytes pdu;
  while (rx.Next(&unit, &pdu)) {
    Bytes f{unit};
    f.insert(f.end(), pdu.begin(), pdu.end());
    out.push_back(f);
  }
  return out;
}

TEST(RtuReceiverTest, CutsRequestsOfEveryFunction) {
  RtuReceiver rx(20);
  const Bytes read = RtuFrame(1, {0x04, 0x10, 0x02, 0x00, 0x01});
  const Bytes write = RtuFrame(2, {0x10, 0x20, 0x51, 0x00, 0x02, 0x04, 1, 2, 3, 4});
  const Bytes diag = RtuFrame(3, {0x08, 0x00, 0x00, 0xAB, 0xCD});
  const Bytes longDiag = RtuFrame(3, {0x08, 0x00, 0x00, 1, 2, 3, 4, 5, 6});
  const Bytes unknown = RtuFrame(4, {0x11});
  Bytes all;
  for (const Bytes* f : {&read, &write, &diag, &longDiag}) all.insert(all.end(), f->begin(), f->end());
  // Fed in small pieces, as a serial line delivers them.
  for (size_t i = 0; i < all.size(); i += 3) rx.Feed(all.data() + i, std::min<size_t>(3, all.size() - i), 100);
  rx.Feed(unknown.data(), unknown.size(), 101);
  const std::vector<Bytes> got = Cut(rx);
  ASSERT_EQ(got.size(), 5u);
  EXPECT_EQ(got[0], Bytes(read.begin(), read.end() - 2));
  EXPECT_EQ(got[1], Bytes(write.begin(), write.end() - 2));
  EXPECT_EQ(got[2], Bytes(diag.begin(), diag.end() - 2));
  EXPECT_EQ(got[3], Bytes(longDiag.begin(), longDiag.end() - 2));
  EXPECT_EQ(got[4], Bytes(unknown.begin(), unknown.end() - 2));
  EXPECT_EQ(rx.badFrames(), 0u);
  EXPECT_EQ(rx.buffered(), 0u);
}

TEST(RtuReceiverTest, DamagedAndPartialFramesAreDropped) {
  RtuReceiver rx(20);
  Bytes bad = RtuFrame(1, {0x03, 0x00, 0x00, 0x00, 0x01});
  bad.back() ^= 0xFF;
  rx.Feed(bad.data(), bad.size(), 0);
  EXPECT_TRUE(Cut(rx).empty());
  EXPECT_EQ(rx.badFrames(), 1u);
  // A partial frame is discarded after a quiet gap; the next frame is fine.
  const Bytes good = RtuFrame(1, {0x03, 0x00, 0x00, 0x00, 0x01});
  rx.Feed(good.data(), 4, 100);
  EXPECT_EQ(rx.MsUntilGap(110), 10);
  rx.Tick(110);
  EXPECT_EQ(rx.buffered(), 4u);
  rx.Tick(120);
  EXPECT_EQ(rx.buffered(), 0u);
  EXPECT_EQ(rx.badFrames(), 2u);
  EXPECT_EQ(rx.MsUntilGap(120), -1);
  rx.Feed(good.data(), 4, 200);
  rx.Feed(good.data() + 4, 4, 205);
  EXPECT_EQ(Cut(rx).size(), 1u);
  // Bytes after a gap start a new frame even without a Tick.
  rx.Feed(good.data(), 3, 300);
  rx.Feed(good.data(), good.size(), 400);
  EXPECT_EQ(Cut(rx).size(), 1u);
  EXPECT_EQ(rx.badFrames(), 3u);
  // Garbage that never checks is dropped once it exceeds a frame.
  Bytes noise(300, 0x55);
  noise[1] = 0x41;
  rx.Feed(noise.data(), noise.size(), 500);
  EXPECT_EQ(rx.buffered(), 0u);
}

}  // namespace
}  // namespace qmx::sim
