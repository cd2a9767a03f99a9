#include "tests/support/StoredSettings.h"

#include "app/RegistryStore.h"
#include "app/SettingsTable.h"
#include "platform/RegistryHive.h"

namespace vexlo::testing {

std::map<std::string, std::string> StoredSettings(const app::RegistryStore& store) {
  std::map<std::string, std::string> values;
  for (const app::SettingRow& row : app::kSettingsTable) {
    const char* name = row.storedName;
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
