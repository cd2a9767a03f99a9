#include "app/VexloDlg.h"

#include <unistd.h>

#include <utility>

#include "analysis/FrameGrab.h"
#include "encode/EncoderSettings.h"
#include "platform/Paths.h"
#include "process/LogTexts.h"
#include "res/ControlIds.h"

namespace vexlo::app {

namespace id = res::id;
using hosts::ControlEvent;

namespace {

// The controls EnableJobControls switches with its flag, in its order; Cancel goes the other way
// between the two groups.
constexpr int kJobControlsFirst[] = {
    id::kEncodeVideo, id::kEncodeAudio, id::kFrame,     id::kIndex,      id::kBrowseSource,
    id::kInfoSource,  id::kBrowseVideo, id::kDeriveVid, id::kDeriveH264, id::kInfoAudio,
    id::kInfoVideo,   id::kProfileList, id::kCrfList,   id::kResizeList, id::kGpuList,
    id::kFpsList,     id::kBrowseAudio, id::kDeriveWav, id::kDeriveAud};
constexpr int kJobControlsLast[] = {id::kDeriveH265, id::kRadioH264, id::kRadioH265};

// Hidden and disabled by the compact layout of automatic mode.
constexpr int kHiddenWhenCompact[] = {id::kBrowseSource, id::kBrowseVideo, id::kDeriveVid,
                                      id::kDeriveH264,   id::kLogLabel,    id::kLogPane,
                                      id::kEncodeVideo,  id::kDefault,     res::kIdOk};

}  // namespace

MainWindow::MainWindow(hosts::DialogHost& host, RegistryStore& store, std::string programDirectory)
    : host_(host),
      programDirectoryOverride_(std::move(programDirectory)),
      settings_(host, store),
      trace_(host, id::kLogPane),
      jobEnds_(hosts::PostTo(host)),
      jobs_(hosts::PostTo(host), *this),
      encoderCheck_(hosts::PostTo(host), *this) {
  // A settings folder that cannot be written is told once in the log (and so, in automatic mode,
  // on standard error); the job goes on with the values it has.
  settings_.reportFailureTo([this](std::string_view line) { logAppend(line); });
  // The desktop's word goes by the window as it was at the end, before the controls come back.
  jobEnds_.Subscribe([this](const jobs::JobEnd& end) { TellDesktop(end); });
  jobEnds_.Subscribe([this](const jobs::JobEnd& end) { ShowJobEnd(end); });
  jobEnds_.Subscribe([this](const jobs::JobEnd& end) { EndAutomaticMode(end); });
}

MainWindow::~MainWindow() {
  StopQuality(true);
}

void MainWindow::PresetAutomaticMode(const CommandLineFields& fields) {
  automatic_ = true;
  DialogSettings& s = settings_.values();
  settings_.ApplyAutomaticValues();
  s.source = fields.source;
  s.videoDestination = fields.videoDestination;
  s.profile = fields.profile;
  s.crf = fields.crf;
  commandLineRefusal_ = fields.refusal;
}

void MainWindow::PresetOptionJob(const OptionJob& job) {
  automatic_ = true;
  settings_.keepInStore(false);
  audioJob_ = job.audio;
  DialogSettings& s = settings_.values();
  settings_.ApplyAutomaticValues();
  s.source = job.source;
  UseOptionOutput(job);
  s.outputType = job.outType;
  s.gpu = job.gpuType;
  s.profile = job.profile;
  s.crf = job.crf;
  s.fps = job.fps;
  s.resize = job.resize;
  s.deinterlace = job.deinterlace ? 1 : 0;
  s.shortGop = job.shortGop ? 1 : 0;
}

int MainWindow::ExitStatus() const {
  if (!automatic_) return 0;
  return encodeSucceeded_ ? 0 : 1;
}

// ---------------------------------------------------------------------------------------------
// Start-up and shut-down

void MainWindow::onInitDialog() {
  ShowValues();
  directories_.ComputeProgramDirectory(programDirectoryOverride_);
  jobs_.setProgramDirectory(programDirectory());
  LoadSettings();
  ShowValues();
  log_.store(&trace_);
  // A caller of automatic mode (a script, a headless machine) reads the log on standard error.
  if (automatic_) trace_.EchoTo(STDERR_FILENO);
  trace_.StartTrace(programDirectory(), kLogFileName, 1);
  trace_.maxLevel = kMaximumLogLevel;
  if (automatic_) {
    ApplyCompactLayout();
    PressEncode();
  } else {
    EnableJobControls(true);
    queue_ = std::make_unique<QueueWindow>(host_, *this, programDirectory(), jobs::QueueFilePath());
    queue_->Restore();
  }
}

void MainWindow::onDestroy() {
  // The tools are killed and the runners' threads have ended before anything else goes, so no
  // notification can reach a window that is being destroyed.
  if (queue_) queue_->Shutdown();
  jobs_.Shutdown();
  encoderCheck_.Stop();
  StopQuality(true);
  // An option form stopped before its end (its end's post came after the window had closed).
  if (optionOutput_) KeepOptionOutput("stopped before its end");
  if (!automatic_) host_.setTaskProgress(0, false);
  if (hosts::TraceControl* log = log_.exchange(nullptr)) log->ShutdownTrace();
  jobs_.ReleaseIndexFile();
}

void MainWindow::ApplyCompactLayout() {
  host_.resizeWindow(kCompactWidth, kCompactHeight);
  for (int control : {id::kSourceEdit, id::kVideoDestEdit}) {
    host_.setVisible(control, true);
    host_.setReadOnly(control, true);
  }
  host_.setVisible(id::kCrfList, true);
  for (int control : kHiddenWhenCompact) {
    host_.setEnabled(control, false);
    host_.setVisible(control, false);
  }
}

void MainWindow::PressEncode() {
  WaitCursor wait(host_);
  ReadControls();
  EnableJobControls(false);
  if (!commandLineRefusal_.empty()) {
    Refuse(commandLineRefusal_);
    return;
  }
  if (audioJob_) {
    EncodeAudio();
  } else {
    EncodeVideo();
  }
}

// ---------------------------------------------------------------------------------------------
// Settings

void MainWindow::ShowValues() {
  settings_.Exchange(/*saveAndValidate=*/false);
}

void MainWindow::ReadControls() {
  settings_.Exchange(/*saveAndValidate=*/true);
  if (programDirectory().empty()) return;
  // A relative path typed into a path field names a file in the program's folder, where the
  // tools run; the window's own checks (same file, deletions, index and picture files) must look
  // at that same file, so such a path is made absolute before any job uses it.
  DialogSettings& s = settings_.values();
  for (std::string* path : {&s.source, &s.videoDestination, &s.audioDestination}) {
    *path = platform::FromWorkingDirectory(*path, programDirectory());
  }
}

void MainWindow::LoadSettings() {
  // Automatic mode keeps the constructed and command-line values.
  if (!automatic_) settings_.Load(directories_.CopyProgramDirectory());
  if (!automatic_ && !presetSource_.empty()) settings().source = presetSource_;
}

void MainWindow::SaveAllSettings() {
  settings_.SaveAll();
}

// ---------------------------------------------------------------------------------------------
// Control states

void MainWindow::EnableJobControls(bool enable) {
  const bool queueRuns = queue_ && queue_->running();
  enable = enable && !queueRuns;
  controlsEnabled_ = enable;
  if (queue_) queue_->SetMainJobRunning(!enable && !queueRuns);
  const encode::OutputType type = encode::OutputTypeOf(settings().outputType);
  const bool h264 = type == encode::OutputType::kH264;
  host_.setVisible(id::kDeriveH264, h264);
  host_.setVisible(id::kProfileList, h264);
  host_.setVisible(id::kProfileLabel, h264);
  host_.setVisible(id::kDeriveH265, type == encode::OutputType::kH265);
  host_.setVisible(id::kDeriveMpv, type == encode::OutputType::kMpv);
  for (int control : kJobControlsFirst) host_.setEnabled(control, enable);
  host_.setEnabled(id::kCancel, !enable);
  for (int control : kJobControlsLast) host_.setEnabled(control, enable);
  host_.setEnabled(res::kCmdShowFrames, enable && jobs_.framePlot() != nullptr);
  EnableQualityItems(enable && !measuring_);
  // The taskbar or dock entry shows the bar while a job runs (not for a script's run).
  if (!automatic_ && !queueRuns) host_.setTaskProgress(host_.progress(), !enable);
}

// ---------------------------------------------------------------------------------------------
// Handlers

void MainWindow::onCommand(int controlId, ControlEvent event) {
  switch (controlId) {
    case id::kProfileList:
    case id::kCrfList:
    case id::kFpsList:
    case id::kResizeList:
      if (event != ControlEvent::kSelectionChanged) return;
      ReadControls();
      return settings_.SaveControl(controlId);
    case id::kDeinterlaceCheck:
    case id::kShortGopCheck:
    case id::kReportCheck:
      ReadControls();
      return settings_.SaveControl(controlId);
    case id::kRadioH264:
    case id::kRadioH265:
    case id::kRadioMpv:
      return OnRadio();
    case id::kDeriveVid:
      return OnDestination(Destination::kVid);
    case id::kDeriveH264:
      return OnDestination(Destination::kH264);
    case id::kDeriveH265:
      return OnDestination(Destination::kH265);
    case id::kDeriveMpv:
      return OnDestination(Destination::kMpv);
    case id::kDeriveAud:
      return OnDestination(Destination::kAud);
    case id::kDeriveWav:
      return OnDestination(Destination::kWav);
    case id::kBrowseSource:
    case id::kBrowseVideo:
    case id::kBrowseAudio:
      return OnBrowse(controlId);
    case id::kGoSource:
    case id::kGoVideo:
    case id::kGoAudio:
      return OnGo(controlId);
    case id::kDefault:
      return OnDefault();
    case id::kEncodeVideo:
    case id::kEncodeAudio:
    case id::kIndex:
    case id::kGopSource:
    case id::kGopVideo:
      return OnJobButton(controlId);
    case id::kInfoSource:
      return GetMediaInfo(settings().source);
    case id::kInfoVideo:
      return GetMediaInfo(settings().videoDestination);
    case id::kInfoAudio:
      return GetMediaInfo(settings().audioDestination);
    case id::kFrame:
      return OnFrame();
    case id::kCancel:
      return OnStopJobs();
    case id::kTestEncode:
      return TestEncodeMjpeg();
    case id::kRequestStop:
      return OnRequestStop();
    case res::kIdOk:
      ReadControls();
      return host_.endDialog(res::kIdOk);
    case res::kIdCancel:
    case res::kCmdAppExit:
      return host_.endDialog(res::kIdCancel);
    case res::kCmdAppAbout:
      return host_.showAbout();
    case res::kCmdCheckEncoders:
      return CheckEncoders();
    case res::kCmdShowFrames:
      return ShowFrames();
    case res::kCmdMeasureQuality:
      return MeasureQuality();
    case res::kCmdQueue:
      if (queue_) queue_->Show();
      return;
    case res::kCmdCopyLastCommand:
      if (!jobs_.LastCommand().empty()) host_.setClipboardText(jobs_.LastCommand());
      return;
    default:
      return OnSampleCommand(controlId);
  }
}

void MainWindow::OnRadio() {
  ReadControls();
  EnableJobControls(controlsEnabled_);
  settings_.Save(RowOf(&DialogSettings::outputType));
}

void MainWindow::OnDestination(Destination button) {
  ReadControls();
  DialogSettings& s = settings();
  const std::string derived = DeriveDestination(button, s.source, s.outputType);
  const bool audio = button == Destination::kAud || button == Destination::kWav;
  (audio ? s.audioDestination : s.videoDestination) = derived;
  ShowValues();
  if (!audio) settings_.Save(RowOf(&DialogSettings::videoDestination));
  settings_.Save(RowOf(&DialogSettings::audioDestination));
}

void MainWindow::OnBrowse(int controlId) {
  struct BrowseRow {
    int control;
    std::string DialogSettings::*field;
    const char* title;
    const char* filter;
  };
  static const BrowseRow kRows[] = {
      {id::kBrowseSource, &DialogSettings::source, "Video Source File", "*.*"},
      {id::kBrowseVideo, &DialogSettings::videoDestination, "H264 Dest. File", "*.H264"},
      {id::kBrowseAudio, &DialogSettings::audioDestination, "WAV Dest. File", "*.WAV"},
  };
  const BrowseRow* row = nullptr;
  for (const auto& r : kRows) {
    if (r.control == controlId) row = &r;
  }
  if (!row) return;
  ReadControls();
  directories_.SaveWorkingDirectory();
  std::string& field = settings().*(row->field);
  hosts::FileDialogRequest request{row->title, row->filter, BrowseDirectory(field), row->filter};
  if (auto chosen = host_.chooseFile(request); chosen && chosen->empty()) {
    logAppend(process::text::kNameNotUtf8);
  } else if (chosen) {
    field = *chosen;
    ShowValues();
    settings_.Save(RowOf(row->field));
  }
  directories_.RestoreWorkingDirectory();
  sendProgress(0);
}

void MainWindow::OnGo(int controlId) {
  WaitCursor wait(host_);
  ReadControls();
  const DialogSettings& s = settings();
  const std::string& path = controlId == id::kGoSource  ? s.source
                            : controlId == id::kGoVideo ? s.videoDestination
                                                        : s.audioDestination;
  host_.revealInFileManager(path);
}

void MainWindow::OnDefault() {
  ReadControls();
  settings_.ApplyDefaultButton();
  ShowValues();
  SaveAllSettings();
  OnDestination(Destination::kH264);
}

void MainWindow::OnJobButton(int controlId) {
  WaitCursor wait(host_);
  ReadControls();
  EnableJobControls(false);
  switch (controlId) {
    case id::kEncodeVideo:
      EncodeVideo();
      break;
    case id::kEncodeAudio:
      EncodeAudio();
      break;
    case id::kIndex:
      StartFrameIndex(FrameJob::kIndexOfVideo);
      break;
    case id::kGopSource:
      StartFrameIndex(FrameJob::kGopOfSource);
      break;
    case id::kGopVideo:
      StartFrameIndex(FrameJob::kGopOfVideo);
      break;
    default:
      break;
  }
}

void MainWindow::OnFrame() {
  ReadControls();
  const float seconds = analysis::FrameSeconds(settings().frameTimeText);
  if (settings().source.empty()) {
    logAppend(process::text::kOriginNotSpecified);
    return;
  }
  GrabFrame(settings().source, seconds);
}

}  // namespace vexlo::app
