#include "tools/setting_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <string>
#include <vector>

#include "models/model_table.h"
#include "tools/dialog_units.h"
#include "tools/make_bin_dialog.h"
#include "tools/pick_file_name.h"
#include "tools/table_file_list.h"
#include "tools/tool_messages.h"

namespace kiln::tools {

SettingDialog::SettingDialog(int entryIndex, const QString& programFolder, const QString& iniPath,
                             QWidget* parent)
    : EntryDialog(entryIndex, programFolder, iniPath, parent), form_(config_, entryIndex) {
  setFont(TemplateFont(12));
  CreateControls();
  ShowValues();
  FollowTableList();
}

void SettingDialog::CreateControls() {
  const DialogUnits du(font());
  setFixedSize(du.X(237), du.Y(258));
  setWindowTitle(QStringLiteral("Kiln Setting:"));

  PlaceControl<QLabel>(this, du, 0, {7, 9, 64, 8}, QStringLiteral("Target Model:"));
  model_ = PlaceControl<QComboBox>(this, du, 1007, {72, 7, 100, 13});
  for (uint32_t serial = 1; serial <= models::kModelCount; ++serial) {
    model_->addItem(QString::fromLatin1(models::ModelBySerial(serial)->shortName));
  }
  writeTypeLabel_ =
      PlaceControl<QLabel>(this, du, 1008, {7, 25, 64, 8}, QStringLiteral("Write type:"));
  writeType_ = PlaceControl<QComboBox>(this, du, 1009, {72, 23, 100, 13});
  writeType_->addItems(
      {QStringLiteral("Whole"), QStringLiteral("Except Backup"), QStringLiteral("CPU")});

  constexpr FileRowColumns kColumns{7, 64, 72, 136, 211, 19};
  fileRow_ = PlaceFileRow(du, kColumns, 39, 1010, QStringLiteral("File name:"), 1011, 1012);
  tableRow_ = PlaceFileRow(du, kColumns, 54, 1015, QStringLiteral("Table name:"), 1016, 1013);
  fwCodeRow_ = PlaceFileRow(du, kColumns, 69, 1017, QStringLiteral("FW code name:"), 1018, 1014);

  noDowngrade_ = PlaceControl<QCheckBox>(
      this, du, 1049, {7, 88, 223, 10},
      QStringLiteral("Disable old FW bin to overwrite newer FW on device."));
  noWaitBurnOk_ =
      PlaceControl<QCheckBox>(this, du, 1054, {7, 101, 223, 10},
                              QStringLiteral("Do NOT wait busy after transferring FW code done."));
  model2_ = PlaceControl<QCheckBox>(this, du, 1055, {7, 114, 223, 10},
                                    QStringLiteral("Support M09 and M09+ in the same folder"));
  tableSwitch_ = PlaceControl<QCheckBox>(this, du, 1029, {7, 128, 150, 10},
                                         QStringLiteral("Enable table switching"));
  addTableFile_ =
      PlaceControl<QPushButton>(this, du, 1033, {7, 141, 68, 14}, QStringLiteral("Add Table File"));
  makeBin_ =
      PlaceControl<QPushButton>(this, du, 1046, {79, 141, 58, 14}, QStringLiteral("Make BIN"));
  list_ = PlaceControl<TableFileList>(this, du, 1035, {7, 159, 223, 73});

  auto* ok = PlaceControl<QPushButton>(this, du, 1, {118, 238, 54, 14}, QStringLiteral("OK"));
  auto* cancel =
      PlaceControl<QPushButton>(this, du, 2, {176, 238, 54, 14}, QStringLiteral("Cancel"));
  ok->setDefault(true);

  connect(model_, &QComboBox::currentIndexChanged, this, [this] { ApplyLayout(); });
  for (const FileRow* row : {&fileRow_, &tableRow_, &fwCodeRow_}) {
    connect(row->browse, &QPushButton::clicked, this, [this, row] { OnBrowse(row->box); });
  }
  connect(tableSwitch_, &QCheckBox::clicked, this, [this] { ApplyTableSwitch(); });
  connect(model2_, &QCheckBox::clicked, this, [this] { OnModel2Clicked(); });
  connect(addTableFile_, &QPushButton::clicked, this, [this] { OnAddTableFile(); });
  connect(makeBin_, &QPushButton::clicked, this, [this] { OnMakeBin(); });
  connect(list_->model(), &QAbstractItemModel::rowsInserted, this, [this] { ApplyTableSwitch(); });
  connect(list_->model(), &QAbstractItemModel::rowsRemoved, this, [this] { ApplyTableSwitch(); });
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void SettingDialog::ShowValues() {
  setWindowTitle(Shown(form_.Title()));
  const SettingValues& values = form_.values;
  model_->setCurrentIndex(static_cast<int>(values.modelSerial) - 1);
  fileRow_.box->setText(Shown(values.file));
  tableRow_.box->setText(Shown(values.tableName));
  fwCodeRow_.box->setText(Shown(values.firmwareName));
  writeType_->setCurrentIndex(values.writeType);
  tableSwitch_->setChecked(values.tableSwitch);
  noDowngrade_->setChecked(values.noDowngrade);
  noWaitBurnOk_->setChecked(values.noWaitBurnOk);
  model2_->setChecked(values.supportModel2);

  list_->AddColumns();
  for (const TableRow& row : values.tables) AppendTableRow(row);
  ApplyLayout();
  ApplyTableSwitch();
}

void SettingDialog::AppendTableRow(const TableRow& row) {
  list_->AppendRow(Shown(row.fileName), Shown(row.version), Shown(row.description));
}

void SettingDialog::FollowTableList() {
  connect(list_, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* cell) {
    std::vector<TableRow>& tables = form_.values.tables;
    const auto row = static_cast<std::size_t>(cell->row());
    if (row >= tables.size()) return;
    if (cell->column() == TableFileList::kFileNameColumn) {
      tables[row].fileName = Typed(cell->text());
    } else if (cell->column() == TableFileList::kDescriptionColumn) {
      tables[row].description = Typed(cell->text());
    }
  });
  connect(list_->model(), &QAbstractItemModel::rowsRemoved, this,
          [this](const QModelIndex& /*parent*/, int first, int last) {
            std::vector<TableRow>& tables = form_.values.tables;
            if (first < 0 || last < first || static_cast<std::size_t>(last) >= tables.size()) {
              return;
            }
            tables.erase(tables.begin() + first, tables.begin() + last + 1);
          });
}

void SettingDialog::TakeValues() {
  SettingValues& values = form_.values;
  values.modelSerial = SelectedSerial();
  values.file = Typed(fileRow_.box->text());
  values.tableName = Typed(tableRow_.box->text());
  values.firmwareName = Typed(fwCodeRow_.box->text());
  values.writeType = writeType_->currentIndex();
  values.tableSwitch = tableSwitch_->isChecked();
  values.noDowngrade = noDowngrade_->isChecked();
  values.noWaitBurnOk = noWaitBurnOk_->isChecked();
  values.supportModel2 = model2_->isChecked();
}

uint32_t SettingDialog::SelectedSerial() const {
  return static_cast<uint32_t>(model_->currentIndex() + 1);
}

void SettingDialog::ApplyLayout() {
  const uint32_t serial = SelectedSerial();
  const bool codeLayout = SettingForm::CodeLayout(serial);
  fileRow_.label->setText(codeLayout ? QStringLiteral("Code name:") : QStringLiteral("File name:"));
  writeTypeLabel_->setVisible(!codeLayout);
  writeType_->setVisible(!codeLayout);
  tableRow_.SetVisible(codeLayout);
  fwCodeRow_.SetVisible(codeLayout);
  model2_->setVisible(form_.OffersModel2(serial));
}

void SettingDialog::ApplyTableSwitch() {
  const bool on = tableSwitch_->isChecked();
  addTableFile_->setEnabled(on && list_->rowCount() < TableFileList::kMaxRows);
  makeBin_->setEnabled(on);
  list_->setEnabled(on);
}

void SettingDialog::OnBrowse(QLineEdit* target) {
  QString path;
  const FilePick pick{QStringLiteral("Select FW File:"), QStringLiteral("*.bin"), QString(),
                      QStringLiteral("BIN(*.bin)"), folder_};
  if (!PickFileName(this, pick, path)) return;
  if (!AcceptChosenFile(this, path, config_.folder, false)) return;
  target->setText(QFileInfo(path).fileName());
}

void SettingDialog::OnAddTableFile() {
  if (form_.TableListFull()) {
    ShowNotice(this, form_.ListFullNotice());
    return;
  }
  QString path;
  const FilePick pick{QStringLiteral("Select FW File"), QStringLiteral("*.bin"),
                      QStringLiteral("test.bin"), QStringLiteral("BIN File(*.bin)"), folder_};
  if (!PickFileName(this, pick, path)) return;
  const std::string chosen = LocalPath(path);
  switch (form_.AddTable(chosen)) {
    case AddTableResult::kAdded:
      AppendTableRow(form_.values.tables.back());
      return;
    case AddTableResult::kListFull:
      ShowNotice(this, form_.ListFullNotice());
      return;
    case AddTableResult::kOutsideFolder:
      ShowNotice(this, ChosenFileNotice(ChosenFile::kOutsideFolder, chosen, config_.folder));
      return;
    case AddTableResult::kCommaInName:
      ShowNotice(this, ChosenFileNotice(ChosenFile::kCommaInName, chosen, config_.folder));
      return;
  }
}

void SettingDialog::OnMakeBin() {
  MakeBinDialog dialog(folder_, this);
  dialog.exec();
}

void SettingDialog::OnModel2Clicked() {
  if (!model2_->isChecked()) return;
  SettingDialog second(entryIndex_ + 1, folder_, iniPath_, this);
  second.exec();
}

void SettingDialog::accept() {
  list_->CommitOpenEditor();
  TakeValues();
  if (const int row = form_.RowWithComma(); row >= 0) {
    list_->selectRow(row);
    ShowNotice(this, SettingForm::CommaNotice(row));
    return;
  }
  if (!ReportSave(this, form_.Save(), config_.iniPath)) return;
  list_->setRowCount(0);
  QDialog::accept();
}

}  // namespace kiln::tools
