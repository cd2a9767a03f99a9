#include "res/QueueDialogTemplate.h"

#include <array>

#include "res/ControlIds.h"

namespace vexlo::res {

namespace {

using K = ControlKind;

constexpr std::array<std::string_view, 6> kColumns = {"Source", "Output",  "Type",
                                                      "State",  "Elapsed", "Quality"};
constexpr std::array<int, 6> kColumnWidths = {120, 120, 40, 100, 30, 75};

// Template order is tab order: the table, the buttons that act on it, the run, the options.
constexpr std::array<ControlTemplate, 21> kQueueControls = {{
    {id::kQueueTable,
     K::kTable,
     "",
     {4, 4, 487, 170},
     kNoFlags,
     "Queued files",
     kColumns,
     kColumnWidths},
    {id::kProgress, K::kProgressBar, "", {4, 179, 380, 9}, kNoFlags, "Whole queue", {}},
    {id::kQueueTimeLeft, K::kStatic, "", {388, 179, 103, 9}, kNoFlags, "Queue time left", {}},
    {id::kQueueAddFiles, K::kButton, "Add Files...", {4, 193, 62, 14}, kNoFlags, "Add Files", {}},
    {id::kQueueAddFolder,
     K::kButton,
     "Add Folder...",
     {69, 193, 66, 14},
     kNoFlags,
     "Add Folder",
     {}},
    {id::kQueueRemove, K::kButton, "Remove", {138, 193, 50, 14}, kNoFlags, "Remove", {}},
    {id::kQueueMoveUp, K::kButton, "Move Up", {191, 193, 54, 14}, kNoFlags, "Move Up", {}},
    {id::kQueueMoveDown, K::kButton, "Move Down", {248, 193, 60, 14}, kNoFlags, "Move Down", {}},
    {id::kQueueRetryFailed,
     K::kButton,
     "Retry Failed",
     {311, 193, 66, 14},
     kNoFlags,
     "Retry Failed",
     {}},
    {id::kQueueClearFinished,
     K::kButton,
     "Clear Finished",
     {380, 193, 76, 14},
     kNoFlags,
     "Clear Finished",
     {}},
    {id::kQueueStart, K::kButton, "Start", {4, 211, 62, 14}, kNoFlags, "Start", {}},
    {id::kQueueStopAfterCurrent,
     K::kButton,
     "Stop After Current",
     {69, 211, 92, 14},
     kNoFlags,
     "Stop After Current",
     {}},
    {id::kQueueCancelCurrent,
     K::kButton,
     "Cancel Current",
     {164, 211, 76, 14},
     kNoFlags,
     "Cancel Current",
     {}},
    {id::kQueueFolderLabel,
     K::kStatic,
     "Output folder:",
     {4, 233, 62, 9},
     kNoFlags,
     "Output folder:",
     {}},
    {id::kQueueFolderEdit, K::kEdit, "", {69, 231, 261, 12}, kNoFlags, "Output folder", {}},
    {id::kQueueChooseFolder,
     K::kButton,
     "Choose...",
     {333, 230, 52, 14},
     kNoFlags,
     "Choose the output folder",
     {}},
    {id::kQueueBesideSources,
     K::kButton,
     "Beside Each Source",
     {388, 230, 103, 14},
     kNoFlags,
     "Outputs beside each source",
     {}},
    {id::kQueueExistingLabel,
     K::kStatic,
     "An output that exists:",
     {4, 251, 75, 9},
     kNoFlags,
     "An output that exists:",
     {}},
    {id::kQueueSkipExisting,
     K::kRadio,
     "Skip",
     {82, 250, 40, 10},
     kGroupStart,
     "Skip an output that exists",
     {}},
    {id::kQueueOverwriteExisting,
     K::kRadio,
     "Overwrite",
     {125, 250, 60, 10},
     kNoFlags,
     "Overwrite an output that exists",
     {}},
    {id::kQueueStatus, K::kStatic, "", {4, 266, 487, 9}, kNoFlags, "Queue status", {}},
}};

constexpr DialogTemplate kQueueDialog = {
    kDialogQueue, 495, 280, "Arial", 10, "Vexlo Queue", true, 0, {}, kQueueControls};

}  // namespace

const DialogTemplate& QueueDialogTemplate() {
  return kQueueDialog;
}

const DialogTemplate* WindowTemplate(int templateId) {
  return templateId == kDialogQueue ? &kQueueDialog : nullptr;
}

}  // namespace vexlo::res
