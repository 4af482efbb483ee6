#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <string>

namespace kiln::testing {

// Whether another open file description (as another process would have) finds the lock
// file locked.
inline bool LockedByOthers(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) return false;
  struct flock range = {};
  range.l_type = F_WRLCK;
  range.l_whence = SEEK_SET;
  const bool held = ::fcntl(fd, F_OFD_GETLK, &range) == 0 && range.l_type != F_UNLCK;
  ::close(fd);
  return held;
}

}  // namespace kiln::testing
