#pragma once

#include <QFont>
#include <QRect>

#include "res/DialogTemplate.h"

// Dialog units in pixels for the Qt host.

namespace vexlo::platform::qt {

/// The dialog font's base units, as the dialog manager measures them: cx is the average width of
/// the 52 letters A-Z a-z, rounded; cy is the font's height. Both in pixels.
struct BaseUnits {
  int cx = 0;
  int cy = 0;
};

/// Measures the base units of a font.
BaseUnits MeasureBaseUnits(const QFont& font);

/// The pixel rectangle of a rectangle in dialog units (x*cx/4, y*cy/8, rounded). The edges are
/// converted, not the sizes, so controls that touch in dialog units touch in pixels too.
QRect ToPixels(const res::DialogRect& rect, BaseUnits units);

/// A template's font as the dialog manager creates it: the point size turned into whole pixels at
/// the given logical resolution. A family that is not installed falls back to its metric twin
/// (Arial to Liberation Sans).
QFont DialogFont(const res::DialogTemplate& dialog, int logicalDpi);

}  // namespace vexlo::platform::qt
