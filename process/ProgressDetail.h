#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "process/OutputLines.h"

// The detail shown below the progress bar while a job runs, from the tool's progress lines.
namespace vexlo::process {

/// The figures of one progress line of the encoder ("frame=  50 fps= 25 q=28.0 size=  256kB
/// time=00:00:02.00 bitrate= 1048.6kbits/s speed=1.8x"). A field the line does not hold, or holds
/// as "N/A", stays empty.
struct ProgressLine {
  std::optional<std::int64_t> frame;
  std::optional<double> fps;
  std::optional<std::int64_t> sizeBytes;  // "kB" and "KiB" are 1024 bytes, as FFmpeg counts
  std::optional<std::int64_t> timeMs;     // the output time reached; hours are not limited
  std::optional<double> speed;            // media seconds per wall-clock second
};

/// Reads the fields of a progress line; all empty for any other line.
ProgressLine ReadProgressLine(std::string_view line);

/// A span of time as a clock shows it: "0:42", "1:02:03", "26:00:00" (hours keep counting).
std::string FormatSpan(std::int64_t ms);

/// A byte count as the label shows it: the unit (0 KiB, 1 MiB, 2 GiB) and the count in it (MiB
/// in tenths, GiB in hundredths).
struct SizeShown {
  int unit = 0;
  std::int64_t count = 0;
  bool operator==(const SizeShown&) const = default;
};

/// A steady clock in milliseconds, for the wall-clock arguments below.
std::int64_t SteadyNowMs();

/// The detail shown beside the progress bar while a job runs: time elapsed, time left (from the
/// recent rate of progress, smoothed), the tool's speed and frames per second and the output's
/// size so far; for a frame index or GOP job, the frames done. A conversion whose input has no
/// known duration shows nothing.
///
/// Safe from any thread: the runner's reader feeds it, its supervisor starts and finishes it.
/// Wall-clock times are arguments, so a scripted job can be played at any pace.
class ProgressDetail {
 public:
  enum class Kind { kConversion, kFrames };

  /// A new job of that kind starts at `nowMs`.
  void Start(Kind kind, std::int64_t nowMs);
  /// One line of the tool's output (a conversion's "Duration:" and progress lines).
  void Feed(std::string_view line, std::int64_t nowMs);
  /// Frames done so far (a frame index or GOP job).
  void SetFrames(std::int64_t frames);
  /// The job ended at `nowMs`: the elapsed time stops there and no time left is shown.
  void Finish(std::int64_t nowMs);
  /// The detail as it reads at `nowMs`; empty when there is nothing to show.
  std::string Text(std::int64_t nowMs);
  /// Text when it differs from what Due last gave, else nullopt: the label is set no more often
  /// than its text changes (about once a second while the elapsed time counts).
  std::optional<std::string> Due(std::int64_t nowMs);

  /// Time left, shown once the job has run this long and has made progress.
  static constexpr std::int64_t kTimeLeftAfterMs = 3000;
  /// The smoothing of the rate: a rate this old weighs 1/e of a fresh one.
  static constexpr double kSmoothingMs = 8000.0;

 private:
  // What the label shows, as the figures it is made of: equal ones read the same.
  struct Shown {
    enum class What { kNothing, kFrames, kConversion } what = What::kNothing;
    std::int64_t elapsedS = 0;
    std::int64_t frames = 0;
    std::optional<std::int64_t> leftS;
    std::optional<std::int64_t> speed;  // in tenths below 10x (speedDecimals 1)
    int speedDecimals = 0;
    std::optional<std::int64_t> fps;
    std::optional<SizeShown> size;
    bool operator==(const Shown&) const = default;
  };

  Shown shownLocked(std::int64_t nowMs);
  // Takes the figures of the latest line with a time, if it has not been read yet.
  void readLatestLocked();
  static std::string Format(const Shown& shown);
  double rateWith(std::int64_t ms, std::int64_t media) const;

  mutable std::mutex mutex_;
  Kind kind_ = Kind::kConversion;
  bool running_ = false;
  std::int64_t startMs_ = 0;
  std::int64_t endMs_ = -1;  // when the job ended; -1 while it runs
  SourceDuration duration_;  // read without the lock: its figures are atomic
  ProgressLine last_;
  std::int64_t frames_ = 0;
  std::int64_t rateFromMs_ = -1;    // the wall-clock time and the media time the rate was last
  std::int64_t rateFromMedia_ = 0;  // measured from
  std::int64_t pendingMs_ = -1;     // the latest line's wall-clock and media time: the sample
  std::int64_t pendingMedia_ = 0;   // of its burst once the next burst begins
  std::string latest_;              // the latest line with a time, and when it came; read in
  std::int64_t latestMs_ = -1;      // full (into last_ and the pending sample) when needed
  bool latestRead_ = true;
  double rate_ = -1.0;  // smoothed media ms per wall-clock ms; -1 before the first
  Shown shown_;         // what Due last gave
};

}  // namespace vexlo::process
