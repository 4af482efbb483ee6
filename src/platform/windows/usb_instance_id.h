#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/usb_printer_nodes.h"

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

// A USB device of the model (id, at portPath, empty when Windows does not tell it) that no
// present printer interface of nodes reaches, named for the user: by its port, else by its
// instance id. An interface reaches it at the same port or, without a port, with the same
// serial number. Empty when one reaches it.
std::string UnreachableName(const std::vector<UsbPrinterNode>& nodes, const UsbInstanceId& id,
                            const std::string& portPath, const std::string& instanceId);

}  // namespace kiln::platform
