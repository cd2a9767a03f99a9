#include "app/VexloDlg.h"

#include "jobs/ConversionJob.h"
#include "platform/Paths.h"
#include "process/LogTexts.h"
#include "res/ControlIds.h"

// The window's job buttons and the window as the job notifications see it.
namespace vexlo::app {

namespace id = res::id;

// ---------------------------------------------------------------------------------------------
// Runners

void CVexloDlg::Refuse(std::string_view line) {
  if (!line.empty()) logAppend(line);
  EnableJobControls(true);
  // Automatic mode leaves the refused request on screen for the user to read and close; without
  // a display no one could, so the program ends with a failing status instead.
  if (automatic_ && host_.headless()) postCancelWindow();
}

int CVexloDlg::StartPlan(const encode::EncodePlan& plan, const std::string& file) {
  for (int i = 0; i < plan.settingsSaves; ++i) SaveAllSettings();
  if (!plan.start) {
    Refuse(plan.errorLine);
    return -1;
  }
  if (!plan.deleteBeforeStart.empty() && platform::DeleteFile(plan.deleteBeforeStart) != 0) {
    // Nothing to add: a file left in place makes the tool fail, and its reason is logged.
  }
  jobs_.StartConversion(plan.commandLine, true, file);
  return 0;
}

int CVexloDlg::EncodeVideo() {
  sendProgress(0);
  const encode::EncodePlan plan =
      encode::PlanVideoEncode(settings_.Encoder(), settings_.Paths(), programDirectory());
  // The check may be stale (a driver installed since): the encode runs all the same.
  const std::string_view encoder = jobs::HardwareEncoderFor(settings().outputType, settings().gpu);
  if (const auto found = encoderCheck_.LastResult(encoder);
      plan.start && found && found->state != jobs::EncoderStatus::State::kWorks) {
    logAppend(jobs::UnusableEncoderWarning(encoder, *found));
  }
  return StartPlan(plan, settings().videoDestination);
}

int CVexloDlg::EncodeAudio() {
  sendProgress(0);
  const encode::EncodePlan plan = encode::PlanAudioEncode(settings_.Encoder(), settings_.Paths(),
                                                          programDirectory(), automatic_);
  return StartPlan(
      plan, plan.deleteBeforeStart.empty() ? settings().audioDestination : plan.deleteBeforeStart);
}

void CVexloDlg::TestEncodeMjpeg() {
  WaitCursor wait(host_);
  DoDataExchange(true);
  if (jobs_.HasConversionRunner()) return;
  const encode::EncodePlan plan =
      encode::PlanTestEncode(settings_.Encoder(), settings_.Paths(), programDirectory());
  if (!plan.start) {
    if (!plan.errorLine.empty()) logAppend(plan.errorLine);
    return;
  }
  jobs_.StartConversion(plan.commandLine);
}

void CVexloDlg::GetMediaInfo(const std::string& path) {
  jobs_.StartMediaInfo(path);
}

void CVexloDlg::GrabFrame(const std::string& source, float seconds) {
  jobs_.StartFrameGrab(source, seconds, settings().deinterlace != 0);
}

int CVexloDlg::StartFrameIndex(int mode) {
  if (!jobs_.ConversionRunning()) sendProgress(0);
  const bool gopMode = mode == 1 || mode == 2;
  const std::string path = mode == 1 ? settings().source : settings().videoDestination;
  if (const auto refusal = jobs_.StartFrameIndex(path, gopMode)) {
    Refuse(*refusal);
  }
  if (!automatic_) SaveAllSettings();
  return 0;
}

void CVexloDlg::OnStopJobs() {
  WaitCursor wait(host_);
  jobs_.StopConversion(process::text::kStopConversion);
  jobs_.StopIndexing(process::text::kStopIndexing);
  encoderCheck_.Stop();
  jobs_.ResetConversionFigures();
  jobs::UpdateProgress(*this);
  sendDetail({});  // after the stopped jobs' own last details, which were posted before
  EnableJobControls(true);
  if (automatic_) host_.endDialog(res::kIdCancel);
}

void CVexloDlg::CheckEncoders() {
  encoderCheck_.Start(programDirectory());
}

void CVexloDlg::OnRequestStop() {
  jobs_.StopConversion(process::text::kRequestStopConversion);
  jobs_.StopIndexing(process::text::kRequestStopIndexing);
}

// ---------------------------------------------------------------------------------------------
// The window as the job notifications see it

void CVexloDlg::logAppend(std::string_view text) {
  if (process::TraceControl* log = log_.load()) log->AddMessage(text, 0, kMaximumLogLevel);
}

void CVexloDlg::flushLog() {
  if (process::TraceControl* log = log_.load()) log->Flush();
}

// Every change of the bar goes through here, from any thread, so that the bar shows the
// positions in the order they were sent; a position equal to the last one sent is not posted.
void CVexloDlg::sendProgress(int position) {
  std::lock_guard lock(progressMutex_);
  if (position == progressSent_) return;
  progressSent_ = position;
  host_.post([this, position] {
    host_.setProgress(position);
    if (!automatic_ && !controlsEnabled_) host_.setTaskProgress(position, true);
  });
}

// A frame index or GOP job sets the bar only while no conversion runs; decided on the window's
// thread, where the conversion runner lives. The position is set by the posted task itself, so it
// keeps its place among the other positions sent; whatever is sent next is posted, not taken for
// a repeat of the last position sent.
void CVexloDlg::sendIndexProgress(int position) {
  std::lock_guard lock(progressMutex_);
  progressSent_ = -1;
  host_.post([this, position] {
    if (!jobs_.ConversionRunning()) host_.setProgress(position);
  });
}

void CVexloDlg::sendDetail(std::string_view text) {
  host_.post([this, text = std::string(text)] { host_.setText(id::kProgressDetail, text); });
}

// Like the bar, the label is the conversion's while one runs.
void CVexloDlg::sendIndexDetail(std::string_view text) {
  host_.post([this, text = std::string(text)] {
    if (!jobs_.ConversionRunning()) host_.setText(id::kProgressDetail, text);
  });
}

void CVexloDlg::postJobEnded(process::JobOutcome outcome, std::string_view file) {
  static constexpr const char* kSummaries[] = {"Vexlo: job finished", "Vexlo: job failed",
                                               "Vexlo: job cancelled"};
  host_.post([this, summary = kSummaries[static_cast<int>(outcome)], file = std::string(file)] {
    // Only a user who looks elsewhere needs the word; automatic mode is a script's.
    if (!automatic_ && !host_.windowActive()) host_.notifyDesktop(summary, file);
  });
}

void CVexloDlg::postEnableJobControls(bool enable) {
  host_.post([this, enable] { EnableJobControls(enable); });
}

void CVexloDlg::postCancelWindow() {
  host_.post([this] { host_.endDialog(res::kIdCancel); });
}

void CVexloDlg::noteConversionResult(bool succeeded) {
  jobs_.NoteConversionResult(succeeded);
}

}  // namespace vexlo::app
