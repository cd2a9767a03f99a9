#include "jobs/JobLauncher.h"

#include <utility>

#include "analysis/FrameGrab.h"
#include "analysis/IndexNaming.h"
#include "jobs/ConversionJob.h"
#include "platform/Paths.h"
#include "process/LogTexts.h"
#include "process/ToolCommand.h"

namespace vexlo::jobs {

JobLauncher::JobLauncher(PostTask post, jobs::JobWindow& window)
    : post_(std::move(post)), window_(window), mediaInfoJob_(window), indexJob_(window) {}

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
  runner.reset();
  return wasRunning;
}

void JobLauncher::StopConversion(std::string_view runningLine) {
  // A conversion stopped before its end ends as cancelled (its runner says so); a check of its
  // output that runs at its end stops too.
  if (figures_.check) figures_.check->stop->Request();
  DisposeRunner(conversionRunner_, runningLine);
}

void JobLauncher::StopIndexing(std::string_view indexLine) {
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

std::optional<std::string> JobLauncher::StartEncode(jobs::JobKind kind,
                                                    const encode::EncodePlan& plan,
                                                    const std::string& file,
                                                    const std::string& source,
                                                    const std::function<void()>& saveSettings) {
  for (int i = 0; i < plan.settingsSaves; ++i) saveSettings();
  if (!plan.start) return plan.errorLine;
  if (!plan.deleteBeforeStart.empty() && platform::DeleteFile(plan.deleteBeforeStart) != 0) {
    // Nothing to add: a file left in place makes the tool fail, and its reason is logged.
  }
  std::optional<WindowCheck> check;
  if (plan.video) {
    check = WindowCheck{ConformanceRequestFor(*plan.video, plan.commandLine, source), source,
                        RawCodecOf(*plan.video)};
  }
  StartConversion(kind, plan.commandLine, file, plan.wholeSource ? source : std::string(),
                  std::move(check));
  return std::nullopt;
}

void JobLauncher::StartConversion(jobs::JobKind kind, const std::string& commandLine,
                                  const std::string& file, const std::string& lengthSource,
                                  std::optional<WindowCheck> check) {
  StopConversion(process::text::kRequestStopConversion);
  figures_.check = std::move(check);
  // What the job is, before the runner starts.
  figures_.kind = kind;
  figures_.file = file;
  figures_.lengthSource = lengthSource;
  figures_.programDir = programDirectory_;
  figures_.commandLine = commandLine;
  lastCommand_ = commandLine;
  conversionRunner_ = process::StartTool(
      commandLine, ConversionWatch(window_, kind == jobs::JobKind::kFrameGrab), programDirectory_);
}

void JobLauncher::StartMediaInfo(const std::string& path) {
  if (const std::string refusal = jobs::MediaInfoRefusal(path); !refusal.empty()) {
    window_.logAppend(refusal);
    return;
  }
  StopConversion(process::text::kCancel);
  mediaInfoJob_.Prepare();
  figures_.kind = jobs::JobKind::kMediaInfo;
  figures_.file.clear();
  figures_.commandLine = jobs::MediaInfoCommandLine(programDirectory_, path);
  lastCommand_ = figures_.commandLine;
  conversionRunner_ =
      process::StartTool(figures_.commandLine, mediaInfoJob_.Watch(), programDirectory_);
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
      jobs::JobKind::kFrameGrab,
      analysis::GrabFrameCommandLine(programDirectory_, source, seconds, deinterlace, *picture),
      *picture);
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
    post_([this, generation] { StopGopJob(generation); });
  };
  lastCommand_ = analysis::FrameIndexCommandLine(programDirectory_, input);
  indexJob_.setCommandLine(lastCommand_);
  indexingRunner_ = process::StartTool(lastCommand_, indexJob_.Watch(), programDirectory_);
  return std::nullopt;
}

bool JobLauncher::ConversionRunning() const {
  return conversionRunner_ && conversionRunner_->state() == process::kRunnerRunning;
}

// The GOP job has measured its GOP: it ends, and only it; its end says so (stoppedItself), and
// the window's subscriber leaves a conversion that runs beside it alone.
void JobLauncher::StopGopJob(std::uint64_t generation) {
  if (generation != indexingGeneration_ || !indexingRunner_) return;
  indexJob_.markStoppedItself();
  DisposeRunner(indexingRunner_, {});
}

}  // namespace vexlo::jobs
