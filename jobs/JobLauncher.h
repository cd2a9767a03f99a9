#pragma once

// The window's two runners (conversion and indexing) and the start and stop of each of their jobs.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "jobs/IndexJob.h"
#include "jobs/MediaInfo.h"
#include "encode/EncodeRequest.h"
#include "jobs/JobWindow.h"
#include "process/ProcessRunner.h"

namespace vexlo::jobs {

// The window's two runners and the jobs they run: the conversion runner (encodes, the test
// encode, the frame grab, media information) and the indexing runner (frame index and GOP). It
// carries out encode plans, starts and stops each job, keeps the conversion's figures, and
// numbers the indexing jobs so that a GOP job's late stop request never stops a newer one.
//
// Everything here runs on the window's thread; the jobs' watches reach the window through
// the jobs::JobWindow it is given, each job's end as its typed end (JobWindow::postJobEnd).
// Nothing here acts on the window's controls.
class JobLauncher {
 public:
  JobLauncher(PostTask post, jobs::JobWindow& window);
  ~JobLauncher();

  /// The program's directory: where the tools are and where they run (a tool's report goes
  /// there).
  void setProgramDirectory(const std::string& directory) { programDirectory_ = directory; }
  JobLauncher(const JobLauncher&) = delete;
  JobLauncher& operator=(const JobLauncher&) = delete;

  /// Carries out an encode plan of the given kind (an encode, the audio extraction, the test
  /// encode) that makes `file`: the plan's settings saves (`saveSettings`, as many as it asks),
  /// then either its refusal, returned ("" for a refusal without a line) and not logged, or the
  /// deletion it asks for and the start of its conversion. Nothing when it started.
  std::optional<std::string> StartEncode(jobs::JobKind kind, const encode::EncodePlan& plan,
                                         const std::string& file, const std::string& source,
                                         const std::function<void()>& saveSettings);
  /// Stops any conversion (logging that it was stopped) and starts the tool's command line with
  /// the conversion's watch (the frame grab's for a frame grab). `file` is what the job
  /// makes; `lengthSource`, when given, is the source whose length the output must reach (the
  /// warning of an output that ends short of it); `check`, when given, the check of the output
  /// against its request at the end.
  void StartConversion(jobs::JobKind kind, const std::string& commandLine,
                       const std::string& file = {}, const std::string& lengthSource = {},
                       std::optional<WindowCheck> check = std::nullopt);
  /// The media information job; logs its refusal instead when the path cannot be read.
  void StartMediaInfo(const std::string& path);
  /// The frame grab of `source` at `seconds`; logs its refusal instead.
  void StartFrameGrab(const std::string& source, float seconds, bool deinterlace);
  /// A frame index or GOP job of `input`. Returns the refusal line ("" for a refusal without
  /// one) when it cannot start, nothing when it started.
  std::optional<std::string> StartFrameIndex(const std::string& input, bool gopMode);

  /// Stops the conversion; `runningLine` is logged first when it still runs.
  void StopConversion(std::string_view runningLine);
  /// Stops the indexing job; `indexLine` is logged first when a frame index job (not a GOP
  /// job) still runs.
  void StopIndexing(std::string_view indexLine);
  /// Both runners stopped and gone, the index file let go: the window is being destroyed.
  void Shutdown();
  /// Closes an index file still open, without its header; when the window is destroyed.
  void ReleaseIndexFile() { indexJob_.Release(); }
  /// The conversion's figures back to 0.
  void ResetConversionFigures();

  /// True while the conversion runner's tool runs: the bar is then the conversion's.
  bool ConversionRunning() const;
  bool HasConversionRunner() const { return conversionRunner_ != nullptr; }
  jobs::JobFigures& conversionFigures() { return figures_; }

  /// The picture of the frames that the last frame index or GOP job read; null while none.
  std::shared_ptr<const analysis::FramePlot> framePlot() const { return indexJob_.framePlot(); }

  /// The command line of the job started last, of either runner; empty before the first.
  const std::string& LastCommand() const { return lastCommand_; }

  process::ProcessRunner* conversionRunner() const { return conversionRunner_.get(); }
  process::ProcessRunner* indexingRunner() const { return indexingRunner_.get(); }

 private:
  /// Stops and deletes a runner; `runningLine` is logged first when it still runs. True when
  /// it was still running.
  bool DisposeRunner(std::unique_ptr<process::ProcessRunner>& runner, std::string_view runningLine);
  void StopGopJob(std::uint64_t generation);

  PostTask post_;
  jobs::JobWindow& window_;
  std::string programDirectory_;
  jobs::JobFigures figures_;
  jobs::MediaInfoJob mediaInfoJob_;
  jobs::IndexJob indexJob_;
  std::uint64_t indexingGeneration_ = 0;
  std::string lastCommand_;
  std::unique_ptr<process::ProcessRunner> conversionRunner_;
  std::unique_ptr<process::ProcessRunner> indexingRunner_;
};

}  // namespace vexlo::jobs
