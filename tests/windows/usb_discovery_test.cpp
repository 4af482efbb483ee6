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

// Without hardware (Wine, a machine with no printer) SetupAPI lists no printer
// interface: the lists are empty, and asking is harmless.
TEST(UsbPrinterDiscovery, NoPrinterIsAnEmptyList) {
  EXPECT_TRUE(ListUsbPrinterNodes().empty());
  EXPECT_TRUE(UnreachableUsbPrinters(0x2e5a, 0x0012).empty());
}

}  // namespace
}  // namespace kiln::platform
