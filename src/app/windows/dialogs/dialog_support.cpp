#include "app/windows/dialogs/dialog_support.h"

#include <commctrl.h>

#include "platform/windows/wide_text.h"

namespace kiln::app::windows {

using platform::windows::Utf8;
using platform::windows::Wide;

std::string ControlText(HWND dialog, int id) {
  const HWND control = ::GetDlgItem(dialog, id);
  std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(control)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(
      ::GetWindowTextW(control, text.data(), static_cast<int>(text.size()))));
  return Utf8(text);
}

void SetControlText(HWND dialog, int id, std::string_view utf8) {
  ::SetDlgItemTextW(dialog, id, Wide(utf8).c_str());
}

bool Checked(HWND dialog, int id) {
  return ::IsDlgButtonChecked(dialog, id) == BST_CHECKED;
}

void SetChecked(HWND dialog, int id, bool checked) {
  ::CheckDlgButton(dialog, id, checked ? BST_CHECKED : BST_UNCHECKED);
}

void ShowControls(HWND dialog, std::initializer_list<int> ids, bool shown) {
  for (const int id : ids) ::ShowWindow(::GetDlgItem(dialog, id), shown ? SW_SHOW : SW_HIDE);
}

void EnableControls(HWND dialog, std::initializer_list<int> ids, bool enabled) {
  for (const int id : ids) ::EnableWindow(::GetDlgItem(dialog, id), enabled ? TRUE : FALSE);
}

void ShowNotice(HWND owner, const tools::Notice& notice) {
  ::MessageBoxW(owner, Wide(notice.text).c_str(), Wide(notice.title).c_str(),
                MB_OK | (notice.warning ? MB_ICONWARNING : MB_ICONINFORMATION));
}

bool ReportSave(HWND owner, tools::SaveOutcome outcome, const std::string& iniPath) {
  if (outcome == tools::SaveOutcome::kSaved) return true;
  if (outcome != tools::SaveOutcome::kNotTaken)
    ShowNotice(owner, tools::SaveNotice(outcome, iniPath));
  return false;
}

bool AcceptChosenFile(HWND owner, const std::string& chosenPath, const std::string& programFolder,
                      bool tableFile) {
  const tools::ChosenFile check = tools::CheckChosenFile(chosenPath, programFolder, tableFile);
  if (check == tools::ChosenFile::kAccepted) return true;
  ShowNotice(owner, tools::ChosenFileNotice(check, chosenPath, programFolder));
  return false;
}

void UseCommonControls() {
  INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX),
                                ICC_LISTVIEW_CLASSES | ICC_UPDOWN_CLASS | ICC_STANDARD_CLASSES};
  ::InitCommonControlsEx(&controls);
}

}  // namespace kiln::app::windows
