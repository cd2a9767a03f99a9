#pragma once

#include <array>
#include <string_view>

#include "res/ControlIds.h"

// The catalogue of job kinds: one row per kind with what the forms need to offer it (the control
// that starts it in the main window and so its label, its command-line option, its key in a
// batch item's JSON, its column in the queue's table, and which bar it moves). The forms read
// these facts here; a new kind is one row.
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
  int control;               // the button or menu command that starts it (the first of them)
  std::string_view option;   // the command-line option that asks for it, without "--"
  std::string_view jsonKey;  // the key of what it gives in a batch item's JSON object
  int queueColumn;           // its column in the queue's table; -1 none
  JobBar bar;
};

/// The catalogue, in the order of JobKind; "" where a kind has no such thing. Its label and its
/// column's title are the templates' (KindLabel, KindColumnTitle): written once, there.
inline constexpr std::array<JobKindRow, 9> kJobKinds = {{
    {JobKind::kEncode, res::id::kEncodeVideo, "", "output", 1, JobBar::kConversion},
    {JobKind::kAudio, res::id::kEncodeAudio, "", "", -1, JobBar::kConversion},
    {JobKind::kTestEncode, res::id::kTestEncode, "", "", -1, JobBar::kConversion},
    {JobKind::kFrameGrab, res::id::kFrame, "", "", -1, JobBar::kConversion},
    {JobKind::kMediaInfo, res::id::kInfoSource, "", "", -1, JobBar::kNone},
    {JobKind::kIndex, res::id::kIndex, "plot", "", -1, JobBar::kIndex},
    {JobKind::kGop, res::id::kGopSource, "", "", -1, JobBar::kIndex},
    {JobKind::kEncoderCheck, res::kCmdCheckEncoders, "", "", -1, JobBar::kNone},
    {JobKind::kQuality, res::kCmdMeasureQuality, "measure", "quality", 5, JobBar::kNone},
}};

/// The kind's row.
constexpr const JobKindRow& KindRow(JobKind kind) {
  return kJobKinds[static_cast<std::size_t>(kind)];
}

/// The kind's label: the caption of its control, or of its menu command, in the main window's
/// template ("Encode", "&Measure Quality").
std::string_view KindLabel(JobKind kind);

/// The title of the kind's column in the queue window's template; "" for none.
std::string_view KindColumnTitle(JobKind kind);

/// True for the jobs of the conversion runner that the conversion notifications run.
constexpr bool IsConversionKind(JobKind kind) {
  return KindRow(kind).bar == JobBar::kConversion;
}

/// True for the jobs of the indexing runner.
constexpr bool IsIndexKind(JobKind kind) {
  return KindRow(kind).bar == JobBar::kIndex;
}

}  // namespace vexlo::jobs
