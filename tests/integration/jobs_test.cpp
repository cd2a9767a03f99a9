// The window's jobs end to end: the window's logic over the fake host runs the real ffmpeg and
// ffprobe (or a stand-in ffmpeg.bin) on the clips of the clips fixture and on sources made here.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "analysis/IndexFile.h"
#include "analysis/OutputLength.h"
#include "platform/CommandLineSplit.h"
#include "res/ControlIds.h"
#include "tests/support/Support.h"
#include "tests/support/WindowJobs.h"

namespace vexlo::app {
namespace {

namespace fs = std::filesystem;
namespace id = res::id;
using testing::Clip;

// Each of `lines` in `text`, in this order, before `marker` (the job's error or end line).
void ExpectInOrderBefore(const std::string& text, const std::vector<std::string>& lines,
                         const std::string& marker) {
  const auto end = text.find(marker);
  ASSERT_NE(end, std::string::npos) << marker << " in:\n" << text;
  std::size_t at = 0;
  for (const std::string& line : lines) {
    at = text.find(line, at);
    EXPECT_LT(at, end) << line << " before " << marker << " in:\n" << text;
  }
}

class Jobs : public testing::WindowJobs {
 protected:
  void SetUp() override {
    fs::create_symlink(VEXLO_FFPROBE_PATH, program_ + "/ffprobe.bin");
    fs::create_symlink(VEXLO_FFMPEG_PATH, program_ + "/ffmpeg.bin");
  }
  void TearDown() override {
    WindowJobs::TearDown();
    fs::current_path(program_);
  }
  // An ffmpeg.bin (or another tool) made of this shell script.
  void UseFfmpeg(const std::string& script, const std::string& tool = "ffmpeg.bin") {
    fs::remove(program_ + "/" + tool);
    std::ofstream(program_ + "/" + tool) << "#!/bin/sh\n" << script << "\n";
    fs::permissions(program_ + "/" + tool, fs::perms::owner_all);
  }
  // A job that runs until it is stopped, and leaves its process id behind.
  void UseBusyFfmpeg(const std::string& tool = "ffmpeg.bin") {
    UseFfmpeg("echo $$ > tool.pid\nexec sleep 60", tool);
  }
};

// The encode runs the real FFmpeg at the clip's own pace and reports often, so the GOP job
// stops itself in its middle: it leaves the encode running and the encode's bar moving forward.
TEST_F(Jobs, GopStopsItsOwnJobOnceTheGopIsKnownAndLeavesTheEncodesBarMoving) {
  UseFfmpeg("exec \"" VEXLO_FFMPEG_PATH "\" -re -stats_period 0.05 \"$@\"");
  fs::create_symlink(Clip("long.mp4"), program_ + "/long.mp4");  // the .TMP file goes beside it
  MainWindow& w = Open(program_ + "/long.mp4");
  host_.setText(id::kVideoDestEdit, program_ + "/out.H264");
  Press(id::kEncodeVideo);
  ASSERT_TRUE(host_.pumpUntil([&] { return host_.progress() > 0; }));
  Press(id::kGopSource);
  ASSERT_TRUE(WaitForLog("##### END FILE GOP ######"));
  ASSERT_TRUE(host_.pumpUntil([&] { return w.indexingRunner() == nullptr; }));
  const std::string log = Log();
  const auto start = log.find("##### GET FILE GOP ######"),
             pattern = log.find("GOP: IPPPPPPPI\r\n"), size = log.find("GOP SIZE: 8\r\n"),
             end = log.find("##### END FILE GOP ######");
  EXPECT_TRUE(start < pattern && pattern < size && size < end) << log;
  EXPECT_EQ(testing::Count(log, "GOP SIZE:"), 1u);
  EXPECT_EQ(log.find("STOP CURRENT INDEXING"), std::string::npos);
  EXPECT_EQ(log.find("ERROR"), std::string::npos) << log;
  // The job stopped long before the end: the .TMP file holds a header and a few records.
  const std::string tmp = program_ + "/long.TMP";
  EXPECT_GE(fs::file_size(tmp), 168u + 9 * 24u);
  EXPECT_LT(fs::file_size(tmp), 168u + 1500 * 24u);
  ASSERT_NE(w.conversionRunner(), nullptr);
  EXPECT_EQ(w.conversionRunner()->state(), process::kRunnerRunning);
  EXPECT_GT(w.jobFigures().durationMs.load(), 0);
  EXPECT_TRUE(host_.enabled(id::kCancel));
  EXPECT_FALSE(host_.enabled(id::kEncodeVideo));
  // From the encode's first move on the bar only goes forward, and goes on after the GOP job.
  const int atGopEnd = host_.progress();
  EXPECT_TRUE(host_.pumpUntil([&] { return host_.progress() > atGopEnd; }));
  const auto& bar = host_.progressHistory;
  EXPECT_TRUE(
      std::is_sorted(std::find_if(bar.begin(), bar.end(), [](int p) { return p > 0; }), bar.end()));
  Press(id::kCancel);
  EXPECT_NE(Log().find("##### STOP CURRENT CONVERSION..... ######"), std::string::npos);
}

// A flood of progress lines loses no report line and the pane stays bounded meanwhile; closing
// the window puts the pane's text and the lines still queued into the monthly file, which the
// state folder takes when the program folder cannot.
TEST_F(Jobs, ClosingSavesEveryLineIncludingTheQueuedOnesToTheStateFolderAsFallback) {
  ::setenv("XDG_STATE_HOME", (program_ + "/state").c_str(), 1);
  UseFfmpeg("exec \"" VEXLO_TESTTOOL_PATH "\" --flood 100000 --flood-lf");
  MainWindow& w = Open(Clip("clip.mp4"), program_ + "/out.H264");
  const fs::path dated = w.logReference()->datedLogPath();
  fs::create_directory(dated);  // the program folder cannot take the file, whoever runs this
  Press(id::kEncodeVideo);
  std::size_t largestPane = 0;  // the end line may have gone to the file with a full pane
  ASSERT_TRUE(host_.pumpUntil(
      [&] {
        largestPane = std::max(
            {largestPane, host_.text(id::kLogPane).size(), w.logReference()->paneText().size()});
        return w.conversionRunner()->state() == process::kRunnerEnded && host_.progress() == 100;
      },
      std::chrono::minutes(3)));
  EXPECT_LE(largestPane, hosts::TraceControl::kPaneLimit);
  w.logAppend("queued at close\r\n");
  w.onDestroy();
  const std::string saved =
      testing::ReadAll(program_ + "/state/vexlo/" + dated.filename().string());
  EXPECT_EQ(testing::Count(saved, "frame="), 100000u);
  EXPECT_EQ(testing::Count(saved, "##### END CONVERSION ######"), 1u);
  EXPECT_EQ(saved.substr(saved.size() - 17), "queued at close\r\n");
}

// Each encode button and output type writes what it promises: from the clips (a PNG sequence
// too; 23.98 frames/s, deinterlace and resize through one chain) and from sources as people have
// them (an 8-bit 4:4:4 screen capture, a 10-bit 4:2:2 ProRes camera file, a 10-bit 4:2:0 HEVC
// phone clip) to H.265 and MPV; a source cut short (its header says 10 s) encodes what is there
// and warns, and only it; each failure (a tool that cannot start too) says why before its
// error line; an index or GOP job whose file cannot be written fails (as root no folder is
// unwritable, so a folder takes the file's name).
TEST_F(Jobs, EncodesPlayAndFailuresSayWhy) {
  const fs::path root = program_;
  const auto quoted = [](const fs::path& path) { return "\"" + path.string() + "\""; };
  // clang-format off
  struct Case {
    int button, outType, gpu;
    fs::path source, destination;
    std::vector<std::string> reasons;  // what the lines before the marker hold; none: no error or warning
    std::string marker, probe{};  // the job's error or end line; what ffprobe says of the destination
    std::string removed{};  // the tool taken away before this row and the rows after it
    int fps = 0;
    bool filters = false;  // deinterlace and the second resize row
  };
  const std::string end = "END CONVERSION", mp4 = "\"mov,mp4,m4a,3gp,3g2,mj2\"";
  const fs::path clip = Clip("clip.mp4"), seq = Clip("seq/img_0001.png");
  std::vector<Case> cases = {
      // every frame of the clips, in the container each output type promises
      {id::kEncodeVideo, 0, 0, clip, root / "out.H264", {}, end, "h264,64,48,yuv420p,75\nh264\n"},
      {id::kEncodeVideo, 1, 0, clip, root / "out.H265", {}, end, "hevc,64,48,yuv420p,75\nhevc\n"},
      {id::kEncodeVideo, 2, 0, clip, root / "out.MPV", {}, end, "hevc,64,48,yuv420p,75\n" + mp4 + "\n"},
      {id::kEncodeAudio, 0, 0, clip, root / "out.WAV", {}, end, "pcm_s16le,48000,71\nwav\n"},
      {id::kEncodeVideo, 0, 0, seq, root / "seq.H264", {}, end, "h264,64,48,yuv420p,10\nh264\n", "", 7},
      {id::kEncodeVideo, 1, 0, seq, root / "seq.H265", {}, end, "hevc,64,48,yuv420p,10\nhevc\n", "", 7},
      {id::kEncodeVideo, 2, 0, seq, root / "seq.MPV", {}, end, "hevc,64,48,yuv420p,10\n" + mp4 + "\n", "", 7},
      {id::kTestEncode, 0, 0, clip, root / "out.avi", {}, end, "mjpeg,64,48,yuvj420p,75\navi\n"},
      {id::kEncodeVideo, 0, 0, clip, root / "chain.H264", {}, end, "h264,320,240,yuv420p,72\nh264\n", "", 5, true},
      {id::kEncodeVideo, 0, 0, Clip("whole.mp4"), root / "whole.H264", {}, end, "h264,64,48,yuv420p,250\nh264\n"},
      {id::kEncodeVideo, 0, 0, Clip("cut.mp4"), root / "cut.H264", {"START CONVERSION", "##### WARNING: The output ends at 0:0", " of the source's 0:10.00 (the source may be damaged or cut short) ######\r\n"}, end, "h264,64,48,yuv420p,112\nh264\n"},
  };
  for (const auto& [name, codec] : {std::pair{"screen444.mp4", "libx264 -pix_fmt yuv444p"},
                                    {"camera422.mov", "prores_ks -profile:v 3 -pix_fmt yuv422p10le"},
                                    {"phone420p10.mp4", "libx265 -pix_fmt yuv420p10le"},
                                    {"odd.mp4", "libx264 -pix_fmt yuv444p -s 641x481 -t 0.2"}}) {
    const std::string make = std::string(VEXLO_FFMPEG_PATH) + " -v quiet -y -f lavfi -i testsrc=size=128x96:rate=25 -t 1 -c:v " +
                             codec + " " + quoted(root / name);
    ASSERT_EQ(std::system(make.c_str()), 0);
    for (int type : {1, 2}) {
      if (std::string(name) == "odd.mp4") break;  // 4:2:0 takes no odd size: the rows below
      const fs::path hevc = root / (std::string(name) + (type == 1 ? ".H265" : ".MPV"));
      cases.push_back({id::kEncodeVideo, type, 0, root / name, hevc, {}, end, "hevc,128,96,yuv420p,25\n" + (type == 1 ? "hevc" : mp4) + "\n"});
    }
  }
  fs::create_directories(root / "screen444.INDX" / "x");  // a folder takes each index file's name
  fs::create_directories(root / "screen444.TMP" / "x");
  const fs::path gone = root / "gone.mov", screen = root / "screen444.mp4", out = root / "out.H265";
  const std::string missing = "REASON: " + gone.string() + ": No such file or directory";
  const std::string noStream = "REASON: Output file #0 does not contain any stream";
  const auto fileError = [&](const char* name) { return "Cannot write the index file " + (root / name).string() + ": Is a directory"; };
  cases.insert(cases.end(), {
      {id::kEncodeVideo, 0, 0, gone, out, {missing, "REASON: ffmpeg.bin exited with code 1"}, "##### CONVERSION  ERROR"},
      {id::kEncodeVideo, 1, 2, screen, out, {"REASON: ", "'/dev/dri/renderD128' for option 'vaapi_device'"}, "##### CONVERSION  ERROR"},  // AMD without a render node
      // the tool's complaint leads the reason, never the source's stream metadata
      {id::kEncodeAudio, 0, 0, screen, root / "silent.WAV", {noStream}, "##### CONVERSION  ERROR"},
      {id::kEncodeVideo, 0, 0, screen, root / "video.WAV", {noStream}, "##### CONVERSION  ERROR"},
      {id::kEncodeVideo, 0, 0, root / "odd.mp4", out, {"REASON: [libx264 @ ", "not divisible by 2 (641x481)", "Conversion failed!"}, "##### CONVERSION  ERROR"},
      {id::kEncodeVideo, 1, 0, root / "odd.mp4", out, {"REASON: x265 [error]: Picture width must be", "Conversion failed!"}, "##### CONVERSION  ERROR"},
      {id::kIndex, 0, 0, screen, gone, {missing, "REASON: ffprobe.bin exited with code 1"}, "##### INDEXING  ERROR"},
      {id::kIndex, 0, 0, screen, screen, {fileError("screen444.INDX"), "##### INDEXING  ERROR"}, "##### END INDEXING"},
      {id::kGopSource, 0, 0, screen, screen, {fileError("screen444.TMP"), "##### INDEXING  ERROR"}, "##### END FILE GOP"},
      {id::kInfoSource, 0, 0, gone, out, {missing}, "##### MEDIA INFO END"},
      {id::kInfoSource, 0, 0, screen, out, {}, "##### MEDIA INFO END"},  // its usual exit code 1
      {id::kEncodeVideo, 0, 0, screen, out, {"REASON: " + (root / "ffmpeg.bin").string() + " could not be started: No such file"}, "##### CREATION  ERROR", "", "ffmpeg.bin"},  // the last two
      {id::kIndex, 0, 0, root / "camera422.mov", out, {"REASON: " + (root / "ffprobe.bin").string() + " could not be started: No such file"}, "##### CREATION INDEX ERROR", "", "ffprobe.bin"},
  });
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.marker + " of " + c.source.string() + " and " + c.destination.string());
    if (!c.removed.empty()) fs::remove(root / c.removed);
    Open(c.source.string(), c.destination.string());
    const int radios[] = {id::kRadioH264, id::kRadioH265, id::kRadioMpv};
    for (int i = 0; i < 3; ++i) host_.setChecked(radios[i], i == c.outType);
    host_.setListIndex(id::kGpuList, c.gpu);
    host_.setListIndex(id::kFpsList, c.fps);
    host_.setListIndex(id::kResizeList, c.filters ? 1 : 0);
    host_.setChecked(id::kDeinterlaceCheck, c.filters);
    host_.setText(c.button == id::kEncodeAudio ? id::kAudioDestEdit : id::kVideoDestEdit,
                  c.destination.string());
    EXPECT_TRUE(RunJob(c.button, c.marker));
    const std::string log = Log();
    ExpectInOrderBefore(log, c.reasons, c.marker);
    if (const auto first = log.find("REASON: ");
        !c.reasons.empty() && c.reasons[0].starts_with("REASON: ")) {
      EXPECT_EQ(log.compare(first, c.reasons[0].size(), c.reasons[0]), 0) << log;
    }
    for (const char* metadata :
         {"REASON: Metadata:", "REASON:     handler_name", "REASON:     encoder "})
      EXPECT_EQ(log.find(metadata), std::string::npos) << log;
    EXPECT_TRUE(!c.reasons.empty() || log.find("ERROR") == std::string::npos) << log;
    EXPECT_EQ(log.find("WARNING") != std::string::npos, c.destination == root / "cut.H264") << log;
    // A job whose index file failed never reports success; an encode that wrote its file does.
    EXPECT_TRUE((c.button != id::kGopSource && c.destination != screen) || host_.progress() != 100);
    if (!c.probe.empty()) {
      EXPECT_NE(log.find("##### START CONVERSION ######"), std::string::npos) << log;
      EXPECT_EQ(host_.progress(), 100);
    }
    const std::string probe = std::string(VEXLO_FFPROBE_PATH) +
                              " -v error -count_frames -select_streams 0 -show_entries" +
                              " stream=codec_name,width,height,pix_fmt,sample_rate,nb_read_frames:"
                              "format=format_name -of csv=p=0 " +
                              quoted(c.destination);
    EXPECT_EQ(c.probe.empty() ? "" : testing::Capture(probe), c.probe);
  }
  // How long the two raw streams are as a run of many jobs will read them back.
  fs::create_symlink(VEXLO_FFPROBE_PATH, root / "ffprobe.bin");  // the last row took it away
  for (const auto& [name, length] : {std::pair{"whole.H264", 10000}, {"cut.H264", 4480}}) {
    const std::string read = analysis::OutputLengthCommandLine(program_, (root / name).string());
    EXPECT_EQ(analysis::ReadOutputLength(testing::Capture(read)), length) << read;
  }
}

// The index button behind a real ffprobe writes a record per video frame that matches what the
// prober reports frame by frame, and a header that describes the clip; then the media info and
// frame grab buttons.
TEST_F(Jobs, IndexMatchesTheProberFrameByFrameThenMediaInfoAndFrameGrab) {
  const std::string clip = program_ + "/short.h264.mp4";  // the index is named at the last dot
  fs::copy_file(Clip("clip.mp4"), clip);
  MainWindow& w = Open(clip);
  ASSERT_TRUE(RunJob(id::kIndex, "##### END INDEXING ######"));
  EXPECT_EQ(host_.progress(), 100);
  // The command line follows the start line; the writer's first line may come between them.
  const std::string indexLog = Log();
  const auto indexStart = indexLog.find("[30] # ##### START INDEXING ######\r\n"),
             command = indexLog.find("[30] # ##### COMMAND: \"" + program_ +
                                     "/ffprobe.bin\" -show_frames \"" + clip + "\" ######\r\n"),
             gop = indexLog.find("[30] # GOP: IPPPPPPPI\r\n[30] # GOP SIZE: 8\r\n");
  EXPECT_TRUE(indexStart < command && command < gop && gop != std::string::npos) << indexLog;
  std::istringstream probed(
      testing::Capture("\"" VEXLO_FFPROBE_PATH "\" -v error -select_streams v -show_entries "
                       "frame=key_frame,pict_type,pkt_pos,pkt_size -of csv=p=0 \"" +
                       clip + "\""));
  const std::string bytes = testing::ReadAll(program_ + "/short.h264.INDX");
  analysis::IndexHeader header;
  ASSERT_GE(bytes.size(), sizeof header);
  std::memcpy(&header, bytes.data(), sizeof header);
  std::size_t at = sizeof header;
  int frames = 0;
  for (std::string line; std::getline(probed, line);) {
    while (!line.empty() && line.back() == ',') line.pop_back();  // "key,position,size,type"
    if (line.empty()) continue;
    analysis::FrameRecord r{};
    ASSERT_LE(at + sizeof r, bytes.size());
    std::memcpy(&r, bytes.data() + at, sizeof r);
    EXPECT_EQ(std::to_string(r.keyFrame) + "," + std::to_string(r.position) + "," +
                  std::to_string(r.size) + "," + r.pictType,
              line);
    ++frames;
    at += sizeof r;
  }
  EXPECT_EQ(at, bytes.size());
  EXPECT_EQ(frames, 75);
  EXPECT_EQ(header.frameCount, 75);
  EXPECT_NEAR(header.frameRate, 25.0f, 0.001f);
  EXPECT_NEAR(header.totalDuration, 3.0, 0.001);
  EXPECT_EQ(std::tuple(header.width, header.height, header.mediaType, header.aspectNumerator,
                       header.aspectDenominator),
            std::tuple(64, 48, 'v', 1, 1));
  EXPECT_STREQ(header.pixelFormat, "yuv420p");
  Press(id::kInfoSource);
  ASSERT_TRUE(WaitForLog("##### MEDIA INFO END ######"));
  std::string log = Log();
  const auto start = log.find("[30] # ##### MEDIA INFO START ######\r\n"),
             input = log.find("[30] # Input #0"), duration = log.find("Duration: 00:00:03.00"),
             stream = log.find("Video: h264"),
             end = log.find("[30] # ##### MEDIA INFO END ######\r\n");
  EXPECT_TRUE(start < input && input < duration && duration < stream && stream < end &&
              end != std::string::npos)
      << log;
  EXPECT_EQ(log.find("At least one"), std::string::npos) << log;
  EXPECT_EQ(log.find("ffmpeg version"), std::string::npos) << log;
  EXPECT_EQ(w.jobFigures().durationMs.load(), 3000);
  host_.setText(id::kFrameTimeEdit, "1.5");
  Press(id::kFrame);
  ASSERT_TRUE(WaitForLog("##### END CONVERSION ######"));
  EXPECT_EQ(BitmapSize(program_ + "/short.h264_1_50.BMP"), "BM64x48");
  // A grab whose tool fails logs no error line, as written, but is told as failed.
  UseFfmpeg("echo 'Invalid data found when processing input' >&2; exit 1");
  host_.active = false;
  Press(id::kFrame);
  ASSERT_TRUE(host_.pumpUntil([&] { return !host_.notifications.empty(); }));
  EXPECT_EQ(Log().find("CONVERSION  ERROR"), std::string::npos);
  EXPECT_EQ(host_.notifications.back(), "Vexlo: job failed: " + program_ + "/short.h264_1_50.BMP");
}

// A second media information job replaces the first; Cancel of an encode or an index job that
// never told its progress leaves the bar at 0 and the controls enabled, after the job's own end.
TEST_F(Jobs, GetInfoTwiceQuicklyCancelsTheFirstAndCancelLeavesTheBarAt0) {
  UseBusyFfmpeg();
  UseBusyFfmpeg("ffprobe.bin");
  MainWindow& w = Open(Clip("clip.mp4"), program_ + "/out.H264");
  Press(id::kInfoSource);
  ASSERT_TRUE(WaitForLog("##### MEDIA INFO START ######"));
  Press(id::kInfoSource);
  const std::string log = Log();
  const auto first = log.find("##### MEDIA INFO START ######"),
             cancel = log.find("##### CANCEL #####\r\n"),
             firstEnd = log.find("##### MEDIA INFO END ######");
  EXPECT_TRUE(first < cancel && cancel < firstEnd && firstEnd != std::string::npos) << log;
  EXPECT_TRUE(host_.pumpUntil(
      [&] { return testing::Count(Log(), "##### MEDIA INFO START ######\r\n") == 2; }));
  for (const auto& [button, start] :
       {std::pair{id::kEncodeVideo, "START CONVERSION"}, {id::kIndex, "START INDEXING"}}) {
    Press(button);
    ASSERT_TRUE(WaitForLog(start));
    Press(id::kCancel);
    EXPECT_EQ(host_.progress(), 0) << start;
    EXPECT_TRUE(w.controlsEnabled() && !host_.enabled(id::kCancel)) << start;
  }
}

// The values an encoder's own option takes, from `ffmpeg -h encoder=NAME`: its named constants
// and the numbers of its range.
struct OwnOption {
  std::set<std::string> names;
  long long from = 0, to = -1;
  bool Takes(const std::string& value) const {
    if (names.contains(value)) return true;
    const bool number =
        !value.empty() && value.find_first_not_of("-0123456789") == std::string::npos;
    return number && std::stoll(value) >= from && std::stoll(value) <= to;
  }
};
std::map<std::string, OwnOption> OwnOptions(const std::string& help) {
  std::map<std::string, OwnOption> options;
  const std::regex option(R"(^  -(\w+) +<\w+>)"), constant(R"(^     (\w+) )"),
      range(R"(\(from (-?\d+) to (-?\d+|INT_MAX)\))");
  OwnOption* last = nullptr;
  std::istringstream lines(help);
  std::smatch m;
  for (std::string line; std::getline(lines, line);) {
    if (std::regex_search(line, m, option)) {
      last = &options[m[1]];
      if (!std::regex_search(line, m, range)) continue;
      last->from = std::stoll(m[1]);
      last->to = m[2] == "INT_MAX" ? 2147483647 : std::stoll(m[2]);
    } else if (last && std::regex_search(line, m, constant)) {
      last->names.insert(m[1]);
    }
  }
  return options;
}

// The VA-API rows of the command-line table against Debian's FFmpeg, which answers without a
// device: each option is the encoder's own with a value it names or a number in its range, or
// one of the tool's (`ffmpeg -h full`); the chain before the upload runs and hands the upload
// nv12 for H.264 and, from a 10-bit source, p010 for H.265.
TEST(VaapiCommandLines, EveryOptionAndFilterIsOneDebiansFfmpegTakes) {
  const std::string ffmpeg = std::string(VEXLO_FFMPEG_PATH) + " -hide_banner ";
  const std::string general = testing::Capture(ffmpeg + "-h full");
  std::map<std::string, std::map<std::string, OwnOption>> own;
  for (const std::string encoder : {"h264_vaapi", "hevc_vaapi"}) {
    own[encoder] = OwnOptions(testing::Capture(ffmpeg + "-h encoder=" + encoder));
    ASSERT_TRUE(own[encoder].contains("rc_mode") && own[encoder].contains("profile"));
  }
  EXPECT_NE(testing::Capture(ffmpeg + "-h filter=hwupload").find("Filter hwupload"),
            std::string::npos);
  const std::set<std::string> flags = {"-an", "-y", "-report"};  // the options without a value
  std::set<std::string> chainsRun;
  int rows = 0;
  for (const auto& row : testing::TableRows("command_lines.txt")) {
    if (row[2].find("_vaapi") == std::string::npos) continue;
    ++rows;
    const bool h264 = row[2].find("h264_vaapi") != std::string::npos;
    const auto& options = own[h264 ? "h264_vaapi" : "hevc_vaapi"];
    const auto args = platform::SplitCommandLine(row[2]);
    for (std::size_t i = 1; i < args.size(); ++i) {
      // Paths never begin with '-'; -i is the one option that -h lists nowhere.
      if (!args[i].starts_with('-') || flags.contains(args[i]) || args[i] == "-i") continue;
      const std::string name = args[i].substr(1, args[i].find(':') - 1), value = args.at(++i);
      SCOPED_TRACE(row[1] + ": " + args[i - 1] + " " + value);
      const auto found = options.find(name);
      EXPECT_TRUE(found != options.end()
                      ? found->second.Takes(value)
                      : std::regex_search(general, std::regex("\n *-" + name + " ")));
      if (name != "vf" && name != "filter") continue;
      ASSERT_TRUE(value.ends_with(",hwupload"));
      if (!chainsRun.insert(value).second) continue;
      const std::string ran = testing::Capture(
          ffmpeg + "-f lavfi -i testsrc=size=64x48:rate=25,format=yuv420p10le -frames:v 2 -vf '" +
          value.substr(0, value.size() - 9) + "' -f null - 2>&1");
      EXPECT_NE(ran.find(h264 ? " nv12(" : " p010le("), std::string::npos) << ran;
    }
  }
  EXPECT_EQ(rows, 13);
}

}  // namespace
}  // namespace vexlo::app
