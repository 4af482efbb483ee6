#include "app/gui/colour_mode_dialog.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>

#include "app/gui/dialog_units.h"
#include "app/gui/language_text.h"
#include "app/gui/retext_window.h"

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

ColourModeDialog::ColourModeDialog(const ColourModeForm& form, QWidget* parent)
    : QDialog(parent), form_(form) {
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

  const std::string& tag = form_.languageTag();
  if (form_.HasLanguageTexts()) RetextWindow(this, form_.language(), tag);
  for (const i18n::LanguageText& row : form_.rows()) {
    tables_->addItem(DecodeLanguageText(row.view(), tag));
  }
  if (!form_.CanChoose()) {
    tables_->setEnabled(false);
    ok->setEnabled(false);
  } else {
    tables_->setCurrentIndex(0);
    ShowDescription(0);
  }
  current->setText(DecodeLanguageText(form_.currentMode(), tag));
  if (form_.HasLanguageTexts()) RetextWindow(this, form_.language(), tag);

  connect(tables_, &QComboBox::currentIndexChanged, this, &ColourModeDialog::ShowDescription);
  connect(ok, &QPushButton::clicked, this, [this] {
    selection_ = tables_->currentIndex() + 1;
    accept();
  });
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void ColourModeDialog::ShowDescription(int row) {
  if (row < 0) return;
  description_->setText(DecodeLanguageText(form_.Description(row).view(), form_.languageTag()));
}

ColourModeDialogRunner ColourModeDialogOver(QWidget* parent) {
  return [parent](const ColourModeForm& form) {
    ColourModeDialog dialog(form, parent);
    return dialog.exec() == QDialog::Accepted ? dialog.selection() : 0;
  };
}

}  // namespace kiln::app
