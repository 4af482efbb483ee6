#include "tools/make_bin_dialog.h"

#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

#include "tools/dialog_units.h"
#include "tools/pick_file_name.h"
#include "tools/table_file.h"

namespace kiln::tools {

namespace {

struct PathRow {
  const char* label;
  int editId;
  const char* filter;
};

// Edits 1038 to 1041; each "..." button's ID is its edit's plus 4.
constexpr PathRow kRows[4] = {{"CVD:", 1038, "dat File(*.dat)"},
                              {"Heating Table:", 1039, "bin File(*.bin)"},
                              {"Color Table:", 1040, "dat File(*.dat)"},
                              {"Output file:", 1041, "bin File(*.bin)"}};

std::string LocalPath(const QLineEdit* box) {
  return box->text().toLocal8Bit().toStdString();
}

}  // namespace

MakeBinDialog::MakeBinDialog(const QString& programFolder, QWidget* parent)
    : QDialog(parent), lastFolder_(programFolder) {
  setFont(TemplateFont(12));
  const DialogUnits du(font());
  setFixedSize(du.X(217), du.Y(138));
  setWindowTitle(QStringLiteral("Make BIN:"));

  for (int i = 0; i < 4; ++i) {
    const int y = 12 + 22 * i;
    PlaceControl<QLabel>(this, du, 0, {7, y + 2, 62, 8}, QString::fromLatin1(kRows[i].label));
    paths_[i] = PlaceControl<QLineEdit>(this, du, kRows[i].editId, {71, y, 115, 12});
    auto* browse = PlaceControl<QPushButton>(this, du, kRows[i].editId + 4, {189, y, 20, 12},
                                             QStringLiteral("..."));
    connect(browse, &QPushButton::clicked, this, [this, i] { OnBrowse(i); });
  }
  auto* combine =
      PlaceControl<QPushButton>(this, du, 1, {50, 112, 54, 14}, QStringLiteral("Combine"));
  auto* exit = PlaceControl<QPushButton>(this, du, 2, {114, 112, 54, 14}, QStringLiteral("Exit"));
  combine->setDefault(true);
  connect(combine, &QPushButton::clicked, this, [this] { OnCombine(); });
  connect(exit, &QPushButton::clicked, this, &QDialog::reject);
}

void MakeBinDialog::OnBrowse(int index) {
  QString path;
  constexpr int kOutputRow = 3;
  const FilePick pick{QString(),   QStringLiteral("*.*"),
                      QString(),   QString::fromLatin1(kRows[index].filter),
                      lastFolder_, index == kOutputRow};
  if (!PickFileName(this, pick, path)) return;
  paths_[index]->setText(path);
  lastFolder_ = QFileInfo(path).absolutePath();
}

void MakeBinDialog::OnCombine() {
  const CombineResult result = CombineTableFile(
      {LocalPath(paths_[0]), LocalPath(paths_[1]), LocalPath(paths_[2])}, LocalPath(paths_[3]));
  const QString path = QString::fromLocal8Bit(result.path.c_str());
  switch (result.error) {
    case CombineError::kNone:
      QMessageBox::information(this, QStringLiteral("Make BIN file:"),
                               QStringLiteral("Combine OK!"));
      return;
    case CombineError::kCannotOpenInput:
    case CombineError::kCannotWriteOutput:
      QMessageBox::warning(this, QStringLiteral("Open File Error!!"), path);
      return;
    case CombineError::kInputTooLong:
      QMessageBox::warning(this, QStringLiteral("Warning"),
                           QStringLiteral("%1\nis larger than the %2 region of a table file (%3 "
                                          "bytes). Nothing was written.")
                               .arg(path, QString::fromLatin1(result.region->name))
                               .arg(result.region->length));
      return;
  }
}

}  // namespace kiln::tools
