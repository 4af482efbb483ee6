#pragma once

#include <QString>
#include <string_view>

namespace kiln::app {

// The code page in which texts of a language section are written: "CP950" (Big5) for
// cht, "CP936" (GBK) for chs, "CP932" (Shift_JIS) for jpn, "CP949" for krn, "CP1251" for
// rus, "CP1250" for pol and "CP1252" for every other tag.
const char* LanguageCodePage(std::string_view languageTag);

// A text read from a language section of Kiln.ini or from the printer driver's
// language-monitor file, as a widget shows it. The files hold bytes: bytes that are
// valid UTF-8 are taken as UTF-8, anything else as the language's code page. A byte
// sequence the code page cannot read becomes U+FFFD and the rest is still decoded.
QString DecodeLanguageText(std::string_view bytes, std::string_view languageTag);

}  // namespace kiln::app
