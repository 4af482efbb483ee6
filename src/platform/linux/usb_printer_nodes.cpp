#include "platform/usb_printer_nodes.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>

#include "platform/linux/choose_transport.h"
#include "platform/linux/udev_handles.h"

namespace kiln::platform {

namespace {

constexpr const char* kPrinterInterfaceClass = "07";

uint16_t HexAttribute(udev_device* device, const char* name) {
  const char* text = udev_device_get_sysattr_value(device, name);
  return text != nullptr ? static_cast<uint16_t>(std::strtoul(text, nullptr, 16)) : 0;
}

std::string Text(const char* text) {
  return text != nullptr ? text : "";
}

bool Exists(const std::string& node) {
  struct stat status {};
  return !node.empty() && ::stat(node.c_str(), &status) == 0;
}

// N of a name ending in digits ("lp12" -> 12); 0 when it has none.
uint32_t TrailingNumber(const char* name) {
  const char* end = name + std::strlen(name);
  const char* digits = end;
  while (digits > name && digits[-1] >= '0' && digits[-1] <= '9') --digits;
  return digits != end ? static_cast<uint32_t>(std::strtoul(digits, nullptr, 10)) : 0;
}

bool IsPrinterInterface(udev_device* interface) {
  const char* interfaceClass = udev_device_get_sysattr_value(interface, "bInterfaceClass");
  return interfaceClass != nullptr && std::strcmp(interfaceClass, kPrinterInterfaceClass) == 0;
}

// The driver bound to the device: its driver link, or the DRIVER line of its uevent
// attribute (where the link is missing, as on the test bed).
std::string DriverOf(udev_device* device) {
  if (const char* driver = udev_device_get_driver(device)) return driver;
  const std::string uevent = Text(udev_device_get_sysattr_value(device, "uevent"));
  const std::string key = "DRIVER=";
  const auto at = uevent.find(key);
  if (at == std::string::npos || (at != 0 && uevent[at - 1] != '\n')) return {};
  const auto begin = at + key.size();
  return uevent.substr(begin, uevent.find('\n', begin) - begin);
}

// The facts of the USB device (parents belong to their child and need no unref).
void DescribeDevice(udev_device* usbDevice, udev_device* interface, UsbPrinterNode* out) {
  out->vendorId = HexAttribute(usbDevice, "idVendor");
  out->productId = HexAttribute(usbDevice, "idProduct");
  out->serial = Text(udev_device_get_sysattr_value(usbDevice, "serial"));
  out->portPath = Text(udev_device_get_sysname(usbDevice));
  out->usbNode = Text(udev_device_get_devnode(usbDevice));
  out->usbPresent = Exists(out->usbNode);
  out->interfaceDriver = DriverOf(interface);
}

// usblp's node when it hangs below a printer-class interface of a USB device.
bool DescribeLpNode(udev_device* misc, UsbPrinterNode* out) {
  const char* node = udev_device_get_devnode(misc);
  if (node == nullptr) return false;
  udev_device* interface =
      udev_device_get_parent_with_subsystem_devtype(misc, "usb", "usb_interface");
  if (interface == nullptr || !IsPrinterInterface(interface)) return false;
  udev_device* usbDevice = udev_device_get_parent_with_subsystem_devtype(misc, "usb", "usb_device");
  if (usbDevice == nullptr) return false;
  DescribeDevice(usbDevice, interface, out);
  out->lpNode = node;
  out->lpPresent = Exists(out->lpNode);
  out->nodeNumber = TrailingNumber(udev_device_get_sysname(misc));
  return true;
}

// Calls each(device) for every device of the subsystem that udev lists.
template <typename Each>
void ForEachDevice(udev* context, const char* subsystem, Each&& each) {
  UdevEnumeratePtr enumeration(udev_enumerate_new(context));
  if (!enumeration) return;
  udev_enumerate_add_match_subsystem(enumeration.get(), subsystem);
  if (udev_enumerate_scan_devices(enumeration.get()) < 0) return;
  udev_list_entry* entry = nullptr;
  udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(enumeration.get())) {
    UdevDevicePtr device(udev_device_new_from_syspath(context, udev_list_entry_get_name(entry)));
    if (device) each(device.get());
  }
}

// The numbers of a port path: bus, then each port ("1-2.3" -> 1, 2, 3); empty when the
// text is not one.
std::vector<uint32_t> PortNumbers(std::string_view path) {
  std::vector<uint32_t> numbers;
  uint32_t value = 0;
  bool digits = false;
  for (std::size_t i = 0; i <= path.size(); ++i) {
    const char c = i < path.size() ? path[i] : '.';
    if (c >= '0' && c <= '9' && value < 100000) {
      value = value * 10 + static_cast<uint32_t>(c - '0');
      digits = true;
    } else if (digits && (c == '-' ? numbers.empty() : c == '.' && !numbers.empty())) {
      numbers.push_back(value);
      value = 0;
      digits = false;
    } else {
      return {};
    }
  }
  return numbers.size() >= 2 ? numbers : std::vector<uint32_t>{};
}

}  // namespace

bool PortPathBefore(std::string_view a, std::string_view b) {
  const std::vector<uint32_t> left = PortNumbers(a);
  const std::vector<uint32_t> right = PortNumbers(b);
  if (left.empty() != right.empty()) return !left.empty();
  if (left.empty() || left == right) return a < b;
  return left < right;
}

std::vector<UsbPrinterNode> ListUsbPrinterNodes(TransportChoice choice) {
  std::vector<UsbPrinterNode> printers;
  UdevPtr context(udev_new());
  if (!context) return printers;

  // usblp's nodes first; a device that has one is listed with it.
  std::map<std::string, UsbPrinterNode> byPort;
  ForEachDevice(context.get(), "usbmisc", [&](udev_device* misc) {
    UsbPrinterNode printer;
    if (DescribeLpNode(misc, &printer)) byPort.try_emplace(printer.portPath, std::move(printer));
  });
  // Then every printer-class interface, bound to usblp or not.
  ForEachDevice(context.get(), "usb", [&](udev_device* interface) {
    const char* type = udev_device_get_devtype(interface);
    if (type == nullptr || std::strcmp(type, "usb_interface") != 0) return;
    if (!IsPrinterInterface(interface)) return;
    udev_device* usbDevice =
        udev_device_get_parent_with_subsystem_devtype(interface, "usb", "usb_device");
    if (usbDevice == nullptr) return;
    UsbPrinterNode printer;
    DescribeDevice(usbDevice, interface, &printer);
    byPort.try_emplace(printer.portPath, std::move(printer));
  });

  for (auto& [port, printer] : byPort) {
    ChooseTransport(printer, choice);
    printers.push_back(std::move(printer));
  }
  std::stable_sort(printers.begin(), printers.end(), [](const auto& a, const auto& b) {
    return PortPathBefore(a.portPath, b.portPath);
  });
  return printers;
}

std::vector<std::string> UnreachableUsbPrinters(uint16_t vendorId, uint16_t productId) {
  std::vector<std::string> unreachable;
  UdevPtr context(udev_new());
  if (!context) return unreachable;

  const std::vector<UsbPrinterNode> printers = ListUsbPrinterNodes();
  ForEachDevice(context.get(), "usb", [&](udev_device* device) {
    const char* type = udev_device_get_devtype(device);
    if (type == nullptr || std::strcmp(type, "usb_device") != 0 ||
        HexAttribute(device, "idVendor") != vendorId ||
        HexAttribute(device, "idProduct") != productId) {
      return;
    }
    const std::string portPath = Text(udev_device_get_sysname(device));
    const bool reached =
        std::any_of(printers.begin(), printers.end(), [&](const UsbPrinterNode& printer) {
          // Over libusb Kiln never takes an interface that a driver or a program holds.
          const bool free =
              printer.transport == UsbTransport::kUsblp || printer.interfaceDriver.empty();
          return printer.present && free && printer.portPath == portPath;
        });
    if (!reached) unreachable.push_back(portPath);
  });
  std::sort(unreachable.begin(), unreachable.end());
  return unreachable;
}

}  // namespace kiln::platform
