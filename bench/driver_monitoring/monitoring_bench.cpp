// The driver's monitoring in the main program's shapes, against the device
// simulator, at an update time of 100 ms:
//
//  1. 100 instances with one TCP station each (one simulator process per
//     station): the achieved period of every device (median and worst of
//     all periods, and the worst device's median), the CPU the process
//     spends (all of it is the driver's threads: the main thread sleeps),
//     and the time from a value change in a station to drvRead seeing it.
//  2. One RS485 instance with 32 nodes on a socat pty line: the time of a
//     full round over the line against the time its device cycles took
//     themselves (their transactions and the line's pauses).
//  3. drvStopComm while the device's reply is outstanding (a silent station
//     with a 5 s time-out).
//
//   bench-bin/bench_driver_monitoring [--instances=100] [--seconds=10]
//       [--nodes=32] [--baud=115200] [--stops=10]
//
// Goals: every TCP device within 10 % of its period, all instances together
// under 5 % of one core; the RS485 round within 1.2 x its cycles' own time;
// a stop under 100 ms.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
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
#include "driver/modbus_driver.h"
#include "platform/serial/serial_device.h"
#include "tools/simulator/testing/simulator_process.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using tessivar::DriverInstance;
using tessivar::ModbusDriver;
using qmx::sim::SimulatorProcess;

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

// When each device's cycles started and how long they took.
struct CycleLog {
  std::mutex lock;
  std::map<std::string, std::vector<std::pair<Clock::time_point, Clock::duration>>> cycles;
  std::atomic<bool> recording{false};
};

// The real driver object, with each monitoring cycle timed.
class TimedDriver : public ModbusDriver {
public:
  TimedDriver(DriverInstance& owner, CycleLog& log) : ModbusDriver(owner), log_(log) {}
  int MonitoringDevice(const std::string& key) override {
    const auto start = Clock::now();
    const int r = ModbusDriver::MonitoringDevice(key);
    if (log_.recording.load()) {
      std::lock_guard<std::mutex> guard(log_.lock);
      log_.cycles[key].emplace_back(start, Clock::now() - start);
    }
    return r;
  }

private:
  CycleLog& log_;
};

std::unique_ptr<DriverInstance> NewInstance(CycleLog& log) {
  return std::make_unique<DriverInstance>(
      [&log](DriverInstance& owner) { return std::make_unique<TimedDriver>(owner, log); });
}

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

// Periods between consecutive cycle starts of every device in the log, and
// the time the cycles took.
struct Periods {
  std::vector<double> all;            // ms
  std::vector<double> deviceMedians;  // ms, one per device
  double busyMs = 0;                  // sum of the cycles' own time
  size_t cycles = 0;
};

Periods Collect(CycleLog& log) {
  Periods p;
  std::lock_guard<std::mutex> guard(log.lock);
  for (auto& [key, cycles] : log.cycles) {
    std::vector<double> mine;
    for (size_t i = 0; i < cycles.size(); ++i) {
      p.busyMs += Ms(cycles[i].second);
      ++p.cycles;
      if (i > 0) mine.push_back(Ms(cycles[i].first - cycles[i - 1].first));
    }
    p.all.insert(p.all.end(), mine.begin(), mine.end());
    if (!mine.empty()) p.deviceMedians.push_back(Percentile(mine, 0.5));
  }
  return p;
}

void PrintPeriods(const Periods& p, double periodMs) {
  if (p.all.empty()) return;
  const double worst = *std::max_element(p.all.begin(), p.all.end());
  const double best = *std::min_element(p.all.begin(), p.all.end());
  const double worstMedian = *std::max_element(p.deviceMedians.begin(), p.deviceMedians.end());
  std::printf("  period per device: median %.2f ms, p99 %.2f ms, worst %.2f ms, shortest %.2f ms "
              "(%zu periods of %zu devices)\n",
              Percentile(p.all, 0.5), Percentile(p.all, 0.99), worst, best, p.all.size(), p.deviceMedians.size());
  std::printf("  worst device median: %.2f ms (%.1f %% off the %.0f ms period)\n", worstMedian,
              100.0 * (worstMedian - periodMs) / periodMs, periodMs);
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

// The floor under any client that keeps one request outstanding at a time:
// a thread per station doing the cycle's transactions every period with
// blocking socket calls and nothing else. False when the station cannot be
// reached.
bool BareClient(int port, const std::atomic<bool>& stop) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return false;
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(static_cast<uint16_t>(port));
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const int one = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to) != 0) {
    ::close(fd);
    return false;
  }
  uint16_t id = 0;
  uint8_t rx[300];
  auto next = Clock::now();
  bool ok = true;
  while (ok && !stop.load()) {
    for (const BareRequest& r : kCycleRequests) {
      ++id;
      const uint8_t tx[12] = {static_cast<uint8_t>(id >> 8), static_cast<uint8_t>(id), 0, 0, 0, 6, 1, r.function,
                              static_cast<uint8_t>(r.address >> 8), static_cast<uint8_t>(r.address),
                              static_cast<uint8_t>(r.quantity >> 8), static_cast<uint8_t>(r.quantity)};
      if (::send(fd, tx, sizeof tx, MSG_NOSIGNAL) != static_cast<ssize_t>(sizeof tx)) ok = false;
      int got = 0;
      int want = 7;
      while (ok && got < want) {
        const ssize_t n = ::recv(fd, rx + got, sizeof rx - static_cast<size_t>(got), 0);
        if (n <= 0) ok = false;
        got += static_cast<int>(n);
        if (got >= 7) want = std::min<int>(static_cast<int>(sizeof rx), 6 + (rx[4] << 8 | rx[5]));
      }
    }
    next += 100ms;
    std::this_thread::sleep_until(next);
  }
  ::close(fd);
  return ok;
}

// CPU of bare clients doing the driver's transactions against every station.
void RunFloor(const std::vector<std::unique_ptr<SimulatorProcess>>& sims, int seconds) {
  std::atomic<bool> stop{false};
  std::atomic<int> failed{0};
  std::vector<std::thread> clients;
  for (const auto& sim : sims)
    clients.emplace_back([&stop, &failed, port = sim->port()] {
      if (!BareClient(port, stop)) ++failed;
    });
  std::this_thread::sleep_for(1s);
  const double cpu0 = ProcessCpuSeconds();
  const auto t0 = Clock::now();
  std::this_thread::sleep_for(std::chrono::seconds(seconds));
  const double cpu = ProcessCpuSeconds() - cpu0;
  const double wall = std::chrono::duration<double>(Clock::now() - t0).count();
  stop = true;
  for (std::thread& t : clients) t.join();
  const double transactions = static_cast<double>(sims.size()) * kTransactionsPerCycle * wall * 10;
  std::printf("  floor, bare blocking clients with the same %d transactions a cycle: %.2f %% of one core, "
              "%.1f us per transaction%s\n",
              kTransactionsPerCycle, 100.0 * cpu / wall, 1e6 * cpu / transactions,
              failed.load() ? " (some clients failed)" : "");
}

int RunTcp(int count, int seconds) {
  std::printf("TCP: %d instances, one station each, update time 100 ms, %d s\n", count, seconds);
  std::vector<std::unique_ptr<SimulatorProcess>> sims;
  for (int i = 0; i < count; ++i) {
    sims.push_back(std::make_unique<SimulatorProcess>(std::vector<std::string>{
        "--model", "QMX-4101", "--modules", kModules, "--freeze", "--tcp", "127.0.0.1:0"}));
    if (!sims.back()->Start()) {
      std::fprintf(stderr, "cannot start simulator %d: %s\n", i, sims.back()->error().c_str());
      return 1;
    }
  }
  RunFloor(sims, std::max(2, seconds / 2));
  CycleLog log;
  std::vector<std::unique_ptr<DriverInstance>> instances;
  for (int i = 0; i < count; ++i) {
    instances.push_back(NewInstance(log));
    const std::string channel = "TCP\t127.0.0.1," + std::to_string(sims[static_cast<size_t>(i)]->port()) + ",500,,,,";
    // Keys differ between instances so that the cycle log tells them apart.
    if (instances.back()->SetChannelProperty(("S" + std::to_string(i)).c_str(), channel.c_str()) != 1 ||
        !AddStation(*instances.back(), i + 1, 1, 100) || instances.back()->StartComm() != 1) {
      std::fprintf(stderr, "cannot start instance %d\n", i);
      return 1;
    }
  }
  for (int i = 0; i < count; ++i) {
    if (!WaitUntil([&] { return InputByte(*instances[static_cast<size_t>(i)], i + 1) >= 0; }, 10s)) {
      std::fprintf(stderr, "instance %d never read its station\n", i);
      return 1;
    }
  }
  // Settled: measure the periods and the CPU over the window.
  log.recording = true;
  double sys0 = 0;
  double sys1 = 0;
  const double cpu0 = ProcessCpuSeconds(&sys0);
  const auto t0 = Clock::now();
  std::this_thread::sleep_for(std::chrono::seconds(seconds));
  const double cpu = ProcessCpuSeconds(&sys1) - cpu0;
  const double wall = std::chrono::duration<double>(Clock::now() - t0).count();
  log.recording = false;
  PrintPeriods(Collect(log), 100);
  const double cycles = static_cast<double>(std::max<size_t>(1, Collect(log).cycles));
  std::printf("  CPU of the driver's threads: %.2f %% of one core (%.3f s in %.2f s, %.0f %% of it in the kernel), "
              "%.1f us per cycle, %.1f us per transaction\n",
              100.0 * cpu / wall, cpu, wall, 100.0 * (sys1 - sys0) / std::max(1e-9, cpu), 1e6 * cpu / cycles,
              1e6 * cpu / (cycles * kTransactionsPerCycle));

  // From a value changed in a station to drvRead seeing it.
  std::vector<double> latencies;
  for (int round = 0; round < 3; ++round) {
    for (int i = 0; i < count; i += std::max(1, count / 20)) {
      DriverInstance& instance = *instances[static_cast<size_t>(i)];
      const int value = (InputByte(instance, i + 1) + 1) & 0xFF;
      // From the command's sending: an upper bound (the simulator's own
      // handling of the command included).
      const auto changed = Clock::now();
      if (!sims[static_cast<size_t>(i)]->Ok(StrFormat("input 1 %02X", value))) continue;
      while (InputByte(instance, i + 1) != value && Clock::now() - changed < 2s) std::this_thread::sleep_for(200us);
      latencies.push_back(Ms(Clock::now() - changed));
    }
  }
  std::printf("  change to drvRead: median %.1f ms, worst %.1f ms (%zu changes)\n", Percentile(latencies, 0.5),
              latencies.empty() ? 0.0 : *std::max_element(latencies.begin(), latencies.end()), latencies.size());
  for (auto& instance : instances) instance->StopComm();
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
    for (int n = 1; n <= nodes; ++n) list += (n > 1 ? "," : "") + std::to_string(n);
    SimulatorProcess sim({"--model", "QMX-4101", "--modules", kModules, "--freeze", "--rtu", line.peer().string(),
                          "--serial", std::to_string(baud) + ",8,N,1", "--nodes", list});
    if (!sim.Start()) {
      std::fprintf(stderr, "cannot start the simulator: %s\n", sim.error().c_str());
      result = 1;
    } else {
      CycleLog log;
      auto instance = NewInstance(log);
      const std::string channel = "RS485\t7," + std::to_string(baud) + ",8,NOPARITY,0,300";
      bool ok = instance->SetChannelProperty("Line", channel.c_str()) == 1;
      for (int n = 1; n <= nodes && ok; ++n) ok = AddStation(*instance, n, n, 100);
      ok = ok && instance->StartComm() == 1;
      for (int n = 1; n <= nodes && ok; ++n) ok = WaitUntil([&] { return InputByte(*instance, n) >= 0; }, 30s);
      if (!ok) {
        std::fprintf(stderr, "the line did not come up\n");
        result = 1;
      } else {
        log.recording = true;
        const double cpu0 = ProcessCpuSeconds();
        const auto t0 = Clock::now();
        std::this_thread::sleep_for(std::chrono::seconds(seconds));
        const double cpu = ProcessCpuSeconds() - cpu0;
        const double wall = Ms(Clock::now() - t0);
        log.recording = false;
        const Periods p = Collect(log);
        PrintPeriods(p, 100);
        // Every device is due all the time: the round is the line's own time
        // plus whatever the schedule adds.
        std::printf("  line busy with cycles: %.1f ms of %.1f ms: round / own time = %.3f\n", p.busyMs, wall,
                    wall / std::max(1.0, p.busyMs));
        std::printf("  per cycle: %.2f ms (%zu cycles); CPU %.2f %% of one core\n",
                    p.busyMs / static_cast<double>(std::max<size_t>(1, p.cycles)), p.cycles, 100.0 * cpu * 1000 / wall);
      }
      instance->StopComm();
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
  CycleLog log;
  std::vector<double> latencies;
  for (int i = 0; i < stops; ++i) {
    auto instance = NewInstance(log);
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
  const int seconds = Flag(argc, argv, "seconds", 10);
  int r = RunTcp(Flag(argc, argv, "instances", 100), seconds);
  if (r == 0) r = RunRs485(Flag(argc, argv, "nodes", 32), Flag(argc, argv, "baud", 115200), seconds);
  if (r == 0) r = RunStops(Flag(argc, argv, "stops", 10));
  return r;
}
