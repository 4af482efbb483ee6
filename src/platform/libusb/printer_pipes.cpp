// Linux: a printer goes over usblp's node or over libusb, as discovery chose for it.

#include "platform/printer_pipes.h"

#include "platform/libusb/libusb_pipe.h"
#include "platform/usb_printer_nodes.h"

namespace kiln::platform {

namespace {

// Which opener this thread asked last: its refusal is the one told.
thread_local bool lastOverLibusb = false;

class TransportPipeOpener final : public PipeOpener {
 public:
  std::unique_ptr<PipeFile> Open(const char* devicePath) override {
    lastOverLibusb = false;
    return SystemPipeOpener().Open(devicePath);
  }
  std::unique_ptr<PipeFile> OpenPrinter(const UsbPrinterNode& printer) override {
    lastOverLibusb = printer.transport == UsbTransport::kLibusb;
    if (lastOverLibusb) return LibusbPipeOpener().OpenPrinter(printer);
    return SystemPipeOpener().OpenPrinter(printer);
  }
  OpenRefusal LastRefusal() const override {
    return lastOverLibusb ? LibusbPipeOpener().LastRefusal() : SystemPipeOpener().LastRefusal();
  }
};

}  // namespace

PipeOpener& SystemPrinterPipes() {
  static TransportPipeOpener opener;
  return opener;
}

}  // namespace kiln::platform
