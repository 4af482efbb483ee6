#pragma once

#include <windows.h>

#include "app/colour_mode_form.h"
#include "config/model_entry.h"

// The native dialogs the main window opens: the colour-mode choice behind Change Color
// Mode, and the maintenance dialogs behind the hidden corner clicks (the Setting dialog,
// which opens the model-2 Setting dialog, the table-file list and Make BIN, and the
// Advanced Settings dialog). Each binds its controls to the form that holds its rules.
namespace kiln::app::windows {

// Modal over owner; true when the user closed it with OK and Kiln.ini was written.
bool RunSettingDialog(HWND owner, const config::ConfigFolder& folder);
// entry: the main window's current model entry (1 or 2).
bool RunAdvancedSettingsDialog(HWND owner, const config::ConfigFolder& folder, int entry);
// The colour-mode dialog over owner, for ChangeColourMode.
ColourModeDialogRunner ColourModeDialogOver(HWND owner);

}  // namespace kiln::app::windows
