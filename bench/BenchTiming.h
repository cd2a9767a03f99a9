#pragma once

// What the batch benches share: a shell command's time and the median of a few rounds.
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

namespace vexlo::bench {

/// Seconds a shell command took; negative when it did not end with status 0.
inline double Timed(const std::string& command) {
  const auto start = std::chrono::steady_clock::now();
  const int status = std::system(command.c_str());
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
  return status == 0 ? took.count() : -1.0;
}

inline double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace vexlo::bench
