#pragma once

// What a host program does with printers on the test bed, for the integration tests: find
// them with libudev, talk over their node, watch their uevents.
#include <fcntl.h>
#include <libudev.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "support/printer_wire.h"

namespace kiln::testing {

inline constexpr auto kHostWait = std::chrono::seconds(10);

// A printer as enumeration finds it: a usbmisc node whose interface has class 07, with the
// product ID and serial number of its usb_device.
struct UsbPrinter {
  std::string node;
  std::string productId;
  std::string serial;
  bool operator==(const UsbPrinter&) const = default;
};

inline std::string SysAttribute(udev_device* device, const char* name) {
  const char* value = device != nullptr ? udev_device_get_sysattr_value(device, name) : nullptr;
  return value != nullptr ? value : "";
}

inline std::vector<UsbPrinter> EnumerateUsbPrinters() {
  std::vector<UsbPrinter> printers;
  udev* context = udev_new();
  udev_enumerate* enumerate = udev_enumerate_new(context);
  udev_enumerate_add_match_subsystem(enumerate, "usbmisc");
  udev_enumerate_scan_devices(enumerate);
  udev_list_entry* entry = nullptr;
  udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(enumerate)) {
    udev_device* node = udev_device_new_from_syspath(context, udev_list_entry_get_name(entry));
    udev_device* interface =
        udev_device_get_parent_with_subsystem_devtype(node, "usb", "usb_interface");
    udev_device* usbDevice =
        udev_device_get_parent_with_subsystem_devtype(node, "usb", "usb_device");
    const char* devnode = udev_device_get_devnode(node);
    if (devnode != nullptr && SysAttribute(interface, "bInterfaceClass") == "07" &&
        SysAttribute(usbDevice, "idVendor") == "2e5a") {
      printers.push_back(
          {devnode, SysAttribute(usbDevice, "idProduct"), SysAttribute(usbDevice, "serial")});
    }
    udev_device_unref(node);
  }
  udev_enumerate_unref(enumerate);
  udev_unref(context);
  return printers;
}

// Uevents of the usbmisc subsystem, as device discovery watches them.
class UsbmiscMonitor {
 public:
  UsbmiscMonitor()
      : context_(udev_new()), monitor_(udev_monitor_new_from_netlink(context_, "udev")) {
    udev_monitor_filter_add_match_subsystem_devtype(monitor_, "usbmisc", nullptr);
    udev_monitor_enable_receiving(monitor_);
  }
  ~UsbmiscMonitor() {
    udev_monitor_unref(monitor_);
    udev_unref(context_);
  }
  UsbmiscMonitor(const UsbmiscMonitor&) = delete;
  UsbmiscMonitor& operator=(const UsbmiscMonitor&) = delete;

  // "ACTION NODE" of the next event; empty when none comes in time.
  std::string Next() {
    pollfd wait{udev_monitor_get_fd(monitor_), POLLIN, 0};
    if (::poll(&wait, 1, static_cast<int>(kHostWait / std::chrono::milliseconds(1))) <= 0) {
      return "";
    }
    udev_device* device = udev_monitor_receive_device(monitor_);
    if (device == nullptr) return "";
    const char* action = udev_device_get_action(device);
    const char* node = udev_device_get_devnode(device);
    std::string event =
        std::string(action != nullptr ? action : "") + " " + (node != nullptr ? node : "");
    udev_device_unref(device);
    return event;
  }

 private:
  udev* context_;
  udev_monitor* monitor_;
};

// A host's handle on a printer node, opened as the USB link opens it (read-write,
// non-blocking), with the loops a PTY-backed node needs: it takes only part of a large
// write at a time.
class PrinterNode {
 public:
  explicit PrinterNode(const std::string& path)
      : fd_(::open(path.c_str(), O_RDWR | O_NONBLOCK | O_NOCTTY | O_CLOEXEC)) {}
  ~PrinterNode() {
    if (fd_ >= 0) ::close(fd_);
  }
  PrinterNode(const PrinterNode&) = delete;
  PrinterNode& operator=(const PrinterNode&) = delete;

  bool IsOpen() const { return fd_ >= 0; }

  bool Write(const Bytes& bytes) {
    const auto deadline = std::chrono::steady_clock::now() + kHostWait;
    for (std::size_t done = 0; done < bytes.size();) {
      const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
      if (n > 0) {
        done += static_cast<std::size_t>(n);
        continue;
      }
      if (n < 0 && errno != EAGAIN && errno != EINTR) return false;
      if (!WaitFor(POLLOUT, deadline)) return false;
    }
    return true;
  }

  // One response packet: header and data; nothing when it does not come in time.
  std::optional<Response> TakeResponse() {
    uint8_t header[6];
    if (!Read(header, sizeof header)) return std::nullopt;
    Response response;
    response.first = header[0];
    response.lengthField = static_cast<uint16_t>((header[1] << 8) | header[2]);
    response.headerByte3 = header[3];
    response.command = static_cast<uint16_t>((header[4] << 8) | header[5]);
    response.data.resize(response.lengthField >= 3 ? response.lengthField - 3u : 0u);
    if (!Read(response.data.data(), response.data.size())) return std::nullopt;
    return response;
  }

  // An answered command, padded for models below 19; its response.
  std::optional<Response> Transact(uint16_t command, bool padded, const Bytes& parameters = {}) {
    const Bytes packet = CommandPacket(command, parameters);
    if (!Write(padded ? Padded(packet) : packet)) return std::nullopt;
    return TakeResponse();
  }

 private:
  bool WaitFor(short events, std::chrono::steady_clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                          deadline - std::chrono::steady_clock::now())
                          .count();
    pollfd wait{fd_, events, 0};
    return left > 0 && ::poll(&wait, 1, static_cast<int>(left)) > 0;
  }

  bool Read(uint8_t* into, std::size_t count) {
    const auto deadline = std::chrono::steady_clock::now() + kHostWait;
    for (std::size_t done = 0; done < count;) {
      if (!WaitFor(POLLIN, deadline)) return false;
      const ssize_t n = ::read(fd_, into + done, count - done);
      if (n > 0) done += static_cast<std::size_t>(n);
      if (n < 0 && errno != EAGAIN && errno != EINTR) return false;
    }
    return true;
  }

  int fd_;
};

}  // namespace kiln::testing
