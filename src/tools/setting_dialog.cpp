#include "tools/setting_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <utility>

#include "models/model_table.h"
#include "platform/clock.h"
#include "tools/dialog_units.h"
#include "tools/ini_text.h"
#include "tools/make_bin_dialog.h"
#include "tools/pick_file_name.h"
#include "tools/table_file.h"
#include "tools/table_file_list.h"
#include "tools/tool_messages.h"

namespace kiln::tools {

namespace {

constexpr int kColumnTextLimit = 255;  // each saved column text
constexpr uint32_t kModel2Serials[] = {9, 22};

// The file-name cell of a row read from Kiln.ini holds the row's place (from 1) among the
// rows read: its stored bytes, number and colour-mode description travel with it.
constexpr int kReadRowRole = Qt::UserRole + 1;

// At most limit bytes; UTF-8 text is cut before the character that would not fit whole.
QByteArray Cut(QByteArray bytes, int limit) {
  if (bytes.size() <= limit) return bytes;
  qsizetype end = limit;
  if (QString::fromUtf8(bytes).toUtf8() == bytes) {
    while (end > 0 && (static_cast<unsigned char>(bytes[end]) & 0xC0) == 0x80) --end;
  }
  bytes.truncate(end);
  return bytes;
}

}  // namespace

SettingDialog::SettingDialog(int entryIndex, const QString& programFolder, const QString& iniPath,
                             QWidget* parent)
    : EntryDialog(entryIndex, programFolder, iniPath, parent) {
  setFont(TemplateFont(12));
  CreateControls();
  LoadEntry();
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

void SettingDialog::LoadEntry() {
  if (entryIndex_ > 1) {
    setWindowTitle(QStringLiteral("Kiln Setting for model %1:").arg(entryIndex_));
  }

  // A Model value that names no model leaves the list without a selection, so that OK
  // keeps the value unless the user picks a model.
  model_->setCurrentIndex(static_cast<int>(settings_.modelSerial) - 1);
  const config::EntrySettings::Main& main = *settings_.main;
  fileRow_.box->setText(ShownText(Bytes(main.file)));
  tableRow_.box->setText(ShownText(Bytes(main.tableName)));
  fwCodeRow_.box->setText(ShownText(Bytes(main.firmwareName)));

  // A stored write type outside the list leaves it without a selection and is kept.
  writeType_->setCurrentIndex(
      main.writeType >= 0 && main.writeType < writeType_->count() ? main.writeType : -1);
  tableSwitch_->setChecked(main.tableSwitch);
  noDowngrade_->setChecked(main.noDowngrade);
  noWaitBurnOk_->setChecked(main.noWaitBurnOk);
  model2_->setChecked(main.supportModel2);

  list_->AddColumns();
  LoadTableFiles();
  ApplyLayout();
  ApplyTableSwitch();
}

void SettingDialog::LoadTableFiles() {
  int place = 0;
  for (const config::TableFileRow& table : settings_.main->tableFiles) {
    const std::string version = ReadTableVersion(config_.PathOf(table.file), settings_.modelSerial);
    list_->AppendRow(ShownText(Bytes(table.file)), ShownText(Bytes(version)),
                     ShownText(Bytes(table.modeName)));
    list_->item(list_->rowCount() - 1, TableFileList::kFileNameColumn)
        ->setData(kReadRowRole, ++place);
  }
}

uint32_t SettingDialog::SelectedSerial() const {
  return static_cast<uint32_t>(model_->currentIndex() + 1);
}

void SettingDialog::ApplyLayout() {
  const uint32_t serial = SelectedSerial();
  const bool codeLayout = models::IsLargeModel(serial);
  fileRow_.label->setText(codeLayout ? QStringLiteral("Code name:") : QStringLiteral("File name:"));
  writeTypeLabel_->setVisible(!codeLayout);
  writeType_->setVisible(!codeLayout);
  tableRow_.SetVisible(codeLayout);
  fwCodeRow_.SetVisible(codeLayout);
  bool model2 = false;
  for (uint32_t candidate : kModel2Serials) model2 = model2 || serial == candidate;
  model2_->setVisible(entryIndex_ == 1 && model2);
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
  if (!AcceptChosenFile(this, path, folder_, false)) return;
  target->setText(QFileInfo(path).fileName());
}

void SettingDialog::OnAddTableFile() {
  if (list_->rowCount() >= TableFileList::kMaxRows) {
    QMessageBox::warning(this, QStringLiteral("Add Table File"),
                         QStringLiteral("The list already holds %1 table files, as many as "
                                        "Kiln.ini can name. Delete one first.")
                             .arg(TableFileList::kMaxRows));
    return;
  }
  QString path;
  const FilePick pick{QStringLiteral("Select FW File"), QStringLiteral("*.bin"),
                      QStringLiteral("test.bin"), QStringLiteral("BIN File(*.bin)"), folder_};
  if (!PickFileName(this, pick, path)) return;
  if (!AcceptChosenFile(this, path, folder_, true)) return;
  const std::string version =
      ReadTableVersion(path.toLocal8Bit().toStdString(), settings_.modelSerial);
  list_->AppendRow(QFileInfo(path).fileName(), ShownText(QByteArray::fromStdString(version)),
                   QStringLiteral("Click me to edit description"));
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
  // A comma in a file name would move the split between name and description.
  for (int row = 0; row < list_->rowCount(); ++row) {
    if (!list_->CellText(row, TableFileList::kFileNameColumn).contains(QLatin1Char(','))) continue;
    list_->selectRow(row);
    QMessageBox::warning(this, QStringLiteral("Wrong File Name"),
                         QStringLiteral("The table file name in row %1 has a comma: Kiln.ini "
                                        "separates a table file's name from its description "
                                        "with one. Correct the name first.")
                             .arg(row + 1));
    return;
  }

  config::EntrySettings settings = settings_;
  settings.advanced.reset();
  settings.modelSerial = SelectedSerial();
  config::EntrySettings::Main& main = *settings.main;
  main.file = StoredBytes(fileRow_.box->text(), main.file);
  main.tableName = StoredBytes(tableRow_.box->text(), main.tableName);
  main.firmwareName = StoredBytes(fwCodeRow_.box->text(), main.firmwareName);
  main.writeType = writeType_->currentIndex();  // none selected: the stored value stays
  main.tableSwitch = tableSwitch_->isChecked();
  main.noDowngrade = noDowngrade_->isChecked();
  main.noWaitBurnOk = noWaitBurnOk_->isChecked();
  main.supportModel2 = model2_->isChecked();

  main.tableFiles.clear();
  for (int row = 0; row < list_->rowCount(); ++row) {
    const QTableWidgetItem* nameCell = list_->item(row, TableFileList::kFileNameColumn);
    const int place = nameCell != nullptr ? nameCell->data(kReadRowRole).toInt() : 0;
    config::TableFileRow table =
        place > 0 ? settings_.main->tableFiles[place - 1] : config::TableFileRow{};
    const auto Column = [&](int column, const std::string& stored) {
      const QTableWidgetItem* cell = list_->item(row, column);
      if (cell == nullptr) return std::string();
      return Cut(StoredBytes(cell->text(), Bytes(stored)), kColumnTextLimit).toStdString();
    };
    table.file = Column(TableFileList::kFileNameColumn, table.file);
    table.modeName = Column(TableFileList::kDescriptionColumn, table.modeName);
    main.tableFiles.push_back(std::move(table));
  }

  if (!Save(settings)) return;
  list_->setRowCount(0);
  platform::SystemClock().Sleep(300);
  QDialog::accept();
}

}  // namespace kiln::tools
