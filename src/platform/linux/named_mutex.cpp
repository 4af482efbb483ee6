#include "platform/named_mutex.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>
#include <thread>

#include "platform/linux/unique_fd.h"

namespace kiln::platform {

namespace {

bool IsPlainNameCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
         c == '_' || c == '-';
}

// One lock file as the whole process sees it: a single open file description, so that
// the kernel's lock is held by the process, and the thread ownership kept beside it.
class ProcessLock {
 public:
  explicit ProcessLock(UniqueFd fd) : fd_(std::move(fd)) {}
  ProcessLock(const ProcessLock&) = delete;
  ProcessLock& operator=(const ProcessLock&) = delete;

  // False when the file lock could not be taken: then the thread holds nothing.
  bool Lock() {
    const std::thread::id self = std::this_thread::get_id();
    std::unique_lock<std::mutex> guard(mutex_);
    if (owner_ == self) {
      ++depth_;
      return true;
    }
    released_.wait(guard, [this] { return owner_ == std::thread::id(); });
    owner_ = self;
    depth_ = 1;
    guard.unlock();
    // Waits for other processes outside the in-process lock.
    if (SetFileLock(F_WRLCK)) return true;
    guard.lock();
    owner_ = std::thread::id();
    depth_ = 0;
    released_.notify_all();
    return false;
  }

  bool Unlock() {
    std::lock_guard<std::mutex> guard(mutex_);
    if (owner_ != std::this_thread::get_id() || depth_ == 0) return false;
    if (--depth_ == 0) GiveBack();
    return true;
  }

  // Gives back holds of a handle that is going away, whichever thread closes it.
  void Abandon(uint32_t holds) {
    std::lock_guard<std::mutex> guard(mutex_);
    if (owner_ == std::thread::id() || holds == 0) return;
    depth_ = holds >= depth_ ? 0 : depth_ - holds;
    if (depth_ == 0) GiveBack();
  }

 private:
  void GiveBack() {
    // An unlock that fails leaves nothing to do: the lock goes with the descriptor.
    (void)SetFileLock(F_UNLCK);
    owner_ = std::thread::id();
    released_.notify_all();
  }

  bool SetFileLock(short type) {
    struct flock range = {};
    range.l_type = type;
    range.l_whence = SEEK_SET;
    for (;;) {
      if (::fcntl(fd_.get(), F_OFD_SETLKW, &range) == 0) return true;
      if (errno != EINTR) return false;
    }
  }

  UniqueFd fd_;
  std::mutex mutex_;
  std::condition_variable released_;
  std::thread::id owner_;
  uint32_t depth_ = 0;
};

// Opens the lock file without following a symlink planted in its place, and accepts
// only a regular file. Only a file this call created has its mode opened to every user
// (in the shared folder, so that other users can lock it too).
UniqueFd OpenLockFile(const std::string& path, bool shared) {
  constexpr int kFlags = O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
  bool created = true;
  UniqueFd fd(::open(path.c_str(), kFlags | O_CREAT | O_EXCL, 0600));
  if (fd.get() < 0 && errno == EEXIST) {
    created = false;
    fd = UniqueFd(::open(path.c_str(), kFlags));
  }
  if (fd.get() < 0) return fd;
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) return UniqueFd();
  if (created && shared) ::fchmod(fd.get(), 0666);
  return fd;
}

std::shared_ptr<ProcessLock> SharedProcessLock(const std::string& path, bool shared) {
  static std::mutex registryMutex;
  static std::map<std::string, std::weak_ptr<ProcessLock>> registry;
  std::lock_guard<std::mutex> guard(registryMutex);
  std::erase_if(registry, [](const auto& entry) { return entry.second.expired(); });
  if (auto existing = registry[path].lock()) return existing;
  UniqueFd fd = OpenLockFile(path, shared);
  if (fd.get() < 0) return nullptr;
  auto lock = std::make_shared<ProcessLock>(std::move(fd));
  registry[path] = lock;
  return lock;
}

class FileNamedMutex final : public NamedMutex {
 public:
  explicit FileNamedMutex(std::shared_ptr<ProcessLock> lock) : lock_(std::move(lock)) {}
  ~FileNamedMutex() override { lock_->Abandon(holds_); }

  bool Lock() override {
    if (!lock_->Lock()) return false;
    ++holds_;
    return true;
  }
  bool Unlock() override {
    if (holds_ == 0 || !lock_->Unlock()) return false;
    --holds_;
    return true;
  }

 private:
  std::shared_ptr<ProcessLock> lock_;
  uint32_t holds_ = 0;
};

}  // namespace

bool TrustedLockFolder(const std::string& folder) {
  struct stat info {};
  if (::lstat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return false;
  if (info.st_uid != ::geteuid() && info.st_uid != 0) return false;
  const bool othersWrite = (info.st_mode & (S_IWGRP | S_IWOTH)) != 0;
  return !othersWrite || (info.st_mode & S_ISVTX) != 0;
}

bool EnsureLockFolder(const std::string& folder, bool shared) {
  std::error_code error;
  const std::filesystem::path path(folder);
  if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path(), error);
  if (::mkdir(folder.c_str(), 0700) == 0) ::chmod(folder.c_str(), shared ? 01777 : 0700);
  return TrustedLockFolder(folder);
}

LockFolders CurrentLockFolders() {
  const char* overridden = std::getenv("KILN_LOCK_DIR");
  if (overridden != nullptr && *overridden != '\0') {
    const std::string base = overridden;
    return {base + "/local", base + "/global"};
  }
  LockFolders folders;
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime != nullptr && *runtime != '\0') {
    folders.local = std::string(runtime) + "/kiln-locks";
  } else {
    folders.local = "/tmp/kiln-locks-" + std::to_string(::getuid());
  }
  std::error_code error;
  folders.global =
      std::filesystem::is_directory("/run/lock", error) && ::access("/run/lock", W_OK) == 0
          ? "/run/lock/kiln"
          : "/tmp/kiln-locks";
  return folders;
}

std::string LockFilePath(std::string_view mutexName, LockScope scope, const LockFolders& folders) {
  std::string path = scope == LockScope::kEveryUser ? folders.global : folders.local;
  path += '/';
  for (const char c : mutexName) {
    if (IsPlainNameCharacter(c)) {
      path += c;
    } else {
      char escaped[4];
      std::snprintf(escaped, sizeof escaped, "%%%02X", static_cast<unsigned char>(c));
      path += escaped;
    }
  }
  path += ".lock";
  return path;
}

std::unique_ptr<NamedMutex> OpenNamedMutex(std::string_view mutexName, LockScope scope) {
  return OpenNamedMutex(mutexName, scope, CurrentLockFolders());
}

std::unique_ptr<NamedMutex> OpenNamedMutex(std::string_view mutexName, LockScope scope,
                                           const LockFolders& folders) {
  const bool global = scope == LockScope::kEveryUser;
  if (!EnsureLockFolder(global ? folders.global : folders.local, global)) return nullptr;
  auto lock = SharedProcessLock(LockFilePath(mutexName, scope, folders), global);
  if (!lock) return nullptr;
  return std::make_unique<FileNamedMutex>(std::move(lock));
}

}  // namespace kiln::platform
