#include "res/ColorScheme.h"

namespace vexlo::res::colors {

std::optional<SurfaceColors> ColorsOf(Surface surface) {
  switch (surface) {
    case Surface::kStatic:
    case Surface::kButton:
      return SurfaceColors{kDialogGrey, kDialogGrey, kTextWhite};
    case Surface::kDialog:
      return SurfaceColors{kDialogGrey, kDialogTextBackground, kTextWhite};
    case Surface::kEdit:
      return SurfaceColors{kEditGrey, kEditGrey, kTextWhite};
    case Surface::kOther:
      break;
  }
  return std::nullopt;
}

Surface SurfaceOf(ControlKind kind, bool readOnly, bool enabled) {
  switch (kind) {
    case ControlKind::kEdit:
    case ControlKind::kMultiLineEdit:
    case ControlKind::kDropDownList:
    case ControlKind::kTable:
      return (readOnly || !enabled) ? Surface::kStatic : Surface::kEdit;
    case ControlKind::kButton:
    case ControlKind::kDefaultButton:
      return Surface::kButton;
    case ControlKind::kCheckBox:
    case ControlKind::kRadio:
    case ControlKind::kStatic:
    case ControlKind::kCentredStatic:
    case ControlKind::kPicture:
    case ControlKind::kEtchedFrame:
    case ControlKind::kEtchedLine:
      return Surface::kStatic;
    case ControlKind::kProgressBar:
      break;
  }
  return Surface::kOther;
}

}  // namespace vexlo::res::colors
