#include "platform/os_probes.h"

#include <cstdlib>

namespace kiln::platform {

namespace {

class LinuxProbes final : public PlatformProbes {
 public:
  std::string GetDriverDir() override {
    const char* overridden = std::getenv("KILN_DRIVER_DIR");
    std::string folder =
        overridden != nullptr && *overridden != '\0' ? overridden : kDefaultDriverDir;
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    return folder;
  }
};

}  // namespace

PlatformProbes& SystemProbes() {
  static LinuxProbes probes;
  return probes;
}

}  // namespace kiln::platform
