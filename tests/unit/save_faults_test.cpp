// The files Vexlo keeps for itself (the settings hive, the saved queue) under the faults a system
// gives while they are written: a full disk, a failing sync, a refused rename. The link wraps this
// program's own write, fsync and rename (tests/CMakeLists.txt), so a test can make the next ones
// fail with the errno it chooses, in the product's code exactly as the system would.
#include <errno.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <future>
#include <memory>
#include <set>

#include "app/RegistryStore.h"
#include "app/VexloDlg.h"
#include "app/WindowSettings.h"
#include "jobs/QueueFile.h"
#include "jobs/QueueStore.h"
#include "platform/RegistryHive.h"
#include "platform/SystemError.h"
#include "res/ControlIds.h"
#include "tests/support/FakeDialogHost.h"
#include "tests/support/Support.h"

namespace {

enum class Call { kNone, kWrite, kFsync, kRename };
std::atomic<Call> failing{Call::kNone};  // the call that fails while set, and with what
std::atomic<int> failure{0};

bool Fails(Call call) {
  if (failing.load() != call) return false;
  errno = failure.load();
  return true;
}

// Makes every call of one kind fail for as long as it lives.
struct Fault {
  Fault(Call call, int error) {
    failure = error;
    failing = call;
  }
  ~Fault() { failing = Call::kNone; }
};

}  // namespace

extern "C" {
ssize_t __real_write(int fd, const void* data, size_t size);
int __real_fsync(int fd);
int __real_rename(const char* from, const char* to);

ssize_t __wrap_write(int fd, const void* data, size_t size) {
  if (fd > STDERR_FILENO && Fails(Call::kWrite)) return -1;
  return __real_write(fd, data, size);
}
int __wrap_fsync(int fd) {
  return Fails(Call::kFsync) ? -1 : __real_fsync(fd);
}
int __wrap_rename(const char* from, const char* to) {
  return Fails(Call::kRename) ? -1 : __real_rename(from, to);
}
}

namespace vexlo {
namespace {

namespace fs = std::filesystem;
namespace id = res::id;

// One kind of file Vexlo saves: where it is, a save of a text (0, or the errno it reports) and
// whether a file's bytes hold that text.
struct Saver {
  virtual ~Saver() = default;
  virtual std::string Path() const = 0;
  virtual int Save(const std::string& text) = 0;
  virtual bool Holds(const std::string& file, const std::string& text) const = 0;
};

struct SettingsSaver : Saver {
  std::string Path() const override {
    return platform::RegistryHivePath(platform::RegistryRoot::kCurrentUser);
  }
  int Save(const std::string& text) override {
    return platform::SetValue(platform::RegistryRoot::kCurrentUser, app::kSettingsKey, "V",
                              app::RegistryStore::StringValue(text))
        .error;
  }
  bool Holds(const std::string& file, const std::string& text) const override {
    const auto hive = platform::ParseRegistryHive(file, platform::RegistryRoot::kCurrentUser);
    const platform::RegistryValue* value =
        hive ? platform::FindRegistryValue(*hive, app::kSettingsKey, "V") : nullptr;
    return value && *value == app::RegistryStore::StringValue(text);
  }
};

// The queue's store as the window runs it; a save's result is what the store tells.
struct QueueSaver : Saver {
  QueueSaver() {
    store.TellSaveResults([this](int error) { told = error; });
    EXPECT_TRUE(store.Open());
  }
  std::string Path() const override { return jobs::QueueFilePath(); }
  int Save(const std::string& text) override {
    jobs::QueueItem item;
    item.source = text;
    item.output = text + ".H264";
    model.Replace({item}, {});
    // AfterSave's call comes after the store has logged and told the save's result.
    std::promise<void> saved;
    store.AfterSave([&saved] { saved.set_value(); });
    saved.get_future().wait();
    return told;
  }
  bool Holds(const std::string& file, const std::string& text) const override {
    const auto saved = jobs::QueueFromJson(file);
    return saved && saved->items.size() == 1 && saved->items[0].source == text;
  }
  jobs::QueueModel model;
  std::string log;
  std::atomic<int> told{0};
  jobs::QueueStore store{model, jobs::QueueFilePath(), [this](std::string_view line) {
                           log += line;
                         }};
};

// Every name in the file's folder but the file and its lock: temporaries a save left.
std::set<std::string> LeftBeside(const std::string& path) {
  std::set<std::string> left;
  const fs::path file(path);
  for (const auto& entry : fs::directory_iterator(file.parent_path())) {
    const std::string name = entry.path().filename().string();
    if (name != file.filename().string() && name != file.filename().string() + ".lock") {
      left.insert(name);
    }
  }
  return left;
}

// A save that says it succeeded left the new text under the file's name and nothing beside it;
// a failed one says why, and left the old file byte for byte and nothing beside it; the next
// save after the fault succeeds again.
TEST(SaveFaults, ASaveIsWholeAndInPlaceOrFailsAndKeepsTheOldFile) {
  const struct {
    const char* what;
    Call call;
    int error;
  } faults[] = {{"no fault", Call::kNone, 0},
                {"full disk at the write", Call::kWrite, ENOSPC},
                {"the sync fails", Call::kFsync, EIO},
                {"the rename is refused", Call::kRename, ENOSPC},
                {"the rename is across devices", Call::kRename, EXDEV}};
  const std::function<std::unique_ptr<Saver>()> savers[] = {
      [] { return std::make_unique<SettingsSaver>(); },
      [] { return std::make_unique<QueueSaver>(); }};
  for (const auto& make : savers) {
    for (const auto& fault : faults) {
      testing::ConfigHome home;
      const auto saver = make();
      const std::string path = saver->Path();
      SCOPED_TRACE(path + ": " + fault.what);
      ASSERT_EQ(saver->Save("/v/old.mov"), 0);
      const std::string old = testing::ReadAll(path);
      EXPECT_TRUE(saver->Holds(old, "/v/old.mov")) << old;
      EXPECT_EQ(LeftBeside(path), std::set<std::string>{});
      {
        const Fault planted(fault.call, fault.error);
        EXPECT_EQ(saver->Save("/v/new.mov"), fault.error);
      }
      if (fault.error == 0) {
        EXPECT_TRUE(saver->Holds(testing::ReadAll(path), "/v/new.mov"));
      } else {
        EXPECT_EQ(testing::ReadAll(path), old);
      }
      EXPECT_EQ(LeftBeside(path), std::set<std::string>{});
      EXPECT_EQ(saver->Save("/v/again.mov"), 0);
      EXPECT_TRUE(saver->Holds(testing::ReadAll(path), "/v/again.mov"));
      if (const auto* queue = dynamic_cast<QueueSaver*>(saver.get())) {
        EXPECT_EQ(queue->log, fault.error == 0 ? "" : jobs::QueueNotSavedLine(path, fault.error));
      }
    }
  }
}

// A window whose saves are refused says so once for its settings, however many it saves, and
// the queue window says so under its buttons until a save of the queue succeeds again.
TEST(SaveFaults, TheWindowTellsFailedSavesOnce) {
  testing::ConfigHome home;
  const std::string program = testing::MakeTempDirectory("program");
  std::ofstream(program + "/a.mov") << "a source";
  std::ofstream(program + "/b.mov") << "a source";
  testing::FakeDialogHost host;
  app::RegistryStore store;
  app::MainWindow window(host, store, program);
  window.onInitDialog();
  window.onCommand(res::kCmdQueue, hosts::ControlEvent::kClicked);
  testing::FakeDialogHost& queueView = *host.windows.at(res::kDialogQueue);
  const std::string settingsLine = app::SettingsNotSavedLine(store.Location(), EROFS);
  const std::string queueLine = jobs::QueueNotSavedLine(jobs::QueueFilePath(), EROFS);
  const auto log = [&] {
    window.flushLog();
    host.runPosted();
    return window.logReference()->paneText();
  };
  {
    const Fault planted(Call::kRename, EROFS);
    for (int crf : {2, 3}) {
      host.setListIndex(id::kCrfList, crf);
      window.onCommand(id::kCrfList, hosts::ControlEvent::kSelectionChanged);
    }
    host.setChecked(id::kShortGopCheck, true);
    window.onCommand(id::kShortGopCheck, hosts::ControlEvent::kClicked);
    window.onFilesDropped({program + "/a.mov"});
    window.queue()->model().Remove({window.queue()->model().items().at(0).id});
    EXPECT_TRUE(host.pumpUntil([&] { return !queueView.text(id::kQueueStatus).empty(); }));
    EXPECT_EQ(queueView.text(id::kQueueStatus),
              "The queue could not be saved: " + platform::ErrorText(EROFS) + " (see the log)");
  }
  EXPECT_EQ(testing::Count(log(), settingsLine), 1u) << log();
  EXPECT_EQ(testing::Count(log(), queueLine), 1u) << log();
  EXPECT_TRUE(testing::StoredSettings(store).empty());
  window.onFilesDropped({program + "/b.mov"});
  EXPECT_TRUE(host.pumpUntil([&] { return queueView.text(id::kQueueStatus).empty(); }));
  EXPECT_TRUE(jobs::QueueFromJson(testing::ReadAll(jobs::QueueFilePath())));
  window.onDestroy();
}

}  // namespace
}  // namespace vexlo
