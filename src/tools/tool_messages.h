#pragma once

#include <QString>
#include <string>

#include "tools/entry_form.h"

class QWidget;

// The Qt side of the forms' texts and messages: forms speak UTF-8 and typed results,
// widgets QString and boxes.
namespace kiln::tools {

inline QString Shown(const std::string& utf8) {
  return QString::fromStdString(utf8);
}
inline std::string Typed(const QString& text) {
  return text.toStdString();
}
// A path as the file functions take it.
inline std::string LocalPath(const QString& path) {
  return path.toLocal8Bit().toStdString();
}

void ShowNotice(QWidget* parent, const Notice& notice);

// True when the save succeeded; otherwise tells the user once why the write of one OK
// failed (a check that failed has told its own) and returns false, so that the dialog
// can stay open.
bool ReportSave(QWidget* parent, SaveOutcome outcome, const std::string& iniPath);

// True when the chosen file may be named in Kiln.ini; otherwise says why not.
bool AcceptChosenFile(QWidget* parent, const QString& chosenPath, const std::string& programFolder,
                      bool tableFile);

}  // namespace kiln::tools
