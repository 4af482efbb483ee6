#include "platform/read_only_file.h"

#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

namespace kiln::platform {

namespace {

bool SameTime(const timespec& a, const timespec& b) {
  return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

}  // namespace

ReadOnlyFile::ReadOnlyFile(const char* path) {
  if (path == nullptr) return;
  // O_NONBLOCK: opening a FIFO would otherwise wait for a writer, for good if none comes.
  // It changes nothing for a regular file, the only kind kept open.
  handle_ = ::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (handle_ < 0) return;
  if (::fstat(handle_, &opened_) != 0 || !S_ISREG(opened_.st_mode)) {
    ::close(handle_);
    handle_ = -1;
    return;
  }
  size_ = static_cast<uint64_t>(opened_.st_size);
}

ReadOnlyFile::~ReadOnlyFile() {
  if (handle_ >= 0) ::close(handle_);
}

bool ReadOnlyFile::Unchanged() {
  struct stat now {};
  changed_ = ::fstat(handle_, &now) != 0 || now.st_dev != opened_.st_dev ||
             now.st_ino != opened_.st_ino || now.st_size != opened_.st_size ||
             !SameTime(now.st_ctim, opened_.st_ctim) || !SameTime(now.st_mtim, opened_.st_mtim);
  return !changed_;
}

bool ReadOnlyFile::ReadAt(uint64_t offset, uint8_t* into, uint32_t length) {
  if (handle_ < 0) return false;
  while (length > 0) {
    const ssize_t n = ::pread(handle_, into, length, static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    into += n;
    offset += static_cast<uint64_t>(n);
    length -= static_cast<uint32_t>(n);
  }
  return true;
}

}  // namespace kiln::platform
