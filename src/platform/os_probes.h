#pragma once

#include <string>

namespace kiln::platform {

// The probes the rest of the program adapts to. Production code uses SystemProbes();
// tests inject their own to point at a folder of their choosing.
class PlatformProbes {
 public:
  virtual ~PlatformProbes() = default;
  // The folder that holds the printer driver's language-monitor files, with no
  // trailing separator.
  virtual std::string GetDriverDir() = 0;
};

// Linux: the driver folder from KILN_DRIVER_DIR or else kDefaultDriverDir.
PlatformProbes& SystemProbes();

inline constexpr const char* kDefaultDriverDir = "/usr/share/kiln/drivers";

}  // namespace kiln::platform
