// What every dialog host leaves to hosts/: where dropped files go, how the About box ends, when
// the --screenshot picture is taken, and the posts to the window's thread; and a stop request
// reaching the window's logic through them.
#include <gtest/gtest.h>

#include <csignal>
#include <string>
#include <thread>
#include <vector>

#include "app/HeadlessHost.h"
#include "hosts/AboutEvents.h"
#include "hosts/FileDropTarget.h"
#include "hosts/PostQueue.h"
#include "hosts/ScreenshotWait.h"
#include "platform/StopRequests.h"
#include "res/AboutDialogTemplate.h"
#include "res/ControlIds.h"
#include "res/MainDialogTemplate.h"
#include "res/QueueDialogTemplate.h"

namespace vexlo::hosts {
namespace {

using namespace res::id;

TEST(HostLogic, DropsTheAboutBoxTheScreenshotAndPostsAsEveryHostHasThem) {
  // Drops at a point in dialog units: on an edit, on a row's button, in a row's frame, outside
  // the rows; `locked` takes no typing (disabled or read-only).
  using Kind = FileDropTarget::Kind;
  const res::DialogTemplate& main = res::MainDialogTemplate();
  const res::DialogTemplate& queue = res::QueueDialogTemplate();
  const std::string a = "/clips/a.mov", b = "/clips/b.mov";
  const struct {
    const res::DialogTemplate* dialog;
    std::vector<std::string> files;
    int x, y, locked;
    Kind kind;
    int edit;
  } drops[] = {{&main, {a}, 10, 14, 0, Kind::kPathRow, kSourceEdit},
               {&main, {a}, 450, 58, kSourceEdit, Kind::kPathRow, kVideoDestEdit},
               {&main, {a}, 200, 140, 0, Kind::kPathRow, kAudioDestEdit},
               {&main, {a}, 200, 300, 0, Kind::kRefused, 0},
               {&main, {a}, 200, 140, kAudioDestEdit, Kind::kRefused, 0},
               {&main, {""}, 10, 14, 0, Kind::kRefused, 0},  // a name the system cannot give
               {&main, {}, 10, 14, 0, Kind::kRefused, 0},
               {&main, {a, b}, 10, 14, 0, Kind::kWindowLogic, 0},  // the queue's, wherever
               {&queue, {a}, 10, 14, 0, Kind::kWindowLogic, 0},
               {&queue, {}, 10, 14, 0, Kind::kRefused, 0}};
  for (const auto& drop : drops) {
    const FileDropTarget target = DropTargetOf(
        *drop.dialog, drop.files,
        [&](const res::DialogRect& f) {
          return drop.x >= f.x && drop.x < f.x + f.width && drop.y >= f.y &&
                 drop.y < f.y + f.height;
        },
        [&](int edit) { return edit != drop.locked; });
    EXPECT_EQ(target.kind, drop.kind) << drop.x << "," << drop.y << " " << drop.files.size();
    EXPECT_EQ(target.edit, drop.edit) << drop.x << "," << drop.y;
  }

  // The About box ends with OK or the Cancel command, and with nothing else.
  for (const auto& [command, result] :
       {std::pair{res::kIdOk, 1}, {res::kIdCancel, 2}, {res::kCmdAppAbout, 0}, {kSourceEdit, 0}}) {
    app::HeadlessHost about(res::AboutDialogTemplate());
    AboutEvents events(about);
    events.onCommand(command, ControlEvent::kClicked);
    EXPECT_EQ(about.result().value_or(0), result) << command;
  }

  // The picture waits for the window to show with a log line; a window never ready is given up
  // after a minute of looks.
  app::HeadlessHost window(res::MainDialogTemplate());
  ScreenshotWait ready, never;
  EXPECT_EQ(ready.look(window, true), ScreenshotWait::Step::kWait);
  window.setText(kLogPane, "07 Dec-05.58.05 [30] # Trace process started.\r\n");
  EXPECT_EQ(ready.look(window, false), ScreenshotWait::Step::kWait);
  EXPECT_EQ(ready.look(window, true), ScreenshotWait::Step::kTake);
  int looks = 1;
  while (never.look(window, false) == ScreenshotWait::Step::kWait) ++looks;
  EXPECT_EQ(looks * ScreenshotWait::kInterval, std::chrono::minutes(1));

  // Posts: none before the queue opens or after it closes; one wake each; in the order posted
  // from any thread; a task's own post runs in the same round.
  PostQueue posts;
  std::string ran;
  int wakes = 0;
  posts.post([&] { ran += "dropped before the window "; });
  posts.open([&] { ++wakes; });
  posts.post([&] {
    ran += "a";
    posts.post([&] { ran += "c"; });
  });
  posts.post([&] { ran += "b"; });
  EXPECT_TRUE(posts.runNext());
  EXPECT_EQ(ran, "a");
  EXPECT_EQ(posts.runAll(), 2);
  EXPECT_EQ(ran, "abc");
  int next = 0;
  bool inOrder = true;
  std::thread runner([&] {
    for (int i = 0; i < 1000; ++i) posts.post([&, i] { inOrder = inOrder && i == next++; });
  });
  while (next < 1000) {
    posts.waitForTask();
    posts.runAll();
  }
  runner.join();
  EXPECT_TRUE(inOrder);
  posts.post([&] { ran += "dropped with the window"; });
  posts.close();
  posts.post([&] { ran += "posted after the window"; });
  EXPECT_EQ(posts.runAll(), 0);
  EXPECT_EQ(ran, "abc");
  EXPECT_EQ(wakes, 1004);
}

#ifndef _WIN32
// While a watch lives, each stop signal reaches the window's logic as the Cancel command, posted
// to the window's thread by the watch's own thread (as the start-up does it); once the watch has
// gone, the signal ends nothing and this program goes on.
TEST(HostLogic, AStopSignalIsTheWindowsCancelWhileTheWatchLives) {
  struct EndOnCommand : DialogEvents {
    explicit EndOnCommand(DialogHost& host) : host(host) {}
    void onInitDialog() override {}
    void onCommand(int id, ControlEvent) override { host.endDialog(id); }
    void onDestroy() override {}
    DialogHost& host;
  };
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
    app::HeadlessHost window(res::MainDialogTemplate());
    EndOnCommand events(window);
    std::thread::id caller;
    {
      const platform::StopRequests stops([&] {
        caller = std::this_thread::get_id();
        window.post([&] { events.onCommand(res::kIdCancel, ControlEvent::kClicked); });
      });
      window.post([signal] { std::raise(signal); });
      EXPECT_EQ(window.run(events), res::kIdCancel) << signal;
    }
    EXPECT_NE(caller, std::this_thread::get_id()) << signal;
    std::raise(signal);
  }
}
#endif

}  // namespace
}  // namespace vexlo::hosts
