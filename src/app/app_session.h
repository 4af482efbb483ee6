#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "config/model_entry.h"
#include "i18n/language_file.h"
#include "platform/fixed_text.h"

namespace kiln::app {

// What the program holds in every mode, with or without a window: where Kiln.ini is, the
// language texts, and the window's two choices that outlive one update. Created once at
// start-up and kept for the whole run.
struct AppSession {
  config::ConfigFolder folder;  // the program folder and its Kiln.ini
  i18n::LanguageFile language;
  FixedText<8> languageTag;  // "eng", "ger", ...: the language section of Kiln.ini
  // The colour table chosen in the window for the next update; empty for none.
  std::string colourTable;
};

// Sets the program folder and the Kiln.ini path; when Kiln.ini exists, points the
// language texts at its section for the user's language, runs retextWindow (when given)
// and returns true. False when there is no Kiln.ini.
bool LocateConfig(AppSession& session, std::string_view programFolder,
                  const std::function<void()>& retextWindow = {});

}  // namespace kiln::app
