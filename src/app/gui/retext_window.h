#pragma once

#include <string_view>

#include "i18n/language_file.h"

class QWidget;

namespace kiln::app {

// Replaces the English texts of a window by those of the language section: the window's
// own caption, the captions of its direct children (labels, buttons, check boxes, group
// boxes), the items of its combo boxes (keeping each item's data, except data -1, and the
// selection), and the texts of its menus and their submenus. List widgets keep their
// items. The English text is the key; a missing key leaves the English text.
//
// Each widget remembers the English text it was re-texted from, so re-texting again, or
// in another language, looks up the English key and not an earlier translation. A text
// the program sets after re-texting becomes the widget's new key.
void RetextWindow(QWidget* window, const i18n::LanguageFile& language,
                  std::string_view languageTag);

}  // namespace kiln::app
