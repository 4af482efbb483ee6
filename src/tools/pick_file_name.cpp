#include "tools/pick_file_name.h"

#include <QFileDialog>
#include <QGuiApplication>
#include <QStringList>

namespace kiln::tools {

bool PickFileName(QWidget* parent, const FilePick& pick, QString& path) {
  QFileDialog dialog(parent, pick.title, pick.folder, pick.filter);
  // Saving asks before an existing file is replaced (the dialog's own question).
  dialog.setFileMode(pick.forWriting ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  dialog.setAcceptMode(pick.forWriting ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  QString extension = pick.defaultExtension;
  extension.remove(QStringLiteral("*.")).remove(QLatin1Char('*'));
  dialog.setDefaultSuffix(extension);
  // A desktop's own dialog cannot run without a desktop session (tests, offscreen).
  if (QGuiApplication::platformName() == QLatin1String("offscreen")) {
    dialog.setOption(QFileDialog::DontUseNativeDialog);
  }
  if (!pick.initialName.isEmpty()) dialog.selectFile(pick.initialName);
  if (dialog.exec() != QDialog::Accepted) return false;
  const QStringList chosen = dialog.selectedFiles();
  if (chosen.isEmpty()) return false;
  path = chosen.first();
  return true;
}

}  // namespace kiln::tools
