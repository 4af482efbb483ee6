#include "platform/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <memory>

#include "platform/unique_fd.h"

namespace kiln::platform {

namespace {

bool WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t n = ::write(fd, data.data(), data.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// The file that a write must replace: the target of a symbolic link, else path itself.
std::string ResolveTarget(const char* path) {
  struct stat info {};
  if (::lstat(path, &info) == 0 && S_ISLNK(info.st_mode)) {
    std::unique_ptr<char, decltype(&std::free)> real(::realpath(path, nullptr), &std::free);
    if (real) return real.get();
  }
  return path;
}

}  // namespace

ReadResult ReadWholeFile(const char* path, std::string& content) {
  content.clear();
  UniqueFd fd(::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (fd.get() < 0)
    return errno == ENOENT || errno == ENOTDIR ? ReadResult::kMissing : ReadResult::kError;
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0) return ReadResult::kError;
  if (!S_ISREG(info.st_mode)) return ReadResult::kNotAFile;
  content.reserve(static_cast<std::size_t>(info.st_size));
  char buffer[16384];
  for (;;) {
    const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      content.clear();
      return ReadResult::kError;
    }
    content.append(buffer, static_cast<std::size_t>(n));
  }
  return ReadResult::kOk;
}

bool WriteFileAtomically(const char* path, std::string_view content) {
  const std::string target = ResolveTarget(path);
  struct stat old {};
  const bool existed = ::stat(target.c_str(), &old) == 0;

  std::string tempPath = target + ".XXXXXX";
  UniqueFd fd(::mkstemp(tempPath.data()));
  if (fd.get() < 0) return false;

  bool ok = WriteAll(fd.get(), content);
  if (ok) {
    if (existed) {
      ok = ::fchmod(fd.get(), old.st_mode & 07777) == 0;
      // Keeping the owner only succeeds for a privileged process; a failure is harmless.
      if (::fchown(fd.get(), old.st_uid, old.st_gid) != 0) {
      }
    } else {
      const mode_t mask = ::umask(0);
      ::umask(mask);
      ok = ::fchmod(fd.get(), 0666 & ~mask) == 0;
    }
  }
  ok = ok && ::fsync(fd.get()) == 0;
  ok = fd.Close() && ok;
  ok = ok && ::rename(tempPath.c_str(), target.c_str()) == 0;
  if (!ok) {
    ::unlink(tempPath.c_str());
    return false;
  }
  // Make the rename itself durable.
  UniqueFd folder(::open(FolderOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (folder.get() >= 0) ::fsync(folder.get());
  return true;
}

}  // namespace kiln::platform
