#pragma once

#include <cstdint>
#include <vector>

#include "sim/printer_config.h"

namespace kiln::sim {

// The bulk endpoints a printer announces over usbfs.
inline constexpr uint8_t kBulkOutEndpoint = 0x01;
inline constexpr uint8_t kBulkInEndpoint = 0x82;
inline constexpr uint16_t kBulkPacketSize = 512;

// What the descriptors of a printer shown over usbfs announce: one configuration with one
// interface (number 0), class 07/01/02 with bulk OUT 0x01 and bulk IN 0x82, unless a fault
// changes it.
struct UsbfsShape {
  uint16_t productId = 0;
  uint8_t interfaceClass = 0x07;
  uint8_t interfaceSubClass = 0x01;
  uint8_t interfaceProtocol = 0x02;
  // Bulk (2), or interrupt (3) for a printer without bulk endpoints.
  uint8_t endpointType = 0x02;
  // The interface's driver: "usbfs" when another program holds it, "usblp" when usblp
  // does, empty when none.
  const char* driver = "";
  // A send-only setting (protocol 1, bulk OUT only) before or after the one above.
  SendOnlySetting sendOnlySetting = SendOnlySetting::kNone;
};

UsbfsShape ShapeOf(const PrinterFaults& faults, uint16_t productId);

// The device descriptor followed by the whole configuration descriptor, as the kernel shows
// them in the usb_device's sysfs attribute "descriptors".
std::vector<uint8_t> UsbfsDescriptors(const UsbfsShape& shape);

}  // namespace kiln::sim
