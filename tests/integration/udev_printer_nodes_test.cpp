// The udev side of the transport on a umockdev test bed of its own: which usbmisc nodes
// count as printers, the instance IDs and order the enumerator reports, and the arrival
// and removal notices.

#include <gtest/gtest.h>
#include <poll.h>
#include <stdlib.h>
#include <umockdev.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/device_monitor.h"
#include "platform/usb_printer_nodes.h"
#include "usb/device_enumerator.h"

namespace kiln {
namespace {

constexpr const char* kHub = "/devices/pci0000:00/0000:00:14.0/usb1";

// A usb_device on hub port `port` with one interface of class `interfaceClass` and its
// usbmisc node lpN (the node becomes a PTY on the test bed).
std::string Device(int port, const char* productId, const char* serial, const char* interfaceClass,
                   int node) {
  const std::string usb = std::string(kHub) + "/1-" + std::to_string(port);
  const std::string iface = usb + "/1-" + std::to_string(port) + ":1.0";
  std::string text = "P: " + usb + "\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\n" +
                     "A: idVendor=2e5a\nA: idProduct=" + productId + "\n";
  if (*serial != '\0') text += std::string("A: serial=") + serial + "\n";
  text += "\nP: " + iface + "\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_interface\n" +
          "A: bInterfaceClass=" + interfaceClass + "\n\n";
  const std::string name = "lp" + std::to_string(node);
  text += "P: " + iface + "/usbmisc/" + name + "\nN: usb/" + name +
          "\nE: SUBSYSTEM=usbmisc\nE: DEVNAME=/dev/usb/" + name +
          "\nE: MAJOR=180\nE: MINOR=" + std::to_string(node) +
          "\nA: dev=180:" + std::to_string(node) + "\n";
  return text;
}

class UdevPrinterNodes : public ::testing::Test {
 protected:
  void SetUp() override {
    testbed_ = umockdev_testbed_new();
    Add(Device(3, "0103", "", "07", 2));  // a printer without serial number
    Add(Device(2, "0002", "SN-A", "07", 0));
    Add(Device(4, "0002", "SN-B", "03", 1));  // usbmisc, but not a printer interface
  }
  void TearDown() override { g_object_unref(testbed_); }

  void Add(const std::string& description) {
    GError* error = nullptr;
    ASSERT_TRUE(umockdev_testbed_add_from_string(testbed_, description.c_str(), &error))
        << (error != nullptr ? error->message : "");
  }

  UMockdevTestbed* testbed_ = nullptr;
};

TEST_F(UdevPrinterNodes, PrinterClassNodesSortedByNodeNumber) {
  const auto nodes = platform::ListUsbPrinterNodes();
  ASSERT_EQ(nodes.size(), 2u);
  EXPECT_EQ(nodes[0].node, "/dev/usb/lp0");
  EXPECT_EQ(nodes[0].nodeNumber, 0u);
  EXPECT_EQ(nodes[0].productId, 0x0002);
  EXPECT_EQ(nodes[0].serial, "SN-A");
  EXPECT_TRUE(nodes[0].present);
  EXPECT_EQ(nodes[1].node, "/dev/usb/lp2");
  EXPECT_EQ(nodes[1].serial, "");
  EXPECT_EQ(nodes[1].portPath, "1-3");
}

TEST_F(UdevPrinterNodes, EnumeratorPublishesTheStandardPrinterClassOnly) {
  usb::Guid printerClass, otherClass;
  ASSERT_TRUE(usb::ParseGuid(usb::kUsbPrinterClassGuid, &printerClass));
  ASSERT_TRUE(usb::ParseGuid("{2E5A0002-4A21-11D5-9C3E-0050BA7713F2}", &otherClass));
  usb::DeviceEnumerator& devices = usb::SystemDeviceEnumerator();
  const auto list = devices.ClassDevices(printerClass, usb::kDigcfPresent);
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0].instanceId, "USB\\VID_2E5A&PID_0002\\SN-A");
  EXPECT_EQ(list[0].devicePath, "/dev/usb/lp0");
  EXPECT_TRUE(list[0].active);
  EXPECT_EQ(list[0].portNumber, 1u);
  EXPECT_EQ(list[1].instanceId, "USB\\VID_2E5A&PID_0103\\1-3") << "port path without serial";
  EXPECT_TRUE(devices.ClassDevices(otherClass, usb::kDigcfPresent).empty());
}

TEST_F(UdevPrinterNodes, MonitorReportsArrivalAndRemoval) {
  auto monitor = platform::OpenUsbPrinterMonitor();
  ASSERT_NE(monitor, nullptr);
  const std::string node = std::string("/sys") + kHub + "/1-2/1-2:1.0/usbmisc/lp0";
  umockdev_testbed_uevent(testbed_, node.c_str(), "remove");
  umockdev_testbed_uevent(testbed_, node.c_str(), "add");

  auto next = [&]() -> std::optional<platform::DeviceEvent> {
    for (int attempt = 0; attempt < 100; ++attempt) {
      if (auto event = monitor->NextEvent()) return event;
      pollfd entry{monitor->fd(), POLLIN, 0};
      ::poll(&entry, 1, 50);
    }
    return std::nullopt;
  };
  auto removal = next();
  ASSERT_TRUE(removal.has_value());
  EXPECT_EQ(removal->kind, platform::DeviceEvent::Kind::kRemovalComplete);
  EXPECT_EQ(removal->node, "/dev/usb/lp0");
  auto arrival = next();
  ASSERT_TRUE(arrival.has_value());
  EXPECT_EQ(arrival->kind, platform::DeviceEvent::Kind::kArrival);
}

}  // namespace
}  // namespace kiln

// The test bed is seen only through umockdev's preload library: without it, run again
// under umockdev-wrapper.
int main(int argc, char** argv) {
  const char* preload = std::getenv("LD_PRELOAD");
  if (preload == nullptr || std::strstr(preload, "libumockdev-preload") == nullptr) {
    if (std::getenv("KILN_UMOCKDEV_REEXEC") == nullptr) {
      ::setenv("KILN_UMOCKDEV_REEXEC", "1", 1);
      // An AddressSanitizer runtime cannot be first in LD_PRELOAD behind the wrapper.
      ::setenv("ASAN_OPTIONS", "verify_asan_link_order=0:detect_leaks=0", 1);
      std::string self(4096, '\0');
      const ssize_t n = ::readlink("/proc/self/exe", self.data(), self.size() - 1);
      if (n > 0) {
        self.resize(static_cast<size_t>(n));
        std::vector<char*> args{const_cast<char*>("umockdev-wrapper"), self.data()};
        for (int i = 1; i < argc; ++i) args.push_back(argv[i]);
        args.push_back(nullptr);
        ::execvp("umockdev-wrapper", args.data());
      }
    }
    std::fprintf(stderr, "umockdev-wrapper is not available\n");
    return 1;
  }
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
