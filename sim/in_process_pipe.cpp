#include "sim/in_process_pipe.h"

namespace kiln::sim {

namespace {

using platform::PipeResult;
using platform::PipeStatus;

PipeResult Done(uint32_t bytes) {
  return PipeResult{PipeStatus::kDone, bytes, 0};
}

constexpr PipeResult kGone{PipeStatus::kGone, 0, 0};

}  // namespace

InProcessPipe::InProcessPipe(VirtualPrinter& printer)
    : printer_(printer), arrival_(printer.Arrivals()) {}

bool InProcessPipe::PrinterStillThere() {
  return printer_.OnUsb() && printer_.Arrivals() == arrival_;
}

PipeResult InProcessPipe::Write(const uint8_t* data, uint32_t len, uint32_t /*timeoutMs*/) {
  if (!PrinterStillThere()) return kGone;
  printer_.Receive(data, len);
  return Done(len);
}

PipeResult InProcessPipe::Read(uint8_t* data, uint32_t len, uint32_t timeoutMs) {
  if (!PrinterStillThere()) return kGone;
  if (len == 0) return Done(0);
  if (const std::size_t n = printer_.TakeAnswer(data, len); n > 0) {
    return Done(static_cast<uint32_t>(n));
  }
  if (timeoutMs > 0) printer_.clock().Sleep(timeoutMs);
  if (!PrinterStillThere()) return kGone;
  if (const std::size_t n = printer_.TakeAnswer(data, len); n > 0) {
    return Done(static_cast<uint32_t>(n));
  }
  return PipeResult{PipeStatus::kTimedOut, 0, 0};
}

void InProcessPipeOpener::Attach(const std::string& devicePath, VirtualPrinter& printer) {
  std::lock_guard<std::mutex> lock(mutex_);
  printers_[devicePath] = &printer;
}

void InProcessPipeOpener::Detach(const std::string& devicePath) {
  std::lock_guard<std::mutex> lock(mutex_);
  printers_.erase(devicePath);
}

std::unique_ptr<platform::PipeFile> InProcessPipeOpener::Open(const char* devicePath) {
  if (devicePath == nullptr) return nullptr;
  std::lock_guard<std::mutex> lock(mutex_);
  lastRefusal_ = {};
  const auto found = printers_.find(devicePath);
  if (found == printers_.end() || !found->second->OnUsb()) return nullptr;
  if (found->second->Config().faults.openRefused) return nullptr;
  if (found->second->Config().faults.noAccess) {
    lastRefusal_ = {platform::OpenRefusal::Kind::kNoAccess,
                    std::string("permission denied on ") + devicePath};
    return nullptr;
  }
  return std::make_unique<InProcessPipe>(*found->second);
}

platform::OpenRefusal InProcessPipeOpener::LastRefusal() const {
  return lastRefusal_;
}

}  // namespace kiln::sim
