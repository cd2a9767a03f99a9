#include <gtest/gtest.h>

#include <filesystem>

#include "analysis/FrameGrab.h"
#include "analysis/IndexNaming.h"
#include "app/Derivations.h"
#include "app/RegistryStore.h"
#include "app/VexloApp.h"
#include "app/VexloDlg.h"
#include "encode/AudioExtraction.h"
#include "encode/OutputNames.h"
#include "encode/PngPattern.h"
#include "platform/CommandLineSplit.h"
#include "platform/RegistryHive.h"
#include "process/TraceFormat.h"
#include "res/ControlIds.h"
#include "tests/support/FakeDialogHost.h"
#include "tests/support/Support.h"

namespace vexlo::app {
namespace {

namespace id = res::id;
using platform::ControlEvent;
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
    return encode::OutputPathIn(row[1], row[2],
                                row[3] == "wav" ? encode::kWavExtension
                                                : encode::OutputExtension(std::stoi(row[3])));
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
    return std::to_string(c.count) + " " + List({c.first, c.second}) + " " +
           std::to_string(c.third) + " " + std::to_string(c.fourth);
  }
  if (f == "split") return List(platform::SplitCommandLine(row[1]));
  if (f == "dated") return process::DatedLogPath(row[1], std::stoi(row[2]), std::stoi(row[3]));
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
  char program[] = "vexlo", a[] = "/in/a.mov,", b[] = "/out/a.H264";
  char* argv[] = {program, a, b};
  EXPECT_EQ(JoinArguments(3, argv), "/in/a.mov, /out/a.H264");
  EXPECT_EQ(JoinArguments(1, argv), "");
}

// A window over the fake host, with a settings folder and a program folder of its own (no tools
// in it, so a job that gets started fails to start instead of running).
class WindowTest : public ::testing::Test {
 protected:
  void TearDown() override { Close(); }
  CVexloDlg& Open(const std::optional<CommandLineFields>& automatic = std::nullopt) {
    window_ = std::make_unique<CVexloDlg>(host_, store_, program_);
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
  std::unique_ptr<CVexloDlg> window_;
};

TEST_F(WindowTest, FirstStartThenEachSettingControlWritesOnlyItsOwnValue) {
  CVexloDlg& w = Open();
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
  fields.first = fields.second = N("/in/a.mov");
  CVexloDlg& w = Open(fields);
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
  EXPECT_FALSE(host_.dialogResult.has_value());
  EXPECT_NE(w.ExitStatus(), 0);
  EXPECT_TRUE(Settings().empty());  // a refused request saves nothing
}

}  // namespace
}  // namespace vexlo::app
