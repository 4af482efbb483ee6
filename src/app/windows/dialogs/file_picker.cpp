#include "app/windows/dialogs/file_picker.h"

#include <commdlg.h>

#include <vector>

#include "platform/windows/wide_text.h"

namespace kiln::app::windows {

using platform::windows::Utf8;
using platform::windows::Wide;

namespace {

// The folder as the dialog takes it: backslashes, no verbatim prefix.
std::wstring DialogFolder(const std::string& folder) {
  std::wstring wide = Wide(folder);
  for (wchar_t& c : wide) {
    if (c == L'/') c = L'\\';
  }
  return wide;
}

}  // namespace

bool SystemFilePicker(HWND owner, const FilePick& pick, std::string& path) {
  // A buffer for a long path; the initial name first.
  std::vector<wchar_t> name(32768, L'\0');
  const std::wstring initial = Wide(pick.initialName);
  initial.copy(name.data(), name.size() - 1);
  // Filter: "name\0pattern\0\0".
  std::wstring filter = Wide(pick.filterName);
  filter += L'\0';
  filter += Wide(pick.pattern);
  filter += L'\0';
  std::wstring extension = Wide(pick.defaultExtension);
  if (extension.rfind(L"*.", 0) == 0) extension.erase(0, 2);
  if (extension == L"*") extension.clear();
  const std::wstring title = Wide(pick.title);
  const std::wstring folder = DialogFolder(pick.folder);

  OPENFILENAMEW dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = owner;
  dialog.lpstrFilter = filter.c_str();
  dialog.nFilterIndex = 1;
  dialog.lpstrFile = name.data();
  dialog.nMaxFile = static_cast<DWORD>(name.size());
  dialog.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
  dialog.lpstrTitle = title.empty() ? nullptr : title.c_str();
  dialog.lpstrDefExt = extension.empty() ? nullptr : extension.c_str();
  dialog.Flags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT | OFN_NOCHANGEDIR | OFN_PATHMUSTEXIST |
                 OFN_EXPLORER | (pick.forWriting ? 0 : OFN_FILEMUSTEXIST);
  const BOOL chosen = pick.forWriting ? ::GetSaveFileNameW(&dialog) : ::GetOpenFileNameW(&dialog);
  if (!chosen) return false;
  path = Utf8(name.data());
  return true;
}

}  // namespace kiln::app::windows
