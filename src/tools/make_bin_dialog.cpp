#include "tools/make_bin_dialog.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "tools/dialog_units.h"
#include "tools/pick_file_name.h"
#include "tools/tool_messages.h"

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

}  // namespace

MakeBinDialog::MakeBinDialog(const QString& programFolder, QWidget* parent)
    : QDialog(parent), form_(LocalPath(programFolder)) {
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
  const FilePick pick{QString(),    QStringLiteral("*.*"),
                      QString(),    QString::fromLatin1(kRows[index].filter),
                      lastFolder(), index == MakeBinForm::kOutput};
  if (!PickFileName(this, pick, path)) return;
  paths_[index]->setText(path);
  form_.Choose(index, LocalPath(path));
}

void MakeBinDialog::OnCombine() {
  for (int i = 0; i < 4; ++i) form_.paths[i] = LocalPath(paths_[i]->text());
  ShowNotice(this, MakeBinForm::CombineNotice(form_.Combine()));
}

}  // namespace kiln::tools
