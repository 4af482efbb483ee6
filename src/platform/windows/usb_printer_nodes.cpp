// Printer-class USB interfaces as Windows publishes them: the device interfaces of the
// USB printing class driver, found through SetupAPI, with their USB device's facts read
// from the configuration manager.

#include "platform/usb_printer_nodes.h"

#include <windows.h>
// windows.h first: the device headers build on its types.
#include <cfgmgr32.h>
#include <setupapi.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "platform/windows/usb_instance_id.h"
#include "platform/windows/wide_text.h"

namespace kiln::platform {

namespace {

// The device interface class of USB printers, {28d78fad-5a12-11d1-ae5b-0000f803a8c2}.
constexpr GUID kUsbPrinterInterface = {
    0x28d78fad, 0x5a12, 0x11d1, {0xae, 0x5b, 0x00, 0x00, 0xf8, 0x03, 0xa8, 0xc2}};
// The device's location paths ("PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(2)"), one per bus
// that can reach it.
constexpr DEVPROPKEY kLocationPaths = {
    {0xa45c254e, 0xdf1c, 0x4efd, {0x80, 0x20, 0x67, 0xd1, 0x46, 0xa8, 0x50, 0xe0}}, 37};

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

char Upper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// Where the tag (upper case) starts in the text, compared without regard to case; npos
// when it is not there.
std::size_t FindTag(std::string_view text, std::string_view tag) {
  for (std::size_t at = 0; at + tag.size() <= text.size(); ++at) {
    std::size_t i = 0;
    while (i < tag.size() && Upper(text[at + i]) == tag[i]) ++i;
    if (i == tag.size()) return at;
  }
  return std::string_view::npos;
}

// The four hex digits right after the tag ("VID_") in the part; false when they are not
// there.
bool HexField(std::string_view part, std::string_view tag, uint16_t* value) {
  const std::size_t at = FindTag(part, tag);
  if (at == std::string_view::npos || part.size() < at + tag.size() + 4) return false;
  unsigned number = 0;
  for (std::size_t i = 0; i < 4; ++i) {
    const int digit = HexDigit(part[at + tag.size() + i]);
    if (digit < 0) return false;
    number = number * 16 + static_cast<unsigned>(digit);
  }
  *value = static_cast<uint16_t>(number);
  return true;
}

struct DevInfoListDeleter {
  void operator()(HDEVINFO list) const { ::SetupDiDestroyDeviceInfoList(list); }
};
using DevInfoList = std::unique_ptr<std::remove_pointer_t<HDEVINFO>, DevInfoListDeleter>;

DevInfoList OpenDevInfoList(HDEVINFO list) {
  return DevInfoList(list == INVALID_HANDLE_VALUE ? nullptr : list);
}

std::string InstanceIdOf(DEVINST device) {
  wchar_t id[MAX_DEVICE_ID_LEN + 1] = {};
  if (::CM_Get_Device_IDW(device, id, MAX_DEVICE_ID_LEN, 0) != CR_SUCCESS) return {};
  return windows::Utf8(id);
}

// Where the device is plugged in: its first location path, else its location
// information ("Port_#0002.Hub_#0003"); empty when Windows tells neither.
std::string PortPathOf(DEVINST device) {
  DEVPROPTYPE type = 0;
  ULONG size = 0;
  if (::CM_Get_DevNode_PropertyW(device, &kLocationPaths, &type, nullptr, &size, 0) ==
          CR_BUFFER_SMALL &&
      size >= sizeof(wchar_t)) {
    std::vector<wchar_t> paths(size / sizeof(wchar_t) + 1, L'\0');
    if (::CM_Get_DevNode_PropertyW(device, &kLocationPaths, &type,
                                   reinterpret_cast<PBYTE>(paths.data()), &size, 0) == CR_SUCCESS &&
        paths[0] != L'\0') {
      return windows::Utf8(paths.data());  // the first string of the list
    }
  }
  wchar_t location[256] = {};
  ULONG length = sizeof location - sizeof(wchar_t);
  if (::CM_Get_DevNode_Registry_PropertyW(device, CM_DRP_LOCATION_INFORMATION, nullptr, location,
                                          &length, 0) == CR_SUCCESS) {
    return windows::Utf8(location);
  }
  return {};
}

// The USB device of a device node: the node itself, or its parent when the node is one
// interface of a composite device. False for a node not on USB.
bool UsbDeviceOf(DEVINST node, DEVINST* device, UsbInstanceId* id) {
  if (!ParseUsbInstanceId(InstanceIdOf(node), id)) return false;
  *device = node;
  if (!id->interfaceOfComposite) return true;
  DEVINST parent = 0;
  if (::CM_Get_Parent(&parent, node, 0) != CR_SUCCESS ||
      !ParseUsbInstanceId(InstanceIdOf(parent), id) || id->interfaceOfComposite) {
    return false;
  }
  *device = parent;
  return true;
}

// The interface's path ("\\?\usb#vid_2e5a&pid_0012#kln0000001#{28d78fad-...}"), which
// CreateFile opens, and its device node; false when SetupAPI does not tell.
bool InterfacePath(HDEVINFO list, SP_DEVICE_INTERFACE_DATA* entry, std::string* path,
                   SP_DEVINFO_DATA* node) {
  DWORD size = 0;
  ::SetupDiGetDeviceInterfaceDetailW(list, entry, nullptr, 0, &size, nullptr);
  if (size < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)) return false;
  // The detail record is a header followed by the path; DWORD-aligned storage keeps the
  // header's fields aligned.
  std::vector<DWORD> storage(size / sizeof(DWORD) + 1);
  auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(storage.data());
  detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
  node->cbSize = sizeof(SP_DEVINFO_DATA);
  if (!::SetupDiGetDeviceInterfaceDetailW(list, entry, detail, size, nullptr, node)) {
    return false;
  }
  *path = windows::Utf8(detail->DevicePath);
  return !path->empty();
}

}  // namespace

bool ParseUsbInstanceId(std::string_view id, UsbInstanceId* out) {
  // "USB\<hardware part>\<instance part>"
  if (FindTag(id, "USB\\") != 0) return false;
  const std::size_t second = id.find('\\', 4);
  if (second == std::string_view::npos) return false;
  const std::string_view hardware = id.substr(4, second - 4);
  const std::string_view instance = id.substr(second + 1);
  UsbInstanceId parsed;
  if (!HexField(hardware, "VID_", &parsed.vendorId) ||
      !HexField(hardware, "PID_", &parsed.productId)) {
    return false;
  }
  parsed.interfaceOfComposite = FindTag(hardware, "&MI_") != std::string_view::npos;
  if (instance.find('&') == std::string_view::npos) parsed.serial = instance;
  *out = std::move(parsed);
  return true;
}

// Windows reaches every printer through its device interface, so the Linux choice of
// transport changes nothing here.
std::vector<UsbPrinterNode> ListUsbPrinterNodes(TransportChoice /*choice*/) {
  std::vector<UsbPrinterNode> nodes;
  const DevInfoList list = OpenDevInfoList(::SetupDiGetClassDevsW(
      &kUsbPrinterInterface, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE));
  if (!list) return nodes;
  for (DWORD index = 0;; ++index) {
    SP_DEVICE_INTERFACE_DATA entry{};
    entry.cbSize = sizeof entry;
    if (!::SetupDiEnumDeviceInterfaces(list.get(), nullptr, &kUsbPrinterInterface, index, &entry)) {
      break;  // ERROR_NO_MORE_ITEMS, or the list cannot be read further
    }
    UsbPrinterNode printer;
    SP_DEVINFO_DATA node{};
    if (!InterfacePath(list.get(), &entry, &printer.node, &node)) continue;
    printer.nodeNumber = index;
    printer.present = true;  // DIGCF_PRESENT lists only interfaces of attached devices
    printer.transport = UsbTransport::kDeviceInterface;
    DEVINST device = 0;
    UsbInstanceId id;
    if (UsbDeviceOf(node.DevInst, &device, &id)) {
      printer.vendorId = id.vendorId;
      printer.productId = id.productId;
      printer.serial = id.serial;
      printer.portPath = PortPathOf(device);
    }
    // Without a location the interface path is the only identity the device has.
    if (printer.portPath.empty()) printer.portPath = printer.node;
    nodes.push_back(std::move(printer));
  }
  return nodes;
}

std::string UnreachableName(const std::vector<UsbPrinterNode>& nodes, const UsbInstanceId& id,
                            const std::string& portPath, const std::string& instanceId) {
  const bool reached = std::any_of(nodes.begin(), nodes.end(), [&](const UsbPrinterNode& n) {
    return n.present && n.vendorId == id.vendorId && n.productId == id.productId &&
           (portPath.empty() ? n.serial == id.serial : n.portPath == portPath);
  });
  if (reached) return {};
  return portPath.empty() ? instanceId : portPath;
}

std::vector<std::string> UnreachableUsbPrinters(uint16_t vendorId, uint16_t productId) {
  std::vector<std::string> unreachable;
  const DevInfoList list = OpenDevInfoList(
      ::SetupDiGetClassDevsW(nullptr, L"USB", nullptr, DIGCF_ALLCLASSES | DIGCF_PRESENT));
  if (!list) return unreachable;
  const std::vector<UsbPrinterNode> nodes = ListUsbPrinterNodes(TransportChoice::kAny);
  for (DWORD index = 0;; ++index) {
    SP_DEVINFO_DATA node{};
    node.cbSize = sizeof node;
    if (!::SetupDiEnumDeviceInfo(list.get(), index, &node)) break;
    UsbInstanceId id;
    // The USB device itself, not each of its interfaces.
    if (!ParseUsbInstanceId(InstanceIdOf(node.DevInst), &id) || id.interfaceOfComposite ||
        id.vendorId != vendorId || id.productId != productId) {
      continue;
    }
    std::string name =
        UnreachableName(nodes, id, PortPathOf(node.DevInst), InstanceIdOf(node.DevInst));
    if (!name.empty()) unreachable.push_back(std::move(name));
  }
  std::sort(unreachable.begin(), unreachable.end());
  return unreachable;
}

}  // namespace kiln::platform
