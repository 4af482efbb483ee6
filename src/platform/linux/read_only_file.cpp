#include "platform/read_only_file.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kiln::platform {

namespace {

int64_t Nanoseconds(const timespec& time) {
  return static_cast<int64_t>(time.tv_sec) * 1'000'000'000 + time.tv_nsec;
}

FileStamp StampOf(const struct stat& status) {
  return FileStamp{static_cast<uint64_t>(status.st_dev), static_cast<uint64_t>(status.st_ino),
                   static_cast<uint64_t>(status.st_size), Nanoseconds(status.st_ctim),
                   Nanoseconds(status.st_mtim)};
}

}  // namespace

ReadOnlyFile::ReadOnlyFile(const char* path) {
  if (path == nullptr) return;
  // O_NONBLOCK: opening a FIFO would otherwise wait for a writer, for good if none comes.
  // It changes nothing for a regular file, the only kind kept open.
  handle_ = ::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (handle_ < 0) return;
  struct stat opened {};
  if (::fstat(handle_, &opened) != 0 || !S_ISREG(opened.st_mode)) {
    ::close(handle_);
    handle_ = -1;
    return;
  }
  opened_ = StampOf(opened);
  size_ = opened_.size;
}

ReadOnlyFile::~ReadOnlyFile() {
  if (handle_ >= 0) ::close(handle_);
}

std::optional<FileStamp> ReadOnlyFile::StampNow() const {
  struct stat now {};
  if (::fstat(handle_, &now) != 0) return std::nullopt;
  return StampOf(now);
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
