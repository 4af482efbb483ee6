#include "usb/transport_text.h"

namespace kiln::usb {

std::string TransportText(const platform::UsbPrinterNode& printer) {
  switch (printer.transport) {
    case platform::UsbTransport::kLibusb:
      return "over libusb " + (printer.portPath.empty() ? printer.node : printer.portPath);
    case platform::UsbTransport::kDeviceInterface:
      return "over the device interface " + printer.node;
    case platform::UsbTransport::kUsblp:
      break;
  }
  return "over usblp " + (printer.node.empty() ? "(no node) " + printer.portPath : printer.node);
}

}  // namespace kiln::usb
