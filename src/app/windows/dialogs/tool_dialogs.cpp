// Until the native dialogs exist, the gestures and Change Color Mode open nothing.

#include "app/windows/dialogs/tool_dialogs.h"

namespace kiln::app::windows {

bool RunSettingDialog(HWND, const config::ConfigFolder&) {
  return false;
}
bool RunAdvancedSettingsDialog(HWND, const config::ConfigFolder&, int) {
  return false;
}
ColourModeDialogRunner ColourModeDialogOver(HWND) {
  return [](const ColourModeForm&) { return 0; };
}

}  // namespace kiln::app::windows
