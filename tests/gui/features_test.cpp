// The window's aids beside the written jobs, on the real widgets: the word of a job's end over a
// session bus the test starts, files dropped on the path rows, each job's command line in the log
// and on the clipboard, the encoder check (the real ffmpeg.bin and a stand-in) and a file as the
// one argument.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QDropEvent>
#include <QLabel>
#include <QMimeData>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <regex>

#include "app/RegistryStore.h"
#include "app/VexloApp.h"
#include "app/VexloDlg.h"
#include "platform/CommandLineSplit.h"
#include "platform/qt/QtDialogHost.h"
#include "res/ControlIds.h"
#include "res/MainDialogTemplate.h"
#include "tests/support/Support.h"

namespace vexlo::testing {
namespace {

namespace fs = std::filesystem;
namespace id = res::id;

struct QtEnvironment : ::testing::Environment {
  void SetUp() override {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    ::unsetenv("DBUS_SESSION_BUS_ADDRESS");  // only the bus a test starts
    app = std::make_unique<QApplication>(argc, argv);
  }
  void TearDown() override { app.reset(); }
  int argc = 1;
  char name[8] = "vexlo", *argv[2] = {name, nullptr};
  std::unique_ptr<QApplication> app;
};
const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

bool WaitUntil(const std::function<bool()>& condition) {
  return QTest::qWaitFor(condition, 60000);
}

class Features : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::copy_file(Clip("clip.mp4"), source_);
    store_.WriteString(app::kSettingsKey, "FileOrigine", source_);
    store_.WriteString(app::kSettingsKey, "FileDestinazione", program_ + "/out.H264");
  }
  void UseTool(const std::string& name, const std::string& script) {
    fs::remove(program_ + "/" + name);
    std::ofstream(program_ + "/" + name) << "#!/bin/sh\n" << script << "\n";
    fs::permissions(program_ + "/" + name, fs::perms::owner_all);
  }
  // Runs the window modally with a script; the dialog ends after it (or after a minute).
  void Run(const std::function<void()>& script) {
    host_ = std::make_unique<platform::qt::QtDialogHost>(res::MainDialogTemplate());
    window_ = std::make_unique<app::CVexloDlg>(*host_, store_, program_);
    QTimer::singleShot(0, host_.get(), [&] {
      EXPECT_TRUE(WaitForLog("Trace process started."));  // no line comes between a job's lines
      script();
      host_->endDialog(1);
    });
    QTimer::singleShot(60000, host_.get(), [&] { host_->endDialog(-1); });
    EXPECT_EQ(host_->run(*window_), 1);
  }
  std::string Log() {
    window_->flushLog();
    return window_->logReference()->paneText();
  }
  bool WaitForLog(const std::string& line, std::size_t count = 1) {
    return WaitUntil([&] { return Count(Log(), line) >= count; });
  }
  void Command(int control) { window_->onCommand(control, platform::ControlEvent::kClicked); }

  ConfigHome config_;
  std::string program_ = MakeTempDirectory("features"), source_ = program_ + "/in clip.mp4";
  app::RegistryStore store_;
  std::unique_ptr<platform::qt::QtDialogHost> host_;
  std::unique_ptr<app::CVexloDlg> window_;
};

// A notification for each job that ends while another window is active (cancelled, failed,
// finished; none while the window is active), and the bar on the launcher entry during a job.
TEST_F(Features, JobEndsAreToldOverTheSessionBusWhenTheWindowIsNotActive) {
  QProcess bus, monitor;
  bus.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
  ASSERT_TRUE(bus.waitForReadyRead(60000));
  const QString address = QString::fromUtf8(bus.readLine()).trimmed();
  ::setenv("DBUS_SESSION_BUS_ADDRESS", address.toUtf8().constData(), 1);
  monitor.start("dbus-monitor", {"--address", address});
  QString seen;        // what the listener saw, without white space
  qsizetype from = 0;  // each message is heard once, in the order sent
  const auto heard = [&](const QString& what) {
    return WaitUntil([&] {
      seen += QString::fromUtf8(monitor.readAllStandardOutput()).remove(QRegularExpression("\\s"));
      const qsizetype at = seen.indexOf(what, from);
      from = at >= 0 ? at + what.size() : from;
      return at >= 0;
    });
  };
  ASSERT_TRUE(heard("member=NameAcquired"));  // the listener is on the bus
  QWidget other;
  const QString file = QString::fromStdString(program_) + "/out.H264\"";
  Run([&] {
    const struct {
      bool active;
      std::string script;
      QString word;
    } jobs[] = {
        {true, "exit 0", ""},
        {false, "printf '  Duration: 00:00:10.00,\\ntime=00:00:05.00 speed=1x\\n'\nsleep 60",
         "cancelled"},
        {false, "exit 1", "failed"},
        {false, "exit 0", "finished"}};
    for (const auto& job : jobs) {
      UseTool("ffmpeg.bin", job.script);
      QWidget* active = job.active ? static_cast<QWidget*>(host_.get()) : &other;
      active->show();
      QApplication::setActiveWindow(active);
      ASSERT_EQ(host_->isActiveWindow(), job.active);
      Command(id::kEncodeVideo);
      if (job.word == "cancelled") {
        EXPECT_TRUE(
            heard("\"progress\"variantdouble0.5)dictentry(string\"progress-visible\""
                  "variantbooleantrue"));
        EXPECT_TRUE(
            WaitUntil([&] { return host_->text(id::kProgressDetail).ends_with(", 1.0x"); }));
        Command(id::kCancel);
      }
      ASSERT_TRUE(WaitUntil([&] { return host_->enabled(id::kEncodeVideo); }));
      EXPECT_TRUE(job.word.isEmpty() || heard("\"Vexlo:job" + job.word + "\"string\"" + file));
    }
    EXPECT_TRUE(heard("variantbooleanfalse"));
    EXPECT_EQ(seen.count("member=Notify"), 3) << seen.toStdString();  // none while active
  });
}

// A local file dropped on a path row, on its edit or beside it, fills that row's edit as if
// typed; what else is dropped is refused. The path is checked when a job starts, as typed.
TEST_F(Features, FilesDroppedOnThePathRowsFillTheirEdits) {
  Run([&] {
    const QSize size = host_->size();
    const auto drop = [&](QWidget* target, QPoint at, const QUrl& url) {
      QMimeData data;
      data.setUrls({url});
      QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
      QDropEvent dropped(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
      return QApplication::sendEvent(target, &enter) && enter.isAccepted() &&
             QApplication::sendEvent(target, &dropped) && dropped.isAccepted();
    };
    const struct {
      int edit, target;  // the target 0: the client area, on the audio row's WAV button
      std::string file;
    } rows[] = {{id::kSourceEdit, id::kSourceEdit, program_ + "/a \"quoted\".mov"},
                {id::kVideoDestEdit, id::kVideoDestEdit, program_ + "/b.H264"},
                {id::kAudioDestEdit, id::kAudioDestEdit, program_ + "/c.WAV"},
                {id::kAudioDestEdit, 0, program_ + "/d.WAV"}};
    for (const auto& row : rows) {
      QWidget* target = row.target ? host_->control(row.target) : host_->clientArea();
      const QPoint at =
          row.target ? QPoint(5, 5) : host_->control(id::kDeriveWav)->geometry().center();
      EXPECT_TRUE(drop(target, at, QUrl::fromLocalFile(QString::fromStdString(row.file))));
      EXPECT_EQ(host_->text(row.edit), row.file);
    }
    EXPECT_FALSE(drop(host_->control(id::kSourceEdit), {5, 5}, QUrl("https://example.org/x")));
    Command(id::kEncodeVideo);
    EXPECT_TRUE(WaitForLog("Unusable file name (double quote or leading '-'): " + rows[0].file));
    // The widest detail the label may show fits it, and nothing widened the window.
    auto* label = qobject_cast<QLabel*>(host_->control(id::kProgressDetail));
    const QString widest = "Elapsed 125:00:01, left 124:59:59, 10.0x, 1000 fps, 999.99 GiB";
    EXPECT_LE(label->fontMetrics().horizontalAdvance(widest), label->width());
    EXPECT_EQ(host_->size(), size);
  });
}

// The logged line is the command the tool was given, argument for argument, and what File >
// Copy Last Command copies.
TEST_F(Features, EachJobLogsTheCommandItRanAfterItsStartLineAndCopiesIt) {
  for (const char* tool : {"ffmpeg.bin", "ffprobe.bin"}) {
    UseTool(tool, "printf '%s\\n' \"$0\" \"$@\" > \"" + program_ + "/args\"");
  }
  Run([&] {
    const struct {
      int button;
      std::string start, end;
    } jobs[] = {{id::kEncodeVideo, "START CONVERSION", "END CONVERSION"},
                {id::kIndex, "START INDEXING", "END INDEXING"},
                {id::kFrame, "START CONVERSION", "END CONVERSION"}};
    for (const auto& job : jobs) {
      fs::remove(program_ + "/args");
      Command(job.button);
      ASSERT_TRUE(WaitForLog("##### " + job.end + " ######", job.button == id::kFrame ? 2 : 1));
      Command(res::kCmdCopyLastCommand);
      const std::string copied = QApplication::clipboard()->text().toStdString();
      EXPECT_NE(Log().find("##### " + job.start + " ######\r\n[30] # ##### COMMAND: " + copied +
                           " ######\r\n"),
                std::string::npos)
          << Log();
      std::vector<std::string> ran;
      std::ifstream args(program_ + "/args");
      for (std::string arg; std::getline(args, arg);) ran.push_back(arg);
      EXPECT_EQ(platform::SplitCommandLine(copied), ran);
    }
  });
}

// The real ffmpeg.bin first: no hardware encoder can run on this machine, and each line says
// why. Then a stand-in that offers, lacks and fails them: one works, one fails with the encoder's
// own words, one fails silently, one is not built in. An encode with a GPU choice the last check
// found unusable warns first.
TEST_F(Features, EncoderCheckOfTheRealAndAStandInToolAndItsWarningBeforeAnEncode) {
  store_.WriteDword(app::kSettingsKey, "m_GpuType", 1);  // NVIDIA
  store_.WriteDword(app::kSettingsKey, "mOutType", 1);   // H.265
  const std::string nvenc = "Driver does not support the required nvenc API version.";
  fs::create_symlink(VEXLO_FFMPEG_PATH, program_ + "/ffmpeg.bin");
  Run([&] {
    Command(res::kCmdCheckEncoders);
    ASSERT_TRUE(WaitForLog("##### END CHECK ENCODERS ######"));
    for (std::string_view encoder : jobs::kHardwareEncoders) {
      EXPECT_TRUE(std::regex_search(Log(), std::regex("##### ENCODER " + std::string(encoder) +
                                                      ": (fails: .{8,}|not built into this "
                                                      "ffmpeg.bin) ######\r\n")))
          << Log();
    }
    UseTool("ffmpeg.bin", R"(case "$*" in
*-encoders*) printf ' V..... = Video\n ------\n V....D h264_nvenc  NVIDIA\n V....D hevc_nvenc  N\n'
             printf ' V....D h264_amf  AMD\n A....D aac  AAC\n' ;;
*hevc_nvenc*) echo '[hevc_nvenc @ 0x55d0] Driver does not support the required nvenc API version.'
              echo 'Error initializing output stream 0:0 -- Error while opening encoder'; exit 1 ;;
*h264_amf*) exit 3 ;;
esac)");
    Command(res::kCmdCheckEncoders);
    ASSERT_TRUE(WaitForLog("##### END CHECK ENCODERS ######", 2));
    EXPECT_NE(
        Log().find("[30] # ##### CHECK ENCODERS ######\r\n[30] # ##### COMMAND: \"" + program_ +
                   "/ffmpeg.bin\" -hide_banner -encoders ######\r\n"
                   "[30] # ##### ENCODER h264_nvenc: works ######\r\n"
                   "[30] # ##### ENCODER hevc_nvenc: fails: " +
                   nvenc +
                   " ######\r\n"
                   "[30] # ##### ENCODER h264_amf: fails: ffmpeg.bin exited with code 3 ######\r\n"
                   "[30] # ##### ENCODER hevc_amf: not built into this ffmpeg.bin ######\r\n"
                   "[30] # ##### END CHECK ENCODERS ######\r\n"),
        std::string::npos)
        << Log();
    EXPECT_TRUE(WaitUntil([&] { return host_->progress() == 100; }));
    Command(id::kEncodeVideo);
    ASSERT_TRUE(WaitForLog("##### END CONVERSION ######"));
    host_->setChecked(id::kRadioH264, true);
    Command(id::kRadioH264);
    Command(id::kEncodeVideo);  // h264_nvenc works: no warning
    ASSERT_TRUE(WaitForLog("##### END CONVERSION ######", 2));
    const std::string log = Log();
    EXPECT_EQ(Count(log, "WARNING"), 1u) << log;
    EXPECT_LT(
        log.find("##### WARNING: The last encoder check found hevc_nvenc unusable (it fails: " +
                 nvenc + "); encoding with it all the same ######\r\n"),
        log.find("START CONVERSION"));
  });
}

// "Open with Vexlo": one argument that names a file opens the window with it as the source,
// without storing it; anything else leaves the stored source.
TEST_F(Features, OneFileArgumentOpensTheWindowWithItAsTheSource) {
  store_.WriteString(app::kSettingsKey, "FileOrigine", "/stored/source.mov");
  fs::current_path(program_);
  const std::pair<std::string, std::string> rows[] = {
      {source_, source_},
      {"in clip.mp4", source_},           // from the caller's folder
      {program_, "/stored/source.mov"}};  // a folder is no file
  for (const auto& [argument, source] : rows) {
    platform::qt::QtDialogHost host(res::MainDialogTemplate());
    app::CVexloApp().InitInstance(
        host, store_,
        [&](platform::DialogEvents& events) {
          events.onInitDialog();
          EXPECT_EQ(host.text(id::kSourceEdit), source) << argument;
          EXPECT_TRUE(host.visible(id::kLogPane) &&
                      host.enabled(id::kEncodeVideo));  // not automatic
          events.onDestroy();
          return 0;
        },
        argument, program_);
    EXPECT_EQ(StoredSettings(store_)["FileOrigine"], "/stored/source.mov");
  }
}

}  // namespace
}  // namespace vexlo::testing
