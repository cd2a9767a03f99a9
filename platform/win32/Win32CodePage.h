#pragma once

#include <string>
#include <string_view>

// Text between UTF-16 and the system's ANSI code page, for the native dialog.

struct HWND__;

namespace vexlo::platform::win32 {

/// Text in the system's ANSI code page from UTF-16; false (and `out` empty) when a character has
/// no exact place in that code page, so that no name is ever turned into another by a best fit.
bool ToCodePage(const std::wstring& text, std::string& out);
/// Text in the ANSI code page with '?' for each character that it cannot hold (a character no
/// file name may hold, so the text can never name another file).
std::string ToCodePageMarked(const std::wstring& text);
/// UTF-16 from text in the ANSI code page (`utf8`: from UTF-8, as the templates are written).
std::wstring FromCodePage(std::string_view text, bool utf8 = false);
/// A window's text (a control's caption or contents) as UTF-16.
std::wstring WindowText(HWND__* window);

}  // namespace vexlo::platform::win32
