#pragma once
// Wall-clock timing for the benchmarks that time whole actions themselves.
#include <algorithm>
#include <chrono>
#include <functional>
#include <vector>

namespace riventar::bench {

using Clock = std::chrono::steady_clock;

inline double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

inline double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// Milliseconds `f` takes.
inline double Time(const std::function<void()>& f) {
  const auto start = Clock::now();
  f();
  return Ms(Clock::now() - start);
}

inline double MedianOf(int runs, const std::function<void()>& f) {
  std::vector<double> times;
  for (int i = 0; i < runs; ++i) times.push_back(Time(f));
  return Median(times);
}

}  // namespace riventar::bench
