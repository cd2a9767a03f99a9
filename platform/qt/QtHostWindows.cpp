// The Qt dialog host's other windows and the desktop around it: the About box, the file and
// folder dialogs, a window beside the main one (the queue's), its tables, the clipboard, the
// desktop's notifications and the launcher's bar.
#include <QApplication>
#include <QClipboard>
#include <QGuiApplication>

#include "hosts/AboutEvents.h"
#include "platform/qt/FileDialog.h"
#include "platform/qt/FileManagerReveal.h"
#include "platform/qt/QtDialogHost.h"
#include "platform/qt/TableControl.h"
#include "res/AboutDialogTemplate.h"
#include "res/ControlIds.h"
#include "res/QueueDialogTemplate.h"

namespace vexlo::platform::qt {

namespace {

QString ToQString(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

std::optional<std::string> QtDialogHost::chooseFile(const hosts::FileDialogRequest& request) {
  return ChooseFile(this, request);
}

std::vector<std::string> QtDialogHost::chooseFiles(const hosts::FileDialogRequest& request) {
  return ChooseFiles(this, request);
}

std::optional<std::string> QtDialogHost::chooseFolder(const hosts::FileDialogRequest& request) {
  return ChooseFolder(this, request);
}

void QtDialogHost::revealInFileManager(const std::string& path) {
  RevealInFileManager(QString::fromStdString(path), this);
}

void QtDialogHost::showAbout() {
  QtDialogHost about(res::AboutDialogTemplate(), this);
  hosts::AboutEvents events(about);
  about.run(events);
}

hosts::DialogHost* QtDialogHost::openWindow(int templateId, hosts::DialogEvents& events) {
  QtDialogHost*& window = windows_[templateId];
  if (window == nullptr) {
    const res::DialogTemplate* dialog = res::WindowTemplate(templateId);
    if (dialog == nullptr || modeless_) {
      windows_.erase(templateId);
      return nullptr;
    }
    // A child of this window, so that this window's modal loop lets it take input.
    window = new QtDialogHost(*dialog, this);
    window->modeless_ = true;
    window->events_ = &events;
    events.onInitDialog();
    window->move(frameGeometry().topRight() + QPoint(8, 0));  // beside this window
  }
  window->show();
  window->raise();
  window->activateWindow();
  return window;
}

void QtDialogHost::closeWindows() {
  for (auto& [id, window] : windows_) {
    window->posts_->close();
    if (window->events_ != nullptr) window->events_->onDestroy();
    window->events_ = nullptr;
    window->hide();
  }
}

void QtDialogHost::setTableRowCount(int id, std::size_t rows) {
  const bool outer = settingRows_;
  settingRows_ = true;
  SetTableRowCount(control(id), rows);
  settingRows_ = outer;
}

void QtDialogHost::setTableRow(int id, std::size_t row, const std::vector<std::string>& cells) {
  SetTableRow(control(id), row, cells);
}

std::vector<std::size_t> QtDialogHost::selectedRows(int id) const {
  return SelectedTableRows(control(id));
}

void QtDialogHost::selectRows(int id, const std::vector<std::size_t>& rows) {
  const bool outer = settingRows_;
  settingRows_ = true;
  SelectTableRows(control(id), rows);
  settingRows_ = outer;
}

void QtDialogHost::setClipboardText(const std::string& text) {
  // Latin-1 keeps every byte of a path that is not UTF-8 as one character; UTF-8 when it is.
  const QString shown = ToQString(text);
  QApplication::clipboard()->setText(
      shown.toUtf8() == QByteArray::fromStdString(text)
          ? shown
          : QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())));
}

bool QtDialogHost::windowActive() const {
  return isActiveWindow();
}

void QtDialogHost::notifyDesktop(const std::string& summary, const std::string& body) {
  desktop_.Notify(ToQString(summary), ToQString(body));
}

void QtDialogHost::setTaskProgress(int position, bool visible) {
  desktop_.SetProgress(position, visible);
}

bool QtDialogHost::headless() const {
  return QGuiApplication::platformName() == QStringLiteral("offscreen");
}

}  // namespace vexlo::platform::qt
