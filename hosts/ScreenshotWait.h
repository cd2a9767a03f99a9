#pragma once

#include <chrono>

#include "hosts/DialogHost.h"

// When the --screenshot picture is taken, for every host.

namespace vexlo::hosts {

/// When the picture asked for by --screenshot is taken, under every host: the host looks every
/// kInterval; the picture is taken once the window shows and its log pane holds text (the first
/// log line), and a window not ready within a minute is given up (the host says it could not
/// write the file). Either way the host then sends the Cancel command.
class ScreenshotWait {
 public:
  static constexpr std::chrono::milliseconds kInterval{20};
  enum class Step { kWait, kTake, kGiveUp };

  /// One look, made every kInterval on the window's thread.
  Step look(const DialogHost& host, bool windowShown);

 private:
  static constexpr int kLooks = 3000;  // a minute of looks
  int looks_ = 0;
};

}  // namespace vexlo::hosts
