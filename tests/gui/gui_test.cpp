// The Qt dialog host against its templates, and the main window as a person uses it: the
// window's logic over the real widgets, driven by clicks and keys on the offscreen platform.
#include <signal.h>
#include <QAbstractButton>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QStyle>
#include <QThread>
#include <filesystem>
#include <fstream>
#include <numeric>
#include <set>
#include <thread>

#include "app/RegistryStore.h"
#include "app/VexloApp.h"
#include "app/VexloDlg.h"
#include "platform/qt/ControlFactory.h"
#include "res/AboutDialogTemplate.h"
#include "res/ControlIds.h"
#include "res/DialogTemplate.h"
#include "res/MainDialogTemplate.h"
#include "tests/gui/GuiTestSupport.h"
#include "tests/support/Support.h"

namespace vexlo::testing {
namespace {

using platform::ControlEvent;
using platform::qt::QtDialogHost;
namespace id = res::id;
const auto* const kQtEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtApplicationEnvironment);

// The window's logic as a recorder of every command.
struct RecordingEvents : platform::DialogEvents {
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
       {&res::MainDialogTemplate(), &res::AboutDialogTemplate()}) {
    QtDialogHost host(*dialog);
    const QList<QWidget*> widgets =
        host.clientArea()->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
    ASSERT_EQ(widgets.size(), static_cast<qsizetype>(dialog->controls.size()));
    std::vector<std::pair<const res::ControlTemplate*, QWidget*>> shown;
    for (std::size_t i = 0; i < dialog->controls.size(); ++i) {
      const res::ControlTemplate& control = dialog->controls[i];
      QWidget* widget = widgets[static_cast<qsizetype>(i)];
      SCOPED_TRACE(control.accessibleName.data());
      EXPECT_EQ(widget->objectName(), QString::number(control.id));
      EXPECT_EQ(widget->accessibleName().toStdString(), control.accessibleName);
      if (control.id != 0) {
        EXPECT_EQ(host.control(control.id), widget);
      }
      const QRect expected =
          platform::qt::ToPixels(control.rect, {host.baseUnitX(), host.baseUnitY()});
      EXPECT_TRUE(host.clientArea()->rect().contains(widget->geometry()));
      EXPECT_EQ(widget->pos(), expected.topLeft());
      if (control.kind != res::ControlKind::kDropDownList) {
        EXPECT_EQ(widget->size(), expected.size());
      }
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

TEST(QtDialogHost, ListsRadiosProgressCursorAndSize) {
  QtDialogHost host(res::MainDialogTemplate());
  for (const auto& [list, entries] : {std::pair{id::kProfileList, 3},
                                      {id::kCrfList, 14},
                                      {id::kResizeList, 15},
                                      {id::kFpsList, 13},
                                      {id::kGpuList, 3}}) {
    EXPECT_EQ(qobject_cast<QComboBox*>(host.control(list))->count(), entries);
    EXPECT_EQ(host.listIndex(list), -1) << "a fresh list selects nothing";
    for (auto [index, expected] :
         {std::pair{entries - 1, entries - 1}, {entries, -1}, {0, 0}, {-1, -1}}) {
      host.setListIndex(list, index);
      EXPECT_EQ(host.listIndex(list), expected) << list << " index " << index;
    }
  }
  host.setListIndex(id::kProfileList, 2);
  EXPECT_EQ(host.text(id::kProfileList), " high");
  const int radios[] = {id::kRadioH264, id::kRadioH265, id::kRadioMpv};
  for (int chosen : radios) {
    host.setChecked(chosen, true);
    for (int radio : radios) EXPECT_EQ(host.checked(radio), radio == chosen) << chosen;
  }
  host.setChecked(id::kRadioMpv, false);
  for (int radio : radios) EXPECT_FALSE(host.checked(radio));
  for (auto [given, shown] : {std::pair{40, 40}, {150, 100}, {-5, 0}, {100, 100}}) {
    host.setProgress(given);
    EXPECT_EQ(host.progress(), shown) << given;
  }
  host.setWaitCursor(true);
  host.setWaitCursor(true);
  host.setWaitCursor(false);
  ASSERT_NE(QApplication::overrideCursor(), nullptr);
  host.setWaitCursor(false);
  host.setWaitCursor(false);  // one too many is harmless
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  host.move(40, 30);
  host.resizeWindow(748, 223);
  EXPECT_EQ(host.geometry(), QRect(40, 30, 748, 223));
}

TEST(QtDialogHost, UserActionsBecomeCommandsAndOnlyTheLogicEndsTheDialog) {
  QtDialogHost host(res::MainDialogTemplate());
  RecordingEvents events;
  std::vector<int> order;
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
        host.post([&, i] {
          order.push_back(i);
          allOnWindowThread &= QThread::currentThread() == qApp->thread();
        });
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
  std::vector<int> inOrder(200);
  std::iota(inOrder.begin(), inOrder.end(), 0);
  EXPECT_EQ(order, inOrder);
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

TEST(QtDialogHost, BrowseDialogAcceptsANewNameCancelGivesNothingAndTheAboutBoxCloses) {
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
      dialog->selectFile(QString::fromStdString(wanted));
      static_cast<QDialog*>(dialog)->accept();
    });
    EXPECT_EQ(host.chooseFile({"H264 Dest. File", "*.H264", folder + "/", "*.H264"}),
              accept ? std::optional(wanted) : std::nullopt);
  }
  QString title;
  OnModalDialog([&](QWidget* about) {
    title = about->windowTitle();
    QTest::keyClick(about, Qt::Key_Escape);
  });
  host.showAbout();
  EXPECT_EQ(title, QStringLiteral(" About Vexlo"));
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
    window_ = std::make_unique<app::CVexloDlg>(*host_, store_, program_);
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
  std::unique_ptr<app::CVexloDlg> window_;
};

// A job disables the job controls; the radios still switch the visible destination button and
// profile list; Cancel kills the tool and gives the idle window back.
TEST_F(WindowGui, JobStatesRadiosWhileBusyAndCancel) {
  pid_t pid = 0;
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
    EXPECT_TRUE(W(id::kDeriveMpv)->isVisible());
    EXPECT_FALSE(W(id::kDeriveH264)->isVisible() || W(id::kProfileList)->isVisible());
    Click(id::kCancel);
    EXPECT_TRUE(WaitUntil(
        [&] { return W(id::kEncodeVideo)->isEnabled() && !W(id::kCancel)->isEnabled(); }));
    EXPECT_TRUE(
        WaitUntil([&] { return qobject_cast<QProgressBar*>(W(id::kProgress))->value() == 0; }));
    EXPECT_TRUE(WaitUntil([&] { return ::kill(pid, 0) != 0; })) << "the tool survived Cancel";
    Click(res::kIdOk);
  });
  EXPECT_EQ(StoredSettings(store_).at("mOutType"), "2");
}

TEST_F(WindowGui, ClosingDuringAJobKillsTheTool) {
  pid_t pid = 0;
  Run([&] {
    Click(id::kEncodeVideo);
    pid = ToolPid();
    host_->close();  // the title-bar close
  });
  EXPECT_NE(pid, 0);
  EXPECT_NE(::kill(pid, 0), 0) << "the tool outlived the window";
}

TEST_F(WindowGui, CompactAutomaticWindowAboutBoxAndCancel) {
  app::CommandLineFields fields;
  fields.count = 2;
  fields.first = program_ + "/in.mov";
  fields.second = program_ + "/out.H264";
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

}  // namespace
}  // namespace vexlo::testing
