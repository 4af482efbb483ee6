#include "platform/ui_language.h"

#include "platform/ascii_case.h"

namespace kiln::platform {

namespace {

struct LanguageRow {
  const char* isoCode;  // ISO 639-1
  uint16_t primary;     // Windows primary language ID
};

// The languages a desktop is commonly set to; anything else is neutral.
constexpr LanguageRow kLanguages[] = {
    {"ar", 0x01}, {"bg", 0x02}, {"ca", 0x03}, {"zh", 0x04}, {"cs", 0x05}, {"da", 0x06},
    {"de", 0x07}, {"el", 0x08}, {"en", 0x09}, {"es", 0x0A}, {"fi", 0x0B}, {"fr", 0x0C},
    {"he", 0x0D}, {"hu", 0x0E}, {"is", 0x0F}, {"it", 0x10}, {"ja", 0x11}, {"ko", 0x12},
    {"nl", 0x13}, {"nb", 0x14}, {"nn", 0x14}, {"no", 0x14}, {"pl", 0x15}, {"pt", 0x16},
    {"ro", 0x18}, {"ru", 0x19}, {"hr", 0x1A}, {"sr", 0x1A}, {"sk", 0x1B}, {"sq", 0x1C},
    {"sv", 0x1D}, {"th", 0x1E}, {"tr", 0x1F}, {"id", 0x21}, {"uk", 0x22}, {"sl", 0x24},
    {"et", 0x25}, {"lv", 0x26}, {"lt", 0x27}, {"fa", 0x29}, {"vi", 0x2A}, {"hi", 0x39},
};

struct TerritoryRow {
  const char* territory;  // ISO 3166 alpha-2
  uint16_t sub;
};

constexpr TerritoryRow kChineseTerritories[] = {
    {"TW", kSubLangChineseTraditional}, {"CN", kSubLangChineseSimplified},
    {"HK", kSubLangChineseHongKong},    {"SG", kSubLangChineseSingapore},
    {"MO", kSubLangChineseMacau},
};

}  // namespace

LangId LangIdFromLocaleName(std::string_view locale) {
  // language[_territory][.codeset][@modifier]
  locale = locale.substr(0, locale.find('@'));
  locale = locale.substr(0, locale.find('.'));
  if (locale.empty() || locale == "C" || locale == "POSIX") return kLangIdEnglishUs;

  const std::size_t underscore = locale.find('_');
  const std::string_view language = locale.substr(0, underscore);
  const std::string_view territory =
      underscore == std::string_view::npos ? std::string_view() : locale.substr(underscore + 1);

  for (const LanguageRow& row : kLanguages) {
    if (!SameIgnoringAsciiCase(language, row.isoCode)) continue;
    if (row.primary != kLangChinese) return MakeLangId(row.primary, kSubLangDefault);
    for (const TerritoryRow& place : kChineseTerritories) {
      if (SameIgnoringAsciiCase(territory, place.territory))
        return MakeLangId(kLangChinese, place.sub);
    }
    return MakeLangId(kLangChinese, kSubLangNeutral);
  }
  return MakeLangId(kLangNeutral, kSubLangNeutral);
}

}  // namespace kiln::platform
