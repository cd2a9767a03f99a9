#include "platform/qt/FramesWindow.h"

#include <QBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QSvgRenderer>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

#include "platform/qt/DarkStyle.h"
#include "platform/qt/QtDialogHost.h"

namespace vexlo::platform::qt {

namespace {

constexpr double kMostZoom = 1024;
constexpr int kScrollSteps = 10000;  // the scroll bar's units over the whole range

QString FromUtf8(const std::string& text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

PictureView::PictureView(QWidget* parent) : QWidget(parent), renderer_(new QSvgRenderer(this)) {
  setMinimumSize(480, 240);
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void PictureView::setSvg(const std::string& svg) {
  renderer_->load(QByteArray(svg.data(), static_cast<qsizetype>(svg.size())));
  update();
}

void PictureView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  renderer_->render(&painter, QRectF(rect()));
}

void PictureView::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  emit resized();
}

void PictureView::wheelEvent(QWheelEvent* event) {
  const double steps = event->angleDelta().y() / 120.0;
  const double anchor = width() > 0 ? event->position().x() / width() : 0.5;
  emit wheelTurned(steps, anchor, (event->modifiers() & Qt::ShiftModifier) != 0);
  event->accept();
}

FramesWindow* FramesWindow::Show(QWidget* owner, const hosts::SvgPicture& picture) {
  auto* window = owner->findChild<FramesWindow*>(QString(), Qt::FindDirectChildrenOnly);
  if (window == nullptr) window = new FramesWindow(owner);
  window->setPicture(picture);
  window->show();
  window->raise();
  window->activateWindow();
  return window;
}

FramesWindow::FramesWindow(QWidget* owner) : QWidget(owner, Qt::Window) {
  setObjectName(QStringLiteral("FramesWindow"));
  setPalette(DarkPalette());
  setAutoFillBackground(true);
  resize(1200, 520);
  auto* zoomOut = new QPushButton(QStringLiteral("Zoom &Out (-)"), this);
  auto* zoomIn = new QPushButton(QStringLiteral("Zoom &In (+)"), this);
  auto* whole = new QPushButton(QStringLiteral("&Whole File"), this);
  range_ = new QLabel(this);
  view_ = new PictureView(this);
  scroll_ = new QScrollBar(Qt::Horizontal, this);
  caption_ = new QLabel(this);
  caption_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  auto* buttons = new QHBoxLayout;
  for (QWidget* widget : {static_cast<QWidget*>(zoomOut), static_cast<QWidget*>(zoomIn),
                          static_cast<QWidget*>(whole)}) {
    widget->setFocusPolicy(Qt::NoFocus);  // the keys stay the window's
    buttons->addWidget(widget);
  }
  buttons->addSpacing(12);
  buttons->addWidget(range_, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(buttons);
  layout->addWidget(view_, 1);
  layout->addWidget(scroll_);
  layout->addWidget(caption_);
  connect(zoomOut, &QPushButton::clicked, this, [this] { zoom(0.5); });
  connect(zoomIn, &QPushButton::clicked, this, [this] { zoom(2); });
  connect(whole, &QPushButton::clicked, this, [this] { zoom(1.0 / kMostZoom); });
  connect(view_, &PictureView::resized, this, &FramesWindow::redraw);
  connect(view_, &PictureView::wheelTurned, this, [this](double steps, double anchor, bool move) {
    if (move) return scrollTo(from_ - steps * (to_ - from_) / 10);
    zoom(std::pow(1.25, steps), anchor);
  });
  connect(scroll_, &QScrollBar::valueChanged, this, [this](int value) {
    if (settingScroll_) return;
    scrollTo(picture_.start + (picture_.end - picture_.start) * value / kScrollSteps);
  });
  setFocusPolicy(Qt::StrongFocus);
}

void FramesWindow::setPicture(const hosts::SvgPicture& picture) {
  picture_ = picture;
  if (!(picture_.end > picture_.start)) picture_.end = picture_.start + 1;
  setWindowTitle(FromUtf8(picture_.title));
  caption_->setText(FromUtf8(picture_.caption));
  from_ = picture_.start;
  to_ = picture_.end;
  redraw();
}

QString FramesWindow::caption() const {
  return caption_->text();
}

void FramesWindow::zoom(double factor, double anchor) {
  const double whole = picture_.end - picture_.start;
  const double span = std::clamp((to_ - from_) / factor, whole / kMostZoom, whole);
  const double at = from_ + (to_ - from_) * anchor;
  from_ = at - span * anchor;
  to_ = from_ + span;
  scrollTo(from_);
}

void FramesWindow::scrollTo(double from) {
  const double span = to_ - from_;
  from_ = std::clamp(from, picture_.start, picture_.end - span);
  to_ = from_ + span;
  redraw();
}

void FramesWindow::redraw() {
  if (!picture_.draw) return;
  view_->setSvg(picture_.draw(from_, to_, view_->width(), view_->height()));
  const double whole = picture_.end - picture_.start;
  settingScroll_ = true;
  const int page = std::max(1, static_cast<int>(std::lround(kScrollSteps * (to_ - from_) / whole)));
  scroll_->setPageStep(page);
  scroll_->setSingleStep(std::max(1, page / 10));
  scroll_->setRange(0, kScrollSteps - page);
  scroll_->setValue(static_cast<int>(std::lround(kScrollSteps * (from_ - picture_.start) / whole)));
  settingScroll_ = false;
  const QString unit = FromUtf8(picture_.unit);
  range_->setText(QStringLiteral("%1 to %2 %3 of %4 %3 (%5x)")
                      .arg(from_, 0, 'f', 2)
                      .arg(to_, 0, 'f', 2)
                      .arg(unit)
                      .arg(whole, 0, 'f', 2)
                      .arg(whole / (to_ - from_), 0, 'f', 1));
}

void FramesWindow::keyPressEvent(QKeyEvent* event) {
  const double span = to_ - from_;
  switch (event->key()) {
    case Qt::Key_Plus:
    case Qt::Key_Equal:
      return zoom(2);
    case Qt::Key_Minus:
      return zoom(0.5);
    case Qt::Key_Home:
      return zoom(1.0 / kMostZoom);
    case Qt::Key_Left:
      return scrollTo(from_ - span / 10);
    case Qt::Key_Right:
      return scrollTo(from_ + span / 10);
    case Qt::Key_PageUp:
      return scrollTo(from_ - span);
    case Qt::Key_PageDown:
      return scrollTo(from_ + span);
    case Qt::Key_Escape:
      close();
      return;
    default:
      QWidget::keyPressEvent(event);
  }
}

bool QtDialogHost::showSvgPicture(const hosts::SvgPicture& picture) {
  return FramesWindow::Show(this, picture) != nullptr;
}

}  // namespace vexlo::platform::qt
