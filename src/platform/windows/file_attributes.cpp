// "Set the attributes to normal": the read-only attribute is cleared, the others kept.

#include <windows.h>

#include "platform/profile.h"
#include "platform/windows/wide_text.h"

namespace kiln::platform {

bool SetFileAttributesNormal(const char* path) {
  if (path == nullptr) return false;
  const std::wstring wide = windows::WidePath(path);
  const DWORD attributes = ::GetFileAttributesW(wide.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return false;
  if ((attributes & FILE_ATTRIBUTE_READONLY) == 0) return true;
  return ::SetFileAttributesW(wide.c_str(), attributes & ~DWORD{FILE_ATTRIBUTE_READONLY}) != 0;
}

}  // namespace kiln::platform
