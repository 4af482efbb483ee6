#include "tools/tool_messages.h"

#include <QDir>
#include <QFileInfo>
#include <QMessageBox>

namespace kiln::tools {

bool ReportSave(QWidget* parent, platform::ProfileEdit outcome, const QString& iniPath) {
  switch (outcome) {
    case platform::ProfileEdit::kWritten:
    case platform::ProfileEdit::kUnchanged:
      return true;
    case platform::ProfileEdit::kCannotRead:
      QMessageBox::warning(parent, QStringLiteral("Open File Error!!"), iniPath);
      return false;
    case platform::ProfileEdit::kReadOnly:
    case platform::ProfileEdit::kCannotReplace:
    case platform::ProfileEdit::kRefused:
      break;
  }
  QMessageBox::warning(parent, QStringLiteral("Save Error"),
                       QStringLiteral("The settings could not be saved to\n%1\n\nThe file may be "
                                      "read-only or the disk full. Nothing was changed.")
                           .arg(iniPath));
  return false;
}

bool AcceptChosenFile(QWidget* parent, const QString& chosenPath, const QString& programFolder,
                      bool tableFile) {
  const QFileInfo chosen(chosenPath);
  const QString folder = QDir(programFolder).canonicalPath();
  if (chosen.absoluteDir().canonicalPath() != folder) {
    QMessageBox::warning(parent, QStringLiteral("Wrong Folder"),
                         QStringLiteral("%1 is not in the program folder %2.\n\nKiln.ini keeps "
                                        "the file name only and the program looks for it in its "
                                        "own folder: copy the file there first.")
                             .arg(chosen.fileName(), folder));
    return false;
  }
  if (tableFile && chosen.fileName().contains(QLatin1Char(','))) {
    QMessageBox::warning(parent, QStringLiteral("Wrong File Name"),
                         QStringLiteral("%1 has a comma in its name.\n\nKiln.ini separates a "
                                        "table file's name from its description with a comma: "
                                        "rename the file first.")
                             .arg(chosen.fileName()));
    return false;
  }
  return true;
}

}  // namespace kiln::tools
