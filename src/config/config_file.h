#pragma once

#include "config/model_entry.h"
#include "config/update_context.h"

namespace kiln::config {

inline constexpr const char* kIniFileName = "Kiln.ini";
inline constexpr char kPathSeparator = '/';

// Sets baseDir and iniPath for the program folder.
void SetProgramFolder(UpdateContext& context, const char* folder);

// The context's program folder and Kiln.ini as they are.
ConfigFolder ConfigFolderOf(const UpdateContext& context);

// Reads model entry index (1 or 2) of Kiln.ini into the context, as ReadModelEntry does
// starting from the context's values, and returns whether the firmware package file it
// names exists.
bool ReadConfigSection(UpdateContext& context, int index);

}  // namespace kiln::config
