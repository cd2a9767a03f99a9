#include "platform/RegistryHive.h"

#include <algorithm>

namespace vexlo::platform {

namespace {

constexpr std::string_view kHeader = "Windows Registry Editor Version 5.00";
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::string_view kHexDigits = "0123456789abcdef";
constexpr std::uint32_t kRegBinary = 3;  // what a bare "hex:" stands for

// ---------------------------------------------------------------------------------------------
// Names and text

char FoldAscii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// The registry's comparison of key and value names, as far as ASCII letters go.
bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
  }
  return true;
}

// Length of the UTF-8 sequence at text[i] when it encodes a printable character (no C0 or C1
// control, no DEL, no surrogate, no overlong form); 0 otherwise.
std::size_t PrintableSequenceLength(std::string_view text, std::size_t i) {
  const auto lead = static_cast<unsigned char>(text[i]);
  if (lead < 0x20 || lead == 0x7F) return 0;
  if (lead < 0x80) return 1;
  std::size_t length = 0;
  std::uint32_t codePoint = 0;
  if ((lead & 0xE0) == 0xC0) {
    length = 2, codePoint = lead & 0x1F;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, codePoint = lead & 0x0F;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, codePoint = lead & 0x07;
  } else {
    return 0;
  }
  if (text.size() - i < length) return 0;
  for (std::size_t k = 1; k < length; ++k) {
    const auto next = static_cast<unsigned char>(text[i + k]);
    if ((next & 0xC0) != 0x80) return 0;
    codePoint = (codePoint << 6) | (next & 0x3F);
  }
  static constexpr std::uint32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
  if (codePoint < kSmallest[length] || codePoint > 0x10FFFF) return 0;
  if (codePoint >= 0xD800 && codePoint <= 0xDFFF) return 0;
  if (codePoint <= 0x9F) return 0;  // C1 controls
  return length;
}

bool IsPrintableUtf8(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t length = PrintableSequenceLength(text, i);
    if (length == 0) return false;
    i += length;
  }
  return true;
}

// The text of a REG_SZ that can be written as a quoted string: printable UTF-8 followed by
// exactly one terminating zero.
std::optional<std::string_view> QuotableText(const RegistryValue& value) {
  if (value.type != kRegSz || value.data.empty() || value.data.back() != 0) return std::nullopt;
  const std::string_view text(reinterpret_cast<const char*>(value.data.data()),
                              value.data.size() - 1);
  if (!IsPrintableUtf8(text)) return std::nullopt;
  return text;
}

// ---------------------------------------------------------------------------------------------
// Writing the text

// Backslash and double quote are escaped as regedit does; nothing else is.
std::string Quote(std::string_view text) {
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '\\' || c == '"') quoted += '\\';
    quoted += c;
  }
  quoted += '"';
  return quoted;
}

std::string FormatHex(std::uint32_t number, int minimumDigits) {
  std::string digits;
  while (number != 0 || static_cast<int>(digits.size()) < minimumDigits) {
    digits.insert(digits.begin(), kHexDigits[number & 0xF]);
    number >>= 4;
  }
  return digits;
}

std::string FormatData(const RegistryValue& value) {
  if (auto text = QuotableText(value)) return Quote(*text);
  if (value.type == kRegDword && value.data.size() == 4) {
    const std::uint32_t number = value.data[0] | (value.data[1] << 8) | (value.data[2] << 16) |
                                 (static_cast<std::uint32_t>(value.data[3]) << 24);
    return "dword:" + FormatHex(number, 8);
  }
  std::string out = "hex(" + FormatHex(value.type, 1) + "):";
  for (std::size_t i = 0; i < value.data.size(); ++i) {
    if (i > 0) out += ',';
    out += FormatHex(value.data[i], 2);
  }
  return out;
}

std::string SectionLine(std::string_view keyPath, RegistryRoot root) {
  std::string line = "[" + std::string(RegistryRootName(root));
  if (!keyPath.empty()) line += "\\" + std::string(keyPath);
  return line + "]";
}

// ---------------------------------------------------------------------------------------------
// Reading the text

// The lines of a text, each without its line feed (the last one may have none) and without the
// carriage return and blanks before it.
class LineReader {
 public:
  explicit LineReader(std::string_view text) : text_(text) {}
  bool AtEnd() const { return position_ >= text_.size(); }
  std::string_view Next() {
    const std::size_t end = std::min(text_.find('\n', position_), text_.size());
    std::string_view line = text_.substr(position_, end - position_);
    position_ = end + 1;
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) {
      line.remove_suffix(1);
    }
    return line;
  }

 private:
  std::string_view text_;
  std::size_t position_ = 0;
};

int HexDigitValue(char c) {
  const std::size_t at = kHexDigits.find(FoldAscii(c));
  return at == std::string_view::npos ? -1 : static_cast<int>(at);
}

// A number of 1 to `maximumDigits` hexadecimal digits that fills the whole text.
std::optional<std::uint32_t> ParseHexNumber(std::string_view text, std::size_t maximumDigits) {
  if (text.empty() || text.size() > maximumDigits) return std::nullopt;
  std::uint32_t number = 0;
  for (char c : text) {
    const int digit = HexDigitValue(c);
    if (digit < 0) return std::nullopt;
    number = (number << 4) | static_cast<std::uint32_t>(digit);
  }
  return number;
}

// A quoted, escaped text at the start of `line`; on success `line` is left after the closing
// quote. Only \\ and \" are escapes, and the text must be printable UTF-8.
std::optional<std::string> ParseQuoted(std::string_view& line) {
  if (line.empty() || line[0] != '"') return std::nullopt;
  std::string text;
  for (std::size_t i = 1; i < line.size(); ++i) {
    const char c = line[i];
    if (c == '"') {
      line.remove_prefix(i + 1);
      if (!IsPrintableUtf8(text)) return std::nullopt;
      return text;
    }
    if (c == '\\') {
      if (i + 1 >= line.size() || (line[i + 1] != '\\' && line[i + 1] != '"')) return std::nullopt;
      ++i;
    }
    text += line[i];
  }
  return std::nullopt;
}

// "xx,xx,..." (possibly empty), continued on the following lines while a line ends with a
// backslash, as regedit wraps long values.
std::optional<std::vector<std::uint8_t>> ParseHexBytes(std::string_view first, LineReader& lines) {
  std::string list(first);
  while (!list.empty() && list.back() == '\\') {
    if (lines.AtEnd()) return std::nullopt;
    list.pop_back();
    std::string_view next = lines.Next();
    while (!next.empty() && (next.front() == ' ' || next.front() == '\t')) next.remove_prefix(1);
    list += next;
  }
  std::vector<std::uint8_t> bytes;
  if (list.empty()) return bytes;
  std::string_view rest = list;
  while (true) {
    const auto byte = ParseHexNumber(rest.substr(0, 2), 2);
    if (!byte || rest.size() < 2 || (rest.size() > 2 && rest[2] != ',')) return std::nullopt;
    bytes.push_back(static_cast<std::uint8_t>(*byte));
    if (rest.size() == 2) return bytes;
    rest.remove_prefix(3);
  }
}

// The part of a value line after '=': a quoted text, dword:xxxxxxxx, hex:... or hex(N):...
std::optional<RegistryValue> ParseData(std::string_view data, LineReader& lines) {
  if (!data.empty() && data[0] == '"') {
    auto text = ParseQuoted(data);
    if (!text || !data.empty()) return std::nullopt;
    RegistryValue value{kRegSz, std::vector<std::uint8_t>(text->begin(), text->end())};
    value.data.push_back(0);
    return value;
  }
  if (data.starts_with("dword:")) {
    const auto digits = data.substr(6);
    const auto number = digits.size() == 8 ? ParseHexNumber(digits, 8) : std::nullopt;
    if (!number) return std::nullopt;
    return RegistryValue{
        kRegDword,
        {static_cast<std::uint8_t>(*number), static_cast<std::uint8_t>(*number >> 8),
         static_cast<std::uint8_t>(*number >> 16), static_cast<std::uint8_t>(*number >> 24)}};
  }
  std::uint32_t type = kRegBinary;
  if (data.starts_with("hex(")) {
    const std::size_t close = data.find("):");
    if (close == std::string_view::npos) return std::nullopt;
    const auto number = ParseHexNumber(data.substr(4, close - 4), 8);
    if (!number) return std::nullopt;
    type = *number;
    data.remove_prefix(close + 2);
  } else if (data.starts_with("hex:")) {
    data.remove_prefix(4);
  } else {
    return std::nullopt;
  }
  auto bytes = ParseHexBytes(data, lines);
  if (!bytes) return std::nullopt;
  return RegistryValue{type, std::move(*bytes)};
}

// The key path of a section line "[ROOT\path]"; nothing when the line names another root.
std::optional<std::string> ParseSection(std::string_view line, RegistryRoot root) {
  if (line.size() < 2 || line.back() != ']') return std::nullopt;
  const std::string_view inner = line.substr(1, line.size() - 2);
  const std::string_view rootName = RegistryRootName(root);
  if (!SameName(inner.substr(0, rootName.size()), rootName)) return std::nullopt;
  if (inner.size() == rootName.size()) return std::string();
  if (inner[rootName.size()] != '\\') return std::nullopt;
  const std::string_view path = inner.substr(rootName.size() + 1);
  if (path.empty() || !IsValidRegistryKeyPath(path)) return std::nullopt;
  return std::string(path);
}

// One "name"=data or @=data line (and its continuation lines) into the hive.
bool ParseValueLine(std::string_view line, LineReader& lines, RegistryHive& hive,
                    const std::string& keyPath) {
  std::string name;
  if (line.starts_with("@")) {
    line.remove_prefix(1);
  } else {
    auto quoted = ParseQuoted(line);
    if (!quoted) return false;
    name = std::move(*quoted);
  }
  if (line.empty() || line[0] != '=') return false;
  auto value = ParseData(line.substr(1), lines);
  if (!value) return false;
  PutRegistryValue(hive, keyPath, name, *value);
  return true;
}

// ---------------------------------------------------------------------------------------------
// Hive edits

RegistryKey* FindKey(RegistryHive& hive, std::string_view keyPath) {
  for (auto& key : hive.keys) {
    if (SameName(key.path, keyPath)) return &key;
  }
  return nullptr;
}

bool IsSameOrSubKey(std::string_view candidate, std::string_view keyPath) {
  if (candidate.size() < keyPath.size()) return false;
  if (!SameName(candidate.substr(0, keyPath.size()), keyPath)) return false;
  return candidate.size() == keyPath.size() || candidate[keyPath.size()] == '\\';
}

}  // namespace

std::string_view RegistryRootName(RegistryRoot root) {
  switch (root) {
    case RegistryRoot::kCurrentUser:
      return "HKEY_CURRENT_USER";
    case RegistryRoot::kLocalMachine:
      return "HKEY_LOCAL_MACHINE";
    case RegistryRoot::kClassesRoot:
      return "HKEY_CLASSES_ROOT";
    case RegistryRoot::kUsers:
      return "HKEY_USERS";
    case RegistryRoot::kCurrentConfig:
      return "HKEY_CURRENT_CONFIG";
  }
  return "HKEY_CURRENT_USER";
}

bool IsValidRegistryKeyPath(std::string_view keyPath) {
  if (keyPath.empty()) return true;
  std::size_t start = 0;
  while (true) {
    const std::size_t end = keyPath.find('\\', start);
    const std::string_view part = keyPath.substr(start, end - start);
    if (part.empty() || !IsPrintableUtf8(part)) return false;
    if (end == std::string_view::npos) return true;
    start = end + 1;
  }
}

std::optional<RegistryHive> ParseRegistryHive(std::string_view text, RegistryRoot root,
                                              bool* complete) {
  if (complete) *complete = true;
  if (text.starts_with(kByteOrderMark)) text.remove_prefix(kByteOrderMark.size());
  LineReader lines(text);
  if (text.empty() || lines.Next() != kHeader) return std::nullopt;
  RegistryHive hive;
  std::optional<std::string> section;
  while (!lines.AtEnd()) {
    std::string_view line = lines.Next();
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
    if (line.empty() || line[0] == ';') continue;
    bool understood = true;
    if (line[0] == '[') {
      section = ParseSection(line, root);
      understood = section.has_value();
      if (understood && !FindKey(hive, *section)) hive.keys.push_back({*section, {}});
    } else {
      // The values of a section that was not understood are not understood either.
      understood = section && ParseValueLine(line, lines, hive, *section);
    }
    if (!understood) {
      if (!complete) return std::nullopt;
      *complete = false;
    }
  }
  return hive;
}

std::string FormatRegistryHive(const RegistryHive& hive, RegistryRoot root) {
  std::string text = std::string(kHeader) + "\n\n";
  for (const auto& key : hive.keys) {
    text += SectionLine(key.path, root) + "\n";
    for (const auto& [name, value] : key.values) {
      text += (name.empty() ? std::string("@") : Quote(name)) + "=" + FormatData(value) + "\n";
    }
    text += "\n";
  }
  return text;
}

void PutRegistryValue(RegistryHive& hive, std::string_view keyPath, std::string_view name,
                      const RegistryValue& value) {
  RegistryKey* key = FindKey(hive, keyPath);
  if (!key) key = &hive.keys.emplace_back(RegistryKey{std::string(keyPath), {}});
  for (auto& [storedName, storedValue] : key->values) {
    if (SameName(storedName, name)) {
      storedValue = value;
      return;
    }
  }
  key->values.emplace_back(std::string(name), value);
}

bool IsValidRegistryValueName(std::string_view name) {
  return IsPrintableUtf8(name);
}

bool HasRegistryKey(const RegistryHive& hive, std::string_view keyPath) {
  for (const auto& key : hive.keys) {
    if (IsSameOrSubKey(key.path, keyPath)) return true;
  }
  return false;
}

const RegistryValue* FindRegistryValue(const RegistryHive& hive, std::string_view keyPath,
                                       std::string_view name) {
  for (const auto& key : hive.keys) {
    if (!SameName(key.path, keyPath)) continue;
    for (const auto& [storedName, value] : key.values) {
      if (SameName(storedName, name)) return &value;
    }
    return nullptr;
  }
  return nullptr;
}

}  // namespace vexlo::platform
