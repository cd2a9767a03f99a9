// The dialog templates and the colour scheme as data: identities, bounds, names and the colours
// each kind of control takes.

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

#include "res/AboutDialogTemplate.h"
#include "res/ColorScheme.h"
#include "res/ControlIds.h"
#include "res/MainDialogTemplate.h"

namespace vexlo::res {
namespace {

bool IsButtonKind(ControlKind kind) {
  return kind == ControlKind::kButton || kind == ControlKind::kDefaultButton;
}

class TemplateDataTest : public ::testing::TestWithParam<const DialogTemplate*> {};

TEST_P(TemplateDataTest, ControlsAreUniqueNamedAndInsideTheDialog) {
  const DialogTemplate& dialog = *GetParam();
  std::set<int> ids;
  std::map<std::string_view, int> buttonNames;
  for (const ControlTemplate& control : dialog.controls) {
    SCOPED_TRACE(std::string(control.accessibleName) + " " + std::to_string(control.id));
    if (control.id != 0) {
      EXPECT_TRUE(ids.insert(control.id).second) << "duplicate id";
      EXPECT_EQ(FindControl(dialog, control.id), &control);
    }
    EXPECT_GE(control.rect.x, 0);
    EXPECT_GE(control.rect.y, 0);
    EXPECT_LE(control.rect.x + control.rect.width, dialog.width);
    EXPECT_LE(control.rect.y + control.rect.height, dialog.height);
    if (!control.caption.empty()) {
      EXPECT_FALSE(control.accessibleName.empty());
    }
    if (IsButtonKind(control.kind)) ++buttonNames[control.accessibleName];
  }
  for (const auto& [name, count] : buttonNames) EXPECT_EQ(count, 1) << name;
  EXPECT_EQ(FindControl(dialog, 0), nullptr);
}

INSTANTIATE_TEST_SUITE_P(BothDialogs, TemplateDataTest,
                         ::testing::Values(&MainDialogTemplate(), &AboutDialogTemplate()),
                         [](const auto& info) {
                           return "Template" + std::to_string(info.param->id);
                         });

TEST(MainDialogTemplateTest, HiddenControlsGroupsAndDefaultButtons) {
  const DialogTemplate& dialog = MainDialogTemplate();
  std::set<int> hidden, groupStarts, radios, defaults;
  for (const ControlTemplate& control : dialog.controls) {
    if (control.flags & kHidden) hidden.insert(control.id);
    if (control.flags & kGroupStart) groupStarts.insert(control.id);
    if (control.kind == ControlKind::kRadio) radios.insert(control.id);
    if (control.kind == ControlKind::kDefaultButton) defaults.insert(control.id);
  }
  EXPECT_EQ(hidden,
            (std::set<int>{id::kReportCheck, id::kTestEncode, id::kRequestStop, id::kNvidiaCheck}));
  EXPECT_EQ(groupStarts, std::set<int>{id::kRadioH264});
  EXPECT_EQ(radios, (std::set<int>{id::kRadioH264, id::kRadioH265, id::kRadioMpv}));
  EXPECT_EQ(defaults, (std::set<int>{id::kEncodeVideo, id::kEncodeAudio, id::kCancel}));
}

TEST(ColorSchemeTest, EachControlKindTakesItsSurfaceColours) {
  using colors::Surface;
  struct Row {
    ControlKind kind;
    bool readOnly;
    bool enabled;
    Surface surface;
  };
  const Row rows[] = {
      {ControlKind::kEdit, false, true, Surface::kEdit},
      {ControlKind::kEdit, true, true, Surface::kStatic},
      {ControlKind::kEdit, false, false, Surface::kStatic},
      {ControlKind::kMultiLineEdit, false, true, Surface::kEdit},
      {ControlKind::kStatic, false, true, Surface::kStatic},
      {ControlKind::kCheckBox, false, false, Surface::kStatic},
      {ControlKind::kRadio, false, true, Surface::kStatic},
      {ControlKind::kDefaultButton, false, true, Surface::kButton},
      {ControlKind::kProgressBar, false, true, Surface::kOther},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(colors::SurfaceOf(row.kind, row.readOnly, row.enabled), row.surface)
        << static_cast<int>(row.kind) << " " << row.readOnly << row.enabled;
  }
  const colors::Rgb grey{65, 65, 65}, editGrey{40, 40, 40}, white{245, 245, 245};
  EXPECT_EQ(colors::ColorsOf(Surface::kStatic)->background, grey);
  EXPECT_EQ(colors::ColorsOf(Surface::kButton)->textBackground, grey);
  EXPECT_EQ(colors::ColorsOf(Surface::kDialog)->textBackground, (colors::Rgb{96, 96, 96}));
  EXPECT_EQ(colors::ColorsOf(Surface::kDialog)->background, grey);
  EXPECT_EQ(colors::ColorsOf(Surface::kEdit)->background, editGrey);
  EXPECT_EQ(colors::ColorsOf(Surface::kEdit)->text, white);
  EXPECT_FALSE(colors::ColorsOf(Surface::kOther).has_value());
}

}  // namespace
}  // namespace vexlo::res
