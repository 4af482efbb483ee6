#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "sim/printer_config.h"

namespace kiln::testing {

// A virtual printer's configuration in one expression, with the defaults of
// sim::VirtualPrinterConfig for what is not named:
//   PrinterBuilder(7).Version("1.05").Serial("A1").RestartGapMs(500).NeverReturns()
class PrinterBuilder {
 public:
  explicit PrinterBuilder(uint32_t model) { config_.model = model; }

  PrinterBuilder& Version(std::string version) {
    config_.version = std::move(version);
    return *this;
  }
  PrinterBuilder& Serial(std::string serial) {
    config_.serialNumber = std::move(serial);
    return *this;
  }
  PrinterBuilder& ColourMode(std::string mode) {
    config_.colourMode = std::move(mode);
    return *this;
  }
  PrinterBuilder& Status(sim::StatusBytes status) {
    config_.status = status;
    return *this;
  }
  PrinterBuilder& DeviceBlock(std::vector<uint8_t> block) {
    config_.deviceBlock = std::move(block);
    return *this;
  }
  PrinterBuilder& RestartGapMs(uint32_t gap) {
    config_.restartGapMs = gap;
    return *this;
  }
  // The faults, each as sim::PrinterFaults describes it.
  PrinterBuilder& Faults(sim::PrinterFaults faults) {
    config_.faults = std::move(faults);
    return *this;
  }
  PrinterBuilder& SilentFromPacket(uint32_t packet) {
    config_.faults.silentFromPacket = packet;
    return *this;
  }
  PrinterBuilder& Silent(sim::CommandMatch commands) {
    config_.faults.silent = commands;
    return *this;
  }
  PrinterBuilder& BadFirstByte(sim::CommandMatch commands) {
    config_.faults.badFirstByte = commands;
    return *this;
  }
  PrinterBuilder& ShortAnswer(sim::CommandMatch commands) {
    config_.faults.shortAnswer = commands;
    return *this;
  }
  PrinterBuilder& BusyPolls(uint32_t polls) {
    config_.faults.busyPolls = polls;
    return *this;
  }
  PrinterBuilder& BusyForever() {
    config_.faults.busyForever = true;
    return *this;
  }
  PrinterBuilder& Alert(sim::AlertReport alert) {
    config_.faults.alert = alert;
    return *this;
  }
  PrinterBuilder& ErrorAfterProgramming(sim::AlertReport alert) {
    config_.faults.errorAfterProgramming = alert;
    return *this;
  }
  PrinterBuilder& ReturnsAs(uint16_t productId) {
    config_.faults.returnProductId = productId;
    return *this;
  }
  PrinterBuilder& NeverReturns() {
    config_.faults.neverReturn = true;
    return *this;
  }
  PrinterBuilder& OpenRefused() {
    config_.faults.openRefused = true;
    return *this;
  }
  PrinterBuilder& LeavesAfterDataBytes(uint32_t bytes, bool whenAnswerAwaited = false) {
    config_.faults.leaveAfterDataBytes = bytes;
    config_.faults.leaveWhenAnswerAwaited = whenAnswerAwaited;
    return *this;
  }
  PrinterBuilder& BlockDamage(sim::BlockDamage damage) {
    config_.faults.blockDamage = damage;
    return *this;
  }

  const sim::VirtualPrinterConfig& config() const { return config_; }
  operator sim::VirtualPrinterConfig() const { return config_; }  // NOLINT: built to convert

 private:
  sim::VirtualPrinterConfig config_;
};

}  // namespace kiln::testing
