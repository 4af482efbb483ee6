// Editing Kiln.ini as a whole document, the same on every system: the file is read once,
// edited, and replaced atomically, so a crash never leaves half of it written.

#include <functional>
#include <string>

#include "platform/atomic_file.h"
#include "platform/file_probe.h"
#include "platform/ini_document.h"
#include "platform/profile.h"

namespace kiln::platform {

ProfileEdit EditProfile(const char* path, const std::function<bool(IniDocument&)>& edit) {
  if (path == nullptr) return ProfileEdit::kCannotRead;
  std::string content;
  switch (ReadWholeFile(path, content)) {
    case ReadResult::kOk:
      if (IsReadOnlyFile(path)) return ProfileEdit::kReadOnly;
      break;
    case ReadResult::kMissing:
      break;
    case ReadResult::kNotAFile:
    case ReadResult::kError:
      return ProfileEdit::kCannotRead;
  }
  IniDocument document(content);
  const bool changed = edit(document);
  if (document.refused()) return ProfileEdit::kRefused;
  if (!changed) return ProfileEdit::kUnchanged;
  return WriteFileAtomically(path, document.Render()) ? ProfileEdit::kWritten
                                                      : ProfileEdit::kCannotReplace;
}

}  // namespace kiln::platform
