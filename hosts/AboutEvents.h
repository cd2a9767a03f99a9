#pragma once

#include "hosts/DialogHost.h"
#include "res/ControlIds.h"

// The About box's logic, which every host shares.

namespace vexlo::hosts {

/// The About box's logic, the same under every host: OK and the Cancel command (Escape, the
/// title-bar close) end it with their own id; nothing else does anything.
class AboutEvents : public DialogEvents {
 public:
  explicit AboutEvents(DialogHost& host) : host_(host) {}
  void onInitDialog() override {}
  void onCommand(int id, ControlEvent) override {
    if (id == res::kIdOk || id == res::kIdCancel) host_.endDialog(id);
  }
  void onDestroy() override {}

 private:
  DialogHost& host_;
};

}  // namespace vexlo::hosts
