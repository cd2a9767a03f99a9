// The vexlo executable from the outside, as a script runs it on a headless machine: automatic
// mode over awkward names and failing jobs, the options (a copy of vexlo whose ffmpeg.bin only
// writes down its command line), and the settings file written by two processes at once. No tool
// outlives its job or Vexlo: a stopped tool's whole process group ends, a stopped MP4 encode is
// still a playable file, and a Vexlo killed with SIGKILL takes its tool with it.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <thread>

#include "app/RegistryStore.h"
#include "app/WindowSettings.h"
#include "encode/VideoEncodes.h"
#include "process/ProcessRunner.h"
#include "tests/support/Support.h"

namespace vexlo::app {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Args = std::vector<std::string>;

// The vexlo executable of this build: the tests folder sits beside it.
const fs::path kVexlo = fs::path(VEXLO_TEST_BINARY_DIR).parent_path() / "vexlo";

// Size, modification time and a hash of the bytes of each name (zeros for a folder or link).
using Snapshot = std::map<std::string, std::tuple<std::uintmax_t, fs::file_time_type, std::size_t>>;

Snapshot Take(const fs::path& root) {
  Snapshot snapshot;
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    auto& entry = snapshot[e.path().string()] = {};
    if (e.symlink_status().type() != fs::file_type::regular) continue;
    entry = {e.file_size(), e.last_write_time(),
             std::hash<std::string>()(testing::ReadAll(e.path().string()))};
  }
  return snapshot;
}

std::string Expand(std::string text, const std::string& dir) {
  for (std::size_t at; (at = text.find("D/")) != std::string::npos;) text.replace(at, 1, dir);
  return text;
}

// A word for sh, whatever bytes it holds.
std::string Quote(const fs::path& word) {
  std::string quoted = "'";
  for (char c : word.string()) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

class Executable : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!fs::exists(kVexlo)) GTEST_SKIP() << "this build has no window (VEXLO_BUILD_GUI off)";
    fs::create_directories(dir_);
  }
  // A copy of vexlo in base/FOLDER, beside an ffmpeg.bin of this script when there is one.
  fs::path Copy(const std::string& folder, const std::string& ffmpeg = "") {
    fs::create_directories(base_ / folder);
    fs::copy_file(kVexlo, base_ / folder / "vexlo");
    if (!ffmpeg.empty()) {
      std::ofstream(base_ / folder / "ffmpeg.bin") << "#!/bin/sh\n" << ffmpeg << "\n";
      fs::permissions(base_ / folder / "ffmpeg.bin", fs::perms::owner_all);
    }
    return base_ / folder / "vexlo";
  }
  // Runs the program in the test folder without a display (but Qt's offscreen platform unless
  // told otherwise), with a settings folder of its own: its exit status (137 when it had to be
  // killed after 30 s: every run here ends within seconds, so a window that opens instead of an
  // encode fails within 30 s, not two minutes), standard output and error.
  int Run(const fs::path& program, const Args& args, bool offscreen = true) {
    std::string command = "cd " + Quote(dir_) + " && env -u DISPLAY -u WAYLAND_DISPLAY " +
                          (offscreen ? "QT_QPA_PLATFORM=offscreen" : "-u QT_QPA_PLATFORM") +
                          " XDG_CONFIG_HOME=" + Quote(base_ / "config") + " timeout -s KILL 30 " +
                          Quote(program);
    for (const std::string& arg : args) command += " " + Quote(arg);
    const int status = std::system(
        (command + " >" + Quote(base_ / "out.txt") + " 2>" + Quote(base_ / "err.txt")).c_str());
    out_ = testing::ReadAll((base_ / "out.txt").string());
    err_ = testing::ReadAll((base_ / "err.txt").string());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  const fs::path base_ = testing::MakeTempDirectory("executable"), dir_ = base_ / "d";
  std::string out_, err_;
};

// Automatic mode over awkward names and failing jobs, as a user's shell passes them: for each,
// no file but the named output changes, the exit status says what happened (never a hang), and
// standard error holds the log's lines in order. A source cut short (its header says 10 s) is
// encoded as far as it goes, with a warning, and still exits 0; its whole twin has no warning.
TEST_F(Executable, AutomaticModeChangesOnlyTheNamedOutputAndSaysWhy) {
  fs::create_directories(dir_ / "proj.v2");
  const std::string ffmpeg = std::string(VEXLO_FFMPEG_PATH) + " -v error -y -f lavfi -i ";
  ASSERT_EQ(std::system((ffmpeg + "testsrc=size=64x48:rate=10 -t 1 -pix_fmt yuv420p '" +
                         (dir_ / "in clip.mp4").string() + "'")
                            .c_str()),
            0);
  ASSERT_EQ(
      std::system(
          (ffmpeg + "testsrc=size=64x48 -frames:v 2 " + (dir_ / "img%03d.jpg").string()).c_str()),
      0);
  fs::copy_file(dir_ / "in clip.mp4", dir_ / "clip.mp4");
  for (const char* clip : {"cut.mp4", "whole.mp4"}) fs::copy_file(testing::Clip(clip), dir_ / clip);
  fs::copy_file(dir_ / "clip.mp4", dir_ / "proj.v2" / "clip");
  fs::create_symlink(dir_ / "clip.mp4", dir_ / "link.mp4");
  fs::create_symlink("/dev/full", dir_ / "full.h264");
  fs::create_hard_link(dir_ / "clip.mp4", dir_ / "hard.mp4");
  for (const char* name : {"take.h264", "proj.WAV", "proj.INDX", "\xEF\xBF\xBD.h264"})
    std::ofstream(dir_ / name) << "keep me";
  fs::path deep = dir_;  // about 4,000 characters: 21 folders of 190 characters
  for (int i = 0; i < 21; ++i) deep /= std::string(190, static_cast<char>('a' + i));
  fs::create_directories(deep);
  const fs::path alone = Copy("alone");  // no ffmpeg.bin beside this copy
  const std::string d = dir_.string(), deepOut = deep.string() + "/out.h264";
  const std::string end = "END CONVERSION", missing = "REASON: D/gone.mov: No such file";
  const struct {
    const char* what;
    std::string argument;  // "D/" stands for the test folder
    int status;
    std::string output;            // the file that may change ("" for none)
    std::vector<std::string> err;  // on standard error, in this order
    bool alone = false;            // run the copy without tools
  } rows[] = {
      // clang-format off
      {"protocol prefix", "file:D/clip.mp4,D/clip.mp4", 1, "", {"protocol"}},
      {"image-sequence pattern", "D/img%03d.jpg,D/img001.jpg", 1, "", {"image sequence"}},
      {"symbolic link", "D/link.mp4,D/clip.mp4", 1, "", {"files are the same"}},
      {"hard link", "D/clip.mp4,D/hard.mp4", 1, "", {"files are the same"}},
      {"relative", "clip.mp4,out rel.h264", 0, "D/out rel.h264", {end}},
      {"comma", "D/clip.mp4,D/take.h264,v2.h264", 1, "", {"Commas split"}},
      {"invalid UTF-8", "D/clip.mp4,D/\xFF.h264", 0, "D/\xFF.h264", {end}},
      {"dot in a folder", "D/proj.v2/clip,D/proj.v2/clip.h264", 0, "D/proj.v2/clip.h264", {end}},
      {"quote", "D/clip.mp4,D/a\"b.h264", 1, "", {"double quote"}},
      {"leading dash", "clip.mp4,-y.h264", 0, "D/-y.h264", {end}},
      {"spaces", "D/clip.mp4,D/sp ace .h264", 0, "D/sp ace .h264", {end}},
      {"4,000 characters", "D/clip.mp4," + deepOut, 0, deepOut, {end}},
      {"missing source", "D/gone.mov,D/out.H264", 1, "", {missing, "##### CONVERSION  ERROR"}},
      {"unstartable tool", "D/clip.mp4,D/out.H264", 1, "", {"REASON: ", "could not be started", "##### CREATION  ERROR"}, true},
      {"same file", "D/gone.mov,D/gone.mov", 1, "", {"##### ERROR: Origin and destination files are the same"}},
      // FFmpeg exits 0 when its trailer cannot be written (a full disk)
      {"full disk", "D/clip.mp4,D/full.h264", 1, "", {"REASON: Error writing trailer of", "No space left on device", "##### CONVERSION  BREAK"}},
      {"cut short", "D/cut.mp4,D/cut.h264", 0, "D/cut.h264", {"START CONVERSION", "##### WARNING: The output ends at 0:0", "(the source may be damaged or cut short) ######", end}},
      {"whole", "D/whole.mp4,D/whole.h264", 0, "D/whole.h264", {end}},
      {"profile and CRF", "D/in clip.mp4,D/out.H264,2,0", 0, "D/out.H264", {"START CONVERSION", end}},  // the last
      // clang-format on
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    const std::string output = Expand(row.output, d);
    const Snapshot before = Take(dir_);
    EXPECT_EQ(Run(row.alone ? alone : kVexlo, {Expand(row.argument, d)}), row.status) << err_;
    std::size_t at = 0;
    for (const std::string& line : row.err) {
      at = err_.find(Expand(line, d), at);
      EXPECT_NE(at, std::string::npos) << line << " in order in:\n" << err_;
    }
    EXPECT_EQ(err_.find("WARNING") != std::string::npos, std::string(row.what) == "cut short");
    Snapshot after = Take(dir_);
    if (!output.empty()) {
      EXPECT_GT(std::get<0>(after[output]), 0u) << "no output written";
      after.erase(output);
    }
    Snapshot expected = before;
    expected.erase(output);
    EXPECT_TRUE(after == expected) << "a file other than the named output changed";
  }
  EXPECT_EQ(testing::Capture("\"" VEXLO_FFPROBE_PATH
                             "\" -v error -count_frames -select_streams v:0 -show_entries "
                             "stream=codec_name,nb_read_frames -of csv=p=0 \"" +
                             d + "/out.H264\""),
            "h264,10\n");
  const std::string settings =
      testing::ReadAll((base_ / "config/vexlo/HKEY_CURRENT_USER.reg").string());
  for (const std::string& line :
       {"\"FileOrigine\"=\"" + d + "/in clip.mp4\"", std::string("\"iNumProfile\"=dword:00000002"),
        std::string("\"iNumCRF\"=dword:00000000"), std::string("\"FileDestinazione3\"=\"\"")}) {
    EXPECT_NE(settings.find(line), std::string::npos) << line << "\n" << settings;
  }
}

// Settings that cannot be saved (a file stands where their folder should be) do not stop the
// encode, which still ends with status 0; standard error says once where and why they were not.
TEST_F(Executable, AutomaticModeTellsOnceThatItsSettingsWereNotSaved) {
  std::ofstream(base_ / "config") << "a file where the settings folder should be";
  fs::copy_file(testing::Clip("clip.mp4"), dir_ / "clip.mp4");
  EXPECT_EQ(Run(kVexlo, {(dir_ / "clip.mp4").string() + "," + (dir_ / "out.h264").string()}), 0)
      << err_;
  EXPECT_GT(fs::file_size(dir_ / "out.h264"), 0u);
  std::string line = SettingsNotSavedLine(
      (base_ / "config/vexlo/HKEY_CURRENT_USER.reg").string(), ENOTDIR);
  line.replace(line.size() - 2, 2, "\n");  // standard error has the pane's CR LF as LF
  EXPECT_EQ(testing::Count(err_, line), 1u) << err_;
  EXPECT_EQ(testing::Count(err_, "settings could not be saved"), 1u) << err_;
  EXPECT_LT(err_.find(line), err_.find("END CONVERSION")) << err_;
}

// The options reach the tool and none touches the settings; a bad one ends vexlo with one line
// and status 2 (a missing source 1) before any tool starts. (How each option is read: app_test's table.)
TEST_F(Executable, OptionsReachTheToolAndBadOnesStopBeforeIt) {
  // The stand-in writes down its command line and writes its output, the last argument.
  const fs::path vexlo = Copy("prog",
                              "echo \"$*\" >> \"$(dirname \"$0\")/../tool.log\"\n"
                              "for a; do last=$a; done; echo output > \"$last\"");
  const fs::path toolLog = base_ / "tool.log";
  std::ofstream(dir_ / "in.mp4") << "a source";  // the copy's tool never reads it
  const Args job = {"--source", "in.mp4", "--destination", "out.h264"};
  const struct {
    Args extra;
    std::string piece;  // in the tool's command line
  } options[] = {
      {{},
       "-vcodec libx264 -g 64 -preset slow -tune zerolatency -vprofile baseline -pix_fmt "
       "yuv420p -crf 12 -map_metadata -1 " +
           (dir_ / "out.vexlo-partial-").string()},
      {{"--profile", "2", "--gpu", "nvidia", "--crf", "13", "--fps", "7", "--resize", "8",
        "--deinterlace", "--short-gop"},
       "-c:v h264_nvenc -g 8 -vprofile high -b:v 2M -filter:v fps=fps=25,yadif,scale=1280x720 "
       "-r 25"},
      {{"--type", "h265", "--gpu", "amd", "--crf", "0"}, "hevc_vaapi -rc_mode CBR -b:v 60M"},
      {{"--type", "mpv"}, "-f mp4"},
      {{"--type", "wav"}, "pcm_s16le -ar 48000 -map_metadata -1 " + (dir_ / "out.vexlo-partial-").string()},
  };
  for (const auto& c : options) {
    Args args = job;
    args.insert(args.end(), c.extra.begin(), c.extra.end());
    fs::remove(toolLog);
    EXPECT_EQ(Run(vexlo, args), 0) << c.piece << "\n" << err_;
    const std::string tool = testing::ReadAll(toolLog.string());
    EXPECT_NE(tool.find(c.piece), std::string::npos) << c.piece << "\n" << tool;
    // The tool wrote a temporary name beside the destination, renamed into place at its end.
    const fs::path output = dir_ / (c.piece.starts_with("pcm") ? "out.WAV" : "out.h264");
    EXPECT_EQ(testing::ReadAll(output.string()), "output\n") << c.piece;
    fs::remove(output);
    for (const auto& entry : fs::directory_iterator(dir_))
      EXPECT_EQ(entry.path().string().find("vexlo-partial"), std::string::npos) << entry.path();
  }
  // A bad option is the command's fault (2); a missing source the file's (1).
  for (const auto& [bad, status] :
       {std::pair(Args{"--sourc", "in.mp4", "--destination", "out.h264"}, 2),
        std::pair(Args{"--source", "gone.mp4", "--destination", "out.h264"}, 1)}) {
    fs::remove(toolLog);
    EXPECT_EQ(Run(vexlo, bad), status) << err_;
    EXPECT_EQ(err_.rfind("vexlo: ", 0), 0u) << err_;
    EXPECT_EQ(err_.find('\n'), err_.size() - 1) << "not one line: " << err_;
    EXPECT_EQ(out_, "");
    EXPECT_FALSE(fs::exists(toolLog)) << err_ << ": a tool was started";
  }
  EXPECT_FALSE(fs::exists(base_ / "config")) << "the options' form wrote the settings";
}

// Without a display and arguments it explains itself; with the screenshot option it opens the
// window offscreen, saves its picture and closes cleanly.
TEST_F(Executable, WithoutADisplayOrWithTheScreenshotOption) {
  EXPECT_EQ(Run(kVexlo, {}, false), 2);
  for (const char* text : {"no window can be shown", "vexlo SOURCE,DESTINATION[,PROFILE,CRF]"})
    EXPECT_NE((out_ + err_).find(text), std::string::npos) << out_ << err_;
  const std::string picture = std::string(VEXLO_TEST_BINARY_DIR) + "/vexlo_offscreen.png";
  fs::remove(picture);
  EXPECT_EQ(Run(kVexlo, {"--screenshot", picture}), 0) << err_;
  ASSERT_TRUE(fs::exists(picture));
  EXPECT_GT(fs::file_size(picture), 10000u);
}

// --plot over a 10 s clip made with a GOP of 25 and two B-frames: the summary's numbers against
// the prober's own list of the frames, the SVG read by an XML parser with one key-frame mark per
// key frame and one bar per frame of each type; a prober that fails, a picture that would be its
// source and a picture that cannot be written each end with one line and no picture, and no form
// writes the settings.
TEST_F(Executable, PlotOfAClipWithAKnownGop) {
  const std::string clip = testing::Clip("gop25.mp4"), svg = (dir_ / "frames.svg").string();
  ASSERT_EQ(Run(kVexlo, {"--plot", "frames.svg", clip}), 0) << err_;
  std::istringstream list(
      testing::Capture("\"" VEXLO_FFPROBE_PATH
                       "\" -v error -show_entries frame=key_frame,pkt_size,pict_type,"
                       "best_effort_timestamp_time -of csv=p=0 \"" +
                       clip + "\""));
  std::vector<std::pair<double, double>> frames;  // time, bytes
  std::map<std::string, int> types;
  int keys = 0;
  for (std::string key, time, size, type;
       std::getline(list, key, ',') && std::getline(list, time, ',') &&
       std::getline(list, size, ',') && std::getline(list, type);) {
    frames.emplace_back(std::stod(time), std::stod(size));
    ++types[type.substr(0, 1)];
    keys += key == "1";
  }
  ASSERT_EQ(frames.size(), 250u);
  double total = 0, peak = 0;
  for (const auto& [time, bytes] : frames) {
    total += bytes;
    double window = 0;  // the second that ends at this frame
    for (const auto& [other, size] : frames)
      window += other > time - 1 + 1e-6 && other <= time ? size : 0;
    peak = std::max(peak, window * 8 / 1000);
  }
  long long shownFrames = 0, shownKeys = 0, shortest = 0, longest = 0;
  double average = 0, rate = 0, shownPeak = 0;
  ASSERT_EQ(
      std::sscanf(out_.substr(out_.find(svg + ": ") + svg.size() + 2).c_str(),
                  "%lld frames, %lld key frames, GOP shortest %lld, longest %lld, average %lf "
                  "frames, bit rate average %lf kbit/s, peak %lf",
                  &shownFrames, &shownKeys, &shortest, &longest, &average, &rate, &shownPeak),
      7)
      << out_;
  EXPECT_EQ(std::tuple(shownFrames, shownKeys, shortest, longest, average),
            std::tuple(250, keys, 25, 25, 25.0));
  EXPECT_EQ(keys, 10);
  EXPECT_NEAR(rate, total * 8 / 1000 / 10, 0.05);
  EXPECT_NEAR(shownPeak, peak, 0.05);
  const std::string counts = testing::Capture(
      "python3 -c \"import sys, xml.etree.ElementTree as E; n = '{http://www.w3.org/2000/svg}'; "
      "s = {e.get('id'): e for e in E.parse(sys.argv[1]).iter()}; "
      "print(len(s['keyframes'].findall(n + 'line')), "
      "*[s['frames-' + k].get('d').count('z') for k in ('I', 'P', 'B', 'other')])\" " +
      Quote(svg));
  EXPECT_EQ(counts, std::to_string(keys) + " " + std::to_string(types["I"]) + " " +
                        std::to_string(types["P"]) + " " + std::to_string(types["B"]) + " 0\n");
  EXPECT_GT(types["B"], 100) << "the clip has its B-frames";

  std::ofstream(dir_ / "garbage.mov") << "no video";
  const Snapshot before = Take(dir_);
  for (const auto& [args, status, line] :
       {std::tuple(Args{"--plot", "g.svg", "garbage.mov"}, 1, "cannot read the frames of"),
        std::tuple(Args{"--plot", "garbage.mov", "garbage.mov"}, 2, "would overwrite its source"),
        std::tuple(Args{"--plot", "/proc/g.svg", clip}, 1, "cannot write \"/proc/g.svg\"")}) {
    EXPECT_EQ(Run(kVexlo, args), status) << err_;
    EXPECT_EQ(err_.rfind("vexlo: ", 0), 0u) << err_;
    EXPECT_NE(err_.find(line), std::string::npos) << err_;
    EXPECT_EQ(err_.find('\n'), err_.size() - 1) << "not one line: " << err_;
    EXPECT_TRUE(Take(dir_) == before) << "a file changed";
  }
  EXPECT_FALSE(fs::exists(base_ / "config")) << "--plot wrote the settings";
}

// One fault, every form of the command line: the same exit status and the same words. A file
// that is missing, a folder or not a video is the files' fault (1: the command may work once they
// are right); only a command line that no files could satisfy is 2. A healthy clip whose sound
// outlasts its picture by 3 s is whole in every form: the picture is measured against the
// source's picture, not against the header's longest stream. The option form never replaces an
// earlier file with an output that is not whole. (The measurement's own figures:
// measure_test.)
TEST_F(Executable, EveryFormEndsTheSameFaultWithTheSameStatusAndWords) {
  fs::create_directories(dir_ / "folder.mov");
  fs::create_directories(dir_ / "o");
  std::ofstream(dir_ / "garbage.mov") << "no video";
  const std::string longSound = (dir_ / "long sound.mp4").string();
  ASSERT_EQ(std::system(("\"" VEXLO_FFMPEG_PATH "\" -v error -f lavfi -i "
                         "testsrc2=size=160x120:rate=25:duration=4 -f lavfi -i sine=duration=7 "
                         "-c:v libx264 -c:a aac " + Quote(longSound)).c_str()),
            0);
  const std::function<Args(const std::string&)> forms[] = {
      [](const std::string& source) { return Args{source + ",out.h264"}; },
      [](const std::string& source) {
        return Args{"--source", source, "--destination", "out.h264"};
      },
      [](const std::string& source) { return Args{"--output-dir", "o", source}; },
      [](const std::string& source) { return Args{"--plot", "p.svg", source}; },
      [&](const std::string& source) { return Args{"--measure", source, longSound}; },
  };
  const struct {
    std::string source;
    Args extra;  // after the form's arguments; none for the comma form
    int status;
    std::string words;  // in standard error, in every form
  } faults[] = {
      {"gone.mov", {}, 1, "No such file or directory"},
      {"folder.mov", {}, 1, ""},
      {"garbage.mov", {}, 1, "Invalid data found when processing input"},
      {"garbage.mov", {"--bogus"}, 2, "unknown option \"--bogus\""},
      {longSound, {}, 0, ""},
  };
  for (const auto& fault : faults) {
    for (std::size_t form = 0; form < std::size(forms); ++form) {
      if (form == 0 && !fault.extra.empty()) continue;  // the comma form has no options
      Args args = forms[form](fault.source);
      args.insert(args.end(), fault.extra.begin(), fault.extra.end());
      SCOPED_TRACE(fault.source + " in form " + std::to_string(form));
      EXPECT_EQ(Run(kVexlo, args), fault.status) << err_;
      EXPECT_NE(err_.find(fault.words), std::string::npos) << err_;
      EXPECT_EQ(err_.find("WARNING"), std::string::npos) << err_;
      for (const char* banner : {"REASON:   lib", "REASON: ffmpeg version", "REASON: ffprobe version"})
        EXPECT_EQ(err_.find(banner), std::string::npos) << err_;
    }
  }
  EXPECT_TRUE(fs::exists(dir_ / "o" / "long sound.H264"));

  // The option form writes a temporary name and renames only a whole output into place: a source
  // cut short leaves the earlier file under the destination's name as it was, and what was
  // written is kept as incomplete, with the batch's words.
  std::ofstream(dir_ / "kept.h264") << "an earlier output";
  EXPECT_EQ(Run(kVexlo, {"--source", testing::Clip("cut.mp4"), "--destination", "kept.h264"}), 1);
  EXPECT_EQ(testing::ReadAll((dir_ / "kept.h264").string()), "an earlier output");
  EXPECT_GT(fs::file_size(dir_ / "kept.incomplete.h264"), 1000u);
  EXPECT_NE(err_.find("of the source's 0:10.00 (the source may be damaged or cut short); what "
                      "was written is kept as " + (dir_ / "kept.incomplete.h264").string()),
            std::string::npos)
      << err_;
}

// Two processes and two threads, each with a store of its own, write their values at once.
TEST(SettingsFile, TwoWritersLoseNoValue) {
  auto write = [](int writer) {
    RegistryStore store;
    int failures = 0;
    for (int i = 0; i < 200; ++i) {
      const std::string name = "w" + std::to_string(writer) + "_" + std::to_string(i);
      failures += (i % 2 ? store.WriteString(kSettingsKey, name, "text " + name)
                         : store.WriteDword(kSettingsKey, name, writer * 1000 + i)) != 1;
    }
    return failures;
  };
  for (bool processes : {true, false}) {
    testing::ConfigHome home;
    int failures[2] = {0, 0};
    if (processes) {
      pid_t children[2];
      for (int writer = 0; writer < 2; ++writer) {
        if ((children[writer] = ::fork()) == 0) ::_exit(write(writer));
      }
      for (int writer = 0; writer < 2; ++writer) {
        int status = 0;
        ASSERT_EQ(::waitpid(children[writer], &status, 0), children[writer]);
        failures[writer] = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      }
    } else {
      std::thread first([&] { failures[0] = write(0); }), second([&] { failures[1] = write(1); });
      first.join();
      second.join();
    }
    EXPECT_EQ(failures[0] + failures[1], 0);
    const RegistryStore store;
    for (int writer = 0; writer < 2; ++writer) {
      for (int i = 0; i < 200; ++i) {
        const std::string name = "w" + std::to_string(writer) + "_" + std::to_string(i);
        std::string text;
        store.ReadString(kSettingsKey, name, "missing", text);
        EXPECT_EQ(i % 2 ? text : std::to_string(store.ReadDword(kSettingsKey, name, 0)),
                  i % 2 ? "text " + name : std::to_string(writer * 1000 + i))
            << processes;
      }
    }
    EXPECT_FALSE(fs::exists(home.path() + "/vexlo/HKEY_CURRENT_USER.reg.bad"));
  }
}

using Clock = std::chrono::steady_clock;
const fs::path kDir = fs::temp_directory_path() / ("vexlo-lifetime-" + std::to_string(::getpid()));
const std::string kSource = (kDir / "source.mpg").string();

template <class Done>
bool WaitUntil(Done done, std::chrono::milliseconds limit = 30s) {
  const auto deadline = Clock::now() + limit;
  while (!done() && Clock::now() < deadline) std::this_thread::sleep_for(5ms);
  return done();
}

// "STATE PARENT GROUP ..." from /proc; empty once the process has gone.
std::string Stat(pid_t pid) {
  char text[512] = "";
  if (FILE* file = std::fopen(("/proc/" + std::to_string(pid) + "/stat").c_str(), "r")) {
    text[std::fread(text, 1, sizeof text - 1, file)] = '\0';
    std::fclose(file);
  }
  const char* afterName = std::strrchr(text, ')');
  return afterName ? afterName + 2 : "";
}

// A zombie left to an init that reaps late counts as ended.
bool Running(pid_t pid) {
  return std::string_view("RSDTtWPIK").find(Stat(pid)[0]) != std::string_view::npos;
}

// FFprobe reads its frames without an error.
bool Plays(const fs::path& file) {
  return std::system(("[ \"$(" VEXLO_FFPROBE_PATH " -v error -count_frames -show_entries " +
                      std::string("stream=nb_read_frames -of csv=p=0 ") + file.string() +
                      " 2>&1)\" -gt 0 ] 2>/dev/null")
                         .c_str()) == 0;
}

class ToolLifetime : public ::testing::Test {
 protected:
  // Long enough that no encode ends before it is stopped; small enough that the encoder's queue
  // is written out well inside the second a stopped tool is given.
  static void SetUpTestSuite() {
    fs::create_directories(kDir / "config" / "vexlo");
    const std::string make = std::string(VEXLO_FFMPEG_PATH) + " -v error -f lavfi -i " +
                             "testsrc2=size=64x36:rate=25 -t 300 -q:v 8 " + kSource;
    ASSERT_EQ(std::system(make.c_str()), 0);
  }
  static void TearDownTestSuite() { fs::remove_all(kDir); }
};

// ffmpeg.bin is a script that runs the real FFmpeg as its child: Stop ends both, and the MP4 that
// FFmpeg finishes on SIGTERM plays. What ignores SIGTERM (the script of the second row, and the
// sleep it goes on to once FFmpeg has ended) is killed a second later.
TEST_F(ToolLifetime, AStoppedWrapperScriptEndsWithItsToolAndTheMp4Plays) {
  for (const bool ignoresTerm : {false, true}) {
    const fs::path destination = kDir / "stopped.mpv", pids = kDir / "pids";
    fs::remove(pids), fs::remove(destination);  // the last row's file must not count
    std::ofstream(kDir / "ffmpeg.bin")
        << "#!/bin/sh\n"
        << (ignoresTerm ? "trap '' TERM\n" : "") << VEXLO_FFMPEG_PATH << " \"$@\" &\necho $$ $! > "
        << pids << "\nwait\nsleep 60\n";
    fs::permissions(kDir / "ffmpeg.bin", fs::perms::owner_all);
    process::ProcessRunner runner;
    runner.SetCommandLine(
        encode::EncodeMpv({}, kDir.string(), kSource, destination.string()).c_str());
    EXPECT_EQ(runner.Start(), 0);
    pid_t wrapper = 0, tool = 0;
    ASSERT_TRUE(WaitUntil([&] {
      return std::ifstream(pids) >> wrapper >> tool && fs::exists(destination) &&
             fs::file_size(destination) > 40000;
    }));
    const auto before = Clock::now();
    runner.Close();
    const auto took = Clock::now() - before;
    EXPECT_TRUE(WaitUntil([&] { return !Running(wrapper) && !Running(tool); }, 5s));
    EXPECT_EQ(took >= 1s, ignoresTerm);
    EXPECT_EQ(WTERMSIG(runner.waitStatus()), ignoresTerm ? SIGKILL : SIGTERM);
    EXPECT_TRUE(Plays(destination));
  }
}

// Vexlo killed (the comma form) or ended by SIGTERM (the options, which stop the tool as Cancel
// does and end with status 1) takes its tool along, and FFmpeg finishes its file.
TEST_F(ToolLifetime, AKilledOrStoppedVexloTakesItsToolAlong) {
  if (!fs::exists(kVexlo)) GTEST_SKIP() << "this build has no vexlo executable";
  // What a settings write killed before its rename leaves: removed at the next start.
  const fs::path stale = kDir / "config" / "vexlo" / "HKEY_CURRENT_USER.reg.Ab12Cd";
  std::ofstream(stale) << "half a write";
  for (const int signal : {SIGKILL, SIGTERM}) {
    const fs::path destination = kDir / (std::to_string(signal) + ".h264");
    int closedOutput[2];
    ASSERT_EQ(::pipe(closedOutput), 0);
    ::close(closedOutput[0]);  // as in `vexlo ... | true`: SIGPIPE must not end vexlo
    const pid_t vexlo = ::fork();
    if (vexlo == 0) {
      ::dup2(closedOutput[1], STDOUT_FILENO);
      ::setenv("XDG_CONFIG_HOME", (kDir / "config").c_str(), 1);
      ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
      const std::string comma = kSource + "," + destination.string();
      if (signal == SIGKILL) ::execl(kVexlo.c_str(), "vexlo", comma.c_str(), nullptr);
      ::execl(kVexlo.c_str(), "vexlo", "--source", kSource.c_str(), "--destination",
              destination.c_str(), nullptr);
      ::_exit(127);
    }
    ::close(closedOutput[1]);
    // The option form's tool writes a temporary name beside its destination; what it wrote
    // when it was stopped is kept under the incomplete name.
    const fs::path written =
        signal == SIGKILL
            ? destination
            : kDir / (std::to_string(signal) + ".vexlo-partial-" + std::to_string(vexlo) + ".h264");
    const fs::path kept =
        signal == SIGKILL ? destination : kDir / (std::to_string(signal) + ".incomplete.h264");
    // Its children: the guard, which leads a process group of its own, and the tool in that group.
    pid_t tool = 0, guard = 0;
    ASSERT_TRUE(WaitUntil([&] {
      for (const auto& entry : fs::directory_iterator("/proc")) {
        const pid_t pid = std::atoi(entry.path().filename().c_str());
        int parent = 0, group = 0;
        if (std::sscanf(Stat(pid).c_str(), "%*c %d %d", &parent, &group) == 2 && parent == vexlo)
          (group == pid ? guard : tool) = pid;
      }
      return tool && guard && fs::exists(written) && fs::file_size(written) > 0;
    }));
    EXPECT_FALSE(fs::exists(stale));
    ::kill(vexlo, signal);
    int status = 0;
    ASSERT_EQ(::waitpid(vexlo, &status, 0), vexlo);
    EXPECT_TRUE(signal == SIGKILL || (WIFEXITED(status) && WEXITSTATUS(status) == 1)) << status;
    const auto ended = Clock::now();
    EXPECT_TRUE(WaitUntil([&] { return !Running(tool); }, 5s));
    EXPECT_LT(Clock::now() - ended, 1s);
    EXPECT_TRUE(WaitUntil([&] { return !Running(guard); }, 5s));  // within its grace time
    EXPECT_TRUE(Plays(kept)) << signal;  // ended by SIGTERM, FFmpeg finished the file
    EXPECT_FALSE(signal == SIGTERM && fs::exists(destination)) << "a stopped run was put in place";
  }
}

}  // namespace
}  // namespace vexlo::app
