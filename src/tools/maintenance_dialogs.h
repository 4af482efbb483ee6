#pragma once

#include "config/model_entry.h"

class QWidget;

// The maintenance dialogs that the main window opens from its hidden corner clicks.
namespace kiln::tools {

// Modal; true when the user closed it with OK and Kiln.ini was written.
bool ExecSettingDialog(QWidget* parent, const config::ConfigFolder& folder);
// entryIndex: the main window's current model entry (1 or 2).
bool ExecAdvancedSettingsDialog(QWidget* parent, const config::ConfigFolder& folder,
                                int entryIndex = 1);

}  // namespace kiln::tools
