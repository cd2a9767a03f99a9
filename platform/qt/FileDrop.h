#pragma once

#include <string>
#include <vector>

// Files dropped on a Qt window.

class QMimeData;

namespace vexlo::platform::qt {

/// The paths of the local files among the dropped URLs, as the file system spells them (bytes of
/// a name that is not UTF-8 kept). The host's drops (QtDialogHost::eventFilter) are in
/// FileDrop.cpp; where they go is hosts::DropTargetOf's rule.
std::vector<std::string> DroppedFiles(const QMimeData* data);

}  // namespace vexlo::platform::qt
