#pragma once

#include <optional>
#include <string>

class QMimeData;

namespace vexlo::platform::qt {

/// The path of the first local file among the dropped URLs, as the file system spells it (bytes
/// of a name that is not UTF-8 kept); nullopt when nothing dropped is a local file.
std::optional<std::string> DroppedFile(const QMimeData* data);

}  // namespace vexlo::platform::qt
