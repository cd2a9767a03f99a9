#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "res/ControlIds.h"
#include "res/ListEntries.h"

namespace vexlo::app {

// Every setting the window shows.
struct DialogSettings {
  std::string source;  // a video file, or one file of a PNG sequence
  std::string videoDestination;
  std::string audioDestination;
  std::string frameTimeText = "0.00";  // the Frame button's time in seconds, as typed; not stored
  int outputType = 0;                  // as stored: encode::OutputTypeOf
  int gpu = 0;                         // 0 "DISABLED", 1 "NVIDIA", 2 "AMD"
  int profile = 0;                     // list positions; -1 when the list has no selection
  int crf = 0;
  int fps = 0;
  int resize = 0;
  int deinterlace = 0;
  int shortGop = 0;
  int useReport = 0;
};

// How a setting is shown and stored: a path in an edit (a text value), a position in a list, a
// check box, or the output type's radio group (numbers).
enum class SettingKind { kPath, kList, kCheck, kRadioGroup };

// One persisted setting. A path's load default is the program directory; a number read from the
// store that is no position of its control (`count`) reads as the load default.
struct SettingRow {
  const char* storedName;
  std::string DialogSettings::*path;  // kPath
  int DialogSettings::*number;        // the others
  int control;                        // the radio group's first radio for kRadioGroup
  SettingKind kind;
  std::size_t count;                 // the positions a number can take
  int loadDefault;                   // when the store has no usable value
  std::optional<int> defaultButton;  // what the Default button sets; none: left as it is
  int automaticValue;                // automatic mode's value when the command line gives none
  bool savedWithAll;                 // written by SaveAll, not only by its own control's change
};

namespace detail {
inline constexpr std::string DialogSettings::*kNoPath = nullptr;
inline constexpr int DialogSettings::*kNoNumber = nullptr;
}  // namespace detail

// The CRF position has three defaults, and they differ on purpose: 1 ("5") is what a first start
// shows, when nothing is stored; 3 ("10") is what the Default button puts back; 4 ("12") is what
// a command line without a CRF field encodes at. Stored settings, users' habits and scripts that
// call the program each rely on their own one, so none of them may be made equal to another.
//
// The rows are in the order SaveAll writes them; the last three are written only when their own
// control changes.
inline constexpr std::array<SettingRow, 12> kSettingsTable{{
    {"FileOrigine", &DialogSettings::source, detail::kNoNumber, res::id::kSourceEdit,
     SettingKind::kPath, 0, 0, std::nullopt, 0, true},
    {"FileDestinazione", &DialogSettings::videoDestination, detail::kNoNumber,
     res::id::kVideoDestEdit, SettingKind::kPath, 0, 0, std::nullopt, 0, true},
    {"FileDestinazione3", &DialogSettings::audioDestination, detail::kNoNumber,
     res::id::kAudioDestEdit, SettingKind::kPath, 0, 0, std::nullopt, 0, true},
    {"bDeinterlace", detail::kNoPath, &DialogSettings::deinterlace, res::id::kDeinterlaceCheck,
     SettingKind::kCheck, 2, 0, 0, 0, true},
    {"bUseReport", detail::kNoPath, &DialogSettings::useReport, res::id::kReportCheck,
     SettingKind::kCheck, 2, 0, 0, 0, true},
    {"m_GpuType", detail::kNoPath, &DialogSettings::gpu, res::id::kGpuList, SettingKind::kList,
     res::lists::kGpu.size(), 0, 0, 0, true},
    {"iNumProfile", detail::kNoPath, &DialogSettings::profile, res::id::kProfileList,
     SettingKind::kList, res::lists::kProfile.size(), 2, 2, 0, true},
    {"iNumCRF", detail::kNoPath, &DialogSettings::crf, res::id::kCrfList, SettingKind::kList,
     res::lists::kCrf.size(), 1, 3, 4, true},
    {"mOutType", detail::kNoPath, &DialogSettings::outputType, res::id::kRadioH264,
     SettingKind::kRadioGroup, 3, 0, std::nullopt, 0, true},
    {"iNumFPS", detail::kNoPath, &DialogSettings::fps, res::id::kFpsList, SettingKind::kList,
     res::lists::kFps.size(), 0, 0, 0, false},
    {"iResizeType", detail::kNoPath, &DialogSettings::resize, res::id::kResizeList,
     SettingKind::kList, res::lists::kResize.size(), 0, 0, 0, false},
    {"bShortGop", detail::kNoPath, &DialogSettings::shortGop, res::id::kShortGopCheck,
     SettingKind::kCheck, 2, 0, 0, 0, false},
}};

// The output type's radios, in the order of its values.
inline constexpr int kOutputTypeRadios[] = {res::id::kRadioH264, res::id::kRadioH265,
                                            res::id::kRadioMpv};

/// The row of a numeric field or of a path field.
constexpr const SettingRow& RowOf(int DialogSettings::*number) {
  for (const SettingRow& row : kSettingsTable) {
    if (row.number == number) return row;
  }
  return kSettingsTable[0];
}
constexpr const SettingRow& RowOf(std::string DialogSettings::*path) {
  for (const SettingRow& row : kSettingsTable) {
    if (row.path == path) return row;
  }
  return kSettingsTable[0];
}
/// The row bound to a control, or null.
constexpr const SettingRow* RowForControl(int control) {
  for (const SettingRow& row : kSettingsTable) {
    if (row.control == control) return &row;
  }
  return nullptr;
}
/// Automatic mode's value of a numeric setting.
constexpr int AutomaticValue(int DialogSettings::*number) {
  return RowOf(number).automaticValue;
}

}  // namespace vexlo::app
