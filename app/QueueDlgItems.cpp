// The queue window's views: the table's rows, the selected item's log, the options, the whole
// queue's bar and time left, the status line and which controls are enabled.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "app/QueueDlg.h"
#include "platform/SystemError.h"
#include "process/ProgressDetail.h"
#include "res/ControlIds.h"

namespace vexlo::app {

namespace id = res::id;
using jobs::ItemState;
using jobs::QueueItem;

namespace {

// The main window's radio captions.
constexpr std::string_view kTypeNames[] = {"H264", "H265", "MPV (H265)"};
constexpr std::string_view kBesideEachSource = "beside each source";

std::string Span(double seconds) {
  return process::FormatSpan(std::llround(seconds * 1000));
}

// A measured item's quality cell: "SSIM 0.98712, 41.23 dB", and the frame counts when they differ;
// an item with a target says it first ("target 0.97: SSIM ...").
std::string QualityCell(const QueueItem& item) {
  std::string cell;
  if (item.settings.targetSsim > 0) {
    char target[32];
    std::snprintf(target, sizeof target, "target %g", item.settings.targetSsim);
    cell = target;
  }
  const std::optional<jobs::QualityFigures>& figures = item.quality;
  if (!figures) return cell;
  if (!cell.empty()) cell += ": ";
  char psnr[32] = "inf";
  if (std::isfinite(figures->psnr)) std::snprintf(psnr, sizeof psnr, "%.2f", figures->psnr);
  char text[96];
  std::snprintf(text, sizeof text, "SSIM %.5f, %s dB", figures->ssim, psnr);
  cell += text;
  if (figures->frames != figures->sourceFrames) {
    cell += ", " + std::to_string(figures->frames) + " of " +
            std::to_string(figures->sourceFrames) + " frames";
  }
  return cell;
}

// The most bytes the item's pane holds before it is written again from the item's kept lines.
constexpr std::size_t kPaneBytes = 64 * 1024;

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
          QualityCell(item)};
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
  ShowItemLog();
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
  window_->setListIndex(id::kQueueAtOnce,
                        options.atOnce == 0 ? 4 : static_cast<int>(options.atOnce) - 1);
  window_->setChecked(id::kQueueLowPriority, options.lowPriority);
  int target = 0;
  for (int i = 0; i < static_cast<int>(std::size(jobs::kQueueTargets)); ++i) {
    if (jobs::kQueueTargets[i] == options.targetSsim) target = i;
  }
  window_->setListIndex(id::kQueueTarget, target);
  window_->setText(id::kQueueStatus, StatusText());
}

std::string QueueWindow::StatusText() const {
  if (model_.readOnly()) return "In use by another Vexlo window: shown read-only";
  if (saveError_ != 0) {
    return "The queue could not be saved: " + platform::ErrorText(saveError_) + " (see the log)";
  }
  if (model_.running() && model_.startingNoNewItem()) {
    return "No new item will start; " + std::to_string(model_.RunningCount()) + " running";
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
      {id::kQueueStartNoNewItem, running && !model_.startingNoNewItem()},
      {id::kQueueCancelItem, running && !CancellableIds().empty()},
      {id::kQueueAtOnce, writable},
      {id::kQueueLowPriority, writable},
      {id::kQueueTarget, writable},
      {id::kQueueChooseFolder, writable},
      {id::kQueueBesideSources, writable && !model_.options().outputFolder.empty()},
      {id::kQueueSkipExisting, writable},
      {id::kQueueOverwriteExisting, writable},
  };
  for (const auto& [control, enabled] : states) window_->setEnabled(control, enabled);
}

// The selected running items; with none selected, the one running item when only one runs.
std::vector<std::uint64_t> QueueWindow::CancellableIds() const {
  std::vector<std::uint64_t> ids;
  for (std::uint64_t item : SelectedIds()) {
    const QueueItem* found = model_.Find(item);
    if (found != nullptr && found->state == ItemState::kRunning) ids.push_back(item);
  }
  if (ids.empty() && SelectedIds().empty() && model_.RunningCount() == 1) {
    for (const QueueItem& item : model_.items()) {
      if (item.state == ItemState::kRunning) ids.push_back(item.id);
    }
  }
  return ids;
}

// The item whose lines the pane shows: the first selected, else the first running one.
std::optional<std::uint64_t> QueueWindow::LoggedItem() const {
  const std::vector<std::uint64_t> selected = SelectedIds();
  if (!selected.empty()) return selected.front();
  for (const QueueItem& item : model_.items()) {
    if (item.state == ItemState::kRunning) return item.id;
  }
  return std::nullopt;
}

// The pane takes the lines that came since it last looked; it is written again from what the item
// keeps when another item is shown, when lines it never showed were dropped, or when it would
// grow past kPaneBytes.
void QueueWindow::ShowItemLog() {
  if (window_ == nullptr) return;
  const std::optional<std::uint64_t> item = LoggedItem();
  const bool another = item != shownLogItem_;
  shownLogItem_ = item;
  QueueItemLogs::Piece piece =
      itemLogs_.Since(item.value_or(0), another ? 0 : shownLogEnd_, another);
  if (!piece.replace && shownLogBytes_ + piece.text.size() > kPaneBytes) {
    piece = itemLogs_.Since(item.value_or(0), 0, true);
  }
  if (piece.replace) {
    window_->setText(id::kQueueItemLog, piece.text);
    shownLogBytes_ = piece.text.size();
  } else if (!piece.text.empty()) {
    window_->appendText(id::kQueueItemLog, piece.text);
    shownLogBytes_ += piece.text.size();
  }
  shownLogEnd_ = piece.end;
}

}  // namespace vexlo::app
