// Which transport reaches a printer: the rule Linux discovery applies to each printer it
// lists.

#include "platform/linux/choose_transport.h"

namespace kiln::platform {

void ChooseTransport(UsbPrinterNode& printer, TransportChoice choice) {
  // An interface usblp holds stays with usblp, also while its node is not there yet.
  const bool usblp = choice == TransportChoice::kUsblp ||
                     (choice == TransportChoice::kAny &&
                      (printer.lpPresent || printer.interfaceDriver == "usblp"));
  printer.transport = usblp ? UsbTransport::kUsblp : UsbTransport::kLibusb;
  printer.node = usblp ? printer.lpNode : printer.usbNode;
  printer.present = usblp ? printer.lpPresent : printer.usbPresent;
}

}  // namespace kiln::platform
