#pragma once

#include <map>
#include <string>

namespace vexlo::app {
class RegistryStore;
}

namespace vexlo::testing {

/// The settings values present in the settings key, as text (numbers in decimal), by name.
std::map<std::string, std::string> StoredSettings(const app::RegistryStore& store);

}  // namespace vexlo::testing
