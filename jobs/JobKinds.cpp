#include "jobs/JobKinds.h"

#include "res/MainDialogTemplate.h"
#include "res/QueueDialogTemplate.h"

namespace vexlo::jobs {

std::string_view KindLabel(JobKind kind) {
  const res::DialogTemplate& window = res::MainDialogTemplate();
  const int control = KindRow(kind).control;
  if (const res::ControlTemplate* found = res::FindControl(window, control)) return found->caption;
  for (const res::MenuPopup& popup : window.menu) {
    for (const res::MenuItem& item : popup.items) {
      if (item.command == control) return item.caption;
    }
  }
  return {};
}

std::string_view KindColumnTitle(JobKind kind) {
  const int column = KindRow(kind).queueColumn;
  const res::ControlTemplate* table =
      res::FindControl(res::QueueDialogTemplate(), res::id::kQueueTable);
  if (column < 0 || table == nullptr || static_cast<std::size_t>(column) >= table->list.size()) {
    return {};
  }
  return table->list[static_cast<std::size_t>(column)];
}

}  // namespace vexlo::jobs
