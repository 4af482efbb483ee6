#include "usb/printer_pipe_opener.h"

#include "platform/libusb/libusb_pipe.h"
#include "platform/lp_pipe.h"

namespace kiln::usb {

namespace {

// Which opener this thread asked last, so that a refusal is only told for its own open.
thread_local bool lastOverLibusb = false;

class TransportPipeOpener final : public platform::PipeOpener {
 public:
  std::unique_ptr<platform::PipeFile> Open(const char* devicePath) override {
    lastOverLibusb = false;
    return platform::SystemPipeOpener().Open(devicePath);
  }
  std::unique_ptr<platform::PipeFile> OpenPrinter(
      const platform::UsbPrinterNode& printer) override {
    lastOverLibusb = printer.transport == platform::UsbTransport::kLibusb;
    if (lastOverLibusb) {
      return platform::LibusbPipeOpener().OpenPrinter(printer);
    }
    return platform::SystemPipeOpener().OpenPrinter(printer);
  }
  std::string LastRefusal() const override {
    return lastOverLibusb ? platform::LibusbPipeOpener().LastRefusal() : std::string();
  }
};

}  // namespace

platform::PipeOpener& SystemPrinterPipes() {
  static TransportPipeOpener opener;
  return opener;
}

std::string TransportText(const platform::UsbPrinterNode& printer) {
  if (printer.transport == platform::UsbTransport::kLibusb) {
    return "over libusb " + (printer.portPath.empty() ? printer.node : printer.portPath);
  }
  return "over usblp " + (printer.node.empty() ? "(no node) " + printer.portPath : printer.node);
}

}  // namespace kiln::usb
