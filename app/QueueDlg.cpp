#include "app/QueueDlg.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <system_error>
#include <utility>

#include "app/Derivations.h"
#include "encode/EncoderSettings.h"
#include "jobs/QueueScan.h"
#include "platform/SystemError.h"
#include "process/LogTexts.h"
#include "process/ProgressDetail.h"
#include "res/ControlIds.h"

namespace vexlo::app {

namespace id = res::id;
using hosts::ControlEvent;
using jobs::ItemState;
using jobs::QueueItem;

namespace {

// The main window's radio captions.
constexpr std::string_view kTypeNames[] = {"H264", "H265", "MPV (H265)"};
constexpr std::string_view kBesideEachSource = "beside each source";

std::string Span(double seconds) {
  return process::FormatSpan(std::llround(seconds * 1000));
}

// A measured item's quality cell: "SSIM 0.98712, 41.23 dB", and the frame counts when they differ.
std::string QualityCell(const std::optional<jobs::QualityFigures>& figures) {
  if (!figures) return {};
  char psnr[32] = "inf";
  if (std::isfinite(figures->psnr)) std::snprintf(psnr, sizeof psnr, "%.2f", figures->psnr);
  char text[96];
  std::snprintf(text, sizeof text, "SSIM %.5f, %s dB", figures->ssim, psnr);
  std::string cell = text;
  if (figures->frames != figures->sourceFrames) {
    cell += ", " + std::to_string(figures->frames) + " of " +
            std::to_string(figures->sourceFrames) + " frames";
  }
  return cell;
}

bool IsFolder(const std::string& path) {
  std::error_code error;
  return std::filesystem::is_directory(path, error);
}

}  // namespace

std::vector<std::string> QueueRowCells(const QueueItem& item) {
  const auto type = static_cast<std::size_t>(encode::OutputTypeOf(item.settings.outType));
  std::string state(jobs::StateWord(item.state));
  if (item.state == ItemState::kRunning) {
    state += " " + std::to_string(static_cast<int>(item.percent)) + "%";
  } else if (!item.reason.empty()) {
    state += ": " + item.reason;
  }
  const bool timed = item.state != ItemState::kWaiting && item.state != ItemState::kSkipped;
  return {item.source,
          item.output,
          std::string(kTypeNames[type]),
          state,
          timed ? Span(item.elapsedSeconds) : std::string(),
          QualityCell(item.quality)};
}

QueueWindow::QueueWindow(hosts::DialogHost& mainHost, QueueOwner& owner, std::string programDir,
                     std::string queueFile)
    : mainHost_(mainHost),
      owner_(owner),
      programDir_(std::move(programDir)),
      queueFile_(std::move(queueFile)) {
  model_.AddObserver(this);
}

QueueWindow::~QueueWindow() {
  Shutdown();
  model_.RemoveObserver(this);
}

void QueueWindow::Restore() {
  const auto log = [this](std::string_view line) { owner_.logAppend(line); };
  store_ = std::make_unique<jobs::QueueStore>(model_, queueFile_, log);
  // A queue that cannot be saved says so under the buttons (the log has the path) until a save
  // succeeds again.
  store_->TellSaveResults([this, alive = std::weak_ptr<bool>(alive_)](int error) {
    mainHost_.post([this, alive, error] {
      if (!alive.lock()) return;
      saveError_ = error;
      if (window_ != nullptr) ShowOptions();
    });
  });
  store_->Open();
  items_ = std::make_unique<jobs::BatchItemRunner>(model_, programDir_, log);
  runner_ = std::make_unique<jobs::QueueRunner>(
      model_, *items_, [this](std::function<void()> task) { mainHost_.post(std::move(task)); },
      [this](std::function<void()> then) { store_->AfterSave(std::move(then)); });
}

void QueueWindow::Show() {
  if (shutDown_) return;
  window_ = mainHost_.openWindow(res::kDialogQueue, *this);
  ShowAll();
}

void QueueWindow::Shutdown() {
  if (shutDown_) return;
  shutDown_ = true;
  if (items_) items_->Stop();  // its end is posted and dropped: the item waits again at restore
  if (scan_.joinable()) scan_.join();
  runner_.reset();
  items_.reset();
  store_.reset();  // saves what is pending
  if (model_.running()) mainHost_.setTaskProgress(0, false);
}

// ---------------------------------------------------------------------------------------------
// The window

void QueueWindow::onInitDialog() {}  // Show fills the window once the host has given it

void QueueWindow::onDestroy() {
  window_ = nullptr;
}

void QueueWindow::onCommand(int controlId, ControlEvent event) {
  if (shutDown_ || !runner_) return;
  switch (controlId) {
    case id::kQueueTable:
      return UpdateControls();
    case id::kQueueAddFiles:
      return AddFiles();
    case id::kQueueAddFolder:
      return AddFolder();
    case id::kQueueRemove:
      model_.Remove(SelectedIds());
      return;
    case id::kQueueMoveUp:
      return Move(true);
    case id::kQueueMoveDown:
      return Move(false);
    case id::kQueueRetryFailed:
      model_.RetryFailed();
      return;
    case id::kQueueClearFinished:
      model_.ClearFinished();
      return;
    case id::kQueueStart:
      return Start();
    case id::kQueueStopAfterCurrent:
      runner_->StopAfterCurrent();
      return UpdateControls();
    case id::kQueueCancelCurrent:
      return runner_->CancelCurrent();
    case id::kQueueChooseFolder:
      return ChooseFolder();
    case id::kQueueBesideSources:
      return SetFolder({});
    case id::kQueueSkipExisting:
      return SetExistingOutput(jobs::ExistingOutput::kSkip);
    case id::kQueueOverwriteExisting:
      return SetExistingOutput(jobs::ExistingOutput::kOverwrite);
    case res::kIdOk:
    case res::kIdCancel:
      if (event == ControlEvent::kClicked && window_ != nullptr) window_->endDialog(controlId);
      return;
    default:
      return;
  }
}

void QueueWindow::Start() {
  if (mainJobRunning_ || model_.running()) return;
  if (!runner_->Start()) return;
  owner_.QueueRunning(true);
  ShowProgress();
}

void QueueWindow::CancelRun() {
  if (!model_.running() || !runner_) return;
  runner_->StopAfterCurrent();
  runner_->CancelCurrent();
}

void QueueWindow::SetMainJobRunning(bool running) {
  mainJobRunning_ = running;
  UpdateControls();
}

void QueueWindow::AddFiles() {
  const std::string source = owner_.CurrentSource();
  const hosts::FileDialogRequest request{"Add Files to the Queue", "*.*",
                                            BrowseDirectory(source), "*.*"};
  AddPaths(Dialogs().chooseFiles(request));
}

void QueueWindow::AddFolder() {
  const auto folder = Dialogs().chooseFolder(
      {"Add a Folder to the Queue", "", BrowseDirectory(owner_.CurrentSource()), {}});
  if (!folder) return;
  if (folder->empty()) return owner_.logAppend(process::text::kNameNotUtf8);
  // The settings are those of the click; the walk of the tree runs beside the window.
  const encode::EncoderSettings settings = owner_.CurrentEncoderSettings();
  if (scan_.joinable()) scan_.join();
  scan_ = std::thread([this, alive = std::weak_ptr<bool>(alive_), folder = *folder, settings] {
    mainHost_.post([this, alive, sources = jobs::ScanFolder(folder), settings] {
      if (alive.lock() && !shutDown_) Add(sources, settings);
    });
  });
}

void QueueWindow::AddPaths(const std::vector<std::string>& paths) {
  if (paths.empty() || shutDown_) return;
  std::vector<std::string> sources;
  for (const std::string& path : paths) {
    if (path.empty()) {
      owner_.logAppend(process::text::kNameNotUtf8);
    } else if (IsFolder(path)) {
      for (std::string& found : jobs::ScanFolder(path)) sources.push_back(std::move(found));
    } else {
      sources.push_back(path);
    }
  }
  Add(sources, owner_.CurrentEncoderSettings());
}

void QueueWindow::Add(const std::vector<std::string>& sources,
                    const encode::EncoderSettings& settings) {
  for (const std::string& line : model_.Add(sources, settings).refusals) owner_.logAppend(line);
}

void QueueWindow::ChooseFolder() {
  const std::string current = model_.options().outputFolder;
  const auto folder =
      Dialogs().chooseFolder({"Output Folder of the Queue", "", BrowseDirectory(current), {}});
  if (!folder) return;
  if (folder->empty()) return owner_.logAppend(process::text::kNameNotUtf8);
  SetFolder(*folder);
}

void QueueWindow::SetFolder(std::string folder) {
  jobs::QueueOptions options = model_.options();
  options.outputFolder = std::move(folder);
  model_.SetOptions(std::move(options));
}

void QueueWindow::SetExistingOutput(jobs::ExistingOutput rule) {
  jobs::QueueOptions options = model_.options();
  options.existing = rule;
  model_.SetOptions(std::move(options));
}

std::vector<std::uint64_t> QueueWindow::SelectedIds() const {
  std::vector<std::uint64_t> ids;
  if (window_ == nullptr) return ids;
  for (std::size_t row : window_->selectedRows(id::kQueueTable)) {
    if (row < model_.items().size()) ids.push_back(model_.items()[row].id);
  }
  return ids;
}

// The selected items move one row together, keeping their selection; nothing moves when one of
// them is already at that end.
void QueueWindow::Move(bool up) {
  std::vector<std::uint64_t> ids = SelectedIds();
  if (!up) std::reverse(ids.begin(), ids.end());
  for (std::uint64_t item : ids) {
    if (!(up ? model_.MoveUp(item) : model_.MoveDown(item))) break;
  }
  std::vector<std::size_t> rows;
  for (std::size_t row = 0; row < model_.items().size(); ++row) {
    if (std::find(ids.begin(), ids.end(), model_.items()[row].id) != ids.end()) rows.push_back(row);
  }
  if (window_ != nullptr) window_->selectRows(id::kQueueTable, rows);
  UpdateControls();
}

// ---------------------------------------------------------------------------------------------
// What the window shows

void QueueWindow::QueueChanged() {
  ShowAll();
}

void QueueWindow::ItemProgressed(std::size_t row) {
  if (window_ != nullptr && row < model_.items().size()) {
    window_->setTableRow(id::kQueueTable, row, QueueRowCells(model_.items()[row]));
  }
  ShowProgress();
}

void QueueWindow::RunEnded(const jobs::RunSummary& summary) {
  lastRun_ = "Last run: " + jobs::SummaryText(summary) + (summary.stopped ? " (stopped)" : "");
  // The word goes by the windows as they are at the end, before the main window takes focus.
  const bool looking = mainHost_.windowActive() || (window_ != nullptr && window_->windowActive());
  if (!looking) {
    mainHost_.notifyDesktop(summary.stopped ? "Vexlo: queue stopped" : "Vexlo: queue finished",
                            jobs::SummaryText(summary));
  }
  mainHost_.setTaskProgress(0, false);
  owner_.QueueRunning(false);
  ShowAll();
}

void QueueWindow::ShowAll() {
  if (window_ != nullptr) {
    const auto& items = model_.items();
    window_->setTableRowCount(id::kQueueTable, items.size());
    for (std::size_t row = 0; row < items.size(); ++row) {
      window_->setTableRow(id::kQueueTable, row, QueueRowCells(items[row]));
    }
    ShowOptions();
  }
  ShowProgress();
  UpdateControls();
}

void QueueWindow::ShowOptions() {
  const jobs::QueueOptions& options = model_.options();
  window_->setText(id::kQueueFolderEdit, options.outputFolder.empty()
                                             ? std::string(kBesideEachSource)
                                             : options.outputFolder);
  window_->setReadOnly(id::kQueueFolderEdit, true);
  const bool overwrite = options.existing == jobs::ExistingOutput::kOverwrite;
  window_->setChecked(id::kQueueSkipExisting, !overwrite);
  window_->setChecked(id::kQueueOverwriteExisting, overwrite);
  window_->setText(id::kQueueStatus, StatusText());
}

std::string QueueWindow::StatusText() const {
  if (model_.readOnly()) return "In use by another Vexlo window: shown read-only";
  if (saveError_ != 0) {
    return "The queue could not be saved: " + platform::ErrorText(saveError_) + " (see the log)";
  }
  return lastRun_;
}

void QueueWindow::ShowProgress() {
  const jobs::QueueProgress progress = jobs::MeasureProgress(model_.items());
  const int position = static_cast<int>(std::lround(progress.fraction * 100));
  if (model_.running()) mainHost_.setTaskProgress(position, true);
  if (window_ == nullptr) return;
  window_->setProgress(position);
  std::string left;
  if (model_.running()) left = progress.secondsLeft ? Span(*progress.secondsLeft) + " left" : "";
  window_->setText(id::kQueueTimeLeft, left);
}

void QueueWindow::UpdateControls() {
  if (window_ == nullptr) return;
  const auto& items = model_.items();
  const bool writable = !model_.readOnly() && !shutDown_;
  const bool running = model_.running();
  const auto any = [&items](auto test) { return std::any_of(items.begin(), items.end(), test); };
  const bool waiting = any([](const QueueItem& i) { return i.state == ItemState::kWaiting; });
  const bool retry = any([](const QueueItem& i) {
    return i.state == ItemState::kFailed || i.state == ItemState::kCancelled;
  });
  const bool ended = any([](const QueueItem& i) {
    return i.state != ItemState::kWaiting && i.state != ItemState::kRunning;
  });
  const std::vector<std::size_t> rows = window_->selectedRows(id::kQueueTable);
  const bool removable = std::any_of(rows.begin(), rows.end(), [&items](std::size_t row) {
    return row < items.size() && items[row].state != ItemState::kRunning;
  });
  const struct {
    int control;
    bool enabled;
  } states[] = {
      {id::kQueueAddFiles, writable},
      {id::kQueueAddFolder, writable},
      {id::kQueueRemove, writable && removable},
      {id::kQueueMoveUp, writable && !rows.empty() && rows.front() > 0},
      {id::kQueueMoveDown, writable && !rows.empty() && rows.back() + 1 < items.size()},
      {id::kQueueRetryFailed, writable && retry},
      {id::kQueueClearFinished, writable && ended},
      {id::kQueueStart, writable && !running && waiting && !mainJobRunning_},
      {id::kQueueStopAfterCurrent, running && !model_.stoppingAfterCurrent()},
      {id::kQueueCancelCurrent, running},
      {id::kQueueChooseFolder, writable},
      {id::kQueueBesideSources, writable && !model_.options().outputFolder.empty()},
      {id::kQueueSkipExisting, writable},
      {id::kQueueOverwriteExisting, writable},
  };
  for (const auto& [control, enabled] : states) window_->setEnabled(control, enabled);
}

}  // namespace vexlo::app
