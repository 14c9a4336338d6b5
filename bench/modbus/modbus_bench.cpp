// Requests per second and p50/p99 latency of our Modbus TCP master against
// the device simulator on loopback, side by side with a libmodbus client
// doing the same requests to the same simulator in the same run:
//   FC 4 with 10 and 125 registers, FC 16 with 10 and 123 registers.
// After the runs a table gives each case's rates, latencies and the ratio
// ours / libmodbus (goal: at least 1).
//
//   bench-bin/bench_modbus [--chunks=25] [--chunk_requests=200] [--rounds=3]
//
// One benchmark per case drives both clients: each iteration is one chunk of
// requests by ours and one by libmodbus, the order swapped every iteration, so
// a change in the machine's load falls on both within milliseconds. The
// iteration count is fixed, so Google Benchmark makes no trial runs: every
// run counted is a timed run of the whole length. Each case repeats `rounds`
// times; the table gives the medians of the rounds.
#include <benchmark/benchmark.h>
#include <modbus/modbus.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "driver/modbus/modbus_tcp.h"
#include "tools/simulator/testing/simulator_process.h"

namespace {

using Clock = std::chrono::steady_clock;

// One adapter whose input and output areas hold 256 bytes each, so 125
// registers can be read from register 0 and 123 written at 2048.
std::unique_ptr<qmx::sim::SimulatorProcess> gSim;

struct Figures {
  double rate = 0;
  double p50Us = 0;
  double p99Us = 0;
  double cpuUs = 0;  // the client thread's CPU time per request
};
int gRounds = 3;

// Every run of a case; the table takes the medians.
std::map<std::string, std::vector<Figures>> gFigures;

double ThreadCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

int gChunks = 25;          // iterations of a case: chunk pairs
int gChunkRequests = 200;  // requests of one client in one chunk

// One client doing one kind of request; function 4 reads `quantity` input
// registers at 0, 16 writes them at 2048.
class Client {
public:
  virtual ~Client() = default;
  virtual bool Request(std::string& error) = 0;
};

class OursClient : public Client {
public:
  OursClient(int function, int quantity)
      : function_(function), quantity_(quantity), buffer_(static_cast<size_t>(2 * quantity), 0x5A) {}
  bool Connect() {
    tessivar::TcpCommSetting s;
    s.ipAddress = "127.0.0.1";
    s.port = gSim->port();
    s.timeoutMs = 1000;
    return master_.OpenConnection(s, 0, 0) == 1;
  }
  bool Request(std::string& error) override {
    const auto q = static_cast<uint16_t>(quantity_);
    const int r = function_ == 4 ? master_.ReadRegisters(1, 4, 0, q, buffer_.data(), 2 * quantity_)
                                 : master_.WriteRegisters(1, 16, 2048, q, buffer_.data(), 2 * quantity_);
    if (r != 1) error = "ours: " + master_.ErrorText(r);
    return r == 1;
  }

private:
  tessivar::CModbusTCP master_;
  int function_;
  int quantity_;
  std::vector<uint8_t> buffer_;
};

class LibmodbusClient : public Client {
public:
  LibmodbusClient(int function, int quantity)
      : function_(function), quantity_(quantity), registers_(static_cast<size_t>(quantity), 0x5A5A) {}
  ~LibmodbusClient() override {
    if (ctx_ != nullptr) {
      modbus_close(ctx_);
      modbus_free(ctx_);
    }
  }
  bool Connect() {
    ctx_ = modbus_new_tcp("127.0.0.1", gSim->port());
    if (ctx_ == nullptr || modbus_connect(ctx_) != 0) return false;
    modbus_set_slave(ctx_, 1);
    modbus_set_response_timeout(ctx_, 1, 0);
    return true;
  }
  bool Request(std::string& error) override {
    const int r = function_ == 4 ? modbus_read_input_registers(ctx_, 0, quantity_, registers_.data())
                                 : modbus_write_registers(ctx_, 2048, quantity_, registers_.data());
    if (r != quantity_) error = std::string("libmodbus: ") + modbus_strerror(errno);
    return r == quantity_;
  }

private:
  modbus_t* ctx_ = nullptr;
  int function_;
  int quantity_;
  std::vector<uint16_t> registers_;
};

// What one client did over a run: its requests' latencies and the wall and
// CPU time of its own chunks only.
struct Tally {
  std::vector<double> latenciesUs;
  double seconds = 0;
  double cpuSeconds = 0;
};

bool RunChunk(Client& client, Tally& tally, std::string& error) {
  const auto start = Clock::now();
  const double cpuStart = ThreadCpuSeconds();
  for (int i = 0; i < gChunkRequests; ++i) {
    const auto t0 = Clock::now();
    if (!client.Request(error)) return false;
    tally.latenciesUs.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
  }
  tally.seconds += std::chrono::duration<double>(Clock::now() - start).count();
  tally.cpuSeconds += ThreadCpuSeconds() - cpuStart;
  return true;
}

Figures Summarise(Tally& tally) {
  Figures f;
  std::vector<double>& l = tally.latenciesUs;
  if (l.empty() || tally.seconds <= 0) return f;
  std::sort(l.begin(), l.end());
  f.rate = static_cast<double>(l.size()) / tally.seconds;
  f.p50Us = l[l.size() / 2];
  f.p99Us = l[std::min(l.size() - 1, l.size() * 99 / 100)];
  f.cpuUs = tally.cpuSeconds * 1e6 / static_cast<double>(l.size());
  return f;
}

void BM_OursVsLibmodbus(benchmark::State& state, const std::string& key, int function, int quantity) {
  OursClient ours(function, quantity);
  LibmodbusClient lib(function, quantity);
  if (!ours.Connect() || !lib.Connect()) {
    state.SkipWithError("cannot connect");
    return;
  }
  Tally o, l;
  const size_t expected = static_cast<size_t>(state.max_iterations) * static_cast<size_t>(gChunkRequests);
  o.latenciesUs.reserve(expected);
  l.latenciesUs.reserve(expected);
  std::string error;
  bool oursFirst = true;
  for (auto _ : state) {
    const bool ok = oursFirst ? RunChunk(ours, o, error) && RunChunk(lib, l, error)
                              : RunChunk(lib, l, error) && RunChunk(ours, o, error);
    oursFirst = !oursFirst;
    if (!ok) {
      state.SkipWithError(error.c_str());
      return;
    }
  }
  const Figures fo = Summarise(o);
  const Figures fl = Summarise(l);
  state.counters["ours_req/s"] = fo.rate;
  state.counters["ours_p50_us"] = fo.p50Us;
  state.counters["libmb_req/s"] = fl.rate;
  state.counters["libmb_p50_us"] = fl.p50Us;
  state.counters["ratio"] = fl.rate > 0 ? fo.rate / fl.rate : 0;
  gFigures["ours " + key].push_back(fo);
  gFigures["libmodbus " + key].push_back(fl);
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

Figures Medians(const std::vector<Figures>& runs) {
  std::vector<double> rate, p50, p99, cpu;
  for (const Figures& f : runs) {
    rate.push_back(f.rate);
    p50.push_back(f.p50Us);
    p99.push_back(f.p99Us);
    cpu.push_back(f.cpuUs);
  }
  return {Median(rate), Median(p50), Median(p99), Median(cpu)};
}

void PrintRatios() {
  std::printf("\n%-10s | %9s %7s %7s %7s | %9s %7s %7s %7s | %5s\n", "request", "ours/s", "p50 us", "p99 us",
              "cpu us", "libmb/s", "p50 us", "p99 us", "cpu us", "ratio");
  for (const char* c : {"FC4 x10", "FC4 x125", "FC16 x10", "FC16 x123"}) {
    const auto ours = gFigures.find(std::string("ours ") + c);
    const auto lib = gFigures.find(std::string("libmodbus ") + c);
    if (ours == gFigures.end() || lib == gFigures.end()) continue;
    const Figures o = Medians(ours->second);
    const Figures l = Medians(lib->second);
    std::printf("%-10s | %9.0f %7.1f %7.1f %7.1f | %9.0f %7.1f %7.1f %7.1f | %5.2f\n", c, o.rate, o.p50Us, o.p99Us,
                o.cpuUs, l.rate, l.p50Us, l.p99Us, l.cpuUs, o.rate / l.rate);
  }
  std::printf("medians of %d rounds of %d chunk pairs x %d requests; ratio = our requests per second / libmodbus's\n",
              gRounds, gChunks, gChunkRequests);
}

// Takes "--name=N" (N >= 1) out of the arguments into `value`.
void TakeIntFlag(int& argc, char** argv, const std::string& name, int& value) {
  const std::string prefix = "--" + name + "=";
  for (int i = 1; i < argc; ++i) {
    if (std::string(argv[i]).rfind(prefix, 0) != 0) continue;
    value = std::max(1, std::atoi(argv[i] + prefix.size()));
    for (int j = i; j + 1 < argc; ++j) argv[j] = argv[j + 1];
    --argc;
    --i;
  }
}

}  // namespace

int main(int argc, char** argv) {
  TakeIntFlag(argc, argv, "chunks", gChunks);
  TakeIntFlag(argc, argv, "chunk_requests", gChunkRequests);
  TakeIntFlag(argc, argv, "rounds", gRounds);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  gSim = std::make_unique<qmx::sim::SimulatorProcess>(std::vector<std::string>{
      "--model", "QMX-4101", "--tcp", "127.0.0.1:0", "--modules", "0x3108:AI:2048:0,0x4104:AO:0:2048", "--freeze"});
  if (!gSim->Start()) {
    std::fprintf(stderr, "cannot start the simulator: %s\n", gSim->error().c_str());
    return 1;
  }
  struct Case {
    const char* name;
    const char* key;
    int function;
    int quantity;
  };
  const Case cases[] = {{"fc4_10", "FC4 x10", 4, 10},
                        {"fc4_125", "FC4 x125", 4, 125},
                        {"fc16_10", "FC16 x10", 16, 10},
                        {"fc16_123", "FC16 x123", 16, 123}};
  for (const Case& c : cases) {
    benchmark::RegisterBenchmark((std::string("BM_OursVsLibmodbus/") + c.name).c_str(), BM_OursVsLibmodbus,
                                 std::string(c.key), c.function, c.quantity)
        ->Iterations(gChunks)
        ->Repetitions(gRounds)
        ->UseRealTime();
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  PrintRatios();
  gSim->Stop();
  return 0;
}
