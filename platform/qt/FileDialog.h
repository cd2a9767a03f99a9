#pragma once

#include <QWidget>
#include <optional>
#include <string>
#include <vector>

#include "hosts/DialogHost.h"

// The Qt host's file and folder dialogs.

namespace vexlo::platform::qt {

/// The Qt name filter that stands for a filter text: the text is what the user sees; "*.*" lists
/// every file, as it does on Windows, where a name need not have an extension.
QString NameFilterFor(const std::string& filter);

/// Runs the open-file dialog of a Browse button, owned by parent: the title, the directory, one
/// filter, the initial name (a wildcard name such as "*.H264" acts as the filter, as it does in
/// the Windows dialog, and leaves the name box empty). Accepts a name that does not exist yet and
/// asks nothing about overwriting. nullopt when the user cancels.
std::optional<std::string> ChooseFile(QWidget* parent, const hosts::FileDialogRequest& request);

/// The open-file dialog with several existing files chosen at once (Add Files); empty when the
/// user cancels. A name Qt cannot give back byte for byte is given as "".
std::vector<std::string> ChooseFiles(QWidget* parent, const hosts::FileDialogRequest& request);

/// The folder dialog (Add Folder, the queue's output folder); nullopt when the user cancels.
std::optional<std::string> ChooseFolder(QWidget* parent, const hosts::FileDialogRequest& request);

}  // namespace vexlo::platform::qt
