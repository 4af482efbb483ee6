#include "platform/file_probe.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/linux/unique_fd.h"

namespace kiln::platform {

FileAccess ProbeFile(const char* path) {
  if (path == nullptr || *path == '\0') return FileAccess::kMissing;
  const UniqueFd file(::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (file.get() < 0) {
    switch (errno) {
      case ENOENT:
      case ENOTDIR:
        return FileAccess::kMissing;
      case EACCES:
      case EPERM:
        return FileAccess::kDenied;
      case ETXTBSY:
      case EBUSY:
        return FileAccess::kInUse;
      default:
        return FileAccess::kFailed;
    }
  }
  struct stat info {};
  if (::fstat(file.get(), &info) != 0) return FileAccess::kFailed;
  return S_ISREG(info.st_mode) ? FileAccess::kReadable : FileAccess::kNotAFile;
}

bool IsReadOnlyFile(const char* path) {
  struct stat info {};
  return ::stat(path, &info) != 0 || (info.st_mode & S_IWUSR) == 0;
}

}  // namespace kiln::platform
