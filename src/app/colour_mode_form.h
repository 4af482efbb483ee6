#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "app/app_session.h"
#include "app/printer_queries.h"
#include "config/model_entry.h"
#include "i18n/language_file.h"

namespace kiln::app {

// The rules of the Change Color Mode dialog, without a toolkit: the printer's current
// mode, one row per colour table of the entry (mode name and table version, in the
// language's texts) and the description of the row chosen. Texts stay bytes; the front
// end decodes them in the language's code page.
class ColourModeForm {
 public:
  // Opening clears Kiln.ini's read-only protection and points the language texts at
  // its languageTag section, when the file exists.
  ColourModeForm(const config::ConfigFolder& folder, int entry, uint32_t targetModel,
                 std::string_view currentMode, std::string_view languageTag);

  // Kiln.ini exists: the dialog's captions are replaced by their language texts.
  bool HasLanguageTexts() const { return haveIni_; }
  const i18n::LanguageFile& language() const { return language_; }
  const std::string& languageTag() const { return languageTag_; }
  const std::string& currentMode() const { return currentMode_; }

  const std::vector<i18n::LanguageText>& rows() const { return rows_; }
  // Without a table there is nothing to choose: the list and OK are off.
  bool CanChoose() const { return !rows_.empty(); }
  // The description of row (from 0); empty when it has none.
  i18n::LanguageText Description(int row) const;

 private:
  config::ConfigFolder folder_;
  int entry_;
  std::string currentMode_;
  std::string languageTag_;
  bool haveIni_ = false;
  i18n::LanguageFile language_;
  std::vector<i18n::LanguageText> rows_;
};

// Shows the form modally; returns the chosen row's number (from 1), or 0 for Cancel.
using ColourModeDialogRunner = std::function<int(const ColourModeForm& form)>;

// What the Change Color Mode button runs: asks the printer of targetModel for its colour
// mode (bounded in time unless noBusyCheck, "N/A" when it does not answer), shows the
// dialog for model entry activeEntry, and when a table was chosen records it in the
// session for the next update. True when a table was chosen; the status, the buttons
// and the printer stay as they were.
bool ChangeColourMode(AppSession& session, int activeEntry, uint32_t targetModel, bool noBusyCheck,
                      PrinterQueries& queries, const ColourModeDialogRunner& runDialog);

}  // namespace kiln::app
