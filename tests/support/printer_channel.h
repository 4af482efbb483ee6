#pragma once

#include <cstdint>
#include <vector>

#include "log/debug_log.h"
#include "sim/virtual_printer.h"
#include "support/fake_clock.h"
#include "usb/command_channel.h"

namespace kiln::testing {

// A protocol channel straight onto a virtual printer's byte interface: each WriteData is
// one host write, each ReadData takes what the printer has queued. A read that finds
// less than it asks for waits the link's read time-out on the clock and ends as the
// link's time-out does (0x26), so the protocol sees what a silent printer produces.
class PrinterChannel final : public usb::CommandChannel {
 public:
  PrinterChannel(sim::VirtualPrinter& printer, FakeClock& clock, uint32_t model)
      : printer_(printer), clock_(clock), model_(model) {}

  usb::ResultCode WriteData(const uint8_t* data, uint32_t count, uint32_t* written) override {
    writeSizes.push_back(count);
    printer_.Receive(data, count);
    if (written != nullptr) *written = count;
    return usb::ResultCode::kWritten;
  }
  usb::ResultCode ReadData(uint8_t* data, uint32_t count, uint32_t* read) override {
    std::size_t got = printer_.TakeAnswer(data, count);
    if (got < count) {
      clock_.Sleep(kReadTimeOutMs);
      got += printer_.TakeAnswer(data + got, count - got);
    }
    if (read != nullptr) *read = static_cast<uint32_t>(got);
    return got == count ? usb::ResultCode::kAnswered : usb::ResultCode::kReadTimeOut;
  }
  bool WaitIORight() override { return true; }
  bool ReleaseIORight() override { return true; }
  void CancelPipes() override { ++cancels; }
  uint32_t modelSerial() const override { return model_; }
  log::DebugLog& log() override { return log_; }
  platform::Clock& clock() override { return clock_; }

  static constexpr uint32_t kReadTimeOutMs = 5000;
  std::vector<uint32_t> writeSizes;
  int cancels = 0;

 private:
  sim::VirtualPrinter& printer_;
  FakeClock& clock_;
  uint32_t model_;
  log::DebugLog log_;
};

}  // namespace kiln::testing
