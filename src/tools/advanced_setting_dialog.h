#pragma once

#include <QString>

#include "tools/advanced_setting_form.h"
#include "tools/entry_dialog.h"

class QCheckBox;
class QLabel;
class QLineEdit;

namespace kiln::tools {

class DelaySpin;

// "Advance Settings:": shows an AdvancedSettingForm (the CPU-firmware-first option with
// its files, five option flags and the two programming delays of one model entry) and
// hands it what the user changes; the form writes on OK, Cancel writes nothing.
class AdvancedSettingDialog : public EntryDialog {
 public:
  AdvancedSettingDialog(int entryIndex, const QString& programFolder, const QString& iniPath,
                        QWidget* parent = nullptr);

  const std::string& sectionName() const { return form_.sectionName(); }
  void OnBrowse(QLineEdit* target, const QString& title);
  void accept() override;

 private:
  void CreateControls();
  void ShowValues();
  void TakeValues();
  // Checks both delay boxes; a bad one gets a message and the focus.
  bool TakeDelays();
  void ApplyCpuFirst();

  QCheckBox* cpuFirst_ = nullptr;           // 1021
  FileRow fileRow_;                         // 1010, 1020, 1022
  FileRow tableRow_;                        // 1015, 1030, 1032
  FileRow codeRow_;                         // 1017, 1034, 1036
  QCheckBox* options_[5] = {};              // 1023, 1024, 1050, 1051, 1052
  QLineEdit* cpuDelay_ = nullptr;           // 1025
  QLineEdit* firmwareDelay_ = nullptr;      // 1027
  DelaySpin* cpuDelaySpin_ = nullptr;       // 1026
  DelaySpin* firmwareDelaySpin_ = nullptr;  // 1028
  AdvancedSettingForm form_;
};

}  // namespace kiln::tools
