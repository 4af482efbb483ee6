#include "tools/advanced_setting_dialog.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "tools/delay_field.h"
#include "tools/dialog_units.h"
#include "tools/pick_file_name.h"
#include "tools/tool_messages.h"

namespace kiln::tools {

namespace {

struct OptionRow {
  int id;
  bool AdvancedValues::*option;
  const char* text;
};

constexpr OptionRow kOptions[5] = {
    {1023, &AdvancedValues::showCountdown, "Show count down when wait burning flash"},
    {1024, &AdvancedValues::noCheckPid, "Don't check PID value in BIN (for change PID)"},
    {1050, &AdvancedValues::noCheckDriver, "Don't check target printer driver existence"},
    {1051, &AdvancedValues::noWaitBusyBeforeWrite, "Not wait busy before downloading FW"},
    {1052, &AdvancedValues::noBusyCheckAtStartup, "Skip error when opening dialog"},
};

}  // namespace

AdvancedSettingDialog::AdvancedSettingDialog(int entryIndex, const QString& programFolder,
                                             const QString& iniPath, QWidget* parent)
    : EntryDialog(entryIndex, programFolder, iniPath, parent), form_(config_, entryIndex) {
  setFont(TemplateFont(10));
  CreateControls();
  ShowValues();
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
    TakeDelays();  // its message only; the boxes follow 1021 anyway
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

void AdvancedSettingDialog::ShowValues() {
  const bool codeLayout = EntryForm::CodeLayout(form_.modelSerial());
  fileRow_.label->setText(codeLayout ? QStringLiteral("Code name:") : QStringLiteral("File name:"));
  tableRow_.SetVisible(codeLayout);
  codeRow_.SetVisible(codeLayout);

  const AdvancedValues& values = form_.values;
  cpuFirst_->setChecked(values.cpuFirst);
  for (int i = 0; i < 5; ++i) options_[i]->setChecked(values.*kOptions[i].option);
  fileRow_.box->setText(Shown(values.cpuFile));
  tableRow_.box->setText(Shown(values.cpuTable));
  codeRow_.box->setText(Shown(values.cpuCode));
  // The spins start from the delays shown, so that an arrow steps from them.
  uint16_t seconds = 0;
  if (TakeDelay(values.cpuDelay, seconds) == DelayCheck::kTaken) {
    cpuDelaySpin_->SetPosition(seconds);
  }
  if (TakeDelay(values.firmwareDelay, seconds) == DelayCheck::kTaken) {
    firmwareDelaySpin_->SetPosition(seconds);
  }
  ApplyCpuFirst();
}

void AdvancedSettingDialog::TakeValues() {
  AdvancedValues& values = form_.values;
  values.cpuFirst = cpuFirst_->isChecked();
  for (int i = 0; i < 5; ++i) values.*kOptions[i].option = options_[i]->isChecked();
  values.cpuFile = Typed(fileRow_.box->text());
  values.cpuTable = Typed(tableRow_.box->text());
  values.cpuCode = Typed(codeRow_.box->text());
  values.cpuDelay = Typed(cpuDelay_->text());
  values.firmwareDelay = Typed(firmwareDelay_->text());
}

void AdvancedSettingDialog::ApplyCpuFirst() {
  for (const FileRow* row : {&fileRow_, &tableRow_, &codeRow_}) {
    row->SetEnabled(cpuFirst_->isChecked());
  }
}

bool AdvancedSettingDialog::TakeDelays() {
  TakeValues();
  const AdvancedSettingForm::DelayProblem problem = form_.CheckDelays();
  if (problem.check == DelayCheck::kTaken) return true;
  ShowNotice(this, AdvancedSettingForm::DelayNotice(problem.check));
  QLineEdit* box = problem.delay == AdvancedSettingForm::Delay::kCpu ? cpuDelay_ : firmwareDelay_;
  box->setFocus(Qt::OtherFocusReason);
  box->selectAll();
  return false;
}

void AdvancedSettingDialog::OnBrowse(QLineEdit* target, const QString& title) {
  QString path;
  const FilePick pick{title, QStringLiteral("*.bin"), QStringLiteral("test.bin"),
                      QStringLiteral("CPU BIN File(*.bin)"), folder_};
  if (!PickFileName(this, pick, path)) return;
  if (!AcceptChosenFile(this, path, config_.folder, false)) return;
  target->setText(QFileInfo(path).fileName());
}

void AdvancedSettingDialog::accept() {
  if (!TakeDelays()) return;
  if (!ReportSave(this, form_.Save(), config_.iniPath)) return;
  QDialog::accept();
}

}  // namespace kiln::tools
