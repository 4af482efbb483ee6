#include <gtest/gtest.h>

#include "platform/usb_printer_nodes.h"
#include "platform/windows/usb_instance_id.h"

namespace kiln::platform {
namespace {

TEST(ParseUsbInstanceId, ReadsVendorProductAndTheDevicesOwnSerial) {
  struct Case {
    const char* id;
    bool parsed;
    uint16_t vendor, product;
    const char* serial;
    bool composite;
  };
  const Case cases[] = {
      {"USB\\VID_2E5A&PID_0012\\KLN0000001", true, 0x2e5a, 0x0012, "KLN0000001", false},
      {"usb\\vid_2e5a&pid_00ab\\kln7", true, 0x2e5a, 0x00ab, "kln7", false},
      // Windows made the last part up from the port: the device has no serial.
      {"USB\\VID_2E5A&PID_0012\\5&1A2B3C4&0&2", true, 0x2e5a, 0x0012, "", false},
      {"USB\\VID_2E5A&PID_0012&MI_01\\7&2F1&0&0001", true, 0x2e5a, 0x0012, "", true},
      {"USBPRINT\\ORVIXT08\\7&1&0&USB001", false, 0, 0, "", false},
      {"HID\\VID_2E5A&PID_0012\\1", false, 0, 0, "", false},
      {"USB\\VID_2E5A&PID_00G2\\KLN1", false, 0, 0, "", false},
      {"USB\\VID_2E5A&PID_0012", false, 0, 0, "", false},
  };
  for (const Case& c : cases) {
    UsbInstanceId id;
    id.serial = "left alone";
    ASSERT_EQ(ParseUsbInstanceId(c.id, &id), c.parsed) << c.id;
    if (!c.parsed) {
      EXPECT_EQ(id.serial, "left alone") << c.id;
      continue;
    }
    EXPECT_EQ(id.vendorId, c.vendor) << c.id;
    EXPECT_EQ(id.productId, c.product) << c.id;
    EXPECT_EQ(id.serial, c.serial) << c.id;
    EXPECT_EQ(id.interfaceOfComposite, c.composite) << c.id;
  }
}

// A printer no interface reaches is named by its port, else by its instance id; an
// interface reaches it at its port, or by its serial where Windows gives no port.
TEST(UsbPrinterDiscovery, AnUnreachablePrinterIsNamedByItsPortElseItsInstanceId) {
  UsbPrinterNode reaching;
  reaching.present = true;
  reaching.vendorId = 0x2e5a;
  reaching.productId = 0x0012;
  reaching.serial = "KLN1";
  reaching.portPath = "Port_#0002.Hub_#0001";
  const UsbInstanceId id{0x2e5a, 0x0012, "KLN1", false};
  const std::string instance = "USB\\VID_2E5A&PID_0012\\KLN1";
  EXPECT_EQ(UnreachableName({}, id, "Port_#0003.Hub_#0001", instance), "Port_#0003.Hub_#0001");
  EXPECT_EQ(UnreachableName({}, id, "", instance), instance);
  EXPECT_EQ(UnreachableName({reaching}, id, reaching.portPath, instance), "");
  EXPECT_EQ(UnreachableName({reaching}, id, "", instance), "") << "reached by its serial";
  EXPECT_EQ(UnreachableName({reaching}, id, "Port_#0003.Hub_#0001", instance),
            "Port_#0003.Hub_#0001")
      << "the same serial at another port is another printer";
  reaching.present = false;
  EXPECT_EQ(UnreachableName({reaching}, id, reaching.portPath, instance), reaching.portPath);
}

// Without hardware (Wine, a machine with no printer) SetupAPI lists no printer
// interface: the lists are empty, and asking is harmless.
TEST(UsbPrinterDiscovery, NoPrinterIsAnEmptyList) {
  EXPECT_TRUE(ListUsbPrinterNodes().empty());
  EXPECT_TRUE(UnreachableUsbPrinters(0x2e5a, 0x0012).empty());
}

}  // namespace
}  // namespace kiln::platform
