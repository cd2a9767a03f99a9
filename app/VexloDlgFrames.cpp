#include "analysis/FramePlot.h"
#include "analysis/PlotSvg.h"
#include "app/VexloDlg.h"

namespace vexlo::app {

// The picture keeps the job's frames alive for as long as a viewer may draw it again.
void MainWindow::ShowFrames() {
  const std::shared_ptr<const analysis::FramePlot> plot = jobs_.framePlot();
  if (!plot) return;
  hosts::SvgPicture picture;
  picture.title = "Frames of " + plot->title();
  picture.caption = analysis::SummaryLine(plot->summary());
  picture.unit = "s";
  picture.start = plot->startTime();
  picture.end = plot->endTime();
  picture.draw = [plot](double from, double to, int width, int height) {
    return analysis::PlotSvg(plot->Draw({width, height, from, to}));
  };
  if (!host_.showSvgPicture(picture)) {
    logAppend("##### ERROR: The picture of the frames could not be shown ######\r\n");
  }
}

}  // namespace vexlo::app
