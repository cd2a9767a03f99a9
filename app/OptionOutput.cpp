// The option form under the one output rule: its tool writes a temporary name beside the
// destination, and only an output read back whole is renamed to the destination; what is not
// whole is kept as NAME.incomplete.EXT with the batch's words, so a failed run never takes the
// place of an earlier file.
#include "app/VexloDlg.h"
#include "encode/AudioExtraction.h"
#include "encode/PngPattern.h"
#include "jobs/BatchPlan.h"
#include "jobs/ConformanceCheck.h"
#include "platform/Paths.h"
#include "platform/Processes.h"

namespace vexlo::app {

namespace {

std::string NotWritten(const std::string& output, const std::string& reason) {
  return "##### ERROR: " + output + " was not written: " + reason + " ######\r\n";
}

}  // namespace

void MainWindow::UseOptionOutput(const OptionJob& job) {
  DialogSettings& s = settings_.values();
  std::string& destination = job.audio ? s.audioDestination : s.videoDestination;
  destination = job.destination;
  const std::string output = job.audio ? encode::DeriveWavName(job.destination) : job.destination;
  // A destination that is its source is left for the encode's own refusal.
  if (platform::SameFile(job.source, output)) return;
  const std::string temporary = jobs::TemporaryName(output, platform::CurrentProcessId());
  destination = temporary;  // a WAV's derived name is then the temporary name itself
  optionOutput_ = jobs::OutputFiles{temporary, output, jobs::IncompleteName(output), output, true};
}

bool MainWindow::PlaceOptionOutput(const jobs::JobEnd& end) {
  const jobs::OutputFiles& files = *optionOutput_;
  if (end.outcome == process::JobOutcome::kFinished && !end.outputShort) {
    std::optional<std::int64_t> sourceMs;
    if (end.sourceMs > 0 && !encode::IsPngSequenceSource(settings().source)) {
      sourceMs = end.sourceMs;
    }
    // The read-back is short, and the window's own end already came: nothing stops it.
    // A raw stream's length is read in-process (its check against the request already ran).
    encode::EncoderSettings written;
    written.outType = settings().outputType;
    const jobs::Placement placement =
        jobs::CheckAndPlace(files, {programDirectory(), settings().source, sourceMs, audioJob_,
                                    {jobs::RawCodecOf(written), std::nullopt}});
    const bool placed = placement.outcome == process::JobOutcome::kFinished;
    if (!placed) logAppend(NotWritten(files.outputPath, placement.reason));
    optionOutput_.reset();
    return placed;
  }
  KeepOptionOutput(end.outcome == process::JobOutcome::kCancelled ? "stopped before its end"
                   : end.reason.empty()                            ? "the encode failed"
                                                                   : end.reason);
  return false;
}

void MainWindow::KeepOptionOutput(const std::string& reason) {
  const std::string kept = jobs::KeepIncomplete(*optionOutput_);
  logAppend(NotWritten(optionOutput_->outputPath, reason + kept));
  optionOutput_.reset();
}

}  // namespace vexlo::app
