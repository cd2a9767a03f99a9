// The Qt dialog host against its templates: widgets, layout, lists, signals, the log pane and
// posting from other threads.

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QStyle>
#include <QTest>
#include <QThread>
#include <span>
#include <string>
#include <thread>

#include "platform/qt/DialogUnits.h"
#include "res/AboutDialogTemplate.h"
#include "res/ListEntries.h"
#include "res/MainDialogTemplate.h"
#include "tests/gui/GuiTestSupport.h"

namespace vexlo::testing {
namespace {

using platform::ControlEvent;
using platform::qt::QtDialogHost;
using res::ControlKind;

const auto* const kQtEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtApplicationEnvironment);

bool IsDecoration(ControlKind kind) {
  return kind == ControlKind::kEtchedFrame || kind == ControlKind::kEtchedLine;
}

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
  if (qobject_cast<QPushButton*>(widget) != nullptr) {
    return advance + 2 * style->pixelMetric(QStyle::PM_DefaultFrameWidth) + 2;
  }
  return advance;
}

class TemplateLayoutTest : public ::testing::TestWithParam<const res::DialogTemplate*> {};

TEST_P(TemplateLayoutTest, EveryControlIsBuiltNamedAndPlacedInsideTheWindow) {
  const res::DialogTemplate& dialog = *GetParam();
  QtDialogHost host(dialog);
  const QRect client = host.clientArea()->rect();
  const QList<QWidget*> children =
      host.clientArea()->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
  ASSERT_EQ(children.size(), static_cast<qsizetype>(dialog.controls.size()));
  for (std::size_t i = 0; i < dialog.controls.size(); ++i) {
    const res::ControlTemplate& control = dialog.controls[i];
    QWidget* widget = children[static_cast<qsizetype>(i)];
    SCOPED_TRACE(control.accessibleName.data());
    EXPECT_EQ(widget->objectName(), QString::number(control.id));
    EXPECT_EQ(widget->accessibleName().toStdString(), control.accessibleName);
    if (control.id != 0) {
      EXPECT_EQ(host.control(control.id), widget);
    }
    EXPECT_TRUE(client.contains(widget->geometry())) << widget->geometry().x();
    const QRect expected =
        platform::qt::ToPixels(control.rect, {host.baseUnitX(), host.baseUnitY()});
    EXPECT_EQ(widget->pos(), expected.topLeft());
    if (control.kind != ControlKind::kDropDownList) {
      EXPECT_EQ(widget->size(), expected.size());
    }
  }
}

TEST_P(TemplateLayoutTest, VisibleControlsDoNotOverlapAndCaptionsFit) {
  const res::DialogTemplate& dialog = *GetParam();
  QtDialogHost host(dialog);
  const std::set<int> sharedPlace = {res::id::kDeriveH264, res::id::kDeriveH265,
                                     res::id::kDeriveMpv};
  std::vector<const res::ControlTemplate*> shown;
  for (const res::ControlTemplate& control : dialog.controls) {
    if (!(control.flags & res::kHidden) && !IsDecoration(control.kind)) shown.push_back(&control);
  }
  const QList<QWidget*> children =
      host.clientArea()->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
  auto widgetOf = [&](const res::ControlTemplate* control) {
    return children[static_cast<qsizetype>(control - dialog.controls.data())];
  };
  for (std::size_t a = 0; a < shown.size(); ++a) {
    for (std::size_t b = a + 1; b < shown.size(); ++b) {
      if (sharedPlace.count(shown[a]->id) && sharedPlace.count(shown[b]->id)) continue;
      EXPECT_FALSE(widgetOf(shown[a])->geometry().intersects(widgetOf(shown[b])->geometry()))
          << shown[a]->accessibleName << " overlaps " << shown[b]->accessibleName;
    }
    const QString caption = QString::fromUtf8(shown[a]->caption.data(),
                                              static_cast<qsizetype>(shown[a]->caption.size()));
    QWidget* widget = widgetOf(shown[a]);
    EXPECT_LE(CaptionWidthNeeded(widget, caption), widget->width())
        << "caption clipped: " << shown[a]->accessibleName;
    EXPECT_LE(QFontMetrics(widget->font()).height(), widget->height()) << shown[a]->accessibleName;
  }
}

INSTANTIATE_TEST_SUITE_P(BothDialogs, TemplateLayoutTest,
                         ::testing::Values(&res::MainDialogTemplate(), &res::AboutDialogTemplate()),
                         TemplateName);

TEST(QtDialogHostTest, ListsHoldTheirEntriesAndRefusePositionsOutsideThem) {
  QtDialogHost host(res::MainDialogTemplate());
  struct Row {
    int id;
    std::span<const std::string_view> entries;
  };
  const Row rows[] = {{res::id::kProfileList, res::lists::kProfile},
                      {res::id::kCrfList, res::lists::kCrf},
                      {res::id::kResizeList, res::lists::kResize},
                      {res::id::kFpsList, res::lists::kFps},
                      {res::id::kGpuList, res::lists::kGpu}};
  for (const Row& row : rows) {
    auto* list = qobject_cast<QComboBox*>(host.control(row.id));
    ASSERT_NE(list, nullptr) << row.id;
    ASSERT_EQ(list->count(), static_cast<int>(row.entries.size()));
    for (int i = 0; i < list->count(); ++i) {
      EXPECT_EQ(list->itemText(i).toStdString(), row.entries[static_cast<std::size_t>(i)]);
    }
    EXPECT_EQ(host.listIndex(row.id), -1) << "a fresh list selects nothing";
    const int last = list->count() - 1;
    for (auto [index, expected] : {std::pair{last, last}, {last + 1, -1}, {0, 0}, {-1, -1}}) {
      host.setListIndex(row.id, index);
      EXPECT_EQ(host.listIndex(row.id), expected) << row.id << " index " << index;
    }
  }
  EXPECT_EQ(host.text(res::id::kProfileList), "");
  host.setListIndex(res::id::kProfileList, 2);
  EXPECT_EQ(host.text(res::id::kProfileList), " high");
}

TEST(QtDialogHostTest, RadioButtonsFormOneExclusiveGroupThatCanBeCleared) {
  QtDialogHost host(res::MainDialogTemplate());
  const int radios[] = {res::id::kRadioH264, res::id::kRadioH265, res::id::kRadioMpv};
  for (int chosen : radios) {
    host.setChecked(chosen, true);
    for (int radio : radios) EXPECT_EQ(host.checked(radio), radio == chosen) << chosen;
  }
  host.setChecked(res::id::kRadioMpv, false);
  for (int radio : radios) EXPECT_FALSE(host.checked(radio));
}

TEST(QtDialogHostTest, HiddenTemplateControlsStartInvisibleAndDisabled) {
  QtDialogHost host(res::MainDialogTemplate());
  for (int id : {res::id::kReportCheck, res::id::kTestEncode, res::id::kRequestStop,
                 res::id::kNvidiaCheck}) {
    EXPECT_FALSE(host.visible(id)) << id;
    EXPECT_FALSE(host.enabled(id)) << id;
  }
  EXPECT_TRUE(host.visible(res::id::kEncodeVideo));
  EXPECT_TRUE(host.enabled(res::id::kEncodeVideo));
  EXPECT_FALSE(host.visible(4242));
  EXPECT_EQ(host.text(4242), "");
}

TEST(QtDialogHostTest, UserActionsBecomeCommandsAndOnlyTheLogicEndsTheDialog) {
  QtDialogHost host(res::MainDialogTemplate());
  RecordingEvents events(host);
  bool widgetsLiveAtDestroy = false;
  events.onDestroyCheck = [&] {
    widgetsLiveAtDestroy = host.control(res::id::kLogPane) != nullptr;
  };
  const int result = RunScripted(host, events, [&] {
    for (int id :
         {res::id::kEncodeVideo, res::id::kDeinterlaceCheck, res::id::kRadioH265, res::kIdOk}) {
      QTest::mouseClick(host.control(id), Qt::LeftButton, {}, QPoint(8, 8));
    }
    host.control(res::id::kCrfList)->setFocus();
    QTest::keyClick(host.control(res::id::kCrfList), Qt::Key_Down);
    host.setListIndex(res::id::kFpsList, 3);  // the program's own change is no user event
    QTest::keyClick(host.control(res::id::kSourceEdit), Qt::Key_Return);
    QTest::keyClick(&host, Qt::Key_Escape);
    host.close();
    EXPECT_TRUE(host.isVisible()) << "close without the logic's consent";
    host.findChild<QAction*>(QString::number(res::kCmdAppAbout))->trigger();
    host.findChild<QAction*>(QString::number(res::kCmdAppExit))->trigger();
    host.endDialog(7);
  });
  const std::vector<std::pair<int, ControlEvent>> expected = {
      {res::id::kEncodeVideo, ControlEvent::kClicked},
      {res::id::kDeinterlaceCheck, ControlEvent::kClicked},
      {res::id::kRadioH265, ControlEvent::kClicked},
      {res::kIdOk, ControlEvent::kClicked},
      {res::id::kCrfList, ControlEvent::kSelectionChanged},
      {res::kIdCancel, ControlEvent::kClicked},
      {res::kIdCancel, ControlEvent::kClicked},
      {res::kCmdAppAbout, ControlEvent::kClicked},
      {res::kIdCancel, ControlEvent::kClicked}};
  EXPECT_EQ(events.commands, expected);
  EXPECT_EQ(result, 7);
  EXPECT_EQ(events.inits, 1);
  EXPECT_EQ(events.destroys, 1);
  EXPECT_TRUE(widgetsLiveAtDestroy);
  EXPECT_TRUE(host.checked(res::id::kDeinterlaceCheck));
}

TEST(QtDialogHostTest, TitleBarCloseEndsTheDialogWhenTheLogicSaysSo) {
  QtDialogHost host(res::MainDialogTemplate());
  RecordingEvents events(host);
  events.endOnCancel = true;
  EXPECT_EQ(RunScripted(host, events, [&] { host.close(); }), res::kIdCancel);
  EXPECT_FALSE(host.isVisible());
  EXPECT_EQ(host.windowTitle(), QStringLiteral("H264-H265-MPV-WAV  Encoder "));
  EXPECT_FALSE(host.windowIcon().isNull());
}

TEST(QtDialogHostTest, EndingDuringInitialisationSkipsTheModalLoop) {
  QtDialogHost host(res::MainDialogTemplate());
  struct EndAtInit : RecordingEvents {
    using RecordingEvents::RecordingEvents;
    void onInitDialog() override { host->endDialog(2); }
    QtDialogHost* host = nullptr;
  } ending(host);
  ending.host = &host;
  EXPECT_EQ(host.run(ending), 2);
  EXPECT_EQ(ending.destroys, 1);
}

TEST(QtDialogHostTest, TasksPostedFromAnotherThreadRunOnTheWindowThreadInOrder) {
  QtDialogHost host(res::MainDialogTemplate());
  RecordingEvents events(host);
  std::vector<int> order;
  bool allOnWindowThread = true;
  RunScripted(host, events, [&] {
    std::thread poster([&] {
      for (int i = 0; i < 200; ++i) {
        host.post([&, i] {
          order.push_back(i);
          allOnWindowThread &= QThread::currentThread() == qApp->thread();
        });
      }
      host.post([&] { host.endDialog(1); });
    });
    poster.join();
  });
  ASSERT_EQ(order.size(), 200u);
  for (int i = 0; i < 200; ++i) EXPECT_EQ(order[static_cast<std::size_t>(i)], i);
  EXPECT_TRUE(allOnWindowThread);
  bool ranAfterTheWindowWent = false;
  host.post([&] { ranAfterTheWindowWent = true; });
  QCoreApplication::processEvents();
  EXPECT_FALSE(ranAfterTheWindowWent);
}

TEST(QtDialogHostTest, LogPaneShowsCrLfTextWithoutBlankLinesAndKeepsTheNewestInView) {
  QtDialogHost host(res::MainDialogTemplate());
  host.show();
  auto* pane = qobject_cast<QPlainTextEdit*>(host.control(res::id::kLogPane));
  ASSERT_NE(pane, nullptr);
  EXPECT_TRUE(pane->isReadOnly());
  struct Row {
    std::vector<std::string> appends;
    std::string shown;
  };
  const Row rows[] = {
      {{"one\r\n", "two\r\n"}, "one\ntwo\n"},
      {{"par", "tial\r", "\nnext"}, "partial\nnext"},
      {{"caf\xC3", "\xA9\r\n"}, "caf\xC3\xA9\n"},  // a UTF-8 letter cut in two
  };
  for (const Row& row : rows) {
    host.setText(res::id::kLogPane, "");
    std::string raw;
    for (const std::string& piece : row.appends) {
      host.appendText(res::id::kLogPane, piece);
      raw += piece;
    }
    EXPECT_EQ(pane->toPlainText().toStdString(), row.shown);
    EXPECT_EQ(host.text(res::id::kLogPane), raw);
  }
  std::string flood;
  for (int i = 0; flood.size() < 40000; ++i) flood += "[30] # frame " + std::to_string(i) + "\r\n";
  host.setText(res::id::kLogPane, "");
  host.appendText(res::id::kLogPane, flood);
  for (int i = 0; i < 3000; ++i) host.appendText(res::id::kLogPane, "[30] # line\r\n");
  EXPECT_EQ(host.text(res::id::kLogPane).size(), flood.size() + 3000 * 13);
  EXPECT_FALSE(pane->toPlainText().contains(QLatin1Char('\r')));
  QCoreApplication::processEvents();
  EXPECT_GT(pane->verticalScrollBar()->maximum(), 0);
  EXPECT_EQ(pane->verticalScrollBar()->value(), pane->verticalScrollBar()->maximum());
}

TEST(QtDialogHostTest, EditColoursFollowReadOnlyAndEnabledStates) {
  QtDialogHost host(res::MainDialogTemplate());
  QWidget* edit = host.control(res::id::kSourceEdit);
  auto base = [&] {
    return edit->palette().color(edit->isEnabled() ? QPalette::Active : QPalette::Disabled,
                                 QPalette::Base);
  };
  const QColor editGrey(40, 40, 40), dialogGrey(65, 65, 65);
  EXPECT_EQ(base(), editGrey);
  host.setReadOnly(res::id::kSourceEdit, true);
  EXPECT_EQ(base(), dialogGrey);
  host.setReadOnly(res::id::kSourceEdit, false);
  host.setEnabled(res::id::kSourceEdit, false);
  EXPECT_EQ(base(), dialogGrey);
}

TEST(QtDialogHostTest, ProgressWaitCursorAndCompactSize) {
  QtDialogHost host(res::MainDialogTemplate());
  for (auto [given, shown] : {std::pair{40, 40}, {150, 100}, {-5, 0}, {100, 100}}) {
    host.setProgress(given);
    EXPECT_EQ(host.progress(), shown) << given;
  }
  host.setWaitCursor(true);
  host.setWaitCursor(true);
  host.setWaitCursor(false);
  ASSERT_NE(QApplication::overrideCursor(), nullptr);
  EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
  host.setWaitCursor(false);
  host.setWaitCursor(false);  // one too many is harmless
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  host.move(40, 30);
  host.resizeWindow(748, 223);
  EXPECT_EQ(host.size(), QSize(748, 223));
  EXPECT_EQ(host.pos(), QPoint(40, 30));
}

TEST(QtDialogHostTest, BrowseDialogAcceptsANewNameAndCancelGivesNothing) {
  QtDialogHost host(res::MainDialogTemplate());
  const QString folder = QStringLiteral(VEXLO_TEST_BINARY_DIR);
  const std::string wanted = folder.toStdString() + "/not-yet-there.H264";
  for (bool accept : {true, false}) {
    QFileDialog* seen = nullptr;
    QTimer::singleShot(0, [&] {
      seen = host.findChild<QFileDialog*>();
      if (seen == nullptr) return;
      EXPECT_EQ(seen->windowTitle(), QStringLiteral("H264 Dest. File"));
      EXPECT_EQ(seen->directory().absolutePath(), folder);
      EXPECT_EQ(seen->nameFilters(), QStringList{QStringLiteral("*.H264 (*.H264)")});
      if (!accept) return seen->reject();
      seen->selectFile(QString::fromStdString(wanted));
      static_cast<QDialog*>(seen)->accept();
    });
    const auto chosen =
        host.chooseFile({"H264 Dest. File", "*.H264", folder.toStdString() + "/", "*.H264"});
    ASSERT_NE(seen, nullptr);
    EXPECT_EQ(chosen, accept ? std::optional(wanted) : std::nullopt);
  }
}

TEST(QtDialogHostTest, AboutBoxShowsItsTemplateAndClosesOnEscape) {
  QtDialogHost host(res::MainDialogTemplate());
  QString title;
  QTimer::singleShot(0, [&] {
    QWidget* about = QApplication::activeModalWidget();
    if (about == nullptr) return;
    title = about->windowTitle();
    QTest::keyClick(about, Qt::Key_Escape);
  });
  host.showAbout();
  EXPECT_EQ(title, QStringLiteral(" About Vexlo"));
}

}  // namespace
}  // namespace vexlo::testing
