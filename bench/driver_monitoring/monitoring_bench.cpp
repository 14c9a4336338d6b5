// The driver's monitoring in the main program's shapes, against the device
// simulator, at an update time of 100 ms:
//
//  1. 100 instances with one TCP station each (one simulator process per
//     station; the driver runs their loops as fibers of one thread),
//     against the anchor: an event-driven client doing the same twelve
//     transactions per station and cycle from one epoll thread (non-
//     blocking sockets, one request outstanding per connection, a timerfd
//     for the period), and the floor of a thread per station: bare
//     blocking clients with nothing else. They run in turn on
//     the same stations, driver, anchor, floor, floor, anchor, driver, over
//     several rounds; each run settles, then the CPU of the process (all of
//     it the client's: the main thread sleeps) is taken over a window.
//     Printed: the CPU ratios driver / anchor, floor / anchor and driver /
//     floor (min, median, max of the rounds), the context switches per
//     transaction of each side (over the cycles each side counted itself),
//     the period statistics of the anchor and of each device of the driver,
//     both timed as each station's cycle starts and counted against the
//     same 10 % (and the anchor's timer ticks beside them), and the time from a value change
//     in a station (at moments spread over the period) to drvRead seeing it.
//  2. One RS485 instance with 32 nodes on a socat pty line: the time of a
//     full round over the line against the time its device cycles took
//     themselves (their transactions and the line's pauses), and the
//     requests the stations saw per cycle (twelve when none is sent twice).
//  3. drvStopComm while the device's reply is outstanding (a silent station
//     with a 5 s time-out).
//
//   bench-bin/bench_driver_monitoring [--instances=100] [--seconds=5]
//       [--rounds=4] [--nodes=32] [--baud=115200] [--stops=10]
//       [--only=driver|anchor|floor]   (one side alone for --seconds, for
//                                       strace or perf; nothing else runs)
//       [--run-ahead=0]  (the driver without running its cycles ahead)
//       [--order=DAFFAD] (the sides of a round; L is the driver without
//                         running its cycles ahead, beside D)
//   --instances=0, --nodes=0 and --stops=0 leave parts 1, 2 and 3 out.
//
// Goals: CPU ratio driver / anchor <= 1.1, every period of every device
// within 10 % of 100 ms; the RS485 round within 1.2 x its cycles' own time;
// a stop under 100 ms.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "common/Utility.h"
#include "driver/driver_instance.h"
#include "driver/modbus/modbus_tcp.h"
#include "driver/modbus/run_ahead.h"
#include "driver/modbus_driver.h"
#include "platform/serial/serial_device.h"
#include "tools/simulator/testing/simulator_process.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using tessivar::DriverInstance;
using tessivar::ModbusDriver;
using qmx::sim::SimulatorProcess;

constexpr auto kPeriod = 100ms;
constexpr double kPeriodMs = 100.0;
// Every period must lie within this share of the update time.
constexpr double kPeriodTolerance = 0.10;

// The CommInit block the main program sends for a QMX-4101 of the shipped
// catalogue (its InitOnly monitoring block). Nine of its registers are
// monitored, so a cycle is twelve transactions: the echo, nine monitored
// reads, the input read and the output read.
const char* const kInitBlock =
    "ExpansionSlotNo,Unsigned16,1\tActiveSlotNo,Unsigned16,1\tInactiveSlotNo,Unsigned16,1\tInactiveSlots,ByteArea,4\t"
    "LiveSlots,ByteArea,4\tAlarmSlots,ByteArea,4\tBusStatus,ByteArea,2\tFieldPwrStatus,ByteArea,2\t"
    "WatchdogErr,ByteArea,2\tInputMode,Unsigned16,1\tOutputMode,Unsigned16,1\tFirmware,ByteArea,2\t"
    "FirmwareDate,ByteArea,4\tWatchdogTime,Unsigned16,1\tTCPConnectionTimeOut,Unsigned16,1\t"
    "IPSettingMethod,Unsigned16,1\tSubnetMask,ByteArea,4\tGatewayAddress,ByteArea,4\tMacAddress,ByteArea,6\t"
    "DipSwitch,ByteArea,2\tIOUpdateTime,Unsigned16,1";
const std::vector<ModuleListEntry> kEntries = {
    {0x4101, "NA", "Station", 4, kInitBlock, "", 0, 0, ""},
    {0x1808, "IO", "QMX-1808", 2, "", "", 1, 0, "NDI,8,1,0,8,0,3,DI,1"},
    {0x2808, "IO", "QMX-2808", 2, "", "", 0, 1, "NDO,8,0,1,0,8,4,DO,2"},
    {0x3404, "IO", "QMX-3404", 4, "", "", 8, 0, "NAI,A,16,0,64,0,5,AI,3"},
    {0x4402, "IO", "QMX-4402", 2, "", "", 0, 4, "NAO,A,0,16,0,32,6,AO,4"}};
const char* const kModules = "QMX-1808,QMX-2808,QMX-3404,QMX-4402";

// When each cycle started and how long it took, per device.
using CycleTimes = std::vector<std::pair<Clock::time_point, Clock::duration>>;

// The real driver object, with each monitoring cycle timed while
// `recording` is set. Only the instance's own thread writes the log, and it
// is read after the thread has ended (drvStopComm), so it needs no lock that
// the driver's threads would meet.
class TimedDriver : public ModbusDriver {
public:
  TimedDriver(DriverInstance& owner, const std::atomic<bool>& recording)
      : ModbusDriver(owner), recording_(recording) {}
  int MonitoringDevice(const std::string& key) override {
    cycles_.fetch_add(1, std::memory_order_relaxed);
    if (!recording_.load(std::memory_order_relaxed)) return ModbusDriver::MonitoringDevice(key);
    const auto start = Clock::now();
    const int r = ModbusDriver::MonitoringDevice(key);
    // Looked up once per device, as the anchor keeps its log by station.
    if (!last_ || key != lastKey_) {
      lastKey_ = key;
      last_ = &log_[key];
    }
    last_->emplace_back(start, Clock::now() - start);
    return r;
  }
  const std::map<std::string, CycleTimes>& log() const { return log_; }
  // Cycles begun so far (any thread may read it).
  size_t Cycles() const { return cycles_.load(std::memory_order_relaxed); }

private:
  const std::atomic<bool>& recording_;
  std::atomic<size_t> cycles_{0};
  std::map<std::string, CycleTimes> log_;
  std::string lastKey_;
  CycleTimes* last_ = nullptr;
};

std::unique_ptr<DriverInstance> NewInstance(const std::atomic<bool>& recording) {
  return std::make_unique<DriverInstance>(
      [&recording](DriverInstance& owner) { return std::make_unique<TimedDriver>(owner, recording); });
}

const TimedDriver& TimedOf(DriverInstance& instance) { return static_cast<const TimedDriver&>(instance.Driver()); }

bool AddStation(DriverInstance& instance, DeviceKey key, int node, int updateMs) {
  const std::string property = std::to_string(updateMs) + "\t0x4101," + std::to_string(node);
  return instance.SetDeviceProperty(key, "QMX-4101", property.c_str()) == 1 &&
         instance.SetModuleList(key, kEntries.data(), static_cast<int>(kEntries.size())) == 1;
}

// User and system CPU of the whole process.
double ProcessCpuSeconds(double* system = nullptr) {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  if (system) *system = static_cast<double>(u.ru_stime.tv_sec) + static_cast<double>(u.ru_stime.tv_usec) / 1e6;
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Context switches of the whole process (voluntary and forced).
long ProcessSwitches() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_nvcsw + u.ru_nivcsw;
}

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

double Percentile(std::vector<double> v, double p) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[static_cast<size_t>(p * static_cast<double>(v.size() - 1))];
}

int Flag(int argc, char** argv, const char* name, int fallback) {
  const std::string prefix = std::string("--") + name + "=";
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], prefix.c_str(), prefix.size()) == 0) return std::atoi(argv[i] + prefix.size());
  }
  return fallback;
}

std::string TextFlag(int argc, char** argv, const char* name) {
  const std::string prefix = std::string("--") + name + "=";
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], prefix.c_str(), prefix.size()) == 0) return argv[i] + prefix.size();
  }
  return {};
}

bool WaitUntil(const std::function<bool()>& check, std::chrono::milliseconds limit) {
  const auto deadline = Clock::now() + limit;
  while (Clock::now() < deadline) {
    if (check()) return true;
    std::this_thread::sleep_for(5ms);
  }
  return check();
}

int InputByte(DriverInstance& instance, DeviceKey key) {
  uint8_t value = 0;
  return instance.Read(key, 1, DRV_IMAGE_INPUT, &value) == 1 ? value : -1;
}

// The periods between consecutive cycle starts, per device, gathered over
// every run of one side.
struct Periods {
  std::map<std::string, std::vector<double>> perDevice;  // ms
  double busyMs = 0;                                     // sum of the cycles' own time
  size_t cycles = 0;

  void Add(const std::string& device, const CycleTimes& cycles) {
    std::vector<double>& mine = perDevice[device];
    for (size_t i = 0; i < cycles.size(); ++i) {
      busyMs += Ms(cycles[i].second);
      ++this->cycles;
      if (i > 0) mine.push_back(Ms(cycles[i].first - cycles[i - 1].first));
    }
  }
  std::vector<double> All() const {
    std::vector<double> all;
    for (const auto& [device, mine] : perDevice) all.insert(all.end(), mine.begin(), mine.end());
    return all;
  }
};

bool WithinTolerance(double ms, double periodMs) { return std::abs(ms - periodMs) <= kPeriodTolerance * periodMs; }

// A summary line, then, with `perDevice`, min / median / max of every
// device, four to a line.
void PrintPeriods(const char* side, const Periods& p, double periodMs, bool perDevice) {
  const std::vector<double> all = p.All();
  if (all.empty()) {
    std::printf("  %s: no periods recorded\n", side);
    return;
  }
  const size_t outside =
      static_cast<size_t>(std::count_if(all.begin(), all.end(), [&](double ms) { return !WithinTolerance(ms, periodMs); }));
  std::printf("  %s periods: median %.2f ms, p1 %.2f, p99 %.2f, shortest %.2f, longest %.2f ms; "
              "%zu of %zu periods of %zu devices outside %.0f %% of %.0f ms\n",
              side, Percentile(all, 0.5), Percentile(all, 0.01), Percentile(all, 0.99),
              *std::min_element(all.begin(), all.end()), *std::max_element(all.begin(), all.end()), outside,
              all.size(), p.perDevice.size(), 100 * kPeriodTolerance, periodMs);
  if (!perDevice) return;
  int column = 0;
  for (const auto& [device, mine] : p.perDevice) {
    if (mine.empty()) continue;
    std::printf("%s%6s %6.2f/%6.2f/%6.2f", column == 0 ? "    " : "   ", device.c_str(),
                *std::min_element(mine.begin(), mine.end()), Percentile(mine, 0.5),
                *std::max_element(mine.begin(), mine.end()));
    if (++column == 4) {
      std::printf("\n");
      column = 0;
    }
  }
  if (column != 0) std::printf("\n");
}

// ---- 1. TCP instances ----

// The requests of one cycle of a QMX-4101 station as the driver sends them
// (function, address, quantity; the echo's sub-function and data in the same
// places).
struct BareRequest {
  uint8_t function;
  uint16_t address;
  uint16_t quantity;
};
constexpr BareRequest kCycleRequests[] = {{8, 0x0000, 0xABCD}, {4, 0x1111, 1}, {4, 0x1112, 1}, {4, 0x1116, 2},
                                          {4, 0x1117, 2},      {4, 0x1118, 2}, {4, 0x1119, 1}, {4, 0x1119, 1},
                                          {4, 0x1119, 1},      {4, 0x1028, 1}, {4, 0x0000, 5}, {3, 0x0800, 3}};
constexpr int kTransactionsPerCycle = static_cast<int>(std::size(kCycleRequests));
constexpr int kMbapHeader = 7;  // MBAP prefix and unit

// The request `r` with transaction id `id`, as the driver frames it.
void FrameRequest(const BareRequest& r, uint16_t id, uint8_t (&tx)[12]) {
  const uint8_t bytes[12] = {static_cast<uint8_t>(id >> 8), static_cast<uint8_t>(id), 0, 0, 0, 6, 1, r.function,
                             static_cast<uint8_t>(r.address >> 8), static_cast<uint8_t>(r.address),
                             static_cast<uint8_t>(r.quantity >> 8), static_cast<uint8_t>(r.quantity)};
  std::memcpy(tx, bytes, sizeof tx);
}

// The length of the frame that starts `rx` (from its MBAP length), or 0
// while fewer than the header's bytes are there.
int FrameLength(const uint8_t* rx, int got, int size) {
  if (got < kMbapHeader) return 0;
  return std::min(size, 6 + (rx[4] << 8 | rx[5]));
}

int ConnectLoopback(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(static_cast<uint16_t>(port));
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const int one = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

// The floor under any client that keeps one request outstanding at a time:
// a thread per station doing the cycle's transactions every period with
// blocking socket calls and nothing else. False when the station cannot be
// reached.
bool BareClient(int port, const std::atomic<bool>& stop, std::atomic<size_t>& cycles) {
  const int fd = ConnectLoopback(port);
  if (fd < 0) return false;
  uint16_t id = 0;
  uint8_t rx[300];
  auto next = Clock::now();
  bool ok = true;
  while (ok && !stop.load()) {
    cycles.fetch_add(1, std::memory_order_relaxed);
    for (const BareRequest& r : kCycleRequests) {
      uint8_t tx[12];
      FrameRequest(r, ++id, tx);
      if (::send(fd, tx, sizeof tx, MSG_NOSIGNAL) != static_cast<ssize_t>(sizeof tx)) ok = false;
      int got = 0;
      while (ok && (got < kMbapHeader || got < FrameLength(rx, got, sizeof rx))) {
        const ssize_t n = ::recv(fd, rx + got, sizeof rx - static_cast<size_t>(got), 0);
        if (n <= 0) ok = false;
        got += static_cast<int>(n);
      }
    }
    next += kPeriod;
    std::this_thread::sleep_until(next);
  }
  ::close(fd);
  return ok;
}

// The anchor: one thread, one epoll set over every station's non-blocking
// socket and a timerfd ticking every period. A tick starts a cycle on each
// station (or, on one still in its cycle, as soon as that ends); each reply
// sends the station's next request, so one request is outstanding per
// connection, in the driver's order.
class EventClient {
public:
  // Connects to every port; false when one cannot be reached.
  bool Connect(const std::vector<int>& ports) {
    epoll_ = ::epoll_create1(EPOLL_CLOEXEC);
    timer_ = ::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (epoll_ < 0 || timer_ < 0) return false;
    epoll_event te{};
    te.events = EPOLLIN;
    te.data.u32 = kTimerTag;
    if (::epoll_ctl(epoll_, EPOLL_CTL_ADD, timer_, &te) != 0) return false;
    for (size_t i = 0; i < ports.size(); ++i) {
      Station s;
      s.fd = ConnectLoopback(ports[i]);
      if (s.fd < 0) return false;
      ::fcntl(s.fd, F_SETFL, ::fcntl(s.fd, F_GETFL) | O_NONBLOCK);
      epoll_event e{};
      e.events = EPOLLIN;
      e.data.u32 = static_cast<uint32_t>(i);
      if (::epoll_ctl(epoll_, EPOLL_CTL_ADD, s.fd, &e) != 0) return false;
      stations_.push_back(std::move(s));
    }
    return true;
  }
  ~EventClient() {
    for (Station& s : stations_) ::close(s.fd);
    if (timer_ >= 0) ::close(timer_);
    if (epoll_ >= 0) ::close(epoll_);
  }

  // Runs until `stop`; false when a station broke off.
  bool Run(const std::atomic<bool>& stop, const std::atomic<bool>& recording) {
    itimerspec period{};
    period.it_interval.tv_nsec = std::chrono::duration_cast<std::chrono::nanoseconds>(kPeriod).count();
    period.it_value.tv_nsec = 1;  // the first cycles at once
    if (::timerfd_settime(timer_, 0, &period, nullptr) != 0) return false;
    epoll_event events[128];
    while (!stop.load(std::memory_order_relaxed)) {
      // The stop is looked at at least every period (the timer).
      const int n = ::epoll_wait(epoll_, events, static_cast<int>(std::size(events)), -1);
      if (n < 0 && errno != EINTR) return false;
      for (int k = 0; k < n; ++k) {
        if (events[k].data.u32 == kTimerTag) {
          uint64_t expirations = 0;
          if (::read(timer_, &expirations, sizeof expirations) != sizeof expirations) continue;
          // Each station's cycle is timed as it starts, as the driver times
          // each device's: a stall in the middle of the tick's sends shows.
          const bool record = recording.load(std::memory_order_relaxed);
          if (record) ticks_.emplace_back(Clock::now(), Clock::duration{});
          for (Station& s : stations_) {
            if (s.next < 0) {
              if (!StartCycle(s, record, record ? Clock::now() : Clock::time_point{})) return false;
            } else {
              s.late = true;
            }
          }
        } else if (!OnReadable(stations_[events[k].data.u32], recording)) {
          return false;
        }
      }
    }
    return true;
  }

  // Every station's cycle starts (while recording).
  std::vector<std::pair<std::string, CycleTimes>> Log() const {
    std::vector<std::pair<std::string, CycleTimes>> out;
    for (size_t i = 0; i < stations_.size(); ++i) out.emplace_back(std::to_string(i + 1), stations_[i].cycles);
    return out;
  }
  // The timer's ticks (while recording): the periods the loop was woken at.
  const CycleTimes& Ticks() const { return ticks_; }
  // Cycles done by every station (to see that the run has settled).
  size_t CyclesDone() const { return cyclesDone_.load(); }

private:
  static constexpr uint32_t kTimerTag = 0xFFFFFFFF;
  struct Station {
    int fd = -1;
    int next = -1;  // index of the outstanding request; -1 between cycles
    bool late = false;
    uint16_t id = 0;
    int got = 0;
    uint8_t rx[300] = {};
    CycleTimes cycles;
  };

  bool Send(Station& s) {
    uint8_t tx[12];
    FrameRequest(kCycleRequests[s.next], ++s.id, tx);
    s.got = 0;
    return ::send(s.fd, tx, sizeof tx, MSG_NOSIGNAL | MSG_DONTWAIT) == static_cast<ssize_t>(sizeof tx);
  }
  bool StartCycle(Station& s, bool record, Clock::time_point now) {
    if (record) s.cycles.emplace_back(now, Clock::duration{});
    s.next = 0;
    s.late = false;
    return Send(s);
  }
  bool OnReadable(Station& s, const std::atomic<bool>& recording) {
    const ssize_t n = ::recv(s.fd, s.rx + s.got, sizeof s.rx - static_cast<size_t>(s.got), MSG_DONTWAIT);
    if (n < 0) return errno == EAGAIN || errno == EINTR;
    if (n == 0 || s.next < 0) return false;  // closed, or a reply nobody asked for
    s.got += static_cast<int>(n);
    if (s.got < kMbapHeader || s.got < FrameLength(s.rx, s.got, sizeof s.rx)) return true;
    if (++s.next < kTransactionsPerCycle) return Send(s);
    s.next = -1;
    ++cyclesDone_;
    // Behind its period: the next cycle now, timed as it starts.
    if (s.late) {
      const bool record = recording.load(std::memory_order_relaxed);
      return StartCycle(s, record, record ? Clock::now() : Clock::time_point{});
    }
    return true;
  }

  int epoll_ = -1;
  int timer_ = -1;
  std::vector<Station> stations_;
  CycleTimes ticks_;
  std::atomic<size_t> cyclesDone_{0};
};

// One measured run of a side: CPU over the window, per cent of one core.
struct RunResult {
  bool ok = false;
  double cpuPercent = 0;
  double kernelShare = 0;
  double switchesPerTransaction = 0;
  double transactions = 0;
};

RunResult Measure(const std::function<size_t()>& cyclesDone, int seconds) {
  RunResult out;
  double sys0 = 0;
  double sys1 = 0;
  const size_t cycles0 = cyclesDone();
  const long switches0 = ProcessSwitches();
  const double cpu0 = ProcessCpuSeconds(&sys0);
  const auto t0 = Clock::now();
  std::this_thread::sleep_for(std::chrono::seconds(seconds));
  const double cpu = ProcessCpuSeconds(&sys1) - cpu0;
  const double wall = std::chrono::duration<double>(Clock::now() - t0).count();
  out.transactions = static_cast<double>(cyclesDone() - cycles0) * kTransactionsPerCycle;
  out.switchesPerTransaction =
      static_cast<double>(ProcessSwitches() - switches0) / std::max(1.0, out.transactions);
  out.cpuPercent = 100.0 * cpu / wall;
  out.kernelShare = (sys1 - sys0) / std::max(1e-9, cpu);
  out.ok = true;
  return out;
}

// Bare blocking clients once, a thread per station doing the driver's
// transactions: started, settled, measured, stopped.
RunResult RunFloor(const std::vector<int>& ports, int seconds) {
  std::atomic<bool> stop{false};
  std::atomic<int> failed{0};
  std::vector<std::thread> clients;
  // One counter per client, as each driver instance counts its own cycles.
  std::vector<std::atomic<size_t>> cycles(ports.size());
  for (size_t i = 0; i < ports.size(); ++i)
    clients.emplace_back([&stop, &failed, &cycles, i, port = ports[i]] {
      if (!BareClient(port, stop, cycles[i])) ++failed;
    });
  std::this_thread::sleep_for(1s);
  RunResult r = Measure([&] {
    size_t sum = 0;
    for (const auto& c : cycles) sum += c.load(std::memory_order_relaxed);
    return sum;
  }, seconds);
  stop = true;
  for (std::thread& t : clients) t.join();
  r.ok = failed.load() == 0;
  return r;
}

// The anchor once: connect, settle, measure, stop.
RunResult RunAnchor(const std::vector<int>& ports, int seconds, Periods* periods, Periods* ticks) {
  EventClient client;
  if (!client.Connect(ports)) return {};
  std::atomic<bool> stop{false};
  std::atomic<bool> recording{false};
  std::atomic<bool> ok{true};
  std::thread thread([&] { ok = client.Run(stop, recording); });
  std::this_thread::sleep_for(1s);
  recording = true;
  RunResult r = Measure([&] { return client.CyclesDone(); }, seconds);
  recording = false;
  stop = true;
  thread.join();
  if (!ok.load()) return {};
  for (const auto& [device, cycles] : client.Log()) periods->Add(device, cycles);
  ticks->Add("timer", client.Ticks());
  return r;
}

// The driver once: 100 instances started as the main program starts them,
// settled (every station read once, then a second), measured, stopped. With
// `latency`, the time from a value change in a station to drvRead seeing it
// is taken after the window.
RunResult RunDriver(const std::vector<std::unique_ptr<SimulatorProcess>>& sims, int seconds, Periods* periods,
                    bool latency) {
  std::atomic<bool> recording{false};
  std::vector<std::unique_ptr<DriverInstance>> instances;
  const int count = static_cast<int>(sims.size());
  for (int i = 0; i < count; ++i) {
    instances.push_back(NewInstance(recording));
    const std::string channel = "TCP\t127.0.0.1," + std::to_string(sims[static_cast<size_t>(i)]->port()) + ",500,,,,";
    // Keys differ between instances so that the logs tell them apart.
    char key[16];
    std::snprintf(key, sizeof key, "S%d", i);
    if (instances.back()->SetChannelProperty(key, channel.c_str()) != 1 ||
        !AddStation(*instances.back(), i + 1, 1, 100) || instances.back()->StartComm() != 1) {
      std::fprintf(stderr, "cannot start instance %d\n", i);
      return {};
    }
  }
  for (int i = 0; i < count; ++i) {
    if (!WaitUntil([&] { return InputByte(*instances[static_cast<size_t>(i)], i + 1) >= 0; }, 10s)) {
      std::fprintf(stderr, "instance %d never read its station\n", i);
      return {};
    }
  }
  std::this_thread::sleep_for(1s);
  recording = true;
  // The cycles each instance began, as the other sides count theirs: what
  // a transaction costs is taken over the transactions actually done.
  RunResult r = Measure([&] {
    size_t sum = 0;
    for (auto& instance : instances) sum += TimedOf(*instance).Cycles();
    return sum;
  }, seconds);
  recording = false;

  if (latency) {
    std::vector<double> latencies;
    int change = 0;
    for (int round = 0; round < 3; ++round) {
      for (int i = 0; i < count; i += std::max(1, count / 20)) {
        DriverInstance& instance = *instances[static_cast<size_t>(i)];
        // Each change at another moment of the period (spread evenly over
        // it), so that the figure does not depend on how the instances'
        // cycles happen to lie against each other.
        std::this_thread::sleep_for(std::chrono::milliseconds(change++ * 37 % 100));
        const int value = (InputByte(instance, i + 1) + 1) & 0xFF;
        // From the command's sending: an upper bound (the simulator's own
        // handling of the command included).
        const auto changed = Clock::now();
        if (!sims[static_cast<size_t>(i)]->Ok(StrFormat("input 1 %02X", value))) continue;
        while (InputByte(instance, i + 1) != value && Clock::now() - changed < 2s)
          std::this_thread::sleep_for(200us);
        latencies.push_back(Ms(Clock::now() - changed));
      }
    }
    std::printf("  change to drvRead: median %.1f ms, worst %.1f ms (%zu changes)\n", Percentile(latencies, 0.5),
                latencies.empty() ? 0.0 : *std::max_element(latencies.begin(), latencies.end()), latencies.size());
  }
  for (auto& instance : instances) instance->StopComm();
  // The threads have ended: their logs are complete.
  for (auto& instance : instances) {
    for (const auto& [key, cycles] : TimedOf(*instance).log()) periods->Add(key, cycles);
  }
  return r;
}

std::vector<std::unique_ptr<SimulatorProcess>> StartStations(int count) {
  std::vector<std::unique_ptr<SimulatorProcess>> sims;
  for (int i = 0; i < count; ++i) {
    sims.push_back(std::make_unique<SimulatorProcess>(std::vector<std::string>{
        "--model", "QMX-4101", "--modules", kModules, "--freeze", "--tcp", "127.0.0.1:0"}));
    if (!sims.back()->Start()) {
      std::fprintf(stderr, "cannot start simulator %d: %s\n", i, sims.back()->error().c_str());
      return {};
    }
  }
  return sims;
}

std::vector<int> PortsOf(const std::vector<std::unique_ptr<SimulatorProcess>>& sims) {
  std::vector<int> ports;
  for (const auto& sim : sims) ports.push_back(sim->port());
  return ports;
}

void PrintRun(const char* side, const RunResult& r) {
  std::printf("    %-7s %6.2f %% of one core, %3.0f %% in the kernel (%.2f %% of a core in user space), %.2f switches "
              "per transaction\n",
              side, r.cpuPercent, 100 * r.kernelShare, r.cpuPercent * (1 - r.kernelShare), r.switchesPerTransaction);
}

// A ratio's min / median / max over the rounds.
void PrintRatio(const char* what, const std::vector<double>& r, const char* note) {
  std::printf("  ratio %-15s min %.3f / median %.3f / max %.3f%s\n", what, *std::min_element(r.begin(), r.end()),
              Percentile(r, 0.5), *std::max_element(r.begin(), r.end()), note);
}

// `order`: the sides of a round, D the driver, L the driver with every
// exchange on the loop's own road (nothing run ahead), A the anchor, F the
// floor.
int RunTcp(int count, int seconds, int rounds, const std::string& order) {
  std::printf("TCP: %d instances, one station each, update time 100 ms; %d rounds of %s (D driver, L driver "
              "without run-ahead, A anchor, F floor), %d s each\n",
              count, rounds, order.c_str(), seconds);
  const auto sims = StartStations(count);
  if (sims.empty()) return 1;
  const std::vector<int> ports = PortsOf(sims);
  Periods driverPeriods;
  Periods anchorPeriods;
  Periods anchorTicks;
  std::vector<double> ratios;
  std::vector<double> floorRatios;
  std::vector<double> aboveFloor;
  std::vector<double> ownRoad;
  std::vector<double> ahead;
  std::map<char, std::vector<double>> cpu;
  std::map<char, std::vector<double>> switches;
  for (int round = 0; round < rounds; ++round) {
    std::printf("  round %d\n", round + 1);
    std::map<char, double> sum;
    for (const char side : order) {
      const char* name = side == 'D' ? "driver" : side == 'L' ? "own road" : side == 'A' ? "anchor" : "floor";
      tessivar::RunAhead::SetEnabled(side != 'L');
      Periods own;
      const RunResult r = side == 'D'   ? RunDriver(sims, seconds, &driverPeriods, false)
                          : side == 'L' ? RunDriver(sims, seconds, &own, false)
                          : side == 'A' ? RunAnchor(ports, seconds, &anchorPeriods, &anchorTicks)
                                        : RunFloor(ports, seconds);
      if (!r.ok) {
        std::fprintf(stderr, "the %s run failed\n", name);
        return 1;
      }
      PrintRun(name, r);
      sum[side] += r.cpuPercent;
      cpu[side].push_back(r.cpuPercent);
      switches[side].push_back(r.switchesPerTransaction);
    }
    auto ratio = [&](char a, char b) {
      const auto n = [&](char c) { return static_cast<double>(std::count(order.begin(), order.end(), c)); };
      return (sum[a] / n(a)) / std::max(1e-9, sum[b] / n(b));
    };
    ratios.push_back(ratio('D', 'A'));
    floorRatios.push_back(ratio('F', 'A'));
    aboveFloor.push_back(ratio('D', 'F'));
    if (sum.count('L')) {
      ownRoad.push_back(ratio('L', 'A'));
      ahead.push_back(ratio('D', 'L'));
    }
  }
  tessivar::RunAhead::SetEnabled(true);
  std::printf("  CPU, median of the runs: driver %.2f %%, anchor %.2f %%, floor %.2f %% of one core\n",
              Percentile(cpu['D'], 0.5), Percentile(cpu['A'], 0.5), Percentile(cpu['F'], 0.5));
  std::printf("  context switches per transaction, median of the runs: driver %.2f, anchor %.2f, floor %.2f\n",
              Percentile(switches['D'], 0.5), Percentile(switches['A'], 0.5), Percentile(switches['F'], 0.5));
  if (!ownRoad.empty())
    std::printf("  own road, median of the runs: %.2f %% of one core, %.2f switches per transaction\n",
                Percentile(cpu['L'], 0.5), Percentile(switches['L'], 0.5));
  PrintRatio("driver / anchor:", ratios, " (goal <= 1.1)");
  PrintRatio("floor / anchor:", floorRatios, " (a thread per station, blocking)");
  PrintRatio("driver / floor:", aboveFloor, "");
  if (!ownRoad.empty()) {
    PrintRatio("own road / anchor:", ownRoad, " (nothing run ahead)");
    PrintRatio("driver / own road:", ahead, "");
  }
  PrintPeriods("anchor", anchorPeriods, kPeriodMs, false);
  PrintPeriods("anchor's timer", anchorTicks, kPeriodMs, false);
  std::printf("  driver, each device: min/median/max period, ms\n");
  PrintPeriods("driver", driverPeriods, kPeriodMs, true);
  Periods last;
  RunDriver(sims, 1, &last, true);
  return 0;
}

// One side alone, for a profiler or strace to look at.
int RunOnly(const std::string& side, int count, int seconds) {
  const auto sims = StartStations(count);
  if (sims.empty()) return 1;
  Periods ticks;
  auto run = [&](int s, Periods* periods) {
    ticks = {};
    return side == "floor"    ? RunFloor(PortsOf(sims), s)
           : side == "anchor" ? RunAnchor(PortsOf(sims), s, periods, &ticks)
                              : RunDriver(sims, s, periods, false);
  };
  // The first run on new stations costs more than the ones after it (as
  // the first side of a round does): one run of a second goes first, not
  // counted.
  Periods warm;
  run(1, &warm);
  Periods periods;
  const RunResult r = run(seconds, &periods);
  if (!r.ok) return 1;
  PrintRun(side.c_str(), r);
  if (side != "floor") PrintPeriods(side.c_str(), periods, kPeriodMs, false);
  if (side == "anchor") PrintPeriods("anchor's timer", ticks, kPeriodMs, false);
  return 0;
}

// ---- 2. RS485 line ----

int RunRs485(int nodes, int baud, int seconds) {
  std::printf("RS485: %d nodes on one pty line at %d baud, update time 100 ms, %d s\n", nodes, baud, seconds);
  char pattern[] = "/tmp/qmx-bench-XXXXXX";
  if (!::mkdtemp(pattern)) return 1;
  const std::filesystem::path dir = pattern;
  int result = 0;
  {
    qmx::sim::PtyPair line(dir);
    if (!line.Start()) {
      std::fprintf(stderr, "no pty pair: %s\n", line.error().c_str());
      std::filesystem::remove_all(dir);
      return 1;
    }
    ::setenv(qmx::serial::kComDirVariable, dir.c_str(), 1);
    std::string list;
    for (int n = 1; n <= nodes; ++n) {
      if (n > 1) list += ',';
      list += std::to_string(n);
    }
    SimulatorProcess sim({"--model", "QMX-4101", "--modules", kModules, "--freeze", "--rtu", line.peer().string(),
                          "--serial", std::to_string(baud) + ",8,N,1", "--nodes", list});
    if (!sim.Start()) {
      std::fprintf(stderr, "cannot start the simulator: %s\n", sim.error().c_str());
      result = 1;
    } else {
      std::atomic<bool> recording{false};
      auto instance = NewInstance(recording);
      const std::string channel = "RS485\t7," + std::to_string(baud) + ",8,NOPARITY,0,300";
      bool ok = instance->SetChannelProperty("Line", channel.c_str()) == 1;
      for (int n = 1; n <= nodes && ok; ++n) ok = AddStation(*instance, n, n, 100);
      ok = ok && instance->StartComm() == 1;
      for (int n = 1; n <= nodes && ok; ++n) ok = WaitUntil([&] { return InputByte(*instance, n) >= 0; }, 30s);
      if (!ok) {
        std::fprintf(stderr, "the line did not come up\n");
        result = 1;
        instance->StopComm();
      } else {
        // The requests the stations saw, all nodes together.
        auto requestsOnLine = [&] {
          long total = 0;
          for (int n = 1; n <= nodes; ++n) {
            const std::string counters = sim.Command("counters node=" + std::to_string(n));
            const size_t at = counters.find(" slave=");
            if (at != std::string::npos) total += std::atol(counters.c_str() + at + 7);
          }
          return total;
        };
        const long requests0 = requestsOnLine();
        recording = true;
        const double cpu0 = ProcessCpuSeconds();
        const auto t0 = Clock::now();
        std::this_thread::sleep_for(std::chrono::seconds(seconds));
        const double cpu = ProcessCpuSeconds() - cpu0;
        const double wall = Ms(Clock::now() - t0);
        recording = false;
        const long requests = requestsOnLine() - requests0;
        instance->StopComm();
        Periods p;
        for (const auto& [key, cycles] : TimedOf(*instance).log()) p.Add(key, cycles);
        PrintPeriods("RS485", p, 100, false);
        // Every device is due all the time: the round is the line's own time
        // plus whatever the schedule adds.
        std::printf("  line busy with cycles: %.1f ms of %.1f ms: round / own time = %.3f\n", p.busyMs, wall,
                    wall / std::max(1.0, p.busyMs));
        std::printf("  per cycle: %.2f ms (%zu cycles); CPU %.2f %% of one core\n",
                    p.busyMs / static_cast<double>(std::max<size_t>(1, p.cycles)), p.cycles, 100.0 * cpu * 1000 / wall);
        std::printf("  requests on the line: %ld, %.2f a cycle\n", requests,
                    static_cast<double>(requests) / static_cast<double>(std::max<size_t>(1, p.cycles)));
      }
    }
  }
  ::unsetenv(qmx::serial::kComDirVariable);
  std::filesystem::remove_all(dir);
  return result;
}

// ---- 3. stop with a silent station ----

int RunStops(int stops) {
  std::printf("Stop: drvStopComm while a 5 s reply is outstanding, %d times\n", stops);
  SimulatorProcess sim({"--model", "QMX-4101", "--modules", kModules, "--freeze", "--tcp", "127.0.0.1:0"});
  if (!sim.Start() || !sim.Ok("fault silence")) return 1;
  std::atomic<bool> recording{false};
  std::vector<double> latencies;
  for (int i = 0; i < stops; ++i) {
    auto instance = NewInstance(recording);
    const std::string channel = "TCP\t127.0.0.1," + std::to_string(sim.port()) + ",5000,,,,";
    if (instance->SetChannelProperty("W", channel.c_str()) != 1 || !AddStation(*instance, 1, 1, 100) ||
        instance->StartComm() != 1)
      return 1;
    std::this_thread::sleep_for(std::chrono::milliseconds(200 + 37 * i));
    const auto start = Clock::now();
    instance->StopComm();
    latencies.push_back(Ms(Clock::now() - start));
  }
  std::printf("  stop latency: median %.2f ms, worst %.2f ms\n", Percentile(latencies, 0.5),
              *std::max_element(latencies.begin(), latencies.end()));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  // Each line as it comes, also into a file.
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  const int seconds = Flag(argc, argv, "seconds", 5);
  const int instances = Flag(argc, argv, "instances", 100);
  const std::string only = TextFlag(argc, argv, "only");
  // --run-ahead=0: every exchange of the cycle on the loop's own road.
  tessivar::RunAhead::SetEnabled(Flag(argc, argv, "run-ahead", 1) != 0);
  if (!only.empty()) return RunOnly(only, instances, seconds);
  std::string order = TextFlag(argc, argv, "order");
  if (order.empty() || order.find_first_not_of("DLAF") != std::string::npos || order.find('D') == std::string::npos ||
      order.find('A') == std::string::npos || order.find('F') == std::string::npos)
    order = "DAFFAD";
  int r = instances > 0 ? RunTcp(instances, seconds, std::max(1, Flag(argc, argv, "rounds", 4)), order) : 0;
  const int nodes = Flag(argc, argv, "nodes", 32);
  if (r == 0 && nodes > 0) r = RunRs485(nodes, Flag(argc, argv, "baud", 115200), 2 * seconds);
  const int stops = Flag(argc, argv, "stops", 10);
  if (r == 0 && stops > 0) r = RunStops(stops);
  return r;
}
