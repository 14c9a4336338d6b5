// The discovery broadcast inside network namespaces made by the test: two
// simulators answer, others answer wrongly, and a responder of the test
// itself records what arrives and sends datagrams that are no answer.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "driver/driver_instance.h"
#include "driver/driver_library.h"
#include "driver/modbus/modbus_tcp.h"
#include "driver/records.h"
#include "tests/driver/log_capture.h"
#include "tests/driver_modbus/netlab.h"
#include "tests/driver_modbus/peers.h"
#include "tools/simulator/testing/simulator_process.h"

namespace tessivar {
namespace {

using qmx::sim::SimulatorProcess;
using qmx::test::Bytes;
using qmx::test::NetLab;

std::string Dotted(const uint8_t* p) {
  return std::to_string(p[0]) + "." + std::to_string(p[1]) + "." + std::to_string(p[2]) + "." + std::to_string(p[3]);
}

// A UDP responder of the test's own: records each datagram and its source
// port and answers with the datagrams it was given.
class Responder {
public:
  Responder(int fd, std::vector<Bytes> answers) : fd_(fd), answers_(std::move(answers)) {
    thread_ = std::thread([this] { Run(); });
  }
  ~Responder() {
    stop_ = true;
    thread_.join();
    ::close(fd_);
  }
  std::vector<std::pair<Bytes, int>> Received() {
    std::lock_guard<std::mutex> guard(lock_);
    return received_;
  }

private:
  void Run() {
    while (!stop_.load()) {
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, 20) != 1) continue;
      uint8_t buffer[512];
      sockaddr_in from{};
      socklen_t len = sizeof from;
      const ssize_t n = ::recvfrom(fd_, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &len);
      if (n < 0) continue;
      {
        std::lock_guard<std::mutex> guard(lock_);
        received_.emplace_back(Bytes(buffer, buffer + n), ntohs(from.sin_port));
      }
      for (const Bytes& answer : answers_)
        ::sendto(fd_, answer.data(), answer.size(), 0, reinterpret_cast<sockaddr*>(&from), len);
    }
  }

  int fd_;
  std::vector<Bytes> answers_;
  std::mutex lock_;
  std::vector<std::pair<Bytes, int>> received_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

int BoundUdpSocket(uint16_t port) {
  const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(port);
  addr.sin_addr.s_addr = htonl(INADDR_ANY);
  if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

Bytes Answer(const Bytes& header, size_t length, uint8_t firstByte) {
  Bytes out = header;
  out.resize(length, 0);
  if (length > 8) out[8] = firstByte;
  return out;
}

// An adapter's answer: the header, then its record (IP address, mask,
// gateway, MAC address, model code 0x4101 in bytes 22 and 23).
Bytes AdapterAnswer(const std::string& ip, uint8_t macLast) {
  Bytes out = {0xEE, 0xEE, 0xFF, 0xFF, 0x0E, 0x80, 0x01, 0x00};
  out.resize(kDiscoveryReplyLength, 0);
  uint8_t* r = out.data() + kDiscoveryHeaderLength;
  ::inet_pton(AF_INET, ip.c_str(), r);
  const uint8_t rest[] = {255, 255, 255, 0, 10, 231, 0, 1, 0x00, 0x1A, 0x4C, 0x00, 0x01, macLast};
  std::copy(std::begin(rest), std::end(rest), r + 4);
  r[22] = 0x01;
  r[23] = 0x41;
  return out;
}

// Answers the first discovery request with the answers `make` gives for
// i = 0, 1, ... as fast as the socket takes them (or `pauseUs` apart):
// `count` of them, or, with a count of 0, as many as fit into `forMs`.
class Flooder {
public:
  Flooder(int fd, std::function<Bytes(int)> make, int count, int forMs, int pauseUs = 0)
      : fd_(fd), make_(std::move(make)), count_(count), forMs_(forMs), pauseUs_(pauseUs) {
    thread_ = std::thread([this] { Run(); });
  }
  ~Flooder() {
    stop_ = true;
    thread_.join();
    ::close(fd_);
  }
  int sent() const { return sent_.load(); }

private:
  void Run() {
    sockaddr_in from{};
    socklen_t len = sizeof from;
    for (;;) {
      if (stop_.load()) return;
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, 20) != 1) continue;
      uint8_t buffer[64];
      if (::recvfrom(fd_, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &len) >= 0) break;
    }
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(forMs_);
    for (int i = 0; (count_ == 0 || i < count_) && !stop_.load() && std::chrono::steady_clock::now() < end; ++i) {
      const Bytes answer = make_(i);
      if (::sendto(fd_, answer.data(), answer.size(), 0, reinterpret_cast<sockaddr*>(&from), len) > 0) ++sent_;
      if (pauseUs_ > 0) std::this_thread::sleep_for(std::chrono::microseconds(pauseUs_));
    }
  }

  int fd_;
  std::function<Bytes(int)> make_;
  int count_;
  int forMs_;
  int pauseUs_;
  std::atomic<int> sent_{0};
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

class Discovery : public ::testing::Test {
protected:
  // Adapters 0 and 1 answer properly, 2 with a short reply, 3 with its
  // header in request order; all on `port`.
  void StartSimulators(int port) {
    struct Adapter {
      const char* product;
      const char* mac;
      const char* fault;
    };
    const Adapter adapters[] = {{"0x8040", "00:1A:4C:00:00:11", "none"},
                                {"0x8123", "00:1A:4C:00:00:12", "none"},
                                {"0x8040", "00:1A:4C:00:00:13", "short"},
                                {"0x8040", "00:1A:4C:00:00:14", "bad-header"}};
    for (int host = 0; host < 4; ++host) {
      const Adapter& a = adapters[host];
      auto sim = std::make_unique<SimulatorProcess>(std::vector<std::string>{
          "--discovery", "0.0.0.0:" + std::to_string(port), "--ip", NetLab::HostAddress(host), "--mask",
          "255.255.255.0", "--gateway", NetLab::kToolAddress, "--mac", a.mac, "--product", a.product,
          "--discovery-fault", a.fault});
      bool started = false;
      ASSERT_TRUE(lab_.RunIn(host, [&] { started = sim->Start(); }));
      ASSERT_TRUE(started) << sim->error();
      sims_.push_back(std::move(sim));
    }
  }

  // Scans from the tool's namespace.
  void Scan(const TcpCommSetting& settings, int windowMs, int* result) {
    ASSERT_TRUE(lab_.RunIn(-1, [&] {
      CModbusTCP master;
      ASSERT_EQ(master.OpenConnection(settings, 0, 0), 1);
      *result = master.ScanDevice(0, hits_, counter_, windowMs);
      master.CloseConnection();
    }));
  }

  void SetUp() override {
    std::string why;
    if (!lab_.Create(&why)) GTEST_SKIP() << "no network namespace: " << why;
  }

  // drvStartAutoScan from the tool's namespace with a window of 500 ms and
  // the driver's lines captured: `check` looks at the list, which must come
  // within the window and one module-scan deadline.
  void AutoScan(const std::function<void(const ScanResultList&)>& check) {
    DriverLibrary::Get().SetCallback(&qmx::test::LogCapture::Callback);
    DriverLibrary::Get().SetSwitches(1, 1, 1, 1);
    ASSERT_TRUE(lab_.RunIn(-1, [&] {
      DriverInstance instance;
      const auto start = std::chrono::steady_clock::now();
      auto* list = reinterpret_cast<ScanResultList*>(instance.StartAutoScan(0, 500, ""));
      const auto took = std::chrono::steady_clock::now() - start;
      ASSERT_NE(list, nullptr);
      check(*list);
      EXPECT_LT(took, std::chrono::milliseconds(500 + 5000 + 1000)) << "the window and one module-scan deadline";
      instance.FreeAutoScan(list);
    }));
    DriverLibrary::Get().SetCallback(nullptr);
    DriverLibrary::Get().SetSwitches(0, 0, 0, 0);
  }

  // A flooder of the test on port 8000 of adapter namespace 4.
  std::unique_ptr<Flooder> Flood(std::function<Bytes(int)> make, int count, int forMs, int pauseUs = 0) {
    std::unique_ptr<Flooder> flooder;
    EXPECT_TRUE(lab_.RunIn(4, [&] {
      const int fd = BoundUdpSocket(kDiscoveryPort);
      ASSERT_GE(fd, 0);
      flooder = std::make_unique<Flooder>(fd, std::move(make), count, forMs, pauseUs);
    }));
    return flooder;
  }

  NetLab lab_{5};
  std::vector<std::unique_ptr<SimulatorProcess>> sims_;
  ScanHits hits_;
  int counter_ = 0;
};

TEST_F(Discovery, TwoSimulatorsAnswerTheBroadcastToPort8000) {
  StartSimulators(kDiscoveryPort);
  int result = 0;
  Scan(DiscoverySettings(), 800, &result);
  EXPECT_EQ(result, 1);
  ASSERT_EQ(counter_, 2);
  ASSERT_EQ(hits_.discovery.size(), 2u);
  std::vector<const DiscoveryRecord*> records = {&hits_.discovery[0], &hits_.discovery[1]};
  std::sort(records.begin(), records.end(), [](auto* a, auto* b) { return a->bytes[3] < b->bytes[3]; });
  for (int i = 0; i < 2; ++i) {
    const auto& r = records[static_cast<size_t>(i)]->bytes;
    EXPECT_EQ(Dotted(&r[0]), NetLab::HostAddress(i));
    EXPECT_EQ(Dotted(&r[4]), "255.255.255.0");
    EXPECT_EQ(Dotted(&r[8]), NetLab::kToolAddress);
    EXPECT_EQ(Bytes(&r[12], &r[18]), (Bytes{0x00, 0x1A, 0x4C, 0x00, 0x00, static_cast<uint8_t>(0x11 + i)}));
  }
  // The model code, byte 23 high.
  EXPECT_EQ(records[0]->bytes[23] << 8 | records[0]->bytes[22], 0x8040);
  EXPECT_EQ(records[1]->bytes[23] << 8 | records[1]->bytes[22], 0x8123);
}

TEST_F(Discovery, DestinationAndPortAreParameters) {
  StartSimulators(18000);
  int result = 0;
  // Nobody answers on port 8000.
  Scan(DiscoverySettings(NetLab::kSubnetBroadcast), 300, &result);
  EXPECT_EQ(result, 1);
  EXPECT_EQ(counter_, 0);
  Scan(DiscoverySettings(NetLab::kSubnetBroadcast, 18000), 800, &result);
  EXPECT_EQ(result, 1);
  EXPECT_EQ(counter_, 2);
  EXPECT_EQ(hits_.discovery.size(), 2u);
}

TEST_F(Discovery, OnlyFullAnswersWithTheirHeaderAreTaken) {
  const Bytes good = {0xEE, 0xEE, 0xFF, 0xFF, 0x0E, 0x80, 0x01, 0x00};
  const Bytes requestOrder = {0xFF, 0xFF, 0xEE, 0xEE, 0x0E, 0x80, 0x01, 0x00};
  const Bytes otherWord2 = {0xEE, 0xEE, 0xFF, 0xFF, 0x0E, 0x00, 0x01, 0x00};
  const std::vector<Bytes> answers = {
      {},                          // empty datagram
      Answer(good, 8, 0),          // the header alone
      Answer(good, 9, 0x01),       // more than 8 bytes, far from a record
      Answer(good, 263, 0x02),     // one byte short
      Answer(requestOrder, 264, 0x03),
      Answer(otherWord2, 264, 0x04),
      Answer(good, 265, 0x06),     // one byte more
      Answer(good, 266, 0x07),     // as long as the receive buffer
      Answer(good, 600, 0x08),     // cut to the receive buffer
      Answer(good, 264, 0x05),     // the one answer
  };
  std::unique_ptr<Responder> responder;
  ASSERT_TRUE(lab_.RunIn(4, [&] {
    const int fd = BoundUdpSocket(kDiscoveryPort);
    ASSERT_GE(fd, 0);
    responder = std::make_unique<Responder>(fd, answers);
  }));
  int result = 0;
  Scan(DiscoverySettings(), 500, &result);
  EXPECT_EQ(result, 1);
  EXPECT_EQ(counter_, 1);
  ASSERT_EQ(hits_.discovery.size(), 1u);
  EXPECT_EQ(hits_.discovery[0].bytes[0], 0x05);

  // The request as it went out, from port 6012.
  const auto received = responder->Received();
  ASSERT_EQ(received.size(), 1u);
  EXPECT_EQ(received[0].first, Bytes(std::begin(kDiscoveryRequest), std::end(kDiscoveryRequest)));
  EXPECT_EQ(received[0].second, kDiscoveryLocalPort);
}

TEST_F(Discovery, AnAdapterThatAnswersAgainIsOneRecordAndAFloodIsBounded) {
  // One answer a hundred times: one adapter. Records without a MAC address
  // are told apart by their IP address.
  {
    auto flooder = Flood([](int i) { return AdapterAnswer(NetLab::HostAddress(i % 2), 0x21); }, 100, 2000);
    int result = 0;
    Scan(DiscoverySettings(), 500, &result);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(flooder->sent(), 100);
    EXPECT_EQ(counter_, 1);
    EXPECT_EQ(hits_.discovery.size(), 1u);
  }
  hits_ = ScanHits();
  counter_ = 0;
  {
    auto flooder = Flood(
        [](int i) {
          Bytes a = AdapterAnswer(NetLab::HostAddress(i % 3), 0);
          std::fill(a.begin() + kDiscoveryHeaderLength + 12, a.begin() + kDiscoveryHeaderLength + 18, 0);
          return a;
        },
        30, 2000);
    int result = 0;
    Scan(DiscoverySettings(), 500, &result);
    EXPECT_EQ(counter_, 3);
  }
  // Past the bound each further adapter is counted once, however often it
  // answers: 120 adapters, the last 20 of them twice.
  hits_ = ScanHits();
  {
    auto flooder = Flood([](int i) { return AdapterAnswer("10.231.1.1", uint8_t(i < 120 ? i : i - 20)); }, 140, 2000,
                         1000);
    int result = 0;
    Scan(DiscoverySettings(), 600, &result);
    ASSERT_EQ(hits_.discovery.size(), kMaxDiscoveryRecords);
    EXPECT_EQ(hits_.discovery.back().bytes[17], 99) << "the first 100 to answer";
    EXPECT_EQ(hits_.DiscoveryDroppedCount(), 20u);
  }
  // As many different answers as the socket takes: the records stop at the
  // bound and the window ends on time.
  hits_ = ScanHits();
  counter_ = 0;
  auto flooder = Flood([](int i) { return AdapterAnswer("10.231.1." + std::to_string(i % 250), uint8_t(i)); }, 0, 1500);
  int result = 0;
  const auto start = std::chrono::steady_clock::now();
  Scan(DiscoverySettings(), 700, &result);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1000));
  EXPECT_EQ(result, 1);
  EXPECT_GT(flooder->sent(), 1000);
  EXPECT_EQ(hits_.discovery.size(), kMaxDiscoveryRecords);
}

TEST_F(Discovery, ModuleScansOfAdaptersThatDoNotAnswerShareOneDeadline) {
  // Ten answers name addresses where nobody is, then a flood names
  // hundreds more: a hundred are listed, the others counted in one line.
  struct Case {
    int count;
    size_t records;
    size_t fullLines;
  } cases[] = {{10, 10, 0}, {0, kMaxDiscoveryRecords, 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.count);
    qmx::test::LogCapture::Clear();
    auto flooder = Flood([](int i) { return AdapterAnswer("10.231.0." + std::to_string(50 + i % 200), uint8_t(i)); },
                         c.count, 1000);
    AutoScan([&](const ScanResultList& list) { EXPECT_EQ(static_cast<size_t>(list.count), c.records); });
    EXPECT_EQ(qmx::test::LogCapture::Matching("Scan result is full with 100 adapters. Adapters not listed: ")
                  .size(),
              c.fullLines)
        << qmx::test::LogCapture::Dump();
    // Every adapter had its module scan, none waited for another's.
    EXPECT_EQ(qmx::test::LogCapture::Matching("Adapters without module scan").size(), 0u)
        << qmx::test::LogCapture::Dump();
  }
}

TEST_F(Discovery, AnAdapterBehindAdaptersThatCannotBeReachedIsScannedWithItsModules) {
  // A station in namespace 0 answers after 16 or 20 adapters to which
  // whatever the tool sends is lost, so that their module scans wait out
  // the whole deadline.
  SimulatorProcess station({"--model", "QMX-4101", "--modules", "QMX-1808,QMX-4402", "--freeze", "--tcp",
                            NetLab::HostAddress(0) + ":502"});
  bool started = false;
  ASSERT_TRUE(lab_.RunIn(0, [&] { started = station.Start(); }));
  ASSERT_TRUE(started) << station.error();
  auto lost = [](int i) { return "10.231.0." + std::to_string(100 + i); };
  for (int i = 0; i < 20; ++i) ASSERT_TRUE(lab_.Unanswered(lost(i)));
  qmx::test::LogCapture::Clear();
  for (const int ahead : {16, 20}) {
    SCOPED_TRACE(ahead);
    auto flooder = Flood([&](int i) { return AdapterAnswer(i < ahead ? lost(i) : NetLab::HostAddress(0), uint8_t(i)); },
                         ahead + 1, 2000, 1000);
    AutoScan([&](const ScanResultList& list) {
      ASSERT_EQ(list.count, ahead + 1);
      const ScannedAdapter& reachable = *list.adapters[ahead];
      EXPECT_EQ(reachable.text2, NetLab::HostAddress(0));
      ASSERT_EQ(reachable.moduleCount, 2) << qmx::test::LogCapture::Dump();
      EXPECT_EQ(reachable.modules[1].productCode, 0x4402);
    });
  }
  // Only the ones that cannot be reached fail, each once.
  EXPECT_EQ(qmx::test::LogCapture::Matching("Cannot").size(), 36u) << qmx::test::LogCapture::Dump();
  EXPECT_EQ(qmx::test::LogCapture::Matching("Cannot open connection. NA: . ErrCode: ").size(), 36u);
}

TEST_F(Discovery, AnUnreachableDestinationFailsTheSend) {
  // An adapter namespace has no route beyond its own subnet.
  ASSERT_TRUE(lab_.RunIn(4, [&] {
    CModbusTCP master;
    qmx::test::RecordingOwner owner;
    master.SetOwner(&owner);
    ASSERT_EQ(master.OpenConnection(DiscoverySettings("10.99.0.255"), 0, 0), 1);
    EXPECT_LT(master.ScanDevice(0, hits_, counter_, 100), 0);
    ASSERT_FALSE(owner.Lines().empty());
    EXPECT_EQ(owner.Lines().back(),
              (std::pair<int, std::string>{0, " [ModbusTCP] WriteBroadCast is failed. Func: ModbusTCP::ScanDevice"}));
  }));
  EXPECT_EQ(counter_, 0);
}

}  // namespace
}  // namespace tessivar
