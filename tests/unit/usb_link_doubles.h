#pragma once

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/os_probes.h"
#include "platform/pipe_file.h"
#include "usb/printer_node_source.h"
#include "usb/usb_link.h"

namespace kiln::usb {

namespace testing {

using platform::PipeResult;
using platform::PipeStatus;

// Outcomes a scripted pipe transfer can have.
inline PipeResult Done(uint32_t bytes) {
  return PipeResult{PipeStatus::kDone, bytes, 0};
}
inline PipeResult Ends(PipeStatus status, int error = 0) {
  return PipeResult{status, 0, error};
}
inline PipeResult TimesOut() {
  return Ends(PipeStatus::kTimedOut);
}

// What every pipe of one printer shares with the test: scripted outcomes, and a record
// of what the link did. Writes without a script complete in full; reads without a
// script take what waits in `incoming`, or time out when nothing does.
struct PrinterScript {
  std::deque<PipeResult> writeOutcomes;
  std::deque<PipeResult> readOutcomes;
  std::vector<uint8_t> incoming;
  std::vector<uint32_t> writeSizes;
  std::vector<uint32_t> writeTimeOuts;
  std::vector<uint32_t> readTimeOuts;
  std::vector<uint8_t> written;
  int reads = 0;
  int cancels = 0;
  int openPipes = 0;
};

class ScriptedPipe final : public platform::PipeFile {
 public:
  ScriptedPipe(std::shared_ptr<PrinterScript> script, int handle)
      : script_(std::move(script)), handle_(handle) {
    ++script_->openPipes;
  }
  ~ScriptedPipe() override { --script_->openPipes; }

  PipeResult Write(const uint8_t* data, uint32_t len, uint32_t timeoutMs) override {
    script_->writeSizes.push_back(len);
    script_->writeTimeOuts.push_back(timeoutMs);
    PipeResult outcome = Done(len);
    if (!script_->writeOutcomes.empty()) {
      outcome = script_->writeOutcomes.front();
      script_->writeOutcomes.pop_front();
    }
    if (outcome.status == PipeStatus::kDone) {
      script_->written.insert(script_->written.end(), data, data + outcome.bytes);
    }
    return outcome;
  }

  PipeResult Read(uint8_t* data, uint32_t len, uint32_t timeoutMs) override {
    ++script_->reads;
    script_->readTimeOuts.push_back(timeoutMs);
    if (!script_->readOutcomes.empty()) {
      const PipeResult outcome = script_->readOutcomes.front();
      script_->readOutcomes.pop_front();
      if (outcome.status == PipeStatus::kDone) Take(data, outcome.bytes);
      return outcome;
    }
    if (script_->incoming.empty()) return TimesOut();
    const uint32_t n = std::min<uint32_t>(len, static_cast<uint32_t>(script_->incoming.size()));
    Take(data, n);
    return Done(n);
  }

  void Cancel() override { ++script_->cancels; }
  int TraceHandle() const override { return handle_; }

 private:
  void Take(uint8_t* data, uint32_t n) {
    n = std::min<uint32_t>(n, static_cast<uint32_t>(script_->incoming.size()));
    std::copy_n(script_->incoming.begin(), n, data);
    script_->incoming.erase(script_->incoming.begin(), script_->incoming.begin() + n);
  }

  std::shared_ptr<PrinterScript> script_;
  int handle_;
};

// Opens scripted pipes for the paths it knows; records every path asked for.
class ScriptedOpener final : public platform::PipeOpener {
 public:
  std::shared_ptr<PrinterScript> Add(const std::string& path) {
    auto script = std::make_shared<PrinterScript>();
    printers_[path] = script;
    return script;
  }
  std::unique_ptr<platform::PipeFile> Open(const char* devicePath) override {
    opened.push_back(devicePath);
    auto found = printers_.find(devicePath);
    if (found == printers_.end()) return nullptr;
    return std::make_unique<ScriptedPipe>(found->second, nextHandle_++);
  }
  std::vector<std::string> opened;

 private:
  std::map<std::string, std::shared_ptr<PrinterScript>> printers_;
  int nextHandle_ = 100;
};

class FixedProbes final : public platform::PlatformProbes {
 public:
  std::string GetDriverDir() override { return "/drivers"; }
};

// The printer nodes a test lists, with a count of the listings.
class ListedNodes final : public PrinterNodeSource {
 public:
  std::vector<platform::UsbPrinterNode> PrinterNodes() override {
    ++calls;
    if (beforeList) beforeList(calls);
    return list;
  }
  std::vector<platform::UsbPrinterNode> list;
  int calls = 0;
  // Called before each listing with its number (from 1): lets a test change the devices
  // between two listings.
  std::function<void(int)> beforeList;
};

// A printer node with that VID/PID and serial number; no port path.
inline platform::UsbPrinterNode Printer(const std::string& node, uint32_t vidPid,
                                        const std::string& serial = "", bool present = true) {
  platform::UsbPrinterNode entry;
  entry.node = node;
  entry.vendorId = static_cast<uint16_t>(vidPid >> 16);
  entry.productId = static_cast<uint16_t>(vidPid);
  entry.serial = serial;
  entry.present = present;
  return entry;
}

}  // namespace testing
}  // namespace kiln::usb
