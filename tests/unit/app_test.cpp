#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "analysis/FrameGrab.h"
#include "analysis/IndexNaming.h"
#include "app/CommandOptions.h"
#include "app/Derivations.h"
#include "app/RegistryStore.h"
#include "app/VexloApp.h"
#include "app/VexloDlg.h"
#include "encode/AudioExtraction.h"
#include "encode/OutputNames.h"
#include "encode/PngPattern.h"
#include "jobs/JobKinds.h"
#include "platform/CommandLineSplit.h"
#include "platform/RegistryHive.h"
#include "hosts/TraceFormat.h"
#include "res/ControlIds.h"
#include "tests/support/FakeDialogHost.h"
#include "tests/support/Support.h"

namespace vexlo::app {
namespace {

namespace id = res::id;
using hosts::ControlEvent;
using Stored = std::map<std::string, std::string>;
const auto N = testing::Native;  // the tests write paths with '/')

std::string List(const std::vector<std::string>& items) {
  std::string text;
  for (const std::string& item : items) text += (text.empty() ? "[" : " [") + item + "]";
  return text;
}

// Each row of the names table through the function it names.
std::string Derive(const std::vector<std::string>& row) {
  const std::string& f = row[0];
  if (f == "destination") {
    const std::map<std::string, Destination> buttons = {
        {"vid", Destination::kVid}, {"h264", Destination::kH264}, {"h265", Destination::kH265},
        {"mpv", Destination::kMpv}, {"aud", Destination::kAud},   {"wav", Destination::kWav}};
    return DeriveDestination(buttons.at(row[1]), row[2], std::stoi(row[3]));
  }
  if (f == "output") {
    return encode::OutputPathIn(
        row[1], row[2],
        row[3] == "wav" ? encode::kWavExtension
                        : encode::OutputExtension(encode::OutputTypeOf(std::stoi(row[3]))));
  }
  if (f == "browse") return BrowseDirectory(row[1]);
  if (f == "png") {
    const auto png = encode::DerivePngPattern(row[1]);
    return png ? png->pattern + " " + List({png->startNumber}) : "-";
  }
  if (f == "wav") return encode::DeriveWavName(row[1]);
  if (f == "index") return analysis::IndexPathFor(row[1], row[2] == "1").value_or("-");
  if (f == "picture") return analysis::PicturePathFor(row[1], std::stof(row[2])).value_or("-");
  if (f == "seconds") return std::to_string(analysis::FrameSeconds(row[1]));
  if (f == "fields") {
    const CommandLineFields c = ParseCommandLine(row[1]);
    return std::to_string(c.count) + " " + List({c.source, c.videoDestination}) + " " +
           std::to_string(c.profile) + " " + std::to_string(c.crf);
  }
  if (f == "split") return List(platform::SplitCommandLine(row[1]));
  if (f == "dated") return hosts::DatedLogPath(row[1], std::stoi(row[2]), std::stoi(row[3]));
  return "unknown function";
}

TEST(Names, EveryRowOfTheTable) {
  const auto rows = testing::TableRows("names.txt");
  ASSERT_GE(rows.size(), 100u);
  for (const auto& row : rows) {
    const std::string expected = row.back();
    EXPECT_EQ(Derive(row), row[0] == "seconds" ? std::to_string(std::stof(expected)) : expected)
        << row[0] << " " << row[1];
  }
}

// What a start request asks for, in one line; "D/" stands for the working folder.
std::string Describe(const StartRequest& r, const std::string& folder) {
  std::string text;
  if (r.exitNow) {
    const std::string& shown = r.err.empty() ? r.out : r.err;
    text = "exit " + std::to_string(*r.exitNow) + " " + shown.substr(0, shown.find('\n'));
    if (!r.err.empty() && r.err.find('\n') != r.err.size() - 1) text += " (not one line)";
  } else if (r.job) {
    const OptionJob& j = *r.job;
    text = "job " + j.source + " > " + j.destination + (j.audio ? " wav" : "");
    for (int n : {j.outType, j.gpuType, j.profile, j.crf, j.fps, j.resize}) {
      text += " " + std::to_string(n);
    }
    text += std::string(j.deinterlace ? " deinterlace" : "") + (j.shortGop ? " short-gop" : "");
  } else if (r.batch) {
    const jobs::BatchRequest& b = *r.batch;
    text = "batch [" + b.outputDir + "|" + b.sourcesFrom + "|" + (b.audio ? "wav" : "video");
    for (const std::string& source : b.sources) text += "|" + source;
    const auto& s = b.settings;
    for (int n : {s.outType, s.gpuType, s.profile, s.crf, s.fps, s.resize, int(b.existing)}) {
      text += " " + std::to_string(n);
    }
    text += std::string(b.json ? " json" : "") + (s.deinterlace ? " deinterlace" : "") + "]";
  } else if (r.plot) {
    text = "plot " + r.plot->picture + " of " + r.plot->source;
  } else {
    text = r.screenshot.empty() ? "comma [" + r.commandLine + "]" : "screenshot " + r.screenshot;
  }
  for (std::size_t at; (at = text.find(folder)) != std::string::npos;) text.replace(at, folder.size(), "D");
  std::replace(text.begin(), text.end(), '\\', '/');
  return text;
}

// Every form of the command line, read as both systems read it, with the arguments as a shell
// passes them: switches before and after paths, "--name=value", one dash, bytes that are not
// UTF-8, values that begin with dashes, help and version, and each refusal as one line.
// Each kind of job is offered where its catalogue row says: the row's control (a button or a
// menu command of the main window) has the kind's label, its column is the queue table's.
TEST(JobKinds, EachRowPointsAtTheWindowsControlAndTheQueuesColumn) {
  using jobs::JobKind;
  const std::pair<JobKind, std::string_view> rows[] = {{JobKind::kEncode, "Encode"},
                                                       {JobKind::kAudio, "Encode"},
                                                       {JobKind::kTestEncode, "Test"},
                                                       {JobKind::kFrameGrab, "Frame"},
                                                       {JobKind::kMediaInfo, "Get Info"},
                                                       {JobKind::kIndex, "Index"},
                                                       {JobKind::kGop, "Gop"},
                                                       {JobKind::kEncoderCheck, "&Check Encoders"},
                                                       {JobKind::kQuality, "&Measure Quality"}};
  for (const auto& [kind, label] : rows) EXPECT_EQ(jobs::KindLabel(kind), label);
  EXPECT_EQ(jobs::KindColumnTitle(JobKind::kQuality), "Quality");
  EXPECT_EQ(jobs::KindColumnTitle(JobKind::kEncode), "Output");
  EXPECT_EQ(jobs::KindColumnTitle(JobKind::kIndex), "");
}

TEST(CommandLine, EveryFormOfTheOptionTable) {
  const std::string d = testing::MakeTempDirectory("options");
  std::ofstream(N(d + "/in.mp4")) << "a source";
  const std::string job = "job D/in.mp4 > D/out.h264 ";
  const std::string usage = "exit 0 Usage: vexlo [--source PATH --destination PATH [options]]";
  const std::vector<std::string> in = {"--source", "in.mp4"}, out = {"--destination", "out.h264"};
  const struct {
    std::vector<std::string> args;  // in.mp4 and out.h264 stand for the two options above
    std::string expected;
  } rows[] = {
      // clang-format off
      {{"--source", "in.mp4", "--destination", "out.h264"}, job + "0 0 0 4 0 0"},
      {{"--deinterlace", "--source", "in.mp4", "--short-gop", "--destination", "out.h264", "--type", "h265"}, job + "1 0 0 4 0 0 deinterlace short-gop"},
      {{"--source=in.mp4", "--destination=o=1.h264", "--type=mpv", "--crf=0"}, "job D/in.mp4 > D/o=1.h264 2 0 0 0 0 0"},
      {{"-source", "in.mp4", "-crf", "13", "--destination", "out.h264", "-gpu", "amd", "-fps", "7", "-resize=8", "-profile", "2"}, job + "0 2 2 13 7 8"},
      {{"--type", "wav", "--gpu", "nvidia", "--source", "in.mp4", "--destination", "out.h264"}, "job D/in.mp4 > D/out.h264 wav 0 1 0 4 0 0"},
      {{"--source", "in.mp4", "--destination", "-y\xff.h264"}, "job D/in.mp4 > D/-y\xff.h264 0 0 0 4 0 0"},
      {{"--source", "in.mp4", "--destination", "--x.h264"}, "job D/in.mp4 > D/--x.h264 0 0 0 4 0 0"},
      {{"-h"}, usage}, {{"-?"}, usage}, {{"--help-all"}, usage},
      {{"--help", "extra", "--crf", "99"}, usage},
      {{"--version"}, "exit 0 vexlo 9.9"}, {{"-v"}, "exit 0 vexlo 9.9"},
      {{}, "comma []"},
      {{"/in/a.mov,", "/out/a.H264"}, "comma [/in/a.mov, /out/a.H264]"},
      {{"-x.mov,-y.h264", "-crf", "5"}, "comma [-x.mov,-y.h264 -crf 5]"},
      {{"--screenshot", "x.png"}, "screenshot D/x.png"},
      {{"--screenshot", "x.png", "--crf", "1"}, "exit 2 vexlo: --screenshot FILE takes no other option"},
      {{"in.mp4", "--plot=p.svg"}, "plot D/p.svg of D/in.mp4"},
      {{"--plot", "p.svg", "in.mp4", "--crf", "1"}, "exit 2 vexlo: --plot PICTURE SOURCE takes no other option"},
      {{"--plot", "p.svg", "in.mp4", "in.mp4"}, "exit 2 vexlo: --plot PICTURE SOURCE takes one source file, not 2"},
      {{"--plot", "in.mp4", "in.mp4"}, "exit 2 vexlo: the picture \"D/in.mp4\" would overwrite its source"},
      {{"--plot", "p.svg", "gone.mp4"}, "exit 1 vexlo: cannot read the source \"D/gone.mp4\": No such file or directory"},
      {{"--plot", "no/p.svg", "in.mp4"}, "exit 1 vexlo: the destination's folder \"D/no\" does not exist"},
      {{"--sourc", "x", "--help"}, "exit 2 vexlo: unknown option \"--sourc\" (see vexlo --help)"},
      {{"--source", "in.mp4", "--crf"}, "exit 2 vexlo: --crf needs a value (see vexlo --help)"},
      {{"--deinterlace=1"}, "exit 2 vexlo: --deinterlace takes no value (see vexlo --help)"},
      {{"--crf", "14"}, "exit 2 vexlo: --crf takes a position in the \"CRF (3=Best)\" list, 0 to 13, not \"14\" (see --help)"},
      {{"--crf", "2x"}, "exit 2 vexlo: --crf takes a position in the \"CRF (3=Best)\" list, 0 to 13, not \"2x\" (see --help)"},
      {{"--profile", "3"}, "exit 2 vexlo: --profile takes a position in the \"Video Profile\" list, 0 to 2, not \"3\" (see --help)"},
      {{"--fps", "13"}, "exit 2 vexlo: --fps takes a position in the \"Force FPS\" list, 0 to 12, not \"13\" (see --help)"},
      {{"--resize", "-1"}, "exit 2 vexlo: --resize takes a position in the \"Video Resize\" list, 0 to 14, not \"-1\" (see --help)"},
      {{"--type", "avi"}, "exit 2 vexlo: --type takes h264, h265, mpv or wav, not \"avi\""},
      {{"--gpu", "intel\n"}, "exit 2 vexlo: --gpu takes none, nvidia or amd, not \"intel?\""},
      {{"--crf", "1", "--crf", "2"}, "exit 2 vexlo: --crf is given twice"},
      {{"--source", "in.mp4", "extra", "--destination", "out.h264"}, "exit 2 vexlo: unexpected argument \"extra\": with options, give the paths with --source and --destination"},
      {{"--", "--source"}, "exit 2 vexlo: sources as arguments make a batch, which needs --output-dir DIR (one file: --source PATH --destination PATH)"},
      // the batch: sources as arguments or in a list, switches anywhere among them
      {{"a.mp4", "--type", "h265", "--output-dir", "out", "--overwrite", "--crf", "2", "b c.mov", "--deinterlace", "--json"}, "batch [D/out||video|a.mp4|b c.mov 1 0 0 2 0 0 2 json deinterlace]"},
      {{"--output-dir=o", "--sources-from", "-", "--skip-existing", "--type", "wav"}, "batch [D/o|-|wav 0 0 0 4 0 0 1]"},
      {{"--output-dir", "o", "--sources-from", "list"}, "batch [D/o|D/list|video 0 0 0 4 0 0 0]"},
      {{"a.mp4", "--output-dir", "o", "--skip-existing", "--overwrite"}, "exit 2 vexlo: --skip-existing and --overwrite exclude each other"},
      {{"a.mp4", "--output-dir", "o", "--destination", "x"}, "exit 2 vexlo: --destination is no option of a batch: give its sources as arguments and its folder with --output-dir"},
      {{"a.mp4", "--output-dir", "o", "--json", "--json"}, "exit 2 vexlo: --json is given twice"},
      {{"a.mp4", "--output-dir", "o", "--crf", "99"}, "exit 2 vexlo: --crf takes a position in the \"CRF (3=Best)\" list, 0 to 13, not \"99\" (see --help)"},
      {{"--source", "in.mp4"}, "exit 2 vexlo: an encode needs both --source PATH and --destination PATH"},
      {{"--source", "", "--destination", "out.h264"}, "exit 2 vexlo: --source needs a path"},
      {{"--source", "gone.mp4", "--destination", "out.h264"}, "exit 1 vexlo: cannot read the source \"D/gone.mp4\": No such file or directory"},
      {{"--source", ".", "--destination", "out.h264"}, "exit 1 vexlo: the source \"D/.\" is a folder, not a file"},
      {{"--source", "in.mp4", "--destination", "."}, "exit 1 vexlo: the destination \"D/.\" is a folder; name the file to write"},
      {{"--source", "in.mp4", "--destination", "no/out.h264"}, "exit 1 vexlo: the destination's folder \"D/no\" does not exist"},
      // clang-format on
  };
  for (const auto& row : rows) {
    std::vector<std::string> args;
    for (const std::string& arg : row.args) args.push_back(N(arg));
    EXPECT_EQ(Describe(ReadCommandLine(args, d, "9.9"), d), row.expected) << row.args.size();
  }
  const StartRequest help = ReadCommandLine({"--help"}, d, "9.9");
  const std::string pad(24, ' ');
  for (const std::string& line :
       {"\n  --crf <N>             Position in the \"CRF (3=Best)\" list: 0=3, 1=5, 2=7,\n" + pad +
            "3=10, 4=12 (default), 5=13, 6=15, 7=16, 8=17, 9=18,\n" + pad +
            "10=20, 11=22, 12=25, 13=30. With a GPU it chooses a bit\n" + pad + "rate.\n",
        "\n  --short-gop           Short GOP: a key frame at least every 8 frames (video\n" + pad +
            "sources).\n"}) {
    EXPECT_NE(help.out.find(line), std::string::npos) << help.out;
  }
}

// A window over the fake host, with a settings folder and a program folder of its own (no tools
// in it, so a job that gets started fails to start instead of running).
class WindowTest : public ::testing::Test {
 protected:
  void TearDown() override { Close(); }
  MainWindow& Open(const std::optional<CommandLineFields>& automatic = std::nullopt) {
    window_ = std::make_unique<MainWindow>(host_, store_, program_);
    if (automatic) window_->PresetAutomaticMode(*automatic);
    window_->onInitDialog();
    host_.runPosted();
    return *window_;
  }
  void Close() {
    if (window_) window_->onDestroy();
    window_.reset();
  }
  void Click(int control) {
    window_->onCommand(control, ControlEvent::kClicked);
    host_.runPosted();
  }
  void Select(int list, int index) {
    host_.setListIndex(list, index);
    window_->onCommand(list, ControlEvent::kSelectionChanged);
    host_.runPosted();
  }
  Stored Settings() const { return testing::StoredSettings(store_); }

  std::optional<testing::ConfigHome> config_{std::in_place};
  std::string program_ = testing::MakeTempDirectory("program");
  testing::FakeDialogHost host_;
  RegistryStore store_;
  std::unique_ptr<MainWindow> window_;
};

TEST_F(WindowTest, FirstStartThenEachSettingControlWritesOnlyItsOwnValue) {
  MainWindow& w = Open();
  for (int edit : {id::kSourceEdit, id::kVideoDestEdit, id::kAudioDestEdit})
    EXPECT_EQ(host_.text(edit), program_);
  EXPECT_EQ(host_.text(id::kFrameTimeEdit), "0.00");
  EXPECT_EQ(std::vector({host_.listIndex(id::kProfileList), host_.listIndex(id::kCrfList),
                         host_.listIndex(id::kResizeList), host_.listIndex(id::kFpsList),
                         host_.listIndex(id::kGpuList)}),
            std::vector({2, 1, 0, 0, 0}));
  EXPECT_TRUE(host_.checked(id::kRadioH264));
  EXPECT_FALSE(host_.checked(id::kDeinterlaceCheck) || host_.checked(id::kShortGopCheck) ||
               host_.checked(id::kReportCheck));
  EXPECT_TRUE(w.controlsEnabled());
  EXPECT_FALSE(platform::KeyExists(platform::RegistryRoot::kCurrentUser,
                                   kSettingsKey));  // reading never creates it
  const std::tuple<int, int, const char*, const char*> rows[] = {
      {id::kProfileList, 1, "iNumProfile", "1"},
      {id::kCrfList, 5, "iNumCRF", "5"},
      {id::kFpsList, 7, "iNumFPS", "7"},
      {id::kResizeList, 3, "iResizeType", "3"},
      {id::kDeinterlaceCheck, -1, "bDeinterlace", "1"},
      {id::kShortGopCheck, -1, "bShortGop", "1"},
      {id::kReportCheck, -1, "bUseReport", "1"},
      {id::kRadioMpv, -1, "mOutType", "2"}};
  for (const auto& [control, index, name, value] : rows) {
    Close();
    config_.emplace();
    Open();
    if (index >= 0) {
      Select(control, index);
    } else {
      if (control == id::kRadioMpv) host_.setChecked(id::kRadioH264, false);
      host_.setChecked(control, true);
      Click(control);
    }
    EXPECT_EQ(Settings(), (Stored{{name, value}}));
  }
}

TEST_F(WindowTest, DestinationButtonsBrowseAndGo) {
  Open();
  host_.setText(id::kSourceEdit, N("/in/clip.mov"));
  Click(id::kDeriveVid);
  Click(id::kDeriveWav);
  EXPECT_EQ(Settings(), (Stored{{"FileDestinazione", N("/in/VIDEO.H264")},
                                {"FileDestinazione3", N("/in/clip.WAV")}}));
  EXPECT_EQ(host_.text(id::kVideoDestEdit) + " " + host_.text(id::kAudioDestEdit),
            N("/in/VIDEO.H264 /in/clip.WAV"));
  host_.setText(id::kAudioDestEdit, N("/out/old.WAV"));
  Click(id::kBrowseAudio);  // cancelled: nextChosenFile is empty
  ASSERT_EQ(host_.fileDialogs.size(), 1u);
  const auto& dialog = host_.fileDialogs[0];
  EXPECT_EQ(dialog.title + "|" + dialog.filter + "|" + dialog.initialDirectory,
            "WAV Dest. File|*.WAV|" + N("/out/"));
  EXPECT_EQ(host_.text(id::kAudioDestEdit), N("/out/old.WAV"));
  host_.nextChosenFile = N("/out/new.WAV");
  Click(id::kBrowseAudio);
  EXPECT_EQ(host_.text(id::kAudioDestEdit), N("/out/new.WAV"));
  EXPECT_EQ(Settings().at("FileDestinazione3"), N("/out/new.WAV"));
  host_.setText(id::kVideoDestEdit, N("/out/a b.H264"));
  Click(id::kGoVideo);
  EXPECT_EQ(host_.revealed, std::vector<std::string>{N("/out/a b.H264")});
  EXPECT_EQ(host_.waitCursorDepth, 0);
}

TEST_F(WindowTest, DefaultResetsTheEncoderOptionsButNotTheThreeOwnSaves) {
  for (const auto& [name, value] :
       {std::pair{"bShortGop", 1}, {"iResizeType", 5}, {"iNumFPS", 9}, {"mOutType", 1}}) {
    store_.WriteDword(kSettingsKey, name, value);
  }
  store_.WriteString(kSettingsKey, "FileOrigine", N("/v/a.avi"));
  Open();
  host_.setListIndex(id::kGpuList, 2);
  host_.setChecked(id::kDeinterlaceCheck, true);
  host_.setText(id::kFrameTimeEdit, "12.5");
  Click(id::kDefault);
  EXPECT_EQ(std::vector({host_.listIndex(id::kProfileList), host_.listIndex(id::kCrfList),
                         host_.listIndex(id::kResizeList), host_.listIndex(id::kFpsList),
                         host_.listIndex(id::kGpuList)}),
            std::vector({2, 3, 0, 0, 0}));
  EXPECT_FALSE(host_.checked(id::kDeinterlaceCheck) || host_.checked(id::kShortGopCheck));
  EXPECT_EQ(host_.text(id::kFrameTimeEdit), "0.00");
  EXPECT_EQ(host_.text(id::kVideoDestEdit), N("/v/a.H265"));
  const Stored stored = Settings();
  for (const auto& [name, value] : {std::pair<std::string, std::string>{"bShortGop", "1"},
                                    {"iResizeType", "5"},
                                    {"iNumFPS", "9"},
                                    {"iNumCRF", "3"},
                                    {"m_GpuType", "0"},
                                    {"FileDestinazione", N("/v/a.H265")}}) {
    EXPECT_EQ(stored.at(name), value) << name;
  }
}

TEST_F(WindowTest, AutomaticModeWithSameSourceAndDestinationStaysOpenAndFails) {
  CommandLineFields fields;
  fields.count = 2;
  fields.source = fields.videoDestination = N("/in/a.mov");
  MainWindow& w = Open(fields);
  for (int c : {id::kBrowseSource, id::kBrowseVideo, id::kDeriveVid, id::kLogPane, id::kEncodeVideo,
                id::kDefault, res::kIdOk}) {
    EXPECT_FALSE(host_.visible(c)) << c;
  }
  EXPECT_EQ(w.settings().profile, 0);
  EXPECT_EQ(w.settings().crf, 4);
  w.flushLog();
  host_.runPosted();
  EXPECT_NE(w.logReference()->paneText().find(
                "##### ERROR: Origin and destination files are the same  ######"),
            std::string::npos);
  EXPECT_FALSE(host_.result().has_value());
  EXPECT_NE(w.ExitStatus(), 0);
  EXPECT_TRUE(Settings().empty());  // a refused request saves nothing
}

}  // namespace
}  // namespace vexlo::app
