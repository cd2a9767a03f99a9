#include "platform/qt/ControlFactory.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>

#include "platform/qt/LogPane.h"
#include "platform/qt/TableControl.h"
#include "res/ColorScheme.h"

namespace vexlo::platform::qt {

namespace {

using res::ControlKind;

bool IsDecoration(ControlKind kind) {
  return kind == ControlKind::kEtchedFrame || kind == ControlKind::kEtchedLine;
}

QString ToQString(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QWidget* CreateButton(const res::ControlTemplate& control, QWidget* parent) {
  auto* button = new QPushButton(ToQString(control.caption), parent);
  button->setAutoDefault(false);
  return button;
}

QWidget* CreateLabel(const res::ControlTemplate& control, QWidget* parent) {
  auto* label = new QLabel(ToQString(control.caption), parent);
  label->setTextFormat(Qt::PlainText);
  const Qt::Alignment horizontal =
      control.kind == ControlKind::kCentredStatic ? Qt::AlignHCenter : Qt::AlignLeft;
  label->setAlignment(horizontal | Qt::AlignTop);
  return label;
}

QWidget* CreatePicture(QWidget* parent) {
  auto* picture = new QLabel(parent);
  picture->setAlignment(Qt::AlignCenter);
  return picture;
}

// The picture fills its place, keeping its proportions.
void FitPicture(QWidget* widget) {
  auto* picture = static_cast<QLabel*>(widget);
  const QPixmap image(QStringLiteral(":/vexlo/images/about.png"));
  picture->setPixmap(image.scaled(picture->size(), Qt::KeepAspectRatio, Qt::SmoothTransformation));
}

QWidget* CreateList(const res::ControlTemplate& control, QWidget* parent) {
  auto* list = new QComboBox(parent);
  for (std::string_view entry : control.list) list->addItem(ToQString(entry));
  list->setMaxVisibleItems(static_cast<int>(control.list.size()));
  list->setCurrentIndex(-1);
  return list;
}

QWidget* CreateProgressBar(QWidget* parent) {
  auto* bar = new QProgressBar(parent);
  bar->setRange(0, 100);
  bar->setValue(0);
  bar->setTextVisible(false);
  return bar;
}

QWidget* CreateEtched(ControlKind kind, QWidget* parent) {
  auto* frame = new QFrame(parent);
  frame->setFrameShape(kind == ControlKind::kEtchedLine ? QFrame::HLine : QFrame::Box);
  frame->setFrameShadow(QFrame::Sunken);
  frame->setAttribute(Qt::WA_TransparentForMouseEvents);
  frame->setFocusPolicy(Qt::NoFocus);
  return frame;
}

QWidget* CreateWidget(const res::ControlTemplate& control, BaseUnits units, QWidget* parent) {
  switch (control.kind) {
    case ControlKind::kEdit:
      return new QLineEdit(parent);
    case ControlKind::kMultiLineEdit:
      return new LogPane(parent);
    case ControlKind::kButton:
    case ControlKind::kDefaultButton:
      return CreateButton(control, parent);
    case ControlKind::kCheckBox:
      return new QCheckBox(ToQString(control.caption), parent);
    case ControlKind::kRadio:
      return new QRadioButton(ToQString(control.caption), parent);
    case ControlKind::kDropDownList:
      return CreateList(control, parent);
    case ControlKind::kStatic:
    case ControlKind::kCentredStatic:
      return CreateLabel(control, parent);
    case ControlKind::kPicture:
      return CreatePicture(parent);
    case ControlKind::kProgressBar:
      return CreateProgressBar(parent);
    case ControlKind::kTable:
      return CreateTable(control, units, parent);
    case ControlKind::kEtchedFrame:
    case ControlKind::kEtchedLine:
      break;
  }
  return CreateEtched(control.kind, parent);
}

// A drop-down list's template height is that of its dropped list; closed, it is as high as its
// font needs, like the dialog manager's combo box.
QRect PlacedRect(const res::ControlTemplate& control, QWidget* widget, BaseUnits units) {
  QRect rect = ToPixels(control.rect, units);
  if (control.kind == ControlKind::kDropDownList) {
    rect.setHeight(widget->sizeHint().height());
  }
  return rect;
}

}  // namespace

QWidget* CreateControl(const res::ControlTemplate& control, BaseUnits units, QWidget* parent) {
  QWidget* widget = CreateWidget(control, units, parent);
  widget->setObjectName(QString::number(control.id));
  // A static text the window fills at run time (the progress detail) is read by what it shows;
  // its template name then only describes it.
  if (control.kind == ControlKind::kStatic && control.caption.empty()) {
    widget->setAccessibleDescription(ToQString(control.accessibleName));
  } else {
    widget->setAccessibleName(ToQString(control.accessibleName));
  }
  widget->setGeometry(PlacedRect(control, widget, units));
  if (control.kind == ControlKind::kPicture) FitPicture(widget);
  // Statics, check boxes and radio buttons paint their own background in the dialog grey, so a
  // label that sits on an etched frame's edge hides the edge behind its text.
  if (res::colors::SurfaceOf(control.kind, false, true) == res::colors::Surface::kStatic &&
      !IsDecoration(control.kind)) {
    widget->setAutoFillBackground(true);
  }
  if (control.flags & res::kHidden) {
    widget->setVisible(false);
    widget->setEnabled(false);
  }
  return widget;
}

}  // namespace vexlo::platform::qt
