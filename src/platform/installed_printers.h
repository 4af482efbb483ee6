#pragma once

#include <cstdint>

namespace kiln::platform {

// The print system's list of installed printers, asked which of them use a driver.
class InstalledPrinters {
 public:
  virtual ~InstalledPrinters() = default;
  // How many installed printers use the driver of this name (compared without regard
  // to case); 0 when none does or the list cannot be read.
  virtual uint32_t CountInstalledPrinters(const char* driverName) = 0;
};

// CUPS: the destinations of the server the CUPS client settings name (CUPS_SERVER,
// client.conf), counting those whose printer-make-and-model is the driver name.
// No reachable server counts 0.
InstalledPrinters& SystemInstalledPrinters();

}  // namespace kiln::platform
