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
  RunOnQualityThread([this, request](const jobs::BatchStop& stop) {
    const jobs::QualityResult result = jobs::MeasureQuality(request, stop.watch());
    if (result.figures) {
      logAppend("##### QUALITY: " + jobs::QualityText(*result.figures) + " ######\r\n");
    } else {
      logAppend("##### ERROR: Quality not measured: " +
                (result.stopped ? std::string("stopped") : result.failure) + " ######\r\n");
    }
  });
}

void MainWindow::StopQuality(bool wait) {
  if (qualityStop_) qualityStop_->Request();
  if (wait && qualityThread_.joinable()) qualityThread_.join();
}

}  // namespace vexlo::app
