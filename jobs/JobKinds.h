#pragma once

#include <array>
#include <optional>
#include <string_view>

#include "res/ControlIds.h"

// The catalogue of job kinds: one row per kind with what the forms need to offer it (its label,
// the control that starts it in the main window, its command-line option, its key in a batch
// item's JSON, its column in the queue's table, and which bar it moves). The forms read these
// facts here; a new kind is one row.
namespace vexlo::jobs {

/// The kinds of job: the conversion runner's (an encode, the audio extraction, the hidden test
/// encode, the frame grab, media information), the indexing runner's (frame index, GOP), the
/// encoder check, and the quality measurement of an encode against its source.
enum class JobKind {
  kEncode,
  kAudio,
  kTestEncode,
  kFrameGrab,
  kMediaInfo,
  kIndex,
  kGop,
  kEncoderCheck,
  kQuality
};

/// The main window's bar a kind's job moves: the conversion's, the frame index's (shown while no
/// conversion runs), or none.
enum class JobBar { kNone, kConversion, kIndex };

struct JobKindRow {
  JobKind kind;
  std::string_view label;        // the control's caption or menu item
  int control;                   // the button or menu command that starts it (the first of them)
  std::string_view option;       // the command-line option that asks for it, without "--"
  std::string_view jsonKey;      // the key of what it gives in a batch item's JSON object
  std::string_view queueColumn;  // its column in the queue's table
  JobBar bar;
};

/// The catalogue, in the order of JobKind; "" and 0 where a kind has no such thing.
inline constexpr std::array<JobKindRow, 9> kJobKinds = {{
    {JobKind::kEncode, res::caption::kEncode, res::id::kEncodeVideo, "destination", "output",
     res::column::kOutput, JobBar::kConversion},
    {JobKind::kAudio, res::caption::kEncode, res::id::kEncodeAudio, "", "", "",
     JobBar::kConversion},
    {JobKind::kTestEncode, res::caption::kTest, res::id::kTestEncode, "", "", "",
     JobBar::kConversion},
    {JobKind::kFrameGrab, res::caption::kFrame, res::id::kFrame, "", "", "", JobBar::kConversion},
    {JobKind::kMediaInfo, res::caption::kGetInfo, res::id::kInfoSource, "", "", "", JobBar::kNone},
    {JobKind::kIndex, res::caption::kIndex, res::id::kIndex, "plot", "", "", JobBar::kIndex},
    {JobKind::kGop, res::caption::kGop, res::id::kGopSource, "", "", "", JobBar::kIndex},
    {JobKind::kEncoderCheck, res::caption::kCheckEncoders, res::kCmdCheckEncoders, "", "", "",
     JobBar::kNone},
    {JobKind::kQuality, res::caption::kMeasureQuality, res::kCmdMeasureQuality, "measure",
     "quality", res::column::kQuality, JobBar::kNone},
}};

/// The kind's row.
constexpr const JobKindRow& KindRow(JobKind kind) {
  return kJobKinds[static_cast<std::size_t>(kind)];
}

/// The kind whose command-line option this is, if any.
constexpr std::optional<JobKind> KindOfOption(std::string_view option) {
  for (const JobKindRow& row : kJobKinds) {
    if (!row.option.empty() && row.option == option) return row.kind;
  }
  return std::nullopt;
}

/// True for the jobs of the conversion runner that the conversion notifications run.
constexpr bool IsConversionKind(JobKind kind) {
  return KindRow(kind).bar == JobBar::kConversion;
}

/// True for the jobs of the indexing runner.
constexpr bool IsIndexKind(JobKind kind) {
  return KindRow(kind).bar == JobBar::kIndex;
}

}  // namespace vexlo::jobs
