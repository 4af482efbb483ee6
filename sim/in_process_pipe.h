#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "platform/pipe_file.h"
#include "sim/virtual_printer.h"

// The virtual printer behind the pipe interface of the USB link, in the same process:
// unit tests of the link and the protocol talk to a VirtualPrinter without a device node.
namespace kiln::sim {

// One open pipe to a virtual printer, bound to the printer's current appearance on USB.
// - Write: hands the bytes to the printer at once; done with len bytes.
// - Read: done at once with what the printer has queued (at most len bytes; fewer when
//   fewer are queued). With nothing queued the read waits timeoutMs on the printer's clock
//   (a FakeClock records the pause), looks again, and if still nothing is there times
//   out. A read with timeoutMs 0 (no limit) and nothing queued times out without
//   waiting, since nothing else could ever give the printer a command to answer.
// - Once the printer has left USB (unplugged, restarting after programming) every
//   transfer ends with kGone, also after it came back: a pipe opened before a restart
//   stays dead, as a handle to a removed device does. Open a new one.
// - Cancel has nothing to abandon: transfers never stay under way.
class InProcessPipe final : public platform::PipeFile {
 public:
  // The printer must outlive the pipe.
  explicit InProcessPipe(VirtualPrinter& printer);

  platform::PipeResult Write(const uint8_t* data, uint32_t len, uint32_t timeoutMs) override;
  platform::PipeResult Read(uint8_t* data, uint32_t len, uint32_t timeoutMs) override;
  void Cancel() override {}

 private:
  bool PrinterStillThere();

  VirtualPrinter& printer_;
  uint32_t arrival_;
};

// Opens InProcessPipes by device path. Attach each printer under the path that device
// discovery reports for it (for example "/dev/usb/lp0"). Open returns nullptr for an
// unknown path and for a printer that is not on USB at the moment. Thread-safe.
class InProcessPipeOpener final : public platform::PipeOpener {
 public:
  // The printer must outlive the opener and every pipe it opened.
  void Attach(const std::string& devicePath, VirtualPrinter& printer);
  void Detach(const std::string& devicePath);

  std::unique_ptr<platform::PipeFile> Open(const char* devicePath) override;
  // A printer with noAccess is refused as a node the user may not open.
  platform::OpenRefusal LastRefusal() const override;

 private:
  std::mutex mutex_;
  platform::OpenRefusal lastRefusal_;
  std::map<std::string, VirtualPrinter*> printers_;
};

}  // namespace kiln::sim
