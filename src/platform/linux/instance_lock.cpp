#include "platform/instance_lock.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <filesystem>

#include "platform/linux/unique_fd.h"
#include "platform/named_mutex.h"

namespace kiln::platform {

struct InstanceLock::Held {
  UniqueFd fd;
};

InstanceLock::InstanceLock(std::unique_ptr<Held> held) : held_(std::move(held)) {}
InstanceLock::InstanceLock(InstanceLock&&) noexcept = default;
InstanceLock& InstanceLock::operator=(InstanceLock&&) noexcept = default;
InstanceLock::~InstanceLock() = default;

std::optional<InstanceLock> InstanceLock::TryAcquire() {
  const std::string folder = CurrentLockFolders().global;
  std::error_code error;
  if (!std::filesystem::is_directory(folder, error)) {
    std::filesystem::create_directories(folder, error);
    // Shared by every user, like /tmp: anyone may add a file, nobody may remove another's.
    if (!error) ::chmod(folder.c_str(), 01777);
  }
  return TryAcquire(folder + "/kiln-instance.lock");
}

std::optional<InstanceLock> InstanceLock::TryAcquire(const std::string& lockFile) {
  // Read-only is enough for flock, so a lock file another user created still serves.
  UniqueFd fd(::open(lockFile.c_str(), O_RDONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644));
  if (fd.get() < 0) {
    // Without a usable lock file the rule cannot be kept; running beats refusing to run.
    return InstanceLock(std::make_unique<Held>());
  }
  int rc;
  do {
    rc = ::flock(fd.get(), LOCK_EX | LOCK_NB);
  } while (rc != 0 && errno == EINTR);
  if (rc != 0 && errno == EWOULDBLOCK) return std::nullopt;
  return InstanceLock(std::make_unique<Held>(Held{std::move(fd)}));
}

}  // namespace kiln::platform
