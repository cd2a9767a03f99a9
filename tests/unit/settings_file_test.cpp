// The settings file as people and crashes leave it: hand-edited exports, damaged files, files
// that are links, writes killed half-way, values of the wrong type.

#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "app/RegistryStore.h"
#include "app/VexloDlg.h"
#include "platform/RegistryHive.h"
#include "res/ControlIds.h"
#include "tests/support/FakeDialogHost.h"

namespace vexlo::platform {
namespace {

namespace fs = std::filesystem;
constexpr RegistryRoot kUser = RegistryRoot::kCurrentUser;
const std::string kHead = "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\K]\n";

RegistryValue Sz(const std::string& text) {
  RegistryValue value{kRegSz, {text.begin(), text.end()}};
  value.data.push_back(0);
  return value;
}
RegistryValue Dword(std::uint32_t n) {
  return {kRegDword,
          {std::uint8_t(n), std::uint8_t(n >> 8), std::uint8_t(n >> 16), std::uint8_t(n >> 24)}};
}

std::string Read(const fs::path& path) {
  std::stringstream text;
  text << std::ifstream(path, std::ios::binary).rdbuf();
  return text.str();
}
void Write(const fs::path& path, const std::string& text) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

class SettingsFile : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = std::string(VEXLO_TEST_BINARY_DIR) + "/settings-file-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    home_ = pattern;
    ::setenv("XDG_CONFIG_HOME", home_.c_str(), 1);
  }
  void TearDown() override {
    fs::current_path(fs::temp_directory_path());  // the window enters its program folder
    fs::remove_all(home_);
  }
  fs::path Hive() const { return home_ / "vexlo" / "HKEY_CURRENT_USER.reg"; }
  fs::path home_;
};

TEST_F(SettingsFile, ReadsWhatRegistryExportsAllowAndLeavesTheFileAsItIs) {
  const std::pair<std::string, RegistryValue> rows[] = {
      {kHead + "\"v\"=\"x\"", Sz("x")},  // no final line feed
      {"Windows Registry Editor Version 5.00 \r\n\r\n  ; made by "
       "hand\r\n[HKEY_CURRENT_USER\\K]\t\r\n"
       "\"v\"=dword:00000002  \r\n \r\n",
       Dword(2)},  // comments, blanks at line ends, CRLF
      {kHead + "\"w\"=what is this\n\"v\"=\"x\"\n[HKEY_LOCAL_MACHINE\\X]\n\"y\"=\"z\"\n", Sz("x")},
  };
  for (const auto& [text, expected] : rows) {
    Write(Hive(), text);
    EXPECT_EQ(QueryValue(kUser, "K", "v"), expected) << text;
    EXPECT_EQ(Read(Hive()), text);
    EXPECT_FALSE(fs::exists(Hive().string() + ".bad"));
  }
}

TEST_F(SettingsFile, AWriteSetsAsideOnlyWhatItCannotReadAndKeepsEveryEarlierFile) {
  const std::string partly = kHead + "\"v\"=\"kept\"\n\"w\"=damaged\n";
  const std::string garbage = "\177ELF\2\1\1";
  Write(Hive(), partly);
  ASSERT_TRUE(SetValue(kUser, "K", "n", Dword(1)));
  EXPECT_EQ(QueryValue(kUser, "K", "v"), Sz("kept"));
  Write(Hive(), garbage);
  ASSERT_TRUE(SetValue(kUser, "K", "n", Dword(2)));
  EXPECT_EQ(Read(Hive()), kHead + "\"n\"=dword:00000002\n\n");
  EXPECT_EQ(Read(Hive().string() + ".bad"), partly);
  EXPECT_EQ(Read(Hive().string() + ".bad.2"), garbage);
}

TEST_F(SettingsFile, ASettingsFileThatIsALinkIsWrittenThroughIt) {
  fs::create_directories(Hive().parent_path());
  fs::create_symlink("../elsewhere/settings.reg", Hive());  // its target does not exist yet
  fs::create_directories(home_ / "elsewhere");
  for (std::uint32_t n : {1u, 2u}) ASSERT_TRUE(SetValue(kUser, "K", "v", Dword(n)));
  EXPECT_TRUE(fs::is_symlink(Hive()));
  EXPECT_EQ(Read(home_ / "elsewhere" / "settings.reg"), kHead + "\"v\"=dword:00000002\n\n");
  EXPECT_EQ(QueryValue(kUser, "K", "v"), Dword(2));
}

TEST_F(SettingsFile, TemporaryFilesOfKilledWritesGoUnlessAWriterHoldsTheLock) {
  const fs::path stale =
      Hive().string() + ".q7Zx0A";  // what a write killed before its rename leaves
  const fs::path other = Hive().string() + ".bad";
  Write(stale, "half");
  Write(other, "kept");
  const int lock = ::open((Hive().string() + ".lock").c_str(), O_RDWR | O_CREAT, 0600);
  ASSERT_EQ(::flock(lock, LOCK_EX), 0);  // a writer at work: its file may be the one being written
  RemoveStaleTemporaryFiles(kUser);
  EXPECT_TRUE(fs::exists(stale));
  ::close(lock);
  RemoveStaleTemporaryFiles(kUser);
  EXPECT_FALSE(fs::exists(stale));
  EXPECT_TRUE(fs::exists(other));
}

TEST_F(SettingsFile, ValuesOfTheWrongTypeOrOutOfRangeReadAsTheirDefaults) {
  const std::pair<const char*, RegistryValue> stored[] = {
      {"iNumCRF", Dword(14)},     {"iNumProfile", Sz("1")},  {"mOutType", Dword(0xFFFFFFFF)},
      {"bDeinterlace", Dword(2)}, {"FileOrigine", Dword(5)}, {"iNumFPS", Dword(3)},
  };
  for (const auto& [name, value] : stored)
    ASSERT_TRUE(SetValue(kUser, app::kSettingsKey, name, value));
  testing::FakeDialogHost host;
  app::RegistryStore store;
  app::CVexloDlg window(host, store, home_.string());
  window.onInitDialog();
  EXPECT_EQ(host.listIndex(res::id::kCrfList), 1);
  EXPECT_EQ(host.listIndex(res::id::kProfileList), 2);
  EXPECT_TRUE(host.checked(res::id::kRadioH264));
  EXPECT_FALSE(host.checked(res::id::kDeinterlaceCheck));
  EXPECT_EQ(host.text(res::id::kSourceEdit), home_.string());
  EXPECT_EQ(host.listIndex(res::id::kFpsList), 3);  // a value in range is read as stored
  window.onDestroy();
}

}  // namespace
}  // namespace vexlo::platform
