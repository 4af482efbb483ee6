#pragma once

#include <vector>

#include "platform/usb_printer_nodes.h"

namespace kiln::usb {

// The printer-class nodes discovery chooses from: libudev on Linux, a double in tests.
class PrinterNodeSource {
 public:
  virtual ~PrinterNodeSource() = default;
  // Every printer node there is now, sorted by node number.
  virtual std::vector<platform::UsbPrinterNode> PrinterNodes() = 0;
};

// Linux: the usbmisc nodes below printer-class interfaces (see platform/usb_printer_nodes.h).
PrinterNodeSource& SystemPrinterNodes();

}  // namespace kiln::usb
