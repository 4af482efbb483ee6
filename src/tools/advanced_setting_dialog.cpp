#include "tools/advanced_setting_dialog.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

#include "models/model_table.h"
#include "tools/delay_field.h"
#include "tools/dialog_units.h"
#include "tools/ini_text.h"
#include "tools/pick_file_name.h"
#include "tools/tool_messages.h"

namespace kiln::tools {

namespace {

using Advanced = config::EntrySettings::Advanced;

struct OptionRow {
  int id;
  bool Advanced::*option;
  const char* text;
};

constexpr OptionRow kOptions[5] = {
    {1023, &Advanced::showCountdown, "Show count down when wait burning flash"},
    {1024, &Advanced::noCheckPid, "Don't check PID value in BIN (for change PID)"},
    {1050, &Advanced::noCheckDriver, "Don't check target printer driver existence"},
    {1051, &Advanced::noWaitBusyBeforeWrite, "Not wait busy before downloading FW"},
    {1052, &Advanced::noBusyCheckAtStartup, "Skip error when opening dialog"},
};

}  // namespace

AdvancedSettingDialog::AdvancedSettingDialog(int entryIndex, const QString& programFolder,
                                             const QString& iniPath, QWidget* parent)
    : EntryDialog(entryIndex, programFolder, iniPath, parent) {
  setFont(TemplateFont(10));
  CreateControls();
  LoadEntry();
}

void AdvancedSettingDialog::CreateControls() {
  const DialogUnits du(font());
  setFixedSize(du.X(211), du.Y(253));
  setWindowTitle(QStringLiteral("Advance Settings:"));

  cpuFirst_ =
      PlaceControl<QCheckBox>(this, du, 1021, {7, 7, 197, 10},
                              QStringLiteral("Enable update CPU FW before update formal FW"));
  constexpr FileRowColumns kColumns{15, 54, 70, 113, 186, 18};
  fileRow_ = PlaceFileRow(du, kColumns, 22, 1010, QStringLiteral("File name:"), 1020, 1022);
  tableRow_ = PlaceFileRow(du, kColumns, 37, 1015, QStringLiteral("Table name:"), 1030, 1032);
  codeRow_ = PlaceFileRow(du, kColumns, 52, 1017, QStringLiteral("FW code name:"), 1034, 1036);

  for (int i = 0; i < 5; ++i) {
    options_[i] = PlaceControl<QCheckBox>(this, du, kOptions[i].id, {7, 72 + 14 * i, 197, 10},
                                          QString::fromLatin1(kOptions[i].text));
  }

  PlaceControl<QGroupBox>(this, du, 0, {7, 144, 197, 76}, QStringLiteral("Delay:"));
  const auto DelayRow = [&](int y, const char* label, int editId, DelaySpin*& spin) {
    PlaceControl<QLabel>(this, du, 0, {15, y + 2, 102, 8}, QString::fromLatin1(label));
    auto* edit = PlaceControl<QLineEdit>(this, du, editId, {118, y, 30, 12});
    // NOLINTNEXTLINE(cppcoreguidelines-owning-memory)
    spin = new DelaySpin(edit, this);
    spin->setGeometry(du.Rect(148, y, 10, 12));
    spin->setObjectName(QStringLiteral("id%1").arg(editId + 1));
    PlaceControl<QLabel>(this, du, 0, {162, y + 2, 38, 8}, QStringLiteral("seconds"));
    return edit;
  };
  cpuDelay_ = DelayRow(160, "After update CPU code:", 1025, cpuDelaySpin_);
  firmwareDelay_ = DelayRow(186, "After update normal code:", 1027, firmwareDelaySpin_);

  auto* ok = PlaceControl<QPushButton>(this, du, 1, {92, 230, 54, 14}, QStringLiteral("OK"));
  auto* cancel =
      PlaceControl<QPushButton>(this, du, 2, {150, 230, 54, 14}, QStringLiteral("Cancel"));
  ok->setDefault(true);

  connect(cpuFirst_, &QCheckBox::clicked, this, [this] {
    int cpuDelay = 0;
    int firmwareDelay = 0;
    TakeDelays(cpuDelay, firmwareDelay);  // its message only; the boxes follow 1021 anyway
    ApplyCpuFirst();
  });
  connect(fileRow_.browse, &QPushButton::clicked, this,
          [this] { OnBrowse(fileRow_.box, QStringLiteral("Select CPU FW File")); });
  connect(tableRow_.browse, &QPushButton::clicked, this,
          [this] { OnBrowse(tableRow_.box, QStringLiteral("Select Table File")); });
  connect(codeRow_.browse, &QPushButton::clicked, this,
          [this] { OnBrowse(codeRow_.box, QStringLiteral("Select FW code File")); });
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void AdvancedSettingDialog::LoadEntry() {
  const bool codeLayout = models::IsLargeModel(settings_.modelSerial);
  fileRow_.label->setText(codeLayout ? QStringLiteral("Code name:") : QStringLiteral("File name:"));
  tableRow_.SetVisible(codeLayout);
  codeRow_.SetVisible(codeLayout);

  const Advanced& advanced = *settings_.advanced;
  cpuFirst_->setChecked(advanced.cpuFirst);
  for (int i = 0; i < 5; ++i) options_[i]->setChecked(advanced.*kOptions[i].option);
  fileRow_.box->setText(ShownText(Bytes(advanced.cpuFile)));
  tableRow_.box->setText(ShownText(Bytes(advanced.cpuTable)));
  codeRow_.box->setText(ShownText(Bytes(advanced.cpuCode)));
  // The delays the update would use: an absent key is the update's default, not 0.
  cpuDelaySpin_->SetPosition(advanced.cpuDelay);
  firmwareDelaySpin_->SetPosition(advanced.firmwareDelay);
  ApplyCpuFirst();
}

void AdvancedSettingDialog::ApplyCpuFirst() {
  for (const FileRow* row : {&fileRow_, &tableRow_, &codeRow_}) {
    row->SetEnabled(cpuFirst_->isChecked());
  }
}

bool AdvancedSettingDialog::TakeDelays(int& cpuDelay, int& firmwareDelay) {
  const auto Take = [this](QLineEdit* box, int& value) {
    bool ok = false;
    value = box->text().toInt(&ok);
    if (ok && value >= DelaySpin::kMinimum && value <= DelaySpin::kMaximum) return true;
    QMessageBox::warning(this, QStringLiteral("Kiln"),
                         ok ? QStringLiteral("Please enter an integer between %1 and %2.")
                                  .arg(DelaySpin::kMinimum)
                                  .arg(DelaySpin::kMaximum)
                            : QStringLiteral("Please enter an integer."));
    box->setFocus(Qt::OtherFocusReason);
    box->selectAll();
    return false;
  };
  return Take(cpuDelay_, cpuDelay) && Take(firmwareDelay_, firmwareDelay);
}

void AdvancedSettingDialog::OnBrowse(QLineEdit* target, const QString& title) {
  QString path;
  const FilePick pick{title, QStringLiteral("*.bin"), QStringLiteral("test.bin"),
                      QStringLiteral("CPU BIN File(*.bin)"), folder_};
  if (!PickFileName(this, pick, path)) return;
  if (!AcceptChosenFile(this, path, folder_, false)) return;
  target->setText(QFileInfo(path).fileName());
}

void AdvancedSettingDialog::accept() {
  int cpuDelay = 0;
  int firmwareDelay = 0;
  if (!TakeDelays(cpuDelay, firmwareDelay)) return;

  config::EntrySettings settings = settings_;
  settings.main.reset();
  Advanced& advanced = *settings.advanced;
  advanced.cpuFirst = cpuFirst_->isChecked();
  for (int i = 0; i < 5; ++i) advanced.*kOptions[i].option = options_[i]->isChecked();
  advanced.cpuDelay = static_cast<uint16_t>(cpuDelay);
  advanced.firmwareDelay = static_cast<uint16_t>(firmwareDelay);
  advanced.cpuFile = StoredBytes(fileRow_.box->text(), advanced.cpuFile);
  advanced.cpuTable = StoredBytes(tableRow_.box->text(), advanced.cpuTable);
  advanced.cpuCode = StoredBytes(codeRow_.box->text(), advanced.cpuCode);
  if (!Save(settings)) return;
  QDialog::accept();
}

}  // namespace kiln::tools
