#include <cstdio>

#include "platform/usb_printer_nodes.h"
#include "usb/device_enumerator.h"

namespace kiln::usb {

namespace {

class UdevDeviceEnumerator final : public DeviceEnumerator {
 public:
  std::vector<DeviceInterface> ClassDevices(const Guid& interfaceClass,
                                            uint32_t /*flags*/) override {
    std::vector<DeviceInterface> interfaces;
    Guid printerClass;
    // Only the standard class is published; the kernel lists present devices only, so
    // the present flag changes nothing.
    if (!ParseGuid(kUsbPrinterClassGuid, &printerClass) || !(interfaceClass == printerClass)) {
      return interfaces;
    }
    for (const platform::UsbPrinterNode& node : platform::ListUsbPrinterNodes()) {
      DeviceInterface entry;
      entry.active = node.present;
      char prefix[32];
      std::snprintf(prefix, sizeof prefix, "USB\\VID_%04X&PID_%04X\\", node.vendorId,
                    node.productId);
      entry.instanceId = prefix + (node.serial.empty() ? node.portPath : node.serial);
      entry.devicePath = node.node;
      entry.location = node.portPath;
      entry.portNumber = node.nodeNumber + 1;
      entry.vidPidValue = (static_cast<uint32_t>(node.vendorId) << 16) | node.productId;
      entry.baseName = "USB";
      interfaces.push_back(std::move(entry));
    }
    return interfaces;
  }
};

}  // namespace

DeviceEnumerator& SystemDeviceEnumerator() {
  static UdevDeviceEnumerator enumerator;
  return enumerator;
}

}  // namespace kiln::usb
