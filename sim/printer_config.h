#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kiln::sim {

// Status summary bytes 0-2 (the answer of 0x0400) as the printer reports them.
using StatusBytes = std::array<uint8_t, 3>;

// Status summary bit: the printer is busy (programming its flash, or told to stay busy).
inline constexpr uint8_t kStatusBusy = 0x80;

// The largest device data block the updater collects; a longer one is dropped by the host.
inline constexpr std::size_t kMaxDeviceBlockLength = 0x3000;
// Bytes of the device data block handed out per 0xE028 answer.
inline constexpr std::size_t kDeviceBlockPiece = 0x400;

// An alert the printer reports: the status summary bits that announce it and the 24-bit
// code that the matching detail commands (0x0403 ... 0x040A) answer.
struct AlertReport {
  StatusBytes status{};
  uint32_t code = 0;
};

// The status bits that make the host ask detailCommand (one of 0x0403, 0x0405, 0x0406,
// 0x0407, 0x0408, 0x040A) for the alert, together with code. Any other command gives
// the error bit 0x40 of byte 0 alone.
AlertReport AlertForDetail(uint16_t detailCommand, uint32_t code);

// Whether status sets the bit that makes the host ask detailCommand for an alert.
bool DetailCommandAnnounced(const StatusBytes& status, uint16_t detailCommand);

// Which commands a fault applies to: none (the default), every command, or one code.
class CommandMatch {
 public:
  static CommandMatch None() { return CommandMatch(Scope::kNone, 0); }
  static CommandMatch All() { return CommandMatch(Scope::kAll, 0); }
  static CommandMatch Code(uint16_t code) { return CommandMatch(Scope::kOne, code); }
  CommandMatch() = default;

  bool Matches(uint16_t command) const {
    return scope_ == Scope::kAll || (scope_ == Scope::kOne && command == code_);
  }
  bool IsOn() const { return scope_ != Scope::kNone; }

 private:
  enum class Scope { kNone, kAll, kOne };
  CommandMatch(Scope scope, uint16_t code) : scope_(scope), code_(code) {}
  Scope scope_ = Scope::kNone;
  uint16_t code_ = 0;
};

// What programming does to the device data block the printer holds.
enum class BlockDamage {
  kNone,     // kept as it was
  kLost,     // erased: the printer holds no block afterwards
  kAltered,  // one byte changed, the checksum still valid
};

// How a bulk endpoint of a printer shown over usbfs stalls: never, on its first transfer
// (until the host clears the halt), or on every transfer (clearing the halt does not help).
enum class EndpointStall { kNever, kOnce, kAlways };

// Where the printer interface offers a send-only alternate setting (bulk OUT only, protocol
// 1) beside its bidirectional one: none, as setting 0 before the bidirectional setting 1,
// or as setting 1 after the bidirectional setting 0.
enum class SendOnlySetting { kNone, kFirst, kSecond };

// Misbehaviour a printer can be told to show. Every fault is off by default.
struct PrinterFaults {
  // Stop answering from the n-th packet received (counting from 1); 0: off.
  uint32_t silentFromPacket = 0;
  // Never answer these commands.
  CommandMatch silent;
  // Answers to these commands start with 0x5A instead of 0xA5.
  CommandMatch badFirstByte;
  // Answers to these commands deliver one data byte less than their length field says
  // (an empty answer announces one byte and delivers none).
  CommandMatch shortAnswer;
  // The first n status summaries report busy, whatever the printer is doing.
  uint32_t busyPolls = 0;
  // Every status summary reports busy.
  bool busyForever = false;
  // Reported from power-on until a clean restart after programming.
  std::optional<AlertReport> alert;
  // When programming ends the printer does not restart: it stays on USB, no longer busy,
  // reporting this alert (for example a firmware checksum error, code 0x00030302).
  std::optional<AlertReport> errorAfterProgramming;
  // After programming the printer comes back under this product ID instead of the one
  // the received image names.
  std::optional<uint16_t> returnProductId;
  // After programming (or leaving in the middle of a transfer) the printer never comes back.
  bool neverReturn = false;
  // Its node cannot be opened (another program holds it, or a permission error),
  // though discovery lists it.
  bool openRefused = false;
  // Its node exists but the user may not open it: opening fails with EACCES, as for a
  // user the udev rule does not reach.
  bool noAccess = false;
  // Leaves USB once this many firmware data bytes (0x8301 or 0x8308 payload) have arrived,
  // and comes back after the restart gap unchanged (unless neverReturn); 0: off.
  uint32_t leaveAfterDataBytes = 0;
  // With leaveAfterDataBytes: the data after the limit is still read from the node but
  // not kept, and the printer leaves when the next packet the host waits for an answer
  // to arrives (the end of the write), without taking it. The host's writes before then
  // are all taken whatever the timing, as by a pipe that had taken the whole image when
  // the printer left.
  bool leaveWhenAnswerAwaited = false;
  // Programming loses or alters the device data block.
  BlockDamage blockDamage = BlockDamage::kNone;

  // Shown over usbfs only (the usblp presentation ignores these):
  // The bulk OUT (0x01) or IN (0x82) endpoint stalls: its transfers end with -EPIPE.
  EndpointStall stallOut = EndpointStall::kNever;
  EndpointStall stallIn = EndpointStall::kNever;
  // Another program holds the interface: claiming it fails with EBUSY, and the interface's
  // driver is "usbfs".
  bool interfaceClaimed = false;
  // The only interface is vendor-specific (class FF) instead of a printer interface.
  bool noPrinterInterface = false;
  // The interface has interrupt endpoints in place of its bulk endpoints.
  bool noBulkEndpoints = false;
  // The descriptors announce the bulk endpoints, but transfers on them are refused (ENOENT,
  // as for an endpoint the device does not have).
  bool endpointsRefused = false;
  // The printer leaves USB while the host claims its interface (the claim fails ENODEV).
  bool vanishOnClaim = false;
  // A send-only alternate setting beside the bidirectional one: IN transfers while it is
  // the active setting are refused (ENOENT), so a host must select the other one to read.
  SendOnlySetting sendOnlySetting = SendOnlySetting::kNone;
  // usblp holds the printer interface, but the test bed shows no lp node (as in a container
  // given only /dev/bus/usb): the interface's driver is usblp and claiming it fails with
  // EBUSY, until a host detaches usblp.
  bool usblpBound = false;
};

// How the test bed shows a printer: as a usblp printer with a /dev/usb/lpN node, or as a
// bare USB device whose /dev/bus/usb/001/DDD node serves usbfs requests (no usblp node).
// kDefault takes the process-wide choice of KILN_TESTBED_TRANSPORT (usblp when unset).
enum class UsbTransport { kDefault, kUsblp, kUsbfs };

// Everything that makes one virtual printer.
struct VirtualPrinterConfig {
  // Model serial number 1 to 38; the product ID comes from the model table. Models 19 and
  // higher expect unpadded packets.
  uint32_t model = 7;
  // The firmware revision text the product information reports (ProductRev).
  std::string version = "1.00";
  // The colour-mode text of 0x8008; empty gives an empty answer.
  std::string colourMode = "Standard";
  // USB serial number string (also the third text of the product information).
  std::string serialNumber = "KLN0000001";
  // Status summary bytes reported when nothing else applies.
  StatusBytes status{};
  // The device data block the printer holds; empty: it holds none. See MakeDeviceBlock.
  std::vector<uint8_t> deviceBlock;
  // Time between leaving USB after programming and coming back, in milliseconds.
  uint32_t restartGapMs = 2000;
  UsbTransport transport = UsbTransport::kDefault;
  PrinterFaults faults;
};

// A device data block of length bytes (at least 2) with the marker and checksum the
// updater verifies; with validChecksum false the last byte is off by one.
std::vector<uint8_t> MakeDeviceBlock(std::size_t length, bool validChecksum = true);

// The product ID of a model serial number 1 to 38 (0 for any other number).
uint16_t ProductIdOfModel(uint32_t model);

}  // namespace kiln::sim
