#pragma once

#include "res/DialogTemplate.h"

namespace vexlo::res {

/// The main window's template (1022): 495 x 386 units, Arial 10, menu 1024, every control of the
/// window with its initial list entries.
const DialogTemplate& MainDialogTemplate();

}  // namespace vexlo::res
