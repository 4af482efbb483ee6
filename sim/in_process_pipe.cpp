#include "sim/in_process_pipe.h"

namespace kiln::sim {

namespace {

platform::PipeTransfer CompletedAtOnce(uint32_t bytes) {
  platform::PipeTransfer transfer;
  transfer.completedAtOnce = true;
  transfer.completed = true;
  transfer.bytes = bytes;
  return transfer;
}

platform::PipeTransfer Failed(uint32_t error) {
  platform::PipeTransfer transfer;
  transfer.startError = error;
  transfer.completionError = error;
  return transfer;
}

}  // namespace

InProcessPipe::InProcessPipe(VirtualPrinter& printer)
    : printer_(printer), arrival_(printer.Arrivals()) {}

bool InProcessPipe::PrinterStillThere() {
  return printer_.OnUsb() && printer_.Arrivals() == arrival_;
}

platform::PipeTransfer InProcessPipe::Write(const uint8_t* data, uint32_t len,
                                            uint32_t /*timeoutMs*/) {
  if (!PrinterStillThere()) return Failed(platform::win_error::kGenFailure);
  printer_.Receive(data, len);
  return CompletedAtOnce(len);
}

platform::PipeTransfer InProcessPipe::Read(uint8_t* data, uint32_t len, uint32_t timeoutMs) {
  if (!PrinterStillThere()) return Failed(platform::win_error::kGenFailure);
  if (len == 0) return CompletedAtOnce(0);
  if (const std::size_t n = printer_.TakeAnswer(data, len); n > 0) {
    return CompletedAtOnce(static_cast<uint32_t>(n));
  }

  platform::PipeTransfer transfer;
  transfer.startError = platform::win_error::kIoPending;
  if (timeoutMs > 0) printer_.clock().Sleep(timeoutMs);
  if (!PrinterStillThere()) {
    transfer.completionError = platform::win_error::kGenFailure;
    return transfer;
  }
  if (const std::size_t n = printer_.TakeAnswer(data, len); n > 0) {
    transfer.completed = true;
    transfer.bytes = static_cast<uint32_t>(n);
    return transfer;
  }
  transfer.completionError = platform::win_error::kIoIncomplete;
  return transfer;
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
  const auto found = printers_.find(devicePath);
  if (found == printers_.end() || !found->second->OnUsb()) return nullptr;
  if (found->second->Config().faults.openRefused) return nullptr;
  return std::make_unique<InProcessPipe>(*found->second);
}

}  // namespace kiln::sim
