#include "tools/maintenance_dialogs.h"

#include <QString>

#include "tools/advanced_setting_dialog.h"
#include "tools/setting_dialog.h"

namespace kiln::tools {

bool ExecSettingDialog(QWidget* parent, const config::ConfigFolder& folder) {
  SettingDialog dialog(1, QString::fromLocal8Bit(folder.folder.c_str()),
                       QString::fromLocal8Bit(folder.iniPath.c_str()), parent);
  return dialog.exec() == QDialog::Accepted;
}

bool ExecAdvancedSettingsDialog(QWidget* parent, const config::ConfigFolder& folder,
                                int entryIndex) {
  AdvancedSettingDialog dialog(entryIndex, QString::fromLocal8Bit(folder.folder.c_str()),
                               QString::fromLocal8Bit(folder.iniPath.c_str()), parent);
  return dialog.exec() == QDialog::Accepted;
}

}  // namespace kiln::tools
