// Which transport reaches a printer: the rule discovery applies to each printer it lists,
// and the choice --transport makes for the whole process. Shared by every system's
// discovery; only Linux offers more than one transport.

#include <atomic>

#include "platform/usb_printer_nodes.h"

namespace kiln::platform {

namespace {

std::atomic<TransportChoice> processChoice{TransportChoice::kAny};

}  // namespace

void ChooseTransport(UsbPrinterNode& printer, TransportChoice choice) {
  // An interface usblp holds stays with usblp, also while its node is not there yet.
  const bool usblp = choice == TransportChoice::kUsblp ||
                     (choice == TransportChoice::kAny &&
                      (printer.lpPresent || printer.interfaceDriver == "usblp"));
  printer.transport = usblp ? UsbTransport::kUsblp : UsbTransport::kLibusb;
  printer.node = usblp ? printer.lpNode : printer.usbNode;
  printer.present = usblp ? printer.lpPresent : printer.usbPresent;
}

void SetTransportChoice(TransportChoice choice) {
  processChoice = choice;
}

TransportChoice ProcessTransportChoice() {
  return processChoice;
}

std::optional<TransportChoice> ParseTransportChoice(std::string_view text) {
  if (text == "usblp") return TransportChoice::kUsblp;
  if (text == "libusb") return TransportChoice::kLibusb;
  return std::nullopt;
}

}  // namespace kiln::platform
