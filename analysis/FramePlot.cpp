#include "analysis/FramePlot.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <initializer_list>

#include "platform/Paths.h"

namespace vexlo::analysis {

namespace {

// The picture's margins in pixels: labels of frame sizes on the left, of the bit rate on the
// right, the title and the key-frame lane above, the time labels and the legend below.
constexpr double kLeftMargin = 64;
constexpr double kRightMargin = 72;
constexpr double kLaneTop = 30;
constexpr double kLaneHeight = 22;
constexpr double kTopMargin = kLaneTop + kLaneHeight + 4;
constexpr double kBottomMargin = 44;
constexpr int kMinimumWidth = 320;
constexpr int kMinimumHeight = 200;
// A one-second window closes at a frame whose time is a second after another's; times printed
// with six decimals must not leave that frame inside by a rounding error.
constexpr double kTimeEpsilon = 1e-7;

std::string Printed(const char* format, double value, int decimals = 0) {
  char text[64];
  std::snprintf(text, sizeof text, format, decimals, value);
  return text;
}

// Decimals that a value on a grid of `step` needs: 0 for 5, 1 for 0.5, 2 for 0.05.
int DecimalsOf(double step) {
  if (step >= 1) return 0;
  return std::min(3, static_cast<int>(std::ceil(-std::log10(step) - 1e-9)));
}

// 1, 2 or 5 times a power of ten, the smallest such at or above `raw`.
double NiceStep(double raw) {
  if (!(raw > 0)) return 1;
  const double power = std::pow(10.0, std::floor(std::log10(raw)));
  for (double factor : {1.0, 2.0, 5.0, 10.0}) {
    if (factor * power >= raw * (1 - 1e-9)) return factor * power;
  }
  return 10 * power;
}

// Steps of time: decimal below a second, then seconds, minutes and hours a clock shows.
double TimeStep(double raw) {
  if (raw < 1) return NiceStep(raw);
  for (double step : {1, 2, 5, 10, 15, 30, 60, 120, 300, 600, 900, 1800, 3600}) {
    if (step >= raw) return step;
  }
  return 3600 * NiceStep(raw / 3600);
}

// How a time axis labels its ticks.
enum class TimeFormat { kSeconds, kMinutes, kHours };

// A time as seconds ("12.5"), as minutes ("1:05") or as hours ("0:01:05", "1:02:03").
std::string TimeLabel(double seconds, double step, TimeFormat format) {
  if (format == TimeFormat::kSeconds) return Printed("%.*f", seconds, DecimalsOf(step));
  const auto whole = static_cast<long long>(std::llround(seconds));
  char text[48];
  if (format == TimeFormat::kHours) {
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", whole / 3600, whole / 60 % 60,
                  whole % 60);
  } else {
    std::snprintf(text, sizeof text, "%lld:%02lld", whole / 60, whole % 60);
  }
  return text;
}

// Labels of an axis in one unit, chosen by its top value: `units` from the smallest, each
// `factor` times the one before.
struct ScaledAxis {
  std::vector<PlotTick> ticks;
  std::string unit;
};

ScaledAxis ValueTicks(const std::vector<double>& values, double bottom, double top,
                      std::initializer_list<const char*> units, double factor) {
  const double high = values.back();
  double scale = 1;
  const char* unit = *units.begin();
  for (auto it = units.begin(); high >= scale * factor * 10 && it + 1 != units.end();) {
    unit = *++it;
    scale *= factor;
  }
  ScaledAxis axis{{}, unit};
  const int decimals = DecimalsOf((values[1] - values[0]) / scale);
  for (double value : values) {
    axis.ticks.push_back(
        {bottom - (bottom - top) * value / high, Printed("%.*f", value / scale, decimals)});
  }
  return axis;
}

}  // namespace

PlotKind KindOf(char pictType) {
  switch (pictType) {
    case 'I':
      return PlotKind::kI;
    case 'P':
      return PlotKind::kP;
    case 'B':
      return PlotKind::kB;
    default:
      return PlotKind::kOther;
  }
}

void PlotFrameCollector::Add(const FrameRecord& record, const FrameInfo& info) {
  double time = info.time;
  if (!info.hasTime) time = frames_.empty() ? 0 : frames_.back().time + info.frameDuration;
  frames_.push_back({time, record.size, record.pictType, record.keyFrame != 0});
}

std::string FileNameOf(std::string_view path) {
  const std::size_t slash = path.find_last_of(platform::kPathSeparator == '/' ? "/" : "/\\:");
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::vector<double> AxisValues(double high, int count) {
  const double step = NiceStep(high > 0 ? high / std::max(1, count) : 1);
  std::vector<double> values{0};
  do {
    values.push_back(values.back() + step);
  } while (values.back() < high * (1 - 1e-9));
  return values;
}

std::string SummaryLine(const PlotSummary& s) {
  std::string line =
      std::to_string(s.frames) + " frames, " + std::to_string(s.keyFrames) + " key frames, GOP ";
  if (s.gops == 0) {
    line += "not closed (fewer than two key frames)";
  } else {
    line += "shortest " + std::to_string(s.shortestGop) + ", longest " +
            std::to_string(s.longestGop) + ", average " + Printed("%.*f", s.averageGop, 1) +
            " frames";
  }
  line += ", bit rate average " + Printed("%.*f", s.averageKbps, 1) + " kbit/s, peak " +
          Printed("%.*f", s.peakKbps, 1) + " kbit/s at " + Printed("%.*f", s.peakTime, 2) + " s";
  return line;
}

FramePlot::FramePlot(std::vector<PlotFrame> frames, std::string title)
    : frames_(std::move(frames)), title_(std::move(title)) {
  for (std::size_t i = 1; i < frames_.size(); ++i) {
    frames_[i].time = std::max(frames_[i].time, frames_[i - 1].time);
  }
  if (!frames_.empty()) {
    start_ = frames_.front().time;
    const double span = frames_.back().time - start_;
    spacing_ = frames_.size() > 1 && span > 0 ? span / static_cast<double>(frames_.size() - 1)
                                              : 1.0 / 25;  // a lone frame: a 25th of a second
    end_ = frames_.back().time + spacing_;
  }
  ComputeWindows();
  ComputeSummary();
}

void FramePlot::ComputeWindows() {
  windowKbps_.resize(frames_.size());
  double bytes = 0;
  std::size_t oldest = 0;
  for (std::size_t i = 0; i < frames_.size(); ++i) {
    bytes += frames_[i].size;
    while (frames_[oldest].time <= frames_[i].time - 1 + kTimeEpsilon)
      bytes -= frames_[oldest++].size;
    windowKbps_[i] = bytes * 8 / 1000;
  }
}

void FramePlot::ComputeSummary() {
  PlotSummary& s = summary_;
  s.frames = static_cast<std::int64_t>(frames_.size());
  double bytes = 0;
  std::int64_t firstKey = -1, lastKey = -1;
  for (std::size_t i = 0; i < frames_.size(); ++i) {
    bytes += frames_[i].size;
    if (windowKbps_[i] > s.peakKbps) {
      s.peakKbps = windowKbps_[i];
      s.peakTime = frames_[i].time;
    }
    if (!frames_[i].key) continue;
    ++s.keyFrames;
    const auto index = static_cast<std::int64_t>(i);
    if (lastKey >= 0) {
      const std::int64_t gop = index - lastKey;
      s.shortestGop = s.gops == 0 ? gop : std::min(s.shortestGop, gop);
      s.longestGop = std::max(s.longestGop, gop);
      ++s.gops;
    } else {
      firstKey = index;
    }
    lastKey = index;
  }
  if (s.gops > 0)
    s.averageGop = static_cast<double>(lastKey - firstKey) / static_cast<double>(s.gops);
  s.duration = end_ - start_;
  if (s.duration > 0) s.averageKbps = bytes * 8 / 1000 / s.duration;
}

PlotPicture FramePlot::Draw(const PlotView& view) const {
  PlotPicture p;
  p.width = std::max(view.width, kMinimumWidth);
  p.height = std::max(view.height, kMinimumHeight);
  p.left = kLeftMargin;
  p.right = p.width - kRightMargin;
  p.laneTop = kLaneTop;
  p.laneBottom = kLaneTop + kLaneHeight;
  p.top = kTopMargin;
  p.bottom = p.height - kBottomMargin;
  p.from = view.to > view.from ? view.from : start_;
  p.to = view.to > view.from ? view.to : end_;
  if (!(p.to > p.from)) p.to = p.from + 1;  // no frames
  p.title = title_;
  p.summary = SummaryLine(summary_);
  const double plotWidth = p.right - p.left;
  const double scale = plotWidth / (p.to - p.from);
  const auto x = [&](double time) { return p.left + (time - p.from) * scale; };

  const auto byTime = [](const PlotFrame& frame, double time) { return frame.time < time; };
  const auto first = static_cast<std::size_t>(
      std::lower_bound(frames_.begin(), frames_.end(), p.from, byTime) - frames_.begin());
  const auto last = static_cast<std::size_t>(
      std::lower_bound(frames_.begin(), frames_.end(), p.to, byTime) - frames_.begin());
  const auto columns = static_cast<std::size_t>(plotWidth);
  p.binned = last - first > columns;

  double sizeHigh = 0, rateHigh = 0;
  for (std::size_t i = first; i < last; ++i) {
    sizeHigh = std::max(sizeHigh, static_cast<double>(frames_[i].size));
    rateHigh = std::max(rateHigh, windowKbps_[i]);
  }
  const std::vector<double> sizes = AxisValues(sizeHigh, 5), rates = AxisValues(rateHigh, 5);
  const auto sizeY = [&](double bytes) {
    return p.bottom - (p.bottom - p.top) * bytes / sizes.back();
  };
  const auto rateY = [&](double kbps) {
    return p.bottom - (p.bottom - p.top) * kbps / rates.back();
  };

  // A frame's bar stands where its time begins; a bin is a pixel column.
  const double barWidth = p.binned ? 1 : std::max(1.0, spacing_ * scale * 0.8);
  std::array<std::vector<std::int32_t>, kPlotKinds> largest;
  std::vector<double> highestRate;
  if (p.binned) {
    for (auto& column : largest) column.assign(columns, -1);
    highestRate.assign(columns, -1);
  }
  double lastKeyColumn = -1;
  for (std::size_t i = first; i < last; ++i) {
    const PlotFrame& frame = frames_[i];
    const auto kind = static_cast<std::size_t>(KindOf(frame.type));
    double at = x(frame.time);
    if (p.binned) {
      const std::size_t column = std::min(columns - 1, static_cast<std::size_t>(at - p.left));
      largest[kind][column] = std::max(largest[kind][column], frame.size);
      highestRate[column] = std::max(highestRate[column], windowKbps_[i]);
      at = p.left + static_cast<double>(column) + 0.5;
      // Key frames that share a pixel column are one mark.
      if (frame.key && at != lastKeyColumn) p.keyMarks.push_back(lastKeyColumn = at);
    } else {
      p.bars[kind].push_back({at, std::min(barWidth, p.right - at), sizeY(frame.size)});
      p.bitRate.emplace_back(at + barWidth / 2, rateY(windowKbps_[i]));
      if (frame.key) p.keyMarks.push_back(at + barWidth / 2);
    }
  }
  for (std::size_t column = 0; p.binned && column < columns; ++column) {
    const double at = p.left + static_cast<double>(column);
    for (std::size_t kind = 0; kind < kPlotKinds; ++kind) {
      if (largest[kind][column] >= 0) p.bars[kind].push_back({at, 1, sizeY(largest[kind][column])});
    }
    if (highestRate[column] >= 0) p.bitRate.emplace_back(at + 0.5, rateY(highestRate[column]));
  }

  // GOP lengths between two key frames in view, where the number fits between their marks.
  std::size_t previousKey = last;
  for (std::size_t i = first; i < last; ++i) {
    if (!frames_[i].key) continue;
    if (previousKey != last) {
      const std::string label = std::to_string(i - previousKey);
      const double left = x(frames_[previousKey].time), right = x(frames_[i].time);
      const double room = 7.0 * static_cast<double>(label.size()) + 8;
      if (right - left >= room) p.gopLabels.push_back({(left + right) / 2 + barWidth / 2, label});
    }
    previousKey = i;
  }

  const double span = p.to - p.from;
  const double timeStep = TimeStep(span / std::max(2.0, plotWidth / 110));
  // Seconds below a minute of range, else a clock, with hours when the view reaches one.
  const TimeFormat format = span < 60     ? TimeFormat::kSeconds
                            : p.to < 3600 ? TimeFormat::kMinutes
                                          : TimeFormat::kHours;
  p.timeCaption = format == TimeFormat::kSeconds   ? "time (s)"
                  : format == TimeFormat::kMinutes ? "time (m:ss)"
                                                   : "time (h:mm:ss)";
  for (double t = std::max(0.0, std::ceil(p.from / timeStep - 1e-9)) * timeStep; t <= p.to + 1e-9;
       t += timeStep) {
    p.timeTicks.push_back({x(t), TimeLabel(t + 0.0, timeStep, format)});
  }
  ScaledAxis sizeAxis = ValueTicks(sizes, p.bottom, p.top, {"bytes", "kB", "MB"}, 1000);
  ScaledAxis rateAxis = ValueTicks(rates, p.bottom, p.top, {"kbit/s", "Mbit/s"}, 1000);
  p.sizeTicks = std::move(sizeAxis.ticks);
  p.rateTicks = std::move(rateAxis.ticks);
  p.sizeCaption = "frame size (" + sizeAxis.unit + ")";
  p.rateCaption = "bit rate over 1 s (" + rateAxis.unit + ")";
  return p;
}

}  // namespace vexlo::analysis
