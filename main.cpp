// Vexlo's entry point: reads the command line (app/CommandOptions), picks the dialog host (the
// headless one for an encode that shows no window, else Qt's) and runs the application.

#include <QApplication>
#include <QSocketNotifier>
#include <QTimer>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>
#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

#include "app/BatchCommand.h"
#include "app/CommandOptions.h"
#include "app/HeadlessHost.h"
#include "app/PlotCommand.h"
#include "app/RegistryStore.h"
#include "app/VexloApp.h"
#include "hosts/ScreenshotWait.h"
#include "platform/Paths.h"
#include "platform/StandardStreams.h"
#include "platform/qt/QtDialogHost.h"
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

// The same for a run without a window: the three signals are blocked in every thread (the tools
// get them back when they start) and one thread waits for them and sends the Cancel command.
class SignalWatch {
 public:
  explicit SignalWatch(vexlo::app::HeadlessHost& host) {
    sigemptyset(&signals_);
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) sigaddset(&signals_, signal);
    pthread_sigmask(SIG_BLOCK, &signals_, nullptr);
    thread_ = std::thread([this, &host] {
      int signal = 0;
      while (sigwait(&signals_, &signal) == 0 && !ending_) host.cancel();
    });
  }
  ~SignalWatch() {
    ending_ = true;
    pthread_kill(thread_.native_handle(), SIGHUP);
    thread_.join();
  }
  SignalWatch(const SignalWatch&) = delete;
  SignalWatch& operator=(const SignalWatch&) = delete;

 private:
  sigset_t signals_;
  std::atomic<bool> ending_{false};
  std::thread thread_;
};

// The picture of --screenshot, taken when hosts::ScreenshotWait says so; then the window closes.
void ScreenshotWhenReady(vexlo::platform::qt::QtDialogHost& host, const std::string& file,
                         QTimer& timer) {
  using vexlo::hosts::ScreenshotWait;
  timer.setInterval(ScreenshotWait::kInterval);
  QObject::connect(&timer, &QTimer::timeout, &host,
                   [&host, &file, &timer, wait = ScreenshotWait()]() mutable {
                     const ScreenshotWait::Step step = wait.look(host, host.isVisible());
                     if (step == ScreenshotWait::Step::kWait) return;
                     timer.stop();
                     if (step == ScreenshotWait::Step::kGiveUp ||
                         !host.grab().save(QString::fromStdString(file))) {
                       std::fprintf(stderr, "vexlo: could not write %s\n", file.c_str());
                     }
                     host.reject();
                   });
  timer.start();
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
  const vexlo::app::StartRequest request =
      vexlo::app::ReadCommandLine(std::vector<std::string>(argv + 1, argv + argc),
                                  vexlo::platform::CurrentDirectory(), VEXLO_VERSION);
  if (const auto status = vexlo::app::RunWithoutWindow(request)) return *status;
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

  vexlo::app::CVexloApp app;
  vexlo::app::RegistryStore store;
  // An encode that shows no window (the options; the comma form where no one could see it) runs
  // without the window system: no GUI platform, no fonts, the tool started at once.
  if (request.job || (automatic && Offscreen())) {
    vexlo::app::HeadlessHost host(vexlo::res::MainDialogTemplate());
    SignalWatch signalWatch(host);
    const auto runModal = [&host](auto& events) { return host.run(events); };
    if (request.job) return app.InitInstance(host, store, runModal, *request.job);
    return app.InitInstance(host, store, runModal, request.commandLine);
  }

  QApplication application(argc, argv);
  vexlo::platform::qt::QtDialogHost host(vexlo::res::MainDialogTemplate());
  CloseOnSignals(host);
  QTimer screenshotTimer;
  if (!screenshot.empty()) ScreenshotWhenReady(host, screenshot, screenshotTimer);
  const auto runModal = [&host](vexlo::hosts::DialogEvents& events) { return host.run(events); };
  return app.InitInstance(host, store, runModal, request.commandLine);
}
