// The queue window under two floods: two queue items run side by side ("At once" 2), each tool a
// stand-in that prints 100,000 progress lines as fast as it can (log_flood --emit); every line
// goes through the batch's item run into the main window's log and the item's own log, and every
// progress line into the queue's table and bar, while the queue window shows the first item's
// pane. A thread posts a probe to the window's thread every 10 ms and the worst wait is the
// figure. The goal: no posted task waits 50 ms or more.
//
//   queue_flood   runs the benchmark with the Qt host under QT_QPA_PLATFORM=offscreen (needs the
//                 log_flood benchmark beside it, the stand-in's lines)
#include <stdlib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>

#if __has_include(<QApplication>) && __has_include("platform/qt/QtDialogHost.h")
#include <QApplication>
#include <QTimer>

#include "app/RegistryStore.h"
#include "app/VexloDlg.h"
#include "platform/qt/QtDialogHost.h"
#include "res/ControlIds.h"
#include "res/MainDialogTemplate.h"

namespace {

using namespace vexlo;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;
namespace id = res::id;

constexpr long kFloodLines = 100000;  // each item's
constexpr double kGoalMs = 50.0;

// The worst time between posting a task from another thread and its running.
class Probe {
 public:
  explicit Probe(hosts::DialogHost& host) : host_(host) {}
  void Start() {
    thread_ = std::thread([this] {
      while (!stop_) {
        const auto posted = Clock::now();
        host_.post([this, posted] {
          const double ms =
              std::chrono::duration<double, std::milli>(Clock::now() - posted).count();
          const std::lock_guard lock(mutex_);
          worst_ = std::max(worst_, ms);
          ++count_;
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
    });
  }
  void Stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
  }
  double worst() const {
    const std::lock_guard lock(mutex_);
    return worst_;
  }
  long count() const {
    const std::lock_guard lock(mutex_);
    return count_;
  }

 private:
  hosts::DialogHost& host_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
  mutable std::mutex mutex_;
  double worst_ = 0;
  long count_ = 0;
};

int Run(int argc, char** argv) {
  const std::string self = fs::read_symlink("/proc/self/exe").string();
  const std::string emitter = fs::path(self).parent_path().string() + "/log_flood";
  std::string folder = fs::temp_directory_path().string() + "/queue_flood_XXXXXX";
  if (mkdtemp(folder.data()) == nullptr) return 1;
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  setenv("XDG_CONFIG_HOME", folder.c_str(), 1);
  setenv("XDG_STATE_HOME", folder.c_str(), 1);
  std::ofstream(folder + "/ffmpeg.bin")
      << "#!/bin/sh\nexec \"" << emitter << "\" --emit " << kFloodLines << "\n";
  fs::permissions(folder + "/ffmpeg.bin", fs::perms::owner_all);
  fs::create_symlink(VEXLO_FFPROBE_PATH, folder + "/ffprobe.bin");
  for (const char* name : {"/a.mov", "/b.mov"}) std::ofstream(folder + name) << "x";

  QApplication application(argc, argv);
  platform::qt::QtDialogHost host(res::MainDialogTemplate());
  app::RegistryStore store;
  app::MainWindow window(host, store, folder);
  Probe probe(host);
  Clock::time_point started, ended;
  std::string itemPane;
  QTimer watch;
  QTimer::singleShot(0, [&] {
    window.onCommand(res::kCmdQueue, hosts::ControlEvent::kClicked);
    app::QueueWindow& queue = *window.queue();
    hosts::DialogHost& view = *queue.window();
    queue.AddPaths({folder + "/a.mov", folder + "/b.mov"});
    view.setListIndex(id::kQueueAtOnce, 1);
    queue.onCommand(id::kQueueAtOnce, hosts::ControlEvent::kSelectionChanged);
    view.selectRows(id::kQueueTable, {0});
    queue.onCommand(id::kQueueTable, hosts::ControlEvent::kSelectionChanged);
    probe.Start();
    started = Clock::now();
    queue.onCommand(id::kQueueStart, hosts::ControlEvent::kClicked);
    QObject::connect(&watch, &QTimer::timeout, [&] {
      if (queue.running()) return;
      ended = Clock::now();
      watch.stop();
      probe.Stop();
      itemPane = view.text(id::kQueueItemLog);
      host.endDialog(1);
    });
    watch.start(20);
  });
  host.run(window);
  const double ms = std::chrono::duration<double, std::milli>(ended - started).count();
  std::printf("window host: Qt (offscreen)\n");
  std::printf("items side by side: 2, flood lines: %ld each\n", kFloodLines);
  std::printf("run duration: %.1f ms (%.0f lines per second)\n", ms, 2 * kFloodLines / (ms / 1000));
  std::printf("selected item's pane at the end: %zu bytes\n", itemPane.size());
  std::printf("probes run: %ld\n", probe.count());
  std::printf("worst posted-task delay: %.2f ms (goal: under %.0f ms)\n", probe.worst(), kGoalMs);
  std::printf("ratio: %.3f\n", probe.worst() / kGoalMs);
  std::error_code ignored;
  fs::remove_all(folder, ignored);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  return Run(argc, argv);
}
#else
#include <cstdio>

int main() {
  std::printf("queue_flood needs the Qt window host (VEXLO_BUILD_GUI)\n");
  return 0;
}
#endif
