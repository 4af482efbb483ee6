#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "i18n/string_table.h"
#include "platform/fixed_text.h"

namespace kiln::i18n {

// Every text of a language source is bounded by this many characters, terminator
// included; longer texts are cut.
inline constexpr std::size_t kTextCapacity = 1024;
using LanguageText = FixedText<kTextCapacity>;

// One source of replacement texts: a section of an INI file (a language section of
// Kiln.ini, or the printer driver's language-monitor section). Each lookup reads the
// file anew through the profile functions, so an edit shows at the next lookup. A
// missing file, section or key, or an empty value, leaves the English text in place.
//
// The file and section are chosen once, before the first lookup. Lookups change
// nothing and return their text as a value, so one source serves the window, the
// state evaluation and the update at the same time.
class LanguageFile {
 public:
  // Stores the path (cut at 1023 characters); true when it is non-empty and names a
  // file that can be read.
  bool SetFile(std::string_view path);
  // Stores the section name (cut at 1023 characters); true when it is non-empty.
  bool SetSection(std::string_view name);

  // The section's value for the key equal to text, or text itself (cut at 1023
  // characters) when the value is missing or empty.
  LanguageText Translate(std::string_view text) const;
  // The section's value for key, or the text of string resource `resource` when the
  // value is missing or empty.
  LanguageText GetText(std::string_view key, uint32_t resource) const;
  LanguageText GetText(const TextKey& key) const { return GetText(key.key, key.resource); }

  const char* file() const { return file_.c_str(); }
  const char* section() const { return section_.c_str(); }

 private:
  // The section's value for key, or defaultText when the value is missing or empty.
  LanguageText Lookup(std::string_view key, const LanguageText& defaultText) const;

  LanguageText file_;
  LanguageText section_;
};

}  // namespace kiln::i18n
