#pragma once

#include <QString>
#include <string_view>

namespace kiln::app {

// A text read from a language section of Kiln.ini or from the printer driver's
// language-monitor file, as a widget shows it: UTF-8 when the bytes are valid UTF-8,
// else the language's code page (i18n/code_page.h).
QString DecodeLanguageText(std::string_view bytes, std::string_view languageTag);

}  // namespace kiln::app
