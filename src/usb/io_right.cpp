#include "usb/io_right.h"

#include <cctype>

#include "platform/pipe_file.h"

namespace kiln::usb {

std::string IoRightName(std::string_view devicePath, platform::OsVersionCode code) {
  std::string name;
  if (code >= platform::kOsWin2000) {
    const std::string_view rest = devicePath.size() > 4 ? devicePath.substr(4) : std::string_view();
    for (const char c : rest) {
      if (c != '\\') name += c;
    }
  } else {
    name = devicePath;
  }
  for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return name;
}

uint32_t IoRight::Set(std::string_view devicePath, platform::OsVersionCode code) {
  enabled_ = true;
  if (local_ != nullptr) return 0;
  if (devicePath.empty()) return platform::win_error::kGenFailure;
  const std::string name = IoRightName(devicePath, code);
  local_ = platform::OpenNamedMutex(name);
  if (code >= platform::kOsWin2000) global_ = platform::OpenNamedMutex("Global\\" + name);
  return local_ != nullptr ? 0 : platform::win_error::kGenFailure;
}

bool IoRight::Wait() {
  if (!enabled_) return true;
  if (local_ && !local_->Lock()) return false;
  if (global_ && !global_->Lock()) {
    if (local_) local_->Unlock();
    return false;
  }
  return true;
}

void IoRight::Release() {
  if (!enabled_) return;
  if (local_) local_->Unlock();
  if (global_) global_->Unlock();
}

void IoRight::Close() {
  local_.reset();
  global_.reset();
}

}  // namespace kiln::usb
