// Vexlo's entry point: reads the command line (app/CommandOptions), picks Qt's platform, builds the
// Qt dialog host and runs the application.

#include <QApplication>
#include <QSocketNotifier>
#include <QTimer>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>
#include <fcntl.h>
#include <unistd.h>

#include "app/CommandOptions.h"
#include "app/RegistryStore.h"
#include "app/VexloApp.h"
#include "platform/Paths.h"
#include "platform/StandardStreams.h"
#include "platform/qt/QtDialogHost.h"
#include "res/ControlIds.h"
#include "res/MainDialogTemplate.h"

namespace {

// SIGTERM, SIGINT and SIGHUP close the window like its Cancel command, so that the running tools
// are stopped and the exit status tells what happened. The handler only writes to a pipe.
int signalPipe[2] = {-1, -1};

void OnSignal(int) {
  const char byte = 1;
  [[maybe_unused]] const auto written = ::write(signalPipe[1], &byte, 1);
}

void CloseOnSignals(vexlo::platform::qt::QtDialogHost& host) {
  if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
  auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &host);
  QObject::connect(notifier, &QSocketNotifier::activated, &host, [&host] {
    char buffer[16];
    while (::read(signalPipe[0], buffer, sizeof buffer) > 0) {
    }
    host.reject();
  });
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  for (int signal : {SIGTERM, SIGINT, SIGHUP}) sigaction(signal, &action, nullptr);
}

bool HasDisplay() {
  const char* x11 = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  return (x11 && *x11) || (wayland && *wayland);
}

bool Offscreen() {
  const char* platform = std::getenv("QT_QPA_PLATFORM");
  return platform && std::string_view(platform) == "offscreen";
}

}  // namespace

int main(int argc, char** argv) {
  vexlo::platform::ProtectStandardStreams();
  const vexlo::app::StartRequest request = vexlo::app::ReadCommandLine(
      std::vector<std::string>(argv + 1, argv + argc), vexlo::platform::CurrentDirectory(),
      VEXLO_VERSION);
  if (request.exitNow) {
    std::fputs(request.out.c_str(), stdout);
    std::fputs(request.err.c_str(), stderr);
    return *request.exitNow;
  }
  const std::string& screenshot = request.screenshot;
  const bool automatic =
      request.job || vexlo::app::ParseCommandLine(request.commandLine).count >= 2;

  if (!std::getenv("QT_QPA_PLATFORM") && !HasDisplay()) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  if (Offscreen() && !automatic && screenshot.empty()) {
    std::fprintf(stderr,
                 "vexlo: there is no display, so no window can be shown.\n"
                 "Encode a file without the window (automatic mode):\n"
                 "  vexlo SOURCE,DESTINATION[,PROFILE,CRF]\n"
                 "  vexlo --source PATH --destination PATH [options]   (see vexlo --help)\n");
    return 2;
  }

  QApplication application(argc, argv);
  vexlo::app::RegistryStore store;
  vexlo::platform::qt::QtDialogHost host(vexlo::res::MainDialogTemplate());
  CloseOnSignals(host);
  // The picture is taken once the window is shown and its log pane holds the first line, looked
  // for every 20 ms; a window that is not ready within a minute is closed with a message.
  QTimer screenshotTimer;
  if (!screenshot.empty()) {
    screenshotTimer.setInterval(20);
    QObject::connect(&screenshotTimer, &QTimer::timeout, &host,
                     [&host, &screenshot, &screenshotTimer, ticks = 0]() mutable {
                       const bool ready = host.isVisible() &&
                                          !host.text(vexlo::res::id::kLogPane).empty();
                       if (!ready && ++ticks < 3000) return;
                       screenshotTimer.stop();
                       if (!ready || !host.grab().save(QString::fromStdString(screenshot))) {
                         std::fprintf(stderr, "vexlo: could not write %s\n", screenshot.c_str());
                       }
                       host.reject();
                     });
    screenshotTimer.start();
  }
  vexlo::app::CVexloApp app;
  const auto runModal = [&host](vexlo::platform::DialogEvents& events) { return host.run(events); };
  if (request.job) return app.InitInstance(host, store, runModal, *request.job);
  return app.InitInstance(host, store, runModal, request.commandLine);
}
