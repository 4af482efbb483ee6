#pragma once

#include <memory>

#include "platform/device_monitor.h"

namespace kiln::usb {

// Registers for arrival and removal notices of the printers of an interface class given
// in registry form (the main window passes the standard USB printer class). nullptr when
// the text is not a GUID or the notices cannot be received.
std::unique_ptr<platform::DeviceMonitor> RegisterPrinterNotification(const char* guidText);

}  // namespace kiln::usb
