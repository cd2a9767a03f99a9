#pragma once

#include "res/DialogTemplate.h"

namespace vexlo::res {

/// The About box's template (501): 195 x 83 units, picture, version, publisher lines and OK.
const DialogTemplate& AboutDialogTemplate();

}  // namespace vexlo::res
