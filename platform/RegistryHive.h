#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vexlo::platform {

// What stands in for the registry: one hive file per root key in the user's configuration
// directory, in the text format of registry export files (UTF-8):
//
//   Windows Registry Editor Version 5.00
//
//   [HKEY_CURRENT_USER\VexloDirectory]
//   "FileOrigine"="/home/ann/clip.mov"
//   "mOutType"=dword:00000001
//   "Odd"=hex(1):61,62
//
// A REG_SZ is written as quoted text when its bytes are printable UTF-8 followed by exactly one
// terminating zero, a REG_DWORD as "dword:" when it has exactly 4 bytes; every other value is
// written as "hex(N):" with its type number N in hexadecimal, so each value keeps its type and its
// raw bytes. Key paths and value names compare case-insensitively (ASCII letters only; other
// bytes compare exactly) and keep the spelling they were first stored with.
//
// Writes are safe between threads and processes: each takes an advisory lock on a file beside the
// hive, rewrites the whole hive into a temporary file and renames it over the old one. A hive file
// that is a symbolic link is written through the link (the link stays). A hive file without the
// header reads as an empty hive and is renamed with the suffix ".bad" (".bad.2", ".bad.3", ...
// when that name is taken); lines of it that cannot be read are left out of reads, and the next
// write sets the file aside the same way and keeps every value that could be read.

/// The predefined root keys; each has a hive file of its own.
enum class RegistryRoot { kCurrentUser, kLocalMachine, kClassesRoot, kUsers, kCurrentConfig };

/// Value type numbers as the registry gives them. Any other number is kept as it is.
inline constexpr std::uint32_t kRegSz = 1;
inline constexpr std::uint32_t kRegDword = 4;

/// One value: its type and its bytes exactly as stored. A REG_SZ holds its text bytes and its
/// terminating zero; a REG_DWORD holds 4 bytes, least significant first.
struct RegistryValue {
  std::uint32_t type = 0;
  std::vector<std::uint8_t> data;

  friend bool operator==(const RegistryValue&, const RegistryValue&) = default;
};

/// One key of a hive: its path below the root (sub-keys joined with backslashes; empty for the
/// root itself) and its values in stored order, each with its stored name ("" is the key's
/// default value, written as @).
struct RegistryKey {
  std::string path;
  std::vector<std::pair<std::string, RegistryValue>> values;
};

/// The content of one hive file: its keys in file order.
struct RegistryHive {
  std::vector<RegistryKey> keys;
};

/// "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE", "HKEY_CLASSES_ROOT", "HKEY_USERS" or
/// "HKEY_CURRENT_CONFIG".
std::string_view RegistryRootName(RegistryRoot root);

/// The hive file of a root: ConfigDirectory() + "/HKEY_CURRENT_USER.reg" and so on, evaluated at
/// each call.
std::string RegistryHivePath(RegistryRoot root);

/// True when a key path can be stored: empty (the root itself), or sub-key names joined by single
/// backslashes, each name non-empty printable UTF-8.
bool IsValidRegistryKeyPath(std::string_view keyPath);

/// Parses the text of a hive file of the given root, as registry export files may be written: a
/// last line without its line feed, blanks at the ends of lines, ';' comment lines and blank
/// lines are accepted. Nothing when the header is wrong. With `complete` null, also nothing when
/// any line is not understood (a section naming another root, a value line that is not one, a
/// value before any section); otherwise such lines (and the values of a section not understood)
/// are left out and `*complete` says whether any was. Sections or values that occur twice are
/// merged, the later value winning.
std::optional<RegistryHive> ParseRegistryHive(std::string_view text, RegistryRoot root,
                                              bool* complete = nullptr);

/// The text of a hive file; ParseRegistryHive gives back the same keys and values.
std::string FormatRegistryHive(const RegistryHive& hive, RegistryRoot root);

/// Stores a value under a key of a hive in memory, creating the key when missing. An existing
/// key or value of another spelling keeps its spelling and takes the new value.
void PutRegistryValue(RegistryHive& hive, std::string_view keyPath, std::string_view name,
                      const RegistryValue& value);

/// True when a value name can be stored: printable UTF-8 ("" is the default value).
bool IsValidRegistryValueName(std::string_view name);

/// True when the key, or a sub-key below it, is in the hive.
bool HasRegistryKey(const RegistryHive& hive, std::string_view keyPath);

/// The value stored under the key, or null.
const RegistryValue* FindRegistryValue(const RegistryHive& hive, std::string_view keyPath,
                                       std::string_view name);

/// The step of a write that failed.
enum class RegistryWriteStep {
  kNone,       // the value was stored
  kName,       // the key path or the value name cannot be stored
  kDirectory,  // the configuration directory could not be made
  kLock,       // the lock file could not be opened or locked
  kRead,       // the hive file could not be read
  kSetAside,   // a hive file that could not be read whole could not be renamed aside
  kReplace,    // the temporary file could not be written, synced or renamed over the hive file
};

/// What a write came to: success, or the step that failed and its errno. True on success.
struct [[nodiscard]] RegistryWriteResult {
  RegistryWriteStep step = RegistryWriteStep::kNone;
  int error = 0;

  explicit operator bool() const { return step == RegistryWriteStep::kNone; }
};

/// True when the key, or a sub-key below it, is stored in the hive file. The root itself (an
/// empty path) always exists. Never creates anything.
bool KeyExists(RegistryRoot root, const std::string& keyPath);

/// The stored value; nothing when the hive file, the key or the value is missing or the file is
/// unreadable. Never creates the key or the file.
std::optional<RegistryValue> QueryValue(RegistryRoot root, const std::string& keyPath,
                                        const std::string& name);

/// Removes the temporary files that writes killed before their rename left beside the hive file
/// (its name, a dot and six letters or digits), unless a writer holds the lock now. Call at start.
void RemoveStaleTemporaryFiles(RegistryRoot root);

/// Values by name, in the order they are stored.
using RegistryValues = std::vector<std::pair<std::string, RegistryValue>>;

/// Stores values under one key in one write (one lock, one read, one replacement of the file),
/// creating the configuration directory (mode 0700), the hive file and the key when missing.
/// False when the key path or any name cannot be stored (a name must be printable UTF-8; nothing
/// is then written) or when the file could not be read or replaced; the old file is then left as
/// it was. The result names the step that failed and its errno. In the registry each value is
/// set in turn under the one open key.
[[nodiscard]] RegistryWriteResult SetValues(RegistryRoot root, const std::string& keyPath,
                                            const RegistryValues& values);
/// Stores one value: SetValues with that value.
[[nodiscard]] inline RegistryWriteResult SetValue(RegistryRoot root, const std::string& keyPath,
                                                  const std::string& name,
                                                  const RegistryValue& value) {
  return SetValues(root, keyPath, {{name, value}});
}

}  // namespace vexlo::platform
