#include "platform/log_stream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kiln::platform {

std::FILE* OpenLogStream(const char* path) {
  const int fd = ::open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0666);
  if (fd < 0) return nullptr;
  struct stat info {};
  std::FILE* stream = nullptr;
  if (::fstat(fd, &info) == 0 &&
      (S_ISREG(info.st_mode) || S_ISCHR(info.st_mode) || S_ISFIFO(info.st_mode) ||
       S_ISSOCK(info.st_mode)) &&
      ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) == 0) {
    stream = ::fdopen(fd, "a");
  }
  if (stream == nullptr) ::close(fd);
  return stream;
}

}  // namespace kiln::platform
