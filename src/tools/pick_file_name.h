#pragma once

#include <QString>

class QWidget;

namespace kiln::tools {

struct FilePick {
  QString title;
  QString defaultExtension;  // "*.bin": added to a typed name without one
  QString initialName;
  QString filter;  // "BIN(*.bin)"
  QString folder;  // where the dialog opens
  // A file to be written: a new name is accepted, an existing file only after the user
  // agreed to replace it. Otherwise the file must exist.
  bool forWriting = false;
};

// The file dialog of the maintenance tools. Returns true and the chosen file's full path
// on OK; false leaves path unchanged.
bool PickFileName(QWidget* parent, const FilePick& pick, QString& path);

}  // namespace kiln::tools
