#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/transport_choice.h"

namespace kiln::platform {

// How Kiln reaches a printer: on Linux through usblp's node, or through the USB device
// itself (libusb over /dev/bus/usb) where usblp is not bound to it; on Windows through
// the printer-class driver's device interface, the one way that system offers.
enum class UsbTransport : uint8_t { kUsblp, kLibusb, kDeviceInterface };

// A USB device with a printer-class interface (class 07) as the kernel publishes it,
// with usblp's node where usblp is bound to it, and the transport chosen for it.
struct UsbPrinterNode {
  std::string node;  // the node of the chosen transport: "/dev/usb/lp0" or "/dev/bus/usb/001/002"
  uint32_t nodeNumber = 0;  // N of lpN; 0 without a usblp node
  uint16_t vendorId = 0;
  uint16_t productId = 0;
  std::string serial;    // the usb_device's serial number; empty when it has none
  std::string portPath;  // the usb_device's name, e.g. "1-2" (bus and port path)
  bool present = false;  // the node of the chosen transport exists
  UsbTransport transport = UsbTransport::kUsblp;
  std::string lpNode;           // usblp's node; empty when usblp has none for it
  bool lpPresent = false;       // usblp's node exists
  std::string usbNode;          // the device's own node under /dev/bus/usb; empty when unknown
  bool usbPresent = false;      // the device's own node exists
  std::string interfaceDriver;  // the driver bound to the printer interface ("usblp";
                                // "usbfs" when a program claimed it); empty when idle
};

// Whether the device at port path a ("1-2", "1-2.3") comes before the one at b: by bus
// number, then port by port numerically, so that 1-2 comes before 1-10 and a hub's own
// port before the ports behind it. Texts that are not port paths come last, in text order.
bool PortPathBefore(std::string_view a, std::string_view b);

// Every USB device with a printer-class interface, with or without a usblp node, the
// transport chosen by `choice`, in the order of where they are plugged in (PortPathBefore),
// which stays the same whichever transport reaches them and however usblp numbered them.
std::vector<UsbPrinterNode> ListUsbPrinterNodes(TransportChoice choice = ProcessTransportChoice());

// USB devices of this vendor and product that the kernel shows but that Kiln cannot
// reach: no printer-class interface, no node of the chosen transport, or, over libusb, an
// interface that a driver or another program holds. Their port paths ("1-2"), sorted;
// empty when every such device is reachable.
std::vector<std::string> UnreachableUsbPrinters(uint16_t vendorId, uint16_t productId);

}  // namespace kiln::platform
