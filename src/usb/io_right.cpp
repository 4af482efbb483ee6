#include "usb/io_right.h"

#include <cctype>

namespace kiln::usb {

std::string IoRightName(std::string_view devicePath) {
  std::string name;
  const std::string_view rest = devicePath.size() > 4 ? devicePath.substr(4) : std::string_view();
  for (const char c : rest) {
    if (c != '\\') name += c;
  }
  for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return name;
}

bool IoRight::Set(std::string_view devicePath) {
  enabled_ = true;
  if (local_ != nullptr) return true;
  if (devicePath.empty()) return false;
  const std::string name = IoRightName(devicePath);
  local_ = platform::OpenNamedMutex(name, platform::LockScope::kThisUser);
  global_ = platform::OpenNamedMutex(name, platform::LockScope::kEveryUser);
  return local_ != nullptr;
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
