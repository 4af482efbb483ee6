#include "tools/entry_dialog.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "tools/dialog_units.h"
#include "tools/tool_messages.h"

namespace kiln::tools {

void FileRow::SetVisible(bool visible) const {
  label->setVisible(visible);
  box->setVisible(visible);
  browse->setVisible(visible);
}

void FileRow::SetEnabled(bool enabled) const {
  box->setEnabled(enabled);
  browse->setEnabled(enabled);
}

EntryDialog::EntryDialog(int entryIndex, const QString& programFolder, const QString& iniPath,
                         QWidget* parent)
    : QDialog(parent),
      entryIndex_(entryIndex),
      folder_(programFolder),
      iniPath_(iniPath),
      config_{LocalPath(programFolder), LocalPath(iniPath)} {}

FileRow EntryDialog::PlaceFileRow(const DialogUnits& units, const FileRowColumns& columns, int y,
                                  int labelId, const QString& label, int boxId, int browseId) {
  FileRow row;
  row.label = PlaceControl<QLabel>(this, units, labelId,
                                   {columns.labelX, y + 2, columns.labelWidth, 8}, label);
  row.box = PlaceControl<QLineEdit>(this, units, boxId, {columns.boxX, y, columns.boxWidth, 12});
  row.browse = PlaceControl<QPushButton>(
      this, units, browseId, {columns.browseX, y, columns.browseWidth, 12}, QStringLiteral("..."));
  return row;
}

}  // namespace kiln::tools
