#include "tests/support/StoredSettings.h"

#include "app/RegistryStore.h"
#include "platform/RegistryHive.h"

namespace vexlo::testing {

namespace {
constexpr const char* kSettingNames[] = {
    "FileOrigine", "FileDestinazione", "FileDestinazione3", "mOutType",   "m_GpuType",
    "iNumProfile", "iNumCRF",          "iNumFPS",           "iResizeType", "bDeinterlace",
    "bShortGop",   "bUseReport"};
}  // namespace

std::map<std::string, std::string> StoredSettings(const app::RegistryStore& store) {
  std::map<std::string, std::string> values;
  for (const char* name : kSettingNames) {
    const auto value =
        platform::QueryValue(platform::RegistryRoot::kCurrentUser, app::kSettingsKey, name);
    if (!value) continue;
    if (value->type == platform::kRegDword) {
      values[name] = std::to_string(store.ReadDword(app::kSettingsKey, name, 0));
    } else {
      std::string text;
      store.ReadString(app::kSettingsKey, name, "", text);
      values[name] = text;
    }
  }
  return values;
}

}  // namespace vexlo::testing
