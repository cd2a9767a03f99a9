#include "app/HeadlessHost.h"

#include <utility>

namespace vexlo::app {

HeadlessHost::HeadlessHost(const res::DialogTemplate& dialog) {
  for (const res::ControlTemplate& control : dialog.controls) {
    if (control.kind == res::ControlKind::kDropDownList) {
      controls_[control.id].listSize = static_cast<int>(control.list.size());
    }
  }
  posts_.open();
}

const HeadlessHost::Control& HeadlessHost::find(int id) const {
  static const Control kAbsent;
  const auto it = controls_.find(id);
  return it == controls_.end() ? kAbsent : it->second;
}

void HeadlessHost::setListIndex(int id, int index) {
  Control& c = controls_[id];
  c.listIndex = (index >= 0 && index < c.listSize) ? index : -1;
}

void HeadlessHost::endDialog(int result) {
  if (!result_) result_ = result;
}

int HeadlessHost::run(hosts::DialogEvents& events) {
  events.onInitDialog();
  while (!result_) {
    posts_.waitForTask();
    posts_.runNext();
  }
  posts_.close();
  events.onDestroy();
  return *result_;
}

}  // namespace vexlo::app
