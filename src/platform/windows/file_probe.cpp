#include "platform/file_probe.h"

#include <windows.h>

#include "platform/windows/unique_handle.h"
#include "platform/windows/wide_text.h"

namespace kiln::platform {

namespace {

FileAccess AccessOf(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
      return FileAccess::kMissing;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return FileAccess::kInUse;
    case ERROR_ACCESS_DENIED:
      return FileAccess::kDenied;
    default:
      return FileAccess::kFailed;
  }
}

}  // namespace

FileAccess ProbeFile(const char* path) {
  if (path == nullptr || *path == '\0') return FileAccess::kMissing;
  const std::wstring wide = windows::WidePath(path);
  const DWORD attributes = ::GetFileAttributesW(wide.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return AccessOf(::GetLastError());
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return FileAccess::kNotAFile;
  const windows::UniqueHandle file(::CreateFileW(
      wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return AccessOf(::GetLastError());
  return ::GetFileType(file.get()) == FILE_TYPE_DISK ? FileAccess::kReadable
                                                     : FileAccess::kNotAFile;
}

bool IsReadOnlyFile(const char* path) {
  const DWORD attributes = ::GetFileAttributesW(windows::WidePath(path).c_str());
  return attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_READONLY) != 0;
}

}  // namespace kiln::platform
