#include "platform/qt/FileDrop.h"

#include <QDropEvent>
#include <QFile>
#include <QLineEdit>
#include <QMimeData>
#include <QUrl>
#include <algorithm>

#include "hosts/FileDropTarget.h"
#include "platform/qt/DialogUnits.h"
#include "platform/qt/QtDialogHost.h"
#include "res/ControlIds.h"

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

bool QtDialogHost::eventFilter(QObject* watched, QEvent* event) {
  const QEvent::Type type = event->type();
  if (type != QEvent::DragEnter && type != QEvent::DragMove && type != QEvent::Drop) {
    return QDialog::eventFilter(watched, event);
  }
  auto* drop = static_cast<QDropEvent*>(event);
  const std::vector<std::string> files = DroppedFiles(drop->mimeData());
  // A point on an edit lies in its own row too.
  const QPoint point = static_cast<QWidget*>(watched)->mapTo(client_, drop->position().toPoint());
  const hosts::FileDropTarget target = hosts::DropTargetOf(
      template_, files,
      [&](const res::DialogRect& frame) {
        return ToPixels(frame, {unitsX_, unitsY_}).contains(point);
      },
      [this](int edit) {
        auto* line = qobject_cast<QLineEdit*>(control(edit));
        return line != nullptr && line->isEnabled() && !line->isReadOnly();
      });
  // A drop the rows cannot take is refused here, not left to the edit (which would insert the
  // URL's text).
  if (target.kind == hosts::FileDropTarget::Kind::kRefused) {
    drop->ignore();
    return true;
  }
  drop->acceptProposedAction();
  if (type != QEvent::Drop) return true;
  if (target.kind == hosts::FileDropTarget::Kind::kPathRow) {
    setText(target.edit, files.front());
  } else if (events_ != nullptr) {
    events_->onFilesDropped(files);
  }
  return true;
}

}  // namespace vexlo::platform::qt
