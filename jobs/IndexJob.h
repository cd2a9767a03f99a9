#pragma once

// The frame index and GOP job of the window: the watch that parses the prober's frame report
// into the .INDX file, measures the first GOP and keeps the frames for their picture.

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
#include "process/RunEnd.h"

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
/// and the GOP mode flag; its watch is that of the window's indexing runner.
///
/// Threads: Prepare runs on the window's thread while no indexing runner exists; the watch runs
/// on the runner's threads, one call after the other. The working records have no lock.
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
  /// The GOP job is stopped because it knows its GOP: its end says it stopped itself, and it
  /// counts as finished, not cancelled.
  void markStoppedItself() { stoppedItself_ = true; }

  /// Set by the window: posts the stop of the indexing runner (the Cancel action) to the
  /// window's thread. Called on the reader thread once the GOP is known in GOP mode; it must not
  /// stop the runner itself, since a runner cannot be stopped from its own threads.
  std::function<void()> requestGopStop;

  /// The indexing runner's watch:
  /// - started: the job's own figures to 0 and the start line ("GET FILE GOP" or "START
  ///   INDEXING") with the command line;
  /// - output: cuts the chunk into lines and parses each; the report is never shown, so every
  ///   line is kept for a failure's reason;
  /// - ended: a failure's reason lines and its error line ("CREATION INDEX ERROR" for a tool that
  ///   could not start, which ends the job there, after the index file is finished; "INDEXING
  ///   ERROR" otherwise); then the index file finished, the end line, and the job's end: failed
  ///   after a failure, cancelled when it was stopped (unless it stopped itself), else finished,
  ///   with the bar at 100. When the file could not be created, written or finished, its error
  ///   line and (unless the tool's own failure already said so) "INDEXING  ERROR" come before the
  ///   end line, and the end leaves the bar where it is.
  process::ToolWatch Watch();

 private:
  void started();
  void parseChunk(std::string_view chunk, process::KeptOutLines& keptOut);
  void ended(const process::ToolEnd& tool);
  // Makes the picture of the frames read so far; the finished notification, before the end.
  void publishPlot();
  // Logs the file's error line when Finish, whose result is `finished`, failed; true then.
  bool reportFileError(int finished);
  // The job's end with this outcome, as far as the job's records and its tool's end tell it.
  jobs::JobEnd endOf(process::JobOutcome outcome, const process::ToolEnd& tool) const;

  jobs::JobWindow& window_;
  std::string indexPath_;
  std::atomic<bool> stoppedItself_{false};  // a GOP job stopped once it knew its GOP
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
