#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "app/Derivations.h"
#include "app/QueueDlg.h"
#include "app/VexloApp.h"
#include "app/WindowSettings.h"
#include "hosts/DialogHost.h"
#include "jobs/EncoderCheck.h"
#include "jobs/JobEnds.h"
#include "jobs/JobLauncher.h"
#include "process/JobWindow.h"
#include "process/ProcessRunner.h"
#include "process/TraceControl.h"

namespace vexlo::app {

class RegistryStore;

// The main window's logic: start-up and shut-down, the control handlers and the control states.
// Its settings are a WindowSettings (the settings table), its jobs a JobLauncher (the two
// runners), its log a TraceControl. It talks to its widgets only through the dialog host.
// Handlers run on the window's thread; the job notifications run on the runners' threads and
// reach the window through the process::JobWindow side, which posts every control change. What
// the window, automatic mode and the desktop aids do when a job ends are three subscribers of
// the jobs' typed end (jobs::JobEnds).
class CVexloDlg : public hosts::DialogEvents, public process::JobWindow, public QueueOwner {
 public:
  static constexpr char kLogFileName[] = "ConvVexlo.Log";
  static constexpr int kMaximumLogLevel = 30;
  static constexpr int kCompactWidth = 748;
  static constexpr int kCompactHeight = 223;

  /// `programDirectory` replaces the executable's directory when not empty (tests).
  CVexloDlg(hosts::DialogHost& host, RegistryStore& store, std::string programDirectory = {});
  ~CVexloDlg() override;
  CVexloDlg(const CVexloDlg&) = delete;
  CVexloDlg& operator=(const CVexloDlg&) = delete;

  /// Automatic mode from the command line: source, destination, profile and CRF positions.
  void PresetAutomaticMode(const CommandLineFields& fields);
  /// Automatic mode from options: the job's settings, its Encode button (video or audio), and
  /// the settings store left alone (nothing read, nothing written).
  void PresetOptionJob(const OptionJob& job);
  /// A source given on the command line ("Open with"): shown in place of the stored one once the
  /// settings are loaded; stored, like a typed path, when a job saves the settings.
  void PresetSource(const std::string& source) { presetSource_ = source; }
  /// 0, or in automatic mode non-zero unless the last encode ended with exit code 0.
  int ExitStatus() const;

  // hosts::DialogEvents
  void onInitDialog() override;
  void onCommand(int id, hosts::ControlEvent event) override;
  void onDestroy() override;
  /// Several files dropped on the window: queued, and the queue window shown.
  void onFilesDropped(const std::vector<std::string>& paths) override;

  // QueueOwner
  encode::EncoderSettings CurrentEncoderSettings() override;
  std::string CurrentSource() override;
  void QueueRunning(bool running) override;

  // process::JobWindow (and QueueOwner's log)
  process::JobFigures& jobFigures() override { return jobs_.conversionFigures(); }
  void logAppend(std::string_view text) override;
  void flushLog() override;
  void sendProgress(int position) override;
  void sendIndexProgress(int position) override;
  void sendDetail(std::string_view text) override;
  void sendIndexDetail(std::string_view text) override;
  void postJobStarted(process::JobKind kind) override;
  void postJobEnd(process::JobEnd end) override;

  /// Control to fields (`saveAndValidate`) or fields to controls.
  void DoDataExchange(bool saveAndValidate);
  void LoadSettings();
  void SaveAllSettings();
  /// Shows the destination button and profile list for the output type, and enables or
  /// disables the job controls (Cancel the opposite way); while the queue runs they stay
  /// disabled.
  void EnableJobControls(bool enable);
  /// The queue (not in automatic mode): restored at start, its window opened by File > Queue.
  CQueueDlg* queue() const { return queue_.get(); }

  // Jobs, on the window's thread.
  int EncodeVideo();
  int EncodeAudio();
  void TestEncodeMjpeg();
  void GetMediaInfo(const std::string& path);
  int StartFrameIndex(int mode);
  void GrabFrame(const std::string& source, float seconds);
  void OnStopJobs();
  void OnRequestStop();
  /// File > Show Frames...: the picture of the frames that the last index or GOP job read.
  void ShowFrames();
  /// Help > Check Encoders: which hardware encoders of the window work with this ffmpeg.bin.
  void CheckEncoders();
  const jobs::EncoderCheck& encoderCheck() const { return encoderCheck_; }

  DialogSettings& settings() { return settings_.values(); }
  const DialogSettings& settings() const { return settings_.values(); }
  bool controlsEnabled() const { return controlsEnabled_; }
  const std::string& programDirectory() const { return directories_.CopyProgramDirectory(); }
  process::TraceControl* logReference() const { return log_.load(); }
  process::ProcessRunner* conversionRunner() const { return jobs_.conversionRunner(); }
  process::ProcessRunner* indexingRunner() const { return jobs_.indexingRunner(); }

 private:
  // Shows the wait cursor for as long as it lives.
  class WaitCursor {
   public:
    explicit WaitCursor(hosts::DialogHost& host) : host_(host) { host_.setWaitCursor(true); }
    ~WaitCursor() { host_.setWaitCursor(false); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;

   private:
    hosts::DialogHost& host_;
  };

  void OnDestination(Destination button);
  void OnBrowse(int controlId);
  void OnGo(int controlId);
  void OnDefault();
  void OnJobButton(int controlId);
  void OnRadio();
  void OnFrame();
  void ApplyCompactLayout();
  /// Automatic mode's press of the Encode button of its job.
  void PressEncode();
  /// Logs a refusal and enables the controls again.
  void Refuse(std::string_view line);
  /// Carries out an encode plan (the job launcher's StartEncode); refuses when it cannot start.
  int StartPlan(process::JobKind kind, const encode::EncodePlan& plan, const std::string& file);
  /// Closes the window later (posted), as its Cancel command does.
  void postCancelWindow();

  // The subscribers of the jobs' typed end, on the window's thread, in this order.
  /// The desktop aid: the word at a job's end when the user looks elsewhere.
  void TellDesktop(const process::JobEnd& end);
  /// The window: the job controls back, the bar where the job left it.
  void ShowJobEnd(const process::JobEnd& end);
  /// Automatic mode: the encode's result, and the window closed once it has ended.
  void EndAutomaticMode(const process::JobEnd& end);
  /// The posted tasks of sendProgress and sendIndexProgress, on the window's thread.
  void ShowProgress(int position);
  void ShowIndexProgress(int position);

  hosts::DialogHost& host_;
  std::string programDirectoryOverride_;
  DirectoryState directories_;
  WindowSettings settings_;
  bool automatic_ = false;
  bool audioJob_ = false;           // automatic mode presses the audio row's Encode
  std::string commandLineRefusal_;  // automatic mode: why the command line cannot be encoded
  bool controlsEnabled_ = false;
  std::string presetSource_;  // the source given on the command line, or empty

  process::TraceControl trace_;
  std::atomic<process::TraceControl*> log_{nullptr};  // the log reference

  std::mutex progressMutex_;
  int progressSent_ = -1;

  bool encodeSucceeded_ = false;  // the last conversion ended with exit code 0 (automatic mode)
  jobs::JobEnds jobEnds_;
  jobs::JobLauncher jobs_;
  jobs::EncoderCheck encoderCheck_;
  std::unique_ptr<CQueueDlg> queue_;
};

}  // namespace vexlo::app
