#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <functional>
#include <memory>

#include "platform/qt/QtDialogHost.h"

namespace vexlo::testing {

// One QApplication for the whole test program (gtest_main owns main()), on Qt's offscreen
// platform unless another one is asked for.
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

/// Waits up to a minute, processing events, until the condition holds.
inline bool WaitUntil(const std::function<bool()>& condition) {
  return QTest::qWaitFor(condition, 60000);
}

/// Acts on the next modal dialog once it is shown, looking for it every 10 ms; a dialog that
/// has not appeared within a minute fails the test (and whatever modal loop there is, ends).
inline void OnModalDialog(std::function<void(QWidget*)> act) {
  auto* timer = new QTimer(qApp);
  auto ticks = std::make_shared<int>(0);
  QObject::connect(timer, &QTimer::timeout, [timer, ticks, act] {
    QWidget* dialog = QApplication::activeModalWidget();
    if (dialog == nullptr && ++*ticks < 6000) return;
    timer->stop();
    timer->deleteLater();
    if (dialog != nullptr) return act(dialog);
    ADD_FAILURE() << "no modal dialog appeared";
  });
  timer->start(10);
}

/// Runs the dialog with a script that must end it; after a minute the dialog is ended and the
/// test fails.
inline int RunScripted(platform::qt::QtDialogHost& host, platform::DialogEvents& events,
                       std::function<void()> script) {
  QTimer::singleShot(0, &host, std::move(script));
  QTimer watchdog;
  watchdog.setSingleShot(true);
  QObject::connect(&watchdog, &QTimer::timeout, [&host] {
    ADD_FAILURE() << "the dialog script did not end the dialog";
    host.endDialog(-1);
  });
  watchdog.start(60000);
  return host.run(events);
}

}  // namespace vexlo::testing
