#pragma once

#include <cstdint>
#include <optional>

#include "res/DialogTemplate.h"

// The dark colour scheme that both dialogs share: dark grey surfaces and near-white text, with a
// darker grey behind the text of editable fields.
namespace vexlo::res::colors {

/// A colour as red, green, blue.
struct Rgb {
  std::uint8_t red = 0;
  std::uint8_t green = 0;
  std::uint8_t blue = 0;
  friend constexpr bool operator==(Rgb, Rgb) = default;
};

inline constexpr Rgb kDialogGrey{65, 65, 65};
inline constexpr Rgb kEditGrey{40, 40, 40};
inline constexpr Rgb kDialogTextBackground{96, 96, 96};
inline constexpr Rgb kTextWhite{245, 245, 245};
/// Selected text and the filled part of a progress bar.
inline constexpr Rgb kHighlight{45, 115, 190};
/// Text of a disabled control: the scheme sets no colour of its own for it, and the system draws
/// such text greyed; this is that grey on the dark surfaces.
inline constexpr Rgb kDisabledText{150, 150, 150};

/// The colour requests a dialog answers, one per family of controls.
enum class Surface {
  kStatic,  // labels, check boxes, radio buttons, read-only and disabled edits
  kButton,
  kDialog,  // the dialog's own surface
  kEdit,    // an editable edit, and a drop-down list's face
  kOther,   // progress bars, scroll bars: the platform's default colours
};

/// What a surface is painted with.
struct SurfaceColors {
  Rgb background;      // the brush behind the control
  Rgb textBackground;  // behind each run of text
  Rgb text;
};

/// The colours of a surface; nullopt for kOther, which keeps the platform's defaults.
std::optional<SurfaceColors> ColorsOf(Surface surface);

/// The surface a control of the kind paints as, in its current state.
Surface SurfaceOf(ControlKind kind, bool readOnly, bool enabled);

}  // namespace vexlo::res::colors
