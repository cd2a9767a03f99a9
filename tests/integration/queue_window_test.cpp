// The queue window's logic over the fake host, its items run by the batch's item run with the
// real ffmpeg and ffprobe on the clips of the clips fixture.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <set>
#include <thread>

#include "app/RegistryStore.h"
#include "app/VexloDlg.h"
#include "jobs/QueueFile.h"
#include "platform/SystemResources.h"
#include "res/ControlIds.h"
#include "tests/support/FakeDialogHost.h"
#include "tests/support/Support.h"

namespace vexlo::app {
namespace {

namespace fs = std::filesystem;
namespace id = res::id;
using testing::Clip;

// Waits, on the window's thread, until every change of the queue is on disk: the store saves on
// a thread of its own, so nothing else changes the queue meanwhile.
struct SavedAfterEachChange : jobs::QueueObserver {
  explicit SavedAfterEachChange(const jobs::QueueModel& model) : model(model) {}
  void QueueChanged() override {
    const std::string expected = jobs::QueueToJson(model.items(), model.options());
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    while (testing::ReadAll(jobs::QueueFilePath()) != expected) {
      if (std::chrono::steady_clock::now() > deadline) {
        ADD_FAILURE() << "not saved: " << expected;
        return;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(2));  // polls the file
    }
    ++changes;
    most = std::max(most, model.RunningCount());
  }
  const jobs::QueueModel& model;
  int changes = 0;
  std::size_t most = 0;  // the most items running at once
};

// A main window over the fake host, the real tools beside it, a settings folder of its own.
class QueueWindows : public ::testing::Test {
 protected:
  QueueWindows() {
    fs::create_symlink(VEXLO_FFPROBE_PATH, program + "/ffprobe.bin");
    fs::create_symlink(VEXLO_FFMPEG_PATH, program + "/ffmpeg.bin");
    window.onInitDialog();
    host.runPosted();
  }
  testing::ConfigHome config;
  const std::string program = testing::MakeTempDirectory("queue-program");
  const std::string out = testing::MakeTempDirectory("queue-out");
  testing::FakeDialogHost host;
  RegistryStore store;
  MainWindow window{host, store, program};
};

// Five clips queued from the main window (a drop, with H.264) and from the queue window (Add
// Files, after the main window switched to H.265), one refused; a run of them all: each item's
// state and output, the cut-short clip kept as .incomplete, no temporary file left, the file
// saved after each change, the main window's job buttons while it runs, the one notification.
TEST_F(QueueWindows, RunsFiveRealClipsAndSavesEachChange) {
  QueueWindow& queue = *window.queue();
  SavedAfterEachChange saved(queue.model());
  queue.model().AddObserver(&saved);

  window.onCommand(res::kCmdQueue, hosts::ControlEvent::kClicked);
  testing::FakeDialogHost& view = *host.windows.at(res::kDialogQueue);
  const auto press = [&](int control) { queue.onCommand(control, hosts::ControlEvent::kClicked); };
  view.nextChosenFile = out;
  press(id::kQueueChooseFolder);
  EXPECT_EQ(view.text(id::kQueueFolderEdit), out);
  window.onFilesDropped({Clip("clip.mp4"), Clip("ten.mp4"), Clip("s422.mp4"), Clip("clip.mp4")});
  host.setChecked(id::kRadioH264, false);
  host.setChecked(id::kRadioH265, true);
  window.onCommand(id::kRadioH265, hosts::ControlEvent::kClicked);
  view.nextChosenFiles = {Clip("cut.mp4"), Clip("garbage.mov")};
  press(id::kQueueAddFiles);
  window.flushLog();
  host.runPosted();
  EXPECT_EQ(testing::Count(window.logReference()->paneText(),
                           "##### ERROR: Not queued, its output " + out +
                               "/clip.H264 is already "
                               "the output of " +
                               Clip("clip.mp4") + ": " + Clip("clip.mp4")),
            1u);
  ASSERT_EQ(view.tables[id::kQueueTable].size(), 5u);
  EXPECT_EQ(view.tables[id::kQueueTable][4],
            (std::vector<std::string>{Clip("garbage.mov"), out + "/garbage.H265", "H265", "waiting",
                                      "", ""}));

  host.active = view.active = false;       // the word is for a user who looks elsewhere
  view.setListIndex(id::kQueueAtOnce, 1);  // two at once, each with half the processors
  queue.onCommand(id::kQueueAtOnce, hosts::ControlEvent::kSelectionChanged);
  EXPECT_TRUE(view.enabled(id::kQueueStart));
  press(id::kQueueStart);
  EXPECT_FALSE(host.enabled(id::kEncodeVideo) || view.enabled(id::kQueueStart));
  // Two run and none is selected: Cancel Item waits for a selection; the main Cancel stops all.
  EXPECT_TRUE(host.enabled(id::kCancel) && view.enabled(id::kQueueStartNoNewItem) &&
              !view.enabled(id::kQueueCancelItem));
  EXPECT_EQ(host.taskProgress, 0);
  ASSERT_TRUE(host.pumpUntil([&] { return !queue.running(); }, std::chrono::minutes(4)));
  host.runPosted();

  std::vector<std::string> states;
  for (const auto& row : view.tables[id::kQueueTable]) {
    states.push_back(row[2] + " " + row[3].substr(0, row[3].find(':')));
    EXPECT_EQ(row[4].empty(), false) << row[0];  // how long it took
    // A done item's output measured against its source (the same encode: close to it), and
    // saved so.
    EXPECT_EQ(row[5].starts_with("SSIM 0.9"), row[3] == "done") << row[5];
  }
  EXPECT_EQ(states, (std::vector<std::string>{"H264 done", "H264 done", "H264 done", "H265 failed",
                                              "H265 failed"}));
  const auto& items = queue.model().items();
  EXPECT_NE(items[3].reason.find("The output ends at 0:04."), std::string::npos) << items[3].reason;
  EXPECT_NE(items[3].reason.find("kept as " + out + "/cut.incomplete.H265"), std::string::npos);
  EXPECT_NE(items[4].reason.find("Invalid data found"), std::string::npos) << items[4].reason;
  std::set<std::string> files;
  for (const auto& entry : fs::directory_iterator(out)) files.insert(entry.path().filename());
  EXPECT_EQ(files,
            (std::set<std::string>{"clip.H264", "ten.H264", "s422.H264", "cut.incomplete.H265"}));
  // Each item with its own copy of the settings, and the run's end saved as it is.
  const auto saved_ = jobs::QueueFromJson(testing::ReadAll(jobs::QueueFilePath()));
  ASSERT_TRUE(saved_);
  EXPECT_EQ(saved_->items[0].settings.outType, 0);
  EXPECT_EQ(saved_->items[4].settings.outType, 1);
  EXPECT_TRUE(saved_->items[0].quality && !saved_->items[4].quality);
  // Added, the folder, 4 states of each item: start, its temporary saved, running, ended.
  EXPECT_GE(saved.changes, 1 + 2 + 5 * 2);
  EXPECT_EQ(host.notifications,
            std::vector<std::string>{"Vexlo: queue finished: 3 done, 2 failed"});
  EXPECT_EQ(host.taskProgress, -1);
  EXPECT_EQ(view.progress(), 100);
  EXPECT_TRUE(host.enabled(id::kEncodeVideo) && !view.enabled(id::kQueueStart) &&
              view.enabled(id::kQueueRetryFailed));
  window.flushLog();
  const std::string log = window.logReference()->paneText();
  EXPECT_EQ(testing::Count(log, "##### QUEUE: "), 5u) << log;
  EXPECT_EQ(testing::Count(log, "##### QUEUE done: "), 3u) << log;
  EXPECT_EQ(testing::Count(log, "##### COMMAND: "), 5u) << log;
  // Side by side from the first item to the last, each line tagged with its item's row.
  EXPECT_EQ(saved.most, 2u);
  const std::string threads =
      " -threads " + std::to_string(std::max(1u, platform::ProcessorCount() / 2)) + " ";
  EXPECT_EQ(testing::Count(log, threads), 10u) << log;
  EXPECT_EQ(testing::Count(log, "[5] ##### QUEUE failed: " + Clip("garbage.mov")), 1u) << log;
  queue.model().RemoveObserver(&saved);

  // Another window shows the queue read-only while this one holds it; once this one has gone,
  // the next window restores the queue as it was.
  const auto reopen = [&](testing::FakeDialogHost& other) {
    auto next = std::make_unique<MainWindow>(other, store, program);
    next->onInitDialog();
    next->onCommand(res::kCmdQueue, hosts::ControlEvent::kClicked);
    next->flushLog();
    other.runPosted();
    return next;
  };
  testing::FakeDialogHost second, third;
  const auto readOnly = reopen(second);
  testing::FakeDialogHost& secondView = *second.windows.at(res::kDialogQueue);
  EXPECT_EQ(secondView.tables[id::kQueueTable], view.tables[id::kQueueTable]);
  EXPECT_EQ(secondView.text(id::kQueueStatus), "In use by another Vexlo window: shown read-only");
  EXPECT_FALSE(secondView.enabled(id::kQueueRetryFailed) || secondView.enabled(id::kQueueAddFiles));
  EXPECT_EQ(testing::Count(readOnly->logReference()->paneText(),
                           jobs::QueueInUseLine(jobs::QueueFilePath())),
            1u);
  readOnly->onDestroy();
  window.onDestroy();
  const auto restored = reopen(third);
  testing::FakeDialogHost& thirdView = *third.windows.at(res::kDialogQueue);
  EXPECT_EQ(thirdView.tables[id::kQueueTable], view.tables[id::kQueueTable]);
  EXPECT_TRUE(thirdView.enabled(id::kQueueRetryFailed) && !thirdView.enabled(id::kQueueStart));
  restored->onDestroy();
  fs::remove_all(out);
}

// The queue's Target SSIM goes with the files added after it is chosen (a 10-bit clip here):
// the item searches, encodes at the position chosen and says so in its log and its Quality
// cell; the choice and the item's target are saved with the queue.
TEST_F(QueueWindows, ItemsAddedWithATargetSearchTheirOwnPosition) {
  QueueWindow& queue = *window.queue();
  window.onCommand(res::kCmdQueue, hosts::ControlEvent::kClicked);
  testing::FakeDialogHost& view = *host.windows.at(res::kDialogQueue);
  const auto press = [&](int control) { queue.onCommand(control, hosts::ControlEvent::kClicked); };
  view.nextChosenFile = out;
  press(id::kQueueChooseFolder);
  view.nextChosenFiles = {Clip("clip.mp4")};
  press(id::kQueueAddFiles);  // before the choice: no target
  view.setListIndex(id::kQueueTarget, 2);
  queue.onCommand(id::kQueueTarget, hosts::ControlEvent::kSelectionChanged);
  view.nextChosenFiles = {Clip("ten.mp4")};
  press(id::kQueueAddFiles);
  host.runPosted();
  ASSERT_EQ(view.tables[id::kQueueTable].size(), 2u);
  EXPECT_EQ(view.tables[id::kQueueTable][0][5], "");
  EXPECT_EQ(view.tables[id::kQueueTable][1][5], "target 0.97");

  press(id::kQueueStart);
  ASSERT_TRUE(host.pumpUntil([&] { return !queue.running(); }, std::chrono::minutes(4)));
  host.runPosted();
  const auto& items = queue.model().items();
  ASSERT_EQ(items[1].state, jobs::ItemState::kDone) << items[1].reason;
  EXPECT_TRUE(view.tables[id::kQueueTable][1][5].starts_with("target 0.97: SSIM 0.9"))
      << view.tables[id::kQueueTable][1][5];
  EXPECT_TRUE(view.tables[id::kQueueTable][0][5].starts_with("SSIM 0.9"));
  window.flushLog();
  const std::string log = window.logReference()->paneText();
  EXPECT_EQ(testing::Count(log, "##### TARGET: "), 1u) << log;
  EXPECT_NE(log.find("target SSIM 0.970: position "), std::string::npos) << log;
  EXPECT_TRUE(fs::exists(out + "/ten.H264"));
  const auto saved = jobs::QueueFromJson(testing::ReadAll(jobs::QueueFilePath()));
  ASSERT_TRUE(saved);
  EXPECT_EQ(saved->options.targetSsim, 0.97);
  EXPECT_EQ(saved->items[0].settings.targetSsim, 0);
  EXPECT_EQ(saved->items[1].settings.targetSsim, 0.97);
  window.onDestroy();
}

}  // namespace
}  // namespace vexlo::app
