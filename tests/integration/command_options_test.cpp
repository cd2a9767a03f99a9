// The executable's options, as a script uses them: a copy of vexlo whose ffmpeg.bin only writes
// down the command line it was given, so every option can be seen reaching the tool, and every
// bad option seen stopping vexlo before any tool starts. (The installed program's --help,
// --version and a real encode of paths with commas: tests/install/install_test.sh.)

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Args = std::vector<std::string>;

fs::path BuiltVexlo() { return fs::path(VEXLO_TEST_BINARY_DIR).parent_path() / "vexlo"; }

std::string Read(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// A copy of vexlo in a folder of its own, beside an ffmpeg.bin that writes down its command line.
class CommandOptions : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!fs::exists(BuiltVexlo())) GTEST_SKIP() << "this build has no window (VEXLO_BUILD_GUI off)";
    dir_ = fs::temp_directory_path() / ("vexlo-options-" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_ / "prog");
    fs::copy_file(BuiltVexlo(), dir_ / "prog" / "vexlo");
    std::ofstream(dir_ / "prog" / "ffmpeg.bin")
        << "#!/bin/sh\necho \"$*\" >> \"$(dirname \"$0\")/../tool.log\"\n";
    fs::permissions(dir_ / "prog" / "ffmpeg.bin", fs::perms::owner_all);
    std::ofstream(dir_ / "in.mp4") << "a source";  // the copy's tool never reads it
  }
  void TearDown() override { fs::remove_all(dir_); }

  // Runs the copy in the test's folder with a configuration folder of its own; its status.
  int Vexlo(const Args& args) {
    fs::remove(dir_ / "tool.log");
    std::string command = "cd '" + dir_.string() + "' && XDG_CONFIG_HOME='" +
                          (dir_ / "config").string() + "' QT_QPA_PLATFORM=offscreen prog/vexlo";
    for (const std::string& arg : args) command += " '" + arg + "'";
    const int status = std::system((command + " >out.txt 2>err.txt").c_str());
    out_ = Read(dir_ / "out.txt");
    err_ = Read(dir_ / "err.txt");
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  std::string ToolLog() const { return Read(dir_ / "tool.log"); }

  fs::path dir_;
  std::string out_, err_;
};

TEST_F(CommandOptions, EachOptionReachesTheToolAndNoneTouchesTheSettings) {
  const struct {
    Args extra;
    std::string piece;  // in the tool's command line
  } cases[] = {
      {{}, "-vcodec libx264 -g 64 -preset slow -tune zerolatency -vprofile baseline -pix_fmt "
           "yuv420p -crf 12 -map_metadata -1 " + (dir_ / "out.h264").string()},
      {{"--type", "h265"}, "libx265"},
      {{"--type", "mpv"}, "-f mp4"},
      {{"--type", "wav"}, "pcm_s16le -ar 48000 -map_metadata -1 " + (dir_ / "out.WAV").string()},
      {{"--type", "h264", "--profile", "2"}, "-vprofile high"},
      {{"--crf", "0"}, "-crf 3"},
      {{"--gpu", "nvidia"}, "h264_nvenc"},
      {{"--gpu", "amd", "--crf", "13"}, "h264_amf -g 64 -vprofile baseline -b:v 2M"},
      {{"--fps", "7"}, "fps=fps=25 -r 25"},
      {{"--resize", "8"}, "scale=1280x720"},
      {{"--deinterlace"}, "yadif"},
      {{"--short-gop"}, "-g 8"},
  };
  for (const auto& c : cases) {
    Args args = {"--source", "in.mp4", "--destination", "out.h264"};
    args.insert(args.end(), c.extra.begin(), c.extra.end());
    EXPECT_EQ(Vexlo(args), 0) << c.piece << "\n" << err_;
    EXPECT_NE(ToolLog().find(c.piece), std::string::npos) << c.piece << "\n" << ToolLog();
  }
  EXPECT_FALSE(fs::exists(dir_ / "config")) << "the options' form wrote the settings";
}

TEST_F(CommandOptions, BadOptionsEndWithOneLineAndStatus2BeforeAnyTool) {
  const struct {
    bool job;  // after --source in.mp4 --destination out.h264
    Args args;
    std::string names;  // the line names what is wrong
  } cases[] = {
      {false, {"--sourc", "in.mp4"}, "'sourc'"},
      {true, {"--crf"}, "'--crf'"},
      {true, {"--crf", "14"}, "--crf takes a position in the \"CRF (3=Best)\" list, 0 to 13"},
      {true, {"--crf", "2x"}, "\"2x\""},
      {true, {"--profile", "3"}, "--profile"},
      {true, {"--fps", "13"}, "--fps"},
      {true, {"--resize", "15"}, "--resize"},
      {true, {"--type", "avi"}, "--type takes h264, h265, mpv or wav, not \"avi\""},
      {true, {"--gpu", "intel"}, "--gpu takes none, nvidia or amd"},
      {true, {"--deinterlace=1"}, "--deinterlace"},
      {true, {"--crf", "1", "--crf", "2"}, "--crf is given twice"},
      {true, {"extra"}, "\"extra\""},
      {false, {"--source", "in.mp4"}, "--destination"},
      {false, {"--destination", "out.h264", "--type", "mpv"}, "--source"},
      {false, {"--source", "", "--destination", "out.h264"}, "--source needs a path"},
      {false, {"--source", "gone.mp4", "--destination", "out.h264"}, "gone.mp4\": No such file"},
      {false, {"--source", ".", "--destination", "out.h264"}, "is a folder"},
      {false, {"--source", "in.mp4", "--destination", "."}, "is a folder"},
      {false, {"--source", "in.mp4", "--destination", "no/out.h264"}, "/no\" does not exist"},
      {false, {"--screenshot", "x.png", "--crf", "1"}, "--screenshot"},
  };
  for (const auto& c : cases) {
    Args args = c.job ? Args{"--source", "in.mp4", "--destination", "out.h264"} : Args{};
    args.insert(args.end(), c.args.begin(), c.args.end());
    EXPECT_EQ(Vexlo(args), 2) << c.names << "\n" << err_;
    EXPECT_EQ(err_.rfind("vexlo: ", 0), 0u) << err_;
    EXPECT_EQ(err_.find('\n'), err_.size() - 1) << "not one line: " << err_;
    EXPECT_NE(err_.find(c.names), std::string::npos) << c.names << "\n" << err_;
    EXPECT_EQ(out_, "");
    EXPECT_FALSE(fs::exists(dir_ / "tool.log")) << c.names << ": a tool was started";
  }
  EXPECT_FALSE(fs::exists(dir_ / "config"));
}

}  // namespace
