#pragma once

#include <cstdint>
#include <string>

namespace kiln::sim {

// Where one appearance of a printer sits in sysfs and /dev, laid out as the kernel's usblp
// driver shows a real printer:
//   /sys/devices/pci0000:00/0000:00:14.0/usb1/1-P             usb_device
//   /sys/devices/.../usb1/1-P/1-P:1.0                         usb_interface, class 07
//   /sys/devices/.../usb1/1-P/1-P:1.0/usbmisc/lpN             usbmisc, /dev/usb/lpN
struct PrinterPlacement {
  uint32_t port = 2;    // hub port P
  uint32_t devnum = 2;  // USB device number on bus 1 (new on every appearance)
  uint32_t node = 0;    // N of /dev/usb/lpN (new on every appearance)
  uint16_t productId = 0;
  std::string serial;
  std::string product;  // the product string of the usb_device

  std::string UsbDevicePath() const;  // sysfs path without the /sys prefix
  std::string InterfacePath() const;
  std::string NodeDevicePath() const;
  std::string NodeName() const;  // "/dev/usb/lpN"
};

// The umockdev description (P:/N:/E:/A: paragraphs) of the three devices, parents first.
// The lp node has no contents, so the test bed backs it with a PTY.
std::string DescribePrinter(const PrinterPlacement& placement);

}  // namespace kiln::sim
