// Automatic mode over awkward names, as a user's shell would pass them: for each, no file but the
// named output changes, and the exit status and the line on standard error say what happened.

#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <tuple>
#include <thread>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Size, modification time and a hash of the bytes of each name (zeros for a folder or link).
using Snapshot = std::map<std::string, std::tuple<std::uintmax_t, fs::file_time_type, std::size_t>>;

std::string ReadAll(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

Snapshot Take(const fs::path& root) {
  Snapshot snapshot;
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    auto& entry = snapshot[e.path().string()] = {};
    if (e.symlink_status().type() != fs::file_type::regular) continue;
    entry = {e.file_size(), e.last_write_time(), std::hash<std::string>()(ReadAll(e.path()))};
  }
  return snapshot;
}

struct Row {
  const char* what;
  std::string argument;  // "D" stands for the test folder
  int status;            // the expected exit status
  std::string output;    // the file that may change ("" for none)
  const char* line;      // what standard error says
};

class PathMatrix : public ::testing::Test {
 protected:
  void SetUp() override {
    vexlo_ = fs::path(VEXLO_TEST_BINARY_DIR).parent_path() / "vexlo";
    if (!fs::exists(vexlo_)) GTEST_SKIP() << "this build has no window";
    base_ = fs::temp_directory_path() / ("vexlo-paths-" + std::to_string(::getpid()));
    dir_ = base_ / "d";
    fs::remove_all(base_), fs::create_directories(dir_ / "proj.v2");
    const std::string ffmpeg = std::string(VEXLO_FFMPEG_PATH) + " -v error -y -f lavfi -i ";
    ASSERT_EQ(std::system((ffmpeg + "testsrc=size=64x48:rate=10 -t 1 -pix_fmt yuv420p " +
                           (dir_ / "clip.mp4").string()).c_str()), 0);
    ASSERT_EQ(std::system((ffmpeg + "testsrc=size=64x48 -frames:v 2 " +
                           (dir_ / "img%03d.jpg").string()).c_str()), 0);
    fs::copy_file(dir_ / "clip.mp4", dir_ / "proj.v2" / "clip");
    fs::create_symlink(dir_ / "clip.mp4", dir_ / "link.mp4");
    fs::create_hard_link(dir_ / "clip.mp4", dir_ / "hard.mp4");
    for (const char* name : {"take.h264", "proj.WAV", "proj.INDX", "\xEF\xBF\xBD.h264"})
      std::ofstream(dir_ / name) << "keep me";
    deep_ = dir_;  // about 4,000 characters: 21 folders of 190 characters
    for (int i = 0; i < 21; ++i) deep_ /= std::string(190, static_cast<char>('a' + i));
    fs::create_directories(deep_);
  }
  void TearDown() override {
    if (!base_.empty()) fs::remove_all(base_);
  }

  // Runs vexlo SRC,DST in the test folder; the exit status (-1 if it had to be killed after
  // 60 s) and its standard error.
  std::pair<int, std::string> Run(const std::string& argument) {
    const fs::path errors = base_ / "stderr.txt";
    const pid_t pid = ::fork();
    if (pid == 0) {
      const int fd = ::open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      ::dup2(fd, 1);
      ::dup2(fd, 2);
      ::setenv("XDG_CONFIG_HOME", (base_ / "config").c_str(), 1);
      ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
      if (::chdir(dir_.c_str()) != 0) ::_exit(126);
      ::execl(vexlo_.c_str(), vexlo_.c_str(), argument.c_str(), static_cast<char*>(nullptr));
      ::_exit(127);
    }
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + 60s;
    while (::waitpid(pid, &status, WNOHANG) != pid) {
      if (std::chrono::steady_clock::now() > deadline) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
        return {-1, ReadAll(errors)};
      }
      std::this_thread::sleep_for(20ms);
    }
    return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status), ReadAll(errors)};
  }

  fs::path vexlo_, base_, dir_, deep_;
};

std::string Expand(std::string text, const std::string& dir) {
  for (std::size_t at; (at = text.find("D/")) != std::string::npos;) text.replace(at, 1, dir);
  return text;
}

TEST_F(PathMatrix, OnlyTheNamedOutputChangesAndEveryRefusalSaysWhy) {
  const std::string d = dir_.string();
  const std::string deep = deep_.string() + "/out.h264";
  const Row rows[] = {
      {"protocol prefix", "file:D/clip.mp4,D/clip.mp4", 1, "", "protocol"},
      {"image-sequence pattern", "D/img%03d.jpg,D/img001.jpg", 1, "", "image sequence"},
      {"symbolic link", "D/link.mp4,D/clip.mp4", 1, "", "files are the same"},
      {"hard link", "D/clip.mp4,D/hard.mp4", 1, "", "files are the same"},
      {"relative", "clip.mp4,out rel.h264", 0, "D/out rel.h264", "END CONVERSION"},
      {"comma", "D/clip.mp4,D/take.h264,v2.h264", 1, "", "Commas split"},
      {"invalid UTF-8", "D/clip.mp4,D/\xFF.h264", 0, "D/\xFF.h264", "END CONVERSION"},
      {"dot in a folder", "D/proj.v2/clip,D/proj.v2/clip.h264", 0, "D/proj.v2/clip.h264",
       "END CONVERSION"},
      {"quote", "D/clip.mp4,D/a\"b.h264", 1, "", "double quote"},
      {"leading dash", "clip.mp4,-y.h264", 0, "D/-y.h264", "END CONVERSION"},
      {"spaces", "D/clip.mp4,D/sp ace .h264", 0, "D/sp ace .h264", "END CONVERSION"},
      {"4,000 characters", "D/clip.mp4," + deep, 0, deep, "END CONVERSION"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    const std::string output = Expand(row.output, d);
    const Snapshot before = Take(dir_);
    const auto [status, errors] = Run(Expand(row.argument, d));
    Snapshot after = Take(dir_);
    EXPECT_EQ(status, row.status) << errors;
    EXPECT_NE(errors.find(row.line), std::string::npos) << errors;
    if (!output.empty()) {
      EXPECT_GT(std::get<0>(after[output]), 0u) << "no output written";
      after.erase(output);
    }
    Snapshot expected = before;
    expected.erase(output);
    EXPECT_TRUE(after == expected) << "a file other than the named output changed";
  }
}

}  // namespace
