#include "platform/device_monitor.h"

#include <cstring>

#include "platform/linux/udev_handles.h"

namespace kiln::platform {

namespace {

class UdevPrinterMonitor final : public DeviceMonitor {
 public:
  UdevPrinterMonitor(UdevPtr context, UdevMonitorPtr monitor)
      : context_(std::move(context)), monitor_(std::move(monitor)) {}

  int fd() const override { return udev_monitor_get_fd(monitor_.get()); }

  std::optional<DeviceEvent> NextEvent() override {
    // The monitor's socket is non-blocking: nullptr means nothing waits.
    while (UdevDevicePtr device{udev_monitor_receive_device(monitor_.get())}) {
      const char* action = udev_device_get_action(device.get());
      const char* name = udev_device_get_sysname(device.get());
      const char* node = udev_device_get_devnode(device.get());
      if (action == nullptr || name == nullptr) continue;
      // A printer-class interface ("INTERFACE=7/1/2") stands for a printer reached over
      // libusb, which has no lp node.
      const char* interface = udev_device_get_property_value(device.get(), "INTERFACE");
      const bool printerInterface = interface != nullptr && std::strncmp(interface, "7/", 2) == 0;
      if (std::strncmp(name, "lp", 2) != 0 && !printerInterface) continue;
      std::string path = node != nullptr    ? node
                         : printerInterface ? std::string("/sys/bus/usb/devices/") + name
                                            : std::string("/dev/usb/") + name;
      if (std::strcmp(action, "add") == 0) {
        return DeviceEvent{DeviceEvent::Kind::kArrival, std::move(path)};
      }
      if (std::strcmp(action, "remove") == 0) {
        return DeviceEvent{DeviceEvent::Kind::kRemovalComplete, std::move(path)};
      }
    }
    return std::nullopt;
  }

 private:
  UdevPtr context_;
  UdevMonitorPtr monitor_;
};

}  // namespace

std::unique_ptr<DeviceMonitor> OpenUsbPrinterMonitor() {
  UdevPtr context(udev_new());
  if (!context) return nullptr;
  UdevMonitorPtr monitor(udev_monitor_new_from_netlink(context.get(), "udev"));
  if (!monitor) return nullptr;
  if (udev_monitor_filter_add_match_subsystem_devtype(monitor.get(), "usbmisc", nullptr) < 0 ||
      udev_monitor_filter_add_match_subsystem_devtype(monitor.get(), "usb", "usb_interface") < 0 ||
      udev_monitor_enable_receiving(monitor.get()) < 0) {
    return nullptr;
  }
  return std::make_unique<UdevPrinterMonitor>(std::move(context), std::move(monitor));
}

}  // namespace kiln::platform
