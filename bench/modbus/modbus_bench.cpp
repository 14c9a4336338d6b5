// Requests per second and p50/p99 latency of our Modbus TCP master against
// the device simulator on loopback, side by side with a libmodbus client
// doing the same requests to the same simulator in the same run:
//   FC 4 with 10 and 125 registers, FC 16 with 10 and 123 registers.
// Each request is one iteration; after the runs a table gives each case's
// rates, latencies and the ratio ours / libmodbus (goal: at least 1).
//
//   bench-bin/bench_modbus [--benchmark_min_time=1]
// Cases run in three rounds, ours and libmodbus alternating; the table gives
// the medians.
#include <benchmark/benchmark.h>
#include <modbus/modbus.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <ctime>
#include <cstdio>
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

void Report(benchmark::State& state, const std::string& key, std::vector<double>& latenciesUs, double seconds,
            double cpuSeconds) {
  if (latenciesUs.empty() || seconds <= 0) return;
  std::sort(latenciesUs.begin(), latenciesUs.end());
  Figures f;
  f.rate = static_cast<double>(latenciesUs.size()) / seconds;
  f.p50Us = latenciesUs[latenciesUs.size() / 2];
  f.p99Us = latenciesUs[std::min(latenciesUs.size() - 1, latenciesUs.size() * 99 / 100)];
  f.cpuUs = cpuSeconds * 1e6 / static_cast<double>(latenciesUs.size());
  state.counters["req/s"] = f.rate;
  state.counters["p50_us"] = f.p50Us;
  state.counters["p99_us"] = f.p99Us;
  gFigures[key].push_back(f);
}

// function 4: read `quantity` input registers at 0; 16: write them at 2048.
void BM_Ours(benchmark::State& state, int function, int quantity) {
  tessivar::CModbusTCP master;
  tessivar::TcpCommSetting s;
  s.ipAddress = "127.0.0.1";
  s.port = gSim->port();
  s.timeoutMs = 1000;
  if (master.OpenConnection(s, 0, 0) != 1) {
    state.SkipWithError("cannot connect");
    return;
  }
  std::vector<uint8_t> buffer(static_cast<size_t>(2 * quantity), 0x5A);
  std::vector<double> latencies;
  latencies.reserve(1 << 16);
  const auto start = Clock::now();
  const double cpuStart = ThreadCpuSeconds();
  for (auto _ : state) {
    const auto t0 = Clock::now();
    const int r = function == 4 ? master.ReadRegisters(1, 4, 0, static_cast<uint16_t>(quantity), buffer.data(),
                                                       2 * quantity)
                                : master.WriteRegisters(1, 16, 2048, static_cast<uint16_t>(quantity), buffer.data(),
                                                        2 * quantity);
    latencies.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
    if (r != 1) {
      state.SkipWithError(("request failed: " + master.ErrorText(r)).c_str());
      break;
    }
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  Report(state, "ours FC" + std::to_string(function) + " x" + std::to_string(quantity), latencies, seconds,
         ThreadCpuSeconds() - cpuStart);
}

void BM_Libmodbus(benchmark::State& state, int function, int quantity) {
  modbus_t* ctx = modbus_new_tcp("127.0.0.1", gSim->port());
  if (!ctx || modbus_connect(ctx) != 0) {
    state.SkipWithError("cannot connect");
    if (ctx) modbus_free(ctx);
    return;
  }
  modbus_set_slave(ctx, 1);
  modbus_set_response_timeout(ctx, 1, 0);
  std::vector<uint16_t> registers(static_cast<size_t>(quantity), 0x5A5A);
  std::vector<double> latencies;
  latencies.reserve(1 << 16);
  const auto start = Clock::now();
  const double cpuStart = ThreadCpuSeconds();
  for (auto _ : state) {
    const auto t0 = Clock::now();
    const int r = function == 4 ? modbus_read_input_registers(ctx, 0, quantity, registers.data())
                                : modbus_write_registers(ctx, 2048, quantity, registers.data());
    latencies.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
    if (r != quantity) {
      state.SkipWithError(modbus_strerror(errno));
      break;
    }
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  Report(state, "libmodbus FC" + std::to_string(function) + " x" + std::to_string(quantity), latencies, seconds,
         ThreadCpuSeconds() - cpuStart);
  modbus_close(ctx);
  modbus_free(ctx);
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
  std::printf("medians of %d alternating rounds; ratio = our requests per second / libmodbus's\n", gRounds);
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  gSim = std::make_unique<qmx::sim::SimulatorProcess>(std::vector<std::string>{
      "--model", "QMX-4101", "--tcp", "127.0.0.1:0", "--modules", "0x3108:AI:2048:0,0x4104:AO:0:2048", "--freeze"});
  if (!gSim->Start()) {
    std::fprintf(stderr, "cannot start the simulator: %s\n", gSim->error().c_str());
    return 1;
  }
  // Rounds of all cases, ours and libmodbus alternating, so that a change in
  // the machine's load falls on both.
  struct Case {
    const char* name;
    int function;
    int quantity;
  };
  const Case cases[] = {{"fc4_10", 4, 10}, {"fc4_125", 4, 125}, {"fc16_10", 16, 10}, {"fc16_123", 16, 123}};
  for (int round = 1; round <= gRounds; ++round) {
    for (const Case& c : cases) {
      const std::string suffix = std::string("/") + c.name + "/round:" + std::to_string(round);
      benchmark::RegisterBenchmark(("BM_Ours" + suffix).c_str(), BM_Ours, c.function, c.quantity)->UseRealTime();
      benchmark::RegisterBenchmark(("BM_Libmodbus" + suffix).c_str(), BM_Libmodbus, c.function, c.quantity)
          ->UseRealTime();
    }
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  PrintRatios();
  gSim->Stop();
  return 0;
}
