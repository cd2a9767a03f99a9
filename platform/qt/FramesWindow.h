#pragma once

#include <QWidget>
#include <utility>

#include "hosts/DialogHost.h"

// The Qt window that shows the picture of the frames.

class QLabel;
class QScrollBar;
class QSvgRenderer;

namespace vexlo::platform::qt {

class PictureView;

/// The window of a picture along a range (the frames of a file along its time): the picture,
/// drawn again by the picture's own `draw` for the part in view at the window's size, buttons and
/// keys to zoom along the range (+, -, Home for the whole), a scroll bar and the arrow keys to move
/// along it, the mouse wheel (zoom around the pointer; with Shift, scroll), and the caption below.
/// In the main window's dark colours. One per owner: showing another picture replaces the first.
class FramesWindow : public QWidget {
  Q_OBJECT
 public:
  /// Shows the picture in the owner's frames window, made on first use (a window of its own that
  /// goes with its owner), at the whole range, and brings it to the front.
  static FramesWindow* Show(QWidget* owner, const hosts::SvgPicture& picture);

  /// The part of the range in view.
  std::pair<double, double> viewRange() const { return {from_, to_}; }
  QString caption() const;
  /// Zooms by `factor` (2: half the range in view) keeping the point at `anchor` (0 the left
  /// edge, 1 the right edge) in place; the view stays within the range, at most 1024 times zoomed.
  void zoom(double factor, double anchor = 0.5);
  /// Moves the view so that it begins at `from`, within the range.
  void scrollTo(double from);

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  explicit FramesWindow(QWidget* owner);
  void setPicture(const hosts::SvgPicture& picture);
  // Draws the part in view at the picture's size, and sets the scroll bar and the range text.
  void redraw();

  hosts::SvgPicture picture_;
  double from_ = 0, to_ = 0;
  PictureView* view_ = nullptr;
  QScrollBar* scroll_ = nullptr;
  QLabel* range_ = nullptr;
  QLabel* caption_ = nullptr;
  bool settingScroll_ = false;
};

/// The picture's surface: paints the SVG it was given at its own size.
class PictureView : public QWidget {
  Q_OBJECT
 public:
  explicit PictureView(QWidget* parent);
  void setSvg(const std::string& svg);

 signals:
  void resized();
  /// The wheel turned by `steps` notches at `anchor` (0 left edge, 1 right edge).
  void wheelTurned(double steps, double anchor, bool scroll);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;

 private:
  QSvgRenderer* renderer_ = nullptr;
};

}  // namespace vexlo::platform::qt
