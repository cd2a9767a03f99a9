#include <cstdio>
#include <functional>

#include "app/VexloDlg.h"
#include "jobs/TargetReport.h"
#include "res/ControlIds.h"

// File > Estimate and File > Target SSIM 0.95, 0.97 and 0.99: the samples of the source encoded
// with the window's settings, on the quality measurement's thread (one such run at a time), the
// lines to the log. A target's chosen position is put in the CRF list, so the next Encode uses
// it.
namespace vexlo::app {

namespace {

// The target SSIM of a File menu item; 0 for Estimate.
double TargetOf(int command) {
  switch (command) {
    case res::kCmdTargetSsimLow:
      return 0.95;
    case res::kCmdTargetSsim:
      return 0.97;
    case res::kCmdTargetSsimHigh:
      return 0.99;
    default:
      return 0;
  }
}

std::string Framed(const std::string& text) { return "##### " + text + " ######\r\n"; }

}  // namespace

void MainWindow::EnableQualityItems(bool enable) {
  for (int item : {res::kCmdMeasureQuality, res::kCmdEstimate, res::kCmdTargetSsimLow,
                   res::kCmdTargetSsim, res::kCmdTargetSsimHigh}) {
    host_.setEnabled(item, enable);
  }
}

void MainWindow::RunOnQualityThread(std::function<void(const jobs::BatchStop&)> work) {
  measuring_ = true;
  EnableQualityItems(false);
  qualityStop_ = std::make_unique<jobs::BatchStop>();
  qualityThread_ = std::thread([this, work = std::move(work), &stop = *qualityStop_] {
    work(stop);
    // The log takes lines from any thread; the controls change on the window's thread.
    flushLog();
    host_.post([this] {
      measuring_ = false;
      EnableQualityItems(controlsEnabled_);
    });
  });
}

void MainWindow::OnSampleCommand(int command) {
  const double targetSsim = TargetOf(command);
  if ((command != res::kCmdEstimate && targetSsim == 0) || measuring_) return;
  StopQuality(true);  // the last run's thread has ended (its end was posted); join it
  const encode::EncoderSettings settings = CurrentEncoderSettings();
  const bool target = targetSsim > 0;
  const std::string source = settings_.values().source;
  jobs::SampleRequest request{source, settings, programDirectory(),
                              [this](std::string_view line) { logAppend(std::string(line)); }};
  if (auto refusal = jobs::SamplingRefusal(request, target)) {
    logAppend("##### ERROR: " + *refusal + " ######\r\n");
    return;
  }
  char title[32];
  std::snprintf(title, sizeof title, "TARGET SSIM %.2f: ", targetSsim);
  logAppend(Framed((target ? title : "ESTIMATE: ") + source));
  RunOnQualityThread([this, request, target, targetSsim](const jobs::BatchStop& stop) {
    const jobs::SampleOutcome outcome = target
                                            ? jobs::SearchTarget(request, targetSsim, stop.watch())
                                            : jobs::EstimateEncode(request, stop.watch());
    if (!outcome.estimate) {
      logAppend("##### ERROR: No prediction: " +
                (outcome.stopped ? std::string("stopped") : outcome.failure) + " ######\r\n");
      return;
    }
    logAppend(Framed("ESTIMATE: " + jobs::EstimateText(request.sourcePath, *outcome.estimate)));
    if (!target) return;
    const jobs::TargetRecord record = jobs::RecordOf(targetSsim, outcome);
    logAppend(Framed("TARGET: " + jobs::TargetText(record)));
    host_.post([this, position = record.position] {
      host_.setListIndex(res::id::kCrfList, position);
      ReadControls();
    });
  });
}

}  // namespace vexlo::app
