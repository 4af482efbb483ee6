#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "i18n/language_file.h"

// Texts of the language sections on the native windows: decoded with the language's code
// page (UTF-8 where the bytes are valid UTF-8), and the re-texting of a dialog.
namespace kiln::app::windows {

// A language text (bytes of Kiln.ini or of the printer) as a control's text.
std::wstring WindowText(std::string_view bytes, std::string_view languageTag);
void SetControlText(HWND control, std::string_view bytes, std::string_view languageTag);

// Replaces the English captions of window, of its direct children and of the items of its
// combo boxes (keeping each item's data, except -1, and the selection) by their texts in
// the language section; the caption is the key, and a missing key keeps the English text.
// List boxes keep their items.
void RetextWindow(HWND window, const i18n::LanguageFile& language, std::string_view languageTag);

}  // namespace kiln::app::windows
