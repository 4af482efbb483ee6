#include "tools/entry_dialog.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "models/model_table.h"
#include "platform/profile.h"
#include "tools/dialog_units.h"
#include "tools/entry_edits.h"
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
    : QDialog(parent), entryIndex_(entryIndex), folder_(programFolder), iniPath_(iniPath) {
  const QByteArray path = iniPath_.toLocal8Bit();
  platform::SetFileAttributesNormal(path.constData());
  section_ = EntrySectionInUse(path.constData(), entryIndex_);
}

QByteArray EntryDialog::Read(const char* key, const char* defaultValue) const {
  char value[512];  // a value holds 511 characters
  const uint32_t n = platform::GetPrivateProfileStringA(
      section_.c_str(), key, defaultValue, value, sizeof value, iniPath_.toLocal8Bit().constData());
  return QByteArray(value, static_cast<qsizetype>(n));
}

uint32_t EntryDialog::ReadNumber(const char* key, int32_t defaultValue) const {
  return platform::GetPrivateProfileIntA(section_.c_str(), key, defaultValue,
                                         iniPath_.toLocal8Bit().constData());
}

uint32_t EntryDialog::ReadModelSerial() const {
  return models::ModelSerialFromName(Read("Model", "M01").toStdString());
}

bool EntryDialog::Save(const EntryEdits& edits) {
  return SaveEntry(this, edits, iniPath_);
}

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
