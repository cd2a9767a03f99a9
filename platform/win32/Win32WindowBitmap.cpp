#include "platform/win32/Win32WindowBitmap.h"

#include <windows.h>

#include <cstdio>
#include <vector>

namespace vexlo::platform::win32 {

namespace {

// The window's pixels as bottom-up rows of 24 bits, each row padded to 4 bytes, as `info` says.
std::vector<char> CaptureWindow(HWND window, BITMAPINFOHEADER& info) {
  RECT area{};
  ::GetWindowRect(window, &area);
  const int width = area.right - area.left;
  const int height = area.bottom - area.top;
  HDC screen = ::GetDC(nullptr);
  HDC memory = ::CreateCompatibleDC(screen);
  HBITMAP bitmap = ::CreateCompatibleBitmap(screen, width, height);
  HGDIOBJ old = ::SelectObject(memory, bitmap);
  HDC source = ::GetWindowDC(window);
  ::BitBlt(memory, 0, 0, width, height, source, 0, 0, SRCCOPY);
  ::ReleaseDC(window, source);
  ::SelectObject(memory, old);
  info = {};
  info.biSize = sizeof info;
  info.biWidth = width;
  info.biHeight = height;
  info.biPlanes = 1;
  info.biBitCount = 24;
  info.biCompression = BI_RGB;
  const DWORD rowBytes = ((static_cast<DWORD>(width) * 3 + 3) / 4) * 4;
  std::vector<char> pixels(rowBytes * static_cast<DWORD>(height));
  ::GetDIBits(memory, bitmap, 0, static_cast<UINT>(height), pixels.data(),
              reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS);
  ::DeleteObject(bitmap);
  ::DeleteDC(memory);
  ::ReleaseDC(nullptr, screen);
  return pixels;
}

}  // namespace

bool WriteWindowBitmap(HWND window, const std::string& path) {
  BITMAPINFOHEADER info{};
  const std::vector<char> pixels = CaptureWindow(window, info);
  BITMAPFILEHEADER file{};
  file.bfType = 0x4D42;  // "BM"
  file.bfOffBits = sizeof file + sizeof info;
  file.bfSize = file.bfOffBits + static_cast<DWORD>(pixels.size());
  FILE* out = std::fopen(path.c_str(), "wb");
  if (out == nullptr) return false;
  bool written = std::fwrite(&file, sizeof file, 1, out) == 1 &&
                 std::fwrite(&info, sizeof info, 1, out) == 1 &&
                 std::fwrite(pixels.data(), 1, pixels.size(), out) == pixels.size();
  written = std::fclose(out) == 0 && written;
  return written;
}

}  // namespace vexlo::platform::win32
