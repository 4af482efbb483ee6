#include "platform/read_only_file.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kiln::platform {

ReadOnlyFile::ReadOnlyFile(const char* path) {
  if (path == nullptr) return;
  handle_ = ::open(path, O_RDONLY | O_CLOEXEC);
  if (handle_ < 0) return;
  struct stat info {};
  if (::fstat(handle_, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(handle_);
    handle_ = -1;
    return;
  }
  size_ = static_cast<uint64_t>(info.st_size);
}

ReadOnlyFile::~ReadOnlyFile() {
  if (handle_ >= 0) ::close(handle_);
}

bool ReadOnlyFile::ReadFully(uint8_t* into, uint32_t length) {
  if (handle_ < 0) return false;
  while (length > 0) {
    const ssize_t n = ::read(handle_, into, length);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    into += n;
    length -= static_cast<uint32_t>(n);
  }
  return true;
}

}  // namespace kiln::platform
