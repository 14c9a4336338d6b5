// The Modbus RTU master over socat pty pairs against a raw peer that answers
// with crafted frames (bad CRC, exception, truncation, other unit or
// function) and lines that bring more than the reply (copies, early frames);
// its comparison with a libmodbus slave is in libmodbus_test.cpp.
#include "driver/modbus/modbus_serial.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>

#include "platform/serial/serial_device.h"
#include "tests/driver_modbus/peers.h"
#include "tests/support/test_support.h"

namespace tessivar {
namespace {

using qmx::test::Bytes;
using qmx::test::ComLine;
using qmx::test::ManualTicks;
using qmx::test::PeerAction;
using qmx::test::PtyLineSetting;
using qmx::test::RawRtuPeer;
using qmx::test::RecordingOwner;
using qmx::test::RtuFrame;

using qmx::test::Word;

constexpr int kCom = 7;

class RtuLine : public ::testing::Test {
protected:
  void SetUp() override {
    line_ = std::make_unique<ComLine>(kCom);
    if (!line_->Start()) GTEST_SKIP() << "socat could not make a pty pair";
  }
  void TearDown() override {
    master_.DeleteConnection();
    line_.reset();
  }

  std::unique_ptr<ComLine> line_;
  ModbusSerial master_;
};

// ---- crafted frames ----

// A correct answer to the requests of these tests.
Bytes NormalReply(const Bytes& request) {
  const uint8_t unit = request[0];
  const uint8_t function = request[1];
  const uint16_t quantity = static_cast<uint16_t>(request[4] << 8 | request[5]);
  if (function >= 1 && function <= 4) {
    const int count = function <= 2 ? (quantity + 7) / 8 : 2 * quantity;
    Bytes body = {unit, function, static_cast<uint8_t>(count)};
    for (int i = 0; i < count; ++i) body.push_back(static_cast<uint8_t>(0x10 + i));
    return RtuFrame(body);
  }
  if (function == 15 || function == 16) return RtuFrame(Bytes(request.begin(), request.begin() + 6));
  return request;  // 5, 6, 8: the request is its own answer
}

std::vector<PeerAction> Normal(const Bytes& request) { return {{0, NormalReply(request)}}; }

class RtuRaw : public RtuLine {
protected:
  void SetUp() override {
    RtuLine::SetUp();
    if (IsSkipped()) return;
    peer_ = std::make_unique<RawRtuPeer>(line_->PeerPath(), Normal);
    ASSERT_TRUE(peer_->Start());
    master_.SetOwner(&owner_);
    master_.SetTickSource(ticks_.Source());
    ASSERT_EQ(master_.OpenConnection(PtyLineSetting(kCom, 150), 0, 0), 1);
  }
  void TearDown() override {
    peer_.reset();
    RtuLine::TearDown();
  }

  std::unique_ptr<RawRtuPeer> peer_;
  RecordingOwner owner_;
  ManualTicks ticks_;
};

TEST_F(RtuRaw, FramesEndInTheirCrcLowByteFirst) {
  uint8_t dst[4];
  ASSERT_EQ(master_.ReadRegisters(1, 3, 0, 2, dst, 4), 1);
  EXPECT_EQ(Bytes(dst, dst + 4), (Bytes{0x10, 0x11, 0x12, 0x13}));
  ASSERT_EQ(master_.WriteRegisters(1, 16, 0x2811, 1, Bytes{0x12, 0x34}.data(), 2), 1);
  ASSERT_EQ(master_.Request(1, 8, 0, 0, kRequestSingleWrite, dst, 4, Bytes{1, 2, 3, 4}.data(), 4), 1);
  const auto requests = peer_->Requests();
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_EQ(requests[0], (Bytes{0x01, 0x03, 0x00, 0x00, 0x00, 0x02, 0xC4, 0x0B}));
  EXPECT_EQ(requests[1], RtuFrame({0x01, 0x10, 0x28, 0x11, 0x00, 0x01, 0x02, 0x12, 0x34}));
  EXPECT_EQ(requests[2], RtuFrame({0x01, 0x08, 0x00, 0x00, 1, 2, 3, 4}));
}

TEST_F(RtuRaw, TheProbeOfTheSerialScan) {
  peer_->SetHandler([](const Bytes& request) {
    // Only nodes 2 and 5 answer, with their model code.
    if (request[0] != 2 && request[0] != 5) return std::vector<PeerAction>{};
    return std::vector<PeerAction>{{0, RtuFrame({request[0], 4, 2, 0x80, static_cast<uint8_t>(0x40 + request[0])})}};
  });
  ScanHits hits;
  int counter = 0;
  std::vector<int> results;
  for (int unit = 1; unit <= 5; ++unit) results.push_back(master_.ScanDevice(unit, hits, counter, 0));
  EXPECT_EQ(results, (std::vector<int>{kSerReadTimeout, 1, kSerReadTimeout, kSerReadTimeout, 1}));
  EXPECT_EQ(counter, 2);
  ASSERT_EQ(hits.serial.size(), 2u);
  EXPECT_EQ(hits.serial[1].portText, "7");
  EXPECT_EQ(hits.serial[1].unitText, "5");
  EXPECT_EQ(hits.serial[1].settingsText, "19200,8,NOPARITY,0");
  EXPECT_EQ(hits.serial[1].value[0], 0x80);
  EXPECT_EQ(hits.serial[1].value[1], 0x45);
  EXPECT_EQ(hits.serial[0].unitText, "2");
  EXPECT_EQ(peer_->Requests()[4], RtuFrame({0x05, 0x04, 0x10, 0x02, 0x00, 0x01}));
  EXPECT_TRUE(hits.discovery.empty());
}

struct RtuFault {
  const char* name;
  std::function<std::vector<PeerAction>(const Bytes&)> reply;
  int request;  // 0 read, 1 write, 2 echo, 3 generic read, 4 probe
  int code;
};

void PrintTo(const RtuFault& fault, std::ostream* os) { *os << fault.name; }

std::vector<PeerAction> Send(Bytes bytes) { return {{0, std::move(bytes)}}; }

Bytes BadCrc(Bytes frame) {
  frame.back() ^= 0x5A;
  return frame;
}

Bytes Exception(const Bytes& request, uint8_t code) {
  return RtuFrame({request[0], static_cast<uint8_t>(request[1] | 0x80), code});
}

Bytes Cut(Bytes frame, size_t keep) {
  frame.resize(keep);
  return frame;
}

const RtuFault kRtuFaults[] = {
    {"bad crc on a read", [](const Bytes& r) { return Send(BadCrc(NormalReply(r))); }, 0, -8013},
    {"bad crc on a write", [](const Bytes& r) { return Send(BadCrc(NormalReply(r))); }, 1, -8013},
    {"bad crc on the echo", [](const Bytes& r) { return Send(BadCrc(NormalReply(r))); }, 2, -8013},
    {"bad crc on a generic read", [](const Bytes& r) { return Send(BadCrc(NormalReply(r))); }, 3, -8013},
    {"bad crc on the probe", [](const Bytes& r) { return Send(BadCrc(NormalReply(r))); }, 4, -8013},
    {"bad crc on an exception", [](const Bytes& r) { return Send(BadCrc(Exception(r, 2))); }, 0, -8013},
    {"exception on a read", [](const Bytes& r) { return Send(Exception(r, 2)); }, 0, -8002},
    {"exception on a write", [](const Bytes& r) { return Send(Exception(r, 3)); }, 1, -8003},
    {"exception on the echo", [](const Bytes& r) { return Send(Exception(r, 1)); }, 2, -8001},
    {"exception on a generic read", [](const Bytes& r) { return Send(Exception(r, 6)); }, 3, -8006},
    {"exception on the probe", [](const Bytes& r) { return Send(Exception(r, 4)); }, 4, -8004},
    // Codes without a text of their own must not borrow another code's.
    {"exception 7 on a read", [](const Bytes& r) { return Send(Exception(r, 7)); }, 0, kMbOtherException},
    {"exception 9 on a write", [](const Bytes& r) { return Send(Exception(r, 9)); }, 1, kMbOtherException},
    {"exception 0 on a generic read", [](const Bytes& r) { return Send(Exception(r, 0)); }, 3, kMbOtherException},
    {"read cut short", [](const Bytes& r) { return Send(Cut(NormalReply(r), 6)); }, 0, -8014},
    {"read cut after one byte", [](const Bytes& r) { return Send(Cut(NormalReply(r), 1)); }, 0, -8014},
    {"write cut short", [](const Bytes& r) { return Send(Cut(NormalReply(r), 5)); }, 1, -8014},
    {"generic read cut short", [](const Bytes& r) { return Send(Cut(NormalReply(r), 7)); }, 3, -8014},
    {"exception cut short", [](const Bytes& r) { return Send(Cut(Exception(r, 2), 3)); }, 0, -8014},
    {"byte count disagrees", [](const Bytes&) { return Send(RtuFrame({1, 3, 2, 0x10, 0x11, 0x12, 0x13})); }, 0,
     -8014},
    {"longer than asked", [](const Bytes&) { return Send(RtuFrame({1, 3, 6, 1, 2, 3, 4, 5, 6})); }, 0, -8013},
    {"other unit", [](const Bytes& r) {
       Bytes body = Cut(NormalReply(r), NormalReply(r).size() - 2);
       body[0] = 9;
       return Send(RtuFrame(body));
     }, 0, -8007},
    {"other function", [](const Bytes& r) {
       Bytes body = Cut(NormalReply(r), NormalReply(r).size() - 2);
       body[1] = 4;
       return Send(RtuFrame(body));
     }, 0, -8009},
    {"other function on a write", [](const Bytes& r) {
       return Send(RtuFrame({r[0], 6, r[2], r[3], r[4], r[5]}));
     }, 1, -8009},
    {"silence", [](const Bytes&) { return std::vector<PeerAction>{}; }, 0, kSerReadTimeout},
    {"silence on the echo", [](const Bytes&) { return std::vector<PeerAction>{}; }, 2, kSerReadTimeout},
};

class RtuFaults : public RtuRaw, public ::testing::WithParamInterface<RtuFault> {};

int Send(ModbusSerial& master, int request) {
  uint8_t dst[16] = {};
  ScanHits hits;
  int counter = 0;
  switch (request) {
    case 0:
      return master.ReadRegisters(1, 3, 0, 2, dst, 4);
    case 1:
      return master.WriteRegisters(1, 16, 0, 2, Bytes{1, 2, 3, 4}.data(), 4);
    case 2:
      return master.DiagEcho(1);
    case 3:
      return master.Request(1, 4, 0, 2, kRequestRead, dst, 4, nullptr, 0);
    default:
      return master.ScanDevice(1, hits, counter, 0);
  }
}

TEST_P(RtuFaults, GivesItsCodeAndTheNextRequestWorks) {
  const RtuFault& fault = GetParam();
  peer_->SetHandler(fault.reply);
  EXPECT_EQ(Send(master_, fault.request), fault.code);
  EXPECT_EQ(master_.IsConnected(), 1);
  peer_->SetHandler(Normal);
  EXPECT_EQ(Send(master_, fault.request), 1);
  EXPECT_EQ(Send(master_, 0), 1);
}

INSTANTIATE_TEST_SUITE_P(Frames, RtuFaults, ::testing::ValuesIn(kRtuFaults), qmx::test::CaseName());

TEST_F(RtuRaw, AnUndefinedExceptionIsNamedInItsText) {
  peer_->SetHandler([](const Bytes& r) { return Send(Exception(r, 11)); });
  EXPECT_EQ(Send(master_, 0), kMbOtherException);
  EXPECT_EQ(master_.ErrorText(kMbOtherException), "[Modbus] Network adapter answered with exception 11.");
  EXPECT_EQ(master_.ErrorText(-8002), "[Modbus] Illegal data address. Check if data address or quantity is valid.");
}

TEST_F(RtuRaw, AReplyThatComesAfterTheTimeOutIsNotTakenForTheNextOne) {
  // The first request is answered 100 ms after the master gave up (time-out
  // 150 ms), while the master is already asking again.
  std::atomic<int> calls{0};
  peer_->SetHandler([&calls](const Bytes& r) {
    const bool first = calls++ == 0;
    return std::vector<PeerAction>{
        {first ? 250 : 0, RtuFrame({r[0], 3, 2, static_cast<uint8_t>(first ? 0xAA : 0xBB), 0x01})}};
  });
  uint8_t dst[2] = {};
  EXPECT_EQ(master_.ReadRegisters(1, 3, 0, 1, dst, 2), kSerReadTimeout);
  ASSERT_EQ(master_.ReadRegisters(1, 3, 0, 1, dst, 2), 1);
  EXPECT_EQ(dst[0], 0xBB) << "the late answer to the first request was read as the second's";
}

// ---- lines that bring more than the reply ----

// The peer of these cases: a read answers with its register address as the
// value (registers from 0x3000 on hold 0, so two of them answer the same
// bytes); a write answers as a device does (address and count only, the
// same bytes for every write to one register).
uint16_t ValueAt(uint16_t address) { return address < 0x3000 ? address : 0; }

Bytes LineReply(const Bytes& r) {
  if (r[1] == 16) return RtuFrame({r[0], 16, r[2], r[3], r[4], r[5]});
  const uint16_t value = ValueAt(static_cast<uint16_t>(r[2] << 8 | r[3]));
  return RtuFrame({r[0], r[1], 2, static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value)});
}

struct RtuLineCase {
  const char* name;
  // The frames on the line in answer to a request, given the previous reply
  // (empty before the first).
  std::function<std::vector<PeerAction>(const Bytes& request, const Bytes& previous)> line;
  int baud;
  int writes;      // queued writes to one register
  int earlyLines;  // communication-level lines of dropped frames: exactly, or -1 for at most one an operation
};

void PrintTo(const RtuLineCase& c, std::ostream* os) { *os << c.name; }

// The line speeds leave a wide margin between an early frame and the time
// from which the reply could have come (eight characters for a copy 10 ms
// later behind a read, whose pause before the next request is 10 ms), so a
// peer held up by a busy machine still lands its frames early.
const RtuLineCase kRtuLines[] = {
    {"every reply repeated at once",
     [](const Bytes& r, const Bytes&) { return std::vector<PeerAction>{{0, LineReply(r)}, {0, LineReply(r)}}; },
     qmx::test::kPtyLineBaud, 40, -1},
    {"a copy of the previous reply before each reply",
     [](const Bytes& r, const Bytes& previous) {
       std::vector<PeerAction> actions;
       if (!previous.empty()) actions.push_back({0, previous, false, true});
       actions.push_back({0, LineReply(r)});
       return actions;
     },
     1200, 4, 10},
    // A peer that knows no line time answers as soon as it has read the
    // request: its replies are early, and nothing comes after them.
    {"every reply at once, as a peer without line time",
     [](const Bytes& r, const Bytes&) { return std::vector<PeerAction>{{0, LineReply(r), false, true}}; },
     qmx::test::kPtyLineBaud, 40, 0},
    {"every reply at once and again 10 ms later",
     [](const Bytes& r, const Bytes&) {
       return std::vector<PeerAction>{{0, LineReply(r), false, true}, {10, LineReply(r), false, true}};
     },
     2400, 40, -1},
    {"another unit's reply before each reply",
     [](const Bytes& r, const Bytes&) {
       Bytes foreign = r;
       foreign[0] = 9;
       return std::vector<PeerAction>{{0, LineReply(foreign), false, true}, {0, LineReply(r)}};
     },
     1200, 4, 11},
};

class RtuLines : public RtuRaw, public ::testing::WithParamInterface<RtuLineCase> {};

TEST_P(RtuLines, EachOperationIsOneFrameAndGetsItsOwnAnswer) {
  const RtuLineCase& c = GetParam();
  // The peer again, at the case's line speed.
  peer_.reset();
  auto previous = std::make_shared<Bytes>();
  peer_ = std::make_unique<RawRtuPeer>(
      line_->PeerPath(),
      [line = c.line, previous](const Bytes& r) {
        auto actions = line(r, *previous);
        *previous = LineReply(r);
        return actions;
      },
      c.baud);
  ASSERT_TRUE(peer_->Start());
  ASSERT_EQ(master_.OpenConnection(PtyLineSetting(kCom, 1000, c.baud), 0, 0), 1);

  const std::vector<uint16_t> reads = {0x1028, 0x0000, 0x1119, 0x1028, 0x0000};
  int operations = 0;
  for (uint16_t address : reads) {
    uint8_t dst[2] = {};
    ASSERT_EQ(master_.ReadRegisters(1, 4, address, 1, dst, 2), 1) << address;
    EXPECT_EQ(Word(dst), ValueAt(address)) << "the answer of another request";
    ++operations;
  }
  for (int i = 0; i < c.writes; ++i) {
    const Bytes data = {static_cast<uint8_t>(i), static_cast<uint8_t>(0x80 + i)};
    ASSERT_EQ(master_.WriteRegisters(1, 16, 0x2011, 1, data.data(), 2), 1) << i;
    ++operations;
  }
  for (uint16_t address : {0x3000, 0x3001}) {
    uint8_t dst[2] = {1, 1};
    ASSERT_EQ(master_.ReadRegisters(1, 4, address, 1, dst, 2), 1) << address;
    EXPECT_EQ(Word(dst), 0);
    ++operations;
  }

  // One frame per operation, the writes in their order with their data.
  const auto requests = peer_->Requests();
  ASSERT_EQ(requests.size(), static_cast<size_t>(operations));
  for (int i = 0; i < c.writes; ++i) {
    EXPECT_EQ(requests[reads.size() + static_cast<size_t>(i)],
              RtuFrame({1, 16, 0x20, 0x11, 0, 1, 2, static_cast<uint8_t>(i), static_cast<uint8_t>(0x80 + i)}))
        << i;
  }
  int early = 0;
  for (const auto& [level, text] : owner_.Lines()) {
    if (text.find("Frame before the reply could come, dropped.") == std::string::npos) continue;
    EXPECT_EQ(level, 2) << text;
    ++early;
  }
  if (c.earlyLines >= 0) {
    EXPECT_EQ(early, c.earlyLines) << "each early frame dropped with its line";
  } else {
    EXPECT_LE(early, operations);
  }
}

INSTANTIATE_TEST_SUITE_P(Lines, RtuLines, ::testing::ValuesIn(kRtuLines), qmx::test::CaseName());

TEST_F(RtuRaw, AnEarlyFrameIsNamedInItsLineAndTheReplyBehindItIsTaken) {
  peer_.reset();
  peer_ = std::make_unique<RawRtuPeer>(
      line_->PeerPath(),
      [](const Bytes& r) {
        return std::vector<PeerAction>{{0, RtuFrame({r[0], 3, 2, 0xEE, 0xEE}), false, true},
                                       {0, RtuFrame({r[0], 3, 2, 0x12, 0x34})}};
      },
      1200);
  ASSERT_TRUE(peer_->Start());
  ASSERT_EQ(master_.OpenConnection(PtyLineSetting(kCom, 1000, 1200), 0, 0), 1);
  uint8_t dst[2] = {};
  ASSERT_EQ(master_.ReadRegisters(1, 3, 0, 1, dst, 2), 1);
  EXPECT_EQ(Word(dst), 0x1234);
  EXPECT_EQ(owner_.Lines(),
            (std::vector<std::pair<int, std::string>>{
                {2, " [ModbusSerial] [Warning] Frame before the reply could come, dropped. RxLen: 7. "
                    "Func: ModbusSerial::TxGetRxData"}}));
  EXPECT_EQ(peer_->Requests().size(), 1u);
}

TEST_F(RtuRaw, ACopyThatComesWhenTheReplyCouldHaveIsTakenAndTheRealReplyDrained) {
  // Nothing on an RTU line tells such a copy from the reply; the reply
  // behind it must not be read as the answer to the next request.
  auto previous = std::make_shared<Bytes>();
  peer_->SetHandler([previous](const Bytes& r) {
    std::vector<PeerAction> actions;
    if (!previous->empty()) actions.push_back({0, *previous});
    actions.push_back({0, LineReply(r)});
    *previous = LineReply(r);
    return actions;
  });
  uint16_t last = 0;
  for (uint16_t address : {0x1028, 0x1119, 0x0100}) {
    uint8_t dst[2] = {};
    ASSERT_EQ(master_.ReadRegisters(1, 4, address, 1, dst, 2), 1) << address;
    EXPECT_EQ(Word(dst), address == 0x1028 ? 0x1028 : last) << "the copy is what came first";
    last = address;
  }
  EXPECT_EQ(peer_->Requests().size(), 3u);
}

TEST_F(RtuRaw, ReadAndWriteFailuresAreLoggedForTheDeveloper) {
  peer_->SetHandler([](const Bytes&) { return std::vector<PeerAction>{}; });
  EXPECT_EQ(Send(master_, 0), kSerReadTimeout);
  EXPECT_EQ(Send(master_, 1), kSerReadTimeout);
  EXPECT_EQ(master_.DiagEcho(1), kSerReadTimeout);  // log flag 0: no line
  EXPECT_EQ(master_.DiagCmd(1, 1), kSerReadTimeout);
  const auto lines = owner_.Lines();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], (std::pair<int, std::string>{
                          4, " [ModbusSerial] [Error] Read failed. ErrCode: -9119. RxLen: 9. Func: ModbusSerial::TxGetRxData"}));
  EXPECT_EQ(lines[1].second,
            " [ModbusSerial] [Error] Read failed. ErrCode: -9119. RxLen: 8. Func: ModbusSerial::TxCheckResult");
  EXPECT_EQ(lines[2].second,
            " [ModbusSerial] [Error]  Read failed. ErrCode: -9119. RxLen: 8. Func: ModbusSerial::TxGetRxDataEcho");
}

TEST_F(RtuRaw, AClosedPortIsReopenedThroughTheGate) {
  EXPECT_EQ(master_.Reconnect(), 3);
  master_.CloseConnection();
  EXPECT_EQ(master_.IsConnected(), 0);
  EXPECT_EQ(Send(master_, 0), kSerNotOpen);
  EXPECT_EQ(master_.Reconnect(), 2);
  ticks_.Advance(5'000);
  EXPECT_EQ(master_.Reconnect(), 2);
  EXPECT_EQ(master_.Reconnect(), 1);
  EXPECT_EQ(owner_.Lines().back(), (std::pair<int, std::string>{1, " [ModbusSerial] Channel. Try reconnecting..."}));
  EXPECT_EQ(Send(master_, 0), 1);
}

TEST(RtuOpen, AMissingPortCannotBeOpened) {
  qmx::test::TempDir dir("qmx-rtu-none");
  ::setenv(qmx::serial::kComDirVariable, dir.path().c_str(), 1);
  ModbusSerial master;
  EXPECT_EQ(master.OpenConnection(PtyLineSetting(kCom, 100), 0, 0), kSerCannotOpen);
  EXPECT_EQ(master.IsConnected(), 0);
  ASSERT_NE(master.Port(), nullptr);
  EXPECT_EQ(master.Port()->PortNumber(), kCom);
  ::unsetenv(qmx::serial::kComDirVariable);
}

}  // namespace
}  // namespace tessivar
