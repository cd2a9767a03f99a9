// The main window as a person uses it: the window's logic over the real Qt widgets, driven by
// clicks and key presses on the offscreen platform.

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QProgressBar>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <string>

#include "app/RegistryStore.h"
#include "app/VexloDlg.h"
#include "platform/RegistryHive.h"
#include "platform/qt/QtDialogHost.h"
#include "res/ControlIds.h"
#include "res/MainDialogTemplate.h"
#include "tests/gui/GuiTestSupport.h"
#include "tests/support/StoredSettings.h"

namespace vexlo::app {
namespace {

namespace fs = std::filesystem;
namespace id = res::id;

const ::testing::Environment* const kQtEnvironment =
    ::testing::AddGlobalTestEnvironment(new testing::QtApplicationEnvironment);

// The controls EnableJobControls switches, and those it leaves usable during a job.
constexpr int kJobControls[] = {1012, 1038, 1030, 1024, 1010, 1033, 1011, 1018, 1019, 1039, 1034,
                                1006, 1007, 1031, 1025, 1045, 1037, 1027, 1026, 1043, 1041, 1042};
constexpr int kUsableDuringJobs[] = {1022, 1023, 1036, 1047, 1048, 1049, 1028, 1050, 1002,
                                     1003, 1035, 1040, 1017, 1};

bool WaitUntil(const std::function<bool()>& condition, int milliseconds = 10000) {
  for (int waited = 0; waited < milliseconds; waited += 10) {
    if (condition()) return true;
    QTest::qWait(10);
  }
  return condition();
}

// A window with a settings folder and a program folder of its own. The program folder's
// ffmpeg.bin is a stand-in that writes its process id and then stays busy, so that a job runs
// for as long as a test needs it.
class WindowGui : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() /
            ("vexlo-gui-" + std::to_string(::getpid()) + "-" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(root_);
    fs::create_directories(root_ / "config");
    fs::create_directories(root_ / "program");
    ::setenv("XDG_CONFIG_HOME", (root_ / "config").c_str(), 1);
    const fs::path tool = root_ / "program" / "ffmpeg.bin";
    std::ofstream(tool) << "#!/bin/sh\n"
                           "echo $$ > tool.pid\n"
                           "echo '  Duration: 00:01:00.00, start: 0.000000, bitrate: 5 kb/s'\n"
                           "exec sleep 60\n";
    fs::permissions(tool, fs::perms::owner_all);
  }
  void TearDown() override {
    fs::current_path(fs::temp_directory_path());
    fs::remove_all(root_);
  }

  // Runs the window modally; `script` runs inside the modal loop and must end the dialog.
  int Run(const std::function<void()>& script,
          const std::optional<CommandLineFields>& automatic = std::nullopt) {
    host_ = std::make_unique<platform::qt::QtDialogHost>(res::MainDialogTemplate());
    window_ = std::make_unique<CVexloDlg>(*host_, store_, (root_ / "program").string());
    if (automatic) window_->PresetAutomaticMode(*automatic);
    QTimer::singleShot(0, host_.get(), script);
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [this] {
      ADD_FAILURE() << "the script did not close the window";
      host_->endDialog(-1);
    });
    watchdog.start(30000);
    const int result = host_->run(*window_);
    window_.reset();
    host_.reset();
    return result;
  }

  template <typename Widget = QWidget>
  Widget* W(int control) {
    return qobject_cast<Widget*>(host_->control(control));
  }
  void Click(int control) { QTest::mouseClick(W(control), Qt::LeftButton); }
  void Close() { Click(res::kIdOk); }

  std::map<std::string, std::string> Stored() const { return testing::StoredSettings(store_); }


  void Screenshot(const std::string& name, QWidget* widget) {
    const fs::path folder = fs::path(VEXLO_TEST_BINARY_DIR) / "screenshots";
    fs::create_directories(folder);
    EXPECT_TRUE(widget->grab().save(QString::fromStdString((folder / name).string())));
  }

  std::optional<pid_t> ToolPid() const {
    std::ifstream in(root_ / "program" / "tool.pid");
    pid_t pid = 0;
    if (in >> pid) return pid;
    return std::nullopt;
  }

  fs::path root_;
  RegistryStore store_;
  std::unique_ptr<platform::qt::QtDialogHost> host_;
  std::unique_ptr<CVexloDlg> window_;
};

TEST_F(WindowGui, EverySettingControlWritesOnlyItsOwnValue) {
  struct Row {
    int control;
    const char* value;
    const char* expected;
  };
  // The load defaults put the lists at profile 2, CRF 1, FPS 0 and resize 0; Down moves by one.
  const Row rows[] = {{id::kCrfList, "iNumCRF", "2"},          {id::kFpsList, "iNumFPS", "1"},
                      {id::kResizeList, "iResizeType", "1"},   {id::kDeinterlaceCheck, "bDeinterlace", "1"},
                      {id::kShortGopCheck, "bShortGop", "1"},  {id::kRadioH265, "mOutType", "1"},
                      {id::kRadioMpv, "mOutType", "2"}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.value);
    fs::remove_all(root_ / "config");
    std::map<std::string, std::string> stored;
    Run([&] {
      if (auto* list = W<QComboBox>(row.control)) {
        list->setFocus();
        QTest::keyClick(list, Qt::Key_Down);
      } else {
        Click(row.control);
      }
      stored = Stored();
      Close();
    });
    EXPECT_EQ(stored, (std::map<std::string, std::string>{{row.value, row.expected}}));
  }
  // The profile list: " high" is its last entry, so Up moves it.
  fs::remove_all(root_ / "config");
  std::map<std::string, std::string> stored;
  Run([&] {
    W<QComboBox>(id::kProfileList)->setFocus();
    QTest::keyClick(W(id::kProfileList), Qt::Key_Up);
    stored = Stored();
    Close();
  });
  EXPECT_EQ(stored, (std::map<std::string, std::string>{{"iNumProfile", "1"}}));
}

TEST_F(WindowGui, DefaultKeepsSourceOutputTypeAndTheThreeOwnSaves) {
  store_.WriteDword(kSettingsKey, "bShortGop", 1);
  store_.WriteDword(kSettingsKey, "iResizeType", 4);
  store_.WriteDword(kSettingsKey, "iNumFPS", 6);
  store_.WriteDword(kSettingsKey, "mOutType", 1);
  store_.WriteDword(kSettingsKey, "m_GpuType", 2);
  store_.WriteString(kSettingsKey, "FileOrigine", "/v/a.avi");
  Run([&] {
    Click(id::kDefault);
    EXPECT_EQ(W<QComboBox>(id::kProfileList)->currentText(), " high");
    EXPECT_EQ(W<QComboBox>(id::kCrfList)->currentText(), "10");
    EXPECT_EQ(W<QComboBox>(id::kResizeList)->currentText(), "No Resize");
    EXPECT_EQ(W<QComboBox>(id::kFpsList)->currentText(), "None");
    EXPECT_EQ(W<QComboBox>(id::kGpuList)->currentText(), "DISABLED");
    EXPECT_FALSE(W<QAbstractButton>(id::kShortGopCheck)->isChecked());
    EXPECT_EQ(W<QLineEdit>(id::kFrameTimeEdit)->text(), "0.00");
    EXPECT_EQ(W<QLineEdit>(id::kVideoDestEdit)->text(), "/v/a.H265");
    EXPECT_EQ(W<QLineEdit>(id::kSourceEdit)->text(), "/v/a.avi");
    EXPECT_TRUE(W<QAbstractButton>(id::kRadioH265)->isChecked());
    Close();
  });
  const auto stored = Stored();
  EXPECT_EQ(stored.at("bShortGop"), "1");
  EXPECT_EQ(stored.at("iResizeType"), "4");
  EXPECT_EQ(stored.at("iNumFPS"), "6");
  EXPECT_EQ(stored.at("m_GpuType"), "0");
  EXPECT_EQ(stored.at("iNumCRF"), "3");
  EXPECT_EQ(stored.at("FileDestinazione"), "/v/a.H265");
}

TEST_F(WindowGui, CancelledBrowseChangesNothing) {
  store_.WriteString(kSettingsKey, "FileOrigine", "/v/a.avi");
  std::string title;
  Run([&] {
    QTimer::singleShot(300, [&] {
      for (QWidget* top : QApplication::topLevelWidgets()) {
        if (auto* dialog = qobject_cast<QFileDialog*>(top); dialog && dialog->isVisible()) {
          title = dialog->windowTitle().toStdString();
          dialog->reject();
        }
      }
    });
    Click(id::kBrowseSource);
    EXPECT_EQ(W<QLineEdit>(id::kSourceEdit)->text(), "/v/a.avi");
    Close();
  });
  EXPECT_EQ(title, "Video Source File");
  EXPECT_EQ(Stored(), (std::map<std::string, std::string>{{"FileOrigine", "/v/a.avi"}}));
}

// A job disables exactly the job controls; the radios still switch the visible destination
// button and profile list; Cancel kills the tool and gives the idle window back.
TEST_F(WindowGui, JobStatesRadiosWhileBusyAndCancel) {
  store_.WriteString(kSettingsKey, "FileOrigine", (root_ / "in.mov").string());
  store_.WriteString(kSettingsKey, "FileDestinazione", (root_ / "out.H264").string());
  std::optional<pid_t> pid;
  Run([&] {
    Screenshot("window_idle.png", host_.get());
    for (int c : kJobControls) EXPECT_TRUE(W(c)->isEnabled()) << c;
    EXPECT_FALSE(W(id::kCancel)->isEnabled());

    Click(id::kEncodeVideo);
    ASSERT_TRUE(WaitUntil([&] { return ToolPid().has_value(); }));
    pid = ToolPid();
    ASSERT_TRUE(WaitUntil([&] { return W(id::kCancel)->isEnabled(); }));
    for (int c : kJobControls) EXPECT_FALSE(W(c)->isEnabled()) << c;
    for (int c : kUsableDuringJobs) EXPECT_TRUE(W(c)->isEnabled()) << c;
    Screenshot("window_busy.png", host_.get());

    Click(id::kRadioMpv);
    EXPECT_TRUE(W<QAbstractButton>(id::kRadioMpv)->isChecked());
    EXPECT_TRUE(W(id::kDeriveMpv)->isVisible());
    EXPECT_FALSE(W(id::kDeriveH264)->isVisible());
    EXPECT_FALSE(W(id::kProfileList)->isVisible());
    EXPECT_FALSE(W(id::kRadioH264)->isEnabled());
    EXPECT_FALSE(W(id::kEncodeVideo)->isEnabled());

    Click(id::kCancel);
    EXPECT_TRUE(WaitUntil([&] { return W(id::kEncodeVideo)->isEnabled(); }));
    EXPECT_FALSE(W(id::kCancel)->isEnabled());
    EXPECT_TRUE(WaitUntil([&] { return W<QProgressBar>(id::kProgress)->value() == 0; }));
    EXPECT_NE(::kill(*pid, 0), 0) << "the tool survived Cancel";
    Close();
  });
  ASSERT_TRUE(pid.has_value());
  EXPECT_EQ(Stored().at("mOutType"), "2");
}

TEST_F(WindowGui, ClosingDuringAJobKillsTheToolAndReturnsPromptly) {
  store_.WriteString(kSettingsKey, "FileOrigine", (root_ / "in.mov").string());
  store_.WriteString(kSettingsKey, "FileDestinazione", (root_ / "out.H264").string());
  std::optional<pid_t> pid;
  std::chrono::steady_clock::time_point closed;
  Run([&] {
    Click(id::kEncodeVideo);
    ASSERT_TRUE(WaitUntil([&] { return ToolPid().has_value(); }));
    pid = ToolPid();
    closed = std::chrono::steady_clock::now();
    host_->close();  // the title-bar close
  });
  const auto took = std::chrono::steady_clock::now() - closed;
  ASSERT_TRUE(pid.has_value());
  EXPECT_LT(took, std::chrono::seconds(3));
  EXPECT_NE(::kill(*pid, 0), 0) << "the tool outlived the window";
}

TEST_F(WindowGui, CompactAutomaticWindowAndAboutBox) {
  CommandLineFields fields;
  fields.count = 2;
  fields.first = (root_ / "in.mov").string();
  fields.second = (root_ / "out.H264").string();
  std::optional<pid_t> pid;
  const int result = Run(
      [&] {
        EXPECT_EQ(host_->width(), 748);
        EXPECT_EQ(host_->height(), 223);
        EXPECT_TRUE(W<QLineEdit>(id::kSourceEdit)->isReadOnly());
        for (int c : {1010, 1011, 1018, 1013, 1009, 1012, 1017, 1})
          EXPECT_FALSE(W(c)->isVisible()) << c;
        ASSERT_TRUE(WaitUntil([&] { return ToolPid().has_value(); }));
        pid = ToolPid();
        Screenshot("window_compact.png", host_.get());
        QTimer::singleShot(300, [&] {
          for (QWidget* top : QApplication::topLevelWidgets()) {
            if (top != host_.get() && top->isVisible() && qobject_cast<QDialog*>(top)) {
              EXPECT_EQ(top->windowTitle(), " About Vexlo");
              Screenshot("window_about.png", top);
              qobject_cast<QDialog*>(top)->reject();
            }
          }
        });
        window_->onCommand(res::kCmdAppAbout, platform::ControlEvent::kClicked);
        Click(id::kCancel);  // cancelling in automatic mode closes the window
      },
      fields);
  EXPECT_EQ(result, res::kIdCancel);
  ASSERT_TRUE(pid.has_value());
  EXPECT_NE(::kill(*pid, 0), 0);
}

// Get Info with the real ffmpeg: the input description appears in the log pane between its
// marker lines, with the level prefix, and the pane scrolls to it.
TEST_F(WindowGui, GetInfoShowsTheInputDescriptionInTheLogPane) {
  const fs::path tool = root_ / "program" / "ffmpeg.bin";
  fs::remove(tool);
  fs::create_symlink(VEXLO_FFMPEG_PATH, tool);
  const std::string clip = (root_ / "clip.mp4").string();
  ASSERT_EQ(std::system((std::string(VEXLO_FFMPEG_PATH) +
                         " -v error -y -f lavfi -i testsrc=size=64x48:rate=25 -t 1 \"" + clip +
                         "\"").c_str()),
            0);
  store_.WriteString(kSettingsKey, "FileOrigine", clip);
  std::string pane;
  Run([&] {
    Click(id::kInfoSource);
    ASSERT_TRUE(WaitUntil(
        [&] {
          return host_->text(id::kLogPane).find("##### MEDIA INFO END ######") != std::string::npos;
        },
        15000));
    pane = host_->text(id::kLogPane);
    Screenshot("window_media_info.png", host_.get());
    Close();
  });
  const auto start = pane.find("[30] # ##### MEDIA INFO START ######\r\n");
  const auto input = pane.find("[30] # Input #0");
  const auto duration = pane.find("Duration: 00:00:01.00");
  const auto end = pane.find("[30] # ##### MEDIA INFO END ######\r\n");
  ASSERT_NE(start, std::string::npos) << pane;
  EXPECT_LT(start, input);
  EXPECT_LT(input, duration);
  EXPECT_LT(duration, end);
  EXPECT_EQ(pane.find("At least one"), std::string::npos);
}

}  // namespace
}  // namespace vexlo::app
