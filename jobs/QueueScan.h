#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

// "Add Folder...": the sources a folder holds, for the queue.
namespace vexlo::jobs {

/// A video MIME type of the desktop entry (dist/io.github.vexlo.Vexlo.desktop) and the
/// extensions (lower case) the shared MIME database gives it that a folder scan takes. Left out:
/// ".ogg" and ".mp2" (mostly audio), the Blu-ray index files of video/mp2t, ".3ga" (audio).
struct VideoType {
  std::string_view mime;
  std::array<std::string_view, 4> extensions;  // "" fills the row
};

inline constexpr std::array<VideoType, 14> kVideoTypes{{
    {"video/mp4", {".mp4", ".m4v", ".f4v", ".lrv"}},
    {"video/x-matroska", {".mkv"}},
    {"video/quicktime", {".mov", ".qt"}},
    {"video/x-msvideo", {".avi", ".divx"}},
    {"video/webm", {".webm"}},
    {"video/mpeg", {".mpg", ".mpeg", ".mpe", ".vob"}},
    {"video/mp2t", {".ts", ".m2ts", ".mts", ".m2t"}},
    {"video/x-flv", {".flv"}},
    {"video/x-ms-wmv", {".wmv"}},
    {"video/ogg", {".ogv"}},
    {"video/3gpp", {".3gp", ".3gpp"}},
    {"video/x-ogm+ogg", {".ogm"}},
    {"video/x-theora+ogg", {}},
    {"video/dv", {".dv"}},
}};

/// True when a file name ends in one of the extensions of kVideoTypes (any letter case).
bool IsVideoFileName(std::string_view name);

/// The sources under `folder` and all its folders, in byte order: every video file, and for each
/// numbered PNG sequence of two pictures or more (pictures that differ only in the number before
/// ".png") one source, its first picture, as the encode reads a sequence from the picture it is
/// given. Names that begin with '.' are left out, as is everything under a folder whose name
/// holds ".png" (the encode would take any file below it for a picture of a sequence). Links to
/// folders are not followed.
std::vector<std::string> ScanFolder(const std::string& folder);

}  // namespace vexlo::jobs
