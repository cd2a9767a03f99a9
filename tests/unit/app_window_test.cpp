#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <map>
#include <optional>
#include <string>

#include "app/RegistryStore.h"
#include "app/VexloDlg.h"
#include "platform/RegistryHive.h"
#include "res/ControlIds.h"
#include "tests/support/FakeDialogHost.h"
#include "tests/support/StoredSettings.h"

namespace vexlo::app {
namespace {

namespace id = res::id;
using platform::ControlEvent;

// A window over the fake host, with a settings folder and a program folder of its own (no tools
// in it, so a job that gets started fails to start instead of running).
class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = std::filesystem::temp_directory_path() /
            ("vexlo-window-" + std::to_string(::getpid()) + "-" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(root_);
    std::filesystem::create_directories(root_ / "config");
    std::filesystem::create_directories(root_ / "program");
    ::setenv("XDG_CONFIG_HOME", (root_ / "config").c_str(), 1);
  }
  void TearDown() override {
    if (window_) {
      window_->onDestroy();
      window_.reset();
    }
    std::filesystem::current_path(std::filesystem::temp_directory_path());
    std::filesystem::remove_all(root_);
  }

  CVexloDlg& Open(const std::optional<CommandLineFields>& automatic = std::nullopt) {
    window_ = std::make_unique<CVexloDlg>(host_, store_, programDir());
    if (automatic) window_->PresetAutomaticMode(*automatic);
    window_->onInitDialog();
    host_.runPosted();
    return *window_;
  }
  std::string programDir() const { return (root_ / "program").string(); }

  // The values present in the settings key, as text.
  std::map<std::string, std::string> Stored() const { return testing::StoredSettings(store_); }


  void Click(int control) {
    window_->onCommand(control, ControlEvent::kClicked);
    host_.runPosted();
  }
  void Select(int list, int index) {
    host_.setListIndex(list, index);
    window_->onCommand(list, ControlEvent::kSelectionChanged);
    host_.runPosted();
  }

  std::filesystem::path root_;
  testing::FakeDialogHost host_;
  RegistryStore store_;
  std::unique_ptr<CVexloDlg> window_;
};

TEST_F(WindowTest, FirstStartShowsTheLoadDefaults) {
  CVexloDlg& w = Open();
  EXPECT_EQ(host_.text(id::kSourceEdit), programDir());
  EXPECT_EQ(host_.text(id::kVideoDestEdit), programDir());
  EXPECT_EQ(host_.text(id::kAudioDestEdit), programDir());
  EXPECT_EQ(host_.text(id::kFrameTimeEdit), "0.00");
  EXPECT_EQ(host_.listIndex(id::kProfileList), 2);  // " high"
  EXPECT_EQ(host_.listIndex(id::kCrfList), 1);      // "5"
  EXPECT_EQ(host_.listIndex(id::kResizeList), 0);
  EXPECT_EQ(host_.listIndex(id::kFpsList), 0);
  EXPECT_EQ(host_.listIndex(id::kGpuList), 0);
  EXPECT_TRUE(host_.checked(id::kRadioH264));
  EXPECT_FALSE(host_.checked(id::kDeinterlaceCheck) || host_.checked(id::kShortGopCheck) ||
               host_.checked(id::kReportCheck));
  EXPECT_TRUE(w.controlsEnabled());
  // Reading never creates the key.
  EXPECT_FALSE(platform::KeyExists(platform::RegistryRoot::kCurrentUser, kSettingsKey));
}

TEST_F(WindowTest, EachSettingControlWritesOnlyItsOwnValue) {
  struct Row {
    int control;
    bool isList;
    int index;
    const char* value;
    const char* expected;
  };
  const Row rows[] = {
      {id::kProfileList, true, 1, "iNumProfile", "1"},
      {id::kCrfList, true, 5, "iNumCRF", "5"},
      {id::kFpsList, true, 7, "iNumFPS", "7"},
      {id::kResizeList, true, 3, "iResizeType", "3"},
      {id::kDeinterlaceCheck, false, 0, "bDeinterlace", "1"},
      {id::kShortGopCheck, false, 0, "bShortGop", "1"},
      {id::kReportCheck, false, 0, "bUseReport", "1"},
      {id::kRadioMpv, false, 0, "mOutType", "2"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.value);
    std::filesystem::remove_all(root_ / "config");
    Open();
    if (row.isList) {
      Select(row.control, row.index);
    } else {
      if (row.control == id::kRadioMpv) host_.setChecked(id::kRadioH264, false);
      host_.setChecked(row.control, true);
      Click(row.control);
    }
    EXPECT_EQ(Stored(), (std::map<std::string, std::string>{{row.value, row.expected}}));
    window_->onDestroy();
    window_.reset();
  }
}

TEST_F(WindowTest, DestinationButtonsDeriveAndSaveTheirRows) {
  Open();
  host_.setText(id::kSourceEdit, "/in/clip.mov");
  Click(id::kDeriveVid);
  EXPECT_EQ(host_.text(id::kVideoDestEdit), "/in/VIDEO.H264");
  Click(id::kDeriveWav);
  EXPECT_EQ(host_.text(id::kAudioDestEdit), "/in/clip.WAV");
  const auto stored = Stored();
  EXPECT_EQ(stored.at("FileDestinazione"), "/in/VIDEO.H264");
  EXPECT_EQ(stored.at("FileDestinazione3"), "/in/clip.WAV");
  EXPECT_EQ(stored.count("FileOrigine"), 0u);
}

TEST_F(WindowTest, DefaultResetsTheEncoderOptionsButNotTheThreeOwnSaves) {
  store_.WriteDword(kSettingsKey, "bShortGop", 1);
  store_.WriteDword(kSettingsKey, "iResizeType", 5);
  store_.WriteDword(kSettingsKey, "iNumFPS", 9);
  store_.WriteDword(kSettingsKey, "mOutType", 1);
  store_.WriteString(kSettingsKey, "FileOrigine", "/v/a.avi");
  Open();
  host_.setListIndex(id::kGpuList, 2);
  host_.setChecked(id::kDeinterlaceCheck, true);
  host_.setText(id::kFrameTimeEdit, "12.5");
  Click(id::kDefault);
  EXPECT_EQ(host_.listIndex(id::kProfileList), 2);
  EXPECT_EQ(host_.listIndex(id::kCrfList), 3);  // "10"
  EXPECT_EQ(host_.listIndex(id::kResizeList), 0);
  EXPECT_EQ(host_.listIndex(id::kFpsList), 0);
  EXPECT_EQ(host_.listIndex(id::kGpuList), 0);
  EXPECT_FALSE(host_.checked(id::kDeinterlaceCheck) || host_.checked(id::kShortGopCheck));
  EXPECT_EQ(host_.text(id::kFrameTimeEdit), "0.00");
  EXPECT_EQ(host_.text(id::kVideoDestEdit), "/v/a.H265");
  const auto stored = Stored();
  EXPECT_EQ(stored.at("bShortGop"), "1");
  EXPECT_EQ(stored.at("iResizeType"), "5");
  EXPECT_EQ(stored.at("iNumFPS"), "9");
  EXPECT_EQ(stored.at("iNumCRF"), "3");
  EXPECT_EQ(stored.at("m_GpuType"), "0");
  EXPECT_EQ(stored.at("FileDestinazione"), "/v/a.H265");
}

TEST_F(WindowTest, EnableJobControlsSwitchesExactlyTheJobControls) {
  CVexloDlg& w = Open();
  const int jobControls[] = {1012, 1038, 1030, 1024, 1010, 1033, 1011, 1018, 1019, 1039, 1034,
                             1006, 1007, 1031, 1025, 1045, 1037, 1027, 1026, 1043, 1041, 1042};
  const int untouched[] = {1022, 1023, 1036, 1047, 1048, 1049, 1051, 1028, 1050,
                           1002, 1003, 1035, 1040, 1017, 1};
  for (bool enable : {false, true}) {
    w.EnableJobControls(enable);
    for (int c : jobControls) EXPECT_EQ(host_.enabled(c), enable) << c;
    EXPECT_EQ(host_.enabled(id::kCancel), !enable);
    for (int c : untouched) EXPECT_TRUE(host_.enabled(c)) << c;
  }
}

TEST_F(WindowTest, RadiosSwitchTheVisibleButtonAlsoWhileAJobRuns) {
  CVexloDlg& w = Open();
  w.EnableJobControls(false);
  struct Row {
    int radio;
    bool h264, h265, mpv;
  };
  for (const Row& r : {Row{id::kRadioH265, false, true, false}, Row{id::kRadioMpv, false, false, true},
                       Row{id::kRadioH264, true, false, false}}) {
    for (int radio : {id::kRadioH264, id::kRadioH265, id::kRadioMpv})
      host_.setChecked(radio, radio == r.radio);
    Click(r.radio);
    EXPECT_EQ(host_.visible(id::kDeriveH264), r.h264);
    EXPECT_EQ(host_.visible(id::kProfileList), r.h264);
    EXPECT_EQ(host_.visible(id::kProfileLabel), r.h264);
    EXPECT_EQ(host_.visible(id::kDeriveH265), r.h265);
    EXPECT_EQ(host_.visible(id::kDeriveMpv), r.mpv);
    EXPECT_FALSE(host_.enabled(id::kEncodeVideo));
    EXPECT_FALSE(host_.enabled(id::kRadioH264));
    EXPECT_TRUE(host_.enabled(id::kRadioMpv));
  }
}

TEST_F(WindowTest, BrowseWritesOnlyItsFieldAndCancelChangesNothing) {
  Open();
  host_.setText(id::kAudioDestEdit, "/out/old.WAV");
  Click(id::kBrowseAudio);  // cancelled: nextChosenFile is empty
  ASSERT_EQ(host_.fileDialogs.size(), 1u);
  EXPECT_EQ(host_.fileDialogs[0].title, "WAV Dest. File");
  EXPECT_EQ(host_.fileDialogs[0].filter, "*.WAV");
  EXPECT_EQ(host_.fileDialogs[0].initialDirectory, "/out/");
  EXPECT_EQ(host_.text(id::kAudioDestEdit), "/out/old.WAV");
  EXPECT_TRUE(Stored().empty());

  host_.nextChosenFile = "/out/new.WAV";
  Click(id::kBrowseAudio);
  EXPECT_EQ(host_.text(id::kAudioDestEdit), "/out/new.WAV");
  EXPECT_EQ(Stored(), (std::map<std::string, std::string>{{"FileDestinazione3", "/out/new.WAV"}}));
  EXPECT_EQ(host_.progress(), 0);
}

TEST_F(WindowTest, GoRevealsTheRowsPathAsTyped) {
  Open();
  host_.setText(id::kVideoDestEdit, "/out/a b.H264");
  Click(id::kGoVideo);
  ASSERT_EQ(host_.revealed.size(), 1u);
  EXPECT_EQ(host_.revealed[0], "/out/a b.H264");
  EXPECT_EQ(host_.waitCursorDepth, 0);
}

TEST_F(WindowTest, CancelWithNothingRunningResetsTheBarAndEnablesTheControls) {
  CVexloDlg& w = Open();
  w.EnableJobControls(false);
  Click(id::kCancel);
  EXPECT_TRUE(w.controlsEnabled());
  EXPECT_EQ(host_.progress(), 0);
  EXPECT_EQ(w.logReference()->paneText().find("STOP"), std::string::npos);
}

TEST_F(WindowTest, AutomaticModeWithSameSourceAndDestinationStaysOpenAndFails) {
  CommandLineFields fields;
  fields.count = 2;
  fields.first = fields.second = "/in/a.mov";
  CVexloDlg& w = Open(fields);
  EXPECT_EQ(host_.windowSize, std::make_pair(748, 223));
  for (int c : {1010, 1011, 1018, 1009, 1012, 1017, 1}) EXPECT_FALSE(host_.visible(c)) << c;
  EXPECT_TRUE(host_.readOnly(id::kSourceEdit));
  EXPECT_EQ(w.settings().profile, 0);
  EXPECT_EQ(w.settings().crf, 4);
  w.flushLog();
  host_.runPosted();
  EXPECT_NE(w.logReference()->paneText().find(
                "##### ERROR: Origin and destination files are the same  ######"),
            std::string::npos);
  EXPECT_FALSE(host_.dialogResult.has_value());
  EXPECT_NE(w.ExitStatus(), 0);
  EXPECT_TRUE(Stored().empty());  // a refused request saves nothing
}

}  // namespace
}  // namespace vexlo::app
