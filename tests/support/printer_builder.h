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

  PrinterBuilder& Version(std::string version) { return Set(&Config::version, std::move(version)); }
  PrinterBuilder& Serial(std::string serial) {
    return Set(&Config::serialNumber, std::move(serial));
  }
  PrinterBuilder& ColourMode(std::string mode) { return Set(&Config::colourMode, std::move(mode)); }
  PrinterBuilder& Status(sim::StatusBytes status) { return Set(&Config::status, status); }
  PrinterBuilder& DeviceBlock(std::vector<uint8_t> block) {
    return Set(&Config::deviceBlock, std::move(block));
  }
  PrinterBuilder& RestartGapMs(uint32_t gap) { return Set(&Config::restartGapMs, gap); }
  PrinterBuilder& Transport(sim::UsbTransport transport) {
    return Set(&Config::transport, transport);
  }

  // The faults, each as sim::PrinterFaults describes it.
  PrinterBuilder& Faults(sim::PrinterFaults faults) {
    return Set(&Config::faults, std::move(faults));
  }
  PrinterBuilder& SilentFromPacket(uint32_t packet) {
    return Fault(&FaultSet::silentFromPacket, packet);
  }
  PrinterBuilder& Silent(sim::CommandMatch commands) { return Fault(&FaultSet::silent, commands); }
  PrinterBuilder& BadFirstByte(sim::CommandMatch commands) {
    return Fault(&FaultSet::badFirstByte, commands);
  }
  PrinterBuilder& ShortAnswer(sim::CommandMatch commands) {
    return Fault(&FaultSet::shortAnswer, commands);
  }
  PrinterBuilder& BusyPolls(uint32_t polls) { return Fault(&FaultSet::busyPolls, polls); }
  PrinterBuilder& BusyForever() { return Fault(&FaultSet::busyForever, true); }
  PrinterBuilder& Alert(sim::AlertReport alert) { return Fault(&FaultSet::alert, alert); }
  PrinterBuilder& ErrorAfterProgramming(sim::AlertReport alert) {
    return Fault(&FaultSet::errorAfterProgramming, alert);
  }
  PrinterBuilder& ReturnsAs(uint16_t productId) {
    return Fault(&FaultSet::returnProductId, productId);
  }
  PrinterBuilder& NeverReturns() { return Fault(&FaultSet::neverReturn, true); }
  PrinterBuilder& OpenRefused() { return Fault(&FaultSet::openRefused, true); }
  PrinterBuilder& NoAccess() { return Fault(&FaultSet::noAccess, true); }
  PrinterBuilder& LeavesAfterDataBytes(uint32_t bytes, bool whenAnswerAwaited = false) {
    Fault(&FaultSet::leaveWhenAnswerAwaited, whenAnswerAwaited);
    return Fault(&FaultSet::leaveAfterDataBytes, bytes);
  }
  PrinterBuilder& BlockDamage(sim::BlockDamage damage) {
    return Fault(&FaultSet::blockDamage, damage);
  }

  const sim::VirtualPrinterConfig& config() const { return config_; }
  operator sim::VirtualPrinterConfig() const { return config_; }  // NOLINT: built to convert

 private:
  using Config = sim::VirtualPrinterConfig;
  using FaultSet = sim::PrinterFaults;
  template <typename Field, typename Value>
  PrinterBuilder& Set(Field Config::*field, Value&& value) {
    config_.*field = std::forward<Value>(value);
    return *this;
  }
  template <typename Field, typename Value>
  PrinterBuilder& Fault(Field FaultSet::*field, Value&& value) {
    config_.faults.*field = std::forward<Value>(value);
    return *this;
  }

  Config config_;
};

}  // namespace kiln::testing
