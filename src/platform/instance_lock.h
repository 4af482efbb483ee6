#pragma once

#include <optional>
#include <string>

#include "platform/unique_fd.h"

namespace kiln::platform {

// The machine-wide single-instance rule: the first process takes an exclusive lock on
// one lock file and keeps it for its lifetime; the kernel drops it when the process
// ends, however it ends. A process that cannot take it is not the first.
class InstanceLock {
 public:
  // The lock for the lock file in the global lock folder (KILN_LOCK_DIR moves it).
  static std::optional<InstanceLock> TryAcquire();
  // The lock for a given lock file (tests).
  static std::optional<InstanceLock> TryAcquire(const std::string& lockFile);

 private:
  explicit InstanceLock(UniqueFd fd) : fd_(std::move(fd)) {}
  UniqueFd fd_;
};

}  // namespace kiln::platform
