#include "i18n/ui_language_code.h"

#include <iterator>
#include <optional>

namespace kiln::i18n {

namespace {

struct LanguageCodeRow {
  uint16_t primary;
  UiLanguageCode code;
};

constexpr LanguageCodeRow kCodes[] = {
    {platform::kLangFrench, kUiFrench},         {platform::kLangGerman, kUiGerman},
    {platform::kLangItalian, kUiItalian},       {platform::kLangSpanish, kUiSpanish},
    {platform::kLangJapanese, kUiJapanese},     {platform::kLangKorean, kUiKorean},
    {platform::kLangPortuguese, kUiPortuguese}, {platform::kLangRussian, kUiRussian},
    {platform::kLangPolish, kUiPolish},
};

// Indexed by code; entry 0 is unused.
constexpr const char* kTags[] = {"eng", "eng", "cht", "chs", "frn", "ger", "ita",
                                 "spn", "jpn", "krn", "prt", "rus", "pol"};

}  // namespace

UiLanguageCode UiLanguageCodeFromLangId(platform::LangId id) {
  const uint16_t primary = platform::PrimaryLanguageOf(id);
  if (primary == platform::kLangChinese) {
    switch (platform::SubLanguageOf(id)) {
      case platform::kSubLangChineseTraditional:
        return kUiChineseTraditional;
      case platform::kSubLangChineseSimplified:
        return kUiChineseSimplified;
      default:
        return kUiEnglish;
    }
  }
  for (const LanguageCodeRow& row : kCodes) {
    if (row.primary == primary) return row.code;
  }
  return kUiEnglish;
}

const char* UiLanguageTag(UiLanguageCode code) {
  return code < std::size(kTags) ? kTags[code] : kTags[kUiEnglish];
}

UiLanguageCode GetUiLanguageCode(platform::LanguageProbes& language) {
  const std::optional<platform::LangId> id = language.GetUserDefaultUILanguage();
  return UiLanguageCodeFromLangId(id ? *id : language.GetUserDefaultLangID());
}

}  // namespace kiln::i18n
