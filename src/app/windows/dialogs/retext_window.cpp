#include "app/windows/dialogs/retext_window.h"

#include <vector>

#include "i18n/code_page.h"
#include "platform/windows/wide_text.h"

namespace kiln::app::windows {

namespace {

constexpr int kCaptionChars = 1024;  // a caption longer than this is cut

std::wstring Translated(const std::wstring& caption, const i18n::LanguageFile& language,
                        std::string_view tag) {
  const std::string key = platform::windows::Utf8(caption);
  return LanguageWide(language.Translate(key).view(), tag);
}

void RetextCaption(HWND window, const i18n::LanguageFile& language, std::string_view tag) {
  wchar_t caption[kCaptionChars] = {};
  ::GetWindowTextW(window, caption, kCaptionChars);
  if (caption[0] == L'\0') return;
  const std::wstring translated = Translated(caption, language, tag);
  if (translated != caption) ::SetWindowTextW(window, translated.c_str());
}

// Re-texts a combo box's items; false when it has none.
bool RetextItems(HWND combo, const i18n::LanguageFile& language, std::string_view tag) {
  const LRESULT count = ::SendMessageW(combo, CB_GETCOUNT, 0, 0);
  if (count <= 0) return false;
  const LRESULT selected = ::SendMessageW(combo, CB_GETCURSEL, 0, 0);
  for (WPARAM i = 0; i < static_cast<WPARAM>(count); ++i) {
    const LRESULT length = ::SendMessageW(combo, CB_GETLBTEXTLEN, i, 0);
    if (length < 0) continue;
    std::vector<wchar_t> text(static_cast<std::size_t>(length) + 1, L'\0');
    ::SendMessageW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text.data()));
    const LRESULT data = ::SendMessageW(combo, CB_GETITEMDATA, i, 0);
    const std::wstring translated = Translated(text.data(), language, tag);
    ::SendMessageW(combo, CB_DELETESTRING, i, 0);
    ::SendMessageW(combo, CB_INSERTSTRING, i, reinterpret_cast<LPARAM>(translated.c_str()));
    if (data != -1) ::SendMessageW(combo, CB_SETITEMDATA, i, data);
  }
  ::SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(selected), 0);
  return true;
}

}  // namespace

std::wstring LanguageWide(std::string_view bytes, std::string_view languageTag) {
  return platform::windows::Wide(i18n::LanguageTextUtf8(bytes, languageTag));
}

void RetextWindow(HWND window, const i18n::LanguageFile& language, std::string_view languageTag) {
  RetextCaption(window, language, languageTag);
  for (HWND child = ::GetWindow(window, GW_CHILD); child != nullptr;
       child = ::GetWindow(child, GW_HWNDNEXT)) {
    if (!RetextItems(child, language, languageTag)) RetextCaption(child, language, languageTag);
  }
}

}  // namespace kiln::app::windows
