// "Set the attributes to normal" on Linux: the owner's write permission stands for the
// cleared read-only attribute.

#include <sys/stat.h>

#include "platform/profile.h"

namespace kiln::platform {

bool SetFileAttributesNormal(const char* path) {
  if (path == nullptr) return false;
  struct stat info {};
  if (::stat(path, &info) != 0) return false;
  if ((info.st_mode & S_IWUSR) != 0) return true;
  return ::chmod(path, (info.st_mode & 07777) | S_IWUSR) == 0;
}

}  // namespace kiln::platform
