#include "tools/tool_messages.h"

#include <QMessageBox>

namespace kiln::tools {

void ShowNotice(QWidget* parent, const Notice& notice) {
  if (notice.warning) {
    QMessageBox::warning(parent, Shown(notice.title), Shown(notice.text));
  } else {
    QMessageBox::information(parent, Shown(notice.title), Shown(notice.text));
  }
}

bool ReportSave(QWidget* parent, SaveOutcome outcome, const std::string& iniPath) {
  if (outcome == SaveOutcome::kSaved) return true;
  if (outcome != SaveOutcome::kNotTaken) ShowNotice(parent, SaveNotice(outcome, iniPath));
  return false;
}

bool AcceptChosenFile(QWidget* parent, const QString& chosenPath, const std::string& programFolder,
                      bool tableFile) {
  const std::string path = LocalPath(chosenPath);
  const ChosenFile check = CheckChosenFile(path, programFolder, tableFile);
  if (check == ChosenFile::kAccepted) return true;
  ShowNotice(parent, ChosenFileNotice(check, path, programFolder));
  return false;
}

}  // namespace kiln::tools
