#pragma once

#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <string>

namespace kiln::testing {

// A raw-mode pseudo-terminal standing in for a printer node: the link opens node(), the
// test (or the reader thread of a benchmark) plays the printer on the master end.
class PtyPair {
 public:
  PtyPair() {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) return;
    const char* name = ::ptsname(master_);
    if (name == nullptr) return;
    node_ = name;
    // Raw mode on the device side: bytes pass unchanged, no echo, no line editing. A
    // descriptor kept open on it keeps the master from reporting a hang-up while the
    // link has the node closed.
    keeper_ = ::open(node_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios mode{};
    if (keeper_ >= 0 && ::tcgetattr(keeper_, &mode) == 0) {
      ::cfmakeraw(&mode);
      ::tcsetattr(keeper_, TCSANOW, &mode);
    }
  }
  ~PtyPair() {
    CloseMaster();
    if (keeper_ >= 0) ::close(keeper_);
  }
  PtyPair(const PtyPair&) = delete;
  PtyPair& operator=(const PtyPair&) = delete;

  bool ok() const { return master_ >= 0 && keeper_ >= 0; }
  const std::string& node() const { return node_; }
  int master() const { return master_; }
  // The printer goes away: the node's side sees a hang-up.
  void CloseMaster() {
    if (master_ >= 0) ::close(master_);
    master_ = -1;
  }

 private:
  int master_ = -1;
  int keeper_ = -1;
  std::string node_;
};

}  // namespace kiln::testing
