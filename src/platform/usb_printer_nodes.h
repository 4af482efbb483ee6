#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kiln::platform {

// A printer-class USB interface as the kernel publishes it: a usbmisc device (usblp's
// node) whose parent interface has class 07, with the facts of its usb_device.
struct UsbPrinterNode {
  std::string node;         // the device node, e.g. "/dev/usb/lp0"
  uint32_t nodeNumber = 0;  // N of lpN
  uint16_t vendorId = 0;
  uint16_t productId = 0;
  std::string serial;    // the usb_device's serial number; empty when it has none
  std::string portPath;  // the usb_device's name, e.g. "1-2" (bus and port path)
  bool present = false;  // the node exists
};

// Every printer-class node, sorted by node number so that the order is stable.
std::vector<UsbPrinterNode> ListUsbPrinterNodes();

// USB devices of this vendor and product that the kernel shows but that no printer node
// reaches: usblp is not bound to them (another driver, or a program that uses the device
// directly, holds the interface), or their node is missing. Their port paths ("1-2"),
// sorted; empty when every such device has its node.
std::vector<std::string> UnreachableUsbPrinters(uint16_t vendorId, uint16_t productId);

}  // namespace kiln::platform
