#pragma once

#include <QByteArray>
#include <QDialog>
#include <QString>
#include <cstdint>
#include <string>

class QLabel;
class QLineEdit;
class QPushButton;

namespace kiln::tools {

class DialogUnits;
class EntryEdits;

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
// read-only protection, picks the section the entry is read from, reads its keys and
// writes one OK's edits.
class EntryDialog : public QDialog {
 public:
  const std::string& sectionName() const { return section_; }

 protected:
  EntryDialog(int entryIndex, const QString& programFolder, const QString& iniPath,
              QWidget* parent);

  QByteArray Read(const char* key, const char* defaultValue = "") const;
  uint32_t ReadNumber(const char* key, int32_t defaultValue = 0) const;
  // Serial number of the model the entry's Model names, 0 when it names none.
  uint32_t ReadModelSerial() const;
  // False after telling the user why the file could not be written.
  bool Save(const EntryEdits& edits);

  FileRow PlaceFileRow(const DialogUnits& units, const FileRowColumns& columns, int y, int labelId,
                       const QString& label, int boxId, int browseId);

  int entryIndex_;
  QString folder_;
  QString iniPath_;
  std::string section_;
};

}  // namespace kiln::tools
