#include "platform/RegistryHive.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace vexlo::platform {
namespace {

std::vector<std::uint8_t> Bytes(std::string_view text) {
  return {text.begin(), text.end()};
}

std::vector<std::uint8_t> Sz(std::string_view text) {
  auto bytes = Bytes(text);
  bytes.push_back(0);
  return bytes;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteFile(const std::string& path, const std::string& text) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

// Each test gets a configuration directory of its own.
class RegistryHiveTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = std::string(VEXLO_TEST_BINARY_DIR) + "/registry-hive-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    home_ = pattern;
    ::setenv("XDG_CONFIG_HOME", home_.c_str(), 1);
  }
  void TearDown() override { std::filesystem::remove_all(home_); }
  std::string HivePath() const { return home_ + "/vexlo/HKEY_CURRENT_USER.reg"; }

  std::string home_;
};

TEST_F(RegistryHiveTest, WritesTheExactTextOfARegistryExport) {
  ASSERT_TRUE(SetValue(RegistryRoot::kCurrentUser, "VexloDirectory", "FileOrigine",
                       {kRegSz, Sz("C:\\in\\clip.mov")}));
  ASSERT_TRUE(SetValue(RegistryRoot::kCurrentUser, "VexloDirectory", "iNumCRF",
                       {kRegDword, {0x0c, 0, 0, 0}}));
  ASSERT_TRUE(SetValue(RegistryRoot::kCurrentUser, "Software\\Other", "", {3, {0xde, 0xad}}));
  EXPECT_EQ(ReadFile(HivePath()),
            "Windows Registry Editor Version 5.00\n"
            "\n"
            "[HKEY_CURRENT_USER\\VexloDirectory]\n"
            "\"FileOrigine\"=\"C:\\\\in\\\\clip.mov\"\n"
            "\"iNumCRF\"=dword:0000000c\n"
            "\n"
            "[HKEY_CURRENT_USER\\Software\\Other]\n"
            "@=hex(3):de,ad\n"
            "\n");
  struct stat info {};
  ASSERT_EQ(::stat((home_ + "/vexlo").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);
}

struct FormCase {
  const char* what;
  std::string name;
  RegistryValue value;
  std::string line;  // as written in the hive file
};

TEST_F(RegistryHiveTest, EveryValueKeepsItsTypeAndBytes) {
  const std::vector<FormCase> cases = {
      {"quotes and backslashes", "a\"b\\c", {kRegSz, Sz("x\\\"y")}, R"("a\"b\\c"="x\\\"y")"},
      {"non-ASCII UTF-8", "Größe", {kRegSz, Sz("日本語 é")}, "\"Größe\"=\"日本語 é\""},
      {"empty text", "e", {kRegSz, Sz("")}, "\"e\"=\"\""},
      {"text without its zero", "t", {kRegSz, Bytes("ab")}, "\"t\"=hex(1):61,62"},
      {"text with two zeros", "t", {kRegSz, Sz(std::string("a\0", 2))}, "\"t\"=hex(1):61,00,00"},
      {"text with a tab", "t", {kRegSz, Sz("a\tb")}, "\"t\"=hex(1):61,09,62,00"},
      {"invalid UTF-8", "t", {kRegSz, Sz("\xC3(")}, "\"t\"=hex(1):c3,28,00"},
      {"no bytes", "t", {kRegSz, {}}, "\"t\"=hex(1):"},
      {"dword", "d", {kRegDword, {0x78, 0x56, 0x34, 0x12}}, "\"d\"=dword:12345678"},
      {"short dword", "d", {kRegDword, {1, 2, 3}}, "\"d\"=hex(4):01,02,03"},
      {"binary", "b", {3, {0x00, 0xff, 0x7f}}, "\"b\"=hex(3):00,ff,7f"},
      {"large type number", "q", {0xfffffffe, {0x10}}, "\"q\"=hex(fffffffe):10"},
      {"default value", "", {kRegDword, {0, 0, 0, 0}}, "@=dword:00000000"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(SetValue(RegistryRoot::kCurrentUser, "K", c.name, c.value));
    EXPECT_EQ(QueryValue(RegistryRoot::kCurrentUser, "K", c.name), c.value);
    EXPECT_NE(ReadFile(HivePath()).find("\n" + c.line + "\n"), std::string::npos);
    std::filesystem::remove(HivePath());
  }
}

TEST_F(RegistryHiveTest, NamesAndKeysCompareWithoutCaseAndKeepTheirSpelling) {
  ASSERT_TRUE(SetValue(RegistryRoot::kCurrentUser, "Vexlo\\Sub", "FileOrigine", {kRegSz, Sz("1")}));
  ASSERT_TRUE(SetValue(RegistryRoot::kCurrentUser, "VEXLO\\sub", "FILEORIGINE", {kRegSz, Sz("2")}));
  EXPECT_EQ(QueryValue(RegistryRoot::kCurrentUser, "vexlo\\SUB", "fileorigine"),
            (RegistryValue{kRegSz, Sz("2")}));
  const auto text = ReadFile(HivePath());
  EXPECT_NE(text.find("[HKEY_CURRENT_USER\\Vexlo\\Sub]\n\"FileOrigine\"=\"2\"\n\n"),
            std::string::npos);
  EXPECT_EQ(text.find("FILEORIGINE"), std::string::npos);
  EXPECT_TRUE(KeyExists(RegistryRoot::kCurrentUser, "vexlo"));
  EXPECT_FALSE(KeyExists(RegistryRoot::kCurrentUser, "Vex"));
}

TEST_F(RegistryHiveTest, RefusesKeysAndNamesThatCannotBeStored) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"\\lead", "n"}, {"trail\\", "n"},     {"a\\\\b", "n"},
      {"a\nb", "n"},   {"k", "line\nbreak"}, {"k", "bad\xFFutf8"},
  };
  for (const auto& [key, name] : cases) {
    EXPECT_FALSE(SetValue(RegistryRoot::kCurrentUser, key, name, {kRegSz, Sz("x")})) << key;
  }
  EXPECT_FALSE(std::filesystem::exists(HivePath()));
}

constexpr const char* kHead = "Windows Registry Editor Version 5.00\n\n";

TEST(RegistryHiveParse, AcceptsWhatRegistryExportsContain) {
  const std::vector<std::pair<std::string, RegistryValue>> cases = {
      {std::string(kHead) + "[HKEY_CURRENT_USER\\K]\n\"v\"=\"x\"\n", {kRegSz, Sz("x")}},
      {"\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\K]\r\n"
       "\"v\"=dword:0000ABCD\r\n",
       {kRegDword, {0xcd, 0xab, 0, 0}}},
      {std::string(kHead) + "; comment\n[hkey_current_user\\K]\n\"v\"=hex:01,02,\\\n  03\n",
       {3, {1, 2, 3}}},
      {std::string(kHead) + "[HKEY_CURRENT_USER\\K]\n\"v\"=\"old\"\n[HKEY_CURRENT_USER\\k]\n"
                            "\"V\"=hex(7):00\n",
       {7, {0}}},
  };
  for (const auto& [text, expected] : cases) {
    const auto hive = ParseRegistryHive(text, RegistryRoot::kCurrentUser);
    ASSERT_TRUE(hive.has_value()) << text;
    ASSERT_EQ(hive->keys.size(), 1u) << text;
    ASSERT_EQ(hive->keys[0].values.size(), 1u) << text;
    EXPECT_EQ(hive->keys[0].values[0].second, expected) << text;
  }
}

TEST(RegistryHiveParse, RefusesTornOrForeignText) {
  const std::string head = kHead;
  const std::vector<std::string> cases = {
      "",
      "REGEDIT4\n\n[HKEY_CURRENT_USER\\K]\n",
      head + "\"v\"=\"value before any section\"\n",
      head + "[HKEY_LOCAL_MACHINE\\K]\n",
      head + "[HKEY_CURRENT_USER\\K\n",
      head + "[HKEY_CURRENT_USER\\a\\\\b]\n",
      head + "[-HKEY_CURRENT_USER\\K]\n",
      head + "[HKEY_CURRENT_USER\\K]\n\"v\"=\"unterminated\n",
      head + "[HKEY_CURRENT_USER\\K]\n\"v\"=\"bad \\escape\"\n",
      head + "[HKEY_CURRENT_USER\\K]\n\"v\"=dword:0000000\n",
      head + "[HKEY_CURRENT_USER\\K]\n\"v\"=hex(3):01,0\n",
      head + "[HKEY_CURRENT_USER\\K]\n\"v\"=hex(3):01,\n",
      head + "[HKEY_CURRENT_USER\\K]\n\"v\"=hex(3):01,\\\n",
      head + "[HKEY_CURRENT_USER\\K]\n\"v\"=hex(123456789):01\n",
      head + "[HKEY_CURRENT_USER\\K]\n\"v\"=-\n",
      head + "[HKEY_CURRENT_USER\\K]\n\"v\" = \"x\"\n",
      head + "[HKEY_CURRENT_USER\\K]\n\"v\"=\"a\x01z\"\n",
  };
  for (const auto& text : cases) {
    EXPECT_FALSE(ParseRegistryHive(text, RegistryRoot::kCurrentUser).has_value()) << text;
  }
}

TEST_F(RegistryHiveTest, AnUnparseableFileIsSetAsideAndTheNextWriteStartsAfresh) {
  const std::string valid = std::string(kHead) + "[HKEY_CURRENT_USER\\K]\n\"old\"=\"value\"\n\n";
  const std::vector<std::string> cases = {
      "\177ELF\2\1\1 garbage",
      "[HKEY_CURRENT_USER\\K]\n\"old\"=\"no header\"\n",
  };
  for (const auto& content : cases) {
    WriteFile(HivePath(), content);
    EXPECT_FALSE(QueryValue(RegistryRoot::kCurrentUser, "K", "old").has_value());
    EXPECT_FALSE(std::filesystem::exists(HivePath()));
    EXPECT_EQ(ReadFile(HivePath() + ".bad"), content);

    WriteFile(HivePath(), content);
    ASSERT_TRUE(SetValue(RegistryRoot::kCurrentUser, "K", "new", {kRegSz, Sz("x")}));
    EXPECT_EQ(ReadFile(HivePath() + ".bad"), content);
    EXPECT_EQ(ReadFile(HivePath()),
              std::string(kHead) + "[HKEY_CURRENT_USER\\K]\n\"new\"=\"x\"\n\n");
    std::filesystem::remove(HivePath() + ".bad");
    std::filesystem::remove(HivePath() + ".bad.2");
  }
}

TEST_F(RegistryHiveTest, AnUnreadableHiveIsNeverReplaced) {
  std::filesystem::create_directories(HivePath());  // a directory where the file belongs
  EXPECT_FALSE(QueryValue(RegistryRoot::kCurrentUser, "K", "v").has_value());
  EXPECT_FALSE(SetValue(RegistryRoot::kCurrentUser, "K", "v", {kRegSz, Sz("x")}));
  EXPECT_TRUE(std::filesystem::is_directory(HivePath()));
}

// Random bytes and damaged copies of a valid file never crash the parser, and whatever it
// accepts survives a second trip through the writer unchanged.
TEST(RegistryHiveParse, SurvivesRandomAndDamagedInput) {
  RegistryHive sample;
  PutRegistryValue(sample, "VexloDirectory", "FileOrigine", {kRegSz, Sz("/tmp/a \"b\".mov")});
  PutRegistryValue(sample, "VexloDirectory", "iNumCRF", {kRegDword, {5, 0, 0, 0}});
  PutRegistryValue(sample, "Other\\Key", "", {9, {1, 2, 3, 0xff}});
  const std::string valid = FormatRegistryHive(sample, RegistryRoot::kCurrentUser);

  std::mt19937 random(20240601);
  auto byte = [&] { return static_cast<char>(random() & 0xff); };
  for (int round = 0; round < 4000; ++round) {
    std::string text;
    if (round % 2 == 0) {
      text.resize(random() % 200);
      for (char& c : text) c = byte();
      if (round % 4 == 0) text = std::string(kHead) + text;
    } else {
      text = valid.substr(0, random() % (valid.size() + 1));
      for (int flips = random() % 4; flips > 0 && !text.empty(); --flips) {
        text[random() % text.size()] = byte();
      }
    }
    const auto hive = ParseRegistryHive(text, RegistryRoot::kCurrentUser);
    if (!hive) continue;
    const std::string again = FormatRegistryHive(*hive, RegistryRoot::kCurrentUser);
    const auto reparsed = ParseRegistryHive(again, RegistryRoot::kCurrentUser);
    ASSERT_TRUE(reparsed.has_value()) << text;
    EXPECT_EQ(FormatRegistryHive(*reparsed, RegistryRoot::kCurrentUser), again);
  }
}

}  // namespace
}  // namespace vexlo::platform
