#pragma once

#include <string>

#include "platform/usb_printer_nodes.h"

namespace kiln::usb {

// "over usblp /dev/usb/lp0", "over libusb 1-2": how a printer is reached, for the trace
// and the progress lines.
std::string TransportText(const platform::UsbPrinterNode& printer);

}  // namespace kiln::usb
