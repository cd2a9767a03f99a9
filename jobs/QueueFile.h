#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "jobs/QueueModel.h"

// The saved queue's text (queue.json), one JSON object:
//
//   {"vexlo_queue": 1, "output_folder": "", "existing": "skip",
//    "items": [{"source": "/v/a.mov", "output": "/v/a.H264", "state": "failed",
//               "reason": "...", "elapsed": 12.5, "duration": 60.0, "temporary": "",
//               "settings": {"type": 0, "gpu": 0, "profile": 2, "crf": 1, "fps": 0,
//                            "resize": 0, "deinterlace": false, "short_gop": false,
//                            "report": false}}]}
//
// A queue whose items run side by side also has "at_once" (2, 3, 4 or "auto"), and one whose
// tools run at low priority "low_priority": true; without them a queue runs one item at a time
// at the program's priority, as files written before they existed read.
// A path is a string when its bytes are UTF-8, else an array of its byte values, so that every
// name comes back byte for byte. "duration" is null while not known; "temporary" is set only for
// the item that was running. A done item that was measured also has "quality": its figures, as
// a batch item's JSON gives them (jobs/QualityJson.h).
namespace vexlo::jobs {

struct SavedQueue {
  std::vector<QueueItem> items;  // ids are not saved: 0
  QueueOptions options;
};

std::string QueueToJson(const std::vector<QueueItem>& items, const QueueOptions& options);

/// The saved queue; nothing when the text is not one (not JSON, a field missing or of another
/// type, a state word that is none).
std::optional<SavedQueue> QueueFromJson(std::string_view text);

}  // namespace vexlo::jobs
