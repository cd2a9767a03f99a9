// The settings file reader: any text parses or is refused without a fault, and what it reads is
// written back into a text that reads the same.
#include <cstdlib>
#include <string_view>

#include "platform/RegistryHive.h"

using namespace vexlo::platform;

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const auto hive = ParseRegistryHive(text, RegistryRoot::kCurrentUser);
  if (!hive) return 0;
  const std::string written = FormatRegistryHive(*hive, RegistryRoot::kCurrentUser);
  const auto again = ParseRegistryHive(written, RegistryRoot::kCurrentUser);
  if (!again || FormatRegistryHive(*again, RegistryRoot::kCurrentUser) != written) std::abort();
  return 0;
}
