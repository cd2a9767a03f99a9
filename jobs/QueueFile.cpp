#include "jobs/QueueFile.h"

#include <nlohmann/json.hpp>

#include "jobs/QualityJson.h"

#include <climits>
#include <cmath>
#include <cstdint>
#include <stdexcept>

namespace vexlo::jobs {

namespace {

using nlohmann::json;

constexpr int kFormat = 1;

bool IsUtf8(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const std::size_t length = lead < 0x80         ? 1
                               : (lead >> 5) == 6  ? 2
                               : (lead >> 4) == 14 ? 3
                               : (lead >> 3) == 30 ? 4
                                                   : 0;
    if (length == 0 || i + length > text.size()) return false;
    std::uint32_t code = length == 1 ? lead : lead & (0x7F >> length);
    for (std::size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      code = (code << 6) | (next & 0x3F);
    }
    // Overlong forms, surrogates and code points past U+10FFFF are no UTF-8.
    constexpr std::uint32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < kLeast[length] || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) {
      return false;
    }
    i += length;
  }
  return true;
}

json PathValue(const std::string& path) {
  if (IsUtf8(path)) return path;
  json bytes = json::array();
  for (const char c : path) bytes.push_back(static_cast<unsigned char>(c));
  return bytes;
}

// The numbers of a file edited by hand are taken only as the writer writes them: a whole
// number within its type's range, a finite number of seconds. Any other number (a byte of 300,
// a setting of 1e20 or 2.5, an overflowing 1e400) refuses the file, as a field of another type
// does; converted as it stands, it would be undefined behaviour or a different value.
std::int64_t WholeFrom(const json& value, std::int64_t least, std::int64_t most) {
  if (value.is_number_unsigned()) {
    const auto number = value.get<std::uint64_t>();
    if (number <= static_cast<std::uint64_t>(most)) return static_cast<std::int64_t>(number);
  } else if (value.is_number_integer()) {
    const auto number = value.get<std::int64_t>();
    if (number >= least && number <= most) return number;
  }
  throw std::invalid_argument("whole number");
}

int IntFrom(const json& value) {
  return static_cast<int>(WholeFrom(value, INT_MIN, INT_MAX));
}

double SecondsFrom(const json& value) {
  if (!value.is_number() || !std::isfinite(value.get<double>())) {
    throw std::invalid_argument("seconds");
  }
  return value.get<double>();
}

std::string PathFrom(const json& value) {
  if (value.is_string()) return value.get<std::string>();
  if (!value.is_array()) throw std::invalid_argument("path");
  std::string path;
  for (const json& byte : value) path += static_cast<char>(WholeFrom(byte, 0, 255));
  return path;
}

json SettingsValue(const encode::EncoderSettings& settings) {
  json value = {{"type", settings.outType},
          {"gpu", settings.gpuType},
          {"profile", settings.profile},
          {"crf", settings.crf},
          {"fps", settings.fps},
          {"resize", settings.resize},
          {"deinterlace", settings.deinterlace},
          {"short_gop", settings.shortGop},
          {"report", settings.useReport}};
  // A target SSIM stands in for the CRF; a queue without one reads as it always did.
  if (settings.targetSsim > 0) value["target_ssim"] = settings.targetSsim;
  return value;
}

encode::EncoderSettings SettingsFrom(const json& value) {
  encode::EncoderSettings settings;
  settings.outType = IntFrom(value.at("type"));
  settings.gpuType = IntFrom(value.at("gpu"));
  settings.profile = IntFrom(value.at("profile"));
  settings.crf = IntFrom(value.at("crf"));
  settings.fps = IntFrom(value.at("fps"));
  settings.resize = IntFrom(value.at("resize"));
  settings.deinterlace = value.at("deinterlace").get<bool>();
  settings.shortGop = value.at("short_gop").get<bool>();
  settings.useReport = value.at("report").get<bool>();
  if (value.contains("target_ssim")) {
    const double target = value.at("target_ssim").get<double>();
    if (!(target > 0 && target < 1)) throw std::invalid_argument("target_ssim");
    settings.targetSsim = target;
  }
  return settings;
}

json ItemValue(const QueueItem& item) {
  json value = {
      {"source", PathValue(item.source)},       {"output", PathValue(item.output)},
      {"state", StateWord(item.state)},         {"reason", PathValue(item.reason)},
      {"elapsed", item.elapsedSeconds},         {"duration", nullptr},
      {"temporary", PathValue(item.temporary)}, {"settings", SettingsValue(item.settings)}};
  if (item.durationSeconds) value["duration"] = *item.durationSeconds;
  if (item.quality) AddQualityMembers(value["quality"], *item.quality);
  return value;
}

QueueItem ItemFrom(const json& value) {
  QueueItem item;
  item.source = PathFrom(value.at("source"));
  item.output = PathFrom(value.at("output"));
  const auto state = StateFromWord(value.at("state").get<std::string>());
  if (!state) throw std::invalid_argument("state");
  item.state = *state;
  item.reason = PathFrom(value.at("reason"));
  item.elapsedSeconds = SecondsFrom(value.at("elapsed"));
  if (const json& duration = value.at("duration"); !duration.is_null()) {
    item.durationSeconds = SecondsFrom(duration);
  }
  item.temporary = PathFrom(value.at("temporary"));
  item.settings = SettingsFrom(value.at("settings"));
  if (item.state == ItemState::kDone) item.percent = 100;
  // A measurement that does not read is left out: the item itself stands.
  if (item.state == ItemState::kDone && value.contains("quality")) {
    item.quality = QualityFromMembers(value.at("quality"));
  }
  return item;
}

}  // namespace

std::string QueueToJson(const std::vector<QueueItem>& items, const QueueOptions& options) {
  json list = json::array();
  for (const QueueItem& item : items) list.push_back(ItemValue(item));
  json queue = {{"vexlo_queue", kFormat},
                {"output_folder", PathValue(options.outputFolder)},
                {"existing", options.existing == ExistingOutput::kOverwrite ? "overwrite" : "skip"},
                {"items", std::move(list)}};
  // Written only when not as a queue without them reads, so such a queue's file stays as it was.
  if (options.atOnce != 1)
    queue["at_once"] = options.atOnce == 0 ? json("auto") : json(options.atOnce);
  if (options.lowPriority) queue["low_priority"] = true;
  if (options.targetSsim > 0) queue["target_ssim"] = options.targetSsim;
  return queue.dump(1) + "\n";
}

std::optional<SavedQueue> QueueFromJson(std::string_view text) {
  const json queue = json::parse(text, nullptr, false);
  if (queue.is_discarded() || !queue.is_object()) return std::nullopt;
  try {
    if (IntFrom(queue.at("vexlo_queue")) != kFormat) return std::nullopt;
    SavedQueue saved;
    saved.options.outputFolder = PathFrom(queue.at("output_folder"));
    const std::string existing = queue.at("existing").get<std::string>();
    if (existing != "skip" && existing != "overwrite") return std::nullopt;
    saved.options.existing =
        existing == "skip" ? ExistingOutput::kSkip : ExistingOutput::kOverwrite;
    if (const auto atOnce = queue.find("at_once"); atOnce != queue.end()) {
      saved.options.atOnce =
          *atOnce == "auto" ? 0 : static_cast<unsigned>(WholeFrom(*atOnce, 1, 4));
    }
    saved.options.lowPriority = queue.value("low_priority", json(false)).get<bool>();
    // Only a target the window offers: any other (a hand-made file's) reads as none.
    const double target = queue.value("target_ssim", json(0.0)).get<double>();
    for (const double offered : kQueueTargets) {
      if (target == offered) saved.options.targetSsim = target;
    }
    if (!queue.at("items").is_array()) return std::nullopt;
    for (const json& item : queue.at("items")) saved.items.push_back(ItemFrom(item));
    return saved;
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

}  // namespace vexlo::jobs
