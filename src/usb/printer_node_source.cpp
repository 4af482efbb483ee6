#include "usb/printer_node_source.h"

namespace kiln::usb {

namespace {

class UdevPrinterNodes final : public PrinterNodeSource {
 public:
  std::vector<platform::UsbPrinterNode> PrinterNodes() override {
    return platform::ListUsbPrinterNodes();
  }
};

}  // namespace

PrinterNodeSource& SystemPrinterNodes() {
  static UdevPrinterNodes nodes;
  return nodes;
}

}  // namespace kiln::usb
