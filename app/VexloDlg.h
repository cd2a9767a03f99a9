#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "app/Derivations.h"
#include "app/QueueDlg.h"
#include "app/VexloApp.h"
#include "app/WindowSettings.h"
#include "jobs/Batch.h"
#include "jobs/EncoderCheck.h"
#include "jobs/JobEnds.h"
#include "jobs/JobLauncher.h"
#include "jobs/OutputPlacement.h"
#include "hosts/DialogHost.h"
#include "jobs/JobWindow.h"
#include "process/ProcessRunner.h"
#include "hosts/TraceControl.h"

namespace vexlo::app {

class RegistryStore;

// The main window's logic: start-up and shut-down, the control handlers and the control states.
// Its settings are a WindowSettings (the settings table), its jobs a JobLauncher (the two
// runners), its log a TraceControl. It talks to its widgets only through the dialog host.
// Handlers run on the window's thread; the job notifications run on the runners' threads and
// reach the window through the jobs::JobWindow side, which posts every control change. What
// the window, automatic mode and the desktop aids do when a job ends are three subscribers of
// the jobs' typed end (jobs::JobEnds).
class MainWindow : public hosts::DialogEvents, public jobs::JobWindow, public QueueOwner {
 public:
  static constexpr char kLogFileName[] = "ConvVexlo.Log";
  static constexpr int kMaximumLogLevel = 30;
  static constexpr int kCompactWidth = 748;
  static constexpr int kCompactHeight = 223;

  /// `programDirectory` replaces the executable's directory when not empty (tests).
  MainWindow(hosts::DialogHost& host, RegistryStore& store, std::string programDirectory = {});
  ~MainWindow() override;
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

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

  // jobs::JobWindow (and QueueOwner's log)
  jobs::JobFigures& jobFigures() override { return jobs_.conversionFigures(); }
  void logAppend(std::string_view text) override;
  void flushLog() override;
  void sendProgress(int position) override;
  void sendIndexProgress(int position) override;
  void sendDetail(std::string_view text) override;
  void sendIndexDetail(std::string_view text) override;
  void postJobStarted(jobs::JobKind kind) override;
  void postJobEnd(jobs::JobEnd end) override;

  /// The controls' values into the settings' fields (relative paths made absolute in the
  /// program's folder).
  void ReadControls();
  /// The settings' fields into the controls.
  void ShowValues();
  void LoadSettings();
  void SaveAllSettings();
  /// Shows the destination button and profile list for the output type, and enables or
  /// disables the job controls (Cancel the opposite way); while the queue runs they stay
  /// disabled.
  void EnableJobControls(bool enable);
  /// The queue (not in automatic mode): restored at start, its window opened by File > Queue.
  QueueWindow* queue() const { return queue_.get(); }

  // Jobs, on the window's thread.
  int EncodeVideo();
  int EncodeAudio();
  void TestEncodeMjpeg();
  void GetMediaInfo(const std::string& path);
  /// Which of the three frame-report buttons: Index (the video destination's frames), GOP of the
  /// source, GOP of the video destination.
  enum class FrameJob { kIndexOfVideo, kGopOfSource, kGopOfVideo };
  void StartFrameIndex(FrameJob job);
  void GrabFrame(const std::string& source, float seconds);
  void OnStopJobs();
  void OnRequestStop();
  /// File > Show Frames...: the picture of the frames that the last index or GOP job read.
  void ShowFrames();
  /// File > Measure Quality: the SSIM and PSNR of the video destination against the source
  /// (with the window's FPS, resize and deinterlace settings), measured on a thread of its own
  /// and logged. The window's jobs go on; Stop and closing the window stop it.
  void MeasureQuality();
  bool measuringQuality() const { return measuring_; }
  /// Help > Check Encoders: which hardware encoders of the window work with this ffmpeg.bin.
  void CheckEncoders();
  const jobs::EncoderCheck& encoderCheck() const { return encoderCheck_; }

  DialogSettings& settings() { return settings_.values(); }
  const DialogSettings& settings() const { return settings_.values(); }
  bool controlsEnabled() const { return controlsEnabled_; }
  const std::string& programDirectory() const { return directories_.CopyProgramDirectory(); }
  hosts::TraceControl* logReference() const { return log_.load(); }
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
  int StartPlan(jobs::JobKind kind, const encode::EncodePlan& plan, const std::string& file);
  /// Closes the window later (posted), as its Cancel command does.
  void postCancelWindow();

  // The subscribers of the jobs' typed end, on the window's thread, in this order.
  /// The desktop aid: the word at a job's end when the user looks elsewhere.
  void TellDesktop(const jobs::JobEnd& end);
  /// The window: the job controls back, the bar where the job left it.
  void ShowJobEnd(const jobs::JobEnd& end);
  /// Automatic mode: the encode's result, and the window closed once it has ended.
  void EndAutomaticMode(const jobs::JobEnd& end);
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

  hosts::TraceControl trace_;
  std::atomic<hosts::TraceControl*> log_{nullptr};  // the log reference

  std::mutex progressMutex_;
  int progressSent_ = -1;

  bool encodeSucceeded_ = false;  // the last conversion ended with exit code 0 (automatic mode)
  // The option form's files under the one output rule (OptionOutput.cpp); none for the comma
  // form and the window, whose tools write their destination as named.
  std::optional<jobs::OutputFiles> optionOutput_;
  void UseOptionOutput(const OptionJob& job);
  // Reads the option form's output back and puts it in place; false, with its log line, when it
  // is not whole.
  bool PlaceOptionOutput(const jobs::JobEnd& end);
  // Keeps what the option form's tool wrote as incomplete, with its log line.
  void KeepOptionOutput(const std::string& reason);
  jobs::JobEnds jobEnds_;
  jobs::JobLauncher jobs_;
  jobs::EncoderCheck encoderCheck_;
  std::unique_ptr<QueueWindow> queue_;

  // File > Measure Quality: its thread, and the stop it watches (a new one for each run).
  void StopQuality(bool wait);
  // File > Estimate and File > Target SSIM 0.95, 0.97, 0.99 (VexloDlgSamples.cpp): the samples'
  // runs on the measurement's thread, one at a time with it; a chosen position is put in the CRF
  // list.
  void OnSampleCommand(int command);
  void EnableQualityItems(bool enable);
  void RunOnQualityThread(std::function<void(const jobs::BatchStop&)> work);
  bool measuring_ = false;  // on the window's thread: from the start until the posted end
  std::unique_ptr<jobs::BatchStop> qualityStop_;
  std::thread qualityThread_;
};

}  // namespace vexlo::app
