#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "tools/entry_form.h"

namespace kiln::tools {

// One row of the colour-table list, as shown (UTF-8).
struct TableRow {
  std::string fileName;
  std::string version;
  std::string description;
  // The row's place (from 1) among the rows read from Kiln.ini, 0 for a row added: a
  // read row keeps its stored bytes, number and colour-mode description wherever it
  // moves in the list.
  int readPlace = 0;
};

// What the Setting dialog edits, as shown.
struct SettingValues {
  uint32_t modelSerial = 0;  // the chosen model; 0 when none is (the stored Model stays)
  int writeType = -1;        // 0-2; -1 when none is chosen (the stored value stays)
  std::string file, tableName, firmwareName;
  bool tableSwitch = false;
  bool noDowngrade = false;
  bool noWaitBurnOk = false;
  bool supportModel2 = false;
  std::vector<TableRow> tables;
};

enum class AddTableResult { kAdded, kListFull, kOutsideFolder, kCommaInName };

// The rules of "Kiln Setting:": one model entry's target model, write type, file names,
// update options and colour-table list. Nothing is written until Save.
class SettingForm : public EntryForm {
 public:
  static constexpr int kMaxTables = config::kMaxTableFiles;  // as many as an entry holds
  static constexpr std::size_t kColumnBytes = 255;           // each saved table text
  static constexpr uint32_t kPauseAfterSaveMs = 300;
  static constexpr const char* kNewDescription = "Click me to edit description";

  // entryIndex 1 or 2; pauses go through clock.
  SettingForm(const config::ConfigFolder& folder, int entryIndex,
              platform::Clock& clock = platform::SystemClock());

  std::string Title() const;
  // The SupportModel2 box is offered on entry 1 of a model that has a sibling entry.
  bool OffersModel2(uint32_t modelSerial) const;
  bool TableListFull() const { return values.tables.size() >= kMaxTables; }
  Notice ListFullNotice() const;

  // Appends the table file at chosenPath (which must lie in the program folder and have
  // no comma in its name) with its version and the new-row description.
  AddTableResult AddTable(const std::string& chosenPath);

  // -1 when every table file name can be saved; else the first row (from 0) whose name
  // holds a comma, which would move the split between name and description.
  int RowWithComma() const;
  static Notice CommaNotice(int row);

  // Writes the entry: texts the user left as they were keep their bytes, table texts
  // are cut to kColumnBytes, and the tables are renumbered in list order. After a save
  // the form pauses kPauseAfterSaveMs before the dialog closes.
  SaveOutcome Save();

  SettingValues values;

 private:
  platform::Clock& clock_;
};

}  // namespace kiln::tools
