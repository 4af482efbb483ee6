#pragma once

#include "platform/transport_choice.h"
#include "platform/usb_printer_nodes.h"

namespace kiln::platform {

// Sets the printer's transport, node and presence for the choice: kAny takes usblp's node
// where there is one or usblp holds the interface, and the device node otherwise; a forced
// choice takes its own node, which may be missing (then the printer is not present).
void ChooseTransport(UsbPrinterNode& printer, TransportChoice choice);

}  // namespace kiln::platform
