#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "i18n/language_file.h"

namespace kiln::app::windows {

// A language text (bytes of Kiln.ini) as a control's text: UTF-8 as it is, else the
// language's code page; bytes the code page cannot read show as U+FFFD.
std::wstring LanguageWide(std::string_view bytes, std::string_view languageTag);

// Replaces the captions of window and of its direct children by their language texts,
// each current caption being its own key; a combo box with items has its items
// re-texted instead, keeping their item data and the selection.
void RetextWindow(HWND window, const i18n::LanguageFile& language, std::string_view languageTag);

}  // namespace kiln::app::windows
