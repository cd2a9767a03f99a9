#pragma once

// The peak memory of a shell command and every process it starts (the program under test and its
// tools together), sampled from /proc every 100 ms while it runs.
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <vector>

namespace vexlo::bench {

/// The resident bytes of every descendant of this process now.
inline std::uint64_t DescendantsResident() {
  std::map<long, long> parentOf;
  std::map<long, std::uint64_t> resident;
  const std::uint64_t page = static_cast<std::uint64_t>(::sysconf(_SC_PAGESIZE));
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator("/proc", error)) {
    const std::string name = entry.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    std::ifstream stat(entry.path() / "stat");
    std::string text;
    std::getline(stat, text);
    const auto close = text.rfind(')');
    if (close == std::string::npos) continue;
    char state = 0;
    long parent = 0;
    if (std::sscanf(text.c_str() + close + 1, " %c %ld", &state, &parent) != 2) continue;
    std::uint64_t size = 0, pages = 0;
    std::ifstream(entry.path() / "statm") >> size >> pages;
    parentOf[std::stol(name)] = parent;
    resident[std::stol(name)] = pages * page;
  }
  std::uint64_t total = 0;
  const long self = ::getpid();
  for (const auto& [pid, bytes] : resident) {
    for (long up = parentOf[pid]; up > 1; up = parentOf.count(up) ? parentOf[up] : 0) {
      if (up == self) {
        total += bytes;
        break;
      }
    }
  }
  return total;
}

/// Runs `command` through the shell; its seconds (negative when its status is not 0) and the
/// peak of the resident bytes of it and its processes, in MiB.
inline double TimedWithPeak(const std::string& command, double& peakMiB) {
  std::atomic<bool> done{false};
  std::uint64_t peak = 0;
  std::thread sampler([&] {
    while (!done.load()) {
      peak = std::max(peak, DescendantsResident());
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
  });
  const auto start = std::chrono::steady_clock::now();
  const int status = std::system(command.c_str());
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
  done.store(true);
  sampler.join();
  peakMiB = static_cast<double>(peak) / (1 << 20);
  return status == 0 ? took.count() : -1.0;
}

}  // namespace vexlo::bench
