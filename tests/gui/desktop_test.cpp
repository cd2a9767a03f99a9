// The window and the desktop: files dropped on the path rows of the real widgets, and the word
// a job's end sends over a session bus that the test starts and listens to.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDropEvent>
#include <QLabel>
#include <QMimeData>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <filesystem>
#include <fstream>
#include <memory>

#include "app/RegistryStore.h"
#include "app/VexloDlg.h"
#include "platform/qt/QtDialogHost.h"
#include "res/ControlIds.h"
#include "res/MainDialogTemplate.h"
#include "tests/support/Support.h"

namespace vexlo::testing {
namespace {

namespace id = res::id;
using platform::qt::QtDialogHost;

class QtEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    app_ = std::make_unique<QApplication>(argc_, argv_);
  }
  void TearDown() override { app_.reset(); }

 private:
  int argc_ = 1;
  char name_[20] = "vexlo_desktop_test";
  char* argv_[2] = {name_, nullptr};
  std::unique_ptr<QApplication> app_;
};
const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

bool WaitUntil(const std::function<bool()>& condition) {
  return QTest::qWaitFor(condition, 60000);
}

class Desktop : public ::testing::Test {
 protected:
  void SetUp() override {
    store_.WriteString(app::kSettingsKey, "FileOrigine", program_ + "/in.mov");
    store_.WriteString(app::kSettingsKey, "FileDestinazione", program_ + "/out.H264");
    std::ofstream(program_ + "/in.mov") << "x";
  }
  void UseTool(const std::string& script) {
    std::filesystem::remove(program_ + "/ffmpeg.bin");
    std::ofstream(program_ + "/ffmpeg.bin") << "#!/bin/sh\n" << script << "\n";
    std::filesystem::permissions(program_ + "/ffmpeg.bin", std::filesystem::perms::owner_all);
  }
  // Runs the window modally with a script that ends it (or a minute passes).
  void Run(const std::function<void()>& script) {
    host_ = std::make_unique<QtDialogHost>(res::MainDialogTemplate());
    window_ = std::make_unique<app::CVexloDlg>(*host_, store_, program_);
    QTimer::singleShot(0, host_.get(), [&] {
      script();
      host_->endDialog(1);
    });
    QTimer::singleShot(60000, host_.get(), [&] { host_->endDialog(-1); });
    EXPECT_EQ(host_->run(*window_), 1);
  }
  std::string Log() { return window_->logReference()->paneText(); }
  void Click(int control) { QTest::mouseClick(host_->control(control), Qt::LeftButton); }

  ConfigHome config_;
  std::string program_ = MakeTempDirectory("desktop");
  app::RegistryStore store_;
  std::unique_ptr<QtDialogHost> host_;
  std::unique_ptr<app::CVexloDlg> window_;
};

// A notification for each job that ends while another window is active (cancelled, failed,
// finished; none while the window is active), and the bar on the launcher entry during a job.
TEST_F(Desktop, JobEndsAreToldOverTheSessionBusWhenTheWindowIsNotActive) {
  QProcess bus, monitor;
  bus.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
  ASSERT_TRUE(bus.waitForReadyRead(60000));
  const QString address = QString::fromUtf8(bus.readLine()).trimmed();
  ::setenv("DBUS_SESSION_BUS_ADDRESS", address.toUtf8().constData(), 1);
  monitor.start("dbus-monitor", {"--address", address});
  QByteArray seen;
  qsizetype from = 0;  // each message is heard once, in the order sent
  const auto heard = [&](const QByteArray& what) {
    return WaitUntil([&] {
      seen += monitor.readAllStandardOutput();
      const qsizetype at =
          QString::fromUtf8(seen).remove(QRegularExpression("\\s")).indexOf(what, from);
      if (at >= 0) from = at + what.size();
      return at >= 0;
    });
  };
  ASSERT_TRUE(heard("member=NameAcquired"));  // the listener is on the bus
  QWidget other;
  Run([&] {
    const struct {
      bool active;
      std::string script;
      QByteArray word;
    } jobs[] = {
        {true, "exit 0", {}},
        {false, "printf '  Duration: 00:00:10.00,\\ntime=00:00:05.00 speed=1x\\n'; exec sleep 60",
         "Vexlo:jobcancelled"},
        {false, "exit 1", "Vexlo:jobfailed"},
        {false, "exit 0", "Vexlo:jobfinished"},
    };
    for (const auto& job : jobs) {
      UseTool(job.script);
      QWidget* active = job.active ? static_cast<QWidget*>(host_.get()) : &other;
      active->show();
      QApplication::setActiveWindow(active);
      ASSERT_EQ(host_->isActiveWindow(), job.active);
      Click(id::kEncodeVideo);
      if (job.word.contains("cancelled")) {
        ASSERT_TRUE(
            heard("string\"progress\"variantdouble0.5)dictentry(string\"progress-visible\""
                  "variantbooleantrue"));
        EXPECT_TRUE(
            WaitUntil([&] { return host_->text(id::kProgressDetail).ends_with(", 1.0x"); }));
        Click(id::kCancel);
      }
      ASSERT_TRUE(WaitUntil([&] { return host_->control(id::kEncodeVideo)->isEnabled(); }));
      if (!job.word.isEmpty()) {
        EXPECT_TRUE(heard("string\"vexlo\"string\"" + job.word + "\"string\"" +
                          QByteArray::fromStdString(program_) + "/out.H264\""));
      }
    }
    EXPECT_TRUE(heard("variantbooleanfalse"));
    const QString text = QString::fromUtf8(seen);
    EXPECT_EQ(text.count("member=Notify"), 3) << text.toStdString();  // none while active
    EXPECT_LT(text.indexOf("job cancelled"), text.indexOf("job failed"));
  });
  ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
}

// A local file dropped on a path row, on its edit or beside it, fills that row's edit as if
// typed; what else is dropped is refused. The path is checked when a job starts, as typed.
TEST_F(Desktop, FilesDroppedOnThePathRowsFillTheirEdits) {
  Run([&] {
    const QSize size = host_->size();
    QWidget* client = host_->clientArea();
    const auto drop = [&](QWidget* target, QPoint at, const QList<QUrl>& urls) {
      QMimeData data;
      data.setUrls(urls);
      QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
      QApplication::sendEvent(target, &enter);
      QDropEvent dropped(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
      QApplication::sendEvent(target, &dropped);
      return enter.isAccepted() && dropped.isAccepted();
    };
    const struct {
      int edit;
      QWidget* target;
      std::string file;
    } rows[] = {
        {id::kSourceEdit, host_->control(id::kSourceEdit), program_ + "/a \"quoted\".mov"},
        {id::kVideoDestEdit, host_->control(id::kVideoDestEdit), program_ + "/b.H264"},
        {id::kAudioDestEdit, host_->control(id::kAudioDestEdit), program_ + "/c.WAV"},
        // Beside the edit: on the audio row's "WAV" button, which takes no drop itself.
        {id::kAudioDestEdit, client, program_ + "/d.WAV"},
    };
    for (const auto& row : rows) {
      const QPoint at =
          row.target == client ? host_->control(id::kDeriveWav)->geometry().center() : QPoint(5, 5);
      EXPECT_TRUE(drop(row.target, at, {QUrl::fromLocalFile(QString::fromStdString(row.file))}));
      EXPECT_EQ(host_->text(row.edit), row.file);
    }
    EXPECT_FALSE(drop(host_->control(id::kSourceEdit), {5, 5}, {QUrl("https://example.org/x")}));
    EXPECT_EQ(host_->text(id::kSourceEdit), program_ + "/a \"quoted\".mov");
    Click(id::kEncodeVideo);
    EXPECT_TRUE(WaitUntil([&] { return Log().find("Unusable file name") != std::string::npos; }));
    // The widest detail the label may show fits it, and nothing widened the window.
    auto* label = qobject_cast<QLabel*>(host_->control(id::kProgressDetail));
    const QString widest = "Elapsed 125:00:01, left 124:59:59, 10.0x, 1000 fps, 999.99 GiB";
    EXPECT_LE(label->fontMetrics().horizontalAdvance(widest), label->width());
    EXPECT_EQ(host_->size(), size);
  });
}

}  // namespace
}  // namespace vexlo::testing
