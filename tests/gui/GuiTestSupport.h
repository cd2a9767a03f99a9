#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QTimer>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/DialogHost.h"
#include "platform/qt/QtDialogHost.h"
#include "res/ControlIds.h"
#include "res/DialogTemplate.h"

namespace vexlo::testing {

// One QApplication for the whole test program (gtest_main owns main()). The window tests need no
// display: Qt's offscreen platform serves them unless another platform is asked for.
class QtApplicationEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    app_ = std::make_unique<QApplication>(argc_, argv_);
  }
  void TearDown() override { app_.reset(); }

 private:
  int argc_ = 1;
  char name_[16] = "vexlo_gui_test";
  char* argv_[2] = {name_, nullptr};
  std::unique_ptr<QApplication> app_;
};

// The window's logic as a recorder: it keeps every command, and runs a script once the modal
// loop is running. The Cancel command ends the dialog when endOnCancel is set.
class RecordingEvents : public platform::DialogEvents {
 public:
  explicit RecordingEvents(platform::DialogHost& host) : host_(host) {}

  void onInitDialog() override {
    ++inits;
    if (script) QTimer::singleShot(0, script);
  }
  void onCommand(int id, platform::ControlEvent event) override {
    commands.emplace_back(id, event);
    if (endOnCancel && id == res::kIdCancel) host_.endDialog(id);
  }
  void onDestroy() override {
    ++destroys;
    if (onDestroyCheck) onDestroyCheck();
  }

  std::function<void()> script;
  std::function<void()> onDestroyCheck;
  bool endOnCancel = false;
  int inits = 0;
  int destroys = 0;
  std::vector<std::pair<int, platform::ControlEvent>> commands;

 private:
  platform::DialogHost& host_;
};

// Names the instances of a test over both templates.
inline std::string TemplateName(const ::testing::TestParamInfo<const res::DialogTemplate*>& info) {
  return "Template" + std::to_string(info.param->id);
}

// Runs the dialog with a script that must end it; a watchdog ends a script that hangs.
inline int RunScripted(platform::qt::QtDialogHost& host, RecordingEvents& events,
                       std::function<void()> script) {
  events.script = std::move(script);
  QTimer watchdog;
  watchdog.setSingleShot(true);
  QObject::connect(&watchdog, &QTimer::timeout, [&host] {
    ADD_FAILURE() << "the dialog script did not end the dialog";
    host.endDialog(-1);
  });
  watchdog.start(20000);
  return host.run(events);
}

}  // namespace vexlo::testing
