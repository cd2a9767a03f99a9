#include "platform/qt/QtDialogHost.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QComboBox>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <algorithm>

#include "platform/qt/ControlFactory.h"
#include "platform/qt/DarkStyle.h"
#include "platform/qt/DialogUnits.h"
#include "platform/qt/LogPane.h"
#include "res/ControlIds.h"

// The images are compiled into this static library; a static library's resources must be
// registered by hand, from the global namespace.
static void RegisterImageResources() {
  Q_INIT_RESOURCE(images);
}

namespace vexlo::platform::qt {

namespace {

QString ToQString(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

QtDialogHost::QtDialogHost(const res::DialogTemplate& dialog, QWidget* parent)
    : QDialog(parent), template_(dialog) {
  RegisterImageResources();
  InstallDarkStyle();
  setObjectName(QString::number(dialog.id));
  setWindowTitle(ToQString(dialog.title));
  setWindowIcon(QIcon(QStringLiteral(":/vexlo/images/vexlo.png")));
  Qt::WindowFlags flags = Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
  if (dialog.minimizeBox) flags |= Qt::WindowMinimizeButtonHint;
  setWindowFlags(flags);
  setPalette(DarkPalette());
  setAutoFillBackground(true);
  setFont(DialogFont(dialog, logicalDpiY()));
  const BaseUnits units = MeasureBaseUnits(font());
  unitsX_ = units.cx;
  unitsY_ = units.cy;
  buildMenu();
  buildControls();
  acceptFileDrops();
  // One queued call for each post, each running the oldest task.
  posts_->open([this] {
    QMetaObject::invokeMethod(
        this, [posts = posts_] { posts->runNext(); }, Qt::QueuedConnection);
  });
  const int menuHeight = menuBar_ != nullptr ? menuBar_->height() : 0;
  setFixedSize(client_->width(), client_->height() + menuHeight);
}

QtDialogHost::~QtDialogHost() {
  posts_->close();
  while (waitCursorDepth_ > 0) setWaitCursor(false);
}

void QtDialogHost::buildMenu() {
  if (template_.menuId == 0) return;
  menuBar_ = new QMenuBar(this);
  menuBar_->setObjectName(QString::number(template_.menuId));
  menuBar_->setNativeMenuBar(false);
  for (const res::MenuPopup& popup : template_.menu) {
    QMenu* menu = menuBar_->addMenu(ToQString(popup.caption));
    for (const res::MenuItem& item : popup.items) {
      QAction* action = menu->addAction(ToQString(item.caption));
      action->setObjectName(QString::number(item.command));
      // The framework turns "E&xit" into a close request, which a dialog takes as Cancel.
      const int id = item.command == res::kCmdAppExit ? res::kIdCancel : item.command;
      connect(action, &QAction::triggered, this,
              [this, id] { sendCommand(id, hosts::ControlEvent::kClicked); });
    }
  }
  menuBar_->adjustSize();
}

void QtDialogHost::buildControls() {
  const BaseUnits units{unitsX_, unitsY_};
  client_ = new QWidget(this);
  const QRect area = ToPixels({0, 0, template_.width, template_.height}, units);
  const int top = menuBar_ != nullptr ? menuBar_->height() : 0;
  client_->setGeometry(0, top, area.width(), area.height());
  if (menuBar_ != nullptr) menuBar_->setGeometry(0, 0, area.width(), top);
  for (const res::ControlTemplate& control : template_.controls) {
    QWidget* widget = CreateControl(control, units, client_);
    if (control.id != 0) controls_[control.id] = widget;
    connectControl(control, widget);
  }
}

void QtDialogHost::connectControl(const res::ControlTemplate& control, QWidget* widget) {
  const int id = control.id;
  if (auto* radio = qobject_cast<QRadioButton*>(widget)) {
    if ((control.flags & res::kGroupStart) || radioGroup_ == nullptr) {
      radioGroup_ = new QButtonGroup(this);
      radioGroup_->setExclusive(true);
    }
    radioGroup_->addButton(radio, id);
  }
  if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
    if (control.kind == res::ControlKind::kDefaultButton && template_.menuId == 0) {
      // A dialog without a menu is a small message box: Enter presses its default button.
      static_cast<QPushButton*>(button)->setDefault(true);
    }
    if (button->isCheckable()) {
      // A check box or radio button acts on every change of its mark, however it was made: a
      // click, the keyboard, or an accessibility "Toggle" action (which emits toggled, never
      // clicked). A radio that loses its mark to another of its group makes no command of its
      // own, and nothing fires while the window's logic sets a mark itself (setChecked).
      const bool radio = qobject_cast<QRadioButton*>(button) != nullptr;
      connect(button, &QAbstractButton::toggled, this, [this, id, radio](bool checked) {
        if (settingMarks_ || (radio && !checked)) return;
        sendCommand(id, hosts::ControlEvent::kClicked);
      });
    } else {
      connect(button, &QAbstractButton::clicked, this,
              [this, id] { sendCommand(id, hosts::ControlEvent::kClicked); });
    }
  } else if (auto* list = qobject_cast<QComboBox*>(widget)) {
    connect(list, &QComboBox::activated, this,
            [this, id] { sendCommand(id, hosts::ControlEvent::kSelectionChanged); });
  } else if (auto* table = qobject_cast<QTableWidget*>(widget)) {
    connect(table, &QTableWidget::itemSelectionChanged, this, [this, id] {
      if (!settingRows_) sendCommand(id, hosts::ControlEvent::kSelectionChanged);
    });
  }
}

void QtDialogHost::sendCommand(int id, hosts::ControlEvent event) {
  if (events_ != nullptr) events_->onCommand(id, event);
}

int QtDialogHost::run(hosts::DialogEvents& events) {
  events_ = &events;
  events.onInitDialog();
  int result = 0;
  if (endedBeforeLoop_) {
    result = *endedBeforeLoop_;
  } else {
    inModalLoop_ = true;
    result = exec();
    inModalLoop_ = false;
  }
  posts_->close();
  closeWindows();
  events.onDestroy();
  events_ = nullptr;
  return result;
}

QWidget* QtDialogHost::control(int id) const {
  const auto it = controls_.find(id);
  return it == controls_.end() ? nullptr : it->second;
}

std::string QtDialogHost::text(int id) const {
  QWidget* widget = control(id);
  if (auto* pane = qobject_cast<LogPane*>(widget)) return pane->rawText();
  if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
    // A text put in by the program comes back byte for byte while the edit still shows it, so
    // a name that is not valid UTF-8 (shown with U+FFFD) is never turned into another name.
    const QString shown = edit->text();
    const auto given = editBytes_.find(id);
    if (given != editBytes_.end() && given->second.first == shown) return given->second.second;
    return shown.toStdString();
  }
  if (auto* button = qobject_cast<QAbstractButton*>(widget)) return button->text().toStdString();
  if (auto* label = qobject_cast<QLabel*>(widget)) return label->text().toStdString();
  if (auto* list = qobject_cast<QComboBox*>(widget)) return list->currentText().toStdString();
  return {};
}

void QtDialogHost::setText(int id, std::string_view text) {
  QWidget* widget = control(id);
  if (auto* pane = qobject_cast<LogPane*>(widget)) {
    pane->setRawText(text);
  } else if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
    const QString shown = ToQString(text);
    edit->setText(shown);
    edit->setCursorPosition(0);
    editBytes_[id] = {shown, std::string(text)};
  } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
    button->setText(ToQString(text));
  } else if (auto* label = qobject_cast<QLabel*>(widget)) {
    label->setText(ToQString(text));
  }
}

void QtDialogHost::appendText(int id, std::string_view text) {
  if (auto* pane = qobject_cast<LogPane*>(control(id))) {
    pane->appendRawText(text);
  } else if (auto* edit = qobject_cast<QLineEdit*>(control(id))) {
    const std::string bytes = this->text(id) + std::string(text);
    edit->setText(edit->text() + ToQString(text));
    editBytes_[id] = {edit->text(), bytes};
  }
}

int QtDialogHost::listIndex(int id) const {
  auto* list = qobject_cast<QComboBox*>(control(id));
  return list != nullptr ? list->currentIndex() : -1;
}

void QtDialogHost::setListIndex(int id, int index) {
  auto* list = qobject_cast<QComboBox*>(control(id));
  if (list == nullptr) return;
  list->setCurrentIndex(index >= 0 && index < list->count() ? index : -1);
}

bool QtDialogHost::checked(int id) const {
  auto* button = qobject_cast<QAbstractButton*>(control(id));
  return button != nullptr && button->isCheckable() && button->isChecked();
}

void QtDialogHost::setChecked(int id, bool checked) {
  auto* button = qobject_cast<QAbstractButton*>(control(id));
  if (button == nullptr || !button->isCheckable()) return;
  const bool outer = settingMarks_;
  settingMarks_ = true;
  QButtonGroup* group = button->group();
  // An exclusive group refuses to clear its checked button; clearing it leaves the group empty.
  const bool clearInGroup = !checked && group != nullptr && group->exclusive();
  if (clearInGroup) group->setExclusive(false);
  button->setChecked(checked);
  if (clearInGroup) group->setExclusive(true);
  settingMarks_ = outer;
}

bool QtDialogHost::enabled(int id) const {
  if (QAction* action = menuAction(id)) return action->isEnabled();
  QWidget* widget = control(id);
  return widget != nullptr && widget->isEnabled();
}

void QtDialogHost::setEnabled(int id, bool enabled) {
  if (QWidget* widget = control(id)) {
    widget->setEnabled(enabled);
    updateEditColors(widget);
  } else if (QAction* action = menuAction(id)) {
    action->setEnabled(enabled);
  }
}

QAction* QtDialogHost::menuAction(int id) const {
  return menuBar_ != nullptr ? menuBar_->findChild<QAction*>(QString::number(id)) : nullptr;
}

bool QtDialogHost::visible(int id) const {
  QWidget* widget = control(id);
  return widget != nullptr && !widget->isHidden();
}

void QtDialogHost::setVisible(int id, bool visible) {
  if (QWidget* widget = control(id)) widget->setVisible(visible);
}

void QtDialogHost::setReadOnly(int id, bool readOnly) {
  // The log pane is never editable by hand, so only one-line edits change.
  if (auto* edit = qobject_cast<QLineEdit*>(control(id))) {
    edit->setReadOnly(readOnly);
    updateEditColors(edit);
  }
}

void QtDialogHost::updateEditColors(QWidget* widget) {
  auto* edit = qobject_cast<QLineEdit*>(widget);
  if (edit == nullptr) return;
  // Read-only edits take the static colours; disabled ones get them from the palette's
  // disabled group.
  edit->setPalette(edit->isReadOnly() ? ReadOnlyEditPalette(palette()) : palette());
}

int QtDialogHost::progress() const {
  auto* bar = qobject_cast<QProgressBar*>(control(res::id::kProgress));
  return bar != nullptr ? bar->value() : 0;
}

void QtDialogHost::setProgress(int position) {
  if (auto* bar = qobject_cast<QProgressBar*>(control(res::id::kProgress))) {
    bar->setValue(std::clamp(position, bar->minimum(), bar->maximum()));
  }
}

void QtDialogHost::setWaitCursor(bool on) {
  if (on) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    ++waitCursorDepth_;
  } else if (waitCursorDepth_ > 0) {
    QApplication::restoreOverrideCursor();
    --waitCursorDepth_;
  }
}

void QtDialogHost::resizeWindow(int width, int height) {
  setFixedSize(width, height);
}

void QtDialogHost::endDialog(int result) {
  if (modeless_) {
    hide();
    return;
  }
  if (!inModalLoop_) {
    // Ended from onInitDialog: the modal loop never starts.
    endedBeforeLoop_ = result;
    return;
  }
  ending_ = true;
  done(result);
}

void QtDialogHost::post(std::function<void()> task) {
  const std::shared_ptr<hosts::PostQueue> posts = posts_;
  posts->post(std::move(task));
}

void QtDialogHost::reject() {
  sendCommand(res::kIdCancel, hosts::ControlEvent::kClicked);
}

void QtDialogHost::closeEvent(QCloseEvent* event) {
  if (ending_) {
    event->accept();
    return;
  }
  event->ignore();
  sendCommand(res::kIdCancel, hosts::ControlEvent::kClicked);
}

}  // namespace vexlo::platform::qt
