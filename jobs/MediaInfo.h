#pragma once

#include <atomic>
#include <string>
#include <string_view>

#include "jobs/JobWindow.h"
#include "process/ToolCommand.h"

namespace vexlo::jobs {

inline constexpr std::string_view kMediaInfoStart = "##### MEDIA INFO START ######\r\n";
inline constexpr std::string_view kMediaInfoEnd = "##### MEDIA INFO END ######\r\n";

/// "\"DIR/ffmpeg.bin\" -i \"PATH\"": the tool describes its input, then complains that it has
/// no output.
std::string MediaInfoCommandLine(std::string_view programDir, std::string_view path);

/// The log line that refuses a media information job on a path that cannot be put on a command
/// line, or an empty string when it may run.
std::string MediaInfoRefusal(std::string_view path);

/// One media information job as its runner's notifications see it: the window and whether the
/// tool's report is inside its input description. The window owns it and passes it as the
/// context of all four notifications.
class MediaInfoJob {
 public:
  explicit MediaInfoJob(jobs::JobWindow& window) : window_(window) {}

  /// Leaves the input description and forgets the last job; on the window's thread, before the
  /// runner starts.
  void Prepare() {
    inputSection_ = false;
    sawInput_ = false;
    keptOut_.Clear();
    failureText_.clear();
  }
  bool inInputSection() const { return inputSection_; }

  /// Shows the chunks from the first holding "Input #" to the one before "At least one".
  static int OnMediaInfoOutput(const char* data, int length, void* context);
  /// Flushes the log, then appends an empty line and the start marker.
  static int OnMediaInfoStarted(int code, void* context);
  /// Nothing: the tool's usual end without an output is a non-zero exit code.
  static int OnMediaInfoError(int code, void* context);
  /// The error with its reason: the tool's usual end (exit code 1, no output asked for) stays
  /// silent; the reason's lines are logged only when no input description came (the file could
  /// not be read) or the tool could not be started. A tool that could not be started ends the
  /// job (failed).
  static int OnMediaInfoFailure(int code, const process::FailureReason& reason, void* context);
  /// Appends the end marker, then the job's end: finished when the input was described, failed
  /// when it was not, cancelled when a job replaced it or Cancel stopped it.
  static int OnMediaInfoFinished(int code, void* context);
  /// All of them, for process::StartJob with the job as context.
  static constexpr process::JobNotifications kNotifications{OnMediaInfoOutput, OnMediaInfoStarted,
                                                            OnMediaInfoError, OnMediaInfoFinished,
                                                            OnMediaInfoFailure};

 private:
  void filterChunk(std::string_view chunk);
  jobs::JobEnd endOf(process::JobOutcome outcome, bool started) const;
  void keepOut(std::string_view chunk);

  jobs::JobWindow& window_;
  std::atomic<bool> inputSection_{false};
  std::atomic<bool> sawInput_{false};  // an "Input #" line came in this job
  process::KeptOutLines keptOut_;
  // The tool's failure in one line: written by the failure notification, read by the finished
  // notification that follows it on the same thread; emptied by Prepare.
  std::string failureText_;
};

}  // namespace vexlo::jobs
