#include "platform/atomic_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "platform/linux/unique_fd.h"

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

// Temporary files are named after their target with this infix and a unique ending.
constexpr const char* kTempInfix = ".kilntmp.";

bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// A writer holds an exclusive lock on its temporary file until the rename; the kernel
// drops it when the writer dies. A temporary file nobody holds a lock on was left by a
// writer that was killed before it could remove it: delete it, so that a crash leaves
// at most one such file until the next write.
void RemoveAbandonedTemps(const std::string& target) {
  const std::string folder = FolderOf(target);
  const std::size_t slash = target.rfind('/');
  const std::string prefix =
      (slash == std::string::npos ? target : target.substr(slash + 1)) + kTempInfix;
  struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
  };
  const std::unique_ptr<DIR, DirCloser> dir(::opendir(folder.c_str()));
  if (!dir) return;
  while (const dirent* entry = ::readdir(dir.get())) {
    if (std::strncmp(entry->d_name, prefix.c_str(), prefix.size()) != 0) continue;
    const std::string path = folder + "/" + entry->d_name;
    UniqueFd temp(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
    if (temp.get() < 0 || ::flock(temp.get(), LOCK_EX | LOCK_NB) != 0) continue;
    struct stat held {};
    struct stat named {};
    // Still the same file under that name (not renamed by its writer meanwhile).
    if (::fstat(temp.get(), &held) == 0 && S_ISREG(held.st_mode) &&
        ::lstat(path.c_str(), &named) == 0 && SameFile(held, named)) {
      ::unlink(path.c_str());
    }
  }
}

// Creates and locks a new temporary file beside target. The lock is taken on a second
// descriptor of the same open file (lockFd), so that it outlasts closing fd.
bool CreateLockedTemp(const std::string& target, std::string& tempPath, UniqueFd& fd,
                      UniqueFd& lockFd) {
  for (int attempt = 0; attempt < 3; ++attempt) {
    tempPath = target + kTempInfix + "XXXXXX";
    fd = UniqueFd(::mkstemp(tempPath.data()));
    if (fd.get() < 0) return false;
    lockFd = UniqueFd(::fcntl(fd.get(), F_DUPFD_CLOEXEC, 0));
    const bool locked = lockFd.get() >= 0 && ::flock(lockFd.get(), LOCK_EX) == 0;
    struct stat held {};
    struct stat named {};
    // Another writer may have taken the new file for an abandoned one before the lock.
    const bool ours = ::fstat(fd.get(), &held) == 0 && ::lstat(tempPath.c_str(), &named) == 0 &&
                      SameFile(held, named);
    if (locked && ours) return true;
    if (ours) ::unlink(tempPath.c_str());
    fd.Close();
    lockFd.Close();
  }
  return false;
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

  RemoveAbandonedTemps(target);
  std::string tempPath;
  UniqueFd fd;
  UniqueFd lockFd;
  if (!CreateLockedTemp(target, tempPath, fd, lockFd)) return false;

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
