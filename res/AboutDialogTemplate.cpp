#include "res/AboutDialogTemplate.h"

#include <array>

#include "res/ControlIds.h"

namespace vexlo::res {

namespace {

using K = ControlKind;

// The etched line is 242 units wide in the original resource; it is clipped to the dialog.
constexpr std::array<ControlTemplate, 8> kAboutControls = {{
    {0, K::kPicture, "", {3, 3, 46, 40}, kNoFlags, "Vexlo logo", {}},
    {0, K::kCentredStatic, "Vexlo 2.9.0", {53, 6, 122, 8}, kNoFlags, "Vexlo 2.9.0", {}},
    {0,
     K::kCentredStatic,
     "A front end for FFmpeg",
     {53, 20, 125, 10},
     kNoFlags,
     "A front end for FFmpeg",
     {}},
    {0,
     K::kCentredStatic,
     "The Vexlo developers",
     {58, 38, 97, 8},
     kNoFlags,
     "The Vexlo developers",
     {}},
    {0,
     K::kCentredStatic,
     "Licence: GPL-3.0-or-later",
     {52, 49, 101, 8},
     kNoFlags,
     "Licence: GPL-3.0-or-later",
     {}},
    {id::kAboutLine, K::kEtchedLine, "", {1, 64, 194, 2}, kNoFlags, "Separator", {}},
    {0, K::kCentredStatic, "", {12, 70, 124, 8}, kNoFlags, "", {}},
    {kIdOk, K::kDefaultButton, "OK", {145, 68, 47, 13}, kNoFlags, "OK", {}},
}};

constexpr DialogTemplate kAboutDialog = {kDialogAbout,   195,   83, "Arial", 10,
                                         " About Vexlo", false, 0,  {},      kAboutControls};

}  // namespace

const DialogTemplate& AboutDialogTemplate() {
  return kAboutDialog;
}

}  // namespace vexlo::res
