#include "platform/qt/FileDrop.h"

#include <QDropEvent>
#include <QFile>
#include <QLineEdit>
#include <QMimeData>
#include <QUrl>
#include <algorithm>

#include "platform/qt/DialogUnits.h"
#include "platform/qt/QtDialogHost.h"
#include "res/ControlIds.h"
#include "res/MainDialogTemplate.h"

namespace vexlo::platform::qt {

std::vector<std::string> DroppedFiles(const QMimeData* data) {
  std::vector<std::string> files;
  if (data == nullptr || !data->hasUrls()) return files;
  for (const QUrl& url : data->urls()) {
    if (url.isLocalFile() && !url.toLocalFile().isEmpty()) {
      files.push_back(QFile::encodeName(url.toLocalFile()).toStdString());
    }
  }
  return files;
}

namespace {

bool HasTable(const res::DialogTemplate& dialog) {
  return std::any_of(dialog.controls.begin(), dialog.controls.end(),
                     [](const res::ControlTemplate& c) { return c.kind == res::ControlKind::kTable; });
}

}  // namespace

void QtDialogHost::acceptFileDrops() {
  const bool table = HasTable(template_);
  if (template_.id != res::kDialogMain && !table) return;
  client_->setAcceptDrops(true);
  client_->installEventFilter(this);
  // The edits take drops of their own: the filter decides for them.
  for (const auto& [id, widget] : controls_) {
    if (qobject_cast<QLineEdit*>(widget) != nullptr) widget->installEventFilter(this);
  }
}

int QtDialogHost::pathRowAt(const QPoint& clientPoint) const {
  if (template_.id != res::kDialogMain) return 0;
  for (const res::PathRow& row : res::kPathRows) {
    if (ToPixels(row.frame, {unitsX_, unitsY_}).contains(clientPoint)) return row.edit;
  }
  return 0;
}

bool QtDialogHost::eventFilter(QObject* watched, QEvent* event) {
  const QEvent::Type type = event->type();
  if (type != QEvent::DragEnter && type != QEvent::DragMove && type != QEvent::Drop) {
    return QDialog::eventFilter(watched, event);
  }
  auto* drop = static_cast<QDropEvent*>(event);
  auto* widget = static_cast<QWidget*>(watched);
  const std::vector<std::string> files = DroppedFiles(drop->mimeData());
  // Several files anywhere on the main window, or any on a window with a table, are the
  // logic's (the queue's).
  if (files.size() > 1 || (!files.empty() && template_.id != res::kDialogMain)) {
    drop->acceptProposedAction();
    if (type == QEvent::Drop && events_ != nullptr) events_->onFilesDropped(files);
    return true;
  }
  // One file: a point on an edit lies in its own row too.
  const int edit = pathRowAt(widget->mapTo(client_, drop->position().toPoint()));
  // A drop the rows cannot take is refused here, not left to the edit (which would insert the
  // URL's text); a disabled or read-only edit takes none, as it takes no typing.
  auto* line = qobject_cast<QLineEdit*>(control(edit));
  if (files.empty() || line == nullptr || !line->isEnabled() || line->isReadOnly()) {
    drop->ignore();
    return true;
  }
  drop->acceptProposedAction();
  if (type == QEvent::Drop) setText(edit, files.front());
  return true;
}

}  // namespace vexlo::platform::qt
