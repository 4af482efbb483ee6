#include "i18n/language_file.h"

#include "platform/file_probe.h"
#include "platform/profile.h"

namespace kiln::i18n {

bool LanguageFile::SetFile(std::string_view path) {
  file_ = path;
  return !file_.empty() && platform::FileExists(file_.c_str());
}

bool LanguageFile::SetSection(std::string_view name) {
  section_ = name;
  return !section_.empty();
}

LanguageText LanguageFile::Translate(std::string_view text) const {
  return Lookup(text, LanguageText(text));
}

LanguageText LanguageFile::GetText(std::string_view key, uint32_t resource) const {
  // The resource text may be longer than a result can hold; it is cut like any value.
  return Lookup(key, LanguageText(LoadStringResource(resource)));
}

LanguageText LanguageFile::Lookup(std::string_view key, const LanguageText& defaultText) const {
  // The key gets a buffer of its own: it may be a view of a text an earlier lookup gave.
  const LanguageText keyText(key);
  LanguageText result;
  platform::GetPrivateProfileStringA(section_.c_str(), keyText.c_str(), defaultText.c_str(),
                                     result.data(), static_cast<uint32_t>(result.capacity()),
                                     file_.c_str());
  if (result.empty()) return defaultText;
  return result;
}

}  // namespace kiln::i18n
