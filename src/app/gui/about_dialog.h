#pragma once

#include <string_view>

#include "i18n/language_file.h"

class QWidget;

namespace kiln::app {

// The program's name and build beside its icon, with an OK button; shown modally over
// parent and re-texted from the language section.
void ExecAboutDialog(QWidget* parent, const i18n::LanguageFile& language,
                     std::string_view languageTag);

}  // namespace kiln::app
