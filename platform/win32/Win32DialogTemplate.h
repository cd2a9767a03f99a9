#pragma once

#include <vector>

#include "res/DialogTemplate.h"

// The dialog templates of res/ as in-memory Win32 dialog templates.

struct HWND__;

namespace vexlo::platform::win32 {

/// The dialog template in memory (DLGTEMPLATE and its controls) that the dialog functions take:
/// the template's dialog units, font, title, control IDs, captions and styles, no menu.
std::vector<unsigned short> BuildTemplateBytes(const res::DialogTemplate& dialog);
/// The template's menu bar, made for a dialog that has just been created, and the dialog grown by
/// the bar's height so that its client area keeps the template's size. Nothing without a menu.
void AddMenuBar(HWND__* window, const res::DialogTemplate& dialog);

}  // namespace vexlo::platform::win32
