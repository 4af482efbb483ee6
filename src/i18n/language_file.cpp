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

const char* LanguageFile::Translate(std::string_view text) {
  key_ = text;
  return Lookup(key_.c_str());
}

const char* LanguageFile::GetText(std::string_view key, uint32_t resource) {
  // The resource text may be longer than a result can hold; it is cut like any value.
  LanguageText defaultText(LoadStringResource(resource));
  key_ = key;
  return Lookup(defaultText.c_str());
}

const char* LanguageFile::Lookup(const char* defaultText) {
  platform::GetPrivateProfileStringA(section_.c_str(), key_.c_str(), defaultText, result_.data(),
                                     static_cast<uint32_t>(result_.capacity()), file_.c_str());
  if (result_.empty()) result_ = defaultText;
  return result_.c_str();
}

}  // namespace kiln::i18n
