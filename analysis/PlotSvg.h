#pragma once

#include <string>
#include <string_view>

#include "analysis/FramePlot.h"

// The picture of the frames written as an SVG document.

namespace vexlo::analysis {

/// The picture as a standalone SVG 1.1 document (UTF-8 text, no scripts, no external files) in
/// the main window's dark colours: the frame sizes as bars coloured by picture type (one path
/// per type, ids "frames-I", "frames-P", "frames-B", "frames-other"), the bit rate as a line
/// (id "bitrate"), one line per key-frame mark in the group "keyframes" with the GOP lengths in
/// the group "gops", the axes' ticks, the title with the summary line, and a legend.
std::string PlotSvg(const PlotPicture& picture);

/// A text fit for XML character data: the five special characters as entities, control
/// characters as '?', and bytes that are not UTF-8 as U+FFFD (a file's name may hold any).
std::string XmlText(std::string_view text);

}  // namespace vexlo::analysis
