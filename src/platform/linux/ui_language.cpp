// The user's language on Linux: the message locale, as the POSIX locale variables give it.

#include "platform/ui_language.h"

#include <cstdlib>

namespace kiln::platform {

namespace {

const char* MessageLocale() {
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') return value;
  }
  return "";
}

// Linux has one source for both questions: the message locale.
class LinuxLanguageProbes final : public LanguageProbes {
 public:
  std::optional<LangId> GetUserDefaultUILanguage() override {
    return LangIdFromLocaleName(MessageLocale());
  }
  LangId GetUserDefaultLangID() override { return LangIdFromLocaleName(MessageLocale()); }
};

}  // namespace

LanguageProbes& SystemLanguageProbes() {
  static LinuxLanguageProbes probes;
  return probes;
}

}  // namespace kiln::platform
