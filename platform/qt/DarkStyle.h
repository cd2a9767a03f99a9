#pragma once

#include <QPalette>
#include <QProxyStyle>

// The Qt host's dark look.

namespace vexlo::platform::qt {

/// The application's look: Qt's Fusion style over the dark colour scheme, with the compact
/// metrics of classic dialog controls (a 13-pixel check mark and a narrow gap before the text) so
/// that captions sized for the dialog-unit layout are not clipped.
class DarkStyle : public QProxyStyle {
  Q_OBJECT
 public:
  DarkStyle();

  QPalette standardPalette() const override;
  int pixelMetric(PixelMetric metric, const QStyleOption* option = nullptr,
                  const QWidget* widget = nullptr) const override;
};

/// The dark scheme as a palette: dialog grey surfaces, edit grey fields, white text, and the
/// static colours for disabled fields.
QPalette DarkPalette();

/// The palette of a read-only edit: the static colours (dialog grey behind white text).
QPalette ReadOnlyEditPalette(const QPalette& base);

/// Makes DarkStyle the application's style, once; later calls do nothing.
void InstallDarkStyle();

}  // namespace vexlo::platform::qt
