#include "i18n/code_page.h"

namespace kiln::i18n {

uint32_t LanguageCodePage(std::string_view languageTag) {
  struct TagPage {
    std::string_view tag;
    uint32_t codePage;
  };
  static constexpr TagPage kPages[] = {
      {"cht", 950}, {"chs", 936}, {"jpn", 932}, {"krn", 949}, {"rus", 1251}, {"pol", 1250},
  };
  for (const TagPage& page : kPages) {
    if (page.tag == languageTag) return page.codePage;
  }
  return 1252;
}

bool IsValidUtf8(std::string_view bytes) {
  std::size_t at = 0;
  while (at < bytes.size()) {
    const auto lead = static_cast<unsigned char>(bytes[at]);
    std::size_t length = 0;
    uint32_t lowest = 0;  // the smallest value the length may carry (no overlong forms)
    uint32_t value = 0;
    if (lead < 0x80) {
      ++at;
      continue;
    }
    if ((lead & 0xE0) == 0xC0) {
      length = 2, lowest = 0x80, value = lead & 0x1Fu;
    } else if ((lead & 0xF0) == 0xE0) {
      length = 3, lowest = 0x800, value = lead & 0x0Fu;
    } else if ((lead & 0xF8) == 0xF0) {
      length = 4, lowest = 0x10000, value = lead & 0x07u;
    } else {
      return false;
    }
    if (bytes.size() - at < length) return false;
    for (std::size_t i = 1; i < length; ++i) {
      const auto next = static_cast<unsigned char>(bytes[at + i]);
      if ((next & 0xC0) != 0x80) return false;
      value = (value << 6) | (next & 0x3Fu);
    }
    if (value < lowest || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return false;
    at += length;
  }
  return true;
}

std::string Latin1ToUtf8(std::string_view bytes) {
  std::string out;
  for (const char byte : bytes) {
    const auto code = static_cast<unsigned char>(byte);
    if (code < 0x80) {
      out += byte;
    } else {
      out += static_cast<char>(0xC0 | (code >> 6));
      out += static_cast<char>(0x80 | (code & 0x3F));
    }
  }
  return out;
}

std::string LanguageTextUtf8(std::string_view bytes, std::string_view languageTag) {
  if (IsValidUtf8(bytes)) return std::string(bytes);
  return CodePageToUtf8(bytes, LanguageCodePage(languageTag));
}

}  // namespace kiln::i18n
