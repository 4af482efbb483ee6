#pragma once

#include "config/update_context.h"

namespace kiln::config {

inline constexpr const char* kIniFileName = "Kiln.ini";
inline constexpr char kPathSeparator = '/';

// Sets baseDir and iniPath for the program folder.
void SetProgramFolder(UpdateContext& context, const char* folder);

// Reads model entry index (1 or 2) of Kiln.ini into the context and returns whether
// the firmware package file it names exists. Entry 1 falls back to the section
// "FW_INFO" when "FW_INFO1" has no key lines. When the package is missing the reading
// stops early: the options after it keep the values of the previous read.
bool ReadConfigSection(UpdateContext& context, int index);

// The name of the section of model entry index ("FW_INFO1", "FW_INFO2").
FixedText<64> EntrySectionName(int index);

}  // namespace kiln::config
