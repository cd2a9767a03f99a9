// Vexlo's entry point on Linux: what only this system has (the arguments as bytes, whether a
// display is there, Qt's window) given to the start-up that every system shares (app/Startup).

#include <QApplication>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "app/Startup.h"
#include "hosts/ScreenshotWait.h"
#include "platform/qt/QtDialogHost.h"
#include "res/MainDialogTemplate.h"

namespace {

bool HasDisplay() {
  const char* x11 = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  return (x11 && *x11) || (wayland && *wayland);
}

// Without a display Qt draws offscreen, which no one sees; a user may also ask for it.
bool CanShowWindow() {
  if (!std::getenv("QT_QPA_PLATFORM") && !HasDisplay()) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  const char* platform = std::getenv("QT_QPA_PLATFORM");
  return !(platform && std::string_view(platform) == "offscreen");
}

// The main window as a Qt dialog; with --screenshot, its picture is taken when
// hosts::ScreenshotWait says so, and then the window closes.
class QtWindow : public vexlo::app::SystemWindow {
 public:
  QtWindow(int& argc, char** argv, const std::string& screenshot)
      : application_(argc, argv), screenshot_(screenshot) {
    if (!screenshot_.empty()) TakeScreenshotWhenReady();
  }
  vexlo::hosts::DialogHost& host() override { return host_; }
  int run(vexlo::hosts::DialogEvents& events) override { return host_.run(events); }

 private:
  void TakeScreenshotWhenReady() {
    using vexlo::hosts::ScreenshotWait;
    timer_.setInterval(ScreenshotWait::kInterval);
    QObject::connect(&timer_, &QTimer::timeout, &host_, [this, wait = ScreenshotWait()]() mutable {
      const ScreenshotWait::Step step = wait.look(host_, host_.isVisible());
      if (step == ScreenshotWait::Step::kWait) return;
      timer_.stop();
      if (step == ScreenshotWait::Step::kGiveUp ||
          !host_.grab().save(QString::fromStdString(screenshot_))) {
        std::fprintf(stderr, "vexlo: could not write %s\n", screenshot_.c_str());
      }
      host_.reject();
    });
    timer_.start();
  }

  QApplication application_;
  vexlo::platform::qt::QtDialogHost host_{vexlo::res::MainDialogTemplate()};
  std::string screenshot_;
  QTimer timer_;
};

}  // namespace

int main(int argc, char** argv) {
  vexlo::app::SystemStart system;
  system.arguments.assign(argv + 1, argv + argc);
  system.canShowWindow = CanShowWindow;
  system.makeWindow = [&argc, argv](const vexlo::app::StartRequest& request) {
    return std::make_unique<QtWindow>(argc, argv, request.screenshot);
  };
  return vexlo::app::Start(system);
}
