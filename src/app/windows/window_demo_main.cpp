// kiln-window-demo: kiln.exe's window and command-line modes against one virtual printer
// in the same process, for trying the window and for its tests. Not installed.

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/windows/windows_program.h"
#include "config/model_entry.h"
#include "config/package.h"
#include "platform/clock.h"
#include "platform/installed_printers.h"
#include "platform/os_probes.h"
#include "platform/program_folder.h"
#include "sim/in_process_pipe.h"
#include "sim/printer_description.h"
#include "sim/virtual_printer.h"
#include "usb/printer_node_source.h"

namespace {

using namespace kiln;

constexpr const char* kPrinterPath = "\\\\.\\virtual-printer";

constexpr const char* kHelp =
    "Usage: kiln-window-demo [DEMO OPTION]... [KILN OPTION]...\n"
    "kiln.exe's window (or, with -S / -CheckDeviceVersion, its command-line modes) against\n"
    "one virtual printer of the folder's model at version 1.05, in this process.\n"
    "\n"
    "Demo options:\n"
    "  --printer DESC        the printer instead, as MODEL[,FIELD=VALUE]... (below)\n"
    "  --no-printer          no printer on USB\n"
    "  --hold-answers SECS   the printer holds every answer until SECS seconds after start\n"
    "  --no-driver           the model's printer driver is not installed\n"
    "  --language TAG        show the language section TAG (ger, jpn, ...) instead of the\n"
    "                        user's language\n"
    "  --no-animation        the burning animation resource is missing\n"
    "  --help                this text, then kiln's own options\n"
    "KILN_TIME_SCALE scales every pause of Kiln and the printer (0.05: twenty times faster).\n"
    "\n";

// Answers that the printer holds back until a moment after start, as a printer that is
// busy with something else: a read waits for it, as long as its time-out allows.
class HoldingPipe final : public platform::PipeFile {
 public:
  HoldingPipe(std::unique_ptr<platform::PipeFile> pipe, ULONGLONG until)
      : pipe_(std::move(pipe)), until_(until) {}
  platform::PipeResult Write(const uint8_t* data, uint32_t len, uint32_t timeoutMs) override {
    return pipe_->Write(data, len, timeoutMs);
  }
  platform::PipeResult Read(uint8_t* data, uint32_t len, uint32_t timeoutMs) override {
    const ULONGLONG now = ::GetTickCount64();
    if (now < until_) {
      const ULONGLONG held = until_ - now;
      if (timeoutMs != 0 && timeoutMs < held) {
        ::Sleep(timeoutMs);
        return {platform::PipeStatus::kTimedOut, 0, 0};
      }
      ::Sleep(static_cast<DWORD>(held));
    }
    return pipe_->Read(data, len, timeoutMs);
  }
  void Cancel() override { pipe_->Cancel(); }

 private:
  std::unique_ptr<platform::PipeFile> pipe_;
  ULONGLONG until_;
};

class DemoPipes final : public platform::PipeOpener {
 public:
  sim::InProcessPipeOpener inner;
  ULONGLONG holdUntil = 0;

  std::unique_ptr<platform::PipeFile> Open(const char* devicePath) override {
    auto pipe = inner.Open(devicePath);
    if (pipe == nullptr || holdUntil == 0) return pipe;
    return std::make_unique<HoldingPipe>(std::move(pipe), holdUntil);
  }
  platform::OpenRefusal LastRefusal() const override { return inner.LastRefusal(); }
};

// Device discovery lists the printer while it is on USB, under its product ID of now.
class DemoNodes final : public usb::PrinterNodeSource {
 public:
  sim::VirtualPrinter* printer = nullptr;

  std::vector<platform::UsbPrinterNode> PrinterNodes() override {
    if (printer == nullptr || !printer->OnUsb()) return {};
    platform::UsbPrinterNode node;
    node.node = kPrinterPath;
    node.vendorId = 0x2E5A;
    node.productId = printer->ProductId();
    node.serial = printer->Config().serialNumber;
    node.portPath = "1-1";
    node.present = true;
    return {node};
  }
};

// The print system, asked for the model's driver.
class DemoPrinters final : public platform::InstalledPrinters {
 public:
  bool installed = true;
  uint32_t CountInstalledPrinters(const char*) override { return installed ? 1 : 0; }
};

// The folder's model, as its first model entry names it; M07 when it names none.
uint32_t FolderModel(const std::vector<std::string>& arguments) {
  std::string folder;
  for (std::size_t i = 1; i + 1 < arguments.size(); ++i) {
    if (arguments[i] == "--dir") folder = arguments[i + 1];
  }
  if (folder.empty()) folder = platform::ProgramFolder(nullptr);
  const config::ModelEntry entry = config::ReadModelEntry(config::ConfigFolder::At(folder), 1, {});
  const config::PackageReading package = config::ReadPackageHeaders(entry);
  return package.info.targetModel != 0 ? package.info.targetModel : 7;
}

}  // namespace

int main() {
  std::vector<std::string> arguments = app::windows::Utf8Arguments();
  std::vector<std::string> kiln;
  std::string description;
  bool printerOn = true;
  double holdSeconds = 0;
  static DemoPrinters printers;
  app::windows::ProgramServices services;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& a = arguments[i];
    const bool hasValue = i + 1 < arguments.size();
    if (a == "--printer" && hasValue) {
      description = arguments[++i];
    } else if (a == "--no-printer") {
      printerOn = false;
    } else if (a == "--hold-answers" && hasValue) {
      holdSeconds = std::atof(arguments[++i].c_str());
    } else if (a == "--no-driver") {
      printers.installed = false;
    } else if (a == "--language" && hasValue) {
      services.window.languageTag = arguments[++i];
    } else if (a == "--no-animation") {
      services.window.animationResource = 0x7FFF;
    } else if (a == "--help") {
      // The demo's own options, then kiln's.
      app::windows::WriteToParentConsole();
      std::fputs(kHelp, stdout);
      std::fputs(sim::kPrinterDescriptionHelp, stdout);
      std::fputs("\n", stdout);
      kiln.push_back(a);
    } else {
      kiln.push_back(a);
    }
  }

  static DemoPipes pipes;
  static DemoNodes nodes;
  static std::unique_ptr<sim::VirtualPrinter> printer;
  platform::Clock& clock = platform::SystemClock();
  if (printerOn) {
    sim::VirtualPrinterConfig config;
    config.version = "1.05";
    config.model = FolderModel(kiln);
    std::string error;
    if (!description.empty() && !sim::ParsePrinterDescription(description, config, error)) {
      std::fprintf(stderr, "kiln-window-demo: --printer: %s\n", error.c_str());
      return 2;
    }
    printer = std::make_unique<sim::VirtualPrinter>(config, clock);
    pipes.inner.Attach(kPrinterPath, *printer);
    nodes.printer = printer.get();
  }
  if (holdSeconds > 0) {
    pipes.holdUntil = ::GetTickCount64() + static_cast<ULONGLONG>(holdSeconds * 1000);
  }
  services.links = [&clock] {
    return std::make_unique<usb::CUsbLink>(
        usb::LinkServices{&platform::SystemProbes(), &pipes, &nodes, &clock});
  };
  services.window.services.links = services.links;
  services.window.services.installedPrinters = &printers;
  return app::windows::RunWindowsProgram(kiln, std::move(services));
}
