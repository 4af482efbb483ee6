#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/named_mutex.h"

namespace kiln::usb {

// The name the I/O right of a printer is derived from: the device path without its first
// 4 characters ("/dev"), without backslashes, in lower case. Both mutexes carry it, and
// every version of the program must derive the same name to exclude one another.
std::string IoRightName(std::string_view devicePath);

// The pair of inter-process mutexes that serialises command transactions on one
// printer among every process and link using it: one shared by this user's processes,
// one by every user's.
class IoRight {
 public:
  // Enables the right and, unless the local mutex exists already or the path is
  // empty, creates both mutexes. True when the local mutex exists afterwards.
  bool Set(std::string_view devicePath);
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
