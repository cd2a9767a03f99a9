#include "jobs/QueueFile.h"

#include <nlohmann/json.hpp>

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

std::string PathFrom(const json& value) {
  if (value.is_string()) return value.get<std::string>();
  if (!value.is_array()) throw std::invalid_argument("path");
  std::string path;
  for (const json& byte : value) path += static_cast<char>(byte.get<std::uint8_t>());
  return path;
}

json SettingsValue(const encode::EncoderSettings& settings) {
  return {{"type", settings.outType},
          {"gpu", settings.gpuType},
          {"profile", settings.profile},
          {"crf", settings.crf},
          {"fps", settings.fps},
          {"resize", settings.resize},
          {"deinterlace", settings.deinterlace},
          {"short_gop", settings.shortGop},
          {"report", settings.useReport}};
}

encode::EncoderSettings SettingsFrom(const json& value) {
  encode::EncoderSettings settings;
  settings.outType = value.at("type").get<int>();
  settings.gpuType = value.at("gpu").get<int>();
  settings.profile = value.at("profile").get<int>();
  settings.crf = value.at("crf").get<int>();
  settings.fps = value.at("fps").get<int>();
  settings.resize = value.at("resize").get<int>();
  settings.deinterlace = value.at("deinterlace").get<bool>();
  settings.shortGop = value.at("short_gop").get<bool>();
  settings.useReport = value.at("report").get<bool>();
  return settings;
}

json ItemValue(const QueueItem& item) {
  json value = {
      {"source", PathValue(item.source)},       {"output", PathValue(item.output)},
      {"state", QueueStateWord(item.state)},    {"reason", PathValue(item.reason)},
      {"elapsed", item.elapsedSeconds},         {"duration", nullptr},
      {"temporary", PathValue(item.temporary)}, {"settings", SettingsValue(item.settings)}};
  if (item.durationSeconds) value["duration"] = *item.durationSeconds;
  return value;
}

QueueItem ItemFrom(const json& value) {
  QueueItem item;
  item.source = PathFrom(value.at("source"));
  item.output = PathFrom(value.at("output"));
  const auto state = QueueStateFromWord(value.at("state").get<std::string>());
  if (!state) throw std::invalid_argument("state");
  item.state = *state;
  item.reason = PathFrom(value.at("reason"));
  item.elapsedSeconds = value.at("elapsed").get<double>();
  if (const json& duration = value.at("duration"); !duration.is_null()) {
    item.durationSeconds = duration.get<double>();
  }
  item.temporary = PathFrom(value.at("temporary"));
  item.settings = SettingsFrom(value.at("settings"));
  if (item.state == QueueState::kDone) item.percent = 100;
  return item;
}

}  // namespace

std::string QueueToJson(const std::vector<QueueItem>& items, const QueueOptions& options) {
  json list = json::array();
  for (const QueueItem& item : items) list.push_back(ItemValue(item));
  const json queue = {{"vexlo_queue", kFormat},
                      {"output_folder", PathValue(options.outputFolder)},
                      {"existing", options.existing == ExistingRule::kSkip ? "skip" : "overwrite"},
                      {"items", std::move(list)}};
  return queue.dump(1) + "\n";
}

std::optional<SavedQueue> QueueFromJson(std::string_view text) {
  const json queue = json::parse(text, nullptr, false);
  if (queue.is_discarded() || !queue.is_object()) return std::nullopt;
  try {
    if (queue.at("vexlo_queue").get<int>() != kFormat) return std::nullopt;
    SavedQueue saved;
    saved.options.outputFolder = PathFrom(queue.at("output_folder"));
    const std::string existing = queue.at("existing").get<std::string>();
    if (existing != "skip" && existing != "overwrite") return std::nullopt;
    saved.options.existing = existing == "skip" ? ExistingRule::kSkip : ExistingRule::kOverwrite;
    if (!queue.at("items").is_array()) return std::nullopt;
    for (const json& item : queue.at("items")) saved.items.push_back(ItemFrom(item));
    return saved;
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

}  // namespace vexlo::jobs
