#pragma once

#include <QString>

#include "platform/profile.h"

class QWidget;

namespace kiln::tools {

// Tells the user once why the write of one OK into Kiln.ini failed (a file that cannot be
// opened, or one that cannot be written because it is read-only or the disk is full) and
// returns false, so that the dialog can stay open; true when it succeeded.
bool ReportSave(QWidget* parent, platform::ProfileEdit outcome, const QString& iniPath);

// Kiln.ini stores file names relative to the program folder, and a table file's value
// is "name,description". A chosen file outside the program folder, or (for a table
// file) one whose name has a comma, is refused with a message that says why.
bool AcceptChosenFile(QWidget* parent, const QString& chosenPath, const QString& programFolder,
                      bool tableFile);

}  // namespace kiln::tools
