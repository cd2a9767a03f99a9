#pragma once

// What the batch benches share: a shell command's time, the median of a few rounds, and the
// command lines a batch logged.
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>
#include <string_view>
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

/// Writes the command lines a batch logged ("##### COMMAND: ... ######") to `script`, a line each
/// with its input and output thrown away and `suffix` after it; how many.
inline int LoggedCommandLines(const std::string& log, const std::string& script,
                              std::string_view suffix) {
  std::ifstream in(log);
  std::ofstream out(script);
  const std::string marker = "##### COMMAND: ", end = " ######";
  int commands = 0;
  for (std::string line; std::getline(in, line);) {
    if (!line.starts_with(marker) || !line.ends_with(end)) continue;
    out << line.substr(marker.size(), line.size() - marker.size() - end.size())
        << " </dev/null >/dev/null 2>&1" << suffix << "\n";
    ++commands;
  }
  return commands;
}

}  // namespace vexlo::bench
