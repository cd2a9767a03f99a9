#include <windows.h>

#include <algorithm>
#include <cerrno>

#include "platform/Paths.h"
#include "platform/RegistryHive.h"

// The settings in the real registry. Key paths, value names and texts are given to the "A"
// functions as text in the system's ANSI code page; values keep their type and their bytes, so
// the store's read rules (a REG_SZ of 4 bytes or fewer read as a DWORD gives its bytes) hold as
// they do over the hive file.

namespace vexlo::platform {

namespace {

HKEY RootKey(RegistryRoot root) {
  switch (root) {
    case RegistryRoot::kCurrentUser:
      return HKEY_CURRENT_USER;
    case RegistryRoot::kLocalMachine:
      return HKEY_LOCAL_MACHINE;
    case RegistryRoot::kClassesRoot:
      return HKEY_CLASSES_ROOT;
    case RegistryRoot::kUsers:
      return HKEY_USERS;
    case RegistryRoot::kCurrentConfig:
      return HKEY_CURRENT_CONFIG;
  }
  return HKEY_CURRENT_USER;
}

int ErrnoOf(LONG error) {
  return error == ERROR_ACCESS_DENIED ? EACCES : EIO;
}

// An open key, closed when it goes.
class OpenKey {
 public:
  OpenKey(RegistryRoot root, const std::string& path) {
    if (::RegOpenKeyExA(RootKey(root), path.c_str(), 0, KEY_QUERY_VALUE, &key_) != ERROR_SUCCESS) {
      key_ = nullptr;
    }
  }
  explicit OpenKey(HKEY key) : key_(key) {}
  ~OpenKey() {
    if (key_ != nullptr) ::RegCloseKey(key_);
  }
  OpenKey(const OpenKey&) = delete;
  OpenKey& operator=(const OpenKey&) = delete;
  HKEY get() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

}  // namespace

std::string RegistryHivePath(RegistryRoot root) {
  // No file: the root's own name says where the values live.
  return std::string(RegistryRootName(root));
}

bool KeyExists(RegistryRoot root, const std::string& keyPath) {
  if (!IsValidRegistryKeyPath(keyPath)) return false;
  if (keyPath.empty()) return true;
  return OpenKey(root, keyPath).get() != nullptr;
}

std::optional<RegistryValue> QueryValue(RegistryRoot root, const std::string& keyPath,
                                        const std::string& name) {
  if (!IsValidRegistryKeyPath(keyPath)) return std::nullopt;
  const OpenKey key(root, keyPath);
  if (key.get() == nullptr) return std::nullopt;
  for (int attempt = 0; attempt < 4; ++attempt) {
    DWORD type = 0;
    DWORD size = 0;
    if (::RegQueryValueExA(key.get(), name.c_str(), nullptr, &type, nullptr, &size) !=
        ERROR_SUCCESS) {
      return std::nullopt;
    }
    RegistryValue value{type, std::vector<std::uint8_t>(size)};
    const LONG read =
        ::RegQueryValueExA(key.get(), name.c_str(), nullptr, &type, value.data.data(), &size);
    if (read == ERROR_MORE_DATA) continue;  // it grew meanwhile
    if (read != ERROR_SUCCESS) return std::nullopt;
    value.type = type;
    value.data.resize(size);
    return value;
  }
  return std::nullopt;
}

void RemoveStaleTemporaryFiles(RegistryRoot) {
  // The registry replaces values in place: nothing is ever left behind.
}

RegistryWriteResult SetValues(RegistryRoot root, const std::string& keyPath,
                              const RegistryValues& values) {
  const bool namesValid = std::all_of(values.begin(), values.end(), [](const auto& value) {
    return IsValidRegistryValueName(value.first);
  });
  if (!IsValidRegistryKeyPath(keyPath) || !namesValid) return {RegistryWriteStep::kName, EINVAL};
  HKEY created = nullptr;
  const LONG opened =
      ::RegCreateKeyExA(RootKey(root), keyPath.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_SET_VALUE, nullptr, &created, nullptr);
  if (opened != ERROR_SUCCESS) return {RegistryWriteStep::kDirectory, ErrnoOf(opened)};
  const OpenKey key(created);
  for (const auto& [name, value] : values) {
    const LONG stored = ::RegSetValueExA(key.get(), name.c_str(), 0, value.type, value.data.data(),
                                         static_cast<DWORD>(value.data.size()));
    if (stored != ERROR_SUCCESS) return {RegistryWriteStep::kReplace, ErrnoOf(stored)};
  }
  return {};
}

}  // namespace vexlo::platform
