// The Modbus TCP master against a raw peer that answers with crafted replies
// (every fault gives its code, and the master recovers); its comparison with a
// libmodbus server is in libmodbus_test.cpp.
#include "driver/modbus/modbus_tcp.h"

#include <gtest/gtest.h>

#include <cctype>
#include <chrono>
#include <functional>
#include <thread>
#include <memory>

#include "tests/driver_modbus/peers.h"

namespace tessivar {
namespace {

using qmx::test::Bytes;
using qmx::test::LoopbackSetting;
using qmx::test::ManualTicks;
using qmx::test::MbapFrame;
using qmx::test::PeerAction;
using qmx::test::RawTcpPeer;
using qmx::test::RecordingOwner;
using qmx::test::TransactionIdOf;
using qmx::test::Word;


// A correct answer to any request the tests send: data bytes i + 1 for
// reads, the echo for functions 5, 6 and 8, address and quantity for 15 and
// 16.
Bytes NormalPdu(const Bytes& request) {
  const uint8_t function = request[7];
  const uint16_t quantity = static_cast<uint16_t>(request[10] << 8 | request[11]);
  if (function >= 1 && function <= 4) {
    const int count = function <= 2 ? (quantity + 7) / 8 : 2 * quantity;
    Bytes pdu = {function, static_cast<uint8_t>(count)};
    for (int i = 0; i < count; ++i) pdu.push_back(static_cast<uint8_t>(i + 1));
    return pdu;
  }
  if (function == 15 || function == 16) return Bytes(request.begin() + 7, request.begin() + 12);
  return Bytes(request.begin() + 7, request.end());
}

std::vector<PeerAction> Normal(const Bytes& request) {
  return {{0, MbapFrame(TransactionIdOf(request), request[6], NormalPdu(request))}};
}

// ---- crafted replies ----

class TcpRaw : public ::testing::Test {
protected:
  void SetUp() override {
    peer_ = std::make_unique<RawTcpPeer>(Normal);
    ASSERT_TRUE(peer_->Start());
    master_.SetOwner(&owner_);
    master_.SetTickSource(ticks_.Source());
    master_.SetPingFunction([this](const char* host, int timeoutMs, int count) {
      pinged_ = std::string(host) + " " + std::to_string(timeoutMs) + " " + std::to_string(count);
      return pingResult_;
    });
    ASSERT_EQ(master_.OpenConnection(LoopbackSetting(peer_->port(), 300), 0, 0), 1);
  }

  // Brings a closed connection back as the monitoring cycle does: the gate
  // arms at its first test and opens at the first test after a full period.
  void Reconnect() {
    ASSERT_EQ(master_.Reconnect(), 2);
    ticks_.Advance(10'000);
    ASSERT_EQ(master_.Reconnect(), 2);
    ASSERT_EQ(master_.Reconnect(), 1);
  }

  std::unique_ptr<RawTcpPeer> peer_;
  CModbusTCP master_;
  RecordingOwner owner_;
  ManualTicks ticks_;
  int pingResult_ = 1;
  std::string pinged_;
};

TEST_F(TcpRaw, ARequestCarriesTheMbapPrefixAndTheNextTransactionId) {
  uint8_t dst[4];
  ASSERT_EQ(master_.ReadRegisters(1, 3, 0x0010, 2, dst, 4), 1);
  EXPECT_EQ(Bytes(dst, dst + 4), (Bytes{1, 2, 3, 4}));
  ASSERT_EQ(master_.WriteRegisters(7, 16, 0x2811, 1, Bytes{0x12, 0x34}.data(), 2), 1);
  master_.SetTransactionId(0xFFFE);
  ASSERT_EQ(master_.DiagEcho(1), 1);
  const auto requests = peer_->Requests();
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_EQ(requests[0], (Bytes{0x00, 0x01, 0x00, 0x00, 0x00, 0x06, 0x01, 0x03, 0x00, 0x10, 0x00, 0x02}));
  EXPECT_EQ(requests[1],
            (Bytes{0x00, 0x02, 0x00, 0x00, 0x00, 0x09, 0x07, 0x10, 0x28, 0x11, 0x00, 0x01, 0x02, 0x12, 0x34}));
  EXPECT_EQ(requests[2], (Bytes{0x00, 0x01, 0x00, 0x00, 0x00, 0x06, 0x01, 0x08, 0x00, 0x00, 0xAB, 0xCD}));
}

TEST_F(TcpRaw, ASegmentedReplyIsReassembledByItsLength) {
  peer_->SetHandler([](const Bytes& request) {
    const Bytes reply = MbapFrame(TransactionIdOf(request), 1, NormalPdu(request));
    return std::vector<PeerAction>{{0, Bytes(reply.begin(), reply.begin() + 3)},
                                   {30, Bytes(reply.begin() + 3, reply.begin() + 8)},
                                   {30, Bytes(reply.begin() + 8, reply.end())}};
  });
  Bytes dst(20);
  ASSERT_EQ(master_.ReadRegisters(1, 4, 0, 10, dst.data(), 20), 1);
  for (int i = 0; i < 20; ++i) EXPECT_EQ(dst[static_cast<size_t>(i)], i + 1);
  EXPECT_EQ(master_.IsConnected(), 1);
}

TEST_F(TcpRaw, AReplyFollowedByStrayBytesStillMatchesItsRequest) {
  peer_->SetHandler([](const Bytes& request) {
    Bytes reply = MbapFrame(TransactionIdOf(request), 1, NormalPdu(request));
    reply.insert(reply.end(), {0xDE, 0xAD});
    return std::vector<PeerAction>{{0, reply}};
  });
  uint8_t dst[2];
  EXPECT_EQ(master_.ReadRegisters(1, 3, 0, 1, dst, 2), 1);
  EXPECT_EQ(Word(dst), 0x0102);
}

struct TcpFault {
  const char* name;
  std::function<std::vector<PeerAction>(const Bytes&)> reply;
  // The request: 0 read, 1 write, 2 echo, 3 generic read.
  int request;
  int code;
  // The stream is out of step: the master closes, and the link is tried
  // again at once. Every other reply is an answer that keeps it.
  bool closes;
};

std::vector<PeerAction> Reply(const Bytes& request, uint8_t unit, const Bytes& pdu, uint16_t idDelta = 0,
                              uint8_t protocol = 0) {
  Bytes frame = MbapFrame(static_cast<uint16_t>(TransactionIdOf(request) + idDelta), unit, pdu);
  frame[3] = protocol;
  return {{0, frame}};
}

uint8_t Fc(const Bytes& request) { return request[7]; }

const TcpFault kTcpFaults[] = {
    {"exception on a read", [](const Bytes& r) { return Reply(r, 1, {static_cast<uint8_t>(Fc(r) | 0x80), 2}); }, 0,
     -8002, false},
    {"exception on a write", [](const Bytes& r) { return Reply(r, 1, {static_cast<uint8_t>(Fc(r) | 0x80), 3}); }, 1,
     -8003, false},
    {"exception on the echo", [](const Bytes& r) { return Reply(r, 1, {static_cast<uint8_t>(Fc(r) | 0x80), 4}); },
     2, -8004, false},
    {"exception on a generic read",
     [](const Bytes& r) { return Reply(r, 1, {static_cast<uint8_t>(Fc(r) | 0x80), 6}); }, 3, -8006, false},
    {"other unit on a read", [](const Bytes& r) { return Reply(r, 2, NormalPdu(r)); }, 0, -8007, false},
    {"other unit on a write", [](const Bytes& r) { return Reply(r, 2, NormalPdu(r)); }, 1, -8007, false},
    {"other unit on the echo", [](const Bytes& r) { return Reply(r, 2, NormalPdu(r)); }, 2, -8007, false},
    {"other function on a read", [](const Bytes& r) { return Reply(r, 1, {4, 4, 0, 0, 0, 0}); }, 0, -8009, false},
    {"other function on the echo", [](const Bytes& r) { return Reply(r, 1, {7, 0, 0, 0, 0}); }, 2, -8009, false},
    {"other function on a generic read", [](const Bytes& r) { return Reply(r, 1, {3, 4, 0, 0, 0, 0}); }, 3, -8009,
     false},
    {"other transaction id", [](const Bytes& r) { return Reply(r, 1, NormalPdu(r), 1); }, 0, -8013, true},
    {"other transaction id on a write", [](const Bytes& r) { return Reply(r, 1, NormalPdu(r), 5); }, 1, -8013, true},
    {"protocol id not 0", [](const Bytes& r) { return Reply(r, 1, NormalPdu(r), 0, 1); }, 0, -8013, true},
    {"one data byte missing", [](const Bytes& r) { return Reply(r, 1, {3, 4, 1, 2, 3}); }, 0, -8014, false},
    {"one data byte too many", [](const Bytes& r) { return Reply(r, 1, {3, 4, 1, 2, 3, 4, 5}); }, 0, -8014, false},
    {"byte count disagrees", [](const Bytes& r) { return Reply(r, 1, {3, 2, 1, 2, 3, 4}); }, 0, -8014, false},
    {"exception without its code", [](const Bytes& r) { return Reply(r, 1, {0x83}); }, 0, -8014, false},
    {"write answer cut short", [](const Bytes& r) { return Reply(r, 1, {16, 0, 0}); }, 1, -8014, false},
    {"generic read shorter than asked", [](const Bytes& r) { return Reply(r, 1, {4, 2, 1, 2}); }, 3, -8014, false},
    {"length field without a function",
     [](const Bytes& r) {
       return std::vector<PeerAction>{{0, {r[0], r[1], 0, 0, 0, 1, 1}}};
     },
     0, -8014, true},
    {"length beyond any reply",
     [](const Bytes& r) {
       return std::vector<PeerAction>{{0, {r[0], r[1], 0, 0, 0x10, 0x00, 1, 3}}};
     },
     0, -8013, true},
    {"length announced, body never comes",
     [](const Bytes& r) {
       return std::vector<PeerAction>{{0, {r[0], r[1], 0, 0, 0, 7, 1, 3}}};
     },
     0, -9103, true},
    {"silence", [](const Bytes&) { return std::vector<PeerAction>{}; }, 0, -9103, false},
    {"reply later than the time-out",
     [](const Bytes& r) {
       auto actions = Normal(r);
       actions[0].delayMs = 600;
       return actions;
     },
     2, -9103, false},
};

void PrintTo(const TcpFault& fault, std::ostream* os) { *os << fault.name; }

class TcpFaults : public TcpRaw, public ::testing::WithParamInterface<TcpFault> {};

int Send(CModbusTCP& master, int request) {
  uint8_t dst[64] = {};
  const uint8_t data[4] = {1, 2, 3, 4};
  switch (request) {
    case 0:
      return master.ReadRegisters(1, 3, 0, 2, dst, 4);
    case 1:
      return master.WriteRegisters(1, 16, 0, 2, data, 4);
    case 2:
      return master.DiagEcho(1);
    default:
      return master.Request(1, 4, 0, 2, kRequestRead, dst, 4, nullptr, 0);
  }
}

TEST_P(TcpFaults, GivesItsCodeAndTheMasterRecovers) {
  const TcpFault& fault = GetParam();
  ASSERT_EQ(Send(master_, 0), 1) << "the link has answered";
  peer_->SetHandler(fault.reply);
  EXPECT_EQ(Send(master_, fault.request), fault.code);
  EXPECT_EQ(master_.IsConnected(), fault.closes ? 0 : 1);

  peer_->SetHandler(Normal);
  // A late reply comes meanwhile; the next request passes over it.
  if (fault.code == kSockTimeout) std::this_thread::sleep_for(std::chrono::milliseconds(400));
  if (fault.closes) {
    EXPECT_EQ(Send(master_, fault.request), kSockNotConnected);
    EXPECT_EQ(master_.Reconnect(), 1) << "a glitch is retried at once";
  }
  EXPECT_EQ(Send(master_, fault.request), 1);
  EXPECT_EQ(Send(master_, 0), 1);
  EXPECT_EQ(peer_->connections(), fault.closes ? 2 : 1);
  // Broken again before it answered: now the period applies.
  if (fault.closes) {
    peer_->SetHandler(fault.reply);
    master_.CloseConnection();
    ASSERT_EQ(master_.OpenConnection(LoopbackSetting(peer_->port(), 300), 0, 0), 1);
    Send(master_, fault.request);
    EXPECT_EQ(master_.Reconnect(), 2);
  }
}

INSTANTIATE_TEST_SUITE_P(Replies, TcpFaults, ::testing::ValuesIn(kTcpFaults), qmx::test::CaseName());

TEST_F(TcpRaw, APeerThatClosesEndsTheConnection) {
  ASSERT_EQ(Send(master_, 0), 1);
  peer_->SetHandler([](const Bytes&) { return std::vector<PeerAction>{{0, {}, true}}; });
  EXPECT_LE(Send(master_, 0), 0);
  EXPECT_EQ(master_.IsConnected(), 0);
  // A link that had answered is tried again at once; one that breaks again
  // before it answers waits the period.
  EXPECT_EQ(master_.Reconnect(), 1);
  EXPECT_LE(Send(master_, 0), 0);
  EXPECT_EQ(master_.IsConnected(), 0);
  peer_->SetHandler(Normal);
  Reconnect();
  EXPECT_EQ(Send(master_, 0), 1);
}

TEST_F(TcpRaw, RepliesToEarlierRequestsAreSkippedAndTheLinkKept) {
  // The first reply comes after the time-out; the next request meets it
  // first, followed by a second copy of it, then its own reply.
  std::vector<Bytes> answered;
  peer_->SetHandler([&answered](const Bytes& request) {
    const Bytes reply = MbapFrame(TransactionIdOf(request), 1, NormalPdu(request));
    answered.push_back(reply);
    if (answered.size() == 1) return std::vector<PeerAction>{{450, reply}};
    return std::vector<PeerAction>{{0, answered.front()}, {0, reply}};
  });
  uint8_t dst[4];
  EXPECT_EQ(master_.ReadRegisters(1, 3, 0x0010, 2, dst, 4), kSockTimeout);
  EXPECT_EQ(master_.IsConnected(), 1);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  ASSERT_EQ(master_.ReadRegisters(1, 3, 0x0020, 2, dst, 4), 1);
  EXPECT_EQ(Bytes(dst, dst + 4), (Bytes{1, 2, 3, 4}));
  EXPECT_EQ(peer_->connections(), 1);
}

TEST_F(TcpRaw, RequestsTooLargeForAnyFrameAreRefusedUnsent) {
  Bytes big(300, 0x55);
  EXPECT_EQ(master_.WriteRegisters(1, 16, 0, 150, big.data(), 300), kSockBadParameter);
  EXPECT_EQ(master_.Request(1, 16, 0, 150, kRequestMultipleWrite, big.data(), 2, big.data(), 300),
            kSockBadParameter);
  // A reply can never carry 2 x 1000 bytes.
  EXPECT_EQ(master_.Request(1, 3, 0, 1000, kRequestRead, big.data(), 2000, nullptr, 0), kSockBadParameter);
  EXPECT_TRUE(peer_->Requests().empty());
  EXPECT_EQ(master_.IsConnected(), 1);
}

TEST_F(TcpRaw, ReconnectPingsFirstAndReopensOnlyWhenTheHostAnswers) {
  EXPECT_EQ(master_.Reconnect(), 3);  // connected
  master_.CloseConnection();
  EXPECT_EQ(master_.Reconnect(), 2);  // gate armed
  ticks_.Advance(9'999);
  EXPECT_EQ(master_.Reconnect(), 2);
  EXPECT_EQ(master_.Reconnect(), 2);  // period (10 s) not over
  ticks_.Advance(1);
  EXPECT_EQ(master_.Reconnect(), 2);
  pingResult_ = 2;  // answered only at the second try
  EXPECT_EQ(master_.Reconnect(), kDrvPingFailed);
  EXPECT_EQ(pinged_, "127.0.0.1 500 2");
  EXPECT_EQ(master_.IsConnected(), 0);
  // An abandoned attempt leaves the gate armed, counting afresh.
  ticks_.Advance(10'000);
  EXPECT_EQ(master_.Reconnect(), 2);
  pingResult_ = -11010;
  EXPECT_EQ(master_.Reconnect(), kDrvPingFailed);
  ticks_.Advance(10'000);
  EXPECT_EQ(master_.Reconnect(), 2);
  pingResult_ = 1;
  EXPECT_EQ(master_.Reconnect(), 1);
  EXPECT_EQ(master_.IsConnected(), 1);
  EXPECT_EQ(Send(master_, 0), 1);

  const auto pings = owner_.Pings();
  ASSERT_EQ(pings.size(), 3u);
  EXPECT_EQ(pings[0], (std::pair<std::string, int>{"127.0.0.1", 2}));
  EXPECT_EQ(pings[2].second, 1);
  int tries = 0;
  for (const auto& line : owner_.Lines()) tries += line == std::pair<int, std::string>{1, " [ModbusTCP] Channel. Try reconnecting..."};
  EXPECT_EQ(tries, 3);
}

TEST_F(TcpRaw, WhereNoEchoCanBeSentTheReopenIsTheTest) {
  master_.CloseConnection();
  pingResult_ = -1;
  Reconnect();
  EXPECT_EQ(Send(master_, 0), 1);
}

TEST(TcpOpen, FailuresOfTheOpenStep) {
  RecordingOwner owner;
  CModbusTCP master;
  master.SetOwner(&owner);
  EXPECT_EQ(master.OpenConnection(TcpCommSetting{}, 0, 0), 0);
  ASSERT_FALSE(owner.Lines().empty());
  EXPECT_EQ(owner.Lines().back(),
            (std::pair<int, std::string>{4, " [ModbusTCP] [Bug] Invalid Address. Func: CModbusTCP::OpenConnection"}));

  // Nobody listens on a port that was just released.
  uint16_t freePort = 0;
  {
    RawTcpPeer gone(Normal);
    ASSERT_TRUE(gone.Start());
    freePort = gone.port();
  }
  EXPECT_EQ(master.OpenConnection(LoopbackSetting(freePort), 0, 0), -10061);
  EXPECT_EQ(master.IsConnected(), 0);

  TcpCommSetting negative = LoopbackSetting(1);
  negative.port = -1;
  EXPECT_EQ(master.OpenConnection(negative, 0, 0), kSockConstructionParameters);
  EXPECT_EQ(master.Socket(), nullptr);

  // A datagram channel opened by the monitoring cycle without broadcasting:
  // a failed open is a failed communication test.
  TcpCommSetting datagram = LoopbackSetting(9);
  datagram.ipAddress = "bad address";
  datagram.socketType = DriverSocket::kDatagram;
  EXPECT_EQ(master.OpenConnection(datagram, 0, 0), kSockHostAddressInvalid);
  EXPECT_EQ(master.OpenConnection(datagram, 1, 0), kSockCommTestFailed);
}

}  // namespace
}  // namespace tessivar
