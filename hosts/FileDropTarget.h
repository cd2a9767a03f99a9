#pragma once

#include <functional>
#include <string>
#include <vector>

#include "res/DialogTemplate.h"

// Which path row of the main window files dropped on it fill, for every host.

namespace vexlo::hosts {

/// Where files dropped on a window go.
struct FileDropTarget {
  enum class Kind {
    kRefused,      // nothing takes them
    kPathRow,      // the first file fills `edit` as if typed
    kWindowLogic,  // DialogEvents::onFilesDropped (the queue's)
  };
  Kind kind = Kind::kRefused;
  int edit = 0;  // kPathRow: the path row's edit
};

/// The rule of every host for files dropped on `dialog` (the names as the file system spells
/// them; "" for one that cannot be given back): several files anywhere on the main window, or
/// any on another window, are the window's logic's; one file on the main window fills the path
/// row whose etched frame holds the drop point (`inFrame` tells, for a frame in dialog units,
/// whether it holds the point), unless its edit takes no typing (`takesTyping`: enabled and not
/// read-only); anything else is refused.
FileDropTarget DropTargetOf(const res::DialogTemplate& dialog,
                            const std::vector<std::string>& files,
                            const std::function<bool(const res::DialogRect&)>& inFrame,
                            const std::function<bool(int edit)>& takesTyping);

}  // namespace vexlo::hosts
