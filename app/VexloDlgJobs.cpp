#include "app/VexloDlg.h"

#include "jobs/ConversionJob.h"
#include "process/LogTexts.h"
#include "res/ControlIds.h"

// The window's job buttons and the window as the job notifications see it.
namespace vexlo::app {

namespace id = res::id;

// ---------------------------------------------------------------------------------------------
// Runners

void MainWindow::Refuse(std::string_view line) {
  if (!line.empty()) logAppend(line);
  EnableJobControls(true);
  // Automatic mode leaves the refused request on screen for the user to read and close; without
  // a display no one could, so the program ends with a failing status instead.
  if (automatic_ && host_.headless()) postCancelWindow();
}

int MainWindow::StartPlan(jobs::JobKind kind, const encode::EncodePlan& plan,
                         const std::string& file) {
  if (const auto refusal = jobs_.StartEncode(kind, plan, file, settings_.Paths().source,
                                            [this] { SaveAllSettings(); })) {
    Refuse(*refusal);
    return -1;
  }
  return 0;
}

int MainWindow::EncodeVideo() {
  sendProgress(0);
  const encode::EncodePlan plan =
      encode::PlanVideoEncode(settings_.Encoder(), settings_.Paths(), programDirectory());
  // The check may be stale (a driver installed since): the encode runs all the same.
  const std::string_view encoder = jobs::HardwareEncoderFor(settings().outputType, settings().gpu);
  if (const auto found = encoderCheck_.LastResult(encoder);
      plan.start && found && found->state != jobs::EncoderStatus::State::kWorks) {
    logAppend(jobs::UnusableEncoderWarning(encoder, *found));
  }
  return StartPlan(jobs::JobKind::kEncode, plan, settings().videoDestination);
}

int MainWindow::EncodeAudio() {
  sendProgress(0);
  const encode::EncodePlan plan = encode::PlanAudioEncode(settings_.Encoder(), settings_.Paths(),
                                                          programDirectory(), automatic_);
  return StartPlan(
      jobs::JobKind::kAudio, plan,
      plan.deleteBeforeStart.empty() ? settings().audioDestination : plan.deleteBeforeStart);
}

void MainWindow::TestEncodeMjpeg() {
  WaitCursor wait(host_);
  ReadControls();
  if (jobs_.HasConversionRunner()) return;
  const encode::EncodePlan plan =
      encode::PlanTestEncode(settings_.Encoder(), settings_.Paths(), programDirectory());
  // A refused test encode only says why: its button disabled nothing.
  if (const auto refusal = jobs_.StartEncode(jobs::JobKind::kTestEncode, plan,
                                             settings().videoDestination,
                                             settings_.Paths().source, [] {});
      refusal && !refusal->empty()) {
    logAppend(*refusal);
  }
}

void MainWindow::GetMediaInfo(const std::string& path) {
  jobs_.StartMediaInfo(path);
}

void MainWindow::GrabFrame(const std::string& source, float seconds) {
  jobs_.StartFrameGrab(source, seconds, settings().deinterlace != 0);
}

void MainWindow::StartFrameIndex(FrameJob job) {
  if (!jobs_.ConversionRunning()) sendProgress(0);
  const bool gopMode = job != FrameJob::kIndexOfVideo;
  const std::string path =
      job == FrameJob::kGopOfSource ? settings().source : settings().videoDestination;
  if (const auto refusal = jobs_.StartFrameIndex(path, gopMode)) {
    Refuse(*refusal);
  }
  if (!automatic_) SaveAllSettings();
}

void MainWindow::OnStopJobs() {
  WaitCursor wait(host_);
  if (queue_) queue_->CancelRun();
  jobs_.StopConversion(process::text::kStopConversion);
  jobs_.StopIndexing(process::text::kStopIndexing);
  encoderCheck_.Stop();
  StopQuality(false);
  jobs_.ResetConversionFigures();
  jobs::UpdateProgress(*this);
  sendDetail({});  // after the stopped jobs' own last details, which were posted before
  EnableJobControls(true);
  if (automatic_) host_.endDialog(res::kIdCancel);
}

void MainWindow::CheckEncoders() {
  encoderCheck_.Start(programDirectory());
}

void MainWindow::OnRequestStop() {
  jobs_.StopConversion(process::text::kRequestStopConversion);
  jobs_.StopIndexing(process::text::kRequestStopIndexing);
}

// ---------------------------------------------------------------------------------------------
// The queue

void MainWindow::onFilesDropped(const std::vector<std::string>& paths) {
  if (!queue_) return;
  queue_->AddPaths(paths);
  queue_->Show();
}

encode::EncoderSettings MainWindow::CurrentEncoderSettings() {
  ReadControls();
  return settings_.Encoder();
}

std::string MainWindow::CurrentSource() {
  ReadControls();
  return settings().source;
}

void MainWindow::QueueRunning(bool running) {
  EnableJobControls(!running);
}

// ---------------------------------------------------------------------------------------------
// The window as the job notifications see it

void MainWindow::logAppend(std::string_view text) {
  if (hosts::TraceControl* log = log_.load()) log->AddMessage(text);
}

void MainWindow::flushLog() {
  if (hosts::TraceControl* log = log_.load()) log->Flush();
}

// Every change of the bar goes through here, from any thread, so that the bar shows the
// positions in the order they were sent; a position equal to the last one sent is not posted.
void MainWindow::sendProgress(int position) {
  std::lock_guard lock(progressMutex_);
  if (position == progressSent_) return;
  progressSent_ = position;
  host_.post([this, position] { ShowProgress(position); });
}

void MainWindow::ShowProgress(int position) {
  host_.setProgress(position);
  // While the queue runs, the launcher shows the whole queue's bar.
  if (!automatic_ && !controlsEnabled_ && !(queue_ && queue_->running())) {
    host_.setTaskProgress(position, true);
  }
}

// A frame index or GOP job sets the bar only while no conversion runs; decided on the window's
// thread, where the conversion runner lives. The position is set by the posted task itself, so it
// keeps its place among the other positions sent; whatever is sent next is posted, not taken for
// a repeat of the last position sent.
void MainWindow::sendIndexProgress(int position) {
  std::lock_guard lock(progressMutex_);
  progressSent_ = -1;
  host_.post([this, position] { ShowIndexProgress(position); });
}

void MainWindow::ShowIndexProgress(int position) {
  if (!jobs_.ConversionRunning()) host_.setProgress(position);
}

void MainWindow::sendDetail(std::string_view text) {
  host_.post([this, text = std::string(text)] { host_.setText(id::kProgressDetail, text); });
}

// Like the bar, the label is the conversion's while one runs.
void MainWindow::sendIndexDetail(std::string_view text) {
  host_.post([this, text = std::string(text)] {
    if (!jobs_.ConversionRunning()) host_.setText(id::kProgressDetail, text);
  });
}

void MainWindow::postJobStarted(jobs::JobKind kind) {
  // A conversion's start disables the job controls (its button may not have: Frame, Test); the
  // other jobs' buttons did.
  if (jobs::IsConversionKind(kind)) host_.post([this] { EnableJobControls(false); });
}

void MainWindow::postJobEnd(jobs::JobEnd end) {
  if (end.finalProgress) {
    // The end's position counts as sent now, among the job's other positions, so that what is
    // sent after it (Cancel's 0) is posted, not taken for a repeat; ShowJobEnd sets it.
    std::lock_guard lock(progressMutex_);
    progressSent_ = -1;
  }
  jobEnds_.Post(std::move(end));
}

void MainWindow::postCancelWindow() {
  host_.post([this] { host_.endDialog(res::kIdCancel); });
}

// ---------------------------------------------------------------------------------------------
// The subscribers of the jobs' end

void MainWindow::TellDesktop(const jobs::JobEnd& end) {
  if (!jobs::IsConversionKind(end.kind) && !jobs::IsIndexKind(end.kind)) return;
  static constexpr const char* kSummaries[] = {"Vexlo: job finished", "Vexlo: job failed",
                                               "Vexlo: job cancelled"};
  // Only a user who looks elsewhere needs the word; automatic mode is a script's.
  if (!automatic_ && !host_.windowActive()) {
    host_.notifyDesktop(kSummaries[static_cast<int>(end.outcome)], end.output);
  }
}

void MainWindow::ShowJobEnd(const jobs::JobEnd& end) {
  // The media information job and the encoder check never take the controls or the bar.
  if (!jobs::IsConversionKind(end.kind) && !jobs::IsIndexKind(end.kind)) return;
  const bool index = jobs::IsIndexKind(end.kind);
  // A GOP job that stopped itself leaves a conversion that runs beside it its controls and bar.
  const bool besideConversion = end.stoppedItself && jobs_.ConversionRunning();
  if (!besideConversion) EnableJobControls(true);
  // Set here, where the end stands among the posted tasks; postJobEnd counted it as sent.
  if (end.finalProgress && index) ShowIndexProgress(*end.finalProgress);
  if (end.finalProgress && !index) ShowProgress(*end.finalProgress);
  if (end.stoppedItself && !besideConversion) {
    jobs_.ResetConversionFigures();
    sendProgress(0);
  }
}

void MainWindow::EndAutomaticMode(const jobs::JobEnd& end) {
  if (!jobs::IsConversionKind(end.kind)) return;
  encodeSucceeded_ = end.outcome == process::JobOutcome::kFinished;
  if (!automatic_) return;
  if (optionOutput_ && end.started) encodeSucceeded_ = PlaceOptionOutput(end);
  // An encode that could not start leaves the window open for the user to read and close;
  // without a display no one could, so the program ends with the failure.
  if (end.started || host_.headless()) postCancelWindow();
}

}  // namespace vexlo::app
