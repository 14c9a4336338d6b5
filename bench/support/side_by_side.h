// Side-by-side measurement of our code against an anchor on a shared, noisy
// machine: rounds of A B B A (anchor, ours, ours, anchor), so that a load
// that rises or falls during a round weighs on both sides alike. Each round
// gives one ratio per metric, ours over anchor (the mean of the two runs of
// each side); the report gives the median of each side and the ratio's
// minimum, median and maximum over the rounds.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace qmx::bench {

// One run of a side: one value per metric (milliseconds, megabytes, ...).
using Run = std::function<std::vector<double>()>;

struct Metric {
  std::string name;  // "first frame"
  std::string unit;  // "ms"
  double goal;       // the ratio ours / anchor must not exceed this
};

struct SideBySide {
  std::vector<std::vector<double>> anchor, ours, ratio;  // [metric][round]
};

inline double Median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  const size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

inline SideBySide RunInterleaved(size_t metrics, int rounds, const Run& anchor, const Run& ours) {
  SideBySide s;
  s.anchor.resize(metrics);
  s.ours.resize(metrics);
  s.ratio.resize(metrics);
  for (int r = 0; r < rounds; ++r) {
    const std::vector<double> a1 = anchor();
    const std::vector<double> b1 = ours();
    const std::vector<double> b2 = ours();
    const std::vector<double> a2 = anchor();
    for (size_t m = 0; m < metrics; ++m) {
      const double a = (a1.at(m) + a2.at(m)) / 2;
      const double b = (b1.at(m) + b2.at(m)) / 2;
      s.anchor[m].push_back(a);
      s.ours[m].push_back(b);
      s.ratio[m].push_back(a > 0 ? b / a : 0);
    }
  }
  return s;
}

// "first frame (shipped): ours 61.2 ms, anchor 47.0 ms, ratio min/median/max 1.18/1.30/1.41 (goal <= 1.5, 8 rounds)"
// Returns whether every median ratio meets its goal.
inline bool Report(const std::string& label, const std::vector<Metric>& metrics, const SideBySide& s) {
  bool met = true;
  for (size_t m = 0; m < metrics.size(); ++m) {
    const std::vector<double>& ratio = s.ratio[m];
    const double median = Median(ratio);
    met = met && median <= metrics[m].goal;
    std::printf("%s%s%s: ours %.2f %s, anchor %.2f %s, ratio min/median/max %.2f/%.2f/%.2f (goal <= %.2f, %zu rounds)\n",
                metrics[m].name.c_str(), label.empty() ? "" : " ", label.empty() ? "" : ("(" + label + ")").c_str(),
                Median(s.ours[m]), metrics[m].unit.c_str(), Median(s.anchor[m]), metrics[m].unit.c_str(),
                *std::min_element(ratio.begin(), ratio.end()), median,
                *std::max_element(ratio.begin(), ratio.end()), metrics[m].goal, ratio.size());
  }
  std::fflush(stdout);
  return met;
}

// "machine load before: 3.12 2.80 2.41 (1, 5, 15 min)": the figures of a
// shared machine are read beside the load they were measured under.
inline void PrintLoad(const char* when) {
  double load[3] = {};
  if (std::FILE* f = std::fopen("/proc/loadavg", "r")) {
    if (std::fscanf(f, "%lf %lf %lf", &load[0], &load[1], &load[2]) != 3) load[0] = load[1] = load[2] = -1;
    std::fclose(f);
  }
  std::printf("machine load %s: %.2f %.2f %.2f (1, 5, 15 min)\n", when, load[0], load[1], load[2]);
  std::fflush(stdout);
}

// Milliseconds since `start`.
inline double MsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

// The best of `repeats` timings of `work` in milliseconds: within one run of
// a side, the least disturbed pass.
inline double BestOf(int repeats, const std::function<void()>& work) {
  double best = 1e300;
  for (int i = 0; i < repeats; ++i) {
    const auto start = std::chrono::steady_clock::now();
    work();
    best = std::min(best, MsSince(start));
  }
  return best;
}

}  // namespace qmx::bench
