#include "tools/entry_edits.h"

#include "platform/ini_document.h"
#include "platform/profile.h"

namespace kiln::tools {

RemoveKeyResult RemoveIniKey(const char* section, const char* key, const char* path) {
  if (section == nullptr || key == nullptr || path == nullptr) return RemoveKeyResult::kNotFound;
  const auto remove = [&](platform::IniDocument& document) {
    bool removed = false;
    while (document.DeleteKey(section, key)) removed = true;
    return removed;
  };
  switch (platform::EditProfile(path, remove)) {
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

}  // namespace kiln::tools
