#pragma once

#include <QDialog>
#include <QString>

#include "config/model_entry.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace kiln::tools {

class DialogUnits;

// One "label, file name box, ..." row of a dialog.
struct FileRow {
  QLabel* label = nullptr;
  QLineEdit* box = nullptr;
  QPushButton* browse = nullptr;

  void SetVisible(bool visible) const;
  void SetEnabled(bool enabled) const;
};

// Where a dialog puts its file rows, in dialog units.
struct FileRowColumns {
  int labelX, labelWidth, boxX, boxWidth, browseX, browseWidth;
};

// Base of the dialogs that edit one model entry of Kiln.ini through a form: the program
// folder they open on and their rows of file name boxes.
class EntryDialog : public QDialog {
 protected:
  EntryDialog(int entryIndex, const QString& programFolder, const QString& iniPath,
              QWidget* parent);

  FileRow PlaceFileRow(const DialogUnits& units, const FileRowColumns& columns, int y, int labelId,
                       const QString& label, int boxId, int browseId);

  int entryIndex_;
  QString folder_;
  QString iniPath_;
  config::ConfigFolder config_;  // folder_ and iniPath_
};

}  // namespace kiln::tools
