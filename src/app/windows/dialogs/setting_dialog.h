#pragma once

#include <windows.h>

#include "app/windows/dialogs/file_picker.h"
#include "config/model_entry.h"

namespace kiln::app::windows {

// "Kiln Setting:" for model entry entryIndex (1, or 2 when opened from entry 1's
// "Support M09 and M09+" box), over SettingForm. True when OK wrote Kiln.ini.
bool RunSettingDialog(HWND owner, const config::ConfigFolder& folder, int entryIndex,
                      const FilePicker& pick);

// "Make BIN:", over MakeBinForm; its file choices open first in programFolder.
void RunMakeBinDialog(HWND owner, const std::string& programFolder, const FilePicker& pick);

// "Advance Settings:" for model entry entryIndex, over AdvancedSettingForm. True when OK
// wrote Kiln.ini.
bool RunAdvancedSettingsDialog(HWND owner, const config::ConfigFolder& folder, int entryIndex,
                               const FilePicker& pick);

}  // namespace kiln::app::windows
