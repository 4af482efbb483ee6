#include "protocol/update_queue_hold.h"

#include "platform/usb_printer_nodes.h"

namespace kiln::protocol {

namespace {

class SystemHeldQueues final : public HeldQueues {
 public:
  explicit SystemHeldQueues(platform::PrintQueueHold hold) : hold_(std::move(hold)) {}
  std::string Warning() const override { return platform::QueueHoldWarning(hold_); }
  bool Release() override { return hold_.Release(); }

 private:
  platform::PrintQueueHold hold_;
};

// A queue set up by the printer's serial number names it in its device URI; the link
// only knows the node, so the serial comes from the node's USB device.
std::string SerialOfNode(const std::string& node) {
  for (const platform::UsbPrinterNode& entry : platform::ListUsbPrinterNodes()) {
    if (entry.node == node) return entry.serial;
  }
  return {};
}

}  // namespace

QueueHolder SystemQueueHolder() {
  return [](const platform::QueuePrinter& printer) -> std::unique_ptr<HeldQueues> {
    platform::QueuePrinter known = printer;
    if (known.serialNumber.empty() && !known.nodePath.empty()) {
      known.serialNumber = SerialOfNode(known.nodePath);
    }
    return std::make_unique<SystemHeldQueues>(platform::PrintQueueHold::Hold(known));
  };
}

}  // namespace kiln::protocol
