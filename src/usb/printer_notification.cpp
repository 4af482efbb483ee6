#include "usb/printer_notification.h"

#include "usb/interface_guid.h"

namespace kiln::usb {

std::unique_ptr<platform::DeviceMonitor> RegisterPrinterNotification(const char* guidText) {
  Guid guid;
  if (guidText == nullptr || !ParseGuid(guidText, &guid)) return nullptr;
  return platform::OpenUsbPrinterMonitor();
}

}  // namespace kiln::usb
