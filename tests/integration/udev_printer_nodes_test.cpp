// The udev side of the transport on a umockdev test bed of its own: which usbmisc nodes
// count as printers, in which order, and the arrival and removal notices.

#include <gtest/gtest.h>
#include <poll.h>
#include <stdlib.h>
#include <umockdev.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/device_monitor.h"
#include "platform/usb_printer_nodes.h"
#include "sim/testbed/sysfs_layout.h"

namespace kiln {
namespace {

// A printer as the test bed lays it out: usb_device on hub port `port`, its class-07
// interface and the usbmisc node lpN.
std::string Device(uint32_t port, uint16_t productId, const char* serial, uint32_t node) {
  sim::PrinterPlacement placement;
  placement.port = port;
  placement.devnum = port;
  placement.node = node;
  placement.productId = productId;
  placement.serial = serial;
  placement.product = "Photo Printer";
  return sim::DescribePrinter(placement);
}

// The same with an interface of another class (a usbmisc node that is no printer).
std::string NotAPrinter(uint32_t port, uint32_t node) {
  std::string text = Device(port, 0x0002, "SN-B", node);
  const std::string printerClass = "bInterfaceClass=07";
  text.replace(text.find(printerClass), printerClass.size(), "bInterfaceClass=03");
  return text;
}

// The same without its node: usblp is not bound to the interface.
std::string Unbound(uint32_t port, uint16_t productId) {
  std::string text = Device(port, productId, "SN-C", 9);
  text.erase(text.find("\n\nP: ", text.find("DEVTYPE=usb_interface")) + 1);
  const std::string driver = "E: DRIVER=usblp\n";
  text.erase(text.find(driver), driver.size());
  return text;
}

class UdevPrinterNodes : public ::testing::Test {
 protected:
  void SetUp() override {
    testbed_ = umockdev_testbed_new();
    Add(Device(3, 0x0103, "", 2));  // a printer without serial number
    Add(Device(2, 0x0002, "SN-A", 0));
    Add(NotAPrinter(4, 1));
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

// By where they are plugged in, whichever way they are reached and however usblp numbered
// them: 1-10 after 1-9, not before it as its node lp3 or its text would put it.
TEST_F(UdevPrinterNodes, PrintersAreOrderedByBusAndPortNumbers) {
  Add(Device(10, 0x0002, "SN-J", 3));
  Add(Unbound(9, 0x0002));
  std::vector<std::string> ports;
  for (const auto& node : platform::ListUsbPrinterNodes()) ports.push_back(node.portPath);
  EXPECT_EQ(ports, (std::vector<std::string>{"1-2", "1-3", "1-9", "1-10"}));
  EXPECT_TRUE(platform::PortPathBefore("1-2.9", "1-2.10"));
  EXPECT_TRUE(platform::PortPathBefore("1-10", "2-1"));
  EXPECT_FALSE(platform::PortPathBefore("1-2.1", "1-2"));
  EXPECT_TRUE(platform::PortPathBefore("1-9", "/dev/usb/lp0")) << "a node path comes last";
  for (const char* notAPortPath : {"1-2a3", "1-.2", "1.2-3", "12"}) {
    EXPECT_TRUE(platform::PortPathBefore("9-9", notAPortPath)) << notAPortPath;
  }
  EXPECT_TRUE(platform::PortPathBefore("1-01", "1-1")) << "the same numbers: by text";
}

TEST_F(UdevPrinterNodes, DevicesOfTheModelWithoutANodeAreUnreachable) {
  Add(Unbound(5, 0x0002));
  platform::SetTransportChoice(platform::TransportChoice::kUsblp);
  EXPECT_EQ(platform::UnreachableUsbPrinters(0x2E5A, 0x0002),
            (std::vector<std::string>{"1-4", "1-5"}))
      << "1-2 has its printer node; 1-4 a node of another interface class; 1-5 none";
  // Over libusb 1-5 is reached through its USB device; 1-2 stays with usblp, which holds
  // its interface, unless libusb is forced.
  platform::SetTransportChoice(platform::TransportChoice::kAny);
  EXPECT_EQ(platform::UnreachableUsbPrinters(0x2E5A, 0x0002), (std::vector<std::string>{"1-4"}));
  platform::SetTransportChoice(platform::TransportChoice::kLibusb);
  EXPECT_EQ(platform::UnreachableUsbPrinters(0x2E5A, 0x0002),
            (std::vector<std::string>{"1-2", "1-4"}));
  platform::SetTransportChoice(platform::TransportChoice::kAny);
  EXPECT_TRUE(platform::UnreachableUsbPrinters(0x2E5A, 0x0103).empty());
  EXPECT_TRUE(platform::UnreachableUsbPrinters(0x2E5B, 0x0002).empty());
}

TEST_F(UdevPrinterNodes, PrinterWithoutANodeIsListedOverLibusb) {
  Add(Unbound(5, 0x0002));
  const auto forced = platform::ListUsbPrinterNodes(platform::TransportChoice::kUsblp);
  const auto chosen = platform::ListUsbPrinterNodes(platform::TransportChoice::kAny);
  ASSERT_EQ(chosen.size(), 3u);
  ASSERT_EQ(forced.size(), 3u);
  EXPECT_EQ(chosen[0].transport, platform::UsbTransport::kUsblp);
  EXPECT_EQ(chosen[2].portPath, "1-5");
  EXPECT_EQ(chosen[2].transport, platform::UsbTransport::kLibusb);
  EXPECT_EQ(chosen[2].node, "/dev/bus/usb/001/005");
  EXPECT_TRUE(chosen[2].present);
  EXPECT_EQ(chosen[2].interfaceDriver, "");
  EXPECT_EQ(chosen[0].interfaceDriver, "usblp");
  EXPECT_FALSE(forced[2].present) << "forced usblp: no node, not reachable";
}

TEST_F(UdevPrinterNodes, MonitorReportsArrivalAndRemoval) {
  auto monitor = platform::OpenUsbPrinterMonitor();
  ASSERT_NE(monitor, nullptr);
  sim::PrinterPlacement placement;
  placement.port = 2;
  const std::string node = "/sys" + placement.NodeDevicePath();
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

  // A printer without a node (reached over libusb) is announced by its interface.
  Add(Unbound(5, 0x0002));
  placement.port = 5;
  umockdev_testbed_uevent(testbed_, ("/sys" + placement.InterfacePath()).c_str(), "add");
  auto libusbArrival = next();
  ASSERT_TRUE(libusbArrival.has_value());
  EXPECT_EQ(libusbArrival->kind, platform::DeviceEvent::Kind::kArrival);
}

}  // namespace
}  // namespace kiln
