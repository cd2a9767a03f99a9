#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/RegistryStore.h"
#include "platform/RegistryHive.h"

namespace vexlo::app {
namespace {

constexpr int kValuesPerWriter = 200;

std::string NameOf(int writer, int i) {
  return "w" + std::to_string(writer) + "_" + std::to_string(i);
}

// Writes this writer's values with a store of its own, strings and numbers in turn; the number
// of failed writes.
int WriteValues(int writer) {
  RegistryStore store;
  int failures = 0;
  for (int i = 0; i < kValuesPerWriter; ++i) {
    const std::string name = NameOf(writer, i);
    const int written = (i % 2 == 0) ? store.WriteDword(kSettingsKey, name, writer * 1000 + i)
                                     : store.WriteString(kSettingsKey, name, "text " + name);
    if (written != 1) ++failures;
  }
  return failures;
}

class RegistryConcurrencyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = std::string(VEXLO_TEST_BINARY_DIR) + "/registry-concurrency-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    home_ = pattern;
    ::setenv("XDG_CONFIG_HOME", home_.c_str(), 1);
  }
  void TearDown() override { std::filesystem::remove_all(home_); }

  // Every value of both writers is there, the file parses, and nothing was set aside.
  void ExpectAllValues() const {
    const RegistryStore store;
    for (int writer = 0; writer < 2; ++writer) {
      for (int i = 0; i < kValuesPerWriter; ++i) {
        const std::string name = NameOf(writer, i);
        if (i % 2 == 0) {
          EXPECT_EQ(store.ReadDword(kSettingsKey, name, 0xFFFFFFFF), writer * 1000u + i) << name;
        } else {
          std::string text;
          store.ReadString(kSettingsKey, name, "missing", text);
          EXPECT_EQ(text, "text " + name);
        }
      }
    }
    const std::string hive = platform::RegistryHivePath(platform::RegistryRoot::kCurrentUser);
    std::stringstream text;
    text << std::ifstream(hive).rdbuf();
    EXPECT_TRUE(platform::ParseRegistryHive(text.str(), platform::RegistryRoot::kCurrentUser));
    EXPECT_FALSE(std::filesystem::exists(hive + ".bad"));
  }

  std::string home_;
};

TEST_F(RegistryConcurrencyTest, TwoProcessesLoseNoValue) {
  int gate[2];
  ASSERT_EQ(::pipe(gate), 0);
  std::vector<pid_t> children;
  for (int writer = 0; writer < 2; ++writer) {
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      ::close(gate[1]);
      char go;
      (void)!::read(gate[0], &go, 1);  // both start when the parent closes the gate
      ::_exit(WriteValues(writer) == 0 ? 0 : 1);
    }
    children.push_back(pid);
  }
  ::close(gate[0]);
  ::close(gate[1]);
  for (const pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
  }
  ExpectAllValues();
}

TEST_F(RegistryConcurrencyTest, TwoThreadsLoseNoValue) {
  int failures[2] = {0, 0};
  std::thread first([&] { failures[0] = WriteValues(0); });
  std::thread second([&] { failures[1] = WriteValues(1); });
  first.join();
  second.join();
  EXPECT_EQ(failures[0], 0);
  EXPECT_EQ(failures[1], 0);
  ExpectAllValues();
}

}  // namespace
}  // namespace vexlo::app
