#pragma once

#include <array>
#include <string_view>

// The initial entries of the main window's drop-down lists. A setting stores the 0-based position
// of its entry, so the order here is part of the settings' meaning.
namespace vexlo::res::lists {

/// "Video Profile" (1006). The last two entries begin with a blank.
inline constexpr std::array<std::string_view, 3> kProfile = {"baseline", " main", " high"};

/// "CRF (3=Best)" (1007): the CRF value the software encoders get at each position
/// (encode/OptionTables.h, kSoftwareCrf; a build check in app/CommandOptions.cpp keeps the two
/// equal). Positions 6 to 13 once showed 14 to 25, one value behind what the tool got.
inline constexpr std::array<std::string_view, 14> kCrf = {"3",  "5",  "7",  "10", "12", "13", "15",
                                                          "16", "17", "18", "20", "22", "25", "30"};

/// "Video Resize" (1031).
inline constexpr std::array<std::string_view, 15> kResize = {
    "No Resize", "320x240",   "640x480",   "720x486",   "720x576",
    "800x600",   "1024x600",  "1024x768",  "1280x720",  "1280x768",
    "1280x800",  "1440x1080", "1920x1080", "1920x1200", "3840x2160"};

/// "Force FPS" (1045).
inline constexpr std::array<std::string_view, 13> kFps = {
    "None", "5", "10", "15", "20", "23.98", "24", "25", "29.97", "30", "50", "59.94", "60"};

/// "Use GPU" (1025).
inline constexpr std::array<std::string_view, 3> kGpu = {"DISABLED", "NVIDIA", "AMD"};

}  // namespace vexlo::res::lists
