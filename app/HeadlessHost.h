#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <string>

#include "hosts/DialogHost.h"
#include "hosts/PostQueue.h"
#include "res/DialogTemplate.h"

namespace vexlo::app {

// A dialog host without a window: the controls are values in memory, and the thread that calls
// run() is the window's thread, running the posted tasks in order until the dialog ends. An
// encode that shows no window runs on it (the option form; the comma form where there is no
// display), so it starts no window system, GUI platform or fonts. The tests' fake host is one.
class HeadlessHost : public hosts::DialogHost {
 public:
  /// The drop-down lists take their sizes from the template (which must outlive the host).
  explicit HeadlessHost(const res::DialogTemplate& dialog);

  /// onInitDialog, the posted tasks until endDialog, then onDestroy. Returns the result given
  /// to endDialog. Tasks that have not run by then are dropped, and so are tasks posted later.
  int run(hosts::DialogEvents& events);
  /// Runs every task posted so far (and those they post); returns how many ran.
  int runPosted() { return posts_.runAll(); }

  std::string text(int id) const override { return find(id).text; }
  void setText(int id, std::string_view text) override { controls_[id].text = text; }
  void appendText(int id, std::string_view text) override { controls_[id].text += text; }
  int listIndex(int id) const override { return find(id).listIndex; }
  void setListIndex(int id, int index) override;
  bool checked(int id) const override { return find(id).checked; }
  void setChecked(int id, bool checked) override { controls_[id].checked = checked; }
  bool enabled(int id) const override { return find(id).enabled; }
  void setEnabled(int id, bool enabled) override { controls_[id].enabled = enabled; }
  bool visible(int id) const override { return find(id).visible; }
  void setVisible(int id, bool visible) override { controls_[id].visible = visible; }
  void setReadOnly(int, bool) override {}
  int progress() const override { return progress_; }
  void setProgress(int position) override { progress_ = position; }
  void setWaitCursor(bool) override {}
  void resizeWindow(int, int) override {}
  void endDialog(int result) override;
  std::optional<std::string> chooseFile(const hosts::FileDialogRequest&) override { return {}; }
  void revealInFileManager(const std::string&) override {}
  void showAbout() override {}
  bool headless() const override { return true; }
  void post(std::function<void()> task) override { posts_.post(std::move(task)); }

  /// The result given to endDialog first; nothing while the dialog has not ended.
  const std::optional<int>& result() const { return result_; }

 protected:
  /// Waits until a task is posted or the time is up.
  void waitForPost(std::chrono::milliseconds timeout) { posts_.waitForTask(timeout); }

 private:
  struct Control {
    std::string text;
    int listIndex = -1;
    int listSize = 0;  // entries of a drop-down list; setListIndex outside it selects nothing
    bool checked = false, enabled = true, visible = true;
  };
  const Control& find(int id) const;

  std::map<int, Control> controls_;
  int progress_ = 0;
  std::optional<int> result_;
  hosts::PostQueue posts_;  // closed once run has ended
};

}  // namespace vexlo::app
