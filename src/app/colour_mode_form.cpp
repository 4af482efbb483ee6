#include "app/colour_mode_form.h"

#include "app/colour_mode.h"
#include "platform/file_probe.h"
#include "platform/profile.h"

namespace kiln::app {

ColourModeForm::ColourModeForm(const config::ConfigFolder& folder, int entry, uint32_t targetModel,
                               std::string_view currentMode, std::string_view languageTag)
    : folder_(folder), entry_(entry), currentMode_(currentMode), languageTag_(languageTag) {
  haveIni_ = platform::FileExists(folder_.iniPath.c_str());
  if (haveIni_) {
    (void)platform::SetFileAttributesNormal(folder_.iniPath.c_str());
    language_.SetFile(folder_.iniPath.c_str());
    language_.SetSection(languageTag_);
  }
  for (const ColourTable& table : ReadColourTables(folder_, entry_, targetModel)) {
    rows_.push_back(ColourTableRowText(table, language_));
  }
}

i18n::LanguageText ColourModeForm::Description(int row) const {
  if (row < 0) return {};
  return ColourModeDescription(folder_, entry_, row + 1, language_);
}

bool ChangeColourMode(AppSession& session, int activeEntry, uint32_t targetModel, bool noBusyCheck,
                      PrinterQueries& queries, const ColourModeDialogRunner& runDialog) {
  ColourModeText currentMode;
  // "N/A" when the printer does not answer.
  (void)queries.QueryColourMode(targetModel, noBusyCheck, &currentMode);
  const ColourModeForm form(session.folder, activeEntry, targetModel, currentMode.view(),
                            session.languageTag.view());
  const int selection = runDialog(form);
  return ChooseColourTable(session.folder, activeEntry, selection, session.colourTable);
}

}  // namespace kiln::app
