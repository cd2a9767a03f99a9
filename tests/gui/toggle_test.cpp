// Check boxes and radio buttons changed without a click (as the keyboard or an accessibility
// "Toggle" action changes them) do what a click does; the window's own changes fire nothing.

#include <QAbstractButton>
#include <QTest>
#include <filesystem>

#include "app/RegistryStore.h"
#include "app/VexloDlg.h"
#include "platform/Paths.h"
#include "res/ControlIds.h"
#include "res/MainDialogTemplate.h"
#include "tests/gui/GuiTestSupport.h"
#include "tests/support/Support.h"

namespace vexlo::app {
namespace {

namespace id = res::id;
const auto* const kQt = ::testing::AddGlobalTestEnvironment(new testing::QtApplicationEnvironment);

// The window, with every command the host delivers to it counted.
struct CountingWindow : CVexloDlg {
  using CVexloDlg::CVexloDlg;
  void onCommand(int c, platform::ControlEvent e) override {
    commands.push_back(c);
    CVexloDlg::onCommand(c, e);
  }
  std::vector<int> commands;
};

TEST(ToggleWithoutClick, SavesTheSettingAndUpdatesTheControlsOnce) {
  std::filesystem::remove(platform::ConfigDirectory() + "/HKEY_CURRENT_USER.reg");
  RegistryStore store;
  store.WriteDword(kSettingsKey, "bDeinterlace", 1);
  store.WriteDword(kSettingsKey, "mOutType", 2);
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
  auto stored = testing::StoredSettings(store);
  // bShortGop stays 1: Default clears the mark but does not save it.
  EXPECT_EQ(stored["mOutType"] + stored["bDeinterlace"] + stored["bShortGop"], "001");
}

}  // namespace
}  // namespace vexlo::app
