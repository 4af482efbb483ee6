#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/named_mutex.h"
#include "platform/os_probes.h"

namespace kiln::usb {

// The name the I/O right of a printer is derived from: from Windows 2000 on (code 5 or
// more) the device path without its first 4 characters and without backslashes, before
// that the path unchanged; lower-case either way. The local mutex carries this name,
// the global one "Global\" and this name.
std::string IoRightName(std::string_view devicePath, platform::OsVersionCode code);

// The pair of inter-process mutexes that serialises command transactions on one
// printer among every process and link using it.
class IoRight {
 public:
  // Enables the right and, unless the local mutex exists already or the path is
  // empty, creates the mutexes (the global one from Windows 2000 on). 0 when the local
  // mutex exists afterwards, else a Windows error.
  uint32_t Set(std::string_view devicePath, platform::OsVersionCode code);
  // When enabled: waits for the local, then the global mutex (each when it exists).
  // False when one could not be taken; then neither is held.
  bool Wait();
  // When enabled: gives back the local, then the global mutex.
  void Release();
  // Closes both mutexes (giving back whatever this link still holds).
  void Close();

  bool enabled() const { return enabled_; }
  bool hasMutexes() const { return local_ != nullptr; }

 private:
  bool enabled_ = false;
  std::unique_ptr<platform::NamedMutex> local_;
  std::unique_ptr<platform::NamedMutex> global_;
};

}  // namespace kiln::usb
