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

// Qt shows bytes that are not UTF-8 as U+FFFD and cannot give them back: such a name would
// become another file's name, so it is not handed on (the window says so).
std::string Given(const QString& name) {
  if (name.contains(QChar::ReplacementCharacter) && !QFileInfo::exists(name)) return {};
  return name.toStdString();
}

}  // namespace

QString NameFilterFor(const std::string& filter) {
  const QString text = ToQString(filter);
  const QString pattern =
      (text == QStringLiteral("*.*") || text.isEmpty()) ? QStringLiteral("*") : text;
  return QStringLiteral("%1 (%2)").arg(text, pattern);
}

std::optional<std::string> ChooseFile(QWidget* parent, const hosts::FileDialogRequest& request) {
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
  return Given(chosen.first());
}

std::vector<std::string> ChooseFiles(QWidget* parent, const hosts::FileDialogRequest& request) {
  QFileDialog dialog(parent, ToQString(request.title), ToQString(request.initialDirectory));
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::ExistingFiles);
  dialog.setOption(QFileDialog::HideNameFilterDetails);
  dialog.setNameFilter(NameFilterFor(request.filter));
  std::vector<std::string> names;
  if (dialog.exec() != QDialog::Accepted) return names;
  for (const QString& name : dialog.selectedFiles()) names.push_back(Given(name));
  return names;
}

std::optional<std::string> ChooseFolder(QWidget* parent, const hosts::FileDialogRequest& request) {
  QFileDialog dialog(parent, ToQString(request.title), ToQString(request.initialDirectory));
  dialog.setFileMode(QFileDialog::Directory);
  dialog.setOption(QFileDialog::ShowDirsOnly);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return Given(dialog.selectedFiles().first());
}

}  // namespace vexlo::platform::qt
