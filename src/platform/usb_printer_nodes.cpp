#include "platform/usb_printer_nodes.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "platform/udev_handles.h"

namespace kiln::platform {

namespace {

constexpr const char* kPrinterInterfaceClass = "07";

uint16_t HexAttribute(udev_device* device, const char* name) {
  const char* text = udev_device_get_sysattr_value(device, name);
  return text != nullptr ? static_cast<uint16_t>(std::strtoul(text, nullptr, 16)) : 0;
}

// N of a name ending in digits ("lp12" -> 12); 0 when it has none.
uint32_t TrailingNumber(const char* name) {
  const char* end = name + std::strlen(name);
  const char* digits = end;
  while (digits > name && digits[-1] >= '0' && digits[-1] <= '9') --digits;
  return digits != end ? static_cast<uint32_t>(std::strtoul(digits, nullptr, 10)) : 0;
}

// The node's entry when it hangs below a printer-class interface of a USB device.
bool DescribePrinterNode(udev_device* misc, UsbPrinterNode* out) {
  const char* node = udev_device_get_devnode(misc);
  if (node == nullptr) return false;
  // Parents belong to the child and need no unref.
  udev_device* interface =
      udev_device_get_parent_with_subsystem_devtype(misc, "usb", "usb_interface");
  if (interface == nullptr) return false;
  const char* interfaceClass = udev_device_get_sysattr_value(interface, "bInterfaceClass");
  if (interfaceClass == nullptr || std::strcmp(interfaceClass, kPrinterInterfaceClass) != 0) {
    return false;
  }
  udev_device* usbDevice = udev_device_get_parent_with_subsystem_devtype(misc, "usb", "usb_device");
  if (usbDevice == nullptr) return false;

  out->node = node;
  out->nodeNumber = TrailingNumber(udev_device_get_sysname(misc));
  out->vendorId = HexAttribute(usbDevice, "idVendor");
  out->productId = HexAttribute(usbDevice, "idProduct");
  const char* serial = udev_device_get_sysattr_value(usbDevice, "serial");
  out->serial = serial != nullptr ? serial : "";
  const char* portPath = udev_device_get_sysname(usbDevice);
  out->portPath = portPath != nullptr ? portPath : "";
  struct stat status {};
  out->present = ::stat(node, &status) == 0;
  return true;
}

}  // namespace

std::vector<UsbPrinterNode> ListUsbPrinterNodes() {
  std::vector<UsbPrinterNode> nodes;
  UdevPtr context(udev_new());
  if (!context) return nodes;
  UdevEnumeratePtr enumeration(udev_enumerate_new(context.get()));
  if (!enumeration) return nodes;
  udev_enumerate_add_match_subsystem(enumeration.get(), "usbmisc");
  if (udev_enumerate_scan_devices(enumeration.get()) < 0) return nodes;

  udev_list_entry* entry = nullptr;
  udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(enumeration.get())) {
    UdevDevicePtr misc(
        udev_device_new_from_syspath(context.get(), udev_list_entry_get_name(entry)));
    if (!misc) continue;
    UsbPrinterNode printer;
    if (DescribePrinterNode(misc.get(), &printer)) nodes.push_back(std::move(printer));
  }
  std::stable_sort(nodes.begin(), nodes.end(),
                   [](const auto& a, const auto& b) { return a.nodeNumber < b.nodeNumber; });
  return nodes;
}

std::vector<std::string> UnreachableUsbPrinters(uint16_t vendorId, uint16_t productId) {
  std::vector<std::string> unreachable;
  UdevPtr context(udev_new());
  if (!context) return unreachable;
  UdevEnumeratePtr enumeration(udev_enumerate_new(context.get()));
  if (!enumeration) return unreachable;
  udev_enumerate_add_match_subsystem(enumeration.get(), "usb");
  udev_enumerate_add_match_property(enumeration.get(), "DEVTYPE", "usb_device");
  if (udev_enumerate_scan_devices(enumeration.get()) < 0) return unreachable;

  const std::vector<UsbPrinterNode> nodes = ListUsbPrinterNodes();
  udev_list_entry* entry = nullptr;
  udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(enumeration.get())) {
    UdevDevicePtr device(
        udev_device_new_from_syspath(context.get(), udev_list_entry_get_name(entry)));
    if (!device || HexAttribute(device.get(), "idVendor") != vendorId ||
        HexAttribute(device.get(), "idProduct") != productId) {
      continue;
    }
    const std::string portPath = udev_device_get_sysname(device.get());
    const bool reached = std::any_of(nodes.begin(), nodes.end(), [&](const UsbPrinterNode& node) {
      return node.present && node.portPath == portPath;
    });
    if (!reached) unreachable.push_back(portPath);
  }
  std::sort(unreachable.begin(), unreachable.end());
  return unreachable;
}

}  // namespace kiln::platform
