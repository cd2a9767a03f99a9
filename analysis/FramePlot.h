#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "analysis/FrameParser.h"

// The picture of the frames as a model: frames, GOPs, bit rate and the summary line.

namespace vexlo::analysis {

/// One video frame as the picture of the frames shows it.
struct PlotFrame {
  double time = 0;        // seconds: the frame's presentation time from the source's timestamps
  std::int32_t size = 0;  // bytes of the frame's packet
  char type = 0;          // picture type letter: I, P, B or another
  bool key = false;       // a key frame
};

/// Gathers the video frames of a prober's frame report as the frame parser completes them. A
/// frame without a timestamp ("N/A") is placed one frame duration after the frame before it.
class PlotFrameCollector {
 public:
  /// A video frame is complete: its record and the frame block it came from.
  void Add(const FrameRecord& record, const FrameInfo& info);
  /// The frames gathered so far, leaving the collector empty.
  std::vector<PlotFrame> Take() { return std::exchange(frames_, {}); }
  std::size_t count() const { return frames_.size(); }

 private:
  std::vector<PlotFrame> frames_;
};

/// The picture types, each with its own colour: I, P, B and any other letter.
enum class PlotKind { kI, kP, kB, kOther };
inline constexpr int kPlotKinds = 4;
PlotKind KindOf(char pictType);

/// The figures of the summary line.
struct PlotSummary {
  std::int64_t frames = 0;
  std::int64_t keyFrames = 0;
  std::int64_t gops = 0;         // closed GOPs: from one key frame to the next
  std::int64_t shortestGop = 0;  // frames; 0 without a closed GOP
  std::int64_t longestGop = 0;
  double averageGop = 0;
  double duration = 0;     // seconds, from the first frame to the end of the last
  double averageKbps = 0;  // every frame's bits over the duration
  double peakKbps = 0;     // the fullest one-second window
  double peakTime = 0;     // the end of that window, seconds
};

/// "250 frames, 10 key frames, GOP shortest 25, longest 25, average 25.0 frames, bit rate
/// average 95.3 kbit/s, peak 131.2 kbit/s at 4.96 s" (one line).
std::string SummaryLine(const PlotSummary& summary);

/// A mark on an axis: where it is along the axis in pixels, and its label.
struct PlotTick {
  double at = 0;
  std::string label;
};

/// A bar from the plot's base line up to `top`, from `x` to `x + width` (pixels).
struct PlotBar {
  double x = 0;
  double width = 0;
  double top = 0;
};

/// The part of the file to draw and the picture's size in pixels.
struct PlotView {
  int width = 1600;
  int height = 600;
  double from = 0;  // seconds; when `to` is not after `from`, the whole file is drawn
  double to = 0;
};

/// A picture in pixels (y grows downwards), ready to be written or painted: no window code.
/// Frame sizes are bars on the left axis, the bit rate a line on the right axis, and the key
/// frames marks in a lane above the plot with the GOP lengths between them.
struct PlotPicture {
  int width = 0;
  int height = 0;
  double left = 0, top = 0, right = 0, bottom = 0;  // the plot area
  double laneTop = 0, laneBottom = 0;               // the key-frame lane
  double from = 0, to = 0;                          // the time range drawn, seconds
  /// More frames than pixel columns: each bar is the largest frame of its type in its column,
  /// and the bit-rate line takes each column's highest value.
  bool binned = false;
  std::array<std::vector<PlotBar>, kPlotKinds> bars;      // by PlotKind
  std::vector<std::pair<double, double>> bitRate;         // the line's points (x, y)
  std::vector<double> keyMarks;                           // x of each key frame in view
  std::vector<PlotTick> gopLabels;                        // GOP lengths centred between marks
  std::vector<PlotTick> timeTicks, sizeTicks, rateTicks;  // x; y; y
  std::string timeCaption, sizeCaption, rateCaption;
  std::string title;
  std::string summary;
};

/// The picture of a file's video frames: the frames, the bit rate over a sliding one-second
/// window ending at each frame, the GOP lengths and the summary, computed once; Draw lays out
/// any part of it at any size. Immutable after construction, so any thread may draw it.
class FramePlot {
 public:
  /// Frames in the order the prober reports them (presentation order); a time earlier than the
  /// one before it is taken as that one, so that time never runs backwards.
  FramePlot(std::vector<PlotFrame> frames, std::string title);

  const std::vector<PlotFrame>& frames() const { return frames_; }
  /// kbit/s of the one-second window (t - 1 s, t] at each frame's time t.
  const std::vector<double>& windowKbps() const { return windowKbps_; }
  const PlotSummary& summary() const { return summary_; }
  const std::string& title() const { return title_; }
  double startTime() const { return start_; }
  double endTime() const { return end_; }

  PlotPicture Draw(const PlotView& view) const;

 private:
  void ComputeWindows();
  void ComputeSummary();

  std::vector<PlotFrame> frames_;
  std::vector<double> windowKbps_;
  PlotSummary summary_;
  std::string title_;
  double start_ = 0;
  double end_ = 0;
  double spacing_ = 0;  // the frames' average distance in time, seconds
};

/// The last component of a path: what the picture calls its file.
std::string FileNameOf(std::string_view path);

/// Readable values for an axis from 0 up to at least `high`: 0, step, 2 step... with a step of
/// 1, 2 or 5 times a power of ten, about `count` of them. At least two values.
std::vector<double> AxisValues(double high, int count);

}  // namespace vexlo::analysis
