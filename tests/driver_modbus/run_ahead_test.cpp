// A monitoring cycle run ahead of its loop against the same cycle on the
// loop's own road. A raw station answers every read and misbehaves once,
// at a chosen request after the echo of a chosen cycle (the cycles before
// it recorded the part, so the fault meets the run ahead); the requests
// it saw, byte for byte with their transaction ids, and the lines the
// driver logged must be the same with and without the run ahead.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "common/Utility.h"
#include "driver/driver_instance.h"
#include "driver/driver_library.h"
#include "driver/modbus/modbus_tcp.h"
#include "driver/modbus/run_ahead.h"
#include "tests/driver/log_capture.h"
#include "tests/driver_modbus/peers.h"

namespace tessivar {
namespace {

using namespace std::chrono_literals;
using qmx::test::Bytes;
using qmx::test::LogCapture;
using qmx::test::MbapFrame;
using qmx::test::PeerAction;
using qmx::test::RawTcpPeer;
using qmx::test::Word;
using Clock = std::chrono::steady_clock;

// The peer's station: a cycle is the echo and four reads (two monitored
// registers, the input, the output).
const std::vector<ModuleListEntry>& kEntries = qmx::test::kPeerStationEntries;
constexpr int kUpdateMs = 20;
// Long beside the peer's delays, so that a loaded machine does not change
// which reply comes within which time-out.
constexpr int kTimeoutMs = 250;
// The cycle the fault comes in (its echo's number), and how many cycles
// after it are compared.
constexpr int kFaultCycle = 3;
constexpr int kCyclesAfter = 3;

enum class Fault {
  kException,    // exception 2 for the request
  kSilence,      // no reply
  kLate,         // the reply after the time-out
  kSplitHeader,  // four bytes, the rest 30 ms later
  kSplitBody,    // nine bytes, the rest 30 ms later
  kWrongId,      // the reply with another transaction id
  kWrongUnit,
  kRepeat,       // the reply, and again 5 ms later
  kTrailing,     // the reply with two more bytes in the same segment
  kClose,        // the connection closed instead
};

// A station that answers as an adapter would (FC 8 echoed, reads with data
// that changes with every request, InputMode 2, writes taken) and
// misbehaves once.
class Station {
public:
  Station(Fault fault, int step) : fault_(fault), step_(step) {}

  std::vector<PeerAction> Answer(const Bytes& request) {
    std::lock_guard<std::mutex> guard(lock_);
    const uint16_t id = Word(request.data());
    const uint8_t unit = request[6];
    const uint8_t function = request[7];
    const uint16_t address = Word(&request[8]);
    const uint16_t quantity = Word(&request[10]);
    if (function == 8) {
      ++echoes_;
      sinceEcho_ = 0;
      if (echoes_ <= kFaultCycle + kCyclesAfter) comparedRequests_ = requests_;
    } else {
      ++sinceEcho_;
    }
    ++requests_;
    Bytes reply;
    if (function == 8) {
      reply = request;
    } else if (function == 3 || function == 4) {
      Bytes pdu{function, static_cast<uint8_t>(2 * quantity)};
      for (int i = 0; i < 2 * quantity; ++i)
        pdu.push_back(address == 0x1114 ? static_cast<uint8_t>(i == 1 ? 2 : 0) : static_cast<uint8_t>(requests_ + i));
      reply = MbapFrame(id, unit, pdu);
    } else if (function == 15 || function == 16) {
      reply = MbapFrame(id, unit, Bytes(request.begin() + 7, request.begin() + 12));
    } else {
      reply = MbapFrame(id, unit, {static_cast<uint8_t>(function | 0x80), 1});
    }
    if (echoes_ != kFaultCycle || sinceEcho_ != step_) return {{0, reply, false}};
    switch (fault_) {
      case Fault::kException:
        return {{0, MbapFrame(id, unit, {static_cast<uint8_t>(function | 0x80), 2}), false}};
      case Fault::kSilence:
        return {};
      case Fault::kLate:
        return {{kTimeoutMs + 60, reply, false}};
      case Fault::kSplitHeader:
      case Fault::kSplitBody: {
        const size_t cut = fault_ == Fault::kSplitHeader ? 4 : 9;
        return {{0, Bytes(reply.begin(), reply.begin() + cut), false}, {30, Bytes(reply.begin() + cut, reply.end()), false}};
      }
      case Fault::kWrongId:
        return {{0, MbapFrame(static_cast<uint16_t>(id + 100), unit, Bytes(reply.begin() + 7, reply.end())), false}};
      case Fault::kWrongUnit:
        return {{0, MbapFrame(id, static_cast<uint8_t>(unit + 1), Bytes(reply.begin() + 7, reply.end())), false}};
      case Fault::kRepeat:
        return {{0, reply, false}, {5, reply, false}};
      case Fault::kTrailing:
        reply.insert(reply.end(), {0xDE, 0xAD});
        return {{0, reply, false}};
      case Fault::kClose:
        return {{0, {}, true}};
    }
    return {};
  }
  // Every cycle compared has begun, and the one after it.
  bool Done() {
    std::lock_guard<std::mutex> guard(lock_);
    return echoes_ > kFaultCycle + kCyclesAfter;
  }
  // The request that misbehaves has come.
  bool Met() {
    std::lock_guard<std::mutex> guard(lock_);
    return echoes_ > kFaultCycle || (echoes_ == kFaultCycle && sinceEcho_ >= step_);
  }
  // Up to the echo after the last cycle compared.
  size_t Compared() {
    std::lock_guard<std::mutex> guard(lock_);
    return static_cast<size_t>(comparedRequests_);
  }

private:
  std::mutex lock_;
  Fault fault_;
  int step_;
  int echoes_ = 0;
  int sinceEcho_ = 0;
  int requests_ = 0;
  int comparedRequests_ = 0;
};

struct Road {
  std::vector<Bytes> requests;
  std::vector<std::string> lines;
  int connections = 0;
  uint64_t runAhead = 0;  // replies found waiting
};

struct Case {
  const char* name;
  Fault fault;
  int step;  // the request after the echo that meets it: 0 the echo, 1 the first read
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class RunAhead : public ::testing::TestWithParam<Case> {
protected:
  void SetUp() override {
    DriverLibrary::Get().SetCallback(&LogCapture::Callback);
    DriverLibrary::Get().SetSwitches(1, 1, 1, 1);
  }
  void TearDown() override {
    tessivar::RunAhead::SetEnabled(true);
    DriverLibrary::Get().SetCallback(nullptr);
    DriverLibrary::Get().SetSwitches(0, 0, 0, 0);
  }

  static void Configure(DriverInstance& instance, int port, int timeoutMs) {
    EXPECT_EQ(instance.SetChannelProperty("R", StrFormat("TCP\t127.0.0.1,%d,%d,,,5,", port, timeoutMs).c_str()), 1);
    EXPECT_EQ(instance.SetDeviceProperty(1, "QMX-4101", StrFormat("%d\t0x4101,1", kUpdateMs).c_str()), 1);
    EXPECT_EQ(instance.SetModuleList(1, kEntries.data(), static_cast<int>(kEntries.size())), 1);
    EXPECT_EQ(instance.StartComm(), 1);
  }

  static Road Drive(const Case& c, bool ahead) {
    tessivar::RunAhead::SetEnabled(ahead);
    LogCapture::Clear();
    auto station = std::make_shared<Station>(c.fault, c.step);
    RawTcpPeer peer([station](const Bytes& request) { return station->Answer(request); });
    EXPECT_TRUE(peer.Start());
    const uint64_t before = tessivar::RunAhead::RepliesServed();
    Road road;
    {
      DriverInstance instance;
      Configure(instance, peer.port(), kTimeoutMs);
      const auto deadline = Clock::now() + 15s;
      while (!station->Done() && Clock::now() < deadline) std::this_thread::sleep_for(5ms);
      EXPECT_TRUE(station->Done()) << LogCapture::Dump();
      instance.StopComm();
    }
    road.runAhead = tessivar::RunAhead::RepliesServed() - before;
    const std::vector<Bytes> requests = peer.Requests();
    road.requests.assign(requests.begin(),
                         requests.begin() + static_cast<std::ptrdiff_t>(std::min(requests.size(), station->Compared())));
    for (const auto& line : LogCapture::Lines()) road.lines.push_back(StrFormat("%d %s", line.level, line.text.c_str()));
    road.connections = peer.connections();
    return road;
  }
};

TEST_P(RunAhead, TheWireAndTheLogAreTheLoopsOwn) {
  const Road own = Drive(GetParam(), false);
  const Road ahead = Drive(GetParam(), true);
  EXPECT_EQ(own.runAhead, 0u);
  // The cycle before the fault at least was run ahead (its reads after the
  // first).
  EXPECT_GE(ahead.runAhead, 3u);
  ASSERT_EQ(ahead.requests.size(), own.requests.size());
  for (size_t i = 0; i < own.requests.size(); ++i)
    EXPECT_EQ(ahead.requests[i], own.requests[i]) << "request " << i;
  EXPECT_EQ(ahead.lines, own.lines);
  EXPECT_EQ(ahead.connections, own.connections);
}

// A stop while the run waits for a reply that does not come (time-out 5 s):
// the wait ends as the loop's own would, at once and without a line.
TEST_F(RunAhead, AStopEndsTheWaitOfARunAtOnce) {
  LogCapture::Clear();
  auto station = std::make_shared<Station>(Fault::kSilence, 2);
  RawTcpPeer peer([station](const Bytes& request) { return station->Answer(request); });
  ASSERT_TRUE(peer.Start());
  const uint64_t before = tessivar::RunAhead::RepliesServed();
  DriverInstance instance;
  Configure(instance, peer.port(), 5000);
  const auto deadline = Clock::now() + 10s;
  while (!station->Met() && Clock::now() < deadline) std::this_thread::sleep_for(2ms);
  ASSERT_TRUE(station->Met());
  std::this_thread::sleep_for(50ms);
  const auto start = Clock::now();
  EXPECT_EQ(instance.StopComm(), 1);
  EXPECT_LT(Clock::now() - start, 200ms);
  EXPECT_GT(tessivar::RunAhead::RepliesServed(), before);
  EXPECT_TRUE(LogCapture::Matching("Device is not response.").empty()) << LogCapture::Dump();
  EXPECT_TRUE(LogCapture::Matching("Cannot read.").empty()) << LogCapture::Dump();
}

// Writes queued at any moment of the cycles: each goes right after an echo
// (or another write), never between the reads of a part run ahead.
TEST_F(RunAhead, AQueuedWriteGoesRightAfterAnEcho) {
  LogCapture::Clear();
  auto station = std::make_shared<Station>(Fault::kSilence, -1);
  RawTcpPeer peer([station](const Bytes& request) { return station->Answer(request); });
  ASSERT_TRUE(peer.Start());
  const uint64_t before = tessivar::RunAhead::RepliesServed();
  DriverInstance instance;
  Configure(instance, peer.port(), kTimeoutMs);
  while (!station->Met()) std::this_thread::sleep_for(2ms);
  constexpr int kWrites = 40;
  for (int i = 0; i < kWrites; ++i) {
    const uint8_t value = static_cast<uint8_t>(i);
    EXPECT_EQ(instance.WriteByte(1, 3, DRV_IMAGE_OUTPUT, &value, 0, 1), 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(3 + i % 7));
  }
  std::this_thread::sleep_for(100ms);
  instance.StopComm();
  EXPECT_GT(tessivar::RunAhead::RepliesServed(), before);
  int writes = 0;
  uint8_t previous = 0;
  for (const Bytes& request : peer.Requests()) {
    if (request[7] == 15) {
      ++writes;
      EXPECT_TRUE(previous == 8 || previous == 15) << "a write after function " << int(previous);
    }
    previous = request[7];
  }
  EXPECT_EQ(writes, kWrites) << LogCapture::Dump();
}

INSTANTIATE_TEST_SUITE_P(
    Faults, RunAhead,
    ::testing::Values(Case{"exception_echo", Fault::kException, 0}, Case{"split_echo", Fault::kSplitBody, 0},
                      Case{"exception_first", Fault::kException, 1}, Case{"exception_second", Fault::kException, 2},
                      Case{"exception_last", Fault::kException, 4}, Case{"silence", Fault::kSilence, 2},
                      Case{"late", Fault::kLate, 3}, Case{"split_header", Fault::kSplitHeader, 2},
                      Case{"split_body_first", Fault::kSplitBody, 1}, Case{"wrong_id", Fault::kWrongId, 2},
                      Case{"wrong_unit", Fault::kWrongUnit, 3}, Case{"repeat", Fault::kRepeat, 2},
                      Case{"trailing", Fault::kTrailing, 2}, Case{"close", Fault::kClose, 3}),
    [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tessivar
