#pragma once

#include <cstdint>
#include <string>

#include "sim/printer_config.h"
#include "sim/testbed/usbfs_descriptors.h"

namespace kiln::sim {

// Where one appearance of a printer sits in sysfs and /dev, laid out as the kernel's usblp
// driver shows a real printer:
//   /sys/devices/pci0000:00/0000:00:14.0/usb1/1-P             usb_device
//   /sys/devices/.../usb1/1-P/1-P:1.0                         usb_interface, class 07
//   /sys/devices/.../usb1/1-P/1-P:1.0/usbmisc/lpN             usbmisc, /dev/usb/lpN
// Shown over usbfs, the printer has no usbmisc device: the usb_device carries its binary
// descriptors and its node /dev/bus/usb/001/DDD is the one the host talks through, and the
// interface has no driver (or usbfs, when another program holds it).
struct PrinterPlacement {
  uint32_t port = 2;    // hub port P
  uint32_t devnum = 2;  // USB device number on bus 1 (new on every appearance)
  uint32_t node = 0;    // N of /dev/usb/lpN (new on every appearance)
  uint16_t productId = 0;
  std::string serial;
  std::string product;                            // the product string of the usb_device
  UsbTransport transport = UsbTransport::kUsblp;  // kUsblp or kUsbfs
  UsbfsShape shape;                               // what a usbfs device's descriptors say

  std::string UsbDevicePath() const;  // sysfs path without the /sys prefix
  std::string InterfacePath() const;
  std::string NodeDevicePath() const;     // the usbmisc device (usblp only)
  std::string UsbDeviceNodeName() const;  // "/dev/bus/usb/001/DDD"
  // The node the host talks through: "/dev/usb/lpN", or over usbfs the usb_device's node.
  std::string NodeName() const;
};

// The umockdev description (P:/N:/E:/A:/H: paragraphs) of the devices, parents first: three
// for usblp (the lp node has no contents, so the test bed backs it with a PTY), two for
// usbfs.
std::string DescribePrinter(const PrinterPlacement& placement);

}  // namespace kiln::sim
