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

// A frame's bytes with its CRC put on the end.
Bytes WithCrc(Bytes frame) {
  const uint16_t crc = Crc16(frame.data(), frame.size());
  frame.push_back(static_cast<uint8_t>(crc & 0xFF));
  frame.push_back(static_cast<uint8_t>(crc >> 8));
  return frame;
}

// The fuzz target's minimised finding (corpus/frames/rtu_overlong): an
// unknown function whose bytes come in pieces of 16 and a last one of 8, the
// CRC matching only at the end, 264 bytes in all. It was handed out as a
// request of a 261-byte PDU.
Bytes OverlongUnknownFunction() {
  Bytes frame;
  for (int piece = 0; piece < 16; ++piece) {
    frame.push_back(0x0F);
    frame.insert(frame.end(), 15, 0x41);
  }
  frame.push_back(0x07);
  frame.insert(frame.end(), 5, 0x41);
  return WithCrc(frame);
}

// FC 16 with `byteCount` data bytes; its frame is 9 + byteCount long.
Bytes WriteMultiple(uint8_t byteCount) {
  Bytes frame{1, 0x10, 0x00, 0x00, 0x00, static_cast<uint8_t>(byteCount / 2), byteCount};
  frame.insert(frame.end(), byteCount, 0x5A);
  return WithCrc(frame);
}

TEST(RtuReceiverTest, EveryRequestFitsAnRtuFrame) {
  Bytes longest(254, 0x41);
  longest[0] = 7;
  const struct {
    const char* name;
    Bytes frame;
    size_t piece;        // bytes a Feed; 0: the whole frame at once
    size_t expectedPdu;  // 0: dropped as a bad frame
  } cases[] = {
      {"overlong unknown function in pieces", OverlongUnknownFunction(), 16, 0},
      {"overlong unknown function at once", OverlongUnknownFunction(), 0, 0},
      {"unknown function of 256 bytes", WithCrc(longest), 16, 253},
      {"FC 16 of 256 bytes at once", WriteMultiple(247), 0, 253},
      {"FC 16 of 257 bytes at once", WriteMultiple(248), 0, 0},
      {"FC 16 of 257 bytes in pieces", WriteMultiple(248), 5, 0},
      {"FC 16 of 264 bytes at once", WriteMultiple(255), 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    RtuReceiver rx(20);
    const size_t piece = c.piece ? c.piece : c.frame.size();
    for (size_t at = 0; at < c.frame.size(); at += piece)
      rx.Feed(c.frame.data() + at, std::min(piece, c.frame.size() - at), 100);
    const std::vector<Bytes> got = Cut(rx);
    // What is left of a dropped frame goes with the quiet gap after it.
    rx.Tick(120);
    EXPECT_EQ(rx.buffered(), 0u);
    if (c.expectedPdu == 0) {
      EXPECT_TRUE(got.empty());
      EXPECT_GE(rx.badFrames(), 1u);
    } else {
      ASSERT_EQ(got.size(), 1u);
      EXPECT_EQ(got[0].size(), 1 + c.expectedPdu);
      EXPECT_EQ(got[0], Bytes(c.frame.begin(), c.frame.end() - 2));
      EXPECT_EQ(rx.badFrames(), 0u);
    }
  }
}

}  // namespace
}  // namespace qmx::sim
