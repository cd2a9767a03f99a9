#include "jobs/QualityMeasure.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <vector>

#include "analysis/FramePlot.h"
#include "encode/OptionTables.h"
#include "process/ToolRun.h"
#include "platform/FileOperations.h"
#include "platform/Paths.h"
#include "platform/SystemError.h"
#include "process/CommandLineBuilder.h"
#include "process/OutputLines.h"

namespace vexlo::jobs {

namespace {

std::optional<double> ReadNumber(std::string_view text) {
  double value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

std::optional<std::int64_t> ReadCount(std::string_view text) {
  std::int64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value < 0) return std::nullopt;
  return value;
}

// The words of a line after `marker`, split at blanks.
std::vector<std::string_view> WordsAfter(std::string_view line, std::size_t at) {
  std::vector<std::string_view> words;
  while (at < line.size()) {
    const std::size_t end = std::min(line.find(' ', at), line.size());
    if (end > at) words.push_back(line.substr(at, end - at));
    at = end + 1;
  }
  return words;
}

// "NAME:VALUE" of a summary word; false for any other word (the ssim filter's "(17.6)").
bool NamedValue(std::string_view word, std::string_view& name, std::optional<double>& value) {
  const std::size_t colon = word.find(':');
  if (colon == 0 || colon == std::string_view::npos) return false;
  name = word.substr(0, colon);
  value = ReadNumber(word.substr(colon + 1));
  return true;
}

// What the summary lines have given so far.
struct Readings {
  std::optional<double> all;
  std::vector<double> components;  // Y, U, V (or R, G, B) in the filter's order
  std::optional<double> psnr;
  std::optional<std::int64_t> counts[2];  // frames of output 0 (measured) and 1 (the source)
};

void ReadLine(std::string_view line, Readings& readings) {
  constexpr std::string_view kSsim = "] SSIM ";
  constexpr std::string_view kPsnr = "] PSNR ";
  constexpr std::string_view kCount = "Output stream #";
  if (const std::size_t at = line.find(kSsim); at != line.npos) {
    readings.components.clear();
    for (std::string_view word : WordsAfter(line, at + kSsim.size())) {
      std::string_view name;
      std::optional<double> value;
      if (!NamedValue(word, name, value) || !value) continue;
      if (name == "All") {
        readings.all = value;
      } else {
        readings.components.push_back(*value);
      }
    }
  } else if (const std::size_t at = line.find(kPsnr); at != line.npos) {
    for (std::string_view word : WordsAfter(line, at + kPsnr.size())) {
      std::string_view name;
      std::optional<double> value;
      if (NamedValue(word, name, value) && name == "average") readings.psnr = value;
    }
  } else if (const std::size_t at = line.find(kCount); at != line.npos) {
    // "Output stream #1:0 (video): 80 frames encoded; 80 packets muxed (37760 bytes); "
    const std::vector<std::string_view> words = WordsAfter(line, at + kCount.size());
    if (words.size() < 4 || words[1] != "(video):" || words[3] != "frames") return;
    const std::optional<std::int64_t> count = ReadCount(words[2]);
    if (words[0] == "0:0") readings.counts[0] = count;
    if (words[0] == "1:0") readings.counts[1] = count;
  }
}

std::string Quoted(const std::string& path) {
  return "\"" + path + "\"";
}

// Why the file cannot be read as the measurement's `role` ("source", "output"), or nothing.
std::optional<std::string> FileProblem(const std::string& path, const std::string& given,
                                       std::string_view role) {
  const std::string name = std::string(role) + " " + Quoted(given);
  const platform::PathInfo info = platform::LookAt(path);
  if (info.kind == platform::PathKind::kMissing) {
    return "cannot read the " + name + ": " + platform::ErrorText(info.error);
  }
  if (info.kind == platform::PathKind::kFolder) return "the " + name + " is a folder, not a file";
  if (const int error = platform::CanRead(path)) {
    return "cannot read the " + name + ": " + platform::ErrorText(error);
  }
  if (!platform::PathIsSafeForCommandLine(path)) {
    return "the " + name +
           " cannot be given to a tool (a double quote, or a name FFmpeg reads "
           "as a protocol)";
  }
  return std::nullopt;
}

// Runs one tool, keeping its output in `text`: the whole of it, or, should a damaged file make
// the tool complain on every frame, its last few megabytes, where the closing figures are.
process::ToolEnd RunKeeping(const std::string& commandLine, const std::string& directory,
                   const platform::UniqueFd& stop, std::string& text) {
  constexpr std::size_t kKept = 8 << 20;
  return process::RunTool(
      commandLine, directory,
      [&text](std::string_view line) {
        if (text.size() > kKept) text.erase(0, text.find('\n', kKept / 2) + 1);
        text.append(line).push_back('\n');
        return false;
      },
      stop);
}

// The prober's report of the file's first video stream.
process::ToolEnd ProbeShape(const QualityRequest& request, const std::string& path,
                   const platform::UniqueFd& stop, std::optional<VideoShape>& shape) {
  const std::string commandLine =
      process::CommandLineBuilder(request.programDir, process::kProberTool)
          .Add(
              " -v error -select_streams v:0 -show_entries "
              "stream=width,height,pix_fmt,avg_frame_rate,r_frame_rate "
              "-of default=noprint_wrappers=1 ")
          .AddQuoted(path)
          .Text();
  std::string text;
  const process::ToolEnd end = RunKeeping(commandLine, request.programDir, stop, text);
  shape = ParseVideoShape(text);
  return end;
}

}  // namespace

std::optional<QualityFigures> ParseQualityReport(std::string_view toolOutput) {
  Readings readings;
  process::ForEachLine(toolOutput, [&readings](std::string_view line) { ReadLine(line, readings); });
  if (!readings.all || readings.components.size() < 3 || !readings.psnr || !readings.counts[0] ||
      !readings.counts[1]) {
    return std::nullopt;
  }
  QualityFigures figures{*readings.all,          readings.components[0], readings.components[1],
                         readings.components[2], *readings.psnr,         *readings.counts[0],
                         *readings.counts[1]};
  for (double ssim : {figures.ssim, figures.ssimY, figures.ssimU, figures.ssimV}) {
    if (!std::isfinite(ssim)) return std::nullopt;
  }
  if (std::isnan(figures.psnr)) return std::nullopt;
  return figures;
}

std::optional<VideoShape> ParseVideoShape(std::string_view probeOutput) {
  VideoShape shape;
  std::string average;
  std::string base;
  process::ForEachLine(probeOutput, [&](std::string_view line) {
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) return;
    const std::string_view key = line.substr(0, equals);
    const std::string_view value = line.substr(equals + 1);
    const auto size = [&value](int& field) {
      const std::optional<std::int64_t> count = ReadCount(value);
      if (count && *count > 0 && *count <= 1 << 16) field = static_cast<int>(*count);
    };
    if (key == "width") size(shape.width);
    if (key == "height") size(shape.height);
    if (key == "pix_fmt" && value != "unknown") shape.pixelFormat = value;
    if (key == "avg_frame_rate") average = value;
    if (key == "r_frame_rate") base = value;
  });
  // A fraction of two positive counts; "0/0" and "N/A" are no rate.
  const auto isRate = [](std::string_view rate) {
    const std::size_t slash = rate.find('/');
    if (slash == std::string_view::npos) return false;
    const auto top = ReadCount(rate.substr(0, slash));
    const auto bottom = ReadCount(rate.substr(slash + 1));
    return top && bottom && *top > 0 && *bottom > 0;
  };
  shape.frameRate = isRate(average) ? average : isRate(base) ? base : "";
  for (char c : shape.pixelFormat) {
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_') shape.pixelFormat.clear();
  }
  if (shape.width == 0 || shape.height == 0 || shape.pixelFormat.empty()) return std::nullopt;
  return shape;
}

bool IsRawVideoStream(std::string_view path) {
  const std::size_t dot = platform::ExtensionDot(path);
  if (dot == std::string_view::npos) return false;
  std::string extension(path.substr(dot));
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return extension == ".h264" || extension == ".h265";
}

ComparedRates ReadComparedRates(std::string_view toolOutput) {
  ComparedRates rates;
  std::string* wanted = nullptr;  // the rate of the section being read, until its Video: line
  process::ForEachLine(toolOutput, [&](std::string_view line) {
    if (line.starts_with("Input #") || line.starts_with("Output #")) {
      wanted = line.starts_with("Input #1,") ? &rates.output
               : line.starts_with("Output #1,") ? &rates.source
                                                 : nullptr;
      return;
    }
    if (wanted == nullptr || line.find(": Video: ") == std::string_view::npos) return;
    // "  Stream #1:0[0x1](und): Video: h264 (High), yuv420p(progressive), 640x480, 25 fps, ..."
    const std::size_t unit = line.find(" fps,");
    const std::size_t comma = line.rfind(", ", unit);
    if (unit != std::string_view::npos && comma != std::string_view::npos) {
      *wanted = line.substr(comma + 2, unit - comma - 2);
    }
    wanted = nullptr;
  });
  return rates;
}

std::string QualityCommandLine(const QualityRequest& request, std::string_view rate) {
  // Both sides start at 0 in one time base, so ssim and psnr pair the frames by their times; a
  // raw stream's times are the demuxer's guess, so its frames and the source's are numbered.
  const std::string fromZero = IsRawVideoStream(request.outputPath)
                                   ? "settb=AVTB,setpts=N"
                                   : "settb=AVTB,setpts=PTS-STARTPTS";
  std::string source = "[0:v]";
  if (request.deinterlace) source += "yadif,";
  if (!rate.empty()) source += "fps=fps=" + std::string(rate) + ",";
  const std::string graph = source + fromZero + "[source];[1:v]" + fromZero + "[output];" +
                            "[source][output]scale2ref[scaled][dist];" +
                            "[scaled]split=3[ref1][ref2][counted];" +
                            "[dist][ref1]ssim=shortest=1[checked];" +
                            "[checked][ref2]psnr=shortest=1[measured]";
  process::CommandLineBuilder line(request.programDir);
  line.Add(" -hide_banner -nostdin -nostats -v verbose -i ").AddQuoted(request.sourcePath);
  line.Add(" -i ").AddQuoted(request.outputPath);
  line.Add(" -filter_complex ").AddQuoted(graph);
  line.Add(" -map [measured] -f null - -map [counted] -f null -");
  return line.Text();
}

QualityResult MeasureQuality(const QualityRequest& request, const platform::UniqueFd& stop) {
  QualityResult result;
  const auto fail = [&result](std::string why) {
    result.failure = std::move(why);
    return result;
  };
  if (auto problem = FileProblem(request.sourcePath, request.source, "source")) {
    return fail(*problem);
  }
  if (auto problem = FileProblem(request.outputPath, request.output, "output")) {
    return fail(*problem);
  }
  // The rate the encode used: the forced one, else the source's own. One run, no prober, when
  // that holds: ffmpeg.bin reads both files' shapes itself.
  const bool raw = IsRawVideoStream(request.outputPath);
  const std::string forced(encode::tables::FrameRate(request.fps));
  std::string text;
  process::ToolEnd end = RunKeeping(
      QualityCommandLine(request, forced.empty() ? "source_fps" : forced), request.programDir,
      stop, text);
  if (end.outcome == process::JobOutcome::kCancelled) return result.stopped = true, result;
  if (end.finished()) {
    const ComparedRates rates = ReadComparedRates(text);
    result.figures = ParseQualityReport(text);
    if (result.figures && result.figures->frames > 0 &&
        (raw || (!rates.output.empty() && rates.output == rates.source))) {
      return result;
    }
    result.figures.reset();
  }
  // The run failed, or the output is at another rate than the one the source was brought to (an
  // encode that changed it without --fps saying so): the prober's shape of the output decides.
  std::optional<VideoShape> shape;
  end = ProbeShape(request, request.outputPath, stop, shape);
  if (end.outcome == process::JobOutcome::kCancelled) return result.stopped = true, result;
  if (!end.finished()) {
    return fail("cannot read the output " + Quoted(request.output) + ": " + end.ReasonText());
  }
  if (!shape) return fail("the output " + Quoted(request.output) + " has no video stream");
  std::string rate = shape->frameRate;
  if (raw) {
    // A raw stream's own rate is a guess: it was written at the forced rate, else the source's.
    rate = forced;
    if (rate.empty()) {
      std::optional<VideoShape> source;
      end = ProbeShape(request, request.sourcePath, stop, source);
      if (end.outcome == process::JobOutcome::kCancelled) return result.stopped = true, result;
      if (!end.finished() || !source) {
        return fail("the source " + Quoted(request.source) + " has no video stream");
      }
      rate = source->frameRate;
    }
  }
  text.clear();
  end = RunKeeping(QualityCommandLine(request, rate), request.programDir, stop, text);
  if (end.outcome == process::JobOutcome::kCancelled) return result.stopped = true, result;
  if (!end.finished()) return fail("the measurement failed: " + end.ReasonText());
  result.figures = ParseQualityReport(text);
  if (!result.figures) return fail("ffmpeg.bin gave no SSIM and PSNR figures");
  if (result.figures->frames == 0) {
    result.figures.reset();
    return fail("no frame of the output could be compared with the source");
  }
  return result;
}

}  // namespace vexlo::jobs
