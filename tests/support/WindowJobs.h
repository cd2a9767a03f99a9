#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "app/RegistryStore.h"
#include "app/VexloDlg.h"
#include "process/ProcessRunner.h"
#include "hosts/TraceControl.h"
#include "tests/support/FakeDialogHost.h"
#include "tests/support/Support.h"

namespace vexlo::testing {

// The main window's logic over the fake host with real runners, as the tests of real jobs drive
// it (on Linux and under Wine): a window over stored paths whose tools are program_'s, its
// buttons, its log, a job run to its end.
class WindowJobs : public ::testing::Test {
 protected:
  void TearDown() override {
    if (window_) window_->onDestroy();
    window_.reset();
  }
  // A fresh window over these settings (the destination defaults to the source).
  app::MainWindow& Open(const std::string& source, const std::string& destination = "") {
    TearDown();
    store_.WriteString(app::kSettingsKey, "FileOrigine", source);
    store_.WriteString(app::kSettingsKey, "FileDestinazione",
                       destination.empty() ? source : destination);
    window_ = std::make_unique<app::MainWindow>(host_, store_, program_);
    window_->onInitDialog();
    host_.runPosted();
    return *window_;
  }
  void Press(int control) {
    window_->onCommand(control, hosts::ControlEvent::kClicked);
    host_.runPosted();
  }
  std::string Log() {
    window_->flushLog();
    host_.runPosted();
    return window_->logReference()->paneText();
  }
  bool WaitForLog(const std::string& line) {
    return host_.pumpUntil([&] { return Log().find(line) != std::string::npos; });
  }
  // Presses a button and waits until `line` is in the log and the job controls are enabled
  // again; then every runner has given its last notification and the bar stands where it ends.
  bool RunJob(int button, const std::string& line = "##### END CONVERSION ######") {
    window_->onCommand(button, hosts::ControlEvent::kClicked);
    const bool ended = host_.pumpUntil(
        [&] { return Log().find(line) != std::string::npos && window_->controlsEnabled(); },
        std::chrono::minutes(3));
    for (auto* runner : {window_->conversionRunner(), window_->indexingRunner()}) {
      if (runner) runner->Stop();  // waits until its last notification has returned
    }
    host_.runPosted();
    return ended;
  }

  // "BM" and the size of the BMP picture at `path`, such as "BM64x48".
  static std::string BitmapSize(const std::string& path) {
    const std::string bmp = ReadAll(path);
    std::int32_t size[2] = {};
    if (bmp.size() >= 26) std::memcpy(size, bmp.data() + 18, sizeof size);
    return bmp.substr(0, 2) + std::to_string(size[0]) + "x" + std::to_string(std::abs(size[1]));
  }

  ConfigHome config_;
  std::string program_ = MakeTempDirectory("jobs");
  FakeDialogHost host_;
  app::RegistryStore store_;
  std::unique_ptr<app::MainWindow> window_;
};

}  // namespace vexlo::testing
