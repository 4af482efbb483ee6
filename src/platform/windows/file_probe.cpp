#include "platform/file_probe.h"

#include <windows.h>

#include "platform/windows/unique_handle.h"
#include "platform/windows/wide_text.h"

namespace kiln::platform {

bool FileExists(const char* path) {
  if (path == nullptr || *path == '\0') return false;
  const std::wstring wide = windows::WidePath(path);
  const DWORD attributes = ::GetFileAttributesW(wide.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return false;
  }
  const windows::UniqueHandle file(::CreateFileW(
      wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  return file.valid() && ::GetFileType(file.get()) == FILE_TYPE_DISK;
}

bool IsReadOnlyFile(const char* path) {
  const DWORD attributes = ::GetFileAttributesW(windows::WidePath(path).c_str());
  return attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_READONLY) != 0;
}

}  // namespace kiln::platform
