#include "app/windows/window_text.h"

#include <commctrl.h>

#include <vector>

#include "i18n/code_page.h"
#include "platform/windows/wide_text.h"

namespace kiln::app::windows {

namespace {

// A caption is read up to the language texts' capacity, as its key.
std::string CaptionKey(HWND window) {
  std::vector<wchar_t> text(i18n::kTextCapacity, L'\0');
  ::GetWindowTextW(window, text.data(), static_cast<int>(text.size()));
  return platform::windows::Utf8(text.data());
}

std::wstring Translated(const std::string& key, const i18n::LanguageFile& language,
                        std::string_view tag) {
  return WindowText(language.Translate(key).view(), tag);
}

// The items of a combo box, each replaced by its translation at its place, its selection
// kept.
void RetextComboItems(HWND box, const i18n::LanguageFile& language, std::string_view tag) {
  const LRESULT count = ::SendMessageW(box, CB_GETCOUNT, 0, 0);
  if (count <= 0) return;
  const LRESULT selected = ::SendMessageW(box, CB_GETCURSEL, 0, 0);
  for (WPARAM i = 0; i < static_cast<WPARAM>(count); ++i) {
    const LRESULT length = ::SendMessageW(box, CB_GETLBTEXTLEN, i, 0);
    if (length < 0) continue;
    std::vector<wchar_t> text(static_cast<std::size_t>(length) + 1, L'\0');
    ::SendMessageW(box, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text.data()));
    std::string key = platform::windows::Utf8(text.data());
    if (key.size() >= i18n::kTextCapacity) key.resize(i18n::kTextCapacity - 1);
    const LRESULT data = ::SendMessageW(box, CB_GETITEMDATA, i, 0);
    const std::wstring translated = Translated(key, language, tag);
    ::SendMessageW(box, CB_DELETESTRING, i, 0);
    ::SendMessageW(box, CB_INSERTSTRING, i, reinterpret_cast<LPARAM>(translated.c_str()));
    if (data != CB_ERR) ::SendMessageW(box, CB_SETITEMDATA, i, data);
  }
  ::SendMessageW(box, CB_SETCURSEL, static_cast<WPARAM>(selected), 0);
}

bool IsComboBox(HWND window) {
  wchar_t name[32] = {};
  ::GetClassNameW(window, name, 32);
  return ::lstrcmpiW(name, WC_COMBOBOXW) == 0;
}

}  // namespace

std::wstring WindowText(std::string_view bytes, std::string_view languageTag) {
  return platform::windows::Wide(i18n::LanguageTextUtf8(bytes, languageTag));
}

void SetControlText(HWND control, std::string_view bytes, std::string_view languageTag) {
  ::SetWindowTextW(control, WindowText(bytes, languageTag).c_str());
}

void RetextWindow(HWND window, const i18n::LanguageFile& language, std::string_view languageTag) {
  ::SetWindowTextW(window, Translated(CaptionKey(window), language, languageTag).c_str());
  for (HWND child = ::GetWindow(window, GW_CHILD); child != nullptr;
       child = ::GetWindow(child, GW_HWNDNEXT)) {
    if (IsComboBox(child) && ::SendMessageW(child, CB_GETCOUNT, 0, 0) > 0) {
      RetextComboItems(child, language, languageTag);
      continue;
    }
    const std::string key = CaptionKey(child);
    if (key.empty()) continue;
    ::SetWindowTextW(child, Translated(key, language, languageTag).c_str());
  }
}

}  // namespace kiln::app::windows
