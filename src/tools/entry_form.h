#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "config/model_entry.h"
#include "platform/profile.h"

// What the maintenance dialogs share below any toolkit: the entry they edit, as read
// when the dialog opens, its one write of Kiln.ini, and the messages a dialog shows.
namespace kiln::tools {

// A message a dialog shows the user in a box: its title and text (UTF-8), a warning or
// a plain piece of information.
struct Notice {
  std::string title;
  std::string text;
  bool warning = true;
};

enum class SaveOutcome {
  kSaved,        // written, or nothing to change
  kCannotOpen,   // Kiln.ini exists but cannot be read
  kCannotWrite,  // read-only, disk full, or an edit that would break a line
  kNotTaken,     // the form's values did not pass its checks; nothing was written
};

SaveOutcome OutcomeOf(platform::ProfileEdit edit);
// The box for a save that failed; told once per OK, and the dialog stays open.
Notice SaveNotice(SaveOutcome outcome, std::string_view iniPath);

// Kiln.ini stores file names relative to the program folder, and a table file's value
// is "name,description": a chosen file must lie in the program folder, and a table
// file's name must hold no comma.
enum class ChosenFile { kAccepted, kOutsideFolder, kCommaInName };
ChosenFile CheckChosenFile(const std::string& chosenPath, const std::string& programFolder,
                           bool tableFile);
Notice ChosenFileNotice(ChosenFile check, const std::string& chosenPath,
                        const std::string& programFolder);
// The name Kiln.ini keeps of a chosen file: its name without the folder.
std::string ChosenFileName(const std::string& chosenPath);

// Paths are UTF-8 text, also where the system's own narrow encoding is another code
// page: a path of such text, and a path's text.
std::filesystem::path Utf8Path(const std::string& utf8);
std::string Utf8Text(const std::filesystem::path& path);

// One model entry of Kiln.ini, opened for a maintenance dialog. Opening clears the
// file's read-only protection, so that OK can write it, and reads the entry.
class EntryForm {
 public:
  const std::string& sectionName() const { return opened_.section; }
  const config::ConfigFolder& folder() const { return folder_; }
  int entryIndex() const { return entryIndex_; }
  // A large model shows its code, table and firmware code names instead of one file.
  static bool CodeLayout(uint32_t modelSerial);

 protected:
  EntryForm(config::ConfigFolder folder, int entryIndex);

  // Writes the groups of settings present, in one replacement of the file.
  SaveOutcome Write(const config::EntrySettings& settings) const;

  config::ConfigFolder folder_;
  int entryIndex_;
  config::EntrySettings opened_;  // the entry as the dialog opened it
};

}  // namespace kiln::tools
