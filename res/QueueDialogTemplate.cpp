#include "res/QueueDialogTemplate.h"

#include <array>

#include "res/ControlIds.h"

namespace vexlo::res {

namespace {

using K = ControlKind;

constexpr std::array<std::string_view, 6> kColumns = {"Source", "Output",  "Type",
                                                      "State",  "Elapsed", "Quality"};
// The "At once" list, by position: 1, 2, 3, 4 items side by side, or Auto.
constexpr std::array<std::string_view, 5> kAtOnce = {"1", "2", "3", "4", "Auto"};
// The "Target SSIM" list, by position: the items added get no target, or one of these.
constexpr std::array<std::string_view, 4> kTargets = {"None", "0.95", "0.97", "0.99"};
constexpr std::array<int, 6> kColumnWidths = {120, 120, 40, 100, 30, 75};

// Template order is tab order: the table, the buttons that act on it, the run, the options.
constexpr std::array<ControlTemplate, 27> kQueueControls = {{
    {id::kQueueTable,
     K::kTable,
     "",
     {4, 4, 487, 130},
     kNoFlags,
     "Queued files",
     kColumns,
     kColumnWidths},
    {id::kQueueItemLog,
     K::kMultiLineEdit,
     "",
     {4, 138, 487, 52},
     kNoFlags,
     "Log of the selected item",
     {}},
    {id::kProgress, K::kProgressBar, "", {4, 194, 380, 9}, kNoFlags, "Whole queue", {}},
    {id::kQueueTimeLeft, K::kStatic, "", {388, 194, 103, 9}, kNoFlags, "Queue time left", {}},
    {id::kQueueAddFiles, K::kButton, "Add Files...", {4, 208, 62, 14}, kNoFlags, "Add Files", {}},
    {id::kQueueAddFolder,
     K::kButton,
     "Add Folder...",
     {69, 208, 66, 14},
     kNoFlags,
     "Add Folder",
     {}},
    {id::kQueueRemove, K::kButton, "Remove", {138, 208, 50, 14}, kNoFlags, "Remove", {}},
    {id::kQueueMoveUp, K::kButton, "Move Up", {191, 208, 54, 14}, kNoFlags, "Move Up", {}},
    {id::kQueueMoveDown, K::kButton, "Move Down", {248, 208, 60, 14}, kNoFlags, "Move Down", {}},
    {id::kQueueRetryFailed,
     K::kButton,
     "Retry Failed",
     {311, 208, 66, 14},
     kNoFlags,
     "Retry Failed",
     {}},
    {id::kQueueClearFinished,
     K::kButton,
     "Clear Finished",
     {380, 208, 76, 14},
     kNoFlags,
     "Clear Finished",
     {}},
    {id::kQueueStart, K::kButton, "Start", {4, 226, 62, 14}, kNoFlags, "Start", {}},
    {id::kQueueStartNoNewItem,
     K::kButton,
     "Start No New Item",
     {69, 226, 92, 14},
     kNoFlags,
     "Start No New Item",
     {}},
    {id::kQueueCancelItem,
     K::kButton,
     "Cancel Item",
     {164, 226, 76, 14},
     kNoFlags,
     "Cancel the selected running item",
     {}},
    {id::kQueueAtOnceLabel, K::kStatic, "At once:", {248, 228, 30, 9}, kNoFlags, "At once:", {}},
    {id::kQueueAtOnce,
     K::kDropDownList,
     "",
     {280, 226, 36, 80},
     kNoFlags,
     "Items run at once",
     kAtOnce},
    {id::kQueueLowPriority,
     K::kCheckBox,
     "Low priority",
     {324, 227, 64, 10},
     kNoFlags,
     "Run the tools at low priority",
     {}},
    {id::kQueueFolderLabel,
     K::kStatic,
     "Output folder:",
     {4, 248, 62, 9},
     kNoFlags,
     "Output folder:",
     {}},
    {id::kQueueFolderEdit, K::kEdit, "", {69, 246, 261, 12}, kNoFlags, "Output folder", {}},
    {id::kQueueChooseFolder,
     K::kButton,
     "Choose...",
     {333, 245, 52, 14},
     kNoFlags,
     "Choose the output folder",
     {}},
    {id::kQueueBesideSources,
     K::kButton,
     "Beside Each Source",
     {388, 245, 103, 14},
     kNoFlags,
     "Outputs beside each source",
     {}},
    {id::kQueueExistingLabel,
     K::kStatic,
     "An output that exists:",
     {4, 266, 75, 9},
     kNoFlags,
     "An output that exists:",
     {}},
    {id::kQueueSkipExisting,
     K::kRadio,
     "Skip",
     {82, 265, 40, 10},
     kGroupStart,
     "Skip an output that exists",
     {}},
    {id::kQueueOverwriteExisting,
     K::kRadio,
     "Overwrite",
     {125, 265, 60, 10},
     kNoFlags,
     "Overwrite an output that exists",
     {}},
    {id::kQueueTargetLabel,
     K::kStatic,
     "Target SSIM:",
     {200, 266, 48, 9},
     kNoFlags,
     "Target SSIM:",
     {}},
    {id::kQueueTarget,
     K::kDropDownList,
     "",
     {250, 264, 40, 80},
     kNoFlags,
     "Target SSIM of the files added",
     kTargets},
    {id::kQueueStatus, K::kStatic, "", {4, 281, 487, 9}, kNoFlags, "Queue status", {}},
}};

constexpr DialogTemplate kQueueDialog = {kDialogQueue,  495,  295, "Arial", 10,
                                         "Vexlo Queue", true, 0,   {},      kQueueControls};

}  // namespace

const DialogTemplate& QueueDialogTemplate() {
  return kQueueDialog;
}

const DialogTemplate* WindowTemplate(int templateId) {
  return templateId == kDialogQueue ? &kQueueDialog : nullptr;
}

}  // namespace vexlo::res
