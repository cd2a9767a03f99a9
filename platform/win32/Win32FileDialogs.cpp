// The Win32 dialog host's file and folder dialogs: GetOpenFileNameW for one file (a name that
// does not exist yet accepted) or several, SHBrowseForFolderW for a folder. A chosen name that the
// code page cannot hold comes back as "".
#include <windows.h>
// After windows.h:
#include <commdlg.h>
#include <shlobj.h>

#include <algorithm>
#include <cwchar>

#include "platform/win32/Win32CodePage.h"
#include "platform/win32/Win32DialogHost.h"

namespace vexlo::platform::win32 {

namespace {

std::string Given(const std::wstring& name) {
  std::string chosen;
  ToCodePage(name, chosen);  // empty: the code page cannot hold the name
  return chosen;
}

// The open-file dialog, whose chosen names are written into `names` (which holds the initial
// name); false when the user cancelled.
bool OpenFileDialog(HWND owner, const hosts::FileDialogRequest& request, std::wstring& names,
                    DWORD flags) {
  const std::wstring filter =
      FromCodePage(request.filter) + L'\0' + FromCodePage(request.filter) + L'\0';
  const std::wstring title = FromCodePage(request.title);
  const std::wstring folder = FromCodePage(request.initialDirectory);
  OPENFILENAMEW dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = owner;
  dialog.lpstrFilter = filter.c_str();
  dialog.lpstrFile = names.data();
  dialog.nMaxFile = static_cast<DWORD>(names.size());
  dialog.lpstrInitialDir = folder.c_str();
  dialog.lpstrTitle = title.c_str();
  dialog.Flags = OFN_HIDEREADONLY | OFN_EXPLORER | flags;
  return ::GetOpenFileNameW(&dialog) != FALSE;
}

}  // namespace

std::optional<std::string> Win32DialogHost::chooseFile(const hosts::FileDialogRequest& request) {
  std::wstring name = FromCodePage(request.initialFileName);
  name.resize(std::max<std::size_t>(name.size() + 1, 32768), L'\0');
  if (!OpenFileDialog(window_, request, name, 0)) return std::nullopt;
  return Given(name.c_str());
}

std::vector<std::string> Win32DialogHost::chooseFiles(const hosts::FileDialogRequest& request) {
  std::wstring names(65536, L'\0');
  std::vector<std::string> chosen;
  if (!OpenFileDialog(window_, request, names, OFN_ALLOWMULTISELECT | OFN_FILEMUSTEXIST)) {
    return chosen;
  }
  // One file: its path. Several: the folder, then each name, each ended by a null.
  std::vector<std::wstring> parts;
  for (const wchar_t* part = names.c_str(); *part != L'\0'; part += parts.back().size() + 1) {
    parts.emplace_back(part);
  }
  if (parts.size() == 1) return {Given(parts[0])};
  for (std::size_t i = 1; i < parts.size(); ++i)
    chosen.push_back(Given(parts[0] + L'\\' + parts[i]));
  return chosen;
}

std::optional<std::string> Win32DialogHost::chooseFolder(const hosts::FileDialogRequest& request) {
  const std::wstring title = FromCodePage(request.title);
  BROWSEINFOW browse{};
  browse.hwndOwner = window_;
  browse.lpszTitle = title.c_str();
  browse.ulFlags = BIF_RETURNONLYFSDIRS;
  PIDLIST_ABSOLUTE chosen = ::SHBrowseForFolderW(&browse);
  if (chosen == nullptr) return std::nullopt;
  std::wstring path(MAX_PATH, L'\0');
  const bool named = ::SHGetPathFromIDListW(chosen, path.data()) != FALSE;
  ::CoTaskMemFree(chosen);
  if (!named) return std::nullopt;
  path.resize(std::wcslen(path.c_str()));
  return Given(path);
}

}  // namespace vexlo::platform::win32
