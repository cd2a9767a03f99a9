#include "app/QueueDlg.h"

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <utility>

#include "app/Derivations.h"
#include "encode/EncoderSettings.h"
#include "jobs/QueueScan.h"
#include "process/LogTexts.h"
#include "res/ControlIds.h"

namespace vexlo::app {

namespace id = res::id;
using hosts::ControlEvent;
using jobs::ItemState;
using jobs::QueueItem;

namespace {

bool IsFolder(const std::string& path) {
  std::error_code error;
  return std::filesystem::is_directory(path, error);
}

}  // namespace

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
  // Each item's lines go to the main window's log and to the item's own, which the window shows
  // when the item is selected: one post per read of the window, however many lines come.
  items_ = std::make_unique<jobs::BatchItemRunner>(
      model_, programDir_,
      [this, alive = std::weak_ptr<bool>(alive_)](std::uint64_t item, std::string_view line) {
        owner_.logAppend(line);
        if (!itemLogs_.Append(item, line)) return;
        mainHost_.post([this, alive] {
          if (alive.lock() && !shutDown_) ShowItemLog();
        });
      });
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
      UpdateControls();
      return ShowItemLog();
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
    case id::kQueueStartNoNewItem:
      runner_->StartNoNewItem();
      return ShowAll();
    case id::kQueueCancelItem:
      for (std::uint64_t item : CancellableIds()) runner_->Cancel(item);
      return;
    case id::kQueueAtOnce:
      return SetRunOptions();
    case id::kQueueLowPriority:
      return SetRunOptions();
    case id::kQueueTarget:
      return SetTarget();
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
  runner_->StartNoNewItem();
  runner_->CancelAll();
}

void QueueWindow::SetMainJobRunning(bool running) {
  mainJobRunning_ = running;
  UpdateControls();
}

void QueueWindow::AddFiles() {
  const std::string source = owner_.CurrentSource();
  const hosts::FileDialogRequest request{"Add Files to the Queue", "*.*", BrowseDirectory(source),
                                         "*.*"};
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
                      encode::EncoderSettings settings) {
  // The queue's target stands in for the CRF; a hardware encoder's list is bit rates, so its
  // items keep the list's position.
  const double target = model_.options().targetSsim;
  if (target > 0 && !sources.empty()) {
    if (settings.gpuType == 0) {
      settings.targetSsim = target;
    } else {
      owner_.logAppend(
          "##### WARNING: Queued without the target SSIM: it needs the software encoder ######\r\n");
    }
  }
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

void QueueWindow::SetRunOptions() {
  if (window_ == nullptr) return;
  jobs::QueueOptions options = model_.options();
  const int atOnce = window_->listIndex(id::kQueueAtOnce);
  options.atOnce = atOnce >= 4 ? 0 : static_cast<unsigned>(std::max(atOnce, 0) + 1);
  options.lowPriority = window_->checked(id::kQueueLowPriority);
  model_.SetOptions(std::move(options));
  runner_->StartWaiting();  // a wider run starts its next items now
}

void QueueWindow::SetTarget() {
  if (window_ == nullptr) return;
  const int index = window_->listIndex(id::kQueueTarget);
  jobs::QueueOptions options = model_.options();
  options.targetSsim = index > 0 && index < static_cast<int>(std::size(jobs::kQueueTargets))
                           ? jobs::kQueueTargets[index]
                           : 0;
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

}  // namespace vexlo::app
