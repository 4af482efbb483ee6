// Language texts as UTF-8: the bytes themselves when they are UTF-8, else the language's
// code page through the system's conversion.
#include "i18n/code_page.h"

#include <gtest/gtest.h>

#include <string>

namespace kiln::i18n {
namespace {

TEST(CodePage, DecodesByTheLanguagesCodePageUnlessTheBytesAreStrictUtf8) {
  struct Case {
    const char* bytes;
    const char* tag;
    const char* shown;
  };
  const Case cases[] = {
      {"\xBD\x54\xA9\x77", "cht", "確定"},
      {"\xC8\xA1\xCF\xFB", "chs", "取消"},
      {"\x8A\x6D\x92\xE8", "jpn", "確定"},
      {"\xC8\xAE\xC0\xCE", "krn", "확인"},
      {"\xCE\xF2\xEC\xE5\xED\xE0", "rus", "Отмена"},
      {"Fu\xDF", "ger", "Fuß"},
      // The same byte under Polish is the code page 1250 letter.
      {"\xB3", "pol", "ł"},
      // UTF-8 wins even under a tag whose code page would read the bytes differently.
      {"\xE7\xA2\xBA\xE5\xAE\x9A", "cht", "確定"},
      // The characters either side of the surrogates are UTF-8; an overlong form, a
      // surrogate and a cut sequence are not.
      {"\xED\x9F\xBF\xEE\x80\x80", "ger", "\xED\x9F\xBF\xEE\x80\x80"},
      {"\xC0\xAF", "ger", "À¯"},
      {"\xED\xA0\x80", "ger", "í\u00A0€"},
      {"ab\xE7\xA2", "ger", "abç¢"},
  };
  for (const Case& c : cases) EXPECT_EQ(LanguageTextUtf8(c.bytes, c.tag), c.shown) << c.tag;
  // A byte Big5 cannot read is marked (each system with its own character), and the
  // text after it still shows.
  const std::string marked = LanguageTextUtf8("\xFFOK", "cht");
  EXPECT_GT(marked.size(), 2u);
  EXPECT_EQ(marked.substr(marked.size() - 2), "OK");
  EXPECT_EQ(CodePageToUtf8("a\xE9", 65001 + 7), "aé") << "an unknown code page reads as Latin-1";
}

}  // namespace
}  // namespace kiln::i18n
