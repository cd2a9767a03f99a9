#include "app/RegistryStore.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

namespace vexlo::app {
namespace {

using platform::kRegDword;
using platform::kRegSz;
using platform::RegistryRoot;
using platform::RegistryValue;

std::vector<std::uint8_t> Bytes(std::string_view text) {
  return {text.begin(), text.end()};
}

std::vector<std::uint8_t> Sz(std::string_view text) {
  auto bytes = Bytes(text);
  bytes.push_back(0);
  return bytes;
}

// Each test gets a configuration directory of its own.
class RegistryStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = std::string(VEXLO_TEST_BINARY_DIR) + "/registry-store-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    home_ = pattern;
    ::setenv("XDG_CONFIG_HOME", home_.c_str(), 1);
  }
  void TearDown() override { std::filesystem::remove_all(home_); }

  static std::optional<RegistryValue> Stored(const std::string& key, const std::string& name,
                                             RegistryRoot root = RegistryRoot::kCurrentUser) {
    return platform::QueryValue(root, key, name);
  }

  std::string home_;
  RegistryStore store_;
};

// What is stored before the read; nothing means an empty configuration directory.
struct ReadCase {
  const char* what;
  std::optional<RegistryValue> stored;
  const char* storedName;
};

constexpr std::uint32_t kDefault = 0xA5A5A5A5;

TEST_F(RegistryStoreTest, ReadDwordTakesUpToFourBytesOfAnyType) {
  struct Case {
    ReadCase read;
    std::uint32_t expected;
  };
  const std::vector<Case> cases = {
      {{"missing key", std::nullopt, "v"}, kDefault},
      {{"missing value", RegistryValue{kRegDword, {1, 0, 0, 0}}, "other"}, kDefault},
      {{"dword", RegistryValue{kRegDword, {0x0c, 0, 0, 0x80}}, "v"}, 0x8000000c},
      {{"text of 3 bytes", RegistryValue{kRegSz, Sz("ab")}, "v"}, 0x006261},
      {{"text of 4 bytes", RegistryValue{kRegSz, Sz("abc")}, "v"}, 0x00636261},
      {{"text of 5 bytes", RegistryValue{kRegSz, Sz("abcd")}, "v"}, kDefault},
      {{"empty text", RegistryValue{kRegSz, Sz("")}, "v"}, 0},
      {{"no bytes", RegistryValue{kRegSz, {}}, "v"}, 0},
      {{"binary of 2 bytes", RegistryValue{3, {0x34, 0x12}}, "v"}, 0x1234},
      {{"dword of 8 bytes", RegistryValue{kRegDword, {1, 0, 0, 0, 0, 0, 0, 0}}, "v"}, kDefault},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.read.what);
    std::filesystem::remove_all(home_ + "/vexlo");
    if (c.read.stored) {
      ASSERT_TRUE(platform::SetValue(RegistryRoot::kCurrentUser, kSettingsKey, c.read.storedName,
                                     *c.read.stored));
    }
    EXPECT_EQ(store_.ReadDword(kSettingsKey, "V", kDefault), c.expected);
  }
}

TEST_F(RegistryStoreTest, ReadStringTakesTheBytesUpToTheFirstZero) {
  struct Case {
    ReadCase read;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {{"missing key", std::nullopt, "v"}, "default"},
      {{"missing value", RegistryValue{kRegSz, Sz("x")}, "other"}, "default"},
      {{"text", RegistryValue{kRegSz, Sz("C:\\in\\clip.mov")}, "v"}, "C:\\in\\clip.mov"},
      {{"empty text", RegistryValue{kRegSz, Sz("")}, "v"}, ""},
      {{"no terminating zero", RegistryValue{kRegSz, Bytes("ab")}, "v"}, "ab"},
      {{"inner zero", RegistryValue{kRegSz, Sz(std::string("a\0b", 3))}, "v"}, "a"},
      {{"no bytes", RegistryValue{kRegSz, {}}, "v"}, ""},
      {{"dword", RegistryValue{kRegDword, {'A', 'B', 0, 0}}, "v"}, "AB"},
      {{"binary", RegistryValue{3, Bytes("xyz")}, "v"}, "xyz"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.read.what);
    std::filesystem::remove_all(home_ + "/vexlo");
    if (c.read.stored) {
      ASSERT_TRUE(platform::SetValue(RegistryRoot::kCurrentUser, kSettingsKey, c.read.storedName,
                                     *c.read.stored));
    }
    std::string out = "stale";
    store_.ReadString(kSettingsKey, "v", "default", out);
    EXPECT_EQ(out, c.expected);
  }
}

TEST_F(RegistryStoreTest, WritesStoreTheirTypeAndExactBytes) {
  EXPECT_EQ(store_.WriteDword(kSettingsKey, "iNumCRF", 0x01020304), 1);
  EXPECT_EQ(store_.WriteString(kSettingsKey, "FileOrigine", "/tmp/é.mov"), 1);
  EXPECT_EQ(store_.WriteString(kSettingsKey, "Empty", ""), 1);
  EXPECT_EQ(store_.WriteString(kSettingsKey, "Cut", std::string("ab\0cd", 5)), 1);
  EXPECT_EQ(Stored(kSettingsKey, "iNumCRF"), (RegistryValue{kRegDword, {4, 3, 2, 1}}));
  EXPECT_EQ(Stored(kSettingsKey, "FileOrigine"), (RegistryValue{kRegSz, Sz("/tmp/é.mov")}));
  EXPECT_EQ(Stored(kSettingsKey, "Empty"), (RegistryValue{kRegSz, {0}}));
  EXPECT_EQ(Stored(kSettingsKey, "Cut"), (RegistryValue{kRegSz, Sz("ab")}));
  EXPECT_EQ(store_.ReadDword(kSettingsKey, "iNumCRF", 0), 0x01020304u);
}

TEST_F(RegistryStoreTest, OverridesChooseTheBasePathAndTheRoot) {
  const std::string base = "Software\\";
  const RegistryRoot machine = RegistryRoot::kLocalMachine;
  EXPECT_EQ(store_.WriteDword(kSettingsKey, "a", 7, &base), 1);
  EXPECT_EQ(store_.WriteString(kSettingsKey, "b", "text", nullptr, &machine), 1);
  EXPECT_EQ(store_.WriteDword("Plain", "c", 9, &base, &machine), 1);

  EXPECT_TRUE(Stored("Software\\VexloDirectory", "a").has_value());
  EXPECT_TRUE(Stored(kSettingsKey, "b", machine).has_value());
  EXPECT_TRUE(Stored("Software\\Plain", "c", machine).has_value());

  std::string out;
  EXPECT_EQ(store_.ReadDword(kSettingsKey, "a", 0, &base), 7u);
  EXPECT_EQ(store_.ReadDword(kSettingsKey, "a", 0), 0u);
  store_.ReadString(kSettingsKey, "b", "none", out, nullptr, &machine);
  EXPECT_EQ(out, "text");
  store_.ReadString(kSettingsKey, "b", "none", out);
  EXPECT_EQ(out, "none");
  EXPECT_EQ(store_.ReadDword("Plain", "c", 0, &base, &machine), 9u);
}

TEST_F(RegistryStoreTest, ReadsNeverCreateTheKeyOrTheFile) {
  std::string out;
  EXPECT_EQ(store_.ReadDword(kSettingsKey, "mOutType", 3), 3u);
  store_.ReadString(kSettingsKey, "FileOrigine", "/prog", out);
  EXPECT_EQ(out, "/prog");
  EXPECT_FALSE(std::filesystem::exists(home_ + "/vexlo"));

  ASSERT_EQ(store_.WriteDword("Elsewhere", "x", 1), 1);
  store_.ReadString(kSettingsKey, "FileOrigine", "/prog", out);
  EXPECT_FALSE(platform::KeyExists(RegistryRoot::kCurrentUser, kSettingsKey));
}

TEST_F(RegistryStoreTest, AFailedWriteReturnsZero) {
  EXPECT_EQ(store_.WriteString(kSettingsKey, "bad\nname", "x"), 0);
  EXPECT_EQ(store_.WriteDword("bad\\\\path", "a", 1), 0);
  const std::string blocker = home_ + "/file";
  std::ofstream(blocker) << "x";
  ::setenv("XDG_CONFIG_HOME", blocker.c_str(), 1);  // the configuration directory cannot exist
  EXPECT_EQ(store_.WriteDword(kSettingsKey, "a", 1), 0);
  EXPECT_EQ(store_.WriteString(kSettingsKey, "b", "x"), 0);
}

TEST_F(RegistryStoreTest, ReadStringMayWriteIntoItsOwnArguments) {
  ASSERT_EQ(store_.WriteString(kSettingsKey, "FileOrigine", "/stored"), 1);
  std::string text = kSettingsKey;
  store_.ReadString(text, "FileOrigine", "/default", text);
  EXPECT_EQ(text, "/stored");
  text = "/default";
  store_.ReadString(kSettingsKey, "Missing", text, text);
  EXPECT_EQ(text, "/default");
}

}  // namespace
}  // namespace vexlo::app
