#pragma once

#include <functional>
#include <string_view>

#include "config/update_context.h"
#include "i18n/language_file.h"
#include "platform/fixed_text.h"

namespace kiln::app {

// What the main window object holds in every mode, with or without a window: the update
// context and the language texts. Created once at start-up and kept for the whole run.
struct AppSession {
  UpdateContext context;
  i18n::LanguageFile language;
  FixedText<8> languageTag;  // "eng", "ger", ...: the language section of Kiln.ini
};

// Sets the program folder and the Kiln.ini path in the context; when Kiln.ini exists,
// points the language texts at its section for the user's language, runs retextWindow
// (when given) and returns true. False when there is no Kiln.ini.
bool LocateConfig(AppSession& session, std::string_view programFolder,
                  const std::function<void()>& retextWindow = {});

}  // namespace kiln::app
