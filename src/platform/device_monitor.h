#pragma once

#include <memory>
#include <optional>
#include <string>

namespace kiln::platform {

// A printer node that came or went. The node of a printer can also vanish and come back
// while the printer stays plugged in: the print system's own USB backend detaches the
// kernel driver while it prints or probes.
struct DeviceEvent {
  enum class Kind { kArrival, kRemovalComplete };
  Kind kind;
  std::string node;  // e.g. "/dev/usb/lp0"
};

// Arrival and removal notices of USB printer nodes (the device notification
// registration). The window thread watches fd() and drains NextEvent() when it is
// readable.
class DeviceMonitor {
 public:
  virtual ~DeviceMonitor() = default;
  // Readable while an event waits.
  virtual int fd() const = 0;
  // The next waiting event, without blocking; nullopt when none waits.
  virtual std::optional<DeviceEvent> NextEvent() = 0;
};

// udev: add and remove events of subsystem usbmisc for lp nodes. nullptr when the
// monitor cannot be set up.
std::unique_ptr<DeviceMonitor> OpenUsbPrinterMonitor();

}  // namespace kiln::platform
