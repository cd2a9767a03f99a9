#include "app/VexloDlg.h"
#include "jobs/BatchResult.h"
#include "jobs/QualityMeasure.h"
#include "res/ControlIds.h"

// File > Measure Quality: the video destination measured against the source, on a thread of its
// own so that the window stays free; the figures go to the log.
namespace vexlo::app {

void MainWindow::MeasureQuality() {
  if (measuring_) return;
  ReadControls();
  StopQuality(true);  // the last run's thread has ended (its end was posted); join it
  const DialogSettings& s = settings();
  const jobs::QualityRequest request{
      s.source, s.videoDestination, s.source,           s.videoDestination,
      s.fps,    s.resize,           s.deinterlace != 0, programDirectory()};
  logAppend("##### MEASURE QUALITY: " + s.videoDestination + " against " + s.source +
            " ######\r\n");
  measuring_ = true;
  host_.setEnabled(res::kCmdMeasureQuality, false);
  qualityStop_ = std::make_unique<jobs::BatchStop>();
  qualityThread_ = std::thread([this, request, &stop = *qualityStop_] {
    const jobs::QualityResult result = jobs::MeasureQuality(request, stop.watch());
    // The log takes lines from any thread; the controls change on the window's thread.
    if (result.figures) {
      logAppend("##### QUALITY: " + jobs::QualityText(*result.figures) + " ######\r\n");
    } else {
      logAppend("##### ERROR: Quality not measured: " +
                (result.stopped ? std::string("stopped") : result.failure) + " ######\r\n");
    }
    flushLog();
    host_.post([this] {
      measuring_ = false;
      host_.setEnabled(res::kCmdMeasureQuality, controlsEnabled_);
    });
  });
}

void MainWindow::StopQuality(bool wait) {
  if (qualityStop_) qualityStop_->Request();
  if (wait && qualityThread_.joinable()) qualityThread_.join();
}

}  // namespace vexlo::app
