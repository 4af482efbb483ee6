#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/fixed_text.h"
#include "platform/ui_language.h"

// The user-interface language as Kiln's small language code, and its three-letter tag:
// the name of the language section in Kiln.ini and part of the printer driver's
// language-monitor file name.
namespace kiln::i18n {

enum UiLanguageCode : uint32_t {
  kUiEnglish = 1,  // also every language not listed, and Chinese other than TW and CN
  kUiChineseTraditional = 2,
  kUiChineseSimplified = 3,
  kUiFrench = 4,
  kUiGerman = 5,
  kUiItalian = 6,
  kUiSpanish = 7,
  kUiJapanese = 8,
  kUiKorean = 9,
  kUiPortuguese = 10,
  kUiRussian = 11,
  kUiPolish = 12,
};

// The code of a Windows language ID, by its primary language and sub-language.
UiLanguageCode UiLanguageCodeFromLangId(platform::LangId id);

// The tag of a code ("eng", "cht", "chs", "frn", "ger", "ita", "spn", "jpn", "krn",
// "prt", "rus", "pol"); "eng" for a value outside the table.
const char* UiLanguageTag(UiLanguageCode code);

// The user's language: the UI language when the probe reports one, else the user's
// default language.
UiLanguageCode GetUiLanguageCode(
    platform::LanguageProbes& language = platform::SystemLanguageProbes());

// Appends the tag of the user's language to text (cut when it does not fit).
template <std::size_t N>
void AppendLanguageTag(FixedText<N>& text,
                       platform::LanguageProbes& language = platform::SystemLanguageProbes()) {
  text.Append(UiLanguageTag(GetUiLanguageCode(language)));
}

}  // namespace kiln::i18n
