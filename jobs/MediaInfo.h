#pragma once

// The media information job: the tool's description of a file, shown in the log.

#include <atomic>
#include <string>
#include <string_view>

#include "jobs/JobWindow.h"
#include "process/RunEnd.h"

namespace vexlo::jobs {

inline constexpr std::string_view kMediaInfoStart = "##### MEDIA INFO START ######\r\n";
inline constexpr std::string_view kMediaInfoEnd = "##### MEDIA INFO END ######\r\n";

/// "\"DIR/ffmpeg.bin\" -i \"PATH\"": the tool describes its input, then complains that it has
/// no output.
std::string MediaInfoCommandLine(std::string_view programDir, std::string_view path);

/// The log line that refuses a media information job on a path that cannot be put on a command
/// line, or an empty string when it may run.
std::string MediaInfoRefusal(std::string_view path);

/// One media information job as its runner's watch sees it: the window and whether the tool's
/// report is inside its input description. The window owns it; its watch runs on the runner's
/// threads.
class MediaInfoJob {
 public:
  explicit MediaInfoJob(jobs::JobWindow& window) : window_(window) {}

  /// Leaves the input description and forgets the last job; on the window's thread, before the
  /// runner starts.
  void Prepare() {
    inputSection_ = false;
    sawInput_ = false;
  }
  bool inInputSection() const { return inputSection_; }

  /// The runner's watch:
  /// - started: flushes the log, then appends an empty line, the start marker and the command
  ///   line;
  /// - output: shows the chunks from the first holding "Input #" to the one before "At least
  ///   one", and keeps the others for a failure's reason;
  /// - ended: the tool's usual end (exit code 1, no output asked for) stays silent; a failure's
  ///   reason lines are logged only when no input description came (the file could not be read)
  ///   or the tool could not be started, and a tool that could not start ends the job (failed)
  ///   there. Then the end marker and the job's end: finished when the input was described,
  ///   failed when it was not, cancelled when a job replaced it or Cancel stopped it.
  process::ToolWatch Watch();

 private:
  void filterChunk(std::string_view chunk, process::KeptOutLines& keptOut);
  void ended(const process::ToolEnd& tool);
  jobs::JobEnd endOf(process::JobOutcome outcome, const process::ToolEnd& tool) const;

  jobs::JobWindow& window_;
  std::atomic<bool> inputSection_{false};
  std::atomic<bool> sawInput_{false};  // an "Input #" line came in this job
};

}  // namespace vexlo::jobs
