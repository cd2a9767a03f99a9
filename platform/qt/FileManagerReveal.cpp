#include "platform/qt/FileManagerReveal.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDesktopServices>
#include <QFileInfo>
#include <QStringList>
#include <QUrl>

namespace vexlo::platform::qt {

namespace {

constexpr int kBusTimeoutMs = 3000;

void OpenContainingFolder(const QFileInfo& file) {
  QDesktopServices::openUrl(QUrl::fromLocalFile(file.absolutePath()));
}

}  // namespace

void RevealInFileManager(const QString& path, QObject* context) {
  if (path.isEmpty()) return;
  const QFileInfo file(path);
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) {
    OpenContainingFolder(file);
    return;
  }
  QDBusMessage call = QDBusMessage::createMethodCall(
      QStringLiteral("org.freedesktop.FileManager1"),
      QStringLiteral("/org/freedesktop/FileManager1"),
      QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
  call << QStringList{QUrl::fromLocalFile(file.absoluteFilePath()).toString()} << QString();
  auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, kBusTimeoutMs), context);
  QObject::connect(watcher, &QDBusPendingCallWatcher::finished, context,
                   [file](QDBusPendingCallWatcher* finished) {
                     if (finished->isError()) OpenContainingFolder(file);
                     finished->deleteLater();
                   });
}

}  // namespace vexlo::platform::qt
