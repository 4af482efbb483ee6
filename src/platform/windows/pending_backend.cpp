// Stand-ins that let kiln.exe link until the Windows device and spooler pieces land:
// no printer is found or opened, no driver is installed, no print queue is held. Each is
// replaced by its real Windows implementation in its own file.

#include <memory>
#include <string>
#include <vector>

#include "platform/installed_printers.h"
#include "platform/lp_pipe.h"
#include "platform/os_probes.h"
#include "platform/print_queue_hold.h"
#include "platform/usb_printer_nodes.h"

namespace kiln::platform {

namespace {

class NoPipes final : public PipeOpener {
 public:
  std::unique_ptr<PipeFile> Open(const char* /*devicePath*/) override { return nullptr; }
};

class NoInstalledPrinters final : public InstalledPrinters {
 public:
  uint32_t CountInstalledPrinters(const char* /*driverName*/) override { return 0; }
};

class NoDriverFolder final : public PlatformProbes {
 public:
  std::string GetDriverDir() override { return {}; }
};

}  // namespace

std::vector<UsbPrinterNode> ListUsbPrinterNodes() {
  return {};
}

std::vector<std::string> UnreachableUsbPrinters(uint16_t /*vendorId*/, uint16_t /*productId*/) {
  return {};
}

PipeOpener& SystemPipeOpener() {
  static NoPipes opener;
  return opener;
}

InstalledPrinters& SystemInstalledPrinters() {
  static NoInstalledPrinters printers;
  return printers;
}

PlatformProbes& SystemProbes() {
  static NoDriverFolder probes;
  return probes;
}

PrintQueueHold PrintQueueHold::Hold(const QueuePrinter& /*printer*/) {
  return PrintQueueHold();
}

PrintQueueHold::PrintQueueHold(PrintQueueHold&& other) noexcept = default;
PrintQueueHold& PrintQueueHold::operator=(PrintQueueHold&& other) noexcept = default;

bool PrintQueueHold::Release() {
  return true;
}

void ResumeQueuesLeftHeld() {}

std::string QueueHoldWarning(const PrintQueueHold& /*hold*/) {
  return {};
}

}  // namespace kiln::platform
