#include "platform/ui_language.h"

#include <windows.h>

namespace kiln::platform {

namespace {

// The user's settings in Windows: the display language of the user interface and the
// user's default language (regional format).
class WindowsLanguageProbes final : public LanguageProbes {
 public:
  std::optional<LangId> GetUserDefaultUILanguage() override {
    return static_cast<LangId>(::GetUserDefaultUILanguage());
  }
  LangId GetUserDefaultLangID() override { return static_cast<LangId>(::GetUserDefaultLangID()); }
};

}  // namespace

LanguageProbes& SystemLanguageProbes() {
  static WindowsLanguageProbes probes;
  return probes;
}

}  // namespace kiln::platform
