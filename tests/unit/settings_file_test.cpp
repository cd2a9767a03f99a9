// The settings file as people leave it: exports edited by hand, damaged files, a file that is a
// link.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "app/RegistryStore.h"

namespace vexlo::app {
namespace {

namespace fs = std::filesystem;
const std::string kHead = "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\K]\n";

std::string Read(const fs::path& path) {
  std::ifstream file(path);
  return {std::istreambuf_iterator<char>(file), {}};
}

class SettingsFile : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(hive_.parent_path());
    ::setenv("XDG_CONFIG_HOME", home_.c_str(), 1);
  }
  void TearDown() override { fs::remove_all(home_); }
  const fs::path home_ =
      fs::path(VEXLO_TEST_BINARY_DIR) / ("settings-" + std::to_string(::getpid()));
  const fs::path hive_ = home_ / "vexlo" / "HKEY_CURRENT_USER.reg";
  RegistryStore store_;
};

TEST_F(SettingsFile, ReadsWhatRegistryExportsAllowAndLeavesTheFileAsItIs) {
  for (const std::string& text :
       {kHead + "\"v\"=dword:00000007",  // no final line feed
        std::string(
            "Windows Registry Editor Version 5.00 \r\n  ; by hand\r\n[HKEY_CURRENT_USER\\K]\t\r\n"
            "\"v\"=dword:00000007  \r\n"),
        kHead + "\"w\"=damaged\n\"v\"=dword:00000007\n"}) {  // only what can be read
    std::ofstream(hive_) << text;
    EXPECT_EQ(store_.ReadDword("K", "v", 0), 7u) << text;
    EXPECT_EQ(Read(hive_), text);  // not set aside
  }
}

// A damaged file is set aside by the next write, which keeps what could be read of it; a second
// one does not replace the first.
TEST_F(SettingsFile, WritesGoThroughALinkAndKeepEveryDamagedFile) {
  const fs::path target = home_ / "elsewhere.reg";
  fs::create_symlink("../elsewhere.reg", hive_);
  const std::string damaged[] = {kHead + "\"v\"=dword:00000007\n\"w\"=damaged\n", "\177ELF"};
  for (const std::string& text : damaged) {
    std::ofstream(target) << text;
    ASSERT_EQ(store_.WriteDword("K", "n", 1), 1);
    EXPECT_EQ(store_.ReadDword("K", "v", 0), &text == damaged ? 7u : 0u);
  }
  EXPECT_TRUE(fs::is_symlink(hive_));
  EXPECT_EQ(Read(target), kHead + "\"n\"=dword:00000001\n\n");
  EXPECT_EQ(Read(target.string() + ".bad"), damaged[0]);
  EXPECT_EQ(Read(target.string() + ".bad.2"), damaged[1]);
}

}  // namespace
}  // namespace vexlo::app
