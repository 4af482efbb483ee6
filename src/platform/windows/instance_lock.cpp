#include "platform/instance_lock.h"

#include <windows.h>

#include "platform/windows/wide_text.h"

namespace kiln::platform {

namespace {

constexpr const char* kInstanceMutexName = "Kiln.SingleInstance";

}  // namespace

struct InstanceLock::Held {
  explicit Held(HANDLE held) : mutex(held) {}
  ~Held() {
    if (mutex != nullptr) ::CloseHandle(mutex);
  }
  Held(const Held&) = delete;
  Held& operator=(const Held&) = delete;
  HANDLE mutex;
};

InstanceLock::InstanceLock(std::unique_ptr<Held> held) : held_(std::move(held)) {}
InstanceLock::InstanceLock(InstanceLock&&) noexcept = default;
InstanceLock& InstanceLock::operator=(InstanceLock&&) noexcept = default;
InstanceLock::~InstanceLock() = default;

std::optional<InstanceLock> InstanceLock::TryAcquire() {
  // Every session's instances count: the global namespace, where a user may create it.
  if (auto global = TryAcquire(std::string("Global\\") + kInstanceMutexName)) return global;
  if (::GetLastError() == ERROR_ALREADY_EXISTS) return std::nullopt;
  return TryAcquire(kInstanceMutexName);
}

std::optional<InstanceLock> InstanceLock::TryAcquire(const std::string& lockFile) {
  const std::wstring name = windows::Wide(lockFile);
  HANDLE mutex = ::CreateMutexW(nullptr, FALSE, name.c_str());
  const DWORD error = ::GetLastError();
  if (mutex == nullptr) {
    // A name another user's object holds with access we lack: that is another instance.
    if (error == ERROR_ACCESS_DENIED) {
      ::SetLastError(ERROR_ALREADY_EXISTS);
      return std::nullopt;
    }
    // Without a mutex the rule cannot be kept; running beats refusing to run.
    return InstanceLock(std::make_unique<Held>(nullptr));
  }
  if (error == ERROR_ALREADY_EXISTS) {
    ::CloseHandle(mutex);
    ::SetLastError(ERROR_ALREADY_EXISTS);
    return std::nullopt;
  }
  return InstanceLock(std::make_unique<Held>(mutex));
}

}  // namespace kiln::platform
