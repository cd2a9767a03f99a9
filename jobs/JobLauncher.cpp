#include "jobs/JobLauncher.h"

#include <utility>

#include "analysis/FrameGrab.h"
#include "analysis/IndexNaming.h"
#include "jobs/ConversionJob.h"
#include "platform/Paths.h"
#include "process/LogTexts.h"
#include "process/ToolCommand.h"

namespace vexlo::jobs {

JobLauncher::JobLauncher(platform::DialogHost& host, process::JobWindow& window,
                         std::function<void(bool)> enableControls)
    : host_(host),
      window_(window),
      enableControls_(std::move(enableControls)),
      mediaInfoJob_(window),
      indexJob_(window) {}

JobLauncher::~JobLauncher() {
  DisposeRunner(conversionRunner_, {});
  DisposeRunner(indexingRunner_, {});
}

bool JobLauncher::DisposeRunner(std::unique_ptr<process::ProcessRunner>& runner,
                                std::string_view runningLine) {
  if (!runner) return false;
  const bool wasRunning = runner->state() == process::kRunnerRunning;
  if (wasRunning && !runningLine.empty()) window_.logAppend(runningLine);
  runner->Close();
  runner->CloseDoneEvent();
  runner.reset();
  return wasRunning;
}

void JobLauncher::StopConversion(std::string_view runningLine) {
  if (ConversionRunning()) figures_.stopped = true;  // before its finished notification
  // A conversion stopped before its end is no success, whatever its finished notification said.
  if (DisposeRunner(conversionRunner_, runningLine)) conversionSucceeded_ = false;
}

void JobLauncher::StopIndexing(std::string_view indexLine) {
  if (indexingRunner_) indexJob_.markCancelled();
  DisposeRunner(indexingRunner_, indexJob_.gopMode() ? std::string_view() : indexLine);
}

void JobLauncher::Shutdown() {
  StopConversion({});
  DisposeRunner(indexingRunner_, {});
}

void JobLauncher::ResetConversionFigures() {
  figures_.durationMs = 0;
  figures_.timeMs = 0;
  figures_.progressPos = 0;
}

void JobLauncher::StartConversion(const std::string& commandLine, bool withErrorNotification,
                                  const std::string& file) {
  StopConversion(process::text::kRequestStopConversion);
  figures_.stopped = false;
  figures_.file = file;
  conversionSucceeded_ = false;
  // Before the runner starts: its reader may deliver lines before the started notification.
  figures_.keptOut.Clear();
  figures_.commandLine = commandLine;
  lastCommand_ = commandLine;
  process::JobNotifications notifications = kConversionNotifications;
  if (!withErrorNotification) {
    notifications.error = nullptr;
    notifications.failure = nullptr;
  }
  conversionRunner_ = process::StartJob(commandLine, notifications, &window_, programDirectory_);
}

void JobLauncher::StartMediaInfo(const std::string& path) {
  if (const std::string refusal = analysis::MediaInfoRefusal(path); !refusal.empty()) {
    window_.logAppend(refusal);
    return;
  }
  StopConversion(process::text::kCancel);
  mediaInfoJob_.Prepare();
  figures_.commandLine = analysis::MediaInfoCommandLine(programDirectory_, path);
  lastCommand_ = figures_.commandLine;
  conversionRunner_ =
      process::StartJob(figures_.commandLine, analysis::MediaInfoJob::kNotifications,
                        &mediaInfoJob_, programDirectory_);
}

void JobLauncher::StartFrameGrab(const std::string& source, float seconds, bool deinterlace) {
  const auto picture = analysis::PicturePathFor(source, seconds);
  const std::string refusal = analysis::GrabFrameRefusal(source, picture.value_or(""));
  if (!refusal.empty() || !picture) {
    window_.logAppend(refusal.empty() ? process::text::kOriginNotSpecified : refusal);
    return;
  }
  if (platform::DeleteFile(*picture) != 0) {
    // Nothing to add: a picture left in place makes the tool fail, and its reason is logged.
  }
  StartConversion(
      analysis::GrabFrameCommandLine(programDirectory_, source, seconds, deinterlace, *picture),
      /*withErrorNotification=*/false, *picture);
}

std::optional<std::string> JobLauncher::StartFrameIndex(const std::string& input, bool gopMode) {
  const auto indexPath = analysis::IndexPathFor(input, gopMode);
  std::string refusal = analysis::FrameIndexRefusal(input, indexPath);
  if (!refusal.empty() || !indexPath) return refusal;
  // The previous job finishes its own file before the new one is opened.
  DisposeRunner(indexingRunner_,
                gopMode ? std::string_view() : process::text::kRequestStopIndexing);
  indexJob_.Prepare(*indexPath, gopMode);
  indexJob_.setInput(input);
  const std::uint64_t generation = ++indexingGeneration_;
  indexJob_.requestGopStop = [this, generation] {
    host_.post([this, generation] { StopGopJob(generation); });
  };
  lastCommand_ = analysis::FrameIndexCommandLine(programDirectory_, input);
  indexJob_.setCommandLine(lastCommand_);
  indexingRunner_ = process::StartJob(lastCommand_, analysis::IndexJob::kNotifications, &indexJob_,
                                      programDirectory_);
  return std::nullopt;
}

bool JobLauncher::ConversionRunning() const {
  return conversionRunner_ && conversionRunner_->state() == process::kRunnerRunning;
}

// The GOP job has measured its GOP: it ends, and only it. A conversion that runs beside it goes
// on, with its controls and progress bar.
void JobLauncher::StopGopJob(std::uint64_t generation) {
  if (generation != indexingGeneration_ || !indexingRunner_) return;
  DisposeRunner(indexingRunner_, {});
  if (ConversionRunning()) {
    // The GOP job's end enabled the job controls (posted); the conversion still runs, so they
    // are disabled again, after that. Its figures and bar are its own and stay.
    host_.post([this] {
      if (ConversionRunning()) enableControls_(false);
    });
    return;
  }
  ResetConversionFigures();
  window_.sendProgress(0);
  enableControls_(true);
}

}  // namespace vexlo::jobs
