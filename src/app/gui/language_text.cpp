#include "app/gui/language_text.h"

#include <string>

#include "i18n/code_page.h"

namespace kiln::app {

QString DecodeLanguageText(std::string_view bytes, std::string_view languageTag) {
  const std::string utf8 = i18n::LanguageTextUtf8(bytes, languageTag);
  return QString::fromUtf8(utf8.data(), qsizetype(utf8.size()));
}

}  // namespace kiln::app
