#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "analysis/IndexJob.h"
#include "analysis/MediaInfo.h"
#include "app/Derivations.h"
#include "app/VexloApp.h"
#include "encode/EncodeRequest.h"
#include "encode/EncoderSettings.h"
#include "platform/DialogHost.h"
#include "platform/RegistryHive.h"
#include "process/JobWindow.h"
#include "process/ProcessRunner.h"
#include "process/TraceControl.h"

namespace vexlo::app {

class RegistryStore;

// Every setting the window shows. Each persisted one is stored under the value of its own name in
// the settings key.
struct DialogSettings {
  std::string FileOrigine;        // source path: a video file, or one file of a PNG sequence
  std::string FileDestinazione;   // video destination path
  std::string FileDestinazione3;  // audio destination path
  std::string frameTimeText = "0.00";  // the Frame button's time in seconds, as typed
  int mOutType = 0;     // 0 H.264, 1 H.265, 2 MPV
  int m_GpuType = 0;    // 0 "DISABLED", 1 "NVIDIA", 2 "AMD"
  int iNumProfile = 0;  // list positions; -1 when the list has no selection
  int iNumCRF = 0;
  int iNumFPS = 0;
  int iResizeType = 0;
  int bDeinterlace = 0;
  int bShortGop = 0;
  int bUseReport = 0;
};

// The main window's logic: the holder of every setting, the control handlers, the two runners
// (conversion and indexing) and the log. It talks to its widgets only through the dialog host.
// Handlers run on the window's thread; the job notifications run on the runners' threads and
// reach the window through the process::JobWindow side, which posts every control change.
class CVexloDlg : public platform::DialogEvents, public process::JobWindow {
 public:
  static constexpr char kLogFileName[] = "ConvVexlo.Log";
  static constexpr int kMaximumLogLevel = 30;
  static constexpr int kCompactWidth = 748;
  static constexpr int kCompactHeight = 223;

  /// `programDirectory` replaces the executable's directory when not empty (tests).
  CVexloDlg(platform::DialogHost& host, RegistryStore& store, std::string programDirectory = {});
  ~CVexloDlg() override;
  CVexloDlg(const CVexloDlg&) = delete;
  CVexloDlg& operator=(const CVexloDlg&) = delete;

  /// Automatic mode from the command line: source, destination, profile and CRF positions.
  void PresetAutomaticMode(const CommandLineFields& fields);
  /// Automatic mode from options: the job's settings, its Encode button (video or audio), and
  /// the settings store left alone (nothing read, nothing written).
  void PresetOptionJob(const OptionJob& job);
  /// 0, or in automatic mode non-zero unless the last encode ended with exit code 0.
  int ExitStatus() const;

  // platform::DialogEvents
  void onInitDialog() override;
  void onCommand(int id, platform::ControlEvent event) override;
  void onDestroy() override;

  // process::JobWindow
  process::JobFigures& jobFigures() override { return figures_; }
  void logAppend(std::string_view text) override;
  void flushLog() override;
  void sendProgress(int position) override;
  void sendIndexProgress(int position) override;
  void postEnableJobControls(bool enable) override;
  void postCancelWindow() override;
  bool automaticMode() const override { return automatic_; }
  bool headless() const override { return host_.headless(); }
  void noteConversionResult(bool succeeded) override;

  /// Control to fields (`saveAndValidate`) or fields to controls.
  void DoDataExchange(bool saveAndValidate);
  void LoadSettings();
  void SaveAllSettings();
  /// Shows the destination button and profile list for the output type, and enables or
  /// disables the job controls (Cancel the opposite way).
  void EnableJobControls(bool enable);

  // Jobs, on the window's thread.
  int EncodeVideo();
  int EncodeAudio();
  void TestEncodeMjpeg();
  void GetMediaInfo(const std::string& path);
  int StartFrameIndex(int mode);
  void GrabFrame(const std::string& source, float seconds);
  void OnStopJobs();
  void OnRequestStop();

  DialogSettings& settings() { return settings_; }
  const DialogSettings& settings() const { return settings_; }
  bool controlsEnabled() const { return controlsEnabled_; }
  const std::string& programDirectory() const { return directories_.CopyProgramDirectory(); }
  process::TraceControl* logReference() const { return log_.load(); }
  process::ProcessRunner* conversionRunner() const { return conversionRunner_.get(); }
  process::ProcessRunner* indexingRunner() const { return indexingRunner_.get(); }
  const platform::RegistryWriteResult& settingsWriteFailure() const {
    return settingsWriteFailure_;
  }

 private:
  class WaitCursor;

  encode::EncoderSettings EncoderSettingsNow() const;
  encode::EncodePaths CurrentPaths() const;
  void WriteDword(const char* name, int value);
  void WriteString(const char* name, const std::string& value);
  // Keeps the first failed settings write: a failed write leaves the old value stored, as a
  // failed registry write did, and the reason stays readable in settingsWriteFailure().
  void NoteSettingsWrite(const platform::RegistryWriteResult& result);
  void SaveValue(int controlId);
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
  /// Stops and deletes a runner; `runningLine` is logged first when the runner still runs.
  /// True when it was still running.
  bool DisposeRunner(std::unique_ptr<process::ProcessRunner>& runner, std::string_view runningLine);
  /// Disposes of the conversion runner the same way.
  void StopConversion(std::string_view runningLine);
  void StartConversionRunner(const std::string& commandLine, bool withErrorNotification = true);
  void BuildFrameIndex(const std::string& input, const std::string& naming, bool gopMode);
  void StopGopJob(std::uint64_t generation);
  /// True while the conversion runner's tool runs: the bar is then the conversion's.
  bool ConversionRunning() const;

  platform::DialogHost& host_;
  RegistryStore& store_;
  std::string programDirectoryOverride_;
  DirectoryState directories_;
  DialogSettings settings_;
  bool automatic_ = false;
  bool audioJob_ = false;     // automatic mode presses the audio row's Encode
  bool keepSettings_ = true;  // false: the settings store is never written
  platform::RegistryWriteResult settingsWriteFailure_;  // the first failed write; true: none
  std::string commandLineRefusal_;  // automatic mode: why the command line cannot be encoded
  bool controlsEnabled_ = false;
  process::JobFigures figures_;
  std::atomic<bool> conversionSucceeded_{false};

  process::TraceControl trace_;
  std::atomic<process::TraceControl*> log_{nullptr};  // the log reference

  std::mutex progressMutex_;
  int progressSent_ = -1;

  analysis::MediaInfoJob mediaInfoJob_;
  analysis::IndexJob indexJob_;
  std::uint64_t indexingGeneration_ = 0;
  std::unique_ptr<process::ProcessRunner> conversionRunner_;
  std::unique_ptr<process::ProcessRunner> indexingRunner_;
};

}  // namespace vexlo::app
