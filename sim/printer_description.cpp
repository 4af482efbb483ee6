#include "sim/printer_description.h"

#include <cstdlib>
#include <initializer_list>
#include <optional>
#include <utility>
#include <vector>

#include "models/model_table.h"

namespace kiln::sim {

const char* const kPrinterDescriptionHelp =
    "Printer description: MODEL[,FIELD=VALUE]...   (values cannot contain commas)\n"
    "  MODEL                 short name of the model table (M07, OEE, ...) or serial number "
    "1-38\n"
    "  version=TEXT          firmware revision the printer reports (default 1.00)\n"
    "  colour=TEXT           colour-mode text of command 0x8008 (default Standard)\n"
    "  serial=TEXT           USB serial number (default KLN0000001, KLN0000002, ...)\n"
    "  block=on|bad|long|off device data block held: valid (4 KiB), bad checksum, longer\n"
    "                        than 0x3000 bytes, or none (default)\n"
    "  gap=MS                restart gap after programming in ms (default 2000)\n"
    "  transport=usblp|usbfs shown as a usblp printer (/dev/usb/lpN), or as a bare USB\n"
    "                        device served over usbfs (/dev/bus/usb/001/DDD, no usblp\n"
    "                        node); default: $KILN_TESTBED_TRANSPORT, else usblp\n"
    "  fault=FAULT           a fault, may be given several times:\n"
    "    silent-from=N                 answer nothing from the N-th packet on\n"
    "    silent=CODE                   never answer command CODE\n"
    "    bad-first-byte[=CODE]         answers (to CODE only) start with 0x5A, not 0xA5\n"
    "    short-answer[=CODE]           answers (to CODE only) lack their last data byte\n"
    "    busy=N|forever                report busy for the first N status polls, or always\n"
    "    alert=DETAIL:CODE             report an alert: status bits of detail command\n"
    "                                  DETAIL (0x0403 0x0405 0x0406 0x0407 0x0408 0x040A),\n"
    "                                  which answers the 24-bit CODE\n"
    "    error-after-programming=CODE[:DETAIL]\n"
    "                                  after programming stay on USB reporting CODE\n"
    "                                  (e.g. 0x00030302) through DETAIL (default 0x0406)\n"
    "    return-pid=PID                come back after programming under product ID PID\n"
    "    never-return                  never come back after leaving USB\n"
    "    leave-after=BYTES             leave USB once BYTES firmware data bytes arrived\n"
    "    no-access                     opening its node fails with EACCES (permission\n"
    "                                  denied), as for a user the udev rule misses\n"
    "    block-after-programming=lost|altered\n"
    "                                  programming erases the device data block, or\n"
    "                                  changes a byte of it (checksum still valid)\n"
    "  faults of a printer shown over usbfs:\n"
    "    stall-out=once|always         bulk OUT transfers stall (-EPIPE): until the host\n"
    "                                  clears the halt, or even after that\n"
    "    stall-in=once|always          the same for bulk IN transfers\n"
    "    claimed                       another program holds the interface: claiming\n"
    "                                  fails with EBUSY, its driver is usbfs\n"
    "    no-printer-interface          the interface is vendor-specific (class FF)\n"
    "    no-bulk-endpoints             interrupt endpoints in place of the bulk ones\n"
    "    refused-endpoints             the announced endpoints refuse every transfer\n"
    "    vanish-on-claim               leave USB while the host claims the interface\n"
    "    send-only-setting=first|second\n"
    "                                  a send-only alternate setting before (as 0) or\n"
    "                                  after (as 1) the bidirectional one\n"
    "    usblp-bound                   usblp holds the interface, its lp node not shown:\n"
    "                                  claiming fails with EBUSY until usblp is detached\n"
    "Time (programming, restart gap) is scaled by KILN_TIME_SCALE.\n";

namespace {

constexpr std::size_t kBlockLength = 0x1000;
constexpr std::size_t kLongBlockLength = kMaxDeviceBlockLength + 0x400;
constexpr uint16_t kDefaultErrorDetail = 0x0406;

std::vector<std::string_view> Split(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = text.find(separator, start);
    parts.push_back(text.substr(start, end == std::string_view::npos ? end : end - start));
    if (end == std::string_view::npos) return parts;
    start = end + 1;
  }
}

std::optional<uint32_t> Number(std::string_view text, uint32_t most = 0xFFFFFFFF) {
  if (text.empty()) return std::nullopt;
  const std::string copy(text);
  char* end = nullptr;
  const unsigned long long value = std::strtoull(copy.c_str(), &end, 0);
  if (*end != '\0' || copy[0] == '-' || value > most) return std::nullopt;
  return static_cast<uint32_t>(value);
}

std::optional<uint16_t> Code(std::string_view text) {
  const std::optional<uint32_t> value = Number(text, 0xFFFF);
  if (!value) return std::nullopt;
  return static_cast<uint16_t>(*value);
}

std::optional<uint32_t> ModelFrom(std::string_view text) {
  if (const std::optional<uint32_t> serial = Number(text, models::kModelCount)) {
    return *serial >= 1 ? serial : std::nullopt;
  }
  const uint32_t serial = models::ModelSerialFromName(text);
  return serial != 0 ? std::optional<uint32_t>(serial) : std::nullopt;
}

// A command-scoped fault: no value means every command.
bool CommandFault(std::string_view value, bool hasValue, CommandMatch& match) {
  if (!hasValue) {
    match = CommandMatch::All();
    return true;
  }
  const std::optional<uint16_t> code = Code(value);
  if (code) match = CommandMatch::Code(*code);
  return code.has_value();
}

// Sets out to the choice that value names; false when it names none.
template <typename Choice>
bool Choose(std::string_view value,
            std::initializer_list<std::pair<std::string_view, Choice>> choices, Choice& out) {
  for (const auto& [text, choice] : choices) {
    if (value == text) {
      out = choice;
      return true;
    }
  }
  return false;
}

bool ApplyFault(std::string_view fault, PrinterFaults& faults) {
  const std::size_t equals = fault.find('=');
  const std::string_view name = fault.substr(0, equals);
  const bool hasValue = equals != std::string_view::npos;
  const std::string_view value = hasValue ? fault.substr(equals + 1) : std::string_view();

  const std::pair<const char*, bool PrinterFaults::*> switches[] = {
      {"never-return", &PrinterFaults::neverReturn},
      {"no-access", &PrinterFaults::noAccess},
      {"claimed", &PrinterFaults::interfaceClaimed},
      {"no-printer-interface", &PrinterFaults::noPrinterInterface},
      {"no-bulk-endpoints", &PrinterFaults::noBulkEndpoints},
      {"refused-endpoints", &PrinterFaults::endpointsRefused},
      {"vanish-on-claim", &PrinterFaults::vanishOnClaim},
      {"usblp-bound", &PrinterFaults::usblpBound},
  };
  for (const auto& [switchName, field] : switches) {
    if (name == switchName) {
      faults.*field = true;
      return !hasValue;
    }
  }
  if (name == "bad-first-byte") return CommandFault(value, hasValue, faults.badFirstByte);
  if (name == "short-answer") return CommandFault(value, hasValue, faults.shortAnswer);
  if (!hasValue) return false;
  if (name == "busy") {
    if (value == "forever") {
      faults.busyForever = true;
      return true;
    }
    const std::optional<uint32_t> polls = Number(value);
    if (polls) faults.busyPolls = *polls;
    return polls.has_value();
  }
  if (name == "stall-out" || name == "stall-in") {
    return Choose(value, {{"once", EndpointStall::kOnce}, {"always", EndpointStall::kAlways}},
                  name == "stall-out" ? faults.stallOut : faults.stallIn);
  }
  if (name == "send-only-setting") {
    return Choose(value, {{"first", SendOnlySetting::kFirst}, {"second", SendOnlySetting::kSecond}},
                  faults.sendOnlySetting);
  }
  if (name == "block-after-programming") {
    return Choose(value, {{"lost", BlockDamage::kLost}, {"altered", BlockDamage::kAltered}},
                  faults.blockDamage);
  }
  if (name == "silent") {
    const std::optional<uint16_t> code = Code(value);
    if (code) faults.silent = CommandMatch::Code(*code);
    return code.has_value();
  }
  const std::vector<std::string_view> parts = Split(value, ':');
  if (name == "alert" || name == "error-after-programming") {
    if (parts.size() > 2) return false;
    const bool alert = name == "alert";
    const std::optional<uint16_t> detail =
        parts.size() == 2 ? Code(alert ? parts[0] : parts[1])
                          : (alert ? std::nullopt : std::optional<uint16_t>(kDefaultErrorDetail));
    const std::optional<uint32_t> code = Number(alert ? parts.back() : parts[0], 0xFFFFFF);
    if (!detail || !code) return false;
    (alert ? faults.alert : faults.errorAfterProgramming) = AlertForDetail(*detail, *code);
    return true;
  }
  const std::optional<uint32_t> number = Number(value);
  if (!number) return false;
  if (name == "silent-from" && *number > 0) {
    faults.silentFromPacket = *number;
  } else if (name == "return-pid" && *number <= 0xFFFF) {
    faults.returnProductId = static_cast<uint16_t>(*number);
  } else if (name == "leave-after" && *number > 0) {
    faults.leaveAfterDataBytes = *number;
  } else {
    return false;
  }
  return true;
}

bool ApplyField(std::string_view field, VirtualPrinterConfig& config, std::string& error) {
  const std::size_t equals = field.find('=');
  if (equals == std::string_view::npos) {
    error = "expected FIELD=VALUE, got \"" + std::string(field) + "\"";
    return false;
  }
  const std::string_view name = field.substr(0, equals);
  const std::string_view value = field.substr(equals + 1);
  if (name == "version") {
    config.version = value;
  } else if (name == "colour" || name == "color") {
    config.colourMode = value;
  } else if (name == "serial") {
    config.serialNumber = value;
  } else if (name == "block") {
    if (value == "on") {
      config.deviceBlock = MakeDeviceBlock(kBlockLength);
    } else if (value == "bad") {
      config.deviceBlock = MakeDeviceBlock(kBlockLength, false);
    } else if (value == "long") {
      config.deviceBlock = MakeDeviceBlock(kLongBlockLength);
    } else if (value == "off") {
      config.deviceBlock.clear();
    } else {
      error = "block must be on, bad, long or off";
      return false;
    }
  } else if (name == "gap") {
    const std::optional<uint32_t> gap = Number(value);
    if (!gap) {
      error = "gap must be a number of milliseconds";
      return false;
    }
    config.restartGapMs = *gap;
  } else if (name == "transport") {
    if (value == "usblp") {
      config.transport = UsbTransport::kUsblp;
    } else if (value == "usbfs") {
      config.transport = UsbTransport::kUsbfs;
    } else {
      error = "transport must be usblp or usbfs";
      return false;
    }
  } else if (name == "fault") {
    if (!ApplyFault(value, config.faults)) {
      error = "unknown or malformed fault \"" + std::string(value) + "\"";
      return false;
    }
  } else {
    error = "unknown field \"" + std::string(name) + "\"";
    return false;
  }
  return true;
}

}  // namespace

bool ParsePrinterDescription(std::string_view description, VirtualPrinterConfig& config,
                             std::string& error) {
  const std::vector<std::string_view> fields = Split(description, ',');
  const std::optional<uint32_t> model = ModelFrom(fields[0]);
  if (!model) {
    error = "unknown model \"" + std::string(fields[0]) + "\"";
    return false;
  }
  config.model = *model;
  for (std::size_t i = 1; i < fields.size(); ++i) {
    if (!ApplyField(fields[i], config, error)) return false;
  }
  return true;
}

}  // namespace kiln::sim
