#include "platform/ui_language.h"

#include <gtest/gtest.h>

#include "i18n/ui_language_code.h"
#include "support/fake_language_probes.h"

namespace kiln::i18n {
namespace {

using kiln::testing::FakeLanguageProbes;
using kiln::testing::ScopedLanguageEnvironment;
using platform::LangIdFromLocaleName;

const char* TagOfLocale(const char* locale) {
  return UiLanguageTag(UiLanguageCodeFromLangId(LangIdFromLocaleName(locale)));
}

TEST(UiLanguage, LocaleNamesGiveWindowsLanguageIds) {
  EXPECT_EQ(LangIdFromLocaleName("zh_TW.UTF-8"), 0x0404);
  EXPECT_EQ(LangIdFromLocaleName("zh_CN.GB18030"), 0x0804);
  EXPECT_EQ(LangIdFromLocaleName("zh_HK"), 0x0C04);
  EXPECT_EQ(LangIdFromLocaleName("zh_SG.GBK"), 0x1004);
  EXPECT_EQ(LangIdFromLocaleName("de_DE@euro"), 0x0407);
  EXPECT_EQ(LangIdFromLocaleName("en_US.UTF-8"), 0x0409);
  EXPECT_EQ(LangIdFromLocaleName("C"), 0x0409);
  EXPECT_EQ(LangIdFromLocaleName("C.UTF-8"), 0x0409);
  EXPECT_EQ(LangIdFromLocaleName(""), 0x0409);
  EXPECT_EQ(LangIdFromLocaleName("tlh_XX"), 0x0000);
}

TEST(UiLanguage, TagsForTheLocaleTable) {
  const struct {
    const char* locale;
    const char* tag;
  } cases[] = {
      {"zh_TW.UTF-8", "cht"}, {"zh_CN.UTF-8", "chs"}, {"zh_HK.UTF-8", "eng"},
      {"zh_MO", "eng"},       {"zh", "eng"},          {"fr_FR.UTF-8", "frn"},
      {"fr_CA", "frn"},       {"de_DE@euro", "ger"},  {"de_AT.UTF-8", "ger"},
      {"it_IT", "ita"},       {"es_MX.UTF-8", "spn"}, {"ja_JP.eucJP", "jpn"},
      {"ko_KR.UTF-8", "krn"}, {"pt_BR", "prt"},       {"ru_RU.KOI8-R", "rus"},
      {"pl_PL", "pol"},       {"en_GB", "eng"},       {"nl_NL", "eng"},
      {"C", "eng"},           {"POSIX", "eng"},       {"", "eng"},
  };
  for (const auto& c : cases) EXPECT_STREQ(TagOfLocale(c.locale), c.tag) << c.locale;
}

TEST(UiLanguage, TagOfCodeOutsideTheTableIsEnglish) {
  EXPECT_STREQ(UiLanguageTag(kUiPolish), "pol");
  EXPECT_STREQ(UiLanguageTag(static_cast<UiLanguageCode>(0)), "eng");
  EXPECT_STREQ(UiLanguageTag(static_cast<UiLanguageCode>(13)), "eng");
}

TEST(UiLanguage, UiLanguageFirstThenTheDefaultLanguage) {
  const platform::LangId german = 0x0407;
  const platform::LangId japanese = 0x0411;

  FakeLanguageProbes user(german, japanese);
  EXPECT_EQ(GetUiLanguageCode(user), kUiGerman);
  EXPECT_EQ(user.uiQueries, 1);

  FakeLanguageProbes noUiLanguage(std::nullopt, japanese);
  EXPECT_EQ(GetUiLanguageCode(noUiLanguage), kUiJapanese);
}

TEST(UiLanguage, LinuxReadsTheMessageLocale) {
  ScopedLanguageEnvironment environment;
  EXPECT_EQ(GetUiLanguageCode(), kUiEnglish) << "no locale set";
  environment.Set("LANG", "fr_FR.UTF-8");
  EXPECT_EQ(GetUiLanguageCode(), kUiFrench);
  environment.Set("LC_MESSAGES", "zh_TW.UTF-8");
  EXPECT_EQ(GetUiLanguageCode(), kUiChineseTraditional);
  environment.Set("LC_ALL", "");
  EXPECT_EQ(GetUiLanguageCode(), kUiChineseTraditional) << "an empty variable does not count";
  environment.Set("LC_ALL", "zh_HK.UTF-8");
  EXPECT_EQ(GetUiLanguageCode(), kUiEnglish);
}

TEST(UiLanguage, AppendLanguageTagAddsToTheText) {
  FakeLanguageProbes russian(0x0419);
  FixedText<64> section("ox");
  AppendLanguageTag(section, russian);
  EXPECT_EQ(section, "oxrus");
  FixedText<5> small("ox");
  AppendLanguageTag(small, russian);
  EXPECT_EQ(small, "oxru") << "cut where the buffer ends";
}

}  // namespace
}  // namespace kiln::i18n
