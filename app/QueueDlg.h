#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "app/QueueItemLogs.h"
#include "encode/EncoderSettings.h"
#include "hosts/DialogHost.h"
#include "jobs/QueueItemRun.h"
#include "jobs/QueueModel.h"
#include "jobs/QueueRunner.h"
#include "jobs/QueueStore.h"

// The queue window's logic over its dialog host, and the texts of its table's rows.

namespace vexlo::app {

/// What the queue needs of the main window.
class QueueOwner {
 public:
  virtual ~QueueOwner() = default;
  /// The main window's settings as its controls hold them now: each item added takes a copy.
  virtual encode::EncoderSettings CurrentEncoderSettings() = 0;
  /// The main window's source path (the folder Add Files starts in).
  virtual std::string CurrentSource() = 0;
  /// A run of the queue has started (true) or ended: the main window's job buttons follow.
  virtual void QueueRunning(bool running) = 0;
  /// One log line for the main window's log pane; any thread.
  virtual void logAppend(std::string_view text) = 0;
};

/// The texts of an item's row in the queue's table: source, output, output type, state (with
/// the running item's percent, or why it failed or was skipped), elapsed time and a done item's
/// quality (SSIM and PSNR of its output against its source).
std::vector<std::string> QueueRowCells(const jobs::QueueItem& item);

/// The queue of many files: the model restored from its saved file and saved after each change,
/// its run through the batch's item run, and the queue window's logic (what the window shows,
/// which of its controls are enabled, its buttons, its drops). The window itself is a dialog
/// host the main window's host opens beside itself; it shows only what this class gives it.
/// Everything runs on the window's thread.
class QueueWindow : public hosts::DialogEvents, public jobs::QueueObserver {
 public:
  /// The items' tools are in `programDir`; the queue is saved to `queueFile`.
  QueueWindow(hosts::DialogHost& mainHost, QueueOwner& owner, std::string programDir,
              std::string queueFile);
  /// Shutdown().
  ~QueueWindow() override;
  QueueWindow(const QueueWindow&) = delete;
  QueueWindow& operator=(const QueueWindow&) = delete;

  /// Restores the saved queue (it does not start): a damaged file is set aside and logged; a
  /// queue another Vexlo window holds is shown read-only, and logged.
  void Restore();
  /// File > "Queue...": the window, made at the first call, shown and raised.
  void Show();
  /// Queues files (and the videos of folders, Add Folder's way), each with a copy of the main
  /// window's settings as they are now; each refusal is logged.
  void AddPaths(const std::vector<std::string>& paths);
  bool running() const { return model_.running(); }
  /// The main window runs a job of its own: the queue does not start meanwhile.
  void SetMainJobRunning(bool running);
  /// The main window's Cancel during a run: every running item is cancelled and the run ends.
  void CancelRun();
  /// Stops the running items and waits for them and for a folder scan; the queue is saved. Called
  /// before the log goes; nothing of the queue runs after it.
  void Shutdown();

  jobs::QueueModel& model() { return model_; }
  hosts::DialogHost* window() const { return window_; }

  // The queue window's events.
  void onInitDialog() override;
  void onCommand(int id, hosts::ControlEvent event) override;
  void onDestroy() override;
  void onFilesDropped(const std::vector<std::string>& paths) override { AddPaths(paths); }

  // The model's changes.
  void QueueChanged() override;
  void ItemProgressed(std::size_t row) override;
  void RunEnded(const jobs::RunSummary& summary) override;

 private:
  void Start();
  void AddFiles();
  void AddFolder();
  void ChooseFolder();
  void SetFolder(std::string folder);
  void SetExistingOutput(jobs::ExistingOutput rule);
  /// "At once" and "Low priority" as the window shows them.
  void SetRunOptions();
  // The "Target SSIM" list: the target of the items added from now on.
  void SetTarget();
  /// What Cancel Item cancels.
  std::vector<std::uint64_t> CancellableIds() const;
  std::optional<std::uint64_t> LoggedItem() const;
  /// The pane under the table: the selected item's log lines.
  void ShowItemLog();
  void Move(bool up);
  void Add(const std::vector<std::string>& sources, encode::EncoderSettings settings);
  std::vector<std::uint64_t> SelectedIds() const;
  // The host whose file dialogs the window's buttons open: the queue window's.
  hosts::DialogHost& Dialogs() { return window_ != nullptr ? *window_ : mainHost_; }
  void ShowAll();
  void ShowOptions();
  /// The line under the buttons: read-only, a failed save, or the last run's summary.
  std::string StatusText() const;
  void ShowProgress();
  void UpdateControls();

  hosts::DialogHost& mainHost_;
  QueueOwner& owner_;
  const std::string programDir_;
  const std::string queueFile_;
  hosts::DialogHost* window_ = nullptr;
  jobs::QueueModel model_;
  std::unique_ptr<jobs::QueueStore> store_;
  std::unique_ptr<jobs::BatchItemRunner> items_;
  std::unique_ptr<jobs::QueueRunner> runner_;
  QueueItemLogs itemLogs_;                     // filled by the items' threads
  std::optional<std::uint64_t> shownLogItem_;  // the item the pane shows
  std::uint64_t shownLogEnd_ = 0;              // QueueItemLogs::Piece::end of what it shows
  std::size_t shownLogBytes_ = 0;              // what the pane holds
  std::thread scan_;     // Add Folder's walk of a tree, off the window's thread
  std::string lastRun_;  // the last run's summary, shown under the buttons
  int saveError_ = 0;    // why the last save of the queue failed; 0 while saves succeed
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);  // a scan's post holds it weakly
  bool mainJobRunning_ = false;
  bool shutDown_ = false;
};

}  // namespace vexlo::app
