// The main window's entry points: the dialogs with the system's file dialog.

#include "app/windows/dialogs/tool_dialogs.h"

#include "app/windows/dialogs/setting_dialog.h"

namespace kiln::app::windows {

bool RunSettingDialog(HWND owner, const config::ConfigFolder& folder) {
  return RunSettingDialog(owner, folder, 1, &SystemFilePicker);
}

bool RunAdvancedSettingsDialog(HWND owner, const config::ConfigFolder& folder, int entry) {
  return RunAdvancedSettingsDialog(owner, folder, entry, &SystemFilePicker);
}

}  // namespace kiln::app::windows
