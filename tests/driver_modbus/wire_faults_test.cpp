// The running road against an independent peer (pymodbus, tests/driver_modbus/
// modbus_peer.py) that misbehaves on the wire, over TCP on loopback and over
// RTU on a socat pty pair: for each fault, what drvRead and the status answer
// while it stands and after it clears, how many connections the peer saw and
// how many error lines were logged. Then a refused write, a queued burst on
// a repeating line, a stop with a queued burst, and an Offline channel that
// must not reach any port.
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "common/Utility.h"
#include "driver/driver_instance.h"
#include "driver/driver_library.h"
#include "platform/serial/serial_device.h"
#include "tests/driver/log_capture.h"
#include "tests/driver_modbus/peers.h"
#include "tests/support/test_support.h"
#include "tools/simulator/testing/simulator_process.h"

namespace tessivar {
namespace {

using namespace std::chrono_literals;
using qmx::sim::PtyPair;
using qmx::sim::SimulatorProcess;
using qmx::test::LogCapture;
using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

const std::vector<ModuleListEntry>& kEntries = qmx::test::kPeerStationEntries;
// The input image the peer holds.
const Bytes kInputs = {0x5A, 0xA5};
constexpr int kUpdateMs = 100;
constexpr int kTimeoutMs = 300;
// The serial line's speed. A copy of a reply that comes 10 ms later meets
// the next request (a read goes out 10 ms after the reply before it) inside
// the time in which its reply could not yet have come: 15 characters, 16 ms
// at this speed, a margin a busy machine does not use up (at 115200 baud it
// is 1.3 ms, and a copy that lands after it is taken as the reply).
constexpr int kRtuBaud = 9600;

bool Eventually(const std::function<bool()>& check, std::chrono::milliseconds limit = 10s) {
  const auto deadline = Clock::now() + limit;
  while (Clock::now() < deadline) {
    if (check()) return true;
    std::this_thread::sleep_for(10ms);
  }
  return check();
}

int ErrorLines() {
  int n = 0;
  for (const auto& line : LogCapture::Lines()) n += line.level == 0;
  return n;
}

// A field of the peer's "stats" answer.
int Stat(SimulatorProcess& peer, const std::string& name) {
  std::istringstream words(peer.Command("stats"));
  for (std::string w; words >> w;) {
    if (w.rfind(name + "=", 0) == 0) return std::atoi(w.c_str() + name.size() + 1);
  }
  return -1;
}

// What drvRead and the status answered while the test watched.
struct Watch {
  int reads = 0;
  int current = 0;  // drvRead 1 with the peer's inputs
  int refused = 0;  // drvRead 0
  int wrong = 0;    // drvRead 1 with other bytes
  int lost = 0;     // status state 2
  int running = 0;  // status state 1
};

class WireBase : public ::testing::Test {
protected:
  void SetUp() override {
    LogCapture::Clear();
    DriverLibrary::Get().SetCallback(&LogCapture::Callback);
    DriverLibrary::Get().SetSwitches(1, 1, 1, 1);
  }
  void TearDown() override {
    if (instance_ && instance_->IsRunning()) instance_->StopComm();
    instance_.reset();
    peer_.reset();
    line_.reset();
    ::unsetenv(qmx::serial::kComDirVariable);
    DriverLibrary::Get().SetCallback(nullptr);
    DriverLibrary::Get().SetSwitches(0, 0, 0, 0);
  }

  // The peer on TCP loopback or on the far end of a pty pair whose near end
  // is COM7.
  bool StartPeer(bool tcp) {
    std::vector<std::string> args{QMX_MODBUS_PEER};
    if (tcp) {
      args.insert(args.end(), {"--tcp", "127.0.0.1:0"});
    } else {
      ::setenv(qmx::serial::kComDirVariable, dir_.path().c_str(), 1);
      line_ = std::make_unique<PtyPair>(dir_.path());
      if (!line_->Start()) return false;
      args.insert(args.end(), {"--rtu", line_->peer().string(), "--baud", std::to_string(kRtuBaud)});
    }
    peer_ = std::make_unique<SimulatorProcess>("/usr/bin/python3", args);
    return peer_->Start();
  }
  // One station, update time 100 ms; on TCP the least reconnect period (5 s).
  DriverInstance& StartInstance(bool tcp) {
    instance_ = std::make_unique<DriverInstance>();
    const std::string channel =
        tcp ? StrFormat("TCP\t127.0.0.1,%d,%d,,,5,", peer_->port(), kTimeoutMs)
            : StrFormat("RS485\t7,%d,8,NOPARITY,0,%d", kRtuBaud, kTimeoutMs);
    EXPECT_EQ(instance_->SetChannelProperty("W", channel.c_str()), 1);
    const std::string property = StrFormat("%d\t0x4101,1", kUpdateMs);
    EXPECT_EQ(instance_->SetDeviceProperty(1, "QMX-4101", property.c_str()), 1);
    EXPECT_EQ(instance_->SetModuleList(1, kEntries.data(), static_cast<int>(kEntries.size())), 1);
    EXPECT_EQ(instance_->StartComm(), 1);
    return *instance_;
  }
  int State() {
    Bytes status(4);
    if (instance_->Read(1, 0, DRV_IMAGE_STATUS, status.data()) != 1) return -1;
    return status[0] | status[1] << 8;
  }
  bool Current() {
    Bytes block(2);
    return instance_->Read(1, -1, DRV_IMAGE_INPUT, block.data()) == 1 && block == kInputs;
  }
  // drvRead of the whole input image and the status every 10 ms for `span`.
  Watch Observe(std::chrono::milliseconds span) {
    Watch w;
    const auto end = Clock::now() + span;
    while (Clock::now() < end) {
      Bytes block(2);
      const int r = instance_->Read(1, -1, DRV_IMAGE_INPUT, block.data());
      ++w.reads;
      if (r != 1) {
        ++w.refused;
      } else if (block == kInputs) {
        ++w.current;
      } else {
        ++w.wrong;
      }
      const int state = State();
      w.lost += state == 2;
      w.running += state == 1;
      std::this_thread::sleep_for(10ms);
    }
    return w;
  }

  qmx::test::TempDir dir_{"qmx-wire"};
  std::unique_ptr<PtyPair> line_;
  std::unique_ptr<SimulatorProcess> peer_;
  std::unique_ptr<DriverInstance> instance_;
};

// How drvRead answers while a fault stands.
enum class Reads { kCurrent, kRefused, kEither };

struct WireFault {
  const char* name;
  const char* rule;  // the peer's fault rule
  bool fromStart;    // in place before monitoring starts
  bool rtu;          // also over RTU
  int faultMs;       // how long it stands before it is cleared (0: it stays)
  Reads reads;
  int state;           // the status while it stands (0: either)
  int connections;     // TCP connections over the whole road
  int errorLines;      // at most so many level-0 lines over the whole road
  const char* line;    // one of them
  int recoverS = 2;    // how long the station may take to deliver again
};

const WireFault kWireFaults[] = {
    {"exception to the initial read", "exception=2,fc=4,address=0x1110", true, true, 0, Reads::kCurrent, 1, 1, 1,
     "Cannot read. CommInit. Key: ExpansionSlotNo. ErrCode: -8002."},
    {"exception to a monitored register", "exception=2,fc=4,address=0x1028", false, true, 0, Reads::kCurrent, 1, 1,
     1, "Cannot read. CommInit. Key: IOUpdateTime. ErrCode: -8002."},
    {"exception to the input read", "exception=2,fc=4,address=0", false, true, 2000, Reads::kRefused, 2, 1, 1,
     "Cannot read. Input Monitoring. ErrCode: -8002."},
    {"late reply", "delay=450,fc=4,address=0,count=1", false, true, 0, Reads::kEither, 0, 1, 1,
     "Cannot read. Input Monitoring. ErrCode: -91"},
    {"wrong unit", "wrong-unit", false, true, 2000, Reads::kRefused, 2, 1, 2, "Device is not response."},
    {"wrong transaction id", "wrong-tid,fc=4,address=0,count=1", false, false, 0, Reads::kEither, 0, 2, 1,
     "Cannot read. Input Monitoring. ErrCode: -8013."},
    {"silence then return", "silence", false, true, 2000, Reads::kRefused, 2, 1, 2, "Device is not response."},
    // Reconnected at once, the echo is out of step again: no line says the
    // link is restored, and the next try waits the reconnect period (5 s).
    {"echo out of step on every link", "wrong-tid,fc=8", false, false, 2000, Reads::kRefused, 2, 3, 1,
     "Device is not response.", 8},
    {"every reply repeated 10 ms later", "repeat=10", false, true, 0, Reads::kEither, 1, 1, 0, ""},
};

struct WireCase {
  WireFault fault;
  bool tcp;
};

void PrintTo(const WireCase& c, std::ostream* os) { *os << c.fault.name << (c.tcp ? " over TCP" : " over RTU"); }

std::vector<WireCase> WireCases() {
  std::vector<WireCase> cases;
  for (const WireFault& f : kWireFaults) {
    cases.push_back({f, true});
    if (f.rtu) cases.push_back({f, false});
  }
  return cases;
}

class WireFaults : public WireBase, public ::testing::WithParamInterface<WireCase> {};

TEST_P(WireFaults, TheStationStaysAndTellsWhatItCannotRead) {
  const WireFault& f = GetParam().fault;
  const bool tcp = GetParam().tcp;
  if (!StartPeer(tcp)) GTEST_SKIP() << "no peer: " << (peer_ ? peer_->error() : line_->error());
  if (f.fromStart) {
    ASSERT_TRUE(peer_->Ok(std::string("fault ") + f.rule));
  }
  StartInstance(tcp);
  ASSERT_TRUE(Eventually([&] { return Current() && State() == 1; })) << LogCapture::Dump();
  if (!f.fromStart) {
    ASSERT_TRUE(peer_->Ok(std::string("fault ") + f.rule));
  }
  const auto applied = Clock::now();
  const int echoesBefore = Stat(*peer_, "echoes");
  const int requestsBefore = Stat(*peer_, "requests");

  // While it stands, from its first effect on.
  if (f.reads == Reads::kRefused) {
    EXPECT_TRUE(Eventually([&] { return !Current(); }, 2s)) << LogCapture::Dump();
  }
  if (f.state == 2) {
    EXPECT_TRUE(Eventually([&] { return State() == 2; }, 2s)) << LogCapture::Dump();
  }
  const auto until = applied + std::chrono::milliseconds(f.faultMs > 0 ? f.faultMs : 1500);
  const Watch during = Observe(std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()));
  EXPECT_GT(during.reads, 20);
  EXPECT_EQ(during.wrong, 0) << "no byte of another reply reaches the image";
  if (f.reads == Reads::kCurrent) {
    EXPECT_EQ(during.current, during.reads);
  }
  if (f.reads == Reads::kRefused) {
    EXPECT_EQ(during.refused, during.reads) << "nothing older than the failure";
  }
  if (f.state == 1) {
    EXPECT_EQ(during.running, during.reads);
  }
  if (f.state == 2) {
    EXPECT_EQ(during.lost, during.reads) << "the status shows the failure";
  }
  // A cycle asks what it always asks, once each (echo, two monitored
  // registers, the input and the output), not the initial read's seven
  // requests again.
  const int cycles = Stat(*peer_, "echoes") - echoesBefore;
  if (f.state == 1) {
    EXPECT_GT(cycles, 5);
    EXPECT_LE(Stat(*peer_, "requests") - requestsBefore, 5 * cycles + 5);
  }

  // After it clears, the next cycles deliver again.
  ASSERT_TRUE(peer_->Ok("clear"));
  EXPECT_TRUE(Eventually([&] { return Current() && State() == 1; }, std::chrono::seconds(f.recoverS)))
      << LogCapture::Dump();
  const Watch after = Observe(300ms);
  EXPECT_EQ(after.current, after.reads);
  EXPECT_EQ(after.wrong, 0);

  if (tcp) {
    EXPECT_EQ(Stat(*peer_, "connections"), f.connections) << LogCapture::Dump();
  }
  // Once, not in every cycle (a fault on every request may meet a cycle
  // past its echo first).
  EXPECT_LE(ErrorLines(), f.errorLines) << LogCapture::Dump();
  EXPECT_GE(ErrorLines(), *f.line ? 1 : 0) << LogCapture::Dump();
  if (*f.line) {
    EXPECT_EQ(LogCapture::Matching(f.line).size(), 1u) << LogCapture::Dump();
  }
  if (std::string(f.line) == "Device is not response.") {
    EXPECT_EQ(LogCapture::Matching("Communication be restored to NORMAL status").size(), 1u) << LogCapture::Dump();
  }
}

INSTANTIATE_TEST_SUITE_P(Peer, WireFaults, ::testing::ValuesIn(WireCases()),
                         [](const ::testing::TestParamInfo<WireCase>& info) {
                           return qmx::test::TestName(info.param.fault.name) + (info.param.tcp ? "_tcp" : "_rtu");
                         });

TEST_F(WireBase, AWriteTheDeviceRefusesShowsInTheStatusUntilOneSucceeds) {
  if (!StartPeer(true)) GTEST_SKIP() << "no peer: " << peer_->error();
  StartInstance(true);
  ASSERT_TRUE(Eventually([&] { return Current() && State() == 1; })) << LogCapture::Dump();
  ASSERT_TRUE(peer_->Ok("fault exception=2,fc=15"));
  ASSERT_EQ(instance_->WriteByte(1, 3, DRV_IMAGE_OUTPUT, Bytes{0x0F}.data(), 0, 1), 1);
  ASSERT_TRUE(Eventually([&] { return State() == 2; }, 2s)) << LogCapture::Dump();
  const Watch refused = Observe(400ms);
  EXPECT_EQ(refused.lost, refused.reads) << "the refusal stands";
  EXPECT_EQ(refused.current, refused.reads) << "the inputs are still read";
  EXPECT_EQ(LogCapture::Matching("Cannot write. Output. Target IO: 3. ErrCode: -8002.").size(), 1u);

  ASSERT_TRUE(peer_->Ok("clear"));
  ASSERT_EQ(instance_->WriteByte(1, 3, DRV_IMAGE_OUTPUT, Bytes{0x0F}.data(), 0, 1), 1);
  EXPECT_TRUE(Eventually([&] { return State() == 1; }, 2s)) << LogCapture::Dump();
  EXPECT_EQ(peer_->Command("output"), "OK 0F");
}

// Forty writes queued for the output module while the line repeats every
// reply 10 ms later: all forty replies look alike (address and count), and
// each write goes on the wire once, in its order, the last value standing.
class QueuedBurst : public WireBase, public ::testing::WithParamInterface<bool> {};

TEST_P(QueuedBurst, OnARepeatingLineEachWriteIsOneFrame) {
  const bool tcp = GetParam();
  if (!StartPeer(tcp)) GTEST_SKIP() << "no peer";
  StartInstance(tcp);
  ASSERT_TRUE(Eventually([&] { return Current() && State() == 1; })) << LogCapture::Dump();
  ASSERT_TRUE(peer_->Ok("fault repeat=10"));
  LogCapture::Clear();
  const int writesBefore = Stat(*peer_, "writes");
  const int requestsBefore = Stat(*peer_, "requests");
  const int echoesBefore = Stat(*peer_, "echoes");
  constexpr int kWrites = 40;
  for (int i = 1; i <= kWrites; ++i) {
    ASSERT_EQ(instance_->WriteByte(1, 3, DRV_IMAGE_OUTPUT, Bytes{static_cast<uint8_t>(i)}.data(), 0, 1), 1) << i;
  }
  // The inputs, read all along, never show another reply's bytes.
  int wrong = 0;
  const auto deadline = Clock::now() + 20s;
  while (Stat(*peer_, "writes") < writesBefore + kWrites && Clock::now() < deadline) {
    Bytes block(2);
    wrong += instance_->Read(1, -1, DRV_IMAGE_INPUT, block.data()) == 1 && block != kInputs;
    std::this_thread::sleep_for(10ms);
  }
  const Watch after = Observe(400ms);
  EXPECT_EQ(wrong + after.wrong, 0) << "no byte of another reply reaches the image";
  EXPECT_EQ(after.running, after.reads);
  EXPECT_EQ(Stat(*peer_, "writes") - writesBefore, kWrites) << "one frame per write" << LogCapture::Dump();
  EXPECT_EQ(peer_->Command("output"), "OK 28");
  const int cycles = Stat(*peer_, "echoes") - echoesBefore;
  EXPECT_LE(Stat(*peer_, "requests") - requestsBefore, kWrites + 5 * cycles + 5);
  EXPECT_EQ(ErrorLines(), 0) << LogCapture::Dump();
}

INSTANTIATE_TEST_SUITE_P(Peer, QueuedBurst, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& info) { return info.param ? "tcp" : "rtu"; });

// A burst of queued writes met by a stop: the device answers at once,
// never (function 15 silent) or 40 ms late.
struct StopCase {
  const char* name;
  const char* rule;
  bool tcp;
};

void PrintTo(const StopCase& c, std::ostream* os) { *os << c.name; }

class StopWithQueuedWrites : public WireBase, public ::testing::WithParamInterface<StopCase> {};

TEST_P(StopWithQueuedWrites, TheStopIsQuickAndTheWritesLeftAreCountedInOneLine) {
  const StopCase& c = GetParam();
  if (!StartPeer(c.tcp)) GTEST_SKIP() << "no peer";
  StartInstance(c.tcp);
  ASSERT_TRUE(Eventually([&] { return Current() && State() == 1; })) << LogCapture::Dump();
  if (*c.rule) {
    ASSERT_TRUE(peer_->Ok(std::string("fault ") + c.rule));
  }
  LogCapture::Clear();
  int accepted = 0;
  for (int i = 0; i < 256; ++i) accepted += instance_->WriteByte(1, 3, DRV_IMAGE_OUTPUT, Bytes{uint8_t(i)}.data(), 0, 1);
  EXPECT_EQ(accepted, 256) << "as many as the queue holds";
  std::this_thread::sleep_for(100ms);
  const auto start = Clock::now();
  ASSERT_EQ(instance_->StopComm(), 1);
  const auto took = Clock::now() - start;
  EXPECT_LT(took, 250ms) << "a stop does not wait for the queue";
  RecordProperty("stop_ms", static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(took).count()));

  // Each accepted write was carried out, failed with its own line before the
  // stop, or is counted in the one line of the stop; the one under way when
  // the stop came may be both carried out and counted.
  const auto dropLines = LogCapture::Matching("Queued writes are dropped because communication is stopped. Count: ");
  ASSERT_LE(dropLines.size(), 1u) << LogCapture::Dump();
  const int dropped = dropLines.empty() ? 0 : std::atoi(dropLines[0].text.c_str() + dropLines[0].text.rfind(' ') + 1);
  const int failed = static_cast<int>(LogCapture::Matching("Cannot write. Output.").size());
  EXPECT_LE(ErrorLines(), failed + 1) << LogCapture::Dump();
  EXPECT_LE(failed, 2) << "no line per write";
  const int carried = Stat(*peer_, "writes");
  RecordProperty("carried", carried);
  RecordProperty("dropped", dropped);
  RecordProperty("failed", failed);
  EXPECT_GE(carried + failed + dropped, accepted) << LogCapture::Dump();
  EXPECT_LE(carried + failed + dropped, accepted + 1) << LogCapture::Dump();
}

INSTANTIATE_TEST_SUITE_P(Peer, StopWithQueuedWrites,
                         ::testing::Values(StopCase{"answering_tcp", "", true}, StopCase{"answering_rtu", "", false},
                                           StopCase{"silent_tcp", "silence,fc=15", true},
                                           StopCase{"silent_rtu", "silence,fc=15", false},
                                           StopCase{"late_tcp", "delay=40,fc=15", true},
                                           StopCase{"late_rtu", "delay=40,fc=15", false}),
                         [](const ::testing::TestParamInfo<StopCase>& info) { return std::string(info.param.name); });

TEST_F(WireBase, AnOfflineChannelRefusesEveryOnlineExportAndReachesNoPort) {
  // A station listens on COM1, where a serial master of an Offline channel
  // would go.
  ::setenv(qmx::serial::kComDirVariable, dir_.path().c_str(), 1);
  line_ = std::make_unique<PtyPair>(dir_.path(), "COM1", "peer");
  if (!line_->Start()) GTEST_SKIP() << "no pty pair: " << line_->error();
  const int fd = ::open(line_->peer().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  termios t{};
  ::tcgetattr(fd, &t);
  ::cfmakeraw(&t);
  ::tcsetattr(fd, TCSANOW, &t);

  DriverInstance instance;
  ASSERT_EQ(instance.SetChannelProperty("O", "Offline\t"), 1);
  ASSERT_EQ(instance.SetDeviceProperty(1, "QMX-4101", "500\t0x4101,1"), 1);
  ASSERT_EQ(instance.SetModuleList(1, kEntries.data(), static_cast<int>(kEntries.size())), 1);
  Bytes buffer(64, 0);
  int calls = 0;
  for (int kind : {DRV_IMAGE_PARA, DRV_IMAGE_COMMINIT, DRV_IMAGE_INPUT, DRV_IMAGE_OUTPUT}) {
    EXPECT_EQ(instance.Read(1, -1, kind, buffer.data()), 0) << kind;
    ++calls;
  }
  for (int kind : {DRV_IMAGE_PARA, DRV_IMAGE_COMMINIT, DRV_IMAGE_OUTPUT}) {
    EXPECT_EQ(instance.WriteByte(1, 0, kind, buffer.data(), 0, 2), 0) << kind;
    ++calls;
  }
  for (int command : {0, 1}) {
    EXPECT_EQ(instance.SendSpecialCmd(1, command), 0) << command;
    ++calls;
  }
  EXPECT_EQ(instance.GetIOConfig(1), 0);
  ++calls;
  EXPECT_EQ(instance.StartComm(), 0);
  ++calls;
  EXPECT_FALSE(instance.IsRunning());
  EXPECT_EQ(LogCapture::Matching("Communication drive does not supprt online functions").size(),
            static_cast<size_t>(calls))
      << LogCapture::Dump();

  pollfd p{fd, POLLIN, 0};
  EXPECT_EQ(::poll(&p, 1, 300), 0) << "a frame went out on COM1";
  ::close(fd);
}

}  // namespace
}  // namespace tessivar
