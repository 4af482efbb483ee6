#include "tools/setting_form.h"

#include <utility>

#include "models/model_table.h"
#include "tools/entry_text.h"
#include "tools/table_file.h"

namespace kiln::tools {

SettingForm::SettingForm(const config::ConfigFolder& folder, int entryIndex, platform::Clock& clock)
    : EntryForm(folder, entryIndex), clock_(clock) {
  const config::EntrySettings::Main& main = *opened_.main;
  // A Model value that names no model leaves no model chosen, so that Save keeps it.
  values.modelSerial =
      models::ModelBySerial(opened_.modelSerial) != nullptr ? opened_.modelSerial : 0;
  // A stored write type outside the list leaves none chosen and is kept.
  values.writeType =
      main.writeType >= 0 && main.writeType <= static_cast<int>(config::kLastWriteType)
          ? main.writeType
          : -1;
  values.file = ShownText(main.file);
  values.tableName = ShownText(main.tableName);
  values.firmwareName = ShownText(main.firmwareName);
  values.tableSwitch = main.tableSwitch;
  values.noDowngrade = main.noDowngrade;
  values.noWaitBurnOk = main.noWaitBurnOk;
  values.supportModel2 = main.supportModel2;
  int place = 0;
  for (const config::TableFileRow& table : main.tableFiles) {
    const std::string version = ReadTableVersion(folder_.PathOf(table.file), opened_.modelSerial);
    values.tables.push_back(
        {ShownText(table.file), ShownText(version), ShownText(table.modeName), ++place});
  }
}

std::string SettingForm::Title() const {
  if (entryIndex_ > 1) return "Kiln Setting for model " + std::to_string(entryIndex_) + ":";
  return "Kiln Setting:";
}

bool SettingForm::OffersModel2(uint32_t modelSerial) const {
  return entryIndex_ == 1 && models::ModelBySerial(modelSerial) != nullptr &&
         models::QuirksOf(modelSerial).offersSecondEntry;
}

Notice SettingForm::ListFullNotice() const {
  return {"Add Table File", "The list already holds " + std::to_string(kMaxTables) +
                                " table files, as many as Kiln.ini can name. Delete one first."};
}

AddTableResult SettingForm::AddTable(const std::string& chosenPath) {
  if (TableListFull()) return AddTableResult::kListFull;
  switch (CheckChosenFile(chosenPath, folder_.folder, true)) {
    case ChosenFile::kOutsideFolder:
      return AddTableResult::kOutsideFolder;
    case ChosenFile::kCommaInName:
      return AddTableResult::kCommaInName;
    case ChosenFile::kAccepted:
      break;
  }
  const std::string version = ReadTableVersion(chosenPath, opened_.modelSerial);
  values.tables.push_back(
      {ShownText(ChosenFileName(chosenPath)), ShownText(version), kNewDescription, 0});
  return AddTableResult::kAdded;
}

int SettingForm::RowWithComma() const {
  for (std::size_t row = 0; row < values.tables.size(); ++row) {
    if (values.tables[row].fileName.find(',') != std::string::npos) return static_cast<int>(row);
  }
  return -1;
}

Notice SettingForm::CommaNotice(int row) {
  return {"Wrong File Name", "The table file name in row " + std::to_string(row + 1) +
                                 " has a comma: Kiln.ini separates a table file's name from its "
                                 "description with one. Correct the name first."};
}

SaveOutcome SettingForm::Save() {
  if (RowWithComma() >= 0) return SaveOutcome::kNotTaken;
  config::EntrySettings settings = opened_;
  settings.advanced.reset();
  settings.modelSerial = values.modelSerial;
  config::EntrySettings::Main& main = *settings.main;
  main.file = StoredBytes(values.file, main.file);
  main.tableName = StoredBytes(values.tableName, main.tableName);
  main.firmwareName = StoredBytes(values.firmwareName, main.firmwareName);
  main.writeType = values.writeType;  // none chosen: the stored value stays
  main.tableSwitch = values.tableSwitch;
  main.noDowngrade = values.noDowngrade;
  main.noWaitBurnOk = values.noWaitBurnOk;
  main.supportModel2 = values.supportModel2;

  main.tableFiles.clear();
  for (const TableRow& row : values.tables) {
    const bool read =
        row.readPlace > 0 && row.readPlace <= static_cast<int>(opened_.main->tableFiles.size());
    config::TableFileRow table =
        read ? opened_.main->tableFiles[row.readPlace - 1] : config::TableFileRow{};
    table.file = CutBytes(StoredBytes(row.fileName, table.file), kColumnBytes);
    table.modeName = CutBytes(StoredBytes(row.description, table.modeName), kColumnBytes);
    main.tableFiles.push_back(std::move(table));
  }

  const SaveOutcome outcome = Write(settings);
  if (outcome == SaveOutcome::kSaved) clock_.Sleep(kPauseAfterSaveMs);
  return outcome;
}

}  // namespace kiln::tools
