// The Qt dialog host against its templates, and the main window as a person uses it: the
// window's logic over the real widgets, driven by clicks and keys on the offscreen platform.
#include <gtest/gtest.h>
#include <signal.h>

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDropEvent>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QStyle>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <regex>
#include <set>
#include <thread>

#include "app/RegistryStore.h"
#include "app/VexloApp.h"
#include "app/VexloDlg.h"
#include "jobs/QueueStore.h"
#include "platform/CommandLineSplit.h"
#include "platform/Paths.h"
#include "platform/qt/ControlFactory.h"
#include "platform/qt/FramesWindow.h"
#include "platform/qt/QtDialogHost.h"
#include "res/AboutDialogTemplate.h"
#include "res/ControlIds.h"
#include "res/DialogTemplate.h"
#include "res/MainDialogTemplate.h"
#include "res/QueueDialogTemplate.h"
#include "tests/support/Support.h"

namespace vexlo::testing {
namespace {

// One QApplication for the whole test program (gtest_main owns main()), on Qt's offscreen
// platform unless another one is asked for.
class QtApplicationEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    ::unsetenv("DBUS_SESSION_BUS_ADDRESS");  // only the bus a test starts
    app_ = std::make_unique<QApplication>(argc_, argv_);
  }
  void TearDown() override { app_.reset(); }

 private:
  int argc_ = 1;
  char name_[16] = "vexlo_gui_test";
  char* argv_[2] = {name_, nullptr};
  std::unique_ptr<QApplication> app_;
};

/// Waits up to a minute, processing events, until the condition holds.
inline bool WaitUntil(const std::function<bool()>& condition) {
  return QTest::qWaitFor(condition, 60000);
}

/// Acts on the next modal dialog once it is shown, looking for it every 10 ms; a dialog that
/// has not appeared within a minute fails the test (and whatever modal loop there is, ends).
inline void OnModalDialog(std::function<void(QWidget*)> act) {
  auto* timer = new QTimer(qApp);
  auto ticks = std::make_shared<int>(0);
  QObject::connect(timer, &QTimer::timeout, [timer, ticks, act] {
    QWidget* dialog = QApplication::activeModalWidget();
    if (dialog == nullptr && ++*ticks < 6000) return;
    timer->stop();
    timer->deleteLater();
    if (dialog != nullptr) return act(dialog);
    ADD_FAILURE() << "no modal dialog appeared";
  });
  timer->start(10);
}

/// Runs the dialog with a script that must end it; after a minute the dialog is ended and the
/// test fails.
inline int RunScripted(platform::qt::QtDialogHost& host, hosts::DialogEvents& events,
                       std::function<void()> script) {
  QTimer::singleShot(0, &host, std::move(script));
  QTimer watchdog;
  watchdog.setSingleShot(true);
  QObject::connect(&watchdog, &QTimer::timeout, [&host] {
    ADD_FAILURE() << "the dialog script did not end the dialog";
    host.endDialog(-1);
  });
  watchdog.start(60000);
  return host.run(events);
}

using hosts::ControlEvent;
using platform::qt::QtDialogHost;
namespace id = res::id;
namespace fs = std::filesystem;
const auto* const kQtEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtApplicationEnvironment);

// The window's logic as a recorder of every command.
struct RecordingEvents : hosts::DialogEvents {
  void onInitDialog() override { ++inits; }
  void onCommand(int id, ControlEvent event) override { commands.emplace_back(id, event); }
  void onDestroy() override { ++destroys; }
  int inits = 0, destroys = 0;
  std::vector<std::pair<int, ControlEvent>> commands;
};

// The width a caption needs: the text's advance plus what the style draws around it.
int CaptionWidthNeeded(QWidget* widget, const QString& text) {
  const int advance = QFontMetrics(widget->font()).horizontalAdvance(text);
  const QStyle* style = widget->style();
  if (qobject_cast<QCheckBox*>(widget) != nullptr) {
    return style->pixelMetric(QStyle::PM_IndicatorWidth) +
           style->pixelMetric(QStyle::PM_CheckBoxLabelSpacing) + advance;
  }
  if (qobject_cast<QRadioButton*>(widget) != nullptr) {
    return style->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth) +
           style->pixelMetric(QStyle::PM_RadioButtonLabelSpacing) + advance;
  }
  if (qobject_cast<QPushButton*>(widget) != nullptr)
    return advance + 2 * style->pixelMetric(QStyle::PM_DefaultFrameWidth) + 2;
  return advance;
}

TEST(QtDialogHost, EveryControlIsBuiltNamedPlacedAndReadable) {
  for (const res::DialogTemplate* dialog :
       {&res::MainDialogTemplate(), &res::AboutDialogTemplate(), &res::QueueDialogTemplate()}) {
    QtDialogHost host(*dialog);
    const QList<QWidget*> widgets =
        host.clientArea()->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
    ASSERT_EQ(widgets.size(), static_cast<qsizetype>(dialog->controls.size()));
    std::vector<std::pair<const res::ControlTemplate*, QWidget*>> shown;
    for (std::size_t i = 0; i < dialog->controls.size(); ++i) {
      const res::ControlTemplate& control = dialog->controls[i];
      QWidget* widget = widgets[static_cast<qsizetype>(i)];
      SCOPED_TRACE(control.accessibleName.data());
      // What a screen reader reads: the name, or for a text filled at run time what it shows.
      QAccessibleInterface* readable = QAccessible::queryAccessibleInterface(widget);
      ASSERT_NE(readable, nullptr);
      if (control.kind == res::ControlKind::kStatic && control.caption.empty()) {
        host.setText(control.id, "Elapsed 0:16, left 1:03, 0.7x");
        EXPECT_EQ(readable->text(QAccessible::Name).toStdString(), "Elapsed 0:16, left 1:03, 0.7x");
        EXPECT_EQ(readable->text(QAccessible::Description).toStdString(), control.accessibleName);
      } else {
        EXPECT_EQ(readable->text(QAccessible::Name).toStdString(), control.accessibleName);
      }
      if (control.id != 0) {
        EXPECT_EQ(host.control(control.id), widget);
      }
      EXPECT_TRUE(host.clientArea()->rect().contains(widget->geometry()));
      if (control.flags & res::kHidden || control.kind == res::ControlKind::kEtchedFrame ||
          control.kind == res::ControlKind::kEtchedLine) {
        continue;
      }
      // Shown controls do not overlap (but the three destination buttons that share a place),
      // and their captions fit.
      const std::set<int> sharedPlace = {id::kDeriveH264, id::kDeriveH265, id::kDeriveMpv};
      for (const auto& [other, otherWidget] : shown) {
        if (sharedPlace.count(control.id) && sharedPlace.count(other->id)) continue;
        EXPECT_FALSE(widget->geometry().intersects(otherWidget->geometry()))
            << other->accessibleName;
      }
      shown.emplace_back(&control, widget);
      const QString caption =
          QString::fromUtf8(control.caption.data(), static_cast<qsizetype>(control.caption.size()));
      EXPECT_LE(CaptionWidthNeeded(widget, caption), widget->width()) << "caption clipped";
      EXPECT_LE(QFontMetrics(widget->font()).height(), widget->height());
    }
  }
}

TEST(QtDialogHost, UserActionsBecomeCommandsAndOnlyTheLogicEndsTheDialog) {
  QtDialogHost host(res::MainDialogTemplate());
  RecordingEvents events;
  bool allOnWindowThread = true;
  const int result = RunScripted(host, events, [&] {
    for (int control : {id::kEncodeVideo, id::kDeinterlaceCheck, id::kRadioH265, res::kIdOk}) {
      QTest::mouseClick(host.control(control), Qt::LeftButton, {}, QPoint(8, 8));
    }
    host.control(id::kCrfList)->setFocus();
    QTest::keyClick(host.control(id::kCrfList), Qt::Key_Down);
    host.setListIndex(id::kFpsList, 3);  // the program's own change is no user event
    QTest::keyClick(host.control(id::kSourceEdit), Qt::Key_Return);
    QTest::keyClick(&host, Qt::Key_Escape);
    host.close();
    EXPECT_TRUE(host.isVisible()) << "closed without the logic's consent";
    host.findChild<QAction*>(QString::number(res::kCmdAppAbout))->trigger();
    host.findChild<QAction*>(QString::number(res::kCmdAppExit))->trigger();
    std::thread poster([&] {
      for (int i = 0; i < 200; ++i) {
        host.post([&] { allOnWindowThread &= QThread::currentThread() == qApp->thread(); });
      }
      host.post([&] { host.endDialog(7); });
    });
    poster.join();
  });
  const std::vector<std::pair<int, ControlEvent>> expected = {
      {id::kEncodeVideo, ControlEvent::kClicked},
      {id::kDeinterlaceCheck, ControlEvent::kClicked},
      {id::kRadioH265, ControlEvent::kClicked},
      {res::kIdOk, ControlEvent::kClicked},
      {id::kCrfList, ControlEvent::kSelectionChanged},
      {res::kIdCancel, ControlEvent::kClicked},
      {res::kIdCancel, ControlEvent::kClicked},
      {res::kCmdAppAbout, ControlEvent::kClicked},
      {res::kIdCancel, ControlEvent::kClicked}};
  EXPECT_EQ(events.commands, expected);
  EXPECT_EQ(std::tuple(result, events.inits, events.destroys), std::tuple(7, 1, 1));
  EXPECT_TRUE(allOnWindowThread);
  bool ranAfterTheWindowWent = false;
  host.post([&] { ranAfterTheWindowWent = true; });
  QCoreApplication::processEvents();
  EXPECT_FALSE(ranAfterTheWindowWent);
}

TEST(QtDialogHost, LogPaneShowsCrLfTextWithoutBlankLinesAndKeepsTheNewestInView) {
  QtDialogHost host(res::MainDialogTemplate());
  host.show();
  auto* pane = qobject_cast<QPlainTextEdit*>(host.control(id::kLogPane));
  const std::pair<std::vector<std::string>, std::string> rows[] = {
      {{"one\r\n", "two\r\n"}, "one\ntwo\n"},
      {{"par", "tial\r", "\nnext"}, "partial\nnext"},
      {{"caf\xC3", "\xA9\r\n"}, "caf\xC3\xA9\n"}};  // a UTF-8 letter cut in two
  for (const auto& [appends, shown] : rows) {
    host.setText(id::kLogPane, "");
    std::string raw;
    for (const std::string& piece : appends) {
      host.appendText(id::kLogPane, piece);
      raw += piece;
    }
    EXPECT_EQ(pane->toPlainText().toStdString(), shown);
    EXPECT_EQ(host.text(id::kLogPane), raw);
  }
  host.setText(id::kLogPane, "");
  for (int i = 0; i < 5000; ++i) host.appendText(id::kLogPane, "[30] # line\r\n");
  EXPECT_EQ(host.text(id::kLogPane).size(), 5000u * 13);
  QCoreApplication::processEvents();
  EXPECT_GT(pane->verticalScrollBar()->maximum(), 0);
  EXPECT_EQ(pane->verticalScrollBar()->value(), pane->verticalScrollBar()->maximum());
}

TEST(QtDialogHost, BrowseDialogAcceptsANewNameAndCancelGivesNothing) {
  QtDialogHost host(res::MainDialogTemplate());
  const std::string folder = MakeTempDirectory("browse"), wanted = folder + "/not-yet-there.H264";
  for (bool accept : {true, false}) {
    OnModalDialog([&](QWidget* shown) {
      auto* dialog = qobject_cast<QFileDialog*>(shown);
      ASSERT_NE(dialog, nullptr);
      EXPECT_EQ(dialog->windowTitle(), QStringLiteral("H264 Dest. File"));
      EXPECT_EQ(dialog->directory().absolutePath().toStdString(), folder);
      EXPECT_EQ(dialog->nameFilters(), QStringList{QStringLiteral("*.H264 (*.H264)")});
      if (!accept) return dialog->reject();
      // Typed into the name field, as a user does: selectFile leaves a field that has the focus
      // alone, and the focus arrives when the window manager gets to it.
      auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
      ASSERT_NE(name, nullptr);
      name->setText(QString::fromStdString(wanted));
      static_cast<QDialog*>(dialog)->accept();
    });
    EXPECT_EQ(host.chooseFile({"H264 Dest. File", "*.H264", folder + "/", "*.H264"}),
              accept ? std::optional(wanted) : std::nullopt);
  }
}

// The main window with a settings folder and a program folder of its own, whose ffmpeg.bin is
// a stand-in that writes its process id and stays busy, so that a job runs as long as needed.
class WindowGui : public ::testing::Test {
 protected:
  void SetUp() override {
    std::ofstream(program_ + "/ffmpeg.bin")
        << "#!/bin/sh\necho $$ > tool.pid\n"
           "echo '  Duration: 00:01:00.00, start: 0.000000, bitrate: 5 kb/s'\n"
           "exec sleep 60\n";
    std::filesystem::permissions(program_ + "/ffmpeg.bin", std::filesystem::perms::owner_all);
    store_.WriteString(app::kSettingsKey, "FileOrigine", program_ + "/in.mov");
    store_.WriteString(app::kSettingsKey, "FileDestinazione", program_ + "/out.H264");
  }
  // Runs the window modally; `script` runs inside the modal loop and must end the dialog.
  int Run(const std::function<void()>& script,
          const std::optional<app::CommandLineFields>& automatic = std::nullopt) {
    host_ = std::make_unique<QtDialogHost>(res::MainDialogTemplate());
    window_ = std::make_unique<app::MainWindow>(*host_, store_, program_);
    if (automatic) window_->PresetAutomaticMode(*automatic);
    return RunScripted(*host_, *window_, script);
  }
  QWidget* W(int control) { return host_->control(control); }
  void Click(int control) { QTest::mouseClick(W(control), Qt::LeftButton); }
  // The tool's process id once it has started.
  pid_t ToolPid() {
    pid_t pid = 0;
    EXPECT_TRUE(
        WaitUntil([&] { return static_cast<bool>(std::ifstream(program_ + "/tool.pid") >> pid); }));
    return pid;
  }

  ConfigHome config_;
  std::string program_ = MakeTempDirectory("gui");
  app::RegistryStore store_;
  std::unique_ptr<QtDialogHost> host_;
  std::unique_ptr<app::MainWindow> window_;
};

// A job disables the job controls; the radios still switch the visible destination button and
// profile list; Cancel kills the tool and gives the idle window back; closing the window during
// the next job kills that job's tool.
TEST_F(WindowGui, JobStatesRadiosWhileBusyCancelAndClose) {
  pid_t pid = 0, closedPid = 0;
  Run([&] {
    EXPECT_FALSE(W(id::kCancel)->isEnabled());
    Click(id::kEncodeVideo);
    pid = ToolPid();
    ASSERT_TRUE(WaitUntil([&] { return W(id::kCancel)->isEnabled(); }));
    for (int c : {id::kEncodeVideo, id::kEncodeAudio, id::kIndex, id::kBrowseSource, id::kRadioH264,
                  id::kGpuList}) {
      EXPECT_FALSE(W(c)->isEnabled()) << c;
    }
    for (int c :
         {id::kGoSource, id::kGopSource, id::kRadioMpv, id::kDeinterlaceCheck, id::kSourceEdit}) {
      EXPECT_TRUE(W(c)->isEnabled()) << c;
    }
    Click(id::kRadioMpv);
    EXPECT_EQ(StoredSettings(store_).at("mOutType"), "2");
    EXPECT_TRUE(W(id::kDeriveMpv)->isVisible());
    EXPECT_FALSE(W(id::kDeriveH264)->isVisible() || W(id::kProfileList)->isVisible());
    Click(id::kCancel);
    EXPECT_TRUE(WaitUntil(
        [&] { return W(id::kEncodeVideo)->isEnabled() && !W(id::kCancel)->isEnabled(); }));
    EXPECT_TRUE(
        WaitUntil([&] { return qobject_cast<QProgressBar*>(W(id::kProgress))->value() == 0; }));
    EXPECT_TRUE(WaitUntil([&] { return ::kill(pid, 0) != 0; })) << "the tool survived Cancel";
    std::filesystem::remove(program_ + "/tool.pid");
    Click(id::kRadioH264);
    Click(id::kEncodeVideo);
    closedPid = ToolPid();
    host_->close();  // the title-bar close
  });
  EXPECT_NE(closedPid, 0);
  EXPECT_NE(::kill(closedPid, 0), 0) << "the tool outlived the window";
}

TEST_F(WindowGui, CompactAutomaticWindowAboutBoxAndCancel) {
  app::CommandLineFields fields;
  fields.count = 2;
  fields.source = program_ + "/in.mov";
  fields.videoDestination = program_ + "/out.H264";
  pid_t pid = 0;
  const int result = Run(
      [&] {
        EXPECT_EQ(host_->size(), QSize(748, 223));
        EXPECT_TRUE(qobject_cast<QLineEdit*>(W(id::kSourceEdit))->isReadOnly());
        for (int c : {id::kBrowseSource, id::kBrowseVideo, id::kDeriveVid, id::kLogLabel,
                      id::kLogPane, id::kEncodeVideo}) {
          EXPECT_FALSE(W(c)->isVisible()) << c;
        }
        pid = ToolPid();
        OnModalDialog([&](QWidget* about) {
          EXPECT_EQ(about->windowTitle(), " About Vexlo");
          qobject_cast<QDialog*>(about)->reject();
        });
        window_->onCommand(res::kCmdAppAbout, ControlEvent::kClicked);
        Click(id::kCancel);  // cancelling in automatic mode closes the window
      },
      fields);
  EXPECT_EQ(result, res::kIdCancel);
  EXPECT_NE(::kill(pid, 0), 0);
}

// The window's aids beside the written jobs: the word of a job's end over a session bus the
// test starts, files dropped on the path rows, each job's command line in the log and on the
// clipboard, the encoder check, a file as the one argument. The source is a real clip.
class Features : public WindowGui {
 protected:
  void SetUp() override {
    WindowGui::SetUp();
    fs::copy_file(Clip("clip.mp4"), source_);
    store_.WriteString(app::kSettingsKey, "FileOrigine", source_);
  }
  void UseTool(const std::string& name, const std::string& script) {
    fs::remove(program_ + "/" + name);
    std::ofstream(program_ + "/" + name) << "#!/bin/sh\n" << script << "\n";
    fs::permissions(program_ + "/" + name, fs::perms::owner_all);
  }
  // Runs the window with a script after the log's first line (so that no line comes between a
  // job's lines); the dialog ends after it.
  void Run(const std::function<void()>& script) {
    WindowGui::Run([&] {
      EXPECT_TRUE(WaitForLog("Trace process started."));
      script();
      host_->endDialog(1);
    });
  }
  std::string Log() {
    window_->flushLog();
    return window_->logReference()->paneText();
  }
  bool WaitForLog(const std::string& line, std::size_t count = 1) {
    return WaitUntil([&] { return Count(Log(), line) >= count; });
  }
  void Command(int control) { window_->onCommand(control, hosts::ControlEvent::kClicked); }

  std::string source_ = program_ + "/in clip.mp4";
};

// A notification for each job that ends while another window is active (cancelled, failed,
// finished; none while the window is active), and the bar on the launcher entry during a job.
TEST_F(Features, JobEndsAreToldOverTheSessionBusWhenTheWindowIsNotActive) {
  QProcess bus, monitor;
  // The bus's socket in a folder of the test's own, which goes with it.
  const QString socketFolder = QString::fromStdString(MakeTempDirectory("bus"));
  bus.start("dbus-daemon", {"--session", "--nofork", "--print-address=1",
                            "--address=unix:dir=" + socketFolder});
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
  Run([&] {
    const struct {
      bool active;
      std::string script;
      QString word;
      int button = id::kEncodeVideo;
      std::string tool = "ffmpeg.bin", file = "out.H264";  // in the program folder
    } jobs[] = {
        {true, "exit 0", ""},
        {false, "exit 0", "finished", id::kIndex, "ffprobe.bin", "out.INDX"},
        {false, "sleep 60", "cancelled", id::kIndex, "ffprobe.bin", "out.INDX"},
        {false, "printf '  Duration: 00:00:10.00,\\ntime=00:00:05.00 speed=1x\\n'\nsleep 60",
         "cancelled"},
        {false, "exit 1", "failed"},
        {false, "exit 0", "finished"}};
    for (const auto& job : jobs) {
      // An encode's output check runs the prober: not the one left sleeping by a cancelled index.
      if (job.tool != "ffprobe.bin") UseTool("ffprobe.bin", "exit 0");
      UseTool(job.tool, job.script);
      QWidget* active = job.active ? static_cast<QWidget*>(host_.get()) : &other;
      active->show();
      QApplication::setActiveWindow(active);
      ASSERT_EQ(host_->isActiveWindow(), job.active);
      Command(job.button);
      if (job.word == "cancelled") {
        if (job.button == id::kEncodeVideo) {
          EXPECT_TRUE(
              heard("\"progress\"variantdouble0.5)dictentry(string\"progress-visible\""
                    "variantbooleantrue"));
          EXPECT_TRUE(WaitUntil([&] {
            return host_->text(id::kProgressDetail).ends_with(", 1.0x");
          })) << host_->text(id::kProgressDetail)
              << "\n"
              << Log();
        }
        ASSERT_TRUE(WaitUntil([&] { return host_->enabled(id::kCancel); }));
        Command(id::kCancel);
      }
      ASSERT_TRUE(WaitUntil([&] { return host_->enabled(id::kEncodeVideo); }));
      EXPECT_TRUE(job.word.isEmpty() ||
                  heard("\"Vexlo:job" + job.word + "\"string\"" +
                        QString::fromStdString(program_ + "/" + job.file) + "\""));
    }
    EXPECT_TRUE(heard("variantbooleanfalse"));
    EXPECT_EQ(seen.count("member=Notify"), 5) << seen.toStdString();  // none while active
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

// Several files dropped on the main window are queued in the queue window, which opens beside it
// and takes a user's clicks (through the window system) while the main window is modal; its table
// reads as a table; a run disables the main window's job buttons until Cancel Item ends it.
TEST_F(Features, SeveralFilesDroppedOnTheMainWindowAreQueuedInTheQueueWindow) {
  Run([&] {
    fs::copy_file(source_, program_ + "/b.mp4");
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(source_)),
                  QUrl::fromLocalFile(QString::fromStdString(program_ + "/b.mp4"))});
    const QPoint at = host_->control(id::kSourceEdit)->geometry().center();  // on a path row
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QDropEvent dropped(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(host_->clientArea(), &enter);
    QApplication::sendEvent(host_->clientArea(), &dropped);
    EXPECT_TRUE(enter.isAccepted() && dropped.isAccepted());
    EXPECT_EQ(host_->text(id::kSourceEdit), source_);  // the row is left as it was
    auto* queue = host_->findChild<QtDialogHost*>(QString::number(res::kDialogQueue));
    ASSERT_NE(queue, nullptr);
    ASSERT_TRUE(WaitUntil([&] { return queue->isVisible(); }));
    QAccessibleTableInterface* table =
        QAccessible::queryAccessibleInterface(queue->control(id::kQueueTable))->tableInterface();
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table->rowCount(), 2);
    EXPECT_EQ(table->cellAt(1, 0)->text(QAccessible::Name).toStdString(), program_ + "/b.mp4");
    EXPECT_EQ(table->columnDescription(3).toStdString(), "State");
    EXPECT_EQ(table->columnDescription(5).toStdString(), "Quality");
    const auto click = [&](QWidget* widget, QPoint point) {
      QTest::mouseClick(queue->windowHandle(), Qt::LeftButton, {}, widget->mapTo(queue, point));
    };
    auto* view = qobject_cast<QAbstractItemView*>(queue->control(id::kQueueTable));
    EXPECT_FALSE(queue->enabled(id::kQueueRemove));
    click(view->viewport(), view->visualRect(view->model()->index(0, 0)).center());
    ASSERT_TRUE(queue->enabled(id::kQueueRemove));
    click(queue->control(id::kQueueRemove), {5, 5});
    EXPECT_EQ(table->rowCount(), 1);
    click(queue->control(id::kQueueStart), {5, 5});
    EXPECT_FALSE(host_->enabled(id::kEncodeVideo));
    EXPECT_TRUE(WaitUntil([&] { return fs::exists(program_ + "/tool.pid"); }));
    click(queue->control(id::kQueueCancelItem), {5, 5});
    EXPECT_TRUE(WaitUntil([&] { return host_->enabled(id::kEncodeVideo); }));
    EXPECT_EQ(table->cellAt(0, 3)->text(QAccessible::Name).toStdString(), "cancelled");
    EXPECT_TRUE(WaitForLog("##### QUEUE cancelled: " + program_ + "/b.mp4"));
    // Two at once, chosen in the list and saved in queue.json: each running item has its own
    // tagged lines in the pane under the table and its own Cancel Item; the others go on, and the
    // main window's Cancel stops the rest.
    UseTool("ffmpeg.bin",
            "echo '  Duration: 00:01:00.00, start: 0.000000, bitrate: 5 kb/s'\n"
            "echo 'frame= 9 fps=0 q=0 size=0kB time=00:00:21.00 speed=1x'\n"
            "exec sleep 60");
    auto* atOnce = qobject_cast<QComboBox*>(queue->control(id::kQueueAtOnce));
    auto* pane = qobject_cast<QPlainTextEdit*>(queue->control(id::kQueueItemLog));
    ASSERT_TRUE(atOnce && pane && qobject_cast<QCheckBox*>(queue->control(id::kQueueLowPriority)));
    atOnce->setFocus();
    QTest::keyClick(atOnce, Qt::Key_Down);
    EXPECT_TRUE(
        WaitUntil([&] { return Count(ReadAll(jobs::QueueFilePath()), "\"at_once\": 2") == 1; }));
    fs::copy_file(source_, program_ + "/c.mp4");
    window_->queue()->AddPaths({program_ + "/c.mp4"});
    click(queue->control(id::kQueueRetryFailed), {5, 5});
    click(queue->control(id::kQueueStart), {5, 5});
    const auto state = [&](int row) { return table->cellAt(row, 3)->text(QAccessible::Name); };
    ASSERT_TRUE(WaitUntil([&] { return state(0) == "running 35%" && state(1) == "running 35%"; }));
    click(view->viewport(), view->visualRect(view->model()->index(0, 0)).center());
    ASSERT_TRUE(WaitUntil([&] { return pane->toPlainText().contains("[1] ##### COMMAND: "); }));
    const QString lines = pane->toPlainText();  // its earlier run's, then this one's, whole
    EXPECT_TRUE(
        lines.contains(QString::fromStdString("\n[1] ##### QUEUE: " + program_ + "/b.mp4")) &&
        lines.contains(" -threads ") && !lines.contains("[2]"))
        << lines.toStdString();
    EXPECT_TRUE(queue->grab().save(QString(VEXLO_TEST_BINARY_DIR) + "/queue-two-running.png"));
    click(queue->control(id::kQueueCancelItem), {5, 5});
    ASSERT_TRUE(WaitUntil([&] { return state(0) == "cancelled"; }));
    EXPECT_EQ(state(1), "running 35%");
    Command(id::kCancel);
    EXPECT_TRUE(
        WaitUntil([&] { return host_->enabled(id::kEncodeVideo) && state(1) == "cancelled"; }));
    EXPECT_TRUE(queue->grab().save(QString(VEXLO_TEST_BINARY_DIR) + "/queue.png"));
  });
}

// The logged line is the command the tool was given, argument for argument, and what File >
// Copy Last Command copies. Each tool keeps its own arguments: the prober also reads an encode's
// output back after the encode.
TEST_F(Features, EachJobLogsTheCommandItRanAfterItsStartLineAndCopiesIt) {
  for (const char* tool : {"ffmpeg.bin", "ffprobe.bin"}) {
    UseTool(tool, "printf '%s\\n' \"$0\" \"$@\" > \"" + program_ + "/args-" + tool + "\"");
  }
  Run([&] {
    const struct {
      int button;
      std::string start, end, tool;
    } jobs[] = {{id::kEncodeVideo, "START CONVERSION", "END CONVERSION", "ffmpeg.bin"},
                {id::kIndex, "START INDEXING", "END INDEXING", "ffprobe.bin"},
                {id::kFrame, "START CONVERSION", "END CONVERSION", "ffmpeg.bin"}};
    for (const auto& job : jobs) {
      fs::remove(program_ + "/args-" + job.tool);
      Command(job.button);
      ASSERT_TRUE(WaitForLog("##### " + job.end + " ######", job.button == id::kFrame ? 2 : 1));
      Command(res::kCmdCopyLastCommand);
      const std::string copied = QApplication::clipboard()->text().toStdString();
      EXPECT_NE(Log().find("##### " + job.start + " ######\r\n[30] # ##### COMMAND: " + copied +
                           " ######\r\n"),
                std::string::npos)
          << Log();
      std::vector<std::string> ran;
      std::ifstream args(program_ + "/args-" + job.tool);
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
  fs::remove(program_ + "/ffmpeg.bin");  // the fixture's stand-in
  fs::create_symlink(VEXLO_FFMPEG_PATH, program_ + "/ffmpeg.bin");
  Run([&] {
    Command(res::kCmdCheckEncoders);
    ASSERT_TRUE(WaitForLog("##### END CHECK ENCODERS ######"));
    for (std::string_view encoder : jobs::kHardwareEncoders) {
      EXPECT_TRUE(
          std::regex_search(Log(), std::regex("##### ENCODER " + std::string(encoder) +
                                              "( on /dev/dri/renderD128)?: (fails: .{8,}|"
                                              "not built into this ffmpeg.bin) ######\r\n")))
          << Log();
    }
    UseTool("ffmpeg.bin", R"(case "$*" in
*-encoders*) printf ' V..... = Video\n ------\n V....D h264_nvenc  NVIDIA\n V....D hevc_nvenc  N\n'
             printf ' V....D h264_vaapi  VA-API\n A....D aac  AAC\n' ;;
*hevc_nvenc*) echo '[hevc_nvenc @ 0x55d0] Driver does not support the required nvenc API version.'
              echo 'Error initializing output stream 0:0 -- Error while opening encoder'; exit 1 ;;
*h264_vaapi*) exit 3 ;;
esac)");
    Command(res::kCmdCheckEncoders);
    ASSERT_TRUE(WaitForLog("##### END CHECK ENCODERS ######", 2));
    // Without the render node the VA-API encoder is not tried; with it, it is tried on it.
    const std::string noDevice = encode::MissingDevice("h264_vaapi");
    if (!fs::exists("/dev/dri/renderD128")) {
      EXPECT_EQ(noDevice, "no VA-API device: /dev/dri/renderD128 does not exist");
    }
    const std::string vaapi = noDevice.empty()
                                  ? " on /dev/dri/renderD128: fails: ffmpeg.bin exited with code 3"
                                  : ": fails: " + noDevice;
    EXPECT_NE(
        Log().find("[30] # ##### CHECK ENCODERS ######\r\n[30] # ##### COMMAND: \"" + program_ +
                   "/ffmpeg.bin\" -hide_banner -encoders ######\r\n"
                   "[30] # ##### ENCODER h264_nvenc: works ######\r\n"
                   "[30] # ##### ENCODER hevc_nvenc: fails: " +
                   nvenc +
                   " ######\r\n"
                   "[30] # ##### ENCODER h264_vaapi" +
                   vaapi +
                   " ######\r\n"
                   "[30] # ##### ENCODER hevc_vaapi: not built into this ffmpeg.bin ######\r\n"
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
    EXPECT_EQ(Count(log, "WARNING: The last encoder check"), 1u) << log;
    EXPECT_LT(
        log.find("##### WARNING: The last encoder check found hevc_nvenc unusable (it fails: " +
                 nvenc + "); encoding with it all the same ######\r\n"),
        log.find("START CONVERSION"));
  });
}

// File > Show Frames... comes with the frames of an index job: the frames window shows the
// picture of the 10 s clip with a GOP of 25 and the job's summary, zooms along time (its picture
// then is saved beside the test: docs/frames.png), scrolls and comes back to the whole file.
TEST_F(Features, ShowFramesAfterAnIndexJobZoomsAndScrollsAlongTime) {
  fs::create_symlink(VEXLO_FFPROBE_PATH, program_ + "/ffprobe.bin");
  fs::copy_file(Clip("gop25.mp4"), program_ + "/gop25.mp4");
  store_.WriteString(app::kSettingsKey, "FileDestinazione", program_ + "/gop25.mp4");  // indexed
  Run([&] {
    EXPECT_FALSE(host_->enabled(res::kCmdShowFrames)) << "no job has read frames yet";
    Command(id::kIndex);
    ASSERT_TRUE(WaitForLog("##### END INDEXING ######"));
    ASSERT_TRUE(WaitUntil([&] { return host_->enabled(res::kCmdShowFrames); }));
    host_->findChild<QAction*>(QString::number(res::kCmdShowFrames))->trigger();
    auto* frames = host_->findChild<platform::qt::FramesWindow*>();
    ASSERT_NE(frames, nullptr);
    EXPECT_TRUE(frames->isVisible());
    EXPECT_EQ(frames->windowTitle(), "Frames of gop25.mp4");
    EXPECT_TRUE(frames->caption().startsWith(
        "250 frames, 10 key frames, GOP shortest 25, longest 25, average 25.0 frames"))
        << frames->caption().toStdString();
    using Range = std::pair<double, double>;
    EXPECT_EQ(frames->viewRange(), Range(0, 10));
    QTest::keyClick(frames, Qt::Key_Plus);
    EXPECT_EQ(frames->viewRange(), Range(2.5, 7.5));
    frames->resize(1200, 520);
    EXPECT_TRUE(frames->grab().save(QString(VEXLO_TEST_BINARY_DIR) + "/frames.png"));
    QTest::keyClick(frames, Qt::Key_End);  // no meaning: nothing moves
    QTest::keyClick(frames, Qt::Key_PageDown);
    EXPECT_EQ(frames->viewRange(), Range(5, 10)) << "the view stays within the file";
    frames->findChild<QScrollBar*>()->setValue(0);
    EXPECT_EQ(frames->viewRange(), Range(0, 5));
    QTest::keyClick(frames, Qt::Key_Home);
    EXPECT_EQ(frames->viewRange(), Range(0, 10));
    Command(id::kIndex);  // a new job: the old picture is gone until the new one ends
    EXPECT_FALSE(host_->enabled(res::kCmdShowFrames));
    ASSERT_TRUE(WaitForLog("##### END INDEXING ######", 2));
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
    app::Application().RunWindow(
        host, store_,
        [&](hosts::DialogEvents& events) {
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

// The window, with every command the host delivers to it counted.
struct CountingWindow : app::MainWindow {
  using app::MainWindow::MainWindow;
  void onCommand(int c, hosts::ControlEvent e) override {
    commands.push_back(c);
    app::MainWindow::onCommand(c, e);
  }
  std::vector<int> commands;
};

// Check boxes and radio buttons changed without a click (as the keyboard or an accessibility
// "Toggle" action changes them) do what a click does; the window's own changes fire nothing.
TEST(ToggleWithoutClick, SavesTheSettingAndUpdatesTheControlsOnce) {
  ConfigHome config;
  app::RegistryStore store;
  store.WriteDword(app::kSettingsKey, "bDeinterlace", 1);
  store.WriteDword(app::kSettingsKey, "mOutType", 2);
  platform::qt::QtDialogHost host(res::MainDialogTemplate());
  CountingWindow events(host, store, ::testing::TempDir());
  const auto button = [&](int c) { return qobject_cast<QAbstractButton*>(host.control(c)); };
  QTimer::singleShot(0, &host, [&] {
    EXPECT_TRUE(events.commands.empty());  // loading set the marks and fired nothing
    button(id::kRadioH265)->toggle();
    EXPECT_TRUE(host.visible(id::kDeriveH265) && !host.visible(id::kProfileList));
    button(id::kRadioH264)->setChecked(true);
    EXPECT_TRUE(host.visible(id::kDeriveH264) && host.visible(id::kProfileList));
    button(id::kDeinterlaceCheck)->toggle();
    button(id::kShortGopCheck)->setChecked(true);
    QTest::mouseClick(button(id::kDefault), Qt::LeftButton);
    EXPECT_FALSE(button(id::kShortGopCheck)->isChecked());
    QTest::mouseClick(button(res::kIdOk), Qt::LeftButton);
  });
  host.run(events);
  // One command per change; none for the radio that lost its mark, none from Default's refill.
  EXPECT_EQ(events.commands,
            (std::vector<int>{id::kRadioH265, id::kRadioH264, id::kDeinterlaceCheck,
                              id::kShortGopCheck, id::kDefault, res::kIdOk}));
  auto stored = StoredSettings(store);
  // bShortGop stays 1: Default clears the mark but does not save it.
  EXPECT_EQ(stored["mOutType"] + stored["bDeinterlace"] + stored["bShortGop"], "001");
}

}  // namespace
}  // namespace vexlo::testing
