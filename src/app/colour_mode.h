#pragma once

#include <cstdint>
#include <vector>

#include "config/update_context.h"
#include "i18n/language_file.h"

// The colour tables a model entry of Kiln.ini offers ("TableFile1", "TableFile2", ...,
// each "file name,mode name", with "ColorModeDesc1", ... describing them) and the choice
// of one for the next update. Texts stay bytes here; the dialog decodes them.
namespace kiln::app {

inline constexpr int kMaxColourTables = 100;

struct ColourTable {
  PathText fileName;            // the part before the first comma
  i18n::LanguageText modeName;  // the English mode name after it (empty without a comma)
  VersionText version;          // read from the file, empty when it cannot be read
};

// The table's version: the 7 bytes that lie 8 bytes before the end of the file (9 for
// target model 22), as text. Empty when the file cannot be read or is shorter than 9
// bytes (the version would start before the file does).
VersionText ReadColourTableVersion(const char* path, uint32_t targetModel);

// The tables of model entry `entry`, from "TableFile1" up to the first key that yields
// nothing (at most 100); each version read from the file beside Kiln.ini.
std::vector<ColourTable> ReadColourTables(const UpdateContext& context, int entry,
                                          uint32_t targetModel);

// A table's line in the list: the mode name's language text, then "  (", the version, ")".
i18n::LanguageText ColourTableRowText(const ColourTable& table, i18n::LanguageFile& language);

// The language text of "ColorModeDesc<number>" (number counts from 1); empty when the
// entry has no such key.
i18n::LanguageText ColourModeDescription(const UpdateContext& context, int entry, int number,
                                         i18n::LanguageFile& language);

// Records table `number` (counting from 1) of model entry `entry` in colourTablePath as
// the folder of Kiln.ini, a separator and the table's file name. False, leaving the path
// as it was, when number is 0.
bool ChooseColourTable(UpdateContext& context, int entry, int number);

}  // namespace kiln::app
