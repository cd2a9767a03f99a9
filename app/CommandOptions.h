#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/SettingsTable.h"
#include "jobs/Batch.h"
#include "jobs/QualityMeasure.h"

namespace vexlo::app {

// An encode given by options on the command line: the settings that a click on one of the
// window's two Encode buttons would use. Positions are those of the window's lists; an option
// that is not given keeps the value the comma form's automatic mode uses.
struct OptionJob {
  std::string source;
  std::string destination;  // the video destination, or the audio destination for a WAV
  bool audio = false;       // the audio row's Encode (a WAV) instead of the video row's
  int outType = AutomaticValue(&DialogSettings::outputType);  // as stored: encode::OutputTypeOf
  int gpuType = AutomaticValue(&DialogSettings::gpu);         // 0 none, 1 NVIDIA, 2 AMD
  int profile = AutomaticValue(&DialogSettings::profile);
  int crf = AutomaticValue(&DialogSettings::crf);
  int fps = AutomaticValue(&DialogSettings::fps);
  int resize = AutomaticValue(&DialogSettings::resize);
  bool deinterlace = false;
  bool shortGop = false;
  double targetSsim = 0;  // --target-ssim: the samples choose `crf`; 0 for none
};

// One option of an encode, as the help lists it: its long name, the name of its value (empty
// for a switch) and what it does.
struct JobOptionHelp {
  std::string_view name;
  std::string_view valueName;
  std::string description;
};

/// Every option of an encode, in the order the help lists them.
std::vector<JobOptionHelp> JobOptions();

// One option as it was given: its long name without the dashes, and its value ("" for a switch).
struct GivenOption {
  std::string name;
  std::string value;
};

/// Reads the options of an encode into `job`. Relative paths are taken from `workingDirectory`.
/// Returns the one line (no program name, no line end) that refuses them: an unknown option, one
/// given twice, a value that is not one of the option's, a missing --source or --destination.
/// Empty when they make a job. Whether the files are there is the files' matter, not the command
/// line's: PathRefusal tells it.
std::string ReadJobOptions(const std::vector<GivenOption>& options,
                           const std::string& workingDirectory, OptionJob& job);

/// The values of an encode's options, as ReadJobOptions reads them, without requiring or checking
/// the two paths: the batch's settings.
std::string ReadEncodeOptions(const std::vector<GivenOption>& options,
                              const std::string& workingDirectory, OptionJob& job);

/// A text fit for one line of a message: control characters become '?'.
std::string OneLine(std::string_view text);

/// Whether the option is one of the batch's side-by-side options: --jobs, --gpu-sessions,
/// --low-priority.
bool IsBatchRunOption(std::string_view name);
/// Reads one of them into `batch`; why its value is refused, or an empty string.
std::string ReadBatchRunOption(const GivenOption& option, jobs::BatchRequest& batch);
/// Their lines of the help: names and description.
std::vector<std::pair<std::string, std::string>> BatchRunHelp();

// The options of a command line as they were spelled, before their values mean anything.
struct ParsedOptions {
  std::vector<GivenOption> options;     // in the order given, each with its own value
  std::vector<std::string> positional;  // the arguments that are no option nor an option's value
  bool help = false;                    // --help, --help-all, -h or -?
  bool version = false;                 // --version or -v
  std::string refusal;                  // the first fault of spelling; empty when none
};

/// True when the arguments (those after the program's name) are options: one of them begins with
/// "--" or is -h, -? or -v. Any other command line is the comma form, whatever it holds.
bool UsesOptions(const std::vector<std::string>& arguments);

/// Reads the spelling of options: "--name value", "--name=value", the same with one dash
/// ("-crf 5"), switches anywhere, "--" ending the options. An option's value is the next
/// argument whatever it holds; the bytes of every argument are kept as given. Refuses an unknown
/// name, a switch given a value and a value that is missing.
ParsedOptions ParseOptions(const std::vector<std::string>& arguments);

// A picture of a file's frames: --plot PICTURE SOURCE. Both paths are absolute.
struct PlotJob {
  std::string picture;  // the SVG file to write
  std::string source;   // the file whose frames are drawn
};

// A quality measurement: --measure SOURCE OUTPUT [--fps N] [--resize N] [--deinterlace] [--json].
// The files are checked when it runs (a missing one fails the work, status 1).
struct MeasureJob {
  jobs::QualityRequest quality;  // no program folder yet
  bool json = false;             // one JSON object instead of the line
};

// A prediction before encoding: --estimate with --source PATH, or with sources as a batch's. Its
// encode options are the encode's; with --target-ssim the samples also choose the position.
struct EstimateJob {
  std::vector<std::string> sources;  // as given
  std::string sourcesFrom;           // a file with one source a line, "-" for standard input
  encode::EncoderSettings settings;
  std::string workingDirectory;
  bool json = false;
};

/// The encoder settings of an option form's encode.
encode::EncoderSettings SettingsOf(const OptionJob& job);

/// Why the path cannot be the file read (or, with `destination`, the file written): a source
/// that is not an existing file, a destination that is a folder or whose folder does not exist.
/// Empty when it can; a path that the tool reads as a protocol is left for the job to refuse.
std::string PathRefusal(const std::string& path, bool destination);

/// What the command line asks for, read the same way on every system.
struct StartRequest {
  // End at once with this status: help, version (0); a file that is not there or cannot be
  // written (1: the files were wrong, and the same command may succeed later); a command line
  // that no files could satisfy (2).
  std::optional<int> exitNow;
  std::string out;             // for standard output before ending: the help or the version
  std::string err;             // for standard error before ending: "vexlo: REFUSAL\n"
  std::string screenshot;      // --screenshot FILE, absolute
  std::optional<OptionJob> job;
  std::optional<jobs::BatchRequest> batch;  // --output-dir DIR SOURCE...; no program folder yet
  std::optional<PlotJob> plot;
  std::optional<MeasureJob> measure;
  std::optional<EstimateJob> estimate;
  std::string commandLine;  // the comma form, the arguments joined by blanks
};

/// Reads the arguments after the program's name. Relative paths are taken from
/// `workingDirectory`; `version` is what --version prints after "vexlo ".
StartRequest ReadCommandLine(const std::vector<std::string>& arguments,
                             const std::string& workingDirectory, std::string_view version);

/// --estimate: with --source PATH one source, else the sources as arguments or --sources-from
/// FILE; the encode's options and --json. Nothing is encoded, so no destination is taken.
StartRequest ReadEstimate(const ParsedOptions& parsed, const std::string& workingDirectory);

/// The text of --help.
std::string HelpText();

}  // namespace vexlo::app
