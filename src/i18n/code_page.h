#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Texts from the language sections of Kiln.ini and from the printer driver's
// language-monitor file are bytes: UTF-8 where the bytes are valid UTF-8, else the
// Windows code page of the language the section is for. The core keeps the bytes; a
// front end turns them into text where they become a control's text.
namespace kiln::i18n {

// The Windows code page in which texts of a language section are written: 950 (Big5)
// for cht, 936 (GBK) for chs, 932 (Shift_JIS) for jpn, 949 for krn, 1251 for rus, 1250
// for pol and 1252 for every other tag.
uint32_t LanguageCodePage(std::string_view languageTag);

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF, no sequence
// cut short.
bool IsValidUtf8(std::string_view bytes);

// The bytes of code page codePage as UTF-8, by the system's own conversion. A sequence
// the code page cannot read becomes U+FFFD and the rest is still converted; when the
// system does not know the code page, the bytes are read as Latin-1, so that the ASCII
// part of the text still shows.
std::string CodePageToUtf8(std::string_view bytes, uint32_t codePage);

// Each byte as the character of the same number: what a text becomes when the system
// does not know its code page.
std::string Latin1ToUtf8(std::string_view bytes);

// A language text as UTF-8: the bytes themselves when they are valid UTF-8, else the
// language's code page converted.
std::string LanguageTextUtf8(std::string_view bytes, std::string_view languageTag);

}  // namespace kiln::i18n
