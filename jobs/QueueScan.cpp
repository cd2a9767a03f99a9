#include "jobs/QueueScan.h"

#include <algorithm>
#include <map>

#include "encode/PngPattern.h"
#include "platform/Characters.h"
#include "platform/FolderListing.h"
#include "platform/Paths.h"

namespace vexlo::jobs {

namespace {

std::string LowerCased(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return lower;
}

// The picture of a sequence that comes first: the smaller number; of two spellings of one
// number ("7", "007") the shorter.
bool NumberBefore(std::string_view a, std::string_view b) {
  const auto significant = [](std::string_view digits) {
    return digits.substr(std::min(digits.find_first_not_of('0'), digits.size()));
  };
  const std::string_view x = significant(a), y = significant(b);
  if (x.size() != y.size()) return x.size() < y.size();
  if (x != y) return x < y;
  return a.size() < b.size();
}

struct Sequence {
  std::string first;   // the first picture's path
  std::string number;  // its digits
  int pictures = 0;
};

// A picture of a numbered sequence: one more to its sequence, keyed by its folder, the name
// before the number and the extension as spelled.
void AddPicture(std::map<std::string, Sequence>& sequences, const std::string& path,
                std::string_view name) {
  const std::string_view stem = name.substr(0, name.size() - 4);
  std::size_t digits = 0;
  while (digits < stem.size() && platform::IsDigit(stem[stem.size() - 1 - digits])) ++digits;
  // The encode cuts a sequence's name at its first ".png": one before the last would mislead it.
  if (digits == 0 || encode::IsPngSequenceSource(stem) || !encode::DerivePngPattern(path)) return;
  const std::string_view number = stem.substr(stem.size() - digits);
  const std::string key = path.substr(0, path.size() - name.size()) +
                          std::string(stem.substr(0, stem.size() - digits)) + '\0' +
                          std::string(name.substr(name.size() - 4));
  Sequence& sequence = sequences[key];
  if (sequence.pictures++ == 0 || NumberBefore(number, sequence.number)) {
    sequence.first = path;
    sequence.number = std::string(number);
  }
}

}  // namespace

bool IsVideoFileName(std::string_view name) {
  const std::size_t dot = name.rfind('.');
  if (dot == std::string_view::npos) return false;
  const std::string extension = LowerCased(name.substr(dot));
  return std::any_of(kVideoTypes.begin(), kVideoTypes.end(), [&](const VideoType& type) {
    return std::find(type.extensions.begin(), type.extensions.end(), extension) !=
           type.extensions.end();
  });
}

std::vector<std::string> ScanFolder(const std::string& folder) {
  std::vector<std::string> sources;
  std::map<std::string, Sequence> sequences;
  if (encode::IsPngSequenceSource(folder)) return sources;
  std::vector<std::string> folders{folder};
  while (!folders.empty()) {
    std::string current = std::move(folders.back());
    folders.pop_back();
    if (!current.empty() && current.back() != platform::kPathSeparator) {
      current += platform::kPathSeparator;
    }
    for (const platform::FolderEntry& entry : platform::ListFolder(current)) {
      if (entry.name.starts_with('.')) continue;
      std::string path = current + entry.name;
      if (entry.kind == platform::EntryKind::kFolder) {
        if (!encode::IsPngSequenceSource(entry.name)) folders.push_back(std::move(path));
      } else if (entry.kind == platform::EntryKind::kFile) {
        if (LowerCased(entry.name).ends_with(".png")) {
          AddPicture(sequences, path, entry.name);
        } else if (IsVideoFileName(entry.name) && !encode::IsPngSequenceSource(entry.name)) {
          sources.push_back(std::move(path));
        }
      }
    }
  }
  for (auto& [key, sequence] : sequences) {
    if (sequence.pictures >= 2) sources.push_back(std::move(sequence.first));
  }
  std::sort(sources.begin(), sources.end());
  return sources;
}

}  // namespace vexlo::jobs
