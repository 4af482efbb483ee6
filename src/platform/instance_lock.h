#pragma once

#include <memory>
#include <optional>
#include <string>

namespace kiln::platform {

// The machine-wide single-instance rule: the first process takes an exclusive lock on
// one lock file and keeps it for its lifetime; the kernel drops it when the process
// ends, however it ends. A process that cannot take it is not the first.
// Windows: the lock is a named mutex in the global namespace (the session's own when the
// global one cannot be created) that the first process creates; the name's object goes
// with the last handle, so with the process that holds it.
class InstanceLock {
 public:
  // The lock for the lock file in the global lock folder (KILN_LOCK_DIR moves it).
  static std::optional<InstanceLock> TryAcquire();
  // The lock for a given lock file (Windows: mutex name; tests).
  static std::optional<InstanceLock> TryAcquire(const std::string& lockFile);

  InstanceLock(InstanceLock&&) noexcept;
  InstanceLock& operator=(InstanceLock&&) noexcept;
  ~InstanceLock();

 private:
  // What the system holds the lock by (Linux: the lock file's descriptor; Windows: the
  // mutex's handle), given back when the lock goes.
  struct Held;
  explicit InstanceLock(std::unique_ptr<Held> held);
  std::unique_ptr<Held> held_;
};

}  // namespace kiln::platform
