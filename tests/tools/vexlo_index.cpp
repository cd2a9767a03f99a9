// Writes the frame index of SOURCE (NAME.INDX beside it) as the Linux build's Index button does,
// with the ffprobe.bin of PROGRAM_DIR: the reference that tests/windows/real_tools.sh compares the
// Windows build's index with. Usage: vexlo_index PROGRAM_DIR SOURCE; status 0 when the job
// finished, else 1 with its log on standard error.
#include <cstdio>

#include "jobs/JobLauncher.h"
#include "tests/support/TestJobWindow.h"

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  vexlo::testing::TestJobWindow window;
  vexlo::jobs::JobLauncher jobs(vexlo::hosts::PostTo(window.host), window);
  jobs.setProgramDirectory(argv[1]);
  const auto refusal = jobs.StartFrameIndex(argv[2], false);
  const bool ended = !refusal && window.host.pumpUntil([&] { return !window.ends.empty(); },
                                                       std::chrono::minutes(2));
  jobs.Shutdown();
  if (ended && window.ends[0].outcome == vexlo::process::JobOutcome::kFinished) return 0;
  std::fprintf(stderr, "%s%s\n", window.shownLog().c_str(), refusal.value_or("").c_str());
  return 1;
}
