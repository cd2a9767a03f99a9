#include "analysis/PlotSvg.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace vexlo::analysis {

namespace {

// The main window's dark scheme (res/ColorScheme): the dialog's grey around the plot, the
// edits' darker grey behind it, its near-white text and its disabled grey for captions.
constexpr const char* kDialogGrey = "#414141";
constexpr const char* kPlotGrey = "#282828";
constexpr const char* kLaneGrey = "#333333";
constexpr const char* kGridGrey = "#4a4a4a";
constexpr const char* kText = "#f5f5f5";
constexpr const char* kCaption = "#969696";
constexpr const char* kRateYellow = "#ffd54f";
// By PlotKind: I, P, B, other.
constexpr std::array<const char*, kPlotKinds> kKindColours = {"#ff6b5b", "#4fa3ff", "#7ccf6b",
                                                              "#c39bff"};
constexpr std::array<const char*, kPlotKinds> kKindNames = {"I", "P", "B", "other"};

// Appends printf-style text; one coordinate is at most a few dozen characters.
template <typename... Args>
void Add(std::string& out, const char* format, Args... args) {
  char text[256];
  const int length = std::snprintf(text, sizeof text, format, args...);
  if (length > 0)
    out.append(text, std::min<std::size_t>(static_cast<std::size_t>(length), sizeof text - 1));
}

// The length of the UTF-8 sequence at the start of `text`, or 0 when it is not one.
std::size_t Utf8Length(std::string_view text) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(0);
  std::size_t length = lead < 0x80                   ? 1
                       : lead >= 0xC2 && lead < 0xE0 ? 2
                       : lead >= 0xE0 && lead < 0xF0 ? 3
                       : lead >= 0xF0 && lead < 0xF5 ? 4
                                                     : 0;
  if (length == 0 || length > text.size()) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(i) & 0xC0) != 0x80) return 0;
  }
  // Overlong forms, surrogates and code points above U+10FFFF.
  if (length == 3 && ((lead == 0xE0 && byte(1) < 0xA0) || (lead == 0xED && byte(1) >= 0xA0)))
    return 0;
  if (length == 4 && ((lead == 0xF0 && byte(1) < 0x90) || (lead == 0xF4 && byte(1) >= 0x90)))
    return 0;
  return length;
}

void Text(std::string& out, double x, double y, const char* anchor, const char* colour,
          std::string_view text) {
  Add(out, "<text x=\"%.1f\" y=\"%.1f\" text-anchor=\"%s\" fill=\"%s\">", x, y, anchor, colour);
  out += XmlText(text);
  out += "</text>\n";
}

void Background(std::string& out, const PlotPicture& p) {
  Add(out, "<rect width=\"%d\" height=\"%d\" fill=\"%s\"/>\n", p.width, p.height, kDialogGrey);
  Add(out, "<rect x=\"%.1f\" y=\"%.1f\" width=\"%.1f\" height=\"%.1f\" fill=\"%s\"/>\n", p.left,
      p.top, p.right - p.left, p.bottom - p.top, kPlotGrey);
  Add(out, "<rect x=\"%.1f\" y=\"%.1f\" width=\"%.1f\" height=\"%.1f\" fill=\"%s\"/>\n", p.left,
      p.laneTop, p.right - p.left, p.laneBottom - p.laneTop, kLaneGrey);
  out += "<path stroke=\"";
  out += kGridGrey;
  out += "\" stroke-width=\"1\" fill=\"none\" d=\"";
  for (const PlotTick& tick : p.sizeTicks) Add(out, "M%.1f %.1fH%.1f", p.left, tick.at, p.right);
  for (const PlotTick& tick : p.timeTicks) Add(out, "M%.1f %.1fV%.1f", tick.at, p.top, p.bottom);
  out += "\"/>\n";
}

void Series(std::string& out, const PlotPicture& p) {
  // No clip path (Qt's SVG renderer draws a clip path's shape as a shape): the model keeps every
  // bar, point and mark inside the plot area.
  for (std::size_t kind = 0; kind < kPlotKinds; ++kind) {
    Add(out, "<path id=\"frames-%s\" fill=\"%s\" d=\"", kKindNames[kind], kKindColours[kind]);
    for (const PlotBar& bar : p.bars[kind]) {
      Add(out, "M%.1f %.1fh%.2fV%.1fh%.2fz", bar.x, p.bottom, bar.width, bar.top, -bar.width);
    }
    out += "\"/>\n";
  }
  Add(out,
      "<polyline id=\"bitrate\" fill=\"none\" stroke=\"%s\" stroke-width=\"1.5\" "
      "stroke-linejoin=\"round\" points=\"",
      kRateYellow);
  for (const auto& [x, y] : p.bitRate) Add(out, "%.1f,%.1f ", x, y);
  out += "\"/>\n";
  Add(out, "<g id=\"keyframes\" stroke=\"%s\" stroke-width=\"1.5\">\n", kKindColours[0]);
  for (double x : p.keyMarks) {
    Add(out, "<line x1=\"%.1f\" y1=\"%.1f\" x2=\"%.1f\" y2=\"%.1f\"/>\n", x, p.laneBottom - 16, x,
        p.laneBottom);
  }
  out += "</g>\n<g id=\"gops\" font-size=\"11\">\n";
  for (const PlotTick& gop : p.gopLabels)
    Text(out, gop.at, p.laneTop + 11, "middle", kText, gop.label);
  out += "</g>\n";
}

void Axes(std::string& out, const PlotPicture& p) {
  for (const PlotTick& tick : p.sizeTicks)
    Text(out, p.left - 6, tick.at + 4, "end", kText, tick.label);
  for (const PlotTick& tick : p.rateTicks)
    Text(out, p.right + 6, tick.at + 4, "start", kRateYellow, tick.label);
  for (const PlotTick& tick : p.timeTicks)
    Text(out, tick.at, p.bottom + 16, "middle", kText, tick.label);
  Text(out, p.left - 6, p.laneBottom - 4, "end", kCaption, "key");
}

void Legend(std::string& out, const PlotPicture& p) {
  const double y = p.height - 9;
  double x = p.left;
  for (std::size_t kind = 0; kind < kPlotKinds; ++kind) {
    Add(out, "<rect x=\"%.1f\" y=\"%.1f\" width=\"10\" height=\"10\" fill=\"%s\"/>\n", x, y - 9,
        kKindColours[kind]);
    Text(out, x + 14, y, "start", kText, std::string(kKindNames[kind]) + " frames");
    x += kind + 1 < kPlotKinds ? 76 : 96;
  }
  Add(out, "<path stroke=\"%s\" stroke-width=\"2\" d=\"M%.1f %.1fh16\"/>\n", kRateYellow, x, y - 4);
  Text(out, x + 20, y, "start", kText, p.rateCaption + ", right axis");
  Text(out, p.right, y, "end", kCaption,
       p.sizeCaption + ", left axis" + (p.binned ? " (largest per pixel)" : "") + "; " +
           p.timeCaption);
}

}  // namespace

std::string XmlText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  while (!text.empty()) {
    const char c = text.front();
    const std::size_t length = Utf8Length(text);
    if (length == 0) {
      out += "\xEF\xBF\xBD";  // U+FFFD
      text.remove_prefix(1);
      continue;
    }
    if (length == 1) {
      switch (c) {
        case '&':
          out += "&amp;";
          break;
        case '<':
          out += "&lt;";
          break;
        case '>':
          out += "&gt;";
          break;
        case '"':
          out += "&quot;";
          break;
        case '\'':
          out += "&apos;";
          break;
        default:
          out += static_cast<unsigned char>(c) < 0x20 || c == 0x7f ? '?' : c;
      }
    } else {
      out.append(text.substr(0, length));
    }
    text.remove_prefix(length);
  }
  return out;
}

std::string PlotSvg(const PlotPicture& p) {
  std::string out;
  out.reserve(64 * 1024);
  out += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  Add(out,
      "<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\" width=\"%d\" height=\"%d\" "
      "viewBox=\"0 0 %d %d\" font-family=\"Liberation Sans, Arial, Helvetica, sans-serif\" "
      "font-size=\"12\">\n",
      p.width, p.height, p.width, p.height);
  out += "<title>Frames of " + XmlText(p.title) + "</title>\n";
  out += "<desc>" + XmlText(p.summary) + "</desc>\n";
  Background(out, p);
  Series(out, p);
  Axes(out, p);
  Legend(out, p);
  Add(out, "<text x=\"%.1f\" y=\"18\" fill=\"%s\"><tspan font-weight=\"bold\">", p.left, kText);
  out += XmlText(p.title) + "</tspan> \xC2\xB7 " + XmlText(p.summary) + "</text>\n";
  out += "</svg>\n";
  return out;
}

}  // namespace vexlo::analysis
