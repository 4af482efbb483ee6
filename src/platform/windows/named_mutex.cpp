// Named mutexes are the system's own: CreateMutexW with the name in the session's
// namespace for this user's processes, "Global\<name>" for every user's.

#include "platform/named_mutex.h"

#include <windows.h>

#include <atomic>
#include <thread>

#include "platform/windows/unique_handle.h"
#include "platform/windows/wide_text.h"

namespace kiln::platform {

namespace {

class WindowsNamedMutex final : public NamedMutex {
 public:
  explicit WindowsNamedMutex(windows::UniqueHandle handle) : handle_(std::move(handle)) {}

  ~WindowsNamedMutex() override {
    // Closing a handle does not release a mutex: the holds of the thread that owns it
    // are given back first (another thread's cannot be, the system does at its end).
    if (owner_ == std::this_thread::get_id()) {
      while (depth_ > 0 && ::ReleaseMutex(handle_.get())) --depth_;
    }
  }

  bool Lock() override {
    const DWORD result = ::WaitForSingleObject(handle_.get(), INFINITE);
    // An abandoned mutex (its owner ended without releasing it) is owned all the same.
    if (result != WAIT_OBJECT_0 && result != WAIT_ABANDONED) return false;
    owner_ = std::this_thread::get_id();
    ++depth_;
    return true;
  }

  bool Unlock() override {
    if (owner_ != std::this_thread::get_id() || depth_ == 0) return false;
    if (!::ReleaseMutex(handle_.get())) return false;
    if (--depth_ == 0) owner_ = std::thread::id();
    return true;
  }

 private:
  windows::UniqueHandle handle_;
  // Written by the owning thread only, while it holds the mutex.
  std::atomic<std::thread::id> owner_{};
  uint32_t depth_ = 0;
};

}  // namespace

std::unique_ptr<NamedMutex> OpenNamedMutex(std::string_view mutexName, LockScope scope) {
  std::string name(mutexName);
  if (scope == LockScope::kEveryUser) name = "Global\\" + name;
  windows::UniqueHandle handle(::CreateMutexW(nullptr, FALSE, windows::Wide(name).c_str()));
  if (!handle.valid()) return nullptr;
  return std::make_unique<WindowsNamedMutex>(std::move(handle));
}

std::unique_ptr<NamedMutex> OpenNamedMutex(std::string_view mutexName, LockScope scope,
                                           const LockFolders& /*folders*/) {
  return OpenNamedMutex(mutexName, scope);
}

}  // namespace kiln::platform
