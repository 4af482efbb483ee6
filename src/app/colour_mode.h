#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/version_text.h"
#include "config/model_entry.h"
#include "i18n/language_file.h"
#include "platform/fixed_text.h"

// The colour tables a model entry of Kiln.ini offers (each a file name and a mode name,
// with a description) and the choice of one for the next update. Texts stay bytes here;
// the dialog decodes them.
namespace kiln::app {

inline constexpr int kMaxColourTables = config::kMaxTableFiles;

struct ColourTable {
  FixedText<512> fileName;      // the part before the first comma
  i18n::LanguageText modeName;  // the English mode name after it (empty without a comma)
  VersionText version;          // read from the file, empty when it cannot be read
};

// The table's version: the 7 bytes that lie 8 bytes before the end of the file (as far
// as the target model's table-version place says: 9 for model 22), as text. Empty when the
// file cannot be read or is shorter than 9 bytes (the version would start before the file
// does).
VersionText ReadColourTableVersion(const char* path, uint32_t targetModel);

// The tables of model entry `entry`, numbered from 1 up to the first number without a
// table (at most 100); each version read from the file beside Kiln.ini.
std::vector<ColourTable> ReadColourTables(const config::ConfigFolder& folder, int entry,
                                          uint32_t targetModel);

// A table's line in the list: the mode name's language text, then "  (", the version, ")".
i18n::LanguageText ColourTableRowText(const ColourTable& table, const i18n::LanguageFile& language);

// The language text of the description of table `number` (counting from 1); empty when
// the table has none or the entry no such table.
i18n::LanguageText ColourModeDescription(const config::ConfigFolder& folder, int entry, int number,
                                         const i18n::LanguageFile& language);

// Records table `number` (counting from 1) of model entry `entry` in chosen as the folder
// of Kiln.ini, a separator and the table's file name (none when the entry has no such
// table). False, leaving chosen as it was, when number is 0.
bool ChooseColourTable(const config::ConfigFolder& folder, int entry, int number,
                       std::string& chosen);

}  // namespace kiln::app
