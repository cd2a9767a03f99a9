#pragma once

#include <cstdint>
#include <string_view>

namespace vexlo::process {

// A time given as hours, minutes, seconds and frames at a frame rate (25 frames per second), held
// in microseconds. The digits after the point of "HH:MM:SS.FF" are frames: at 25 fps each unit is
// 40 ms, so "00:00:04.50" is 6000 ms. (The tool's own "Duration:" and "time=" texts carry
// hundredths instead; ParseOutputLine reads those with a reader of its own.)
class TimeCode {
 public:
  static constexpr double kDefaultFrameRate = 25.0;

  /// Hours outside 0..23, minutes or seconds outside 0..59 become 0; frames below 0 become 0;
  /// frames above the frame rate + 0.1 keep their value. Each of these makes the result -1, else 0.
  int Set(int hours, int minutes, int seconds, float frames);
  /// Reads "HH:MM:SS.FF" from the right, two characters a field (at most the first 30 characters
  /// of the trimmed text; a field without digits is 0) and calls Set; returns Set's result.
  int Parse(std::string_view text);
  /// The total in milliseconds, rounded by adding 0.499 away from zero and cutting.
  double Milliseconds() const;

  double frameRate() const { return frameRate_; }
  std::int64_t totalMicroseconds() const { return total_; }

 private:
  double frameRate_ = kDefaultFrameRate;
  std::int64_t total_ = 0;
};

}  // namespace vexlo::process
