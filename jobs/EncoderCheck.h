#pragma once

// Help > Check Encoders: the listing of ffmpeg.bin's encoders and a short trial of each hardware
// encoder, one step after the other, with one log line per encoder.

#include <array>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "encode/EncoderTrial.h"
#include "jobs/Sequencer.h"
#include "jobs/JobWindow.h"

namespace vexlo::jobs {

/// The hardware encoders the window offers: NVIDIA and AMD (AMF on Windows, VA-API elsewhere),
/// for H.264 and for H.265.
inline constexpr std::array<std::string_view, 4> kHardwareEncoders = {
    "h264_nvenc", "hevc_nvenc", encode::kAmdH264Encoder, encode::kAmdH265Encoder};

/// The hardware encoder an encode uses for the output type (0 H.264, else H.265) and the GPU
/// choice (1 NVIDIA, 2 AMD); empty for the software encoders.
std::string_view HardwareEncoderFor(int outputType, int gpu);

/// What a check found of one encoder.
struct EncoderStatus {
  enum class State { kWorks, kNotBuilt, kFails };
  State state = State::kWorks;
  std::string reason;  // why it fails: the tool's most telling line, or how it ended
};

/// The encoder names of an "ffmpeg -encoders" listing (" V....D h264_nvenc  NVIDIA ...").
std::vector<std::string> ListedEncoders(const std::vector<std::string>& lines);
/// The most telling line of a failed trial of `encoder`: the encoder's own complaint (without
/// its "[name @ 0x...] " prefix), else the first line that names an error, else empty.
std::string TellingLine(std::string_view encoder, const std::vector<std::string>& lines);
/// The log line of one encoder's result.
std::string EncoderLine(std::string_view encoder, const EncoderStatus& status);
/// The warning logged before an encode with an encoder the last check found unusable.
std::string UnusableEncoderWarning(std::string_view encoder, const EncoderStatus& status);

/// Help > Check Encoders: lists the encoders of ffmpeg.bin, then tries each hardware encoder of
/// the window for a second on a generated test picture into a null output, one after the other,
/// and logs one line per encoder. Its steps run in turn on a sequencer of its own, so the
/// window's jobs are not held up; the bar and the detail label follow it while no conversion
/// runs. Its end (finished, or cancelled by Stop) is reported like any job's.
///
/// Everything here runs on the window's thread; the runner's threads only collect the tool's
/// lines.
class EncoderCheck {
 public:
  EncoderCheck(PostTask post, jobs::JobWindow& window);
  ~EncoderCheck();
  EncoderCheck(const EncoderCheck&) = delete;
  EncoderCheck& operator=(const EncoderCheck&) = delete;

  /// Starts a check with the tools of `programDirectory`; nothing while one runs.
  void Start(const std::string& programDirectory);
  /// Stops a running check; its remaining encoders are not tried.
  void Stop();
  bool Running() const { return running_; }
  /// What the last finished check found of `encoder`; nullopt before any check finished.
  std::optional<EncoderStatus> LastResult(std::string_view encoder) const;

  static constexpr std::string_view kStartLine = "##### CHECK ENCODERS ######\r\n";
  static constexpr std::string_view kEndLine = "##### END CHECK ENCODERS ######\r\n";

 private:
  void RunStep(const std::string& commandLine);
  void StepEnded(const process::ToolEnd& end);
  void ListingEnded(const std::vector<std::string>& lines, const std::string& failure);
  void TrialEnded(const std::vector<std::string>& lines, const std::string& failure);
  void NextTrial();
  /// Ends the check; `failure` says why it could try nothing (empty when it could).
  void Finish(const std::string& failure = {});
  void SendProgress();

  jobs::JobWindow& window_;
  std::string programDirectory_;
  bool running_ = false;
  std::size_t step_ = 0;             // 0 the listing, then one per hardware encoder
  std::vector<std::string> listed_;  // the encoders the listing named
  std::vector<std::string> toTry_;   // the window's hardware encoders not tried yet
  std::string trying_;               // the encoder of the running trial
  std::map<std::string, EncoderStatus, std::less<>> found_;  // this check's results
  std::map<std::string, EncoderStatus, std::less<>> last_;   // the last finished check's

  // Filled by the runner's threads while a step runs; read on the window's thread after it.
  std::mutex mutex_;
  std::vector<std::string> lines_;

  Sequencer sequencer_;  // last: its runner's watch uses the members above
};

}  // namespace vexlo::jobs
