#pragma once

#include "platform/pipe_file.h"

namespace kiln::usb {

// The system's pipes: each printer over the transport discovery chose for it (usblp's
// node, or libusb on its USB device); a plain path opens as usblp's node.
platform::PipeOpener& SystemPrinterPipes();

// "over usblp /dev/usb/lp0", "over libusb 1-2": how a printer is reached, for the trace
// and the progress lines.
std::string TransportText(const platform::UsbPrinterNode& printer);

}  // namespace kiln::usb
