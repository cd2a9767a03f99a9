#include "app/HeadlessHost.h"

#include <utility>

#include "res/ControlIds.h"

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

void HeadlessHost::cancel() {
  post([this] {
    if (events_) events_->onCommand(res::kIdCancel, hosts::ControlEvent::kClicked);
  });
}

int HeadlessHost::run(hosts::DialogEvents& events) {
  events_ = &events;
  events.onInitDialog();
  while (!result_) {
    posts_.waitForTask();
    posts_.runNext();
  }
  posts_.close();
  events.onDestroy();
  events_ = nullptr;
  return *result_;
}

}  // namespace vexlo::app
