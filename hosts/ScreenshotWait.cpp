#include "hosts/ScreenshotWait.h"

#include "res/ControlIds.h"

namespace vexlo::hosts {

ScreenshotWait::Step ScreenshotWait::look(const DialogHost& host, bool windowShown) {
  if (windowShown && !host.text(res::id::kLogPane).empty()) return Step::kTake;
  return ++looks_ < kLooks ? Step::kWait : Step::kGiveUp;
}

}  // namespace vexlo::hosts
