#include "app/Startup.h"

#include <chrono>
#include <cstdio>
#include <utility>

#include "app/BatchCommand.h"
#include "app/EstimateCommand.h"
#include "app/HeadlessHost.h"
#include "app/RegistryStore.h"
#include "app/VexloApp.h"
#include "platform/Paths.h"
#include "platform/StandardStreams.h"
#include "platform/StopRequests.h"
#include "res/ControlIds.h"
#include "res/MainDialogTemplate.h"

namespace vexlo::app {

namespace {

int Refuse(const std::string& line) {
  std::fprintf(stderr, "vexlo: %s\n", OneLine(line).c_str());
  return 2;
}

// No one could see a window and the command line asks for one to work in.
int RefuseWindowWithoutDisplay() {
  std::fprintf(stderr,
               "vexlo: there is no display, so no window can be shown.\n"
               "Encode a file without the window (automatic mode):\n"
               "  vexlo SOURCE,DESTINATION[,PROFILE,CRF]\n"
               "  vexlo --source PATH --destination PATH [options]   (see vexlo --help)\n");
  return 2;
}

// An encode that shows no window: no window system, GUI platform or fonts are started for it.
class HeadlessWindow : public SystemWindow {
 public:
  hosts::DialogHost& host() override { return host_; }
  int run(hosts::DialogEvents& events) override { return host_.run(events); }

 private:
  HeadlessHost host_{res::MainDialogTemplate()};
};

int RunMainWindow(SystemWindow& window, const StartRequest& request) {
  hosts::DialogHost& host = window.host();
  // The window's logic while it runs; written and read on the window's thread only.
  hosts::DialogEvents* running = nullptr;
  const platform::StopRequests stops([&host, &running] {
    host.post([&running] {
      if (running != nullptr) running->onCommand(res::kIdCancel, hosts::ControlEvent::kClicked);
    });
  });
  const auto runModal = [&window, &running](hosts::DialogEvents& events) {
    running = &events;
    const int result = window.run(events);
    running = nullptr;
    return result;
  };
  Application app;
  RegistryStore store;
  const int status = request.job ? app.RunOptionJob(host, store, runModal, *request.job)
                                 : app.RunWindow(host, store, runModal, request.commandLine);
  return window.exitStatus(status);
}

}  // namespace

int Start(const SystemStart& system) {
  platform::ProtectStandardStreams();
  if (!system.argumentsRefusal.empty()) return Refuse(system.argumentsRefusal);
  StartRequest request =
      ReadCommandLine(system.arguments, platform::CurrentDirectory(), VEXLO_VERSION);
  if (const auto status = RunWithoutWindow(request)) return *status;
  // An option form with a target SSIM: the samples choose its CRF position before the encode.
  std::optional<jobs::TargetRecord> target;
  if (request.job && request.job->targetSsim > 0) {
    if (const auto status = ChooseTargetPosition(*request.job, target.emplace())) return *status;
  }
  const auto encodeStart = std::chrono::steady_clock::now();

  const bool automatic = request.job || ParseCommandLine(request.commandLine).count >= 2;
  const bool seen = system.canShowWindow();
  if (!seen && !automatic && request.screenshot.empty()) return RefuseWindowWithoutDisplay();
  if (request.job || (automatic && !seen)) {
    HeadlessWindow window;
    const int status = RunMainWindow(window, request);
    if (status == 0 && target) {
      ReportTargetEncode(*request.job, *target,
                         std::chrono::duration<double>(std::chrono::steady_clock::now() -
                                                       encodeStart).count());
    }
    return status;
  }
  const std::unique_ptr<SystemWindow> window = system.makeWindow(request);
  return RunMainWindow(*window, request);
}

}  // namespace vexlo::app
