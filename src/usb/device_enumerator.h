#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "usb/interface_guid.h"

namespace kiln::usb {

// Windows errors of interface enumeration that end a walk over member indices.
inline constexpr uint32_t kErrorInvalidHandle = 6;
inline constexpr uint32_t kErrorNoMoreItems = 259;

// Device setup flags.
inline constexpr uint32_t kDigcfPresent = 0x02;
inline constexpr uint32_t kDigcfDeviceInterface = 0x10;

// One member of a class device list, as the device setup API reports it.
struct DeviceInterface {
  // Non-zero: enumerating the interface at this member index failed with this error.
  uint32_t enumError = 0;
  bool active = false;     // the interface's flags are "active"
  std::string instanceId;  // e.g. "USB\VID_2E5A&PID_0102\A1B2C3"
  std::string devicePath;  // what the pipes are opened by
  // Where the device is plugged in (bus and port path, e.g. "1-3"). A printer that
  // restarts comes back under a new node but at the same place; empty when unknown.
  std::string location;
  // Values of the interface's registry key; nullopt when the value is missing.
  std::optional<uint32_t> portNumber;   // "Port Number"
  std::optional<uint32_t> vidPidValue;  // "VID&PID"
  std::optional<std::string> baseName;  // "Base Name"
};

// The device interfaces registered under an interface class: libudev on Linux, a
// double in tests (which reaches the branches for old Windows versions).
class DeviceEnumerator {
 public:
  virtual ~DeviceEnumerator() = default;
  // The class device list for the class and setup flags, in member-index order;
  // enumeration past its end fails with kErrorNoMoreItems.
  virtual std::vector<DeviceInterface> ClassDevices(const Guid& interfaceClass, uint32_t flags) = 0;
};

// Linux: the printer-class usbmisc nodes (see platform/usb_printer_nodes.h) for the
// standard USB printer class; no interfaces for any other class. Instance ID
// "USB\VID_xxxx&PID_xxxx\<serial, or the port path when there is none>", device path =
// the node, location = the port path, active when the node exists, "Port Number" = node number + 1,
// "Base Name" "USB", ordered by node number.
DeviceEnumerator& SystemDeviceEnumerator();

}  // namespace kiln::usb
