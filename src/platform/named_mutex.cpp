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

namespace kiln::platform {

namespace {

constexpr std::string_view kGlobalPrefix = "Global\\";

bool IsPlainNameCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
         c == '_' || c == '-';
}

// Creates the folder when missing; a shared folder gets the sticky, world-writable mode
// of /tmp so that every user can add lock files but nobody can remove another's.
bool EnsureFolder(const std::string& folder, bool shared) {
  std::error_code error;
  if (std::filesystem::is_directory(folder, error)) return true;
  std::filesystem::create_directories(folder, error);
  if (error) return false;
  ::chmod(folder.c_str(), shared ? 01777 : 0700);
  return true;
}

// One lock file as the whole process sees it: a single open file description, so that
// the kernel's lock is held by the process, and the thread ownership kept beside it.
class ProcessLock {
 public:
  explicit ProcessLock(int fd) : fd_(fd) {}
  ~ProcessLock() { ::close(fd_); }
  ProcessLock(const ProcessLock&) = delete;
  ProcessLock& operator=(const ProcessLock&) = delete;

  void Lock() {
    const std::thread::id self = std::this_thread::get_id();
    std::unique_lock<std::mutex> guard(mutex_);
    if (owner_ == self) {
      ++depth_;
      return;
    }
    released_.wait(guard, [this] { return owner_ == std::thread::id(); });
    owner_ = self;
    depth_ = 1;
    guard.unlock();
    SetFileLock(F_WRLCK);  // waits for other processes outside the in-process lock
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
    SetFileLock(F_UNLCK);
    owner_ = std::thread::id();
    released_.notify_all();
  }

  void SetFileLock(short type) {
    struct flock range = {};
    range.l_type = type;
    range.l_whence = SEEK_SET;
    while (::fcntl(fd_, F_OFD_SETLKW, &range) != 0 && errno == EINTR) {
    }
  }

  int fd_;
  std::mutex mutex_;
  std::condition_variable released_;
  std::thread::id owner_;
  uint32_t depth_ = 0;
};

std::shared_ptr<ProcessLock> SharedProcessLock(const std::string& path, bool shared) {
  static std::mutex registryMutex;
  static std::map<std::string, std::weak_ptr<ProcessLock>> registry;
  std::lock_guard<std::mutex> guard(registryMutex);
  std::erase_if(registry, [](const auto& entry) { return entry.second.expired(); });
  if (auto existing = registry[path].lock()) return existing;
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) return nullptr;
  if (shared) ::fchmod(fd, 0666);  // other users must be able to lock it too
  auto lock = std::make_shared<ProcessLock>(fd);
  registry[path] = lock;
  return lock;
}

class FileNamedMutex final : public NamedMutex {
 public:
  explicit FileNamedMutex(std::shared_ptr<ProcessLock> lock) : lock_(std::move(lock)) {}
  ~FileNamedMutex() override { lock_->Abandon(holds_); }

  void Lock() override {
    lock_->Lock();
    ++holds_;
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

std::string LockFilePath(std::string_view mutexName, const LockFolders& folders) {
  const bool global = mutexName.substr(0, kGlobalPrefix.size()) == kGlobalPrefix;
  if (global) mutexName.remove_prefix(kGlobalPrefix.size());
  std::string path = global ? folders.global : folders.local;
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

std::unique_ptr<NamedMutex> OpenNamedMutex(std::string_view mutexName) {
  return OpenNamedMutex(mutexName, CurrentLockFolders());
}

std::unique_ptr<NamedMutex> OpenNamedMutex(std::string_view mutexName, const LockFolders& folders) {
  const bool global = mutexName.substr(0, kGlobalPrefix.size()) == kGlobalPrefix;
  if (!EnsureFolder(global ? folders.global : folders.local, global)) return nullptr;
  auto lock = SharedProcessLock(LockFilePath(mutexName, folders), global);
  if (!lock) return nullptr;
  return std::make_unique<FileNamedMutex>(std::move(lock));
}

}  // namespace kiln::platform
