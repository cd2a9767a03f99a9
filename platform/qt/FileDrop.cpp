#include "platform/qt/FileDrop.h"

#include <QFile>
#include <QMimeData>
#include <QUrl>

namespace vexlo::platform::qt {

std::optional<std::string> DroppedFile(const QMimeData* data) {
  if (data == nullptr || !data->hasUrls()) return std::nullopt;
  for (const QUrl& url : data->urls()) {
    if (url.isLocalFile() && !url.toLocalFile().isEmpty()) {
      return QFile::encodeName(url.toLocalFile()).toStdString();
    }
  }
  return std::nullopt;
}

}  // namespace vexlo::platform::qt
