#include "tests/support/FakeDialogHost.h"

#include <utility>

#include "res/MainDialogTemplate.h"
#include "res/QueueDialogTemplate.h"

namespace vexlo::testing {

FakeDialogHost::FakeDialogHost() : HeadlessHost(res::MainDialogTemplate()) {}

FakeDialogHost::FakeDialogHost(const res::DialogTemplate& dialog) : HeadlessHost(dialog) {}

void FakeDialogHost::setProgress(int position) {
  HeadlessHost::setProgress(position);
  progressHistory.push_back(position);
}

std::optional<std::string> FakeDialogHost::chooseFile(const hosts::FileDialogRequest& request) {
  fileDialogs.push_back(request);
  return std::exchange(nextChosenFile, std::nullopt);
}

void FakeDialogHost::setTableRow(int id, std::size_t row, const std::vector<std::string>& cells) {
  if (row < tables[id].size()) tables[id][row] = cells;
}

std::vector<std::size_t> FakeDialogHost::selectedRows(int id) const {
  const auto it = selections.find(id);
  return it == selections.end() ? std::vector<std::size_t>() : it->second;
}

std::vector<std::string> FakeDialogHost::chooseFiles(const hosts::FileDialogRequest& request) {
  fileDialogs.push_back(request);
  return std::exchange(nextChosenFiles, {});
}

hosts::DialogHost* FakeDialogHost::openWindow(int templateId, hosts::DialogEvents& events) {
  auto& window = windows[templateId];
  if (!window) {
    const res::DialogTemplate* dialog = res::WindowTemplate(templateId);
    window = std::make_unique<FakeDialogHost>(dialog ? *dialog : res::MainDialogTemplate());
    events.onInitDialog();
  }
  return window.get();
}

bool FakeDialogHost::pumpUntil(const std::function<bool()>& condition,
                               std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    runPosted();
    if (condition()) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    // Also re-checks now and then: some conditions change without a posted task.
    waitForPost(std::chrono::milliseconds(10));
  }
}

}  // namespace vexlo::testing
