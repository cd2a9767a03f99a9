#include "platform/qt/DesktopSignals.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QFileInfo>
#include <QStringList>
#include <QVariantMap>

namespace vexlo::platform::qt {

bool HaveSessionBus() {
  if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) return true;
  const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
  return !runtime.isEmpty() && QFileInfo(runtime + QStringLiteral("/bus")).exists();
}

namespace {

// Sends a message on the session bus, when there is one, without waiting for anything.
void Send(const QDBusMessage& message) {
  if (!HaveSessionBus()) return;
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (bus.isConnected()) bus.send(message);
}

}  // namespace

void DesktopSignals::Notify(const QString& summary, const QString& body) {
  QDBusMessage call = QDBusMessage::createMethodCall(
      QStringLiteral("org.freedesktop.Notifications"),
      QStringLiteral("/org/freedesktop/Notifications"),
      QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
  constexpr int kServerDefaultTimeout = -1;
  call << QStringLiteral("Vexlo") << 0u << QStringLiteral("vexlo") << summary << body
       << QStringList() << QVariantMap() << kServerDefaultTimeout;
  // The reply (the notification's number) is not needed.
  Send(call);
}

void DesktopSignals::SetProgress(int position, bool visible) {
  if (position == position_ && visible == visible_) return;
  position_ = position;
  visible_ = visible;
  QDBusMessage update = QDBusMessage::createSignal(
      QStringLiteral("/io/github/vexlo/Vexlo"), QStringLiteral("com.canonical.Unity.LauncherEntry"),
      QStringLiteral("Update"));
  update << QStringLiteral("application://") + QString::fromLatin1(kDesktopEntry)
         << QVariantMap{{QStringLiteral("progress"), position / 100.0},
                        {QStringLiteral("progress-visible"), visible}};
  Send(update);
}

}  // namespace vexlo::platform::qt
