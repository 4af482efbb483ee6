#pragma once

#include <windows.h>

#include <utility>

namespace kiln::platform::windows {

// Owns a kernel object handle and closes it when destroyed (null or
// INVALID_HANDLE_VALUE: owns nothing).
class UniqueHandle {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(HANDLE handle) : handle_(handle) {}
  UniqueHandle(UniqueHandle&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    std::swap(handle_, other.handle_);
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  ~UniqueHandle() { Close(); }

  HANDLE get() const { return handle_; }
  bool valid() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
  // Closes now; false when CloseHandle reports an error.
  bool Close() {
    const bool ok = !valid() || ::CloseHandle(handle_) != 0;
    handle_ = nullptr;
    return ok;
  }

 private:
  HANDLE handle_ = nullptr;
};

}  // namespace kiln::platform::windows
