#pragma once

#include <QString>

class QWidget;

namespace kiln::tools {

class EntryEdits;

// Writes the edits of one OK into Kiln.ini. On failure the user is told once (a file
// that cannot be opened, or one that cannot be written because it is read-only or the
// disk is full) and false is returned, so that the dialog can stay open.
bool SaveEntry(QWidget* parent, const EntryEdits& edits, const QString& iniPath);

// Kiln.ini stores file names relative to the program folder, and a table file's value
// is "name,description". A chosen file outside the program folder, or (for a table
// file) one whose name has a comma, is refused with a message that says why.
bool AcceptChosenFile(QWidget* parent, const QString& chosenPath, const QString& programFolder,
                      bool tableFile);

}  // namespace kiln::tools
