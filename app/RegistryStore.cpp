#include "app/RegistryStore.h"

#include <algorithm>
#include <utility>

namespace vexlo::app {

using platform::RegistryRoot;
using platform::RegistryValue;

std::uint32_t RegistryStore::ReadDword(const std::string& key, const std::string& name,
                                       std::uint32_t defaultValue, const std::string* basePath,
                                       const RegistryRoot* root) const {
  const auto value = platform::QueryValue(RootOf(root), FullKeyPath(key, basePath), name);
  if (!value || value->data.size() > 4) return defaultValue;
  std::uint32_t number = 0;
  for (std::size_t i = 0; i < value->data.size(); ++i) {
    number |= static_cast<std::uint32_t>(value->data[i]) << (8 * i);
  }
  return number;
}

std::optional<RegistryValue> RegistryStore::ReadValue(const std::string& key,
                                                      const std::string& name,
                                                      const std::string* basePath,
                                                      const RegistryRoot* root) const {
  return platform::QueryValue(RootOf(root), FullKeyPath(key, basePath), name);
}

platform::RegistryWriteResult RegistryStore::PutDwordAt(const std::string& key,
                                                       const std::string& name, std::uint32_t value,
                                                       const std::string* basePath,
                                                       const RegistryRoot* root) const {
  return platform::SetValue(RootOf(root), FullKeyPath(key, basePath), name, DwordValue(value));
}

platform::RegistryWriteResult RegistryStore::PutDword(const std::string& key,
                                                     const std::string& name,
                                                     std::uint32_t value) const {
  return PutDwordAt(key, name, value, nullptr, nullptr);
}

int RegistryStore::WriteDword(const std::string& key, const std::string& name, std::uint32_t value,
                              const std::string* basePath, const RegistryRoot* root) const {
  return PutDwordAt(key, name, value, basePath, root) ? 1 : 0;
}

void RegistryStore::ReadString(const std::string& key, const std::string& name,
                               const std::string& defaultValue, std::string& out,
                               const std::string* basePath, const RegistryRoot* root) const {
  // The key path and the name are taken before `out` changes, in case it is one of them.
  const std::string keyPath = FullKeyPath(key, basePath);
  const std::string valueName = name;
  const RegistryRoot hive = RootOf(root);
  out = defaultValue;
  const auto value = platform::QueryValue(hive, keyPath, valueName);
  if (!value) return;
  const auto end = std::find(value->data.begin(), value->data.end(), std::uint8_t{0});
  out.assign(value->data.begin(), end);
}

platform::RegistryWriteResult RegistryStore::PutStringAt(const std::string& key,
                                                        const std::string& name,
                                                        const std::string& value,
                                                        const std::string* basePath,
                                                        const RegistryRoot* root) const {
  return platform::SetValue(RootOf(root), FullKeyPath(key, basePath), name, StringValue(value));
}

int RegistryStore::WriteString(const std::string& key, const std::string& name,
                               const std::string& value, const std::string* basePath,
                               const RegistryRoot* root) const {
  return PutStringAt(key, name, value, basePath, root) ? 1 : 0;
}

RegistryValue RegistryStore::DwordValue(std::uint32_t value) {
  RegistryValue stored{platform::kRegDword, {}};
  for (int i = 0; i < 4; ++i) stored.data.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
  return stored;
}

RegistryValue RegistryStore::StringValue(const std::string& value) {
  const std::string text(value.c_str());  // up to the first zero, as the C string would be
  RegistryValue stored{platform::kRegSz, std::vector<std::uint8_t>(text.begin(), text.end())};
  stored.data.push_back(0);
  return stored;
}

platform::RegistryWriteResult RegistryStore::PutValues(
    const std::string& key, const platform::RegistryValues& values) const {
  return platform::SetValues(root_, FullKeyPath(key, nullptr), values);
}

std::string RegistryStore::FullKeyPath(const std::string& key, const std::string* basePath) const {
  return (basePath ? *basePath : basePath_) + key;
}

RegistryRoot RegistryStore::RootOf(const RegistryRoot* root) const {
  return root ? *root : root_;
}

}  // namespace vexlo::app
