#include "hosts/FileDropTarget.h"

#include "res/ControlIds.h"
#include "res/MainDialogTemplate.h"

namespace vexlo::hosts {

FileDropTarget DropTargetOf(const res::DialogTemplate& dialog,
                            const std::vector<std::string>& files,
                            const std::function<bool(const res::DialogRect&)>& inFrame,
                            const std::function<bool(int edit)>& takesTyping) {
  using Kind = FileDropTarget::Kind;
  const bool mainWindow = dialog.id == res::kDialogMain;
  if (files.size() > 1 || (!files.empty() && !mainWindow)) return {Kind::kWindowLogic};
  if (files.empty() || files.front().empty() || !mainWindow) return {};
  for (const res::PathRow& row : res::kPathRows) {
    if (!inFrame(row.frame)) continue;
    // A disabled or read-only edit takes no drop, as it takes no typing.
    return takesTyping(row.edit) ? FileDropTarget{Kind::kPathRow, row.edit} : FileDropTarget{};
  }
  return {};
}

}  // namespace vexlo::hosts
