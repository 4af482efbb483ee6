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
// A returned text stays valid until the next lookup on the same source; callers copy
// it. Lookups may be given a text this source returned earlier.
class LanguageFile {
 public:
  // Stores the path (cut at 1023 characters); true when it is non-empty and names a
  // file that can be read.
  bool SetFile(std::string_view path);
  // Stores the section name (cut at 1023 characters); true when it is non-empty.
  bool SetSection(std::string_view name);

  // The section's value for the key equal to text, or text itself (cut at 1023
  // characters) when the value is missing or empty.
  const char* Translate(std::string_view text);
  // The section's value for key, or the text of string resource `resource` when the
  // value is missing or empty.
  const char* GetText(std::string_view key, uint32_t resource);
  const char* GetText(const TextKey& key) { return GetText(key.key, key.resource); }

  const char* file() const { return file_.c_str(); }
  const char* section() const { return section_.c_str(); }

 private:
  // Reads the section's value for key_ with the given default into result_; falls back
  // to the default when the value is empty.
  const char* Lookup(const char* defaultText);

  LanguageText file_;
  LanguageText section_;
  LanguageText result_;
  // Holds the key of the running lookup, so that the key never shares a buffer with
  // the result it is read into (a caller may translate a text returned earlier).
  LanguageText key_;
};

}  // namespace kiln::i18n
