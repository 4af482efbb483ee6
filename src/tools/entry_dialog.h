#pragma once

#include <QByteArray>
#include <QDialog>
#include <QString>
#include <string>

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

// Base of the dialogs that edit one model entry of Kiln.ini: it clears the file's
// read-only protection, reads the entry's settings and writes one OK's changes.
class EntryDialog : public QDialog {
 public:
  const std::string& sectionName() const { return settings_.section; }

 protected:
  EntryDialog(int entryIndex, const QString& programFolder, const QString& iniPath,
              QWidget* parent);

  // Writes the groups of settings present. False after telling the user why the file
  // could not be written.
  bool Save(const config::EntrySettings& settings);
  // A stored value as the dialog's bytes.
  static QByteArray Bytes(const std::string& value) { return QByteArray::fromStdString(value); }

  FileRow PlaceFileRow(const DialogUnits& units, const FileRowColumns& columns, int y, int labelId,
                       const QString& label, int boxId, int browseId);

  int entryIndex_;
  QString folder_;
  QString iniPath_;
  config::ConfigFolder config_;     // folder_ and iniPath_
  config::EntrySettings settings_;  // the entry as the dialog opened it
};

}  // namespace kiln::tools
