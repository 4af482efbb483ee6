#pragma once

#include <QString>
#include <cstdint>

#include "tools/entry_dialog.h"
#include "tools/setting_form.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace kiln::tools {

class TableFileList;

// "Kiln Setting:": shows a SettingForm (one model entry's target model, write type, file
// names, update options and colour-table list) and hands it what the user changes. The
// form reads the entry when the dialog opens and writes it on OK; Cancel writes nothing.
class SettingDialog : public EntryDialog {
 public:
  // entryIndex 1 or 2; programFolder holds Kiln.ini at iniPath.
  SettingDialog(int entryIndex, const QString& programFolder, const QString& iniPath,
                QWidget* parent = nullptr);

  TableFileList* tableList() const { return list_; }
  const std::string& sectionName() const { return form_.sectionName(); }

  // Handlers of the buttons, also reachable without a click.
  void OnAddTableFile();
  void OnMakeBin();
  void OnBrowse(QLineEdit* target);

  void accept() override;

 private:
  void CreateControls();
  void ShowValues();
  void AppendTableRow(const TableRow& row);
  // The list mirrors the form's table rows: edits and deletions go to the form.
  void FollowTableList();
  void TakeValues();
  uint32_t SelectedSerial() const;
  void ApplyLayout();
  void ApplyTableSwitch();
  void OnModel2Clicked();

  QComboBox* model_ = nullptr;           // 1007
  QLabel* writeTypeLabel_ = nullptr;     // 1008
  QComboBox* writeType_ = nullptr;       // 1009
  FileRow fileRow_;                      // 1010, 1011, 1012
  FileRow tableRow_;                     // 1015, 1016, 1013
  FileRow fwCodeRow_;                    // 1017, 1018, 1014
  QCheckBox* noDowngrade_ = nullptr;     // 1049
  QCheckBox* noWaitBurnOk_ = nullptr;    // 1054
  QCheckBox* model2_ = nullptr;          // 1055
  QCheckBox* tableSwitch_ = nullptr;     // 1029
  QPushButton* addTableFile_ = nullptr;  // 1033
  QPushButton* makeBin_ = nullptr;       // 1046
  TableFileList* list_ = nullptr;        // 1035
  SettingForm form_;
};

}  // namespace kiln::tools
