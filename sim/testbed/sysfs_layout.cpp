#include "sim/testbed/sysfs_layout.h"

#include <cstdio>

#include "models/model_table.h"

namespace kiln::sim {

namespace {

constexpr const char* kRootHub = "/devices/pci0000:00/0000:00:14.0/usb1";
constexpr uint32_t kBus = 1;
constexpr uint32_t kUsbDeviceMajor = 189;
constexpr uint32_t kUsbMiscMajor = 180;

std::string Format(const char* format, auto... args) {
  char buffer[512];
  std::snprintf(buffer, sizeof buffer, format, args...);
  return buffer;
}

}  // namespace

std::string PrinterPlacement::UsbDevicePath() const {
  return Format("%s/%u-%u", kRootHub, kBus, port);
}

std::string PrinterPlacement::InterfacePath() const {
  return Format("%s/%u-%u:1.0", UsbDevicePath().c_str(), kBus, port);
}

std::string PrinterPlacement::NodeDevicePath() const {
  return Format("%s/usbmisc/lp%u", InterfacePath().c_str(), node);
}

std::string PrinterPlacement::UsbDeviceNodeName() const {
  return Format("/dev/bus/usb/%03u/%03u", kBus, devnum);
}

std::string PrinterPlacement::NodeName() const {
  if (transport == UsbTransport::kUsbfs) return UsbDeviceNodeName();
  return Format("/dev/usb/lp%u", node);
}

std::string DescribePrinter(const PrinterPlacement& p) {
  const unsigned vendor = models::kVendorId;
  const unsigned productId = p.productId;
  const std::string productKey = Format("%x/%x/100", vendor, productId);
  const bool usbfs = p.transport == UsbTransport::kUsbfs;
  std::string descriptors;
  if (usbfs) {
    for (const uint8_t byte : UsbfsDescriptors(p.shape)) descriptors += Format("%02X", byte);
  }
  std::string text;

  text += "P: " + p.UsbDevicePath() + "\n";
  // Over usbfs, reading the node gives the descriptors, as the kernel's usbfs node does.
  text += Format("N: bus/usb/%03u/%03u", kBus, p.devnum);
  text += usbfs ? "=" + descriptors + "\n" : "\n";
  text += "E: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\n";
  text += Format("E: DEVNAME=/dev/bus/usb/%03u/%03u\n", kBus, p.devnum);
  text += Format("E: MAJOR=%u\nE: MINOR=%u\n", kUsbDeviceMajor, (kBus - 1) * 128 + p.devnum - 1);
  text += "E: PRODUCT=" + productKey + "\n";
  text += Format("E: BUSNUM=%03u\nE: DEVNUM=%03u\n", kBus, p.devnum);
  text += Format("E: ID_VENDOR_ID=%04x\nE: ID_MODEL_ID=%04x\n", vendor, productId);
  text += "E: ID_SERIAL_SHORT=" + p.serial + "\n";
  text += Format("A: idVendor=%04x\nA: idProduct=%04x\n", vendor, productId);
  text += "A: bcdDevice=0100\nA: bDeviceClass=00\nA: bNumInterfaces= 1\nA: speed=480\n";
  text += "A: manufacturer=Orvix\nA: product=" + p.product + "\nA: serial=" + p.serial + "\n";
  text += Format("A: busnum=%u\nA: devnum=%u\nA: devpath=%u\n", kBus, p.devnum, p.port);
  text += Format("A: dev=%u:%u\n", kUsbDeviceMajor, (kBus - 1) * 128 + p.devnum - 1);
  if (usbfs) {
    text += "A: bConfigurationValue=1\nA: bNumConfigurations=1\n";
    text += "H: descriptors=" + descriptors + "\n";
  }
  text += "\n";

  const UsbfsShape printerShape;
  const UsbfsShape& shape = usbfs ? p.shape : printerShape;
  text += "P: " + p.InterfacePath() + "\n";
  text += "E: SUBSYSTEM=usb\nE: DEVTYPE=usb_interface\n";
  if (!usbfs) text += "E: DRIVER=usblp\n";
  if (usbfs && *shape.driver != '\0') text += "E: DRIVER=" + std::string(shape.driver) + "\n";
  text += "E: PRODUCT=" + productKey + "\n";
  // The interface shows its active setting: the first, until a host selects another.
  const bool sendOnly = shape.sendOnlySetting == SendOnlySetting::kFirst;
  const unsigned protocol = sendOnly ? 1u : shape.interfaceProtocol;
  text +=
      Format("E: INTERFACE=%u/%u/%u\n", shape.interfaceClass, shape.interfaceSubClass, protocol);
  text += Format("A: bInterfaceClass=%02x\nA: bInterfaceSubClass=%02x\n", shape.interfaceClass,
                 shape.interfaceSubClass);
  text += Format("A: bInterfaceProtocol=%02x\n", protocol);
  text += Format("A: bInterfaceNumber=00\nA: bAlternateSetting= 0\nA: bNumEndpoints=%02u\n\n",
                 sendOnly ? 1u : 2u);
  if (usbfs) return text;

  text += "P: " + p.NodeDevicePath() + "\n";
  text += Format("N: usb/lp%u\n", p.node);
  text += "E: SUBSYSTEM=usbmisc\n";
  text += "E: DEVNAME=" + p.NodeName() + "\n";
  text += Format("E: MAJOR=%u\nE: MINOR=%u\n", kUsbMiscMajor, p.node);
  text += Format("A: dev=%u:%u\n", kUsbMiscMajor, p.node);
  return text;
}

}  // namespace kiln::sim
