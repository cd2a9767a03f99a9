#include "app/VexloDlg.h"

#include <unistd.h>

#include <algorithm>
#include <utility>

#include "analysis/FrameGrab.h"
#include "analysis/IndexNaming.h"
#include "app/RegistryStore.h"
#include "encode/EncodeRequest.h"
#include "platform/Paths.h"
#include "process/JobCallbacks.h"
#include "process/LogTexts.h"
#include "process/ToolCommand.h"
#include "res/ControlIds.h"
#include "res/ListEntries.h"

namespace vexlo::app {

namespace id = res::id;
using platform::ControlEvent;

namespace {

// The radio group of the output type, in the order of its values.
constexpr int kOutTypeRadios[] = {id::kRadioH264, id::kRadioH265, id::kRadioMpv};

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

// Shows the wait cursor for as long as it lives.
class CVexloDlg::WaitCursor {
 public:
  explicit WaitCursor(platform::DialogHost& host) : host_(host) { host_.setWaitCursor(true); }
  ~WaitCursor() { host_.setWaitCursor(false); }
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;

 private:
  platform::DialogHost& host_;
};

CVexloDlg::CVexloDlg(platform::DialogHost& host, RegistryStore& store, std::string programDirectory)
    : host_(host),
      store_(store),
      programDirectoryOverride_(std::move(programDirectory)),
      trace_(host, id::kLogPane),
      mediaInfoJob_(*this),
      indexJob_(*this) {}

CVexloDlg::~CVexloDlg() {
  DisposeRunner(conversionRunner_, {});
  DisposeRunner(indexingRunner_, {});
}

void CVexloDlg::PresetAutomaticMode(const CommandLineFields& fields) {
  automatic_ = true;
  settings_.FileOrigine = fields.first;
  settings_.FileDestinazione = fields.second;
  settings_.iNumProfile = fields.third;
  settings_.iNumCRF = fields.fourth;
  commandLineRefusal_ = fields.refusal;
}

void CVexloDlg::PresetOptionJob(const OptionJob& job) {
  automatic_ = true;
  keepSettings_ = false;
  audioJob_ = job.audio;
  DialogSettings& s = settings_;
  s.FileOrigine = job.source;
  (job.audio ? s.FileDestinazione3 : s.FileDestinazione) = job.destination;
  s.mOutType = job.outType;
  s.m_GpuType = job.gpuType;
  s.iNumProfile = job.profile;
  s.iNumCRF = job.crf;
  s.iNumFPS = job.fps;
  s.iResizeType = job.resize;
  s.bDeinterlace = job.deinterlace ? 1 : 0;
  s.bShortGop = job.shortGop ? 1 : 0;
}

int CVexloDlg::ExitStatus() const {
  if (!automatic_) return 0;
  return conversionSucceeded_.load() ? 0 : 1;
}

// ---------------------------------------------------------------------------------------------
// Start-up and shut-down

void CVexloDlg::onInitDialog() {
  DoDataExchange(false);
  directories_.ComputeProgramDirectory(programDirectoryOverride_);
  directories_.EnterProgramDirectory();
  LoadSettings();
  DoDataExchange(false);
  log_.store(&trace_);
  // A caller of automatic mode (a script, a headless machine) reads the log on standard error.
  if (automatic_) trace_.EchoTo(STDERR_FILENO);
  trace_.StartTrace(kLogFileName, 1);
  trace_.maxLevel = kMaximumLogLevel;
  if (automatic_) {
    ApplyCompactLayout();
    PressEncode();
  } else {
    EnableJobControls(true);
  }
}

void CVexloDlg::onDestroy() {
  // The tools are killed and the runners' threads have ended before anything else goes, so no
  // notification can reach a window that is being destroyed.
  StopConversion({});
  DisposeRunner(indexingRunner_, {});
  if (process::TraceControl* log = log_.exchange(nullptr)) log->ShutdownTrace();
  indexJob_.Release();
}

void CVexloDlg::ApplyCompactLayout() {
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

void CVexloDlg::PressEncode() {
  WaitCursor wait(host_);
  DoDataExchange(true);
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

void CVexloDlg::DoDataExchange(bool saveAndValidate) {
  DialogSettings& s = settings_;
  struct TextBinding {
    int control;
    std::string* field;
  };
  const TextBinding texts[] = {{id::kSourceEdit, &s.FileOrigine},
                               {id::kVideoDestEdit, &s.FileDestinazione},
                               {id::kAudioDestEdit, &s.FileDestinazione3},
                               {id::kFrameTimeEdit, &s.frameTimeText}};
  struct IndexBinding {
    int control;
    int* field;
  };
  const IndexBinding lists[] = {{id::kProfileList, &s.iNumProfile},
                                {id::kCrfList, &s.iNumCRF},
                                {id::kResizeList, &s.iResizeType},
                                {id::kFpsList, &s.iNumFPS}};
  const IndexBinding checks[] = {{id::kReportCheck, &s.bUseReport},
                                 {id::kDeinterlaceCheck, &s.bDeinterlace},
                                 {id::kShortGopCheck, &s.bShortGop}};
  if (saveAndValidate) {
    for (const auto& b : texts) *b.field = host_.text(b.control);
    for (const auto& b : lists) *b.field = host_.listIndex(b.control);
    for (const auto& b : checks) *b.field = host_.checked(b.control) ? 1 : 0;
    s.m_GpuType = host_.listIndex(id::kGpuList);
    s.mOutType = -1;
    for (int i = 0; i < 3; ++i) {
      if (host_.checked(kOutTypeRadios[i])) s.mOutType = i;
    }
    return;
  }
  for (const auto& b : texts) host_.setText(b.control, *b.field);
  for (const auto& b : lists) host_.setListIndex(b.control, *b.field);
  for (const auto& b : checks) host_.setChecked(b.control, *b.field != 0);
  host_.setListIndex(id::kGpuList, s.m_GpuType);
  for (int i = 0; i < 3; ++i) host_.setChecked(kOutTypeRadios[i], s.mOutType == i);
}

void CVexloDlg::LoadSettings() {
  if (automatic_) return;  // automatic mode keeps the constructed and command-line values
  DialogSettings& s = settings_;
  const std::string& dir = directories_.CopyProgramDirectory();
  // A value of another type than the setting's, or a number that is no position of its list,
  // reads as the default: the settings file may have been edited by hand or damaged, and such a
  // value must never turn into another encode.
  const auto text = [this, &dir](const char* name, std::string& field) {
    const auto value = store_.ReadValue(kSettingsKey, name);
    field = dir;
    if (!value || value->type != platform::kRegSz) return;
    const auto& bytes = value->data;
    field.assign(bytes.begin(), std::find(bytes.begin(), bytes.end(), std::uint8_t{0}));
  };
  const auto read = [this](const char* name, int fallback, std::size_t count) {
    const auto value = store_.ReadValue(kSettingsKey, name);
    if (!value || value->type != platform::kRegDword || value->data.size() != 4) return fallback;
    std::uint32_t number = 0;
    for (int i = 0; i < 4; ++i) number |= static_cast<std::uint32_t>(value->data[i]) << (8 * i);
    return number < count ? static_cast<int>(number) : fallback;
  };
  text("FileOrigine", s.FileOrigine);
  text("FileDestinazione3", s.FileDestinazione3);
  text("FileDestinazione", s.FileDestinazione);
  s.bDeinterlace = read("bDeinterlace", 0, 2);
  s.bShortGop = read("bShortGop", 0, 2);
  s.bUseReport = read("bUseReport", 0, 2);
  s.m_GpuType = read("m_GpuType", 0, res::lists::kGpu.size());
  s.iNumProfile = read("iNumProfile", 2, res::lists::kProfile.size());
  s.iResizeType = read("iResizeType", 0, res::lists::kResize.size());
  s.iNumCRF = read("iNumCRF", 1, res::lists::kCrf.size());
  s.iNumFPS = read("iNumFPS", 0, res::lists::kFps.size());
  s.mOutType = read("mOutType", 0, 3);
}

void CVexloDlg::WriteDword(const char* name, int value) {
  if (!keepSettings_) return;
  NoteSettingsWrite(store_.PutDword(kSettingsKey, name, static_cast<std::uint32_t>(value)));
}

void CVexloDlg::WriteString(const char* name, const std::string& value) {
  if (!keepSettings_) return;
  NoteSettingsWrite(store_.PutString(kSettingsKey, name, value));
}

void CVexloDlg::NoteSettingsWrite(const platform::RegistryWriteResult& result) {
  if (!result && settingsWriteFailure_) settingsWriteFailure_ = result;
}

void CVexloDlg::SaveAllSettings() {
  const DialogSettings& s = settings_;
  WriteString("FileOrigine", s.FileOrigine);
  WriteString("FileDestinazione", s.FileDestinazione);
  WriteString("FileDestinazione3", s.FileDestinazione3);
  WriteDword("bDeinterlace", s.bDeinterlace);
  WriteDword("bUseReport", s.bUseReport);
  WriteDword("m_GpuType", s.m_GpuType);
  WriteDword("iNumProfile", s.iNumProfile);
  WriteDword("iNumCRF", s.iNumCRF);
  WriteDword("mOutType", s.mOutType);
}

// The one value a setting control saves after its change.
void CVexloDlg::SaveValue(int controlId) {
  const DialogSettings& s = settings_;
  switch (controlId) {
    case id::kProfileList:
      return WriteDword("iNumProfile", s.iNumProfile);
    case id::kCrfList:
      return WriteDword("iNumCRF", s.iNumCRF);
    case id::kFpsList:
      return WriteDword("iNumFPS", s.iNumFPS);
    case id::kResizeList:
      return WriteDword("iResizeType", s.iResizeType);
    case id::kDeinterlaceCheck:
      return WriteDword("bDeinterlace", s.bDeinterlace);
    case id::kShortGopCheck:
      return WriteDword("bShortGop", s.bShortGop);
    case id::kReportCheck:
      return WriteDword("bUseReport", s.bUseReport);
    default:
      return;
  }
}

encode::EncodePaths CVexloDlg::CurrentPaths() const {
  return {settings_.FileOrigine, settings_.FileDestinazione, settings_.FileDestinazione3};
}

encode::EncoderSettings CVexloDlg::EncoderSettingsNow() const {
  const DialogSettings& s = settings_;
  encode::EncoderSettings e;
  e.outType = s.mOutType;
  e.gpuType = s.m_GpuType;
  e.profile = s.iNumProfile;
  e.crf = s.iNumCRF;
  e.fps = s.iNumFPS;
  e.resize = s.iResizeType;
  e.deinterlace = s.bDeinterlace != 0;
  e.shortGop = s.bShortGop != 0;
  e.useReport = s.bUseReport != 0;
  return e;
}

// ---------------------------------------------------------------------------------------------
// Control states

void CVexloDlg::EnableJobControls(bool enable) {
  controlsEnabled_ = enable;
  const int outType = settings_.mOutType;
  const bool h264 = outType != 1 && outType != 2;
  host_.setVisible(id::kDeriveH264, h264);
  host_.setVisible(id::kProfileList, h264);
  host_.setVisible(id::kProfileLabel, h264);
  host_.setVisible(id::kDeriveH265, outType == 1);
  host_.setVisible(id::kDeriveMpv, outType == 2);
  for (int control : kJobControlsFirst) host_.setEnabled(control, enable);
  host_.setEnabled(id::kCancel, !enable);
  for (int control : kJobControlsLast) host_.setEnabled(control, enable);
}

// ---------------------------------------------------------------------------------------------
// Handlers

void CVexloDlg::onCommand(int controlId, ControlEvent event) {
  switch (controlId) {
    case id::kProfileList:
    case id::kCrfList:
    case id::kFpsList:
    case id::kResizeList:
      if (event != ControlEvent::kSelectionChanged) return;
      DoDataExchange(true);
      return SaveValue(controlId);
    case id::kDeinterlaceCheck:
    case id::kShortGopCheck:
    case id::kReportCheck:
      DoDataExchange(true);
      return SaveValue(controlId);
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
      return GetMediaInfo(settings_.FileOrigine);
    case id::kInfoVideo:
      return GetMediaInfo(settings_.FileDestinazione);
    case id::kInfoAudio:
      return GetMediaInfo(settings_.FileDestinazione3);
    case id::kFrame:
      return OnFrame();
    case id::kCancel:
      return OnStopJobs();
    case id::kTestEncode:
      return TestEncodeMjpeg();
    case id::kRequestStop:
      return OnRequestStop();
    case res::kIdOk:
      DoDataExchange(true);
      return host_.endDialog(res::kIdOk);
    case res::kIdCancel:
    case res::kCmdAppExit:
      return host_.endDialog(res::kIdCancel);
    case res::kCmdAppAbout:
      return host_.showAbout();
    default:
      return;
  }
}

void CVexloDlg::OnRadio() {
  DoDataExchange(true);
  EnableJobControls(controlsEnabled_);
  WriteDword("mOutType", settings_.mOutType);
}

void CVexloDlg::OnDestination(Destination button) {
  DoDataExchange(true);
  DialogSettings& s = settings_;
  const std::string derived = DeriveDestination(button, s.FileOrigine, s.mOutType);
  const bool audio = button == Destination::kAud || button == Destination::kWav;
  (audio ? s.FileDestinazione3 : s.FileDestinazione) = derived;
  DoDataExchange(false);
  if (!audio) WriteString("FileDestinazione", s.FileDestinazione);
  WriteString("FileDestinazione3", s.FileDestinazione3);
}

void CVexloDlg::OnBrowse(int controlId) {
  struct BrowseRow {
    int control;
    std::string DialogSettings::*field;
    const char* valueName;
    const char* title;
    const char* filter;
  };
  static const BrowseRow kRows[] = {
      {id::kBrowseSource, &DialogSettings::FileOrigine, "FileOrigine", "Video Source File", "*.*"},
      {id::kBrowseVideo, &DialogSettings::FileDestinazione, "FileDestinazione", "H264 Dest. File",
       "*.H264"},
      {id::kBrowseAudio, &DialogSettings::FileDestinazione3, "FileDestinazione3", "WAV Dest. File",
       "*.WAV"},
  };
  const BrowseRow* row = nullptr;
  for (const auto& r : kRows) {
    if (r.control == controlId) row = &r;
  }
  if (!row) return;
  DoDataExchange(true);
  directories_.SaveWorkingDirectory();
  std::string& field = settings_.*(row->field);
  platform::FileDialogRequest request{row->title, row->filter, BrowseDirectory(field), row->filter};
  if (auto chosen = host_.chooseFile(request); chosen && chosen->empty()) {
    logAppend(process::text::kNameNotUtf8);
  } else if (chosen) {
    field = *chosen;
    DoDataExchange(false);
    WriteString(row->valueName, field);
  }
  directories_.RestoreWorkingDirectory();
  sendProgress(0);
}

void CVexloDlg::OnGo(int controlId) {
  WaitCursor wait(host_);
  DoDataExchange(true);
  const DialogSettings& s = settings_;
  const std::string& path = controlId == id::kGoSource  ? s.FileOrigine
                            : controlId == id::kGoVideo ? s.FileDestinazione
                                                        : s.FileDestinazione3;
  host_.revealInFileManager(path);
}

void CVexloDlg::OnDefault() {
  DoDataExchange(true);
  DialogSettings& s = settings_;
  s.bUseReport = s.bDeinterlace = s.bShortGop = 0;
  s.m_GpuType = 0;
  s.iNumProfile = 2;
  s.iResizeType = 0;
  s.iNumCRF = 3;
  s.iNumFPS = 0;
  s.frameTimeText = "0.00";
  DoDataExchange(false);
  SaveAllSettings();
  OnDestination(Destination::kH264);
}

void CVexloDlg::OnJobButton(int controlId) {
  WaitCursor wait(host_);
  DoDataExchange(true);
  EnableJobControls(false);
  switch (controlId) {
    case id::kEncodeVideo:
      EncodeVideo();
      break;
    case id::kEncodeAudio:
      EncodeAudio();
      break;
    case id::kIndex:
      StartFrameIndex(0);
      break;
    case id::kGopSource:
      StartFrameIndex(1);
      break;
    case id::kGopVideo:
      StartFrameIndex(2);
      break;
    default:
      break;
  }
}

void CVexloDlg::OnFrame() {
  DoDataExchange(true);
  const float seconds = analysis::FrameSeconds(settings_.frameTimeText);
  if (settings_.FileOrigine.empty()) {
    logAppend(process::text::kOriginNotSpecified);
    return;
  }
  GrabFrame(settings_.FileOrigine, seconds);
}

// ---------------------------------------------------------------------------------------------
// Runners

void CVexloDlg::Refuse(std::string_view line) {
  if (!line.empty()) logAppend(line);
  EnableJobControls(true);
  // Automatic mode leaves the refused request on screen for the user to read and close; without
  // a display no one could, so the program ends with a failing status instead.
  if (automatic_ && host_.headless()) postCancelWindow();
}

bool CVexloDlg::DisposeRunner(std::unique_ptr<process::ProcessRunner>& runner,
                              std::string_view runningLine) {
  if (!runner) return false;
  const bool wasRunning = runner->state() == process::kRunnerRunning;
  if (wasRunning && !runningLine.empty()) logAppend(runningLine);
  runner->Close();
  runner->CloseDoneEvent();
  runner.reset();
  return wasRunning;
}

void CVexloDlg::StopConversion(std::string_view runningLine) {
  // A conversion stopped before its end is no success, whatever its finished notification said.
  if (DisposeRunner(conversionRunner_, runningLine)) conversionSucceeded_ = false;
}

void CVexloDlg::StartConversionRunner(const std::string& commandLine, bool withErrorNotification) {
  StopConversion(process::text::kRequestStopConversion);
  conversionSucceeded_ = false;
  // Before the runner starts: its reader may deliver lines before the started notification.
  figures_.keptOut.Clear();
  process::JobNotifications notifications = process::kConversionNotifications;
  if (!withErrorNotification) {
    notifications.error = nullptr;
    notifications.failure = nullptr;
  }
  conversionRunner_ =
      process::StartJob(commandLine, notifications, static_cast<process::JobWindow*>(this));
}

int CVexloDlg::EncodeVideo() {
  sendProgress(0);
  const encode::EncodePlan plan =
      encode::PlanVideoEncode(EncoderSettingsNow(), CurrentPaths(), programDirectory());
  for (int i = 0; i < plan.settingsSaves; ++i) SaveAllSettings();
  if (!plan.start) {
    Refuse(plan.errorLine);
    return -1;
  }
  StartConversionRunner(plan.commandLine);
  return 0;
}

int CVexloDlg::EncodeAudio() {
  sendProgress(0);
  const encode::EncodePlan plan =
      encode::PlanAudioEncode(EncoderSettingsNow(), CurrentPaths(), programDirectory(), automatic_);
  for (int i = 0; i < plan.settingsSaves; ++i) SaveAllSettings();
  if (!plan.start) {
    Refuse(plan.errorLine);
    return -1;
  }
  if (!plan.deleteBeforeStart.empty() && platform::DeleteFile(plan.deleteBeforeStart) != 0) {
    // Nothing to add: a file left in place makes the tool fail, and its reason is logged.
  }
  StartConversionRunner(plan.commandLine);
  return 0;
}

void CVexloDlg::TestEncodeMjpeg() {
  WaitCursor wait(host_);
  DoDataExchange(true);
  if (conversionRunner_) return;
  const encode::EncodePlan plan =
      encode::PlanTestEncode(EncoderSettingsNow(), CurrentPaths(), programDirectory());
  if (!plan.start) {
    if (!plan.errorLine.empty()) logAppend(plan.errorLine);
    return;
  }
  StartConversionRunner(plan.commandLine);
}

void CVexloDlg::GetMediaInfo(const std::string& path) {
  if (const std::string refusal = analysis::MediaInfoRefusal(path); !refusal.empty()) {
    logAppend(refusal);
    return;
  }
  StopConversion(process::text::kCancel);
  mediaInfoJob_.Prepare();
  conversionRunner_ = process::StartJob(analysis::MediaInfoCommandLine(programDirectory(), path),
                                        analysis::MediaInfoJob::kNotifications, &mediaInfoJob_);
}

void CVexloDlg::GrabFrame(const std::string& source, float seconds) {
  const auto picture = analysis::PicturePathFor(source, seconds);
  const std::string refusal = analysis::GrabFrameRefusal(source, picture.value_or(""));
  if (!refusal.empty() || !picture) {
    logAppend(refusal.empty() ? process::text::kOriginNotSpecified : refusal);
    return;
  }
  if (platform::DeleteFile(*picture) != 0) {
    // Nothing to add: a picture left in place makes the tool fail, and its reason is logged.
  }
  StartConversionRunner(analysis::GrabFrameCommandLine(programDirectory(), source, seconds,
                                                       settings_.bDeinterlace != 0, *picture),
                        /*withErrorNotification=*/false);
}

int CVexloDlg::StartFrameIndex(int mode) {
  if (!ConversionRunning()) sendProgress(0);
  const bool gopMode = mode == 1 || mode == 2;
  const std::string path = mode == 1 ? settings_.FileOrigine : settings_.FileDestinazione;
  BuildFrameIndex(path, path, gopMode);
  if (!automatic_) SaveAllSettings();
  return 0;
}

void CVexloDlg::BuildFrameIndex(const std::string& input, const std::string& naming, bool gopMode) {
  const auto indexPath = analysis::IndexPathFor(naming, gopMode);
  const std::string refusal = analysis::FrameIndexRefusal(input, indexPath);
  if (!refusal.empty() || !indexPath) {
    Refuse(refusal);
    return;
  }
  // The previous job finishes its own file before the new one is opened.
  DisposeRunner(indexingRunner_,
                gopMode ? std::string_view() : process::text::kRequestStopIndexing);
  indexJob_.Prepare(*indexPath, gopMode);
  const std::uint64_t generation = ++indexingGeneration_;
  indexJob_.requestGopStop = [this, generation] {
    host_.post([this, generation] { StopGopJob(generation); });
  };
  indexingRunner_ = process::StartJob(analysis::FrameIndexCommandLine(programDirectory(), input),
                                      analysis::IndexJob::kNotifications, &indexJob_);
}

bool CVexloDlg::ConversionRunning() const {
  return conversionRunner_ && conversionRunner_->state() == process::kRunnerRunning;
}

// The GOP job has measured its GOP: it ends, and only it. A conversion that runs beside it goes
// on, with its controls and progress bar.
void CVexloDlg::StopGopJob(std::uint64_t generation) {
  if (generation != indexingGeneration_ || !indexingRunner_) return;
  DisposeRunner(indexingRunner_, {});
  if (ConversionRunning()) {
    // The GOP job's end enabled the job controls (posted); the conversion still runs, so they
    // are disabled again, after that. Its figures and bar are its own and stay.
    host_.post([this] {
      if (ConversionRunning()) EnableJobControls(false);
    });
    return;
  }
  figures_.durationMs = 0;
  figures_.timeMs = 0;
  figures_.progressPos = 0;
  sendProgress(0);
  EnableJobControls(true);
}

void CVexloDlg::OnStopJobs() {
  WaitCursor wait(host_);
  StopConversion(process::text::kStopConversion);
  DisposeRunner(indexingRunner_,
                indexJob_.gopMode() ? std::string_view() : process::text::kStopIndexing);
  figures_.durationMs = 0;
  figures_.timeMs = 0;
  figures_.progressPos = 0;
  process::UpdateProgress(*this);
  EnableJobControls(true);
  if (automatic_) host_.endDialog(res::kIdCancel);
}

void CVexloDlg::OnRequestStop() {
  StopConversion(process::text::kRequestStopConversion);
  DisposeRunner(indexingRunner_,
                indexJob_.gopMode() ? std::string_view() : process::text::kRequestStopIndexing);
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
  host_.post([this, position] { host_.setProgress(position); });
}

// A frame index or GOP job sets the bar only while no conversion runs; decided on the window's
// thread, where the conversion runner lives. The position is set by the posted task itself, so it
// keeps its place among the other positions sent; whatever is sent next is posted, not taken for
// a repeat of the last position sent.
void CVexloDlg::sendIndexProgress(int position) {
  std::lock_guard lock(progressMutex_);
  progressSent_ = -1;
  host_.post([this, position] {
    if (!ConversionRunning()) host_.setProgress(position);
  });
}

void CVexloDlg::postEnableJobControls(bool enable) {
  host_.post([this, enable] { EnableJobControls(enable); });
}

void CVexloDlg::postCancelWindow() {
  host_.post([this] { host_.endDialog(res::kIdCancel); });
}

void CVexloDlg::noteConversionResult(bool succeeded) {
  conversionSucceeded_ = succeeded;
}

}  // namespace vexlo::app
