#pragma once

#include "res/ControlIds.h"
#include "res/DialogTemplate.h"

namespace vexlo::res {

/// The main window's template (1022): 495 x 386 units, Arial 10, menu 1024, every control of the
/// window with its initial list entries.
const DialogTemplate& MainDialogTemplate();

/// The three path rows of the main window: each etched frame, with the edit that a file dropped
/// anywhere in it fills.
struct PathRow {
  DialogRect frame;
  int edit;
};
inline constexpr PathRow kPathRows[] = {{{0, 4, 495, 35}, id::kSourceEdit},
                                        {{0, 47, 495, 49}, id::kVideoDestEdit},
                                        {{0, 103, 495, 47}, id::kAudioDestEdit}};

}  // namespace vexlo::res
