#include "platform/qt/DarkStyle.h"

#include <QApplication>
#include <QColor>
#include <QStyleFactory>

#include "res/ColorScheme.h"

namespace vexlo::platform::qt {

namespace {

namespace colors = res::colors;

QColor ToQColor(colors::Rgb rgb) {
  return QColor(rgb.red, rgb.green, rgb.blue);
}

// Shades of the 3D edges (etched frames, button bevels) around the dialog grey.
constexpr colors::Rgb kLight{110, 110, 110};
constexpr colors::Rgb kMidlight{85, 85, 85};
constexpr colors::Rgb kMid{50, 50, 50};
constexpr colors::Rgb kDark{30, 30, 30};
constexpr colors::Rgb kShadow{15, 15, 15};

void SetAllGroups(QPalette& palette, QPalette::ColorRole role, colors::Rgb rgb) {
  palette.setColor(QPalette::All, role, ToQColor(rgb));
}

}  // namespace

DarkStyle::DarkStyle() : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion"))) {}

QPalette DarkStyle::standardPalette() const {
  return DarkPalette();
}

int DarkStyle::pixelMetric(PixelMetric metric, const QStyleOption* option,
                           const QWidget* widget) const {
  switch (metric) {
    case PM_IndicatorWidth:
    case PM_IndicatorHeight:
    case PM_ExclusiveIndicatorWidth:
    case PM_ExclusiveIndicatorHeight:
      return 13;
    case PM_CheckBoxLabelSpacing:
    case PM_RadioButtonLabelSpacing:
      return 3;
    default:
      return QProxyStyle::pixelMetric(metric, option, widget);
  }
}

QPalette DarkPalette() {
  const auto dialog = colors::ColorsOf(colors::Surface::kDialog).value();
  const auto edit = colors::ColorsOf(colors::Surface::kEdit).value();
  const auto disabledEdit = colors::ColorsOf(colors::Surface::kStatic).value();
  QPalette palette;
  SetAllGroups(palette, QPalette::Window, dialog.background);
  SetAllGroups(palette, QPalette::WindowText, dialog.text);
  SetAllGroups(palette, QPalette::Button, dialog.background);
  SetAllGroups(palette, QPalette::ButtonText, dialog.text);
  SetAllGroups(palette, QPalette::Base, edit.background);
  SetAllGroups(palette, QPalette::AlternateBase, kMid);
  SetAllGroups(palette, QPalette::Text, edit.text);
  SetAllGroups(palette, QPalette::ToolTipBase, dialog.background);
  SetAllGroups(palette, QPalette::ToolTipText, dialog.text);
  SetAllGroups(palette, QPalette::PlaceholderText, colors::kDisabledText);
  SetAllGroups(palette, QPalette::BrightText, colors::kTextWhite);
  SetAllGroups(palette, QPalette::Light, kLight);
  SetAllGroups(palette, QPalette::Midlight, kMidlight);
  SetAllGroups(palette, QPalette::Mid, kMid);
  SetAllGroups(palette, QPalette::Dark, kDark);
  SetAllGroups(palette, QPalette::Shadow, kShadow);
  SetAllGroups(palette, QPalette::Highlight, colors::kHighlight);
  SetAllGroups(palette, QPalette::HighlightedText, colors::kTextWhite);
  // Disabled controls: greyed text; a disabled edit shows the static colours.
  for (auto role : {QPalette::WindowText, QPalette::ButtonText, QPalette::Text}) {
    palette.setColor(QPalette::Disabled, role, ToQColor(colors::kDisabledText));
  }
  palette.setColor(QPalette::Disabled, QPalette::Base, ToQColor(disabledEdit.background));
  palette.setColor(QPalette::Disabled, QPalette::Highlight, ToQColor(kMidlight));
  return palette;
}

QPalette ReadOnlyEditPalette(const QPalette& base) {
  const auto statics = colors::ColorsOf(colors::Surface::kStatic).value();
  QPalette palette = base;
  for (auto group : {QPalette::Active, QPalette::Inactive}) {
    palette.setColor(group, QPalette::Base, ToQColor(statics.background));
    palette.setColor(group, QPalette::Text, ToQColor(statics.text));
  }
  return palette;
}

void InstallDarkStyle() {
  if (qobject_cast<DarkStyle*>(QApplication::style()) != nullptr) return;
  QApplication::setStyle(new DarkStyle);
}

}  // namespace vexlo::platform::qt
