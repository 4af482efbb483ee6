#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kiln::platform {

// What a USB device instance id says: "USB\VID_2E5A&PID_0012\KLN0000001".
struct UsbInstanceId {
  uint16_t vendorId = 0;
  uint16_t productId = 0;
  // The device's own serial number; empty when it has none, in which case Windows made
  // up the last part of the id from the port ("5&1a2b3c4&0&2", recognised by its '&').
  std::string serial;
  bool interfaceOfComposite = false;  // "&MI_nn": one interface of a composite device
};

// Parses an instance id of the USB enumerator, case-insensitively; false for any other
// id (another bus, no VID_/PID_ with four hex digits each).
bool ParseUsbInstanceId(std::string_view id, UsbInstanceId* out);

}  // namespace kiln::platform
