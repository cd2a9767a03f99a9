// The picture of the frames on Windows: the SVG of the whole range, written into the user's
// temporary folder and opened with the system's viewer for SVG files (a browser, as a rule),
// which zooms and scrolls it. The native window draws no picture of its own: the same SVG as the
// Qt window's, and no second drawing of the model to keep in step.
#include <windows.h>
// After windows.h:
#include <shellapi.h>

#include <string>

#include "platform/win32/Win32DialogHost.h"

namespace vexlo::platform::win32 {

namespace {

constexpr int kPictureWidth = 1600;
constexpr int kPictureHeight = 600;

// Writes the bytes into a new or emptied file; false when it could not be made or written.
bool WriteWholeFile(const std::wstring& path, const std::string& bytes) {
  HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const bool whole = ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                                 nullptr) &&
                     written == bytes.size();
  return ::CloseHandle(file) && whole;
}

}  // namespace

// One file per process ("vexlo-frames-PID.svg"), written again for each picture shown.
bool Win32DialogHost::showSvgPicture(const hosts::SvgPicture& picture) {
  if (!picture.draw) return false;
  wchar_t folder[MAX_PATH + 1] = {};
  const DWORD length = ::GetTempPathW(MAX_PATH + 1, folder);
  if (length == 0 || length > MAX_PATH) return false;
  const std::wstring path = std::wstring(folder) + L"vexlo-frames-" +
                            std::to_wstring(::GetCurrentProcessId()) + L".svg";
  if (!WriteWholeFile(path, picture.draw(picture.start, picture.end, kPictureWidth,
                                         kPictureHeight))) {
    return false;
  }
  const auto opened = reinterpret_cast<INT_PTR>(
      ::ShellExecuteW(window_, L"open", path.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
  return opened > 32;  // ShellExecute's success
}

}  // namespace vexlo::platform::win32
