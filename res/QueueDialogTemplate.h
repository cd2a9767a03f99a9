#pragma once

#include "res/DialogTemplate.h"

namespace vexlo::res {

/// The queue window's template (1200): its table of items, the whole queue's bar and time left,
/// the buttons, the output folder and the rule for an output that exists.
const DialogTemplate& QueueDialogTemplate();

/// The template of a window the main window opens beside itself, by its id; nullptr for none.
const DialogTemplate* WindowTemplate(int templateId);

}  // namespace vexlo::res
