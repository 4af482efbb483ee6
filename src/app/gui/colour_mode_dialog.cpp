#include "app/gui/colour_mode_dialog.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>

#include "app/colour_mode.h"
#include "app/gui/dialog_units.h"
#include "app/gui/language_text.h"
#include "app/gui/retext_window.h"
#include "platform/file_probe.h"
#include "platform/profile.h"

namespace kiln::app {

namespace {

QLabel* Label(QDialog* dialog, const char* text, Qt::Alignment alignment, int x, int y, int cx,
              int cy) {
  auto* label = AddControl<QLabel>(dialog, x, y, cx, cy, QString::fromLatin1(text));
  // The printer's colour mode and the texts of Kiln.ini are shown as they are.
  label->setTextFormat(Qt::PlainText);
  label->setAlignment(alignment);
  return label;
}

}  // namespace

ColourModeDialog::ColourModeDialog(const config::ConfigFolder& folder, int entry,
                                   uint32_t targetModel, std::string_view currentMode,
                                   std::string_view languageTag, QWidget* parent)
    : QDialog(parent), folder_(folder), entry_(entry), languageTag_(languageTag) {
  setObjectName(QStringLiteral("134"));
  setWindowTitle(QStringLiteral("Change Color Mode"));
  SizeDialog(this, 224, 147);

  auto* ok = AddControl<QPushButton>(this, 38, 126, 50, 14, QStringLiteral("OK"));
  ok->setObjectName(QStringLiteral("1"));
  ok->setDefault(true);
  auto* cancel = AddControl<QPushButton>(this, 135, 126, 50, 14, QStringLiteral("Cancel"));
  cancel->setObjectName(QStringLiteral("2"));

  const Qt::Alignment right = Qt::AlignRight | Qt::AlignTop;
  Label(this, "Current mode:", right, 7, 10, 66, 8);
  QLabel* current = Label(this, "", Qt::AlignHCenter | Qt::AlignTop, 77, 9, 126, 11);
  current->setObjectName(QStringLiteral("1047"));
  Label(this, "Change Mode To:", right, 15, 30, 58, 8);
  tables_ = AddControl<QComboBox>(this, 77, 29, 127, 134);
  tables_->setObjectName(QStringLiteral("1037"));
  // The template's height includes the dropped-down list; the closed box is one line.
  tables_->resize(tables_->width(), tables_->sizeHint().height());
  Label(this, "Description:", right, 16, 53, 57, 8);
  description_ = Label(this, "", Qt::AlignLeft | Qt::AlignTop, 77, 51, 126, 64);
  description_->setObjectName(QStringLiteral("1048"));
  description_->setWordWrap(true);

  const bool haveIni = platform::FileExists(folder.iniPath.c_str());
  if (haveIni) {
    (void)platform::SetFileAttributesNormal(folder.iniPath.c_str());
    language_.SetFile(folder.iniPath.c_str());
    language_.SetSection(languageTag_);
    RetextWindow(this, language_, languageTag_);
  }

  for (const ColourTable& table : ReadColourTables(folder, entry, targetModel)) {
    tables_->addItem(DecodeLanguageText(ColourTableRowText(table, language_), languageTag_));
  }
  if (tables_->count() == 0) {
    tables_->setEnabled(false);
    ok->setEnabled(false);
  } else {
    tables_->setCurrentIndex(0);
    ShowDescription(0);
  }
  current->setText(DecodeLanguageText(currentMode, languageTag_));
  if (haveIni) RetextWindow(this, language_, languageTag_);

  connect(tables_, &QComboBox::currentIndexChanged, this, &ColourModeDialog::ShowDescription);
  connect(ok, &QPushButton::clicked, this, [this] {
    selection_ = tables_->currentIndex() + 1;
    accept();
  });
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void ColourModeDialog::ShowDescription(int row) {
  if (row < 0) return;
  description_->setText(
      DecodeLanguageText(ColourModeDescription(folder_, entry_, row + 1, language_), languageTag_));
}

bool ChangeColourMode(QWidget* parent, AppSession& session, int activeEntry, uint32_t targetModel,
                      bool noBusyCheck, PrinterQueries& queries) {
  ColourModeText currentMode;
  // "N/A" when the printer does not answer.
  (void)queries.QueryColourMode(targetModel, noBusyCheck, &currentMode);

  ColourModeDialog dialog(session.folder, activeEntry, targetModel, currentMode.view(),
                          session.languageTag.view(), parent);
  if (dialog.exec() != QDialog::Accepted) return false;
  return ChooseColourTable(session.folder, activeEntry, dialog.selection(), session.colourTable);
}

}  // namespace kiln::app
