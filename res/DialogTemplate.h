#pragma once

#include <span>
#include <string_view>

// Dialog templates as plain data: what the dialog manager would read from a resource file.
// Positions and sizes are in dialog units; the host converts them with the dialog font.
namespace vexlo::res {

/// The kinds of control a template can hold.
enum class ControlKind {
  kEdit,           // one-line edit, scrolls horizontally as the text grows
  kMultiLineEdit,  // multi-line edit with a vertical scroll bar
  kButton,         // push button
  kDefaultButton,  // push button drawn in the default style
  kCheckBox,       // automatic check box
  kRadio,          // automatic radio button; kGroupStart opens a group
  kDropDownList,   // drop-down list (the height is that of the dropped list)
  kStatic,         // text label, left aligned
  kCentredStatic,  // text label, centred
  kPicture,        // bitmap picture
  kProgressBar,    // progress bar
  kEtchedFrame,    // decorative etched rectangle
  kEtchedLine,     // decorative etched horizontal line
  kTable,          // rows of text cells under column titles (the list), several rows selectable
};

/// Style flags of a control.
enum ControlFlag : unsigned {
  kNoFlags = 0,
  kHidden = 1u << 0,      // created invisible and disabled
  kGroupStart = 1u << 1,  // first radio button of a group
};

/// A rectangle in dialog units.
struct DialogRect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
};

/// One control of a template. An id of 0 marks an unnamed static or a decoration.
struct ControlTemplate {
  int id = 0;
  ControlKind kind = ControlKind::kStatic;
  std::string_view caption;
  DialogRect rect;
  unsigned flags = kNoFlags;
  std::string_view accessibleName;         // what a screen reader announces
  std::span<const std::string_view> list;  // a drop-down list's entries; a table's columns
  std::span<const int> widths = {};        // a table's column widths
};

/// One command of a menu.
struct MenuItem {
  std::string_view caption;
  int command = 0;
};

/// One drop-down menu of the menu bar.
struct MenuPopup {
  std::string_view caption;
  std::span<const MenuItem> items;
};

/// A dialog: size in dialog units, font, title, optional menu and its controls in tab order.
struct DialogTemplate {
  int id = 0;
  int width = 0;
  int height = 0;
  std::string_view fontFamily;
  int fontPointSize = 0;
  std::string_view title;
  bool minimizeBox = false;
  int menuId = 0;  // 0: no menu bar
  std::span<const MenuPopup> menu;
  std::span<const ControlTemplate> controls;
};

/// The control with the id, or nullptr. Id 0 never matches: unnamed controls have no identity.
const ControlTemplate* FindControl(const DialogTemplate& dialog, int id);

}  // namespace vexlo::res
