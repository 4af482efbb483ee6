#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

// The user's language as a Windows language ID (LANGID): the primary language in the
// low 10 bits, the sub-language above them. The localisation picks its language
// section from it.
namespace kiln::platform {

using LangId = uint16_t;

inline constexpr uint16_t kLangNeutral = 0x00;
inline constexpr uint16_t kLangChinese = 0x04;
inline constexpr uint16_t kLangGerman = 0x07;
inline constexpr uint16_t kLangEnglish = 0x09;
inline constexpr uint16_t kLangSpanish = 0x0A;
inline constexpr uint16_t kLangFrench = 0x0C;
inline constexpr uint16_t kLangItalian = 0x10;
inline constexpr uint16_t kLangJapanese = 0x11;
inline constexpr uint16_t kLangKorean = 0x12;
inline constexpr uint16_t kLangPolish = 0x15;
inline constexpr uint16_t kLangPortuguese = 0x16;
inline constexpr uint16_t kLangRussian = 0x19;

inline constexpr uint16_t kSubLangNeutral = 0;
inline constexpr uint16_t kSubLangDefault = 1;
inline constexpr uint16_t kSubLangChineseTraditional = 1;  // Taiwan
inline constexpr uint16_t kSubLangChineseSimplified = 2;   // mainland China
inline constexpr uint16_t kSubLangChineseHongKong = 3;
inline constexpr uint16_t kSubLangChineseSingapore = 4;
inline constexpr uint16_t kSubLangChineseMacau = 5;

constexpr LangId MakeLangId(uint16_t primary, uint16_t sub) {
  return static_cast<LangId>((sub << 10) | (primary & 0x3FF));
}
constexpr uint16_t PrimaryLanguageOf(LangId id) {
  return static_cast<uint16_t>(id & 0x3FF);
}
constexpr uint16_t SubLanguageOf(LangId id) {
  return static_cast<uint16_t>(id >> 10);
}

// English (United States): the language of the "C" and "POSIX" locales and of an unset
// locale.
inline constexpr LangId kLangIdEnglishUs = MakeLangId(kLangEnglish, kSubLangDefault);

// The language ID of a POSIX locale name such as "zh_TW.UTF-8", "de_DE@euro" or "C".
// Chinese takes its sub-language from the territory (TW, CN, HK, SG, MO; none or
// another: neutral); other languages take their default sub-language. A language
// the table does not know yields the neutral ID 0.
LangId LangIdFromLocaleName(std::string_view locale);

// The two language probes the localisation asks. Production code uses
// SystemLanguageProbes(); tests inject their own.
class LanguageProbes {
 public:
  virtual ~LanguageProbes() = default;
  // The user-interface language, or nothing where the platform cannot tell it.
  virtual std::optional<LangId> GetUserDefaultUILanguage() = 0;
  // The user's default language, asked when the UI language is not available.
  virtual LangId GetUserDefaultLangID() = 0;
};

// Linux: both probes read the message locale from the environment: the first non-empty
// of LC_ALL, LC_MESSAGES and LANG.
LanguageProbes& SystemLanguageProbes();

}  // namespace kiln::platform
