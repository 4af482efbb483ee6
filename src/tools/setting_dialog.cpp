#include "tools/setting_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <algorithm>

#include "models/model_table.h"
#include "platform/clock.h"
#include "platform/profile.h"
#include "tools/dialog_units.h"
#include "tools/entry_edits.h"
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

// What the file-name cell of a row loaded from Kiln.ini keeps besides its bytes: the
// row's number there and its colour-mode description, which travel with the row.
constexpr int kLoadedNumberRole = Qt::UserRole + 1;
constexpr int kColourModeDescRole = Qt::UserRole + 2;

QByteArray TableFileKey(int number) {
  return QByteArray("TableFile") + QByteArray::number(number);
}

QByteArray ColourModeDescKey(int number) {
  return QByteArray("ColorModeDesc") + QByteArray::number(number);
}

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
  openingSerial_ = ReadModelSerial();
  model_->setCurrentIndex(static_cast<int>(openingSerial_) - 1);
  if (models::IsLargeModel(openingSerial_)) {
    storedFile_ = Read("CodeName", "");
    storedTable_ = Read("TableName", "");
    storedFwCode_ = Read("FwName", "");
  } else {
    storedFile_ = Read("File", "");
  }
  fileRow_.box->setText(ShownText(storedFile_));
  tableRow_.box->setText(ShownText(storedTable_));
  fwCodeRow_.box->setText(ShownText(storedFwCode_));

  // A stored write type outside 0 to 2 leaves the list without a selection and is kept.
  const int writeType = static_cast<int>(ReadNumber("WriteType"));
  writeType_->setCurrentIndex(writeType >= 0 && writeType <= 2 ? writeType : -1);
  // A flag is on only when it is exactly 1, as the update reads it.
  tableSwitch_->setChecked(ReadNumber("EnableTableSwitch") == 1);
  noDowngrade_->setChecked(ReadNumber("DisableOverwriteNewer") == 1);
  noWaitBurnOk_->setChecked(ReadNumber("NotWaitBurnOK") == 1);
  model2_->setChecked(ReadNumber("SupportModel2") == 1);

  list_->AddColumns();
  LoadTableFiles();
  loadedRowCount_ = list_->rowCount();
  ApplyLayout();
  ApplyTableSwitch();
}

void SettingDialog::LoadTableFiles() {
  for (int n = 1; n <= TableFileList::kMaxRows; ++n) {
    const QByteArray value = Read(TableFileKey(n).constData(), "");
    if (value.isEmpty()) break;
    const qsizetype comma = value.indexOf(',');
    const QByteArray name = comma < 0 ? value : value.left(comma);
    const QByteArray description = comma < 0 ? QByteArray() : value.mid(comma + 1);
    const std::string path =
        (folder_ + QLatin1Char('/')).toLocal8Bit().toStdString() + name.toStdString();
    list_->AppendRow(ShownText(name),
                     ShownText(QByteArray::fromStdString(ReadTableVersion(path, openingSerial_))),
                     ShownText(description));
    const int row = list_->rowCount() - 1;
    QTableWidgetItem* nameCell = list_->item(row, TableFileList::kFileNameColumn);
    nameCell->setData(Qt::UserRole, name);
    nameCell->setData(kLoadedNumberRole, n);
    nameCell->setData(kColourModeDescRole, Read(ColourModeDescKey(n).constData(), ""));
    list_->item(row, TableFileList::kDescriptionColumn)->setData(Qt::UserRole, description);
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
  const std::string version = ReadTableVersion(path.toLocal8Bit().toStdString(), openingSerial_);
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

void SettingDialog::RenumberColourModeDescriptions(EntryEdits& edits) const {
  // Every number a loaded row had or a row has now; a number no row has any more loses
  // its key.
  for (int number = 1; number <= std::max(loadedRowCount_, list_->rowCount()); ++number) {
    const QTableWidgetItem* cell = number <= list_->rowCount()
                                       ? list_->item(number - 1, TableFileList::kFileNameColumn)
                                       : nullptr;
    const int loadedAs = cell != nullptr ? cell->data(kLoadedNumberRole).toInt() : 0;
    if (loadedAs == number) continue;  // the row kept its number: its key stays as it is
    const QByteArray description =
        cell != nullptr ? cell->data(kColourModeDescRole).toByteArray() : QByteArray();
    const std::string key = ColourModeDescKey(number).toStdString();
    if (description.isEmpty()) {
      edits.Remove(key);
    } else {
      edits.Set(key, description.toStdString());
    }
  }
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

  EntryEdits edits(section_);
  const uint32_t serial = SelectedSerial();
  if (const models::PrinterModel* model = models::ModelBySerial(serial)) {
    edits.Set("Model", model->shortName);
  }
  if (models::IsLargeModel(serial)) {
    edits.Set("CodeName", StoredBytes(fileRow_.box->text(), storedFile_).toStdString());
    edits.Set("TableName", StoredBytes(tableRow_.box->text(), storedTable_).toStdString());
    edits.Set("FwName", StoredBytes(fwCodeRow_.box->text(), storedFwCode_).toStdString());
  } else {
    edits.Set("File", StoredBytes(fileRow_.box->text(), storedFile_).toStdString());
  }
  if (writeType_->currentIndex() >= 0) {
    edits.Set("WriteType", std::to_string(writeType_->currentIndex()));
  }
  const auto Flag = [](const QCheckBox* box) { return box->isChecked() ? "1" : "0"; };
  edits.Set("EnableTableSwitch", Flag(tableSwitch_));
  edits.Set("DisableOverwriteNewer", Flag(noDowngrade_));
  edits.Set("NotWaitBurnOK", Flag(noWaitBurnOk_));
  if (entryIndex_ == 1) edits.Set("SupportModel2", Flag(model2_));

  // The list is written whole: every number it can hold goes, then one key per row.
  for (int n = 1; n <= TableFileList::kMaxRows; ++n) edits.Remove(TableFileKey(n).toStdString());
  for (int row = 0; row < list_->rowCount(); ++row) {
    const auto Column = [&](int column) {
      const QTableWidgetItem* cell = list_->item(row, column);
      if (cell == nullptr) return QByteArray();
      return Cut(StoredBytes(cell->text(), cell->data(Qt::UserRole).toByteArray()),
                 kColumnTextLimit);
    };
    edits.Set(TableFileKey(row + 1).toStdString(), (Column(TableFileList::kFileNameColumn) + ',' +
                                                    Column(TableFileList::kDescriptionColumn))
                                                       .toStdString());
  }

  RenumberColourModeDescriptions(edits);

  if (!Save(edits)) return;
  list_->setRowCount(0);
  platform::SystemClock().Sleep(300);
  QDialog::accept();
}

}  // namespace kiln::tools
