#include "tools/entry_edits.h"

#include "config/config_file.h"
#include "platform/ini_document.h"

namespace kiln::tools {

void EntryEdits::Set(std::string key, std::string value) {
  edits_.push_back({std::move(key), std::move(value), false});
}

void EntryEdits::Remove(std::string key) {
  edits_.push_back({std::move(key), {}, true});
}

platform::ProfileEdit EntryEdits::Apply(const char* path) const {
  return platform::EditProfile(path, [this](platform::IniDocument& document) {
    bool changed = false;
    for (const Edit& edit : edits_) {
      if (!edit.remove) {
        changed = document.SetValue(section_, edit.key, edit.value) || changed;
        continue;
      }
      while (document.DeleteKey(section_, edit.key)) changed = true;
    }
    return changed;
  });
}

RemoveKeyResult RemoveIniKey(const char* section, const char* key, const char* path) {
  if (section == nullptr || key == nullptr || path == nullptr) return RemoveKeyResult::kNotFound;
  EntryEdits edits(section);
  edits.Remove(key);
  switch (edits.Apply(path)) {
    case platform::ProfileEdit::kWritten:
      return RemoveKeyResult::kRemoved;
    case platform::ProfileEdit::kUnchanged:
      return RemoveKeyResult::kNotFound;
    case platform::ProfileEdit::kCannotRead:
      return RemoveKeyResult::kCannotOpen;
    case platform::ProfileEdit::kReadOnly:
    case platform::ProfileEdit::kCannotReplace:
    case platform::ProfileEdit::kRefused:
      break;
  }
  return RemoveKeyResult::kCannotWrite;
}

std::string EntrySectionInUse(const char* iniPath, int index) {
  std::string numbered = config::EntrySectionName(index).c_str();
  if (index != 1) return numbered;
  char buffer[512];
  const auto HasKeyLines = [&](const char* section) {
    return platform::GetPrivateProfileSectionA(section, buffer, sizeof buffer, iniPath) > 0;
  };
  return !HasKeyLines(numbered.c_str()) && HasKeyLines("FW_INFO") ? "FW_INFO" : numbered;
}

}  // namespace kiln::tools
