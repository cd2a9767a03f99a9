#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "app/RegistryStore.h"
#include "platform/RegistryHive.h"
#include "tests/support/Support.h"

namespace vexlo::platform {
namespace {

using testing::ReadAll;
constexpr auto kUser = RegistryRoot::kCurrentUser;
constexpr const char* kHead = "Windows Registry Editor Version 5.00\n\n";
// The Windows build keeps the settings in the real registry: no hive file to look at.
#ifdef _WIN32
constexpr bool kHiveFile = false;
#else
constexpr bool kHiveFile = true;
#endif
#define SKIP_WITHOUT_HIVE_FILE() \
  if (!kHiveFile) GTEST_SKIP() << "the hive file's own behaviour: the registry holds the values"

std::vector<std::uint8_t> Bytes(std::string_view text, bool zero = true) {
  std::vector<std::uint8_t> bytes(text.begin(), text.end());
  if (zero) bytes.push_back(0);
  return bytes;
}

class RegistryTest : public ::testing::Test {
 protected:
  std::string HivePath() const { return home_.path() + "/vexlo/HKEY_CURRENT_USER.reg"; }
  void WriteHive(const std::string& text) {
    std::filesystem::create_directories(home_.path() + "/vexlo");
    std::ofstream(HivePath(), std::ios::binary) << text;
  }
  testing::ConfigHome home_;
  app::RegistryStore store_;
};

TEST_F(RegistryTest, WritesTheExactTextOfARegistryExport) {
  SKIP_WITHOUT_HIVE_FILE();
  ASSERT_TRUE(SetValues(kUser, "VexloDirectory",
                        {{"FileOrigine", {kRegSz, Bytes("C:\\in\\clip.mov")}},
                         {"iNumCRF", {kRegDword, {0x0c, 0, 0, 0}}}}));
  ASSERT_TRUE(SetValue(kUser, "Software\\Other", "", {3, {0xde, 0xad}}));
  EXPECT_EQ(ReadAll(HivePath()), std::string(kHead) +
                                     "[HKEY_CURRENT_USER\\VexloDirectory]\n"
                                     "\"FileOrigine\"=\"C:\\\\in\\\\clip.mov\"\n"
                                     "\"iNumCRF\"=dword:0000000c\n\n"
                                     "[HKEY_CURRENT_USER\\Software\\Other]\n"
                                     "@=hex(3):de,ad\n\n");
  struct stat info {};
  ASSERT_EQ(::stat((home_.path() + "/vexlo").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);
}

TEST_F(RegistryTest, EveryValueKeepsItsTypeAndBytes) {
  const std::tuple<std::string, RegistryValue, std::string> rows[] = {
      {"a\"b\\c", {kRegSz, Bytes("x\\\"y")}, R"("a\"b\\c"="x\\\"y")"},
      {"Größe", {kRegSz, Bytes("日本語 é")}, "\"Größe\"=\"日本語 é\""},
      {"e", {kRegSz, Bytes("")}, "\"e\"=\"\""},
      {"t", {kRegSz, Bytes("ab", false)}, "\"t\"=hex(1):61,62"},
      {"t", {kRegSz, Bytes(std::string("a\0", 2))}, "\"t\"=hex(1):61,00,00"},
      {"t", {kRegSz, Bytes("a\tb")}, "\"t\"=hex(1):61,09,62,00"},
      {"t", {kRegSz, Bytes("\xC3(")}, "\"t\"=hex(1):c3,28,00"},
      {"t", {kRegSz, {}}, "\"t\"=hex(1):"},
      {"d", {kRegDword, {0x78, 0x56, 0x34, 0x12}}, "\"d\"=dword:12345678"},
      {"d", {kRegDword, {1, 2, 3}}, "\"d\"=hex(4):01,02,03"},
      {"b", {3, {0x00, 0xff, 0x7f}}, "\"b\"=hex(3):00,ff,7f"},
      {"q", {0xfffffffe, {0x10}}, "\"q\"=hex(fffffffe):10"},
      {"", {kRegDword, {0, 0, 0, 0}}, "@=dword:00000000"}};
  for (const auto& [name, value, line] : rows) {
    ASSERT_TRUE(SetValue(kUser, "K", name, value));
    EXPECT_EQ(QueryValue(kUser, "K", name), value) << line;
    if (kHiveFile) {
      EXPECT_NE(ReadAll(HivePath()).find("\n" + line + "\n"), std::string::npos) << line;
    }
    std::filesystem::remove(HivePath());
  }
  // Names and keys compare without case and keep their first spelling.
  ASSERT_TRUE(SetValue(kUser, "Vexlo\\Sub", "FileOrigine", {kRegSz, Bytes("1")}));
  ASSERT_TRUE(SetValue(kUser, "VEXLO\\sub", "FILEORIGINE", {kRegSz, Bytes("2")}));
  EXPECT_EQ(QueryValue(kUser, "vexlo\\SUB", "fileorigine"), (RegistryValue{kRegSz, Bytes("2")}));
  if (kHiveFile) {
    EXPECT_NE(
        ReadAll(HivePath()).find("[HKEY_CURRENT_USER\\Vexlo\\Sub]\n\"FileOrigine\"=\"2\"\n\n"),
        std::string::npos);
  }
  EXPECT_TRUE(KeyExists(kUser, "vexlo"));
  EXPECT_FALSE(KeyExists(kUser, "Vex"));
  std::filesystem::remove(HivePath());
  for (const auto& [key, name] : {std::pair{"\\lead", "n"},
                                  {"trail\\", "n"},
                                  {"a\\\\b", "n"},
                                  {"a\nb", "n"},
                                  {"k", "line\nbreak"},
                                  {"k", "bad\xFFutf8"}}) {
    EXPECT_FALSE(SetValue(kUser, key, name, {kRegSz, Bytes("x")})) << key << name;
  }
  // A batch with one such name writes none of its values.
  EXPECT_FALSE(SetValues(kUser, "k", {{"fine", {kRegSz, Bytes("x")}}, {"bad\n", {kRegSz, {}}}}));
  EXPECT_FALSE(std::filesystem::exists(HivePath()));
}

TEST(RegistryHiveParse, AcceptsExportsAndRefusesTornOrForeignText) {
  const std::string head = kHead;
  // clang-format off
  const std::pair<std::string, RegistryValue> accepted[] = {
      {head + "[HKEY_CURRENT_USER\\K]\n\"v\"=\"x\"\n", {kRegSz, Bytes("x")}},
      {"\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\K]\r\n\"v\"=dword:0000ABCD\r\n", {kRegDword, {0xcd, 0xab, 0, 0}}},
      {head + "; comment\n[hkey_current_user\\K]\n\"v\"=hex:01,02,\\\n  03\n", {3, {1, 2, 3}}},
      {head + "[HKEY_CURRENT_USER\\K]\n\"v\"=\"old\"\n[HKEY_CURRENT_USER\\k]\n\"V\"=hex(7):00\n", {7, {0}}},
  };
  // clang-format on
  for (const auto& [text, expected] : accepted) {
    const auto hive = ParseRegistryHive(text, kUser);
    ASSERT_TRUE(hive && hive->keys.size() == 1 && hive->keys[0].values.size() == 1) << text;
    EXPECT_EQ(hive->keys[0].values[0].second, expected) << text;
  }
  const std::string k = head + "[HKEY_CURRENT_USER\\K]\n";
  for (const std::string& text :
       {std::string(), std::string("REGEDIT4\n\n[HKEY_CURRENT_USER\\K]\n"),
        head + "\"v\"=\"value before any section\"\n", head + "[HKEY_LOCAL_MACHINE\\K]\n",
        head + "[HKEY_CURRENT_USER\\K\n", head + "[HKEY_CURRENT_USER\\a\\\\b]\n",
        head + "[-HKEY_CURRENT_USER\\K]\n", k + "\"v\"=\"unterminated\n",
        k + "\"v\"=\"bad \\escape\"\n", k + "\"v\"=dword:0000000\n", k + "\"v\"=hex(3):01,0\n",
        k + "\"v\"=hex(3):01,\n", k + "\"v\"=hex(3):01,\\\n", k + "\"v\"=hex(123456789):01\n",
        k + "\"v\"=-\n", k + "\"v\" = \"x\"\n", k + "\"v\"=\"a\x01z\"\n"}) {
    EXPECT_FALSE(ParseRegistryHive(text, kUser).has_value()) << text;
  }
}

// An unparseable file is set aside on the first read; an export edited by hand is read as far as
// it can be and left as it is; a file that cannot be read is never replaced.
TEST_F(RegistryTest, UnparseableFilesAreSetAsideHandEditedOnesReadAndUnreadableOnesKept) {
  SKIP_WITHOUT_HIVE_FILE();
  const std::string k = std::string(kHead) + "[HKEY_CURRENT_USER\\K]\n";
  const std::pair<std::string, std::uint32_t> rows[] = {
      // the file, the value read (0: set aside)
      {"\177ELF\2\1\1 garbage", 0},
      {"[HKEY_CURRENT_USER\\K]\n\"v\"=dword:00000007\n", 0},  // no header
      {k + "\"v\"=dword:00000007", 7},                        // no final line feed
      {"Windows Registry Editor Version 5.00 \r\n  ; by hand\r\n[HKEY_CURRENT_USER\\K]\t\r\n"
       "\"v\"=dword:00000007  \r\n",
       7},
      {k + "\"w\"=damaged\n\"v\"=dword:00000007\n", 7}};  // only what can be read
  for (const auto& [text, value] : rows) {
    WriteHive(text);
    EXPECT_EQ(store_.ReadDword("K", "v", 0), value) << text;
    EXPECT_EQ(ReadAll(value ? HivePath() : HivePath() + ".bad"), text);
    EXPECT_EQ(std::filesystem::exists(HivePath()), value != 0);
    std::filesystem::remove(HivePath() + ".bad");
  }
  std::filesystem::remove(HivePath());
  std::filesystem::create_directories(HivePath());  // a folder where the file belongs
  EXPECT_FALSE(QueryValue(kUser, "K", "v").has_value());
  EXPECT_FALSE(SetValue(kUser, "K", "v", {kRegSz, Bytes("x")}));
  EXPECT_TRUE(std::filesystem::is_directory(HivePath()));
}

// A damaged file behind a link is set aside by the next write, which keeps what could be read
// of it and writes through the link; a second damaged file does not replace the first.
TEST_F(RegistryTest, WritesGoThroughALinkAndKeepEveryDamagedFile) {
  SKIP_WITHOUT_HIVE_FILE();
  const std::string k = std::string(kHead) + "[HKEY_CURRENT_USER\\K]\n";
  const std::string target = home_.path() + "/elsewhere.reg";
  std::filesystem::create_directories(home_.path() + "/vexlo");
  std::filesystem::create_symlink("../elsewhere.reg", HivePath());
  const std::string damaged[] = {k + "\"v\"=dword:00000007\n\"w\"=damaged\n", "\177ELF"};
  for (const std::string& text : damaged) {
    std::ofstream(target) << text;
    ASSERT_EQ(store_.WriteDword("K", "n", 1), 1);
    EXPECT_EQ(store_.ReadDword("K", "v", 0), &text == damaged ? 7u : 0u);
  }
  EXPECT_TRUE(std::filesystem::is_symlink(HivePath()));
  EXPECT_EQ(ReadAll(target), k + "\"n\"=dword:00000001\n\n");
  EXPECT_EQ(ReadAll(target + ".bad"), damaged[0]);
  EXPECT_EQ(ReadAll(target + ".bad.2"), damaged[1]);
}

TEST_F(RegistryTest, StoreReadsUpToFourBytesOrTheFirstZeroAndNeverCreates) {
  constexpr std::uint32_t kDefault = 0xA5A5A5A5;
  std::string text;
  EXPECT_EQ(store_.ReadDword(app::kSettingsKey, "v", kDefault), kDefault);
  store_.ReadString(app::kSettingsKey, "v", "default", text = "stale");
  EXPECT_EQ(text, "default");
  EXPECT_FALSE(std::filesystem::exists(home_.path() + "/vexlo"));
  ASSERT_EQ(store_.WriteDword("Elsewhere", "x", 1), 1);
  store_.ReadString(app::kSettingsKey, "FileOrigine", "/prog", text);
  EXPECT_FALSE(KeyExists(kUser, app::kSettingsKey));
  const std::tuple<RegistryValue, std::uint32_t, std::string> rows[] = {
      {{kRegDword, {0x0c, 0, 0, 0x80}}, 0x8000000c, "\x0c"},
      {{kRegSz, Bytes("ab")}, 0x006261, "ab"},
      {{kRegSz, Bytes("abc")}, 0x00636261, "abc"},
      {{kRegSz, Bytes("abcd")}, kDefault, "abcd"},
      {{kRegSz, Bytes("")}, 0, ""},
      {{kRegSz, {}}, 0, ""},
      {{kRegSz, Bytes("ab", false)}, 0x6261, "ab"},
      {{kRegSz, Bytes(std::string("a\0b", 3))}, 0x00620061, "a"},
      {{3, {0x34, 0x12}}, 0x1234, "4\x12"},
      {{kRegDword, {1, 0, 0, 0, 0, 0, 0, 0}}, kDefault, "\x01"}};
  for (const auto& [value, number, string] : rows) {
    ASSERT_TRUE(SetValue(kUser, app::kSettingsKey, "V", value));
    EXPECT_EQ(store_.ReadDword(app::kSettingsKey, "v", kDefault), number) << string;
    store_.ReadString(app::kSettingsKey, "v", "default", text = "stale");
    EXPECT_EQ(text, string);
    store_.ReadString(app::kSettingsKey, "other", "default", text);
    EXPECT_EQ(text, "default");
  }
}

TEST_F(RegistryTest, StoreWritesTheirTypeAndExactBytesOrReturnZero) {
  EXPECT_EQ(store_.WriteDword(app::kSettingsKey, "iNumCRF", 0x01020304), 1);
  EXPECT_EQ(store_.WriteString(app::kSettingsKey, "FileOrigine", "/tmp/é.mov"), 1);
  EXPECT_EQ(store_.WriteString(app::kSettingsKey, "Empty", ""), 1);
  EXPECT_EQ(store_.WriteString(app::kSettingsKey, "Cut", std::string("ab\0cd", 5)), 1);
  EXPECT_EQ(QueryValue(kUser, app::kSettingsKey, "iNumCRF"),
            (RegistryValue{kRegDword, {4, 3, 2, 1}}));
  EXPECT_EQ(QueryValue(kUser, app::kSettingsKey, "FileOrigine"),
            (RegistryValue{kRegSz, Bytes("/tmp/é.mov")}));
  EXPECT_EQ(QueryValue(kUser, app::kSettingsKey, "Empty"), (RegistryValue{kRegSz, {0}}));
  EXPECT_EQ(QueryValue(kUser, app::kSettingsKey, "Cut"), (RegistryValue{kRegSz, Bytes("ab")}));
  EXPECT_EQ(store_.WriteString(app::kSettingsKey, "bad\nname", "x"), 0);
  EXPECT_EQ(store_.WriteDword("bad\\\\path", "a", 1), 0);
#ifndef _WIN32  // a settings key of the registry cannot be made unwritable here
  std::ofstream(home_.path() + "/file") << "x";
  ::setenv("XDG_CONFIG_HOME", (home_.path() + "/file").c_str(), 1);  // no folder can be made there
  EXPECT_EQ(store_.WriteDword(app::kSettingsKey, "a", 1), 0);
  EXPECT_EQ(store_.WriteString(app::kSettingsKey, "b", "x"), 0);
#endif
}

}  // namespace
}  // namespace vexlo::platform
