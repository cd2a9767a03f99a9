#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/RegistryHive.h"

// The settings store: the named values of the program's one registry key (a hive file on POSIX).

namespace vexlo::app {

/// The key that holds every setting of the main window, directly under the current user's root.
inline constexpr char kSettingsKey[] = "VexloDirectory";

/// Reads and writes named values of one registry key. Each call looks the key up afresh: there is
/// no cache and nothing held open between calls; PutValues writes several values at once.
///
/// The full key path of every call is the base path (or the call's override) immediately followed
/// by the key text, with nothing put between them. Reads never create the key or the hive file;
/// writes create both when missing.
class RegistryStore {
 public:
  /// An empty base path under the current user's root.
  RegistryStore() = default;

  /// The stored number, whatever the value's type: data of 1 to 4 bytes is read as a
  /// little-endian number of those bytes (a REG_SZ "ab" stored as 'a','b',0 gives 0x006261),
  /// data of 0 bytes gives 0. A missing key or value, or data longer than 4 bytes, gives
  /// `defaultValue`.
  std::uint32_t ReadDword(const std::string& key, const std::string& name,
                          std::uint32_t defaultValue, const std::string* basePath = nullptr,
                          const platform::RegistryRoot* root = nullptr) const;

  /// The stored value with its type, or nothing when the key or the value is missing.
  std::optional<platform::RegistryValue> ReadValue(
      const std::string& key, const std::string& name, const std::string* basePath = nullptr,
      const platform::RegistryRoot* root = nullptr) const;

  /// Stores `value` as a REG_DWORD of 4 bytes. True when written; otherwise the step of the
  /// write that failed and its errno.
  [[nodiscard]] platform::RegistryWriteResult PutDword(const std::string& key,
                                                       const std::string& name,
                                                       std::uint32_t value) const;
  /// PutDword as the profile functions give it: 1 when written, 0 when not.
  int WriteDword(const std::string& key, const std::string& name, std::uint32_t value,
                 const std::string* basePath = nullptr,
                 const platform::RegistryRoot* root = nullptr) const;

  /// Sets `out` to `defaultValue`, then, when the value exists, to its stored bytes as text
  /// whatever the type, up to the first zero byte; data without a zero is taken whole and never
  /// read past. `out` may be the same object as any of the other texts.
  void ReadString(const std::string& key, const std::string& name, const std::string& defaultValue,
                  std::string& out, const std::string* basePath = nullptr,
                  const platform::RegistryRoot* root = nullptr) const;

  /// Stores `value` as a REG_SZ of its bytes and a terminating zero (an empty text stores one
  /// byte). Like the C string it stands for, the text ends at its first zero byte. True when
  /// written; otherwise the step of the write that failed and its errno.
  [[nodiscard]] platform::RegistryWriteResult PutString(const std::string& key,
                                                        const std::string& name,
                                                        const std::string& value) const {
    return PutStringAt(key, name, value, nullptr, nullptr);
  }
  /// The values PutDword and PutString store: a REG_DWORD of 4 bytes, least significant first; a
  /// REG_SZ of the text up to its first zero byte and one zero.
  static platform::RegistryValue DwordValue(std::uint32_t value);
  static platform::RegistryValue StringValue(const std::string& value);
  /// Stores the values in one write of the store (see platform::SetValues): all, or on failure
  /// none, over the hive file.
  [[nodiscard]] platform::RegistryWriteResult PutValues(
      const std::string& key, const platform::RegistryValues& values) const;

  /// Where the values are kept, for a message: the hive file's path (on Windows the root key).
  std::string Location() const { return platform::RegistryHivePath(root_); }

  /// PutString as the profile functions give it: 1 when written, 0 when not.
  int WriteString(const std::string& key, const std::string& name, const std::string& value,
                  const std::string* basePath = nullptr,
                  const platform::RegistryRoot* root = nullptr) const;

 private:
  [[nodiscard]] platform::RegistryWriteResult PutDwordAt(const std::string& key,
                                                         const std::string& name,
                                                         std::uint32_t value,
                                                         const std::string* basePath,
                                                         const platform::RegistryRoot* root) const;
  [[nodiscard]] platform::RegistryWriteResult PutStringAt(
      const std::string& key, const std::string& name, const std::string& value,
      const std::string* basePath, const platform::RegistryRoot* root) const;
  std::string FullKeyPath(const std::string& key, const std::string* basePath) const;
  platform::RegistryRoot RootOf(const platform::RegistryRoot* root) const;

  std::string basePath_;
  platform::RegistryRoot root_ = platform::RegistryRoot::kCurrentUser;
};

}  // namespace vexlo::app
