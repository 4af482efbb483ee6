#pragma once

#include <cstdint>

#include "config/update_context.h"

namespace kiln::config {

inline constexpr const char* kIniFileName = "Kiln.ini";
inline constexpr char kPathSeparator = '/';
// The longest programming delay (Delay1, Delay2) in seconds: the most the Advanced
// Settings dialog accepts. A larger value in Kiln.ini is read as this.
inline constexpr uint32_t kLongestDelaySeconds = 1000;
// Write types: 0 whole, 1 except backup, 2 CPU code. Any other value reads as 0.
inline constexpr uint32_t kLastWriteType = 2;

// Sets baseDir and iniPath for the program folder.
void SetProgramFolder(UpdateContext& context, const char* folder);

// Reads model entry index (1 or 2) of Kiln.ini into the context and returns whether
// the firmware package file it names exists. Entry 1 falls back to the section
// "FW_INFO" when "FW_INFO1" has no key lines. When the package is missing the reading
// stops early: the options after it keep the values of the previous read. Numbers that
// reach the printer or a pause are range-checked: a write type outside 0-2 is 0; a delay
// that is negative or no number is its default (20, 25), one above
// kLongestDelaySeconds is that longest. Each such adjustment is noted in the debug trace.
bool ReadConfigSection(UpdateContext& context, int index);

// The name of the section of model entry index ("FW_INFO1", "FW_INFO2").
FixedText<64> EntrySectionName(int index);

}  // namespace kiln::config
