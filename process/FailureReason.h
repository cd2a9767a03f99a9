#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

// Why a tool run failed, as a value, and the tool's last lines kept for it.

namespace vexlo::process {

/// Why a tool run failed, as a value. The runner fills in how the tool ended (exit code, signal,
/// the watchdog, or why it could not be started); the job adds the tool's last lines that its
/// report filter kept out of the log (its banner and stream metadata aside). ReasonLines turns it into the log lines that stand just
/// before the job's error line.
struct FailureReason {
  static constexpr std::size_t kLineLimit = 5;

  std::string program;                   // the executable that was run, or was to be run
  int exitCode = 0;                      // the tool's own exit code when it ended by itself
  int signal = 0;                        // the signal that ended the tool; 0 when none did
  std::chrono::milliseconds silence{0};  // the silence after which the watchdog stopped it
  int startError = 0;                    // errno of a start that failed; 0 when it started
  std::vector<std::string> lastLines;    // at most kLineLimit, those naming an error first
};

/// The reason's log lines, each ending with CR LF: the tool's lines, then the watchdog, the
/// exit code or the signal, or why the tool could not be started.
std::vector<std::string> ReasonLines(const FailureReason& reason);

/// True when a tool's line names an error ("x265 [error]: ...", "No such file or directory",
/// "Conversion failed!", "Unknown encoder ..."), letter case aside.
bool NamesAnError(std::string_view line);

/// True when a tool's line says that its output could not be written whole: FFmpeg ends with
/// exit code 0 when writing the trailer or closing the file fails ("Error writing trailer of
/// out.h264: No space left on device"), so only its words tell that the output is not whole.
bool NamesAWriteFailure(std::string_view line);

/// The file name of a tool's path, after its last '/' or '\\' (a Windows path has either).
std::string_view ToolName(std::string_view program);

/// True for a line of the tool's banner: "ffmpeg version ...", "  built with ...",
/// "  configuration: ..." and the library lines ("  libavutil      57. 28.100 / 57. 28.100").
/// It tells what the tool is, never why a run failed.
bool IsToolBanner(std::string_view line);

/// True for the tool's description of a stream or file ("Metadata:", "Side data:", and the
/// indented "handler_name    : VideoHandler" lines under them): never the reason of a failure.
bool IsStreamMetadata(std::string_view line);

/// The last lines of a run that a job kept out of its log, for the reason of a failure: the most
/// recent ones are held, and Pick chooses at most FailureReason::kLineLimit of them, those that
/// name an error first; it also notes a line that says the output could not be written whole.
/// Any thread.
class KeptOutLines {
 public:
  void Keep(std::string_view line);
  /// True once a kept line said that the output could not be written whole (NamesAWriteFailure).
  bool WriteFailed() const;
  /// The lines naming an error (the latest ones), then, up to the limit, the latest others that
  /// came after the first of them (or the last lines, when none names an error); each group in
  /// the order the tool wrote it.
  std::vector<std::string> Pick() const;
  void Clear();

 private:
  // A failing tool's complaint comes at its very end; this many lines are plenty to hold it.
  static constexpr std::size_t kHeld = 32;
  // The ring's slot of the line kept `age` lines before the newest.
  std::size_t Slot(std::size_t age) const { return (count_ - 1 - age) % kHeld; }

  mutable std::mutex mutex_;
  std::array<std::string, kHeld> ring_;
  std::size_t count_ = 0;  // lines kept since the last Clear
  bool writeFailed_ = false;
};

}  // namespace vexlo::process
