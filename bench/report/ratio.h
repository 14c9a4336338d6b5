// The figures the report benchmarks print: each round interleaves ours and
// the anchor (A B B A, the order swapped every round, so a change in the
// machine's load falls on both), and the ratio of a round is our time over
// the anchor's.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace qmx::bench {

inline double Seconds(const std::function<void()>& run) {
  const auto start = std::chrono::steady_clock::now();
  run();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// "--name=value" from the command line, else the default.
inline int IntArg(int argc, char** argv, const char* name, int fallback) {
  const std::string prefix = std::string("--") + name + "=";
  for (int i = 1; i < argc; ++i)
    if (std::strncmp(argv[i], prefix.c_str(), prefix.size()) == 0) return std::atoi(argv[i] + prefix.size());
  return fallback;
}

struct Rounds {
  std::vector<double> ours, anchor, ratios;
};

inline Rounds Interleave(int rounds, const std::function<void()>& ours, const std::function<void()>& anchor) {
  Rounds r;
  for (int i = 0; i < rounds; ++i) {
    double a = 0, b = 0;
    if (i % 2 == 0) {
      a += Seconds(ours);
      b += Seconds(anchor);
      b += Seconds(anchor);
      a += Seconds(ours);
    } else {
      b += Seconds(anchor);
      a += Seconds(ours);
      a += Seconds(ours);
      b += Seconds(anchor);
    }
    r.ours.push_back(a / 2);
    r.anchor.push_back(b / 2);
    r.ratios.push_back(a / b);
    std::printf("round %d: ours %.3f s, anchor %.3f s, ratio %.2f\n", i + 1, a / 2, b / 2, a / b);
    std::fflush(stdout);
  }
  return r;
}

inline double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const size_t n = v.size();
  return n == 0 ? 0 : n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

inline void PrintRatio(const char* what, const Rounds& r, double goal) {
  if (r.ratios.empty()) return;
  const auto [mn, mx] = std::minmax_element(r.ratios.begin(), r.ratios.end());
  std::printf("%s: ours %.3f s, anchor %.3f s (medians); ratio min %.2f / median %.2f / max %.2f (goal <= %.1f)\n",
              what, Median(r.ours), Median(r.anchor), *mn, Median(r.ratios), *mx, goal);
}

}  // namespace qmx::bench
