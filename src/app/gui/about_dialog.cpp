#include "app/gui/about_dialog.h"

#include <QDialog>
#include <QLabel>
#include <QPushButton>

#include "app/gui/dialog_units.h"
#include "app/gui/kiln_resources.h"
#include "app/gui/retext_window.h"

namespace kiln::app {

void ExecAboutDialog(QWidget* parent, const i18n::LanguageFile& language,
                     std::string_view languageTag) {
  QDialog dialog(parent);
  dialog.setObjectName(QStringLiteral("100"));
  dialog.setWindowTitle(QStringLiteral("About Kiln"));
  SizeDialog(&dialog, 180, 55);

  auto* icon = AddControl<QLabel>(&dialog, 11, 14, 21, 20);
  icon->setPixmap(KilnIcon().pixmap(icon->size().boundedTo(QSize(48, 48))));
  icon->setAlignment(Qt::AlignCenter);

  auto* version =
      AddControl<QLabel>(&dialog, 40, 14, 130, 10, QStringLiteral("Kiln v3.0.2  build 585"));
  version->setObjectName(QStringLiteral("version"));

  auto* ok = AddControl<QPushButton>(&dialog, 123, 35, 50, 14, QStringLiteral("OK"));
  ok->setObjectName(QStringLiteral("1"));
  ok->setDefault(true);
  QObject::connect(ok, &QPushButton::clicked, &dialog, &QDialog::accept);

  RetextWindow(&dialog, language, languageTag);
  dialog.exec();
}

}  // namespace kiln::app
