#include "analysis/PlotFrames.h"

#include "analysis/IndexNaming.h"
#include "process/ToolRun.h"

namespace vexlo::analysis {

FramesRead ReadFramesForPlot(const std::string& programDir, const std::string& source) {
  FrameParseState state;
  state.Reset();
  PlotFrameCollector collector;
  FrameParseHooks hooks;
  hooks.writeRecord = [&](const FrameRecord& record) { collector.Add(record, state.info); };
  const process::ToolEnd end = process::RunTool(FrameIndexCommandLine(programDir, source),
                                                programDir, [&](std::string_view line) {
                                                  ParseFrameLine(state, line, hooks);
                                                  return false;  // kept for a failure's reason
                                                });
  return {collector.Take(), end.finished() ? std::string() : end.ReasonText()};
}

}  // namespace vexlo::analysis
