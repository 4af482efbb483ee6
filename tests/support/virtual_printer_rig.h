#pragma once

#include <stdlib.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/os_probes.h"
#include "sim/in_process_pipe.h"
#include "sim/virtual_printer.h"
#include "support/fake_clock.h"
#include "support/lock_folder.h"
#include "support/temp_dir.h"
#include "usb/link_factory.h"
#include "usb/printer_node_source.h"

namespace kiln::testing {

// Virtual printers plugged into the real link in this process: discovery lists the
// printers that are on USB (under the product ID they have now), the pipes are
// in-process pipes, and every pause of the updater and the printers goes through one
// fake clock, so a whole update runs at once and its pauses can be checked.
class VirtualPrinterRig final : public usb::PrinterNodeSource {
 public:
  VirtualPrinterRig() = default;
  VirtualPrinterRig(const VirtualPrinterRig&) = delete;
  VirtualPrinterRig& operator=(const VirtualPrinterRig&) = delete;

  sim::VirtualPrinter& Add(sim::VirtualPrinterConfig config) {
    const std::string path = "/dev/usb/lp" + std::to_string(printers_.size());
    printers_.push_back(std::make_unique<sim::VirtualPrinter>(std::move(config), clock));
    paths_.push_back(path);
    opener_.Attach(path, *printers_.back());
    return *printers_.back();
  }
  sim::VirtualPrinter& Printer(std::size_t i) { return *printers_.at(i); }

  usb::LinkFactory Links() {
    return [this] {
      return std::make_unique<usb::CUsbLink>(
          usb::LinkServices{&platform::SystemProbes(), &opener_, this, &clock});
    };
  }

  std::vector<platform::UsbPrinterNode> PrinterNodes() override {
    std::vector<platform::UsbPrinterNode> list;
    for (std::size_t i = 0; i < printers_.size(); ++i) {
      sim::VirtualPrinter& printer = *printers_[i];
      if (!printer.OnUsb()) continue;
      platform::UsbPrinterNode node;
      node.node = paths_[i];
      node.nodeNumber = static_cast<uint32_t>(i);
      node.vendorId = 0x2E5A;
      node.productId = printer.ProductId();
      node.serial = printer.Config().serialNumber;
      node.portPath = "1-" + std::to_string(i + 1);
      node.present = true;
      list.push_back(node);
    }
    return list;
  }

  FakeClock clock;

 private:
  LockFolderScope locks_;
  sim::InProcessPipeOpener opener_;
  std::vector<std::unique_ptr<sim::VirtualPrinter>> printers_;
  std::vector<std::string> paths_;
};

}  // namespace kiln::testing
