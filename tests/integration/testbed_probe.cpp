// Run by kiln-testbed with one M07 printer: finds the printer with libudev the way device
// discovery does, talks to it through /dev/usb/lp0, writes a firmware image and watches
// the printer leave (remove uevent) and come back under the image's product ID on a new
// node (add uevent). Exits 0 when everything was seen, 1 with a message otherwise.
#include <fcntl.h>
#include <libudev.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "support/package_builder.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

constexpr int kTimeoutMs = 20000;
constexpr uint16_t kImageProductId = 0x0103;  // M09: the printer comes back as another model

bool failed = false;

void Check(bool ok, const std::string& what) {
  std::printf("%s %s\n", ok ? "ok  " : "FAIL", what.c_str());
  if (!ok) failed = true;
}

struct FoundPrinter {
  std::string node;
  std::string productId;
};

std::string Attribute(udev_device* device, const char* name) {
  const char* value = device != nullptr ? udev_device_get_sysattr_value(device, name) : nullptr;
  return value != nullptr ? value : "";
}

// The usbmisc nodes whose interface is of the printer class 07, with their product IDs.
std::vector<FoundPrinter> EnumeratePrinters(udev* context) {
  std::vector<FoundPrinter> printers;
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
    if (Attribute(interface, "bInterfaceClass") == "07" &&
        Attribute(usbDevice, "idVendor") == "2e5a" && udev_device_get_devnode(node) != nullptr) {
      printers.push_back({udev_device_get_devnode(node), Attribute(usbDevice, "idProduct")});
    }
    udev_device_unref(node);
  }
  udev_enumerate_unref(enumerate);
  return printers;
}

int RemainingMs(Clock::time_point deadline) {
  const auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

// Writes everything, waiting whenever the node takes only part of it.
bool WriteAll(int fd, const Bytes& bytes) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(kTimeoutMs);
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno != EAGAIN && errno != EINTR) return false;
    pollfd wait{fd, POLLOUT, 0};
    if (::poll(&wait, 1, RemainingMs(deadline)) <= 0) return false;
  }
  return true;
}

bool ReadExactly(int fd, uint8_t* into, std::size_t count) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(kTimeoutMs);
  std::size_t done = 0;
  while (done < count) {
    pollfd wait{fd, POLLIN, 0};
    if (::poll(&wait, 1, RemainingMs(deadline)) <= 0) return false;
    const ssize_t n = ::read(fd, into + done, count - done);
    if (n > 0) done += static_cast<std::size_t>(n);
    if (n < 0 && errno != EAGAIN && errno != EINTR) return false;
  }
  return true;
}

// A command packet padded to 64 bytes, as the host sends to models below 19.
Bytes Packet(uint16_t command, uint8_t flags, const Bytes& parameters, const Bytes& payload) {
  const auto length = static_cast<uint16_t>(3 + parameters.size() + payload.size());
  Bytes packet = {0xA5,  static_cast<uint8_t>(length >> 8),  static_cast<uint8_t>(length & 0xFF),
                  flags, static_cast<uint8_t>(command >> 8), static_cast<uint8_t>(command & 0xFF)};
  packet.insert(packet.end(), parameters.begin(), parameters.end());
  packet.insert(packet.end(), payload.begin(), payload.end());
  packet.resize((packet.size() + 63) / 64 * 64, 0);
  return packet;
}

// Sends an answered command and reads its response; the response data, or nothing.
bool Transact(int fd, uint16_t command, const Bytes& parameters, Bytes* data) {
  if (!WriteAll(fd, Packet(command, 0x50, parameters, {}))) return false;
  uint8_t header[6];
  if (!ReadExactly(fd, header, sizeof header)) return false;
  if (header[0] != 0xA5 || ((header[4] << 8) | header[5]) != command) return false;
  const std::size_t length = (header[1] << 8) | header[2];
  if (length < 3) return false;
  Bytes answer(length - 3);
  if (!ReadExactly(fd, answer.data(), answer.size())) return false;
  if (data != nullptr) *data = answer;
  return true;
}

bool WriteFirmware(int fd) {
  const std::string image =
      kiln::testing::MakePackage(0x1F900, 0x1040, kImageProductId, 0, 1, "2.00");
  if (!Transact(fd, 0x8400, {0}, nullptr)) return false;
  for (std::size_t done = 0; done < image.size(); done += 0xFC00) {
    const std::size_t piece = std::min<std::size_t>(0xFC00, image.size() - done);
    const Bytes payload(image.begin() + static_cast<long>(done),
                        image.begin() + static_cast<long>(done + piece));
    if (!WriteAll(fd, Packet(0x8301, 0x40, {}, payload))) return false;
  }
  return Transact(fd, 0x8401, {}, nullptr);
}

// Waits for the next uevent of the monitor; its action and node, or empty strings.
std::pair<std::string, std::string> NextEvent(udev_monitor* monitor) {
  pollfd wait{udev_monitor_get_fd(monitor), POLLIN, 0};
  if (::poll(&wait, 1, kTimeoutMs) <= 0) return {};
  udev_device* device = udev_monitor_receive_device(monitor);
  if (device == nullptr) return {};
  const char* action = udev_device_get_action(device);
  const char* node = udev_device_get_devnode(device);
  std::pair<std::string, std::string> event{action != nullptr ? action : "",
                                            node != nullptr ? node : ""};
  udev_device_unref(device);
  return event;
}

bool StatusIsClear(int fd) {
  Bytes status;
  return Transact(fd, 0x0400, {}, &status) && status.size() >= 3 &&
         (status[0] | status[1] | status[2]) == 0;
}

}  // namespace

int main() {
  udev* context = udev_new();
  const std::vector<FoundPrinter> before = EnumeratePrinters(context);
  Check(before.size() == 1 && before[0].node == "/dev/usb/lp0" && before[0].productId == "0002",
        "one M07 printer enumerated at /dev/usb/lp0");

  udev_monitor* monitor = udev_monitor_new_from_netlink(context, "udev");
  udev_monitor_filter_add_match_subsystem_devtype(monitor, "usbmisc", nullptr);
  udev_monitor_enable_receiving(monitor);

  const int fd = ::open("/dev/usb/lp0", O_RDWR | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  Check(fd >= 0, "/dev/usb/lp0 opens");
  if (fd >= 0) {
    Check(StatusIsClear(fd), "status request answered: ready, no alert");
    Check(WriteFirmware(fd), "firmware image written");
    ::close(fd);
  }

  const auto removed = NextEvent(monitor);
  Check(removed.first == "remove" && removed.second == "/dev/usb/lp0",
        "remove uevent for /dev/usb/lp0 (got " + removed.first + " " + removed.second + ")");
  const auto added = NextEvent(monitor);
  Check(added.first == "add" && added.second == "/dev/usb/lp1",
        "add uevent for /dev/usb/lp1 (got " + added.first + " " + added.second + ")");

  const std::vector<FoundPrinter> after = EnumeratePrinters(context);
  Check(after.size() == 1 && after[0].node == "/dev/usb/lp1" && after[0].productId == "0103",
        "the printer is enumerated again at /dev/usb/lp1 under product ID 0103");
  const int again = ::open("/dev/usb/lp1", O_RDWR | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  Check(again >= 0 && StatusIsClear(again), "the restarted printer answers, ready, no alert");
  if (again >= 0) ::close(again);

  udev_monitor_unref(monitor);
  udev_unref(context);
  std::printf("%s\n", failed ? "testbed probe FAILED" : "testbed probe passed");
  return failed ? 1 : 0;
}
