#include "platform/win32/Win32CodePage.h"

#include <windows.h>

#include <algorithm>

namespace vexlo::platform::win32 {

bool ToCodePage(const std::wstring& text, std::string& out) {
  out.clear();
  if (text.empty()) return true;
  BOOL lost = FALSE;
  const int size = ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(),
                                         static_cast<int>(text.size()), nullptr, 0, nullptr, &lost);
  if (size <= 0 || lost) return false;
  out.resize(static_cast<std::size_t>(size));
  ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), static_cast<int>(text.size()),
                        out.data(), size, nullptr, &lost);
  if (lost) out.clear();
  return !lost;
}

std::string ToCodePageMarked(const std::wstring& text) {
  std::string out;
  if (ToCodePage(text, out)) return out;
  for (wchar_t c : text) {
    std::string one;
    out += ToCodePage(std::wstring(1, c), one) ? one : "?";
  }
  return out;
}

std::wstring FromCodePage(std::string_view text, bool utf8) {
  if (text.empty()) return {};
  const UINT page = utf8 ? CP_UTF8 : CP_ACP;
  const int size =
      ::MultiByteToWideChar(page, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(std::max(size, 0)), L'\0');
  ::MultiByteToWideChar(page, 0, text.data(), static_cast<int>(text.size()), wide.data(), size);
  return wide;
}

std::wstring WindowText(HWND window) {
  std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(
      ::GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
  return text;
}

}  // namespace vexlo::platform::win32
