// Read-only files through the C runtime's wide open, so that any Unicode name opens.

#include "platform/read_only_file.h"

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include "platform/windows/wide_text.h"

namespace kiln::platform {

namespace {

// The time of the last write to the open file, as finely as the file system keeps it.
uint64_t LastWriteTime(int handle) {
  FILETIME written{};
  const auto file = reinterpret_cast<HANDLE>(::_get_osfhandle(handle));
  if (!::GetFileTime(file, nullptr, nullptr, &written)) return 0;
  return (static_cast<uint64_t>(written.dwHighDateTime) << 32) | written.dwLowDateTime;
}

}  // namespace

ReadOnlyFile::ReadOnlyFile(const char* path) {
  if (path == nullptr || *path == '\0') return;
  handle_ = ::_wopen(windows::WidePath(path).c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
  if (handle_ < 0) return;
  struct stat opened {};
  if (::fstat(handle_, &opened) != 0 || !S_ISREG(opened.st_mode)) {
    ::_close(handle_);
    handle_ = -1;
    return;
  }
  const std::optional<FileStamp> stamp = StampNow();
  if (stamp) opened_ = *stamp;
  size_ = static_cast<uint64_t>(opened.st_size);
}

ReadOnlyFile::~ReadOnlyFile() {
  if (handle_ >= 0) ::_close(handle_);
}

std::optional<FileStamp> ReadOnlyFile::StampNow() const {
  // Windows keeps no inode number here: the size and the last write's time tell (stat
  // keeps whole seconds, the write time 100 ns steps).
  struct stat now {};
  if (::fstat(handle_, &now) != 0) return std::nullopt;
  FileStamp stamp;
  stamp.size = static_cast<uint64_t>(now.st_size);
  stamp.writeTime = static_cast<int64_t>(LastWriteTime(handle_));
  return stamp;
}

bool ReadOnlyFile::ReadAt(uint64_t offset, uint8_t* into, uint32_t length) {
  if (handle_ < 0) return false;
  if (::_lseeki64(handle_, static_cast<__int64>(offset), SEEK_SET) < 0) return false;
  while (length > 0) {
    const unsigned chunk = length > 0x40000000u ? 0x40000000u : length;
    const int n = ::_read(handle_, into, chunk);
    if (n <= 0) return false;
    into += n;
    length -= static_cast<uint32_t>(n);
  }
  return true;
}

}  // namespace kiln::platform
