#include "platform/file_probe.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/linux/unique_fd.h"

namespace kiln::platform {

bool FileExists(const char* path) {
  if (path == nullptr || *path == '\0') return false;
  const UniqueFd file(::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (file.get() < 0) return false;
  struct stat info {};
  return ::fstat(file.get(), &info) == 0 && S_ISREG(info.st_mode);
}

bool IsReadOnlyFile(const char* path) {
  struct stat info {};
  return ::stat(path, &info) != 0 || (info.st_mode & S_IWUSR) == 0;
}

}  // namespace kiln::platform
