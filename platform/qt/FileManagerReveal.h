#pragma once

#include <QObject>
#include <QString>

// A file shown in the desktop's file manager.

namespace vexlo::platform::qt {

/// Shows a file in the desktop's file manager, selected: asks the session bus's
/// org.freedesktop.FileManager1 service (ShowItems) without waiting for the answer, and when
/// that fails opens the containing folder instead. The path travels as one argument, never
/// through a shell. Failures are silent. The pending answer is tied to context's lifetime.
void RevealInFileManager(const QString& path, QObject* context);

}  // namespace vexlo::platform::qt
