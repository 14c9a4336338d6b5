// The reply-size rule against the frames the masters put on the wire: for
// every function code the driver sends, on both transports, the length the
// rule gives for the request as it went out is the length of a correct
// answer (written out per transport, apart from the rule), the master takes
// that answer, and it refuses the answer one byte short.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "driver/modbus/modbus_frames.h"
#include "driver/modbus/modbus_serial.h"
#include "driver/modbus/modbus_tcp.h"
#include "tests/driver_modbus/peers.h"

namespace tessivar {
namespace {

using qmx::test::Bytes;
using qmx::test::PeerAction;
using qmx::test::Word;

// A correct answer to the request PDU `pdu` (function code first).
Bytes AnswerPdu(const Bytes& pdu) {
  const uint8_t function = pdu[0];
  if (function >= 1 && function <= 4) {
    const int quantity = Word(&pdu[3]);
    const int count = function <= 2 ? (quantity + 7) / 8 : 2 * quantity;
    Bytes answer{function, static_cast<uint8_t>(count)};
    for (int i = 0; i < count; ++i) answer.push_back(static_cast<uint8_t>(0x30 + i));
    return answer;
  }
  // Multiple writes answer their address and quantity; 5, 6 and 8 are their
  // own answers.
  if (function == 15 || function == 16) return Bytes(pdu.begin(), pdu.begin() + 5);
  return pdu;
}

// Answers every request correctly, or (cut) one byte short, and keeps the
// length of what it sent.
struct Answerer {
  std::atomic<bool> cut{false};
  std::atomic<int> sentLength{0};

  template <class Frame>
  std::vector<PeerAction> Answer(const Bytes& pdu, Frame&& frame) {
    Bytes answer = AnswerPdu(pdu);
    if (cut) answer.pop_back();
    const Bytes bytes = frame(answer);
    sentLength = static_cast<int>(bytes.size());
    return {{0, bytes}};
  }
};

struct TcpSide {
  static constexpr Framing kFraming = kTcpFraming;
  static constexpr bool kTcp = true;

  static Bytes PduOf(const Bytes& frame) { return Bytes(frame.begin() + kFraming.header, frame.end()); }
  bool Start() {
    peer = std::make_unique<qmx::test::RawTcpPeer>([this](const Bytes& request) {
      return answerer.Answer(PduOf(request), [&](const Bytes& pdu) {
        return qmx::test::MbapFrame(qmx::test::TransactionIdOf(request), request[6], pdu);
      });
    });
    return peer->Start() && master.OpenConnection(qmx::test::LoopbackSetting(peer->port(), 300), 0, 0) == 1;
  }
  std::vector<Bytes> Requests() { return peer->Requests(); }

  Answerer answerer;
  std::unique_ptr<qmx::test::RawTcpPeer> peer;
  CModbusTCP master;
};

struct RtuSide {
  static constexpr Framing kFraming = kRtuFraming;
  static constexpr bool kTcp = false;
  static constexpr int kCom = 7;

  ~RtuSide() {
    master.DeleteConnection();
    peer.reset();
  }
  static Bytes PduOf(const Bytes& frame) {
    return Bytes(frame.begin() + kFraming.header, frame.end() - kFraming.checksum);
  }
  bool Start() {
    if (!line.Start()) return false;
    peer = std::make_unique<qmx::test::RawRtuPeer>(line.PeerPath(), [this](const Bytes& request) {
      return answerer.Answer(PduOf(request), [&](const Bytes& pdu) {
        Bytes body{request[0]};
        body.insert(body.end(), pdu.begin(), pdu.end());
        return qmx::test::RtuFrame(body);
      });
    });
    return peer->Start() && master.OpenConnection(qmx::test::PtyLineSetting(kCom, 150), 0, 0) == 1;
  }
  std::vector<Bytes> Requests() { return peer->Requests(); }

  Answerer answerer;
  qmx::test::ComLine line{kCom};
  std::unique_ptr<qmx::test::RawRtuPeer> peer;
  ModbusSerial master;
};

// One operation of the master interface, the function it sends and the
// length of the whole answer on each transport.
struct Operation {
  const char* name;
  uint8_t function;
  std::function<int(Modbus&, uint8_t* dst)> run;
  int tcpLength;
  int rtuLength;
};

const Bytes kTwo{0x12, 0x34};
const Bytes kFour{0xDE, 0xAD, 0xBE, 0xEF};

const std::vector<Operation>& Operations() {
  static const std::vector<Operation> operations{
      {"read coils", 1, [](Modbus& m, uint8_t* d) { return m.ReadRegisters(1, 1, 0x1000, 12, d, 2); }, 11, 7},
      {"read discrete inputs", 2, [](Modbus& m, uint8_t* d) { return m.ReadRegisters(1, 2, 0, 17, d, 3); }, 12, 8},
      {"read holding registers", 3, [](Modbus& m, uint8_t* d) { return m.ReadRegisters(1, 3, 0x800, 3, d, 6); }, 15,
       11},
      {"read input registers", 4, [](Modbus& m, uint8_t* d) { return m.ReadRegisters(1, 4, 0x1002, 1, d, 2); }, 11,
       7},
      {"read, generic", 3,
       [](Modbus& m, uint8_t* d) { return m.Request(1, 3, 0x800, 2, kRequestRead, d, 4, nullptr, 0); }, 13, 9},
      {"write single coil", 5,
       [](Modbus& m, uint8_t* d) {
         return m.Request(1, 5, 0x1001, 0, kRequestSingleWrite, d, 2, Bytes{0xFF, 0x00}.data(), 2);
       },
       12, 8},
      {"write single register", 6,
       [](Modbus& m, uint8_t* d) { return m.Request(1, 6, 0x801, 0, kRequestSingleWrite, d, 2, kTwo.data(), 2); },
       12, 8},
      {"diagnostics echo", 8, [](Modbus& m, uint8_t*) { return m.DiagEcho(1); }, 12, 8},
      {"diagnostics, four data bytes", 8,
       [](Modbus& m, uint8_t* d) { return m.Request(1, 8, 0, 0, kRequestSingleWrite, d, 4, kFour.data(), 4); }, 14,
       10},
      {"write multiple coils", 15,
       [](Modbus& m, uint8_t*) { return m.WriteRegisters(1, 15, 0x1000, 10, kTwo.data(), 2); }, 12, 8},
      {"write multiple registers", 16,
       [](Modbus& m, uint8_t*) { return m.WriteRegisters(1, 16, 0x800, 2, kFour.data(), 4); }, 12, 8},
      {"write multiple registers, generic", 16,
       [](Modbus& m, uint8_t* d) {
         return m.Request(1, 16, 0x800, 2, kRequestMultipleWrite, d, 2, kFour.data(), 4);
       },
       12, 8},
  };
  return operations;
}

template <typename Side>
class ReplySize : public ::testing::Test {
protected:
  void SetUp() override {
    if (!side_.Start()) GTEST_SKIP() << "the peer or the line could not be set up";
  }
  Side side_;
};

struct SideNames {
  template <typename T>
  static std::string GetName(int) {
    return T::kTcp ? "Tcp" : "Rtu";
  }
};

using Sides = ::testing::Types<TcpSide, RtuSide>;
TYPED_TEST_SUITE(ReplySize, Sides, SideNames);

TYPED_TEST(ReplySize, TheRuleSizesTheAnswerToEveryRequestAsSent) {
  auto& side = this->side_;
  for (const Operation& op : Operations()) {
    SCOPED_TRACE(op.name);
    const int expected = TypeParam::kTcp ? op.tcpLength : op.rtuLength;
    uint8_t dst[16] = {};
    side.answerer.cut = false;
    ASSERT_EQ(op.run(side.master, dst), 1);
    EXPECT_EQ(side.answerer.sentLength, expected) << "the answer is not the one the row names";
    const Bytes pdu = TypeParam::PduOf(side.Requests().back());
    ASSERT_EQ(pdu[0], op.function);
    ReplyForm form{};
    ASSERT_TRUE(ReplyFormOf(op.function, &form));
    EXPECT_EQ(ReplyOf(TypeParam::kFraming, form, ReplyDataBytes(pdu.data(), static_cast<int>(pdu.size()))).length,
              expected);
    side.answerer.cut = true;
    EXPECT_EQ(op.run(side.master, dst), kMbShortReply);
  }
}

}  // namespace
}  // namespace tessivar
