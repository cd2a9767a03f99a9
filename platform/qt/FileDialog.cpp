#include "platform/qt/FileDialog.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QStringList>

namespace vexlo::platform::qt {

namespace {

QString ToQString(const std::string& text) {
  return QString::fromStdString(text);
}

bool IsWildcardName(const QString& name) {
  return name.contains(QLatin1Char('*')) || name.contains(QLatin1Char('?'));
}

}  // namespace

QString NameFilterFor(const std::string& filter) {
  const QString text = ToQString(filter);
  const QString pattern =
      (text == QStringLiteral("*.*") || text.isEmpty()) ? QStringLiteral("*") : text;
  return QStringLiteral("%1 (%2)").arg(text, pattern);
}

std::optional<std::string> ChooseFile(QWidget* parent, const FileDialogRequest& request) {
  QFileDialog dialog(parent, ToQString(request.title), ToQString(request.initialDirectory));
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setOptions(QFileDialog::DontConfirmOverwrite | QFileDialog::HideNameFilterDetails);
  dialog.setNameFilter(NameFilterFor(request.filter));
  const QString initialName = ToQString(request.initialFileName);
  if (!initialName.isEmpty() && !IsWildcardName(initialName)) dialog.selectFile(initialName);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  const QStringList chosen = dialog.selectedFiles();
  if (chosen.isEmpty()) return std::nullopt;
  // Qt shows bytes that are not UTF-8 as U+FFFD and cannot give them back: such a name would
  // become another file's name, so it is not handed on (the window says so).
  const QString name = chosen.first();
  if (name.contains(QChar::ReplacementCharacter) && !QFileInfo::exists(name)) return std::string();
  return name.toStdString();
}

}  // namespace vexlo::platform::qt
