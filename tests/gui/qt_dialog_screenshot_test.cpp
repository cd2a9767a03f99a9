// Screenshots of the dialogs in their main states, written under the build folder for a person
// to look at: the idle window, the busy window, the compact automatic-mode window and the About
// box.

#include <QDir>
#include <QFontInfo>
#include <QImage>
#include <QTimer>
#include <string>

#include "res/AboutDialogTemplate.h"
#include "res/MainDialogTemplate.h"
#include "tests/gui/GuiTestSupport.h"

namespace vexlo::testing {
namespace {

using platform::qt::QtDialogHost;
namespace id = res::id;

const auto* const kQtEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtApplicationEnvironment);

// The controls a running job disables; Cancel is enabled instead.
constexpr int kJobControls[] = {
    id::kEncodeVideo, id::kEncodeAudio, id::kFrame,     id::kIndex,      id::kBrowseSource,
    id::kInfoSource,  id::kBrowseVideo, id::kDeriveVid, id::kDeriveH264, id::kInfoAudio,
    id::kInfoVideo,   id::kProfileList, id::kCrfList,   id::kResizeList, id::kGpuList,
    id::kFpsList,     id::kBrowseAudio, id::kDeriveWav, id::kDeriveAud,  id::kDeriveH265,
    id::kRadioH264,   id::kRadioH265};

// The automatic mode's compact window hides these and disables them.
constexpr int kCompactHidden[] = {id::kBrowseSource, id::kBrowseVideo, id::kDeriveVid,
                                  id::kDeriveH264,   id::kLogLabel,    id::kLogPane,
                                  id::kEncodeVideo,  id::kDefault,     res::kIdOk};

QString ScreenshotPath(const char* name) {
  const QString folder = QStringLiteral(VEXLO_TEST_BINARY_DIR "/screenshots");
  QDir().mkpath(folder);
  return folder + QLatin1Char('/') + QLatin1String(name);
}

// The idle window as the logic leaves it after start-up: H.264 chosen, lists filled in.
void FillIdleWindow(QtDialogHost& host) {
  host.setText(id::kSourceEdit, "/home/user/Videos/holiday.mov");
  host.setText(id::kVideoDestEdit, "/home/user/Videos/holiday.H264");
  host.setText(id::kAudioDestEdit, "/home/user/Videos/holiday.WAV");
  host.setText(id::kFrameTimeEdit, "0.00");
  for (auto [list, index] : {std::pair{id::kProfileList, 2},
                             {id::kCrfList, 1},
                             {id::kResizeList, 0},
                             {id::kFpsList, 0},
                             {id::kGpuList, 0}}) {
    host.setListIndex(list, index);
  }
  host.setChecked(id::kRadioH264, true);
  host.setVisible(id::kDeriveH265, false);
  host.setVisible(id::kDeriveMpv, false);
  host.setEnabled(id::kCancel, false);
  host.appendText(id::kLogPane, "04 Dec-14.06.52 [30] # Trace process started.\r\n");
  host.appendText(id::kLogPane, "[30] # ##### START CONVERSION ######\r\n");
  host.appendText(id::kLogPane,
                  "[30] # frame=  250 fps=120 q=28.0 size=    512kB time=00:00:10.00\r\n");
  host.appendText(id::kLogPane, "[30] # ##### END CONVERSION ######\r\n");
  host.setProgress(100);
}

void MakeBusy(QtDialogHost& host) {
  for (int control : kJobControls) host.setEnabled(control, false);
  host.setEnabled(id::kCancel, true);
  host.setProgress(42);
}

void MakeCompact(QtDialogHost& host) {
  host.resizeWindow(748, 223);
  host.setReadOnly(id::kSourceEdit, true);
  host.setReadOnly(id::kVideoDestEdit, true);
  for (int control : kCompactHidden) {
    host.setEnabled(control, false);
    host.setVisible(control, false);
  }
  MakeBusy(host);
  host.setVisible(id::kDeriveH264, true);
}

// Shows the window, lets it paint and saves what it shows.
QImage Capture(QtDialogHost& host, const char* name) {
  host.show();
  QCoreApplication::processEvents();
  const QImage image = host.grab().toImage();
  EXPECT_TRUE(image.save(ScreenshotPath(name))) << name;
  return image;
}

TEST(QtDialogScreenshotTest, MainWindowStates) {
  struct Row {
    const char* name;
    void (*prepare)(QtDialogHost&);
    QSize size;         // empty: the template's own size
    QColor sourceEdit;  // behind the source path: edit grey, or dialog grey when read-only
  };
  const QColor editGrey(40, 40, 40), dialogGrey(65, 65, 65);
  const Row rows[] = {
      {"main-idle.png", [](QtDialogHost&) {}, {}, editGrey},
      {"main-busy.png", MakeBusy, {}, editGrey},
      {"main-compact.png", MakeCompact, {748, 223}, dialogGrey},
  };
  for (const Row& row : rows) {
    QtDialogHost host(res::MainDialogTemplate());
    const QSize templateSize = host.size();
    FillIdleWindow(host);
    row.prepare(host);
    const QImage image = Capture(host, row.name);
    EXPECT_EQ(image.size() / image.devicePixelRatio(),
              row.size.isEmpty() ? templateSize : row.size);
    QWidget* edit = host.control(id::kSourceEdit);
    const QPoint blank = edit->mapTo(&host, QPoint(600, edit->height() / 2));
    EXPECT_EQ(image.pixelColor(blank), row.sourceEdit) << row.name;
    EXPECT_EQ(image.pixelColor(host.width() - 3, host.height() - 3), dialogGrey) << row.name;
  }
}

TEST(QtDialogScreenshotTest, AboutBox) {
  QtDialogHost about(res::AboutDialogTemplate());
  const QImage image = Capture(about, "about.png");
  // The picture is there: its orange play mark shows inside the picture's place.
  const QWidget* picture = about.clientArea()->findChildren<QWidget*>().first();
  const QRect place(picture->mapTo(&about, QPoint(0, 0)), picture->size());
  bool orange = false;
  for (int y = place.top(); y <= place.bottom(); ++y) {
    for (int x = place.left(); x <= place.right(); ++x) {
      const QColor c = image.pixelColor(x, y);
      orange |= c.red() > 200 && c.green() > 100 && c.green() < 180 && c.blue() < 100;
    }
  }
  EXPECT_TRUE(orange) << "no About picture";
  const QFontInfo font(about.font());
  std::printf("dialog font %s %dpx, base units %d x %d, main window %dx%d\n",
              font.family().toStdString().c_str(), font.pixelSize(), about.baseUnitX(),
              about.baseUnitY(), QtDialogHost(res::MainDialogTemplate()).width(),
              QtDialogHost(res::MainDialogTemplate()).height());
  EXPECT_EQ(font.family(), QStringLiteral("Liberation Sans"));
}

}  // namespace
}  // namespace vexlo::testing
