#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "analysis/FrameParser.h"
#include "analysis/FramePlot.h"
#include "analysis/IndexFile.h"
#include "jobs/JobWindow.h"
#include "process/ToolCommand.h"

namespace vexlo::jobs {

using analysis::FrameParseHooks;
using analysis::FramePlot;
using analysis::FrameParseState;
using analysis::FrameRecord;
using analysis::IndexFile;
using analysis::PlotFrame;
using analysis::PlotFrameCollector;

inline constexpr std::string_view kStartIndexing = "##### START INDEXING ######\r\n";
inline constexpr std::string_view kEndIndexing = "##### END INDEXING ######\r\n";
inline constexpr std::string_view kGetFileGop = "##### GET FILE GOP ######\r\n";
inline constexpr std::string_view kEndFileGop = "##### END FILE GOP ######\r\n";
inline constexpr std::string_view kCreationIndexError = "##### CREATION INDEX ERROR ######\r\n";
inline constexpr std::string_view kIndexingError = "##### INDEXING  ERROR ######\r\n";

/// Why an index file could not be created, written or finished: the file and the system's
/// reason, as the job's end gives it.
std::string IndexFileErrorText(std::string_view path, int error);
/// The log line of it.
std::string IndexFileErrorLine(std::string_view path, int error);

/// The frame index or GOP job that the window owns: the index file writer, the working records
/// and the GOP mode flag. The window passes it as the context of all four notifications of its
/// indexing runner.
///
/// Threads: Prepare runs on the window's thread while no indexing runner exists; the started,
/// error and finished notifications run on the runner's supervisor thread and the output
/// notification on its reader thread, one after the other. The working records have no lock.
class IndexJob {
 public:
  explicit IndexJob(jobs::JobWindow& window);
  IndexJob(const IndexJob&) = delete;
  IndexJob& operator=(const IndexJob&) = delete;

  /// Readies the next job, after the previous indexing runner has been closed and before the
  /// new one starts: sets the GOP mode, deletes and recreates the index file with its zero
  /// header, and resets the working records (so no line is parsed against stale ones).
  /// The result is that of IndexFile::Open: -1 when the file cannot be created (the job still
  /// runs and prints, GOP lines included; it writes no records and ends as failed).
  int Prepare(const std::string& indexPath, bool gopMode);
  /// Closes an index file still open, without its header; when the window is destroyed.
  void Release() { file_.Release(); }

  bool gopMode() const { return state_.gopMode; }
  /// The working records; read them only while no runner delivers to this job.
  const FrameParseState& state() const { return state_; }
  const IndexFile& indexFile() const { return file_; }
  /// This job's own figures: a frame index or GOP job never touches the conversion's.
  const jobs::JobFigures& figures() const { return figures_; }
  /// The command line the next job runs, logged after its start line; set before it starts.
  void setCommandLine(const std::string& commandLine) { figures_.commandLine = commandLine; }
  /// The file the next job reads, for the picture's title; set before it starts.
  void setInput(const std::string& input) { input_ = input; }
  /// The picture of the video frames that the last job read, made as it ended (a GOP job's are
  /// those of its first GOP); null before the first end, from Prepare on, and when the job read
  /// no video frame. Any thread.
  std::shared_ptr<const FramePlot> framePlot() const;
  /// The user stops the job: its end is told as cancelled, not finished.
  void markCancelled() { cancelled_ = true; }
  /// The GOP job is stopped because it knows its GOP: its end says it stopped itself.
  void markStoppedItself() { stoppedItself_ = true; }

  /// Set by the window: posts the stop of the indexing runner (the Cancel action) to the
  /// window's thread. Called on the reader thread once the GOP is known in GOP mode; it must not
  /// stop the runner itself, since a runner cannot be stopped from its own threads.
  std::function<void()> requestGopStop;

  /// Cuts the chunk into lines and parses each; the report is never shown. -1 for no data.
  static int OnIndexOutput(const char* data, int length, void* context);
  /// The job's own figures to 0 and the start line ("GET FILE GOP" or "START INDEXING").
  static int OnIndexStarted(int code, void* context);
  /// The error line for -2 or -3, and the index file finished, except after -3, whose finished
  /// notification finishes it. A start failure (-2) has no finished notification: a file that
  /// could not be made is reported here, before its line, and the job's end (failed) follows.
  static int OnIndexError(int code, void* context);
  /// The error with its reason: the reason's lines (the tool's last lines, how it ended or why
  /// it could not start), then OnIndexError.
  static int OnIndexFailure(int code, const process::FailureReason& reason, void* context);
  /// The index file finished, the end line, then the job's end: failed after an error, cancelled
  /// when the user stopped it, else finished, with the bar at 100. When the file could not be
  /// created, written or finished, its error line and (unless the tool's own failure already said
  /// so) "INDEXING  ERROR" come before the end line, and the end leaves the bar where it is.
  static int OnIndexFinished(int code, void* context);
  /// All of them, for process::StartJob with the job as context.
  static constexpr process::JobNotifications kNotifications{
      OnIndexOutput, OnIndexStarted, OnIndexError, OnIndexFinished, OnIndexFailure};

 private:
  void parseChunk(const char* data, int length);
  // Makes the picture of the frames read so far; the finished notification, before the end.
  void publishPlot();
  // Logs the file's error line when Finish, whose result is `finished`, failed; true then.
  bool reportFileError(int finished);
  // The job's end with this outcome, as far as the job's records tell it.
  jobs::JobEnd endOf(process::JobOutcome outcome) const;

  jobs::JobWindow& window_;
  std::string indexPath_;
  std::atomic<bool> errorLogged_{false};    // this job's error line is in the log
  std::atomic<bool> cancelled_{false};      // stopped by the user before its end
  std::atomic<bool> stoppedItself_{false};  // a GOP job stopped once it knew its GOP
  // The tool's failure in one line: written by the failure notification, read by the finished
  // notification that follows it on the same thread; emptied by Prepare.
  std::string failureText_;
  process::KeptOutLines keptOut_;  // the report's last lines, for a failure's reason
  IndexFile file_;
  FrameParseState state_;
  FrameParseHooks hooks_;
  jobs::JobFigures figures_;
  std::atomic<std::int64_t> framesDone_{0};  // video frames parsed by this job
  std::string input_;
  PlotFrameCollector plotFrames_;  // the working records' frames, for the picture
  mutable std::mutex plotMutex_;   // guards plot_, which the window's thread reads
  std::shared_ptr<const FramePlot> plot_;
};

}  // namespace vexlo::jobs
